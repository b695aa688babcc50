#include "support/cmdline/AliasOption.h"

#include "support/cmdline/HelpLayout.h"
#include "support/cmdline/OptionOutput.h"

namespace ostrel {

void AliasOption::applyOne(const OptAliasOf &m) {
  if (aliasTarget)
    error("cl::alias must only have one cl::aliasopt(...) specified!");
  aliasTarget = &m.target;
}

void AliasOption::finish() {
  if (name.empty())
    error("cl::alias must have argument name specified!");
  if (!aliasTarget)
    error("cl::alias must have an cl::aliasopt(option) specified!");
  if (scopeGiven)
    error("cl::alias must not have cl::sub(), aliased option's cl::sub() will "
          "be used!");
  // An alias without a target could only forward into nothing; it stays
  // unregistered, so its name is simply unknown.
  if (!aliasTarget)
    return;
  scopes = aliasTarget->scopes;
  categories = aliasTarget->categories;
  registerOption();
}

bool AliasOption::acceptValue(unsigned pos, TextRef, TextRef value) {
  return aliasTarget->acceptValue(pos, aliasTarget->name, value);
}

ValueExpectation AliasOption::defaultValueExpectation() const {
  return aliasTarget ? aliasTarget->valueExpectation() : ValueAccepted;
}

void AliasOption::valueWords(std::vector<TextRef> &words) const {
  if (aliasTarget)
    aliasTarget->valueWords(words);
}

size_t AliasOption::helpWidth() const { return flagOptionWidth(*this); }

void AliasOption::printHelpLine(size_t globalWidth) const {
  std::string out;
  appendFlagOption(out, *this, globalWidth);
  writeOptionOutput(out);
}

void AliasOption::resetToDefault() {
  if (aliasTarget)
    aliasTarget->resetToDefault();
}

bool AliasOption::recordOccurrence(unsigned pos, TextRef, TextRef value,
                                   bool multiValue) {
  return aliasTarget->recordOccurrence(pos, aliasTarget->name, value,
                                       multiValue);
}

} // namespace ostrel
