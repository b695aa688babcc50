#include "lint/RunLineOptions.h"

#include "support/cmdline/CommandLineParser.h"

#include <algorithm>

namespace ostrel {

namespace {

/// Drops the ";", "|" and "&" that end a shell command from the end of
/// `word`; true when there were any.
bool dropCommandEnd(TextRef &word) {
  size_t kept = word.find_last_not_of(";|&");
  size_t length = kept == TextRef::npos ? 0 : kept + 1;
  bool ends = length < word.size();
  word = word.substr(0, length);
  return ends;
}

bool namesOstrel(TextRef word) {
  if (consumeFront(word, "%")) {
    bool enclosed = word.size() >= 2 && ((word.front() == '{' && word.back() == '}') ||
                                         (word.front() == '(' && word.back() == ')'));
    return (enclosed ? word.substr(1, word.size() - 2) : word) == "ostrel";
  }
  return wordNamesProgram(word, "ostrel");
}

void addPrefixes(TextRef values, bool commaSeparated, std::vector<std::string> &prefixes) {
  while (true) {
    size_t comma = commaSeparated ? values.find(',') : TextRef::npos;
    std::string prefix(values.substr(0, comma));
    if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
      prefixes.push_back(prefix);
    if (comma == TextRef::npos)
      return;
    values.remove_prefix(comma + 1);
  }
}

struct FlagName {
  TextRef name;
  bool CheckerCall::*flag;
};

constexpr FlagName flagNames[] = {
    {"enable-var-scope", &CheckerCall::enableVarScope},
    {"match-full-lines", &CheckerCall::matchFullLines},
    {"allow-unused-prefixes", &CheckerCall::allowUnusedPrefixes},
};

/// Reads the option `word` of a call of ostrel; `i` indexes it in `words`
/// and moves on when the value is the next word.
void readOption(const std::vector<std::string> &words, size_t &i, TextRef word,
                CheckerCall &call) {
  TextRef option = word;
  if (consumeFront(option, "-D")) {
    if (!option.empty())
      call.defines.emplace_back(option);
    else if (i + 1 < words.size())
      call.defines.push_back(words[++i]);
    return;
  }
  if (!consumeFront(option, "--") && !consumeFront(option, "-"))
    return;
  for (const FlagName &flag : flagNames) {
    TextRef value = option;
    if (!consumeFront(value, flag.name))
      continue;
    if (value.empty() || value == "=true" || value == "=1")
      call.*flag.flag = true;
    else if (value == "=false" || value == "=0")
      call.*flag.flag = false;
    return;
  }
  for (TextRef name : {TextRef("check-prefixes"), TextRef("check-prefix")}) {
    if (!consumeFront(option, name))
      continue;
    bool commaSeparated = name == "check-prefixes";
    if (consumeFront(option, "="))
      addPrefixes(option, commaSeparated, call.checkPrefixes);
    else if (option.empty() && i + 1 < words.size())
      addPrefixes(words[++i], commaSeparated, call.checkPrefixes);
    return;
  }
}

void scanCommand(const std::vector<std::string> &words, const std::vector<TextRef> &lines,
                 std::vector<CheckerCall> &calls) {
  bool inOstrel = false;
  for (size_t i = 0; i < words.size(); ++i) {
    TextRef word = words[i];
    bool endsCommand = dropCommandEnd(word);
    if (inOstrel) {
      readOption(words, i, word, calls.back());
    } else if (namesOstrel(word)) {
      inOstrel = true;
      calls.emplace_back().lines = lines;
    }
    if (endsCommand)
      inOstrel = false;
  }
}

} // namespace

std::vector<CheckerCall> checkerCalls(const std::vector<TextRef> &runLines) {
  std::vector<CheckerCall> calls;
  std::string command;
  std::vector<TextRef> lines;
  for (TextRef line : runLines) {
    lines.push_back(line);
    line = trimRight(line);
    bool continues = line.ends_with("\\");
    if (continues)
      line.remove_suffix(1);
    command += line;
    command += ' ';
    if (continues)
      continue;
    scanCommand(tokenizeCommandText(command), lines, calls);
    command.clear();
    lines.clear();
  }
  if (!command.empty())
    scanCommand(tokenizeCommandText(command), lines, calls);
  return calls;
}

} // namespace ostrel
