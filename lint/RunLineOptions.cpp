#include "lint/RunLineOptions.h"

#include "support/cmdline/CommandLineParser.h"

#include <algorithm>

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
  size_t slash = word.rfind('/');
  return word.substr(slash == TextRef::npos ? 0 : slash + 1) == "ostrel";
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

/// Reads the option `word` of a command named ostrel; `i` indexes it in
/// `words` and moves on when the value is the next word.
void readOption(const std::vector<std::string> &words, size_t &i, TextRef word,
                RunLineOptions &found) {
  TextRef option = word;
  if (consumeFront(option, "-D")) {
    if (!option.empty())
      found.defines.emplace_back(option);
    else if (i + 1 < words.size())
      found.defines.push_back(words[++i]);
    return;
  }
  if (!consumeFront(option, "--") && !consumeFront(option, "-"))
    return;
  for (TextRef name : {TextRef("check-prefixes"), TextRef("check-prefix")}) {
    if (!consumeFront(option, name))
      continue;
    bool commaSeparated = name == "check-prefixes";
    if (consumeFront(option, "="))
      addPrefixes(option, commaSeparated, found.checkPrefixes);
    else if (option.empty() && i + 1 < words.size())
      addPrefixes(words[++i], commaSeparated, found.checkPrefixes);
    return;
  }
}

void scanCommand(const std::vector<std::string> &words, RunLineOptions &found) {
  bool inOstrel = false;
  for (size_t i = 0; i < words.size(); ++i) {
    TextRef word = words[i];
    bool endsCommand = dropCommandEnd(word);
    if (inOstrel)
      readOption(words, i, word, found);
    else
      inOstrel = namesOstrel(word);
    if (endsCommand)
      inOstrel = false;
  }
}

} // namespace

RunLineOptions optionsFromRunLines(const std::vector<TextRef> &runLines) {
  RunLineOptions found;
  std::string command;
  for (TextRef line : runLines) {
    line = trimRight(line);
    bool continues = line.ends_with("\\");
    if (continues)
      line.remove_suffix(1);
    command += line;
    command += ' ';
    if (continues)
      continue;
    scanCommand(tokenizeCommandText(command), found);
    command.clear();
  }
  if (!command.empty())
    scanCommand(tokenizeCommandText(command), found);
  return found;
}
