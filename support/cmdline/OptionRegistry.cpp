#include "support/cmdline/OptionRegistry.h"

#include <algorithm>

#include "support/cmdline/OptionOutput.h"

namespace ostrel {

HelpCategory::HelpCategory(TextRef name, TextRef description)
    : name(name), description(description) {
  OptionRegistry::get().registerCategory(*this);
}

HelpCategory &generalCategory() {
  static HelpCategory *category = new HelpCategory("General options");
  return *category;
}

CommandScope &topLevelScope() {
  static CommandScope *scope = new CommandScope();
  return *scope;
}

CommandScope &allScopes() {
  static CommandScope *scope = new CommandScope();
  return *scope;
}

OptionRegistry &OptionRegistry::get() {
  // Never destroyed: options in other translation units may still refer to
  // it while static destructors run.
  static OptionRegistry *registry = new OptionRegistry();
  return *registry;
}

OptionRegistry::OptionRegistry() {
  scopes.push_back(&topLevelScope());
  scopes.push_back(&allScopes());
}

void OptionRegistry::registerCategory(HelpCategory &category) {
  if (std::find(categories.begin(), categories.end(), &category) ==
      categories.end())
    categories.push_back(&category);
}

static void reportTakenName(TextRef name) {
  std::string text = OptionRegistry::get().programName;
  text.append(": CommandLine Error: Option '");
  text.append(name);
  text.append("' registered more than once!\n");
  writeOptionError(text);
}

void OptionRegistry::addToScope(CommandOption &option, CommandScope &scope,
                                bool &failed) {
  if (!option.name.empty()) {
    bool skip = option.hasMisc(OverridableDefault) &&
                scope.options.find(option.name) != nullptr;
    if (!skip && !scope.options.insert(option.name, &option)) {
      reportTakenName(option.name);
      failed = true;
    }
    if (skip)
      return;
  }
  if (option.form() == PositionalForm) {
    scope.positionals.push_back(&option);
  } else if (option.hasMisc(CatchesUnmatched)) {
    scope.catchAll.push_back(&option);
  } else if (option.occurrenceRule() == ConsumeAfter) {
    if (scope.consumeAfter) {
      option.error("Cannot specify more than one option with cl::ConsumeAfter!");
      failed = true;
    }
    scope.consumeAfter = &option;
  }
}

void OptionRegistry::addOption(CommandOption &option, bool overridablePass) {
  if (option.hasMisc(OverridableDefault) && !overridablePass) {
    pendingOverridable.push_back(&option);
    return;
  }
  std::vector<CommandScope *> direct = option.scopes;
  if (direct.empty())
    direct.push_back(&topLevelScope());
  for (CommandScope *scope : direct) {
    bool failed = false;
    addToScope(option, *scope, failed);
    if (failed)
      failOptionTable("inconsistency in registered CommandLine options");
    if (scope == &allScopes()) {
      for (CommandScope *other : scopes) {
        if (other == &allScopes())
          continue;
        addToScope(option, *other, failed);
        if (failed)
          failOptionTable("inconsistency in registered CommandLine options");
      }
    }
  }
}

std::vector<CommandScope *>
OptionRegistry::effectiveScopes(const CommandOption &option) const {
  std::vector<CommandScope *> result;
  if (option.scopes.empty()) {
    result.push_back(&topLevelScope());
    return result;
  }
  for (CommandScope *scope : option.scopes) {
    if (scope == &allScopes()) {
      for (CommandScope *s : scopes)
        if (std::find(result.begin(), result.end(), s) == result.end())
          result.push_back(s);
    } else if (std::find(result.begin(), result.end(), scope) == result.end()) {
      result.push_back(scope);
    }
  }
  return result;
}

void OptionRegistry::renameOption(CommandOption &option, TextRef newName) {
  for (CommandScope *scope : effectiveScopes(option)) {
    if (!scope->options.insert(newName, &option)) {
      reportTakenName(newName);
      failOptionTable("inconsistency in registered CommandLine options");
    }
    if (!option.name.empty() && scope->options.find(option.name) == &option)
      scope->options.erase(option.name);
  }
}

void OptionRegistry::addLiteralName(CommandOption &option, TextRef literal) {
  if (!option.name.empty())
    return;
  for (CommandScope *scope : effectiveScopes(option)) {
    if (!scope->options.insert(literal, &option)) {
      reportTakenName(literal);
      failOptionTable("inconsistency in registered CommandLine options");
    }
  }
}

void OptionRegistry::registerScope(CommandScope &scope) {
  if (&scope == &allScopes() ||
      std::find(scopes.begin(), scopes.end(), &scope) != scopes.end())
    return;
  scopes.push_back(&scope);
  std::vector<CommandOption *> seen;
  allScopes().options.forEach([&](TextRef, CommandOption *option) {
    if (std::find(seen.begin(), seen.end(), option) == seen.end())
      seen.push_back(option);
  });
  // Nameless positional, catch-all and consume-after options have no key.
  std::vector<CommandOption *> keyless = allScopes().positionals;
  keyless.insert(keyless.end(), allScopes().catchAll.begin(),
                 allScopes().catchAll.end());
  if (allScopes().consumeAfter)
    keyless.push_back(allScopes().consumeAfter);
  for (CommandOption *option : keyless)
    if (std::find(seen.begin(), seen.end(), option) == seen.end())
      seen.push_back(option);
  for (CommandOption *option : seen) {
    if (option->form() == PositionalForm ||
        option->hasMisc(CatchesUnmatched) ||
        option->occurrenceRule() == ConsumeAfter || !option->name.empty()) {
      bool failed = false;
      addToScope(*option, scope, failed);
      if (failed)
        failOptionTable("inconsistency in registered CommandLine options");
    } else {
      std::vector<TextRef> literals;
      option->extraNames(literals);
      for (TextRef literal : literals)
        if (!scope.options.insert(literal, option)) {
          reportTakenName(literal);
          failOptionTable("inconsistency in registered CommandLine options");
        }
    }
  }
}

} // namespace ostrel
