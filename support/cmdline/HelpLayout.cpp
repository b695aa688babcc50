#include "support/cmdline/HelpLayout.h"

#include <algorithm>

#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/ValueParser.h"

namespace ostrel {

void appendNamePrefix(std::string &out, TextRef name) {
  out.append("  ");
  out.append(dashedName(name));
}

size_t nameWidth(TextRef name) {
  return name.size() + 2 + (name.size() == 1 ? 1 : 2) + 3;
}

static void appendSpaces(std::string &out, size_t from, size_t to) {
  if (to > from)
    out.append(to - from, ' ');
}

static void appendLines(std::string &out, TextRef help, size_t firstWidth,
                        size_t globalWidth, size_t extraIndent) {
  appendSpaces(out, firstWidth, globalWidth);
  out.append(" - ");
  out.append(extraIndent, ' ');
  size_t end = help.find('\n');
  out.append(help.substr(0, end));
  out.push_back('\n');
  // A final line feed ends the last line; it does not start an empty one.
  while (end != TextRef::npos && end + 1 < help.size()) {
    help.remove_prefix(end + 1);
    end = help.find('\n');
    out.append(globalWidth + extraIndent, ' ');
    out.append(help.substr(0, end));
    out.push_back('\n');
  }
}

void appendHelpLine(std::string &out, TextRef help, size_t firstWidth,
                    size_t globalWidth) {
  appendLines(out, help, firstWidth, globalWidth, 0);
}

void appendValueHelpLine(std::string &out, TextRef help, size_t firstWidth,
                         size_t globalWidth) {
  appendLines(out, help, firstWidth, globalWidth, 2);
}

static TextRef shownWord(const CommandOption &option, TextRef typeWord) {
  return option.valueName.empty() ? typeWord : option.valueName;
}

size_t wordOptionWidth(const CommandOption &option, TextRef typeWord) {
  size_t width = nameWidth(option.name) + shownWord(option, typeWord).size() + 3;
  if (option.hasMisc(EatsFollowingArgs))
    width += 3;
  return width;
}

void appendWordOption(std::string &out, const CommandOption &option,
                      TextRef typeWord, size_t globalWidth) {
  TextRef word = shownWord(option, typeWord);
  appendNamePrefix(out, option.name);
  if (option.hasMisc(EatsFollowingArgs)) {
    out.append(" <").append(word).append(">...");
  } else if (option.valueExpectation() == ValueAccepted) {
    out.append("[=<").append(word).append(">]");
  } else {
    out.append(option.name.size() == 1 ? " <" : "=<").append(word).append(">");
  }
  appendHelpLine(out, option.help, wordOptionWidth(option, typeWord),
                 globalWidth);
}

size_t flagOptionWidth(const CommandOption &option) {
  return nameWidth(option.name);
}

void appendFlagOption(std::string &out, const CommandOption &option,
                      size_t globalWidth) {
  appendNamePrefix(out, option.name);
  appendHelpLine(out, option.help, nameWidth(option.name), globalWidth);
}

static bool literalListed(const CommandOption &option,
                          const EnumLiteral &literal) {
  return !literal.name.empty() || !literal.help.empty() ||
         option.valueExpectation() != ValueAccepted;
}

static size_t literalWidth(const EnumLiteral &literal) {
  return literal.name.empty() ? 15 : literal.name.size() + 8;
}

size_t EnumParser::helpWidth(const CommandOption &option) const {
  if (option.name.empty()) {
    size_t width = 0;
    for (const EnumLiteral &literal : table)
      width = std::max(width, nameWidth(literal.name));
    return width;
  }
  size_t width = nameWidth(option.name) + 8;
  for (const EnumLiteral &literal : table)
    if (literalListed(option, literal))
      width = std::max(width, literalWidth(literal));
  return width;
}

void EnumParser::printHelp(const CommandOption &option,
                           size_t globalWidth) const {
  std::string out;
  if (option.name.empty()) {
    // Reachable only through its literals: one line per literal.
    for (const EnumLiteral &literal : table) {
      appendNamePrefix(out, literal.name);
      appendHelpLine(out, literal.help, nameWidth(literal.name), globalWidth);
    }
    writeOptionOutput(out);
    return;
  }
  if (option.valueExpectation() == ValueAccepted) {
    for (const EnumLiteral &literal : table)
      if (literal.name.empty()) {
        appendFlagOption(out, option, globalWidth);
        break;
      }
  }
  appendNamePrefix(out, option.name);
  out.append("=<value>");
  appendHelpLine(out, option.help, nameWidth(option.name) + 8, globalWidth);
  for (const EnumLiteral &literal : table) {
    if (!literalListed(option, literal))
      continue;
    out.append("    =");
    out.append(literal.name.empty() ? TextRef("<empty>") : literal.name);
    if (literal.help.empty())
      out.push_back('\n');
    else
      appendValueHelpLine(out, literal.help, literalWidth(literal), globalWidth);
  }
  writeOptionOutput(out);
}

} // namespace ostrel
