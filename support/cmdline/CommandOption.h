#ifndef OSTREL_SUPPORT_CMDLINE_COMMANDOPTION_H
#define OSTREL_SUPPORT_CMDLINE_COMMANDOPTION_H

/// The base of every command-line option: occurrence bookkeeping, the packed
/// flags word, names and help texts, and the help categories and scopes the
/// option belongs to. Concrete kinds (single value, list, alias) derive from
/// it; the registry (OptionRegistry.h) finds them by name and the parser
/// feeds them values.

#include <cstdint>
#include <string>
#include <vector>

#include "support/fs/TextRef.h"

namespace ostrel {

class HelpCategory;
class CommandScope;

enum OccurrenceRule : unsigned {
  OccurOptional = 0,
  OccurAny = 1,
  OccurRequired = 2,
  OccurAtLeastOnce = 3,
  ConsumeAfter = 4,
};

enum ValueExpectation : unsigned {
  ValueFromType = 0,
  ValueAccepted = 1,
  ValueDemanded = 2,
  ValueDisallowed = 3,
};

enum Visibility : unsigned {
  Shown = 0,
  HiddenInHelp = 1,
  HiddenEverywhere = 2,
};

enum OptionForm : unsigned {
  NamedForm = 0,
  PositionalForm = 1,
  PrefixForm = 2,
  PrefixOnlyForm = 3,
};

/// Independent flags; they live in bits 9-13 of the flags word.
enum MiscFlag : unsigned {
  SplitOnCommas = 1u << 0,
  EatsFollowingArgs = 1u << 1,
  CatchesUnmatched = 1u << 2,
  Groupable = 1u << 3,
  OverridableDefault = 1u << 4,
};

class CommandOption {
public:
  uint16_t occurrences = 0;
  /// Bits 0-2 rule, 3-4 expectation, 5-6 visibility, 7-8 form, 9-13 misc
  /// flags, 14 registered; bit 15 belongs to nobody.
  uint16_t flags = 0;
  uint16_t position = 0;
  uint16_t additionalValues = 0;
  TextRef name;
  TextRef help;
  TextRef valueName;
  std::vector<HelpCategory *> categories;
  std::vector<CommandScope *> scopes;

  /// Parses value with the option's type, stores it, records position and
  /// calls the callback. True on error (already reported).
  virtual bool acceptValue(unsigned pos, TextRef foundName, TextRef value) = 0;
  /// The expectation used when the flags hold ValueFromType.
  virtual ValueExpectation defaultValueExpectation() const;
  virtual void anchor();
  virtual ~CommandOption();
  /// Width of the option's first help line up to the help text.
  virtual size_t helpWidth() const = 0;
  /// Writes the option's help block to standard output.
  virtual void printHelpLine(size_t globalWidth) const = 0;
  virtual void resetToDefault() = 0;
  /// Appends further names under which the option can be found.
  virtual void extraNames(std::vector<TextRef> &names) const;
  /// Appends the words a value of the option may be (the literals of an
  /// enumeration, true and false for a flag); appends nothing when any text
  /// will do. Shell completion offers them.
  virtual void valueWords(std::vector<TextRef> &words) const;
  /// Counts one occurrence (unless it continues a multi-value occurrence)
  /// and accepts the value. True on error.
  virtual bool recordOccurrence(unsigned pos, TextRef foundName, TextRef value,
                                bool multiValue);

  OccurrenceRule occurrenceRule() const { return OccurrenceRule(flags & 7u); }
  ValueExpectation valueExpectationFlag() const {
    return ValueExpectation((flags >> 3) & 3u);
  }
  /// The flag's expectation, or the type's when the flag says ValueFromType.
  ValueExpectation valueExpectation() const {
    ValueExpectation e = valueExpectationFlag();
    return e == ValueFromType ? defaultValueExpectation() : e;
  }
  Visibility visibility() const { return Visibility((flags >> 5) & 3u); }
  OptionForm form() const { return OptionForm((flags >> 7) & 3u); }
  unsigned miscFlags() const { return (flags >> 9) & 31u; }
  bool hasMisc(MiscFlag f) const { return (miscFlags() & f) != 0; }
  bool isRegistered() const { return (flags >> 14) & 1u; }

  void setOccurrenceRule(OccurrenceRule r) { setBits(0, 7u, r); }
  void setValueExpectation(ValueExpectation e) { setBits(3, 3u, e); }
  void setVisibility(Visibility v) { setBits(5, 3u, v); }
  void setForm(OptionForm f) { setBits(7, 3u, f); }
  void addMisc(unsigned f) { flags = uint16_t(flags | ((f & 31u) << 9)); }
  void clearMisc(unsigned f) { flags = uint16_t(flags & ~((f & 31u) << 9)); }

  /// Sets the name; a registered option is re-keyed in its scopes first.
  /// A one-character name makes the option groupable.
  void setName(TextRef newName);
  void setHelp(TextRef text) { help = text; }
  void setValueName(TextRef text) { valueName = text; }
  /// Adds a help category by the rule that a named category replaces the
  /// default "General options".
  void addCategory(HelpCategory &category);
  void addScope(CommandScope &scope);
  /// Enters the option into the registry and sets the registered bit.
  void registerOption();

  bool needsPositionalValue() const {
    return occurrenceRule() == OccurRequired ||
           occurrenceRule() == OccurAtLeastOnce;
  }
  bool takesUnboundedValues() const {
    return occurrenceRule() == OccurAny || occurrenceRule() == OccurAtLeastOnce;
  }
  bool isPrefixOrGroupable() const {
    return form() == PrefixForm || form() == PrefixOnlyForm || hasMisc(Groupable);
  }
  bool isInScope(const CommandScope &scope) const;

  /// Reports message through the option error format: "<prog>: for the
  /// --name option: message\n", or "<help> option: message\n" when nameless.
  /// reportedName, when non-empty, replaces the option's own name.
  bool error(TextRef message, TextRef reportedName = TextRef()) const;

protected:
  CommandOption(OccurrenceRule rule, Visibility visibility);

private:
  void setBits(unsigned shift, unsigned mask, unsigned value) {
    flags = uint16_t((flags & ~(mask << shift)) | ((value & mask) << shift));
  }
  void markRegistered() { flags = uint16_t(flags | (1u << 14)); }
  friend class OptionRegistry;
};

/// "-" before names of length 0 or 1, "--" before longer ones.
std::string dashedName(TextRef name);

} // namespace ostrel

#endif
