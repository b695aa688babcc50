#ifndef OSTREL_SUPPORT_CMDLINE_HELPLAYOUT_H
#define OSTREL_SUPPORT_CMDLINE_HELPLAYOUT_H

/// Building blocks of the help listing shared by the option kinds: the name
/// prefix, the aligned help text, and the blocks for options with a value
/// word and for flags. Each block is appended to a text.

#include <string>

#include "support/cmdline/CommandOption.h"
#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/ValueParser.h"
#include "support/fs/TextRef.h"

namespace ostrel {

/// "  -n" or "  --name".
void appendNamePrefix(std::string &out, TextRef name);
/// Width of the name prefix plus " - ".
size_t nameWidth(TextRef name);
/// Pads from firstWidth to globalWidth, then " - " and the help text; later
/// lines of the help start at column globalWidth.
void appendHelpLine(std::string &out, TextRef help, size_t firstWidth,
                    size_t globalWidth);
/// Like appendHelpLine for one literal of an enumeration, two columns deeper.
void appendValueHelpLine(std::string &out, TextRef help, size_t firstWidth,
                         size_t globalWidth);

/// Options whose value has a help word (numbers, strings).
size_t wordOptionWidth(const CommandOption &option, TextRef typeWord);
void appendWordOption(std::string &out, const CommandOption &option,
                      TextRef typeWord, size_t globalWidth);
/// Options without a value word (booleans, aliases).
size_t flagOptionWidth(const CommandOption &option);
void appendFlagOption(std::string &out, const CommandOption &option,
                      size_t globalWidth);

/// Help width of an option whose values parser reads, by the parser's style.
template <typename Parser>
size_t valueOptionWidth(const CommandOption &option, const Parser &parser) {
  if constexpr (Parser::style == HelpStyle::Word)
    return wordOptionWidth(option, parser.valueWord());
  else if constexpr (Parser::style == HelpStyle::Enumeration)
    return parser.helpWidth(option);
  else
    return flagOptionWidth(option);
}

/// Writes the help block of an option whose values parser reads.
template <typename Parser>
void printValueOption(const CommandOption &option, const Parser &parser,
                      size_t globalWidth) {
  if constexpr (Parser::style == HelpStyle::Enumeration) {
    parser.printHelp(option, globalWidth);
  } else {
    std::string out;
    if constexpr (Parser::style == HelpStyle::Word)
      appendWordOption(out, option, parser.valueWord(), globalWidth);
    else
      appendFlagOption(out, option, globalWidth);
    writeOptionOutput(out);
  }
}

} // namespace ostrel

#endif
