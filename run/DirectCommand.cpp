#include "run/DirectCommand.h"

#include <algorithm>
#include <climits>

namespace ostrel {

namespace {

/// Characters that bash takes literally outside quotes, wherever they stand
/// in a word.
bool isPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
}

/// The backslash escapes of a printf format that stand for one byte.
struct FormatEscape {
  char letter;
  char byte;
};
constexpr FormatEscape formatEscapes[] = {
    {'a', '\a'}, {'b', '\b'}, {'e', '\033'}, {'E', '\033'}, {'f', '\f'},
    {'n', '\n'}, {'r', '\r'}, {'t', '\t'},   {'v', '\v'},   {'\\', '\\'},
    {'"', '"'},  {'\'', '\''}, {'?', '?'},
};

bool isOctalDigit(char c) { return c >= '0' && c <= '7'; }

/// What printf writes for a format without arguments: its escapes and `%%`
/// decoded; nothing when the format holds a conversion or an escape outside
/// the table and the octal ones.
std::optional<std::string> formatOutput(const std::string &format) {
  std::string output;
  for (size_t at = 0; at < format.size(); ++at) {
    char c = format[at];
    if (c == '%') {
      if (at + 1 >= format.size() || format[at + 1] != '%')
        return std::nullopt;
      output += '%';
      ++at;
    } else if (c == '\\') {
      if (++at >= format.size())
        return std::nullopt;
      if (isOctalDigit(format[at])) {
        // Up to three digits, their value taken modulo 256.
        unsigned value = 0;
        size_t end = std::min(format.size(), at + 3);
        for (; at < end && isOctalDigit(format[at]); ++at)
          value = value * 8 + static_cast<unsigned>(format[at] - '0');
        --at;
        output += static_cast<char>(value & 0xFF);
        continue;
      }
      const FormatEscape *escape = nullptr;
      for (const FormatEscape &candidate : formatEscapes)
        if (candidate.letter == format[at])
          escape = &candidate;
      if (!escape)
        return std::nullopt;
      output += escape->byte;
    } else {
      output += c;
    }
  }
  return output;
}

} // namespace

std::optional<std::vector<std::vector<std::string>>> splitPlainPipeline(TextRef command) {
  std::vector<std::vector<std::string>> stages(1);
  std::string word;
  bool inWord = false;
  auto endWord = [&] {
    if (inWord)
      stages.back().push_back(std::move(word));
    word.clear();
    inWord = false;
  };
  for (size_t at = 0; at < command.size(); ++at) {
    char c = command[at];
    if (c == ' ' || c == '\t') {
      endWord();
    } else if (c == '|') {
      endWord();
      if (stages.back().empty())
        return std::nullopt;
      stages.emplace_back();
    } else if (c == '\'') {
      size_t close = command.find('\'', at + 1);
      if (close == TextRef::npos)
        return std::nullopt;
      word.append(command.data() + at + 1, close - at - 1);
      inWord = true;
      at = close;
    } else if (c == '"') {
      size_t close = at + 1;
      for (; close < command.size() && command[close] != '"'; ++close)
        if (command[close] == '$' || command[close] == '`' || command[close] == '\\')
          return std::nullopt;
      if (close >= command.size())
        return std::nullopt;
      word.append(command.data() + at + 1, close - at - 1);
      inWord = true;
      at = close;
    } else if (c == '\\') {
      if (at + 1 >= command.size() || command[at + 1] == '\n')
        return std::nullopt;
      word += command[++at];
      inWord = true;
    } else if (isPlain(c)) {
      word += c;
      inWord = true;
    } else {
      return std::nullopt;
    }
  }
  endWord();
  if (stages.back().empty())
    return std::nullopt;
  return stages;
}

std::optional<std::string> builtinOutput(const std::vector<std::string> &words) {
  std::optional<std::string> output;
  if (words.empty())
    return output;
  // A first argument starting with '-' may be an option of either builtin.
  if (words.size() > 1 && !words[1].empty() && words[1][0] == '-')
    return std::nullopt;
  if (words[0] == "printf" && words.size() == 2) {
    output = formatOutput(words[1]);
  } else if (words[0] == "echo") {
    output.emplace();
    for (size_t i = 1; i < words.size(); ++i)
      *output += (i > 1 ? " " : "") + words[i];
    *output += '\n';
  }
  // Written whole into the checker's pipe before the checker starts, which
  // never blocks up to this size.
  if (output && output->size() > PIPE_BUF)
    return std::nullopt;
  return output;
}

std::optional<DirectCommand> directCommand(TextRef command, const std::string &checkerName) {
  std::optional<std::vector<std::vector<std::string>>> stages = splitPlainPipeline(command);
  if (!stages || stages->size() > 2 || stages->back()[0] != checkerName)
    return std::nullopt;
  DirectCommand direct;
  direct.arguments = std::move(stages->back());
  if (stages->size() == 2) {
    direct.input = builtinOutput(stages->front());
    if (!direct.input)
      return std::nullopt;
  }
  return direct;
}

bool environmentKeepsBashPlain(const std::vector<std::string> &entries) {
  // A start-up file, imported options (xtrace, xpg_echo, ...), functions
  // that may stand in for any command, and POSIX mode.
  static constexpr std::string_view changers[] = {"BASH_ENV=",  "ENV=",       "SHELLOPTS=",
                                                  "BASHOPTS=",  "BASH_FUNC_", "POSIXLY_CORRECT="};
  for (const std::string &entry : entries)
    for (std::string_view changer : changers)
      if (std::string_view(entry).substr(0, changer.size()) == changer)
        return false;
  return true;
}

} // namespace ostrel
