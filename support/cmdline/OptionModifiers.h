#ifndef OSTREL_SUPPORT_CMDLINE_OPTIONMODIFIERS_H
#define OSTREL_SUPPORT_CMDLINE_OPTIONMODIFIERS_H

/// The attributes an option definition may state, passed to the option's
/// constructor in any order:
///
///   SingleValueOption<std::string> output(OptName{"o"}, OptHelp{"Output"},
///                                         OptValueName{"file"},
///                                         OptInit{std::string("-")});
///
/// The enumerations of CommandOption.h (occurrence rule, expectation,
/// visibility, form, misc flags) are accepted directly.

#include <functional>
#include <initializer_list>
#include <vector>

#include "support/cmdline/CommandOption.h"
#include "support/cmdline/ValueParser.h"

namespace ostrel {

class HelpCategory;
class CommandScope;

struct OptName {
  TextRef text;
};
struct OptHelp {
  TextRef text;
};
struct OptValueName {
  TextRef text;
};
/// Places the option under a help category.
struct OptCategory {
  HelpCategory &category;
};
/// Registers the option in a scope (allScopes() for library-wide options).
struct OptScope {
  CommandScope &scope;
};
/// Stores the value in an outside variable (or container, for a list).
template <typename T> struct OptLocation {
  T &variable;
};
template <typename T> struct OptInit {
  T value;
};
/// Called with every newly accepted value.
template <typename T> struct OptCallback {
  std::function<void(const T &)> fn;
};
/// The literals of an enumerated option, in definition order.
struct OptValues {
  std::vector<EnumLiteral> literals;
  OptValues(std::initializer_list<EnumLiteral> list) : literals(list) {}
};
/// The target of an alias.
struct OptAliasOf {
  CommandOption &target;
};

inline void applyModifier(CommandOption &o, const OptName &m) { o.setName(m.text); }
inline void applyModifier(CommandOption &o, const OptHelp &m) { o.setHelp(m.text); }
inline void applyModifier(CommandOption &o, const OptValueName &m) {
  o.setValueName(m.text);
}
inline void applyModifier(CommandOption &o, OccurrenceRule r) {
  o.setOccurrenceRule(r);
}
inline void applyModifier(CommandOption &o, ValueExpectation e) {
  o.setValueExpectation(e);
}
inline void applyModifier(CommandOption &o, Visibility v) { o.setVisibility(v); }
inline void applyModifier(CommandOption &o, OptionForm f) { o.setForm(f); }
inline void applyModifier(CommandOption &o, MiscFlag f) { o.addMisc(f); }
inline void applyModifier(CommandOption &o, const OptCategory &m) {
  o.addCategory(m.category);
}

} // namespace ostrel

#endif
