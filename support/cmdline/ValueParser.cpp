#include "support/cmdline/ValueParser.h"

#include <limits>

#include "support/cmdline/HelpLayout.h"
#include "support/cmdline/OptionRegistry.h"

namespace ostrel {

bool readBooleanText(TextRef text, bool &value) {
  static const struct {
    TextRef text;
    bool value;
  } words[] = {
      {"", true},       {"true", true},   {"TRUE", true},   {"True", true},
      {"1", true},      {"false", false}, {"FALSE", false}, {"False", false},
      {"0", false},
  };
  for (const auto &word : words)
    if (text == word.text) {
      value = word.value;
      return true;
    }
  return false;
}

bool readUnsignedText(TextRef text, uint64_t &value) {
  return consumeUnsigned(text, value) && text.empty();
}

static std::string quoted(TextRef text, TextRef tail) {
  std::string message("'");
  message.append(text);
  message.append(tail);
  return message;
}

bool ValueParser<bool>::parse(const CommandOption &option, TextRef, TextRef text,
                              bool &value) const {
  if (readBooleanText(text, value))
    return false;
  return option.error(
      quoted(text, "' is invalid value for boolean argument! Try 0 or 1"));
}

bool ValueParser<uint32_t>::parse(const CommandOption &option, TextRef,
                                  TextRef text, uint32_t &value) const {
  uint64_t wide = 0;
  if (!readUnsignedText(text, wide) || wide > 0xffffffffu)
    return option.error(quoted(text, "' value invalid for uint argument!"));
  value = static_cast<uint32_t>(wide);
  return false;
}

bool ValueParser<uint64_t>::parse(const CommandOption &option, TextRef,
                                  TextRef text, uint64_t &value) const {
  if (!readUnsignedText(text, value))
    return option.error(quoted(text, "' value invalid for ulong argument!"));
  return false;
}

bool EnumParser::parse(const CommandOption &option, TextRef foundName,
                       TextRef text, int32_t &value) const {
  TextRef compared = option.name.empty() ? foundName : text;
  for (const EnumLiteral &literal : table)
    if (literal.name == compared) {
      value = literal.value;
      return false;
    }
  std::string message("Cannot find option named '");
  message.append(compared);
  message.append("'!");
  return option.error(message);
}

void EnumParser::addLiteral(CommandOption &option, const EnumLiteral &literal) {
  table.push_back(literal);
  if (option.isRegistered() && option.name.empty())
    OptionRegistry::get().addLiteralName(option, literal.name);
}

void EnumParser::initialise(CommandOption &option) {
  nameless = option.name.empty();
  // Literals given before registration become keys now.
  if (nameless)
    for (const EnumLiteral &literal : table)
      OptionRegistry::get().addLiteralName(option, literal.name);
}

void EnumParser::extraNames(std::vector<TextRef> &names) const {
  if (!nameless)
    return;
  for (const EnumLiteral &literal : table)
    names.push_back(literal.name);
}

} // namespace ostrel
