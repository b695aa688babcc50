#ifndef OSTREL_ENGINE_NUMERIC_NUMERICEXPRESSIONPARSER_H
#define OSTREL_ENGINE_NUMERIC_NUMERICEXPRESSIONPARSER_H

/// Parsing of variable names and of numeric blocks: the text of a "[[#...]]"
/// block, the right-hand side of a numeric command-line definition, or a
/// legacy "[[@LINE...]]" expression. Every syntax error is a DiagnosticError
/// pointing into the parsed text, which must lie in a buffer of the registry.
/// Tested by NumericExpressionParser_test.cpp.

#include "engine/numeric/ExpressionNode.h"
#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

#include <cstddef>
#include <optional>

namespace ostrel {

class SourceRegistry;
class VariableContext;
struct NumericVariable;

struct ParsedVariableName {
  TextRef name;
  /// The name begins with "@".
  bool isPseudo = false;
};

/// Reads a variable name from the front of `text`: an optional "$" or "@",
/// then "_" or a letter, then letters, digits and "_". On success `text` is
/// advanced past the name.
ValueOrError<ParsedVariableName> parseVariableName(TextRef &text, SourceRegistry &registry);

struct ParsedNumericBlock {
  NumericExpression expression;
  /// The variable the block defines, if any: created (and owned by the
  /// context) or found, but neither entered in numericTable nor given a value.
  NumericVariable *definedVariable = nullptr;
};

/// Parses a numeric block ([format,][name:][==]expression). `lineNumber` is
/// the directive's line, or none for command-line definitions. Parentheses
/// and calls nest at most maxExpressionDepth deep; a chain of operators
/// (1+2+3...) may have any length, for it nests nothing.
ValueOrError<ParsedNumericBlock> parseNumericBlock(TextRef block, bool legacyLineExpression,
                                                   std::optional<size_t> lineNumber,
                                                   VariableContext &context,
                                                   SourceRegistry &registry);

constexpr unsigned maxExpressionDepth = 256;

} // namespace ostrel

#endif
