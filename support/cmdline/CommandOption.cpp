#include "support/cmdline/CommandOption.h"

#include <algorithm>

#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/OptionRegistry.h"

namespace ostrel {

CommandOption::CommandOption(OccurrenceRule rule, Visibility visibility) {
  setOccurrenceRule(rule);
  setVisibility(visibility);
  categories.push_back(&generalCategory());
}

CommandOption::~CommandOption() = default;

void CommandOption::anchor() {}

ValueExpectation CommandOption::defaultValueExpectation() const {
  return ValueAccepted;
}

void CommandOption::extraNames(std::vector<TextRef> &) const {}

void CommandOption::valueWords(std::vector<TextRef> &) const {}

bool CommandOption::recordOccurrence(unsigned pos, TextRef foundName,
                                     TextRef value, bool multiValue) {
  if (!multiValue)
    ++occurrences;
  return acceptValue(pos, foundName, value);
}

void CommandOption::setName(TextRef newName) {
  if (isRegistered())
    OptionRegistry::get().renameOption(*this, newName);
  name = newName;
  if (newName.size() == 1)
    addMisc(Groupable);
}

void CommandOption::addCategory(HelpCategory &category) {
  HelpCategory &general = generalCategory();
  if (&category != &general && !categories.empty() &&
      categories.front() == &general) {
    categories.front() = &category;
    return;
  }
  if (std::find(categories.begin(), categories.end(), &category) ==
      categories.end())
    categories.push_back(&category);
}

void CommandOption::addScope(CommandScope &scope) {
  if (std::find(scopes.begin(), scopes.end(), &scope) == scopes.end())
    scopes.push_back(&scope);
}

void CommandOption::registerOption() {
  OptionRegistry::get().addOption(*this, false);
  markRegistered();
}

bool CommandOption::isInScope(const CommandScope &scope) const {
  if (scopes.empty())
    return &scope == &topLevelScope();
  for (CommandScope *s : scopes)
    if (s == &scope || s == &allScopes())
      return true;
  return false;
}

bool CommandOption::error(TextRef message, TextRef reportedName) const {
  TextRef shownName = reportedName.empty() ? name : reportedName;
  std::string text;
  if (shownName.empty()) {
    text.append(help);
  } else {
    text.append(OptionRegistry::get().programName);
    text.append(": for the ");
    text.append(dashedName(shownName));
  }
  text.append(" option: ");
  text.append(message);
  text.push_back('\n');
  writeOptionError(text);
  return true;
}

std::string dashedName(TextRef name) {
  std::string text(name.size() <= 1 ? "-" : "--");
  text.append(name);
  return text;
}

} // namespace ostrel
