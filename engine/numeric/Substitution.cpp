#include "engine/numeric/Substitution.h"

#include "engine/numeric/NumericErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/regex/CompiledRegex.h"

namespace ostrel {

ValueOrError<std::string> StringSubstitution::result() const {
  std::optional<TextRef> value = context().stringValue(text());
  if (!value)
    return makeUndefinedVariableError(text());
  return CompiledRegex::escapeText(*value);
}

ValueOrError<std::string> NumericSubstitution::result() const {
  ValueOrError<NumericValue> value = expr.evaluate();
  if (!value)
    return value.takeError();
  return formatValue(expr.format(), *value);
}

} // namespace ostrel
