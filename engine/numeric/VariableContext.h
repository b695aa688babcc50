#ifndef OSTREL_ENGINE_NUMERIC_VARIABLECONTEXT_H
#define OSTREL_ENGINE_NUMERIC_VARIABLECONTEXT_H

/// The table of variables of one check engine: string variables with their
/// values, numeric variables by name, the "@LINE" pseudo variable, and the
/// owner of every NumericVariable and Substitution that patterns create.
/// Command-line definitions are applied to it before the check file is read.
/// Tested by VariableContext_test.cpp.

#include "engine/numeric/ExpressionNode.h"
#include "engine/numeric/NumberFormat.h"
#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/Substitution.h"
#include "support/diag/ErrorValue.h"
#include "support/fs/TextMap.h"
#include "support/fs/TextRef.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace ostrel {

class SourceRegistry;

/// Hash for maps keyed by owned names that are looked up with TextRefs.
struct NameHash {
  using is_transparent = void;
  size_t operator()(TextRef text) const { return std::hash<TextRef>()(text); }
};

template <typename T>
using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;

class VariableContext {
public:
  VariableContext();
  ~VariableContext();
  VariableContext(const VariableContext &) = delete;
  VariableContext &operator=(const VariableContext &) = delete;

  /// A string variable's name as the table knows it.
  struct StringVariable {
    /// Points into the prepared input or the "Global defines" buffer.
    TextRef value;
    bool hasValue = false;
    /// The name was ever defined as a string variable (never cleared).
    bool defined = false;
  };
  /// Every name given a value or defined as a string variable. The names
  /// point into the check text or the "Global defines" buffer: a check file
  /// may define hundreds of thousands of them, and a table of its own views
  /// holds them in a fraction of the room that copies in a map would take.
  TextMap<StringVariable> stringVariables;
  /// Name -> the numeric variable a use of the name resolves to.
  NameMap<NumericVariable *> numericTable;
  /// "@LINE", once created.
  NumericVariable *lineNumberVariable = nullptr;
  /// Every numeric variable of this context, in creation order.
  std::vector<std::unique_ptr<NumericVariable>> ownedVariables;
  /// Every substitution of this context, in creation order.
  std::vector<std::unique_ptr<Substitution>> ownedSubstitutions;

  /// Applies the definitions given on the command line (NAME=VALUE,
  /// #NAME=EXPR, #FMT,NAME=EXPR), in order. Adds the "Global defines" buffer
  /// to `registry` (messages point into it) and processes every definition
  /// even after a failure; returns all errors joined, empty on success.
  ErrorValue applyCommandLineDefinitions(std::span<const TextRef> definitions,
                                         SourceRegistry &registry);

  /// Creates "@LINE" (unsigned, no value) and enters it in numericTable.
  NumericVariable &createLineNumberVariable();

  /// A new numeric variable kept in ownedVariables (not entered in
  /// numericTable).
  NumericVariable &makeNumericVariable(TextRef name, NumberFormat format,
                                       std::optional<size_t> definedOnLine = std::nullopt);

  /// Gives `variable` a value. Every value that a label block must forget is
  /// set here, so that forgetting finds the variables that hold one.
  void setNumericValue(NumericVariable &variable, NumericValue value,
                       std::optional<TextRef> captured = std::nullopt);

  /// The variable `name` resolves to, or null.
  NumericVariable *lookupNumeric(TextRef name) const;
  /// Makes `name` resolve to `variable` (replacing an existing entry).
  void enterNumeric(TextRef name, NumericVariable &variable);
  /// Records `name` as a string variable.
  void markStringName(TextRef name);
  /// How many names have been recorded as string variables.
  size_t stringNameCount() const { return definedStrings.size(); }
  bool isStringName(TextRef name) const;
  /// Sets (or replaces) the value of a string variable.
  void setStringValue(TextRef name, TextRef value);
  /// The value of a string variable, if it has one.
  std::optional<TextRef> stringValue(TextRef name) const;

  /// Creates substitutions owned by the context and returns them.
  Substitution &addStringSubstitution(TextRef name, size_t insertAt);
  Substitution &addNumericSubstitution(TextRef blockText, NumericExpression expression,
                                       size_t insertAt);

  /// Drops every variable whose name does not begin with "$" (string values
  /// and numeric table entries, clearing the numeric values). "@LINE" leaves
  /// the table too but stays lineNumberVariable.
  void forgetLocalVariables();
  /// What forgetLocalVariables does to values, for a check file that is still
  /// being read: the names stay in the table, where the reader looks them up.
  void forgetLocalValues();

  /// Hands over the substitutions from number `from` on, for a caller that
  /// keeps them as long as the patterns that refer to them.
  std::vector<std::unique_ptr<Substitution>> takeSubstitutions(size_t from);

  /// What reading patterns adds to the context: the names it enters and
  /// the variables and substitutions it makes.
  struct ReadingState {
    NameMap<NumericVariable *> numericTable;
    size_t definedStrings = 0;
    size_t ownedVariables = 0;
    size_t ownedSubstitutions = 0;
  };
  /// The context as reading has left it so far.
  ReadingState readingState() const;
  /// Undoes the reading done since `state` was taken, so that the same
  /// text can be read again from there, with the same outcome. The
  /// patterns read since then must be gone.
  void restoreReadingState(ReadingState state);

private:
  /// The local numeric variables given a value since values were last
  /// forgotten. The table cannot tell: the variables of a check file read
  /// whole have left it at the first label, and those of a file still being
  /// read are far more than the ones a block sets.
  std::vector<NumericVariable *> valuedLocals;

  /// The string variables in the order they were first defined, so that
  /// reading can be undone and counted.
  std::vector<StringVariable *> definedStrings;

  /// Drops the values of the string variables not starting with "$".
  void forgetLocalStrings();

  /// From the first forgetting on, the string variables that have a value,
  /// so that forgetting costs what was set since, not every name ever seen.
  /// A run that never forgets keeps no such list.
  std::vector<std::pair<TextRef, StringVariable *>> withValues;
  bool valuesTracked = false;

  ErrorValue defineNumericFromCommandLine(TextRef text, SourceRegistry &registry);
  ErrorValue defineStringFromCommandLine(TextRef text, SourceRegistry &registry);
};

} // namespace ostrel

#endif
