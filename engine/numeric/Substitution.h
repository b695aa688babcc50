#ifndef OSTREL_ENGINE_NUMERIC_SUBSTITUTION_H
#define OSTREL_ENGINE_NUMERIC_SUBSTITUTION_H

/// A place in a pattern's regular expression where a value is inserted at
/// match time: the current value of a string variable (escaped), or a numeric
/// expression evaluated and written in its format. The VariableContext owns
/// every substitution; patterns keep references to them.
/// Tested by the SubstitutionTest cases of NumericErrors_test.cpp.

#include "engine/numeric/ExpressionNode.h"
#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

#include <cassert>
#include <cstddef>
#include <string>

namespace ostrel {

class VariableContext;

class Substitution {
public:
  Substitution(VariableContext &context, TextRef text, size_t insertAt)
      : owner(&context), written(text), offset(insertAt) {}
  virtual ~Substitution() = default;
  Substitution(const Substitution &) = delete;
  Substitution &operator=(const Substitution &) = delete;

  /// The text to insert, or the error that prevents it (UndefinedVariableError,
  /// ValueOverflowError, or whatever evaluation returned).
  virtual ValueOrError<std::string> result() const = 0;

  VariableContext &context() const { return *owner; }
  /// The block as written: the variable name of a string substitution, the
  /// numeric block text of a numeric one. Messages point at it.
  TextRef text() const { return written; }
  /// Offset in the pattern's regular-expression text where the result goes.
  size_t insertAt() const { return offset; }

private:
  VariableContext *owner;
  TextRef written;
  size_t offset;
};

/// Inserts the value of the string variable named by text().
class StringSubstitution : public Substitution {
public:
  using Substitution::Substitution;
  ValueOrError<std::string> result() const override;
};

/// Inserts the value of a numeric expression (which has a root).
class NumericSubstitution : public Substitution {
public:
  NumericSubstitution(VariableContext &context, TextRef text, NumericExpression expression,
                      size_t insertAt)
      : Substitution(context, text, insertAt), expr(std::move(expression)) {
    assert(expr.hasRoot() && "a numeric substitution needs an expression");
  }
  ValueOrError<std::string> result() const override;
  const NumericExpression &expression() const { return expr; }

private:
  NumericExpression expr;
};

} // namespace ostrel

#endif
