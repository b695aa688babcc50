#ifndef OSTREL_SUPPORT_CMDLINE_VALUEPARSER_H
#define OSTREL_SUPPORT_CMDLINE_VALUEPARSER_H

/// Value types of options: each turns the text of one occurrence into a
/// typed value (reporting through the option error format on failure), says
/// whether it normally demands a value, and names the word the help listing
/// shows for the value.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "support/cmdline/CommandOption.h"
#include "support/fs/TextRef.h"

namespace ostrel {

/// How the help listing lays out an option of a value type.
enum class HelpStyle { Word, Flag, Enumeration };

/// Reads a boolean word; false when the text is not one.
bool readBooleanText(TextRef text, bool &value);
/// Reads an unsigned number with a 0x/0b/0o/0 base prefix; false when the
/// text is not entirely such a number or does not fit in 64 bits.
bool readUnsignedText(TextRef text, uint64_t &value);

template <typename T> class ValueParser;

template <> class ValueParser<bool> {
public:
  static constexpr HelpStyle style = HelpStyle::Flag;
  /// True on error (already reported).
  bool parse(const CommandOption &option, TextRef foundName, TextRef text,
             bool &value) const;
  TextRef valueWord() const { return TextRef(); }
  ValueExpectation defaultValueExpectation(const CommandOption &) const {
    return ValueAccepted;
  }
  void initialise(CommandOption &) {}
  void extraNames(std::vector<TextRef> &) const {}
};

/// Three-state boolean stored in any integral or enumeration type:
/// 0 unset, 1 true, 2 false.
template <typename T> class ThreeStateParser {
public:
  static constexpr HelpStyle style = HelpStyle::Flag;
  bool parse(const CommandOption &option, TextRef foundName, TextRef text,
             T &value) const {
    bool flag = false;
    if (ValueParser<bool>().parse(option, foundName, text, flag))
      return true;
    value = static_cast<T>(flag ? 1 : 2);
    return false;
  }
  TextRef valueWord() const { return TextRef(); }
  ValueExpectation defaultValueExpectation(const CommandOption &) const {
    return ValueAccepted;
  }
  void initialise(CommandOption &) {}
  void extraNames(std::vector<TextRef> &) const {}
};

template <> class ValueParser<uint32_t> {
public:
  static constexpr HelpStyle style = HelpStyle::Word;
  bool parse(const CommandOption &option, TextRef foundName, TextRef text,
             uint32_t &value) const;
  TextRef valueWord() const { return "uint"; }
  ValueExpectation defaultValueExpectation(const CommandOption &) const {
    return ValueDemanded;
  }
  void initialise(CommandOption &) {}
  void extraNames(std::vector<TextRef> &) const {}
};

template <> class ValueParser<uint64_t> {
public:
  static constexpr HelpStyle style = HelpStyle::Word;
  bool parse(const CommandOption &option, TextRef foundName, TextRef text,
             uint64_t &value) const;
  TextRef valueWord() const { return "ulong"; }
  ValueExpectation defaultValueExpectation(const CommandOption &) const {
    return ValueDemanded;
  }
  void initialise(CommandOption &) {}
  void extraNames(std::vector<TextRef> &) const {}
};

template <> class ValueParser<std::string> {
public:
  static constexpr HelpStyle style = HelpStyle::Word;
  bool parse(const CommandOption &, TextRef, TextRef text,
             std::string &value) const {
    value.assign(text.data() ? text : TextRef(""));
    return false;
  }
  TextRef valueWord() const { return "string"; }
  ValueExpectation defaultValueExpectation(const CommandOption &) const {
    return ValueDemanded;
  }
  void initialise(CommandOption &) {}
  void extraNames(std::vector<TextRef> &) const {}
};

/// One literal of an enumerated option.
struct EnumLiteral {
  TextRef name;
  int32_t value;
  TextRef help;
};

/// Enumeration stored as the 32-bit value of the matched literal.
class EnumParser {
public:
  static constexpr HelpStyle style = HelpStyle::Enumeration;
  bool parse(const CommandOption &option, TextRef foundName, TextRef text,
             int32_t &value) const;
  TextRef valueWord() const { return TextRef(); }
  ValueExpectation defaultValueExpectation(const CommandOption &option) const {
    return option.name.empty() ? ValueDisallowed : ValueDemanded;
  }
  /// Appends a literal; for a nameless option its name becomes a key.
  void addLiteral(CommandOption &option, const EnumLiteral &literal);
  /// Called once the option is registered: enters pending literal names.
  void initialise(CommandOption &option);
  void extraNames(std::vector<TextRef> &names) const;
  const std::vector<EnumLiteral> &literals() const { return table; }
  /// Help width contribution and block of an enumerated option.
  size_t helpWidth(const CommandOption &option) const;
  void printHelp(const CommandOption &option, size_t globalWidth) const;

private:
  std::vector<EnumLiteral> table;
  bool nameless = false;
};

template <> class ValueParser<int32_t> : public EnumParser {};

/// The words a value read by parser may be, by the parser's style.
template <typename Parser>
void appendValueWords(const Parser &parser, std::vector<TextRef> &words) {
  if constexpr (Parser::style == HelpStyle::Enumeration) {
    for (const EnumLiteral &literal : parser.literals())
      words.push_back(literal.name);
  } else if constexpr (Parser::style == HelpStyle::Flag) {
    words.push_back("true");
    words.push_back("false");
  }
}

} // namespace ostrel

#endif
