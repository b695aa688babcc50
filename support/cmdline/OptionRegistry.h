#ifndef OSTREL_SUPPORT_CMDLINE_OPTIONREGISTRY_H
#define OSTREL_SUPPORT_CMDLINE_OPTIONREGISTRY_H

/// The process-wide table of options: help categories, command scopes with
/// their name maps and positional lists, and the registry that ties them
/// together. Everything here is created on first use and never destroyed,
/// so options declared as globals in any translation unit register safely
/// during static initialisation.

#include <string>
#include <vector>

#include "support/cmdline/CommandOption.h"
#include "support/cmdline/OptionNameMap.h"
#include "support/fs/TextRef.h"

namespace ostrel {

/// A heading of the help listing. Constructing one registers it.
class HelpCategory {
public:
  explicit HelpCategory(TextRef name, TextRef description = TextRef());
  TextRef name;
  TextRef description;
};

/// The default category of every option, "General options".
HelpCategory &generalCategory();

/// A set of options that one command line is parsed against.
class CommandScope {
public:
  CommandScope(TextRef name = TextRef(), TextRef description = TextRef())
      : name(name), description(description) {}
  TextRef name;
  TextRef description;
  std::vector<CommandOption *> positionals;
  std::vector<CommandOption *> catchAll;
  OptionNameMap options;
  CommandOption *consumeAfter = nullptr;
};

/// The scope the command line is parsed against.
CommandScope &topLevelScope();
/// Stands for every scope: options registered in it enter all others.
CommandScope &allScopes();

class OptionRegistry {
public:
  static OptionRegistry &get();

  std::string programName;
  TextRef overview;
  std::vector<TextRef> extraHelp;
  std::vector<CommandOption *> pendingOverridable;
  std::vector<HelpCategory *> categories;
  std::vector<CommandScope *> scopes;
  CommandScope *activeScope = nullptr;

  /// Enters option into its scopes. With overridablePass false, an
  /// OverridableDefault option is only queued. A taken name ends the
  /// program through the fatal path.
  void addOption(CommandOption &option, bool overridablePass);
  /// Re-keys a registered option under newName in each of its scopes.
  void renameOption(CommandOption &option, TextRef newName);
  /// Enters a literal of a nameless enumerated option as a key.
  void addLiteralName(CommandOption &option, TextRef literal);
  void addExtraHelp(TextRef text) { extraHelp.push_back(text); }
  void registerCategory(HelpCategory &category);
  /// Registers a scope other than allScopes and hands it the options
  /// already in allScopes.
  void registerScope(CommandScope &scope);

  /// The scopes an option belongs to: topLevelScope when it names none,
  /// every registered scope (allScopes itself included) when it names
  /// allScopes.
  std::vector<CommandScope *> effectiveScopes(const CommandOption &option) const;

private:
  OptionRegistry();
  void addToScope(CommandOption &option, CommandScope &scope, bool &failed);
};

} // namespace ostrel

#endif
