#ifndef OSTREL_SUPPORT_CMDLINE_ALIASOPTION_H
#define OSTREL_SUPPORT_CMDLINE_ALIASOPTION_H

/// A second name for another option. It has no value of its own: every
/// occurrence is handed to the target under the target's name. Aliases are
/// hidden from help unless the definition says otherwise.

#include "support/cmdline/OptionModifiers.h"

namespace ostrel {

class AliasOption : public CommandOption {
public:
  template <typename... Mods>
  explicit AliasOption(const Mods &...mods)
      : CommandOption(OccurOptional, HiddenInHelp) {
    (applyOne(mods), ...);
    finish();
  }

  CommandOption *target() const { return aliasTarget; }

  bool acceptValue(unsigned pos, TextRef foundName, TextRef value) override;
  ValueExpectation defaultValueExpectation() const override;
  size_t helpWidth() const override;
  void printHelpLine(size_t globalWidth) const override;
  void resetToDefault() override;
  void valueWords(std::vector<TextRef> &words) const override;
  bool recordOccurrence(unsigned pos, TextRef foundName, TextRef value,
                        bool multiValue) override;

private:
  template <typename M> void applyOne(const M &m) { applyModifier(*this, m); }
  void applyOne(const OptScope &) { scopeGiven = true; }
  void applyOne(const OptAliasOf &m);
  void finish();

  CommandOption *aliasTarget = nullptr;
  bool scopeGiven = false;
};

} // namespace ostrel

#endif
