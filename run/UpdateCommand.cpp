#include "run/UpdateCommand.h"

#include "support/cmdline/CommandLineParser.h"

#include <algorithm>
#include <iterator>

namespace ostrel {

namespace {

/// Where the shell's operators stand in a command line outside quotes.
struct Operator {
  size_t at;
  size_t length;
  /// "|" joins a pipeline; ";", "&", "&&" and "||" separate commands.
  bool isPipe;
};

/// The shell's reserved words that open and close compound commands, and
/// those after which a command starts.
constexpr TextRef openingWords[] = {"if", "case", "for", "while", "until", "select"};
constexpr TextRef closingWords[] = {"fi", "esac", "done"};
constexpr TextRef leadingWords[] = {"then", "do", "else", "elif", "!", "time"};

template <size_t N> bool oneOf(TextRef word, const TextRef (&words)[N]) {
  return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

bool isWordEnd(char c) {
  return isSpaceByte(c) || c == '|' || c == '&' || c == ';' || c == '(' || c == ')' ||
         c == '<' || c == '>';
}

std::vector<Operator> topLevelOperators(TextRef line) {
  std::vector<Operator> found;
  int depth = 0;
  bool commandStart = true;
  for (size_t at = 0; at < line.size();) {
    char c = line[at];
    if (isSpaceByte(c)) {
      ++at;
      continue;
    }
    if (c == '(' || c == '{' || c == ')' || c == '}') {
      depth += c == '(' || c == '{' ? 1 : -1;
      commandStart = c == '(' || c == '{';
      ++at;
      continue;
    }
    if (c == '|' || c == '&' || c == ';') {
      bool doubled = at + 1 < line.size() && line[at + 1] == c && c != ';';
      bool pipe = c == '|' && !doubled;
      size_t length = doubled || (pipe && at + 1 < line.size() && line[at + 1] == '&') ? 2 : 1;
      if (depth == 0)
        found.push_back({at, length, pipe});
      commandStart = true;
      at += length;
      continue;
    }
    // A word, quotes and escapes included; a redirection such as ">&2" is
    // read as part of it.
    size_t start = at;
    char quote = 0;
    for (; at < line.size(); ++at) {
      char d = line[at];
      if (quote) {
        if (d == '\\' && quote == '"')
          ++at;
        else if (d == quote)
          quote = 0;
        continue;
      }
      if (d == '\\') {
        ++at;
        continue;
      }
      if (d == '\'' || d == '"') {
        quote = d;
        continue;
      }
      if ((d == '<' || d == '>') && at + 1 < line.size() && line[at + 1] == '&') {
        ++at;
        continue;
      }
      if (d == '&' && at > start && (line[at - 1] == '>' || line[at - 1] == '<'))
        continue;
      if (isWordEnd(d) && !(d == '<' || d == '>'))
        break;
    }
    TextRef word = line.substr(start, at - start);
    if (commandStart && oneOf(word, openingWords))
      ++depth;
    else if (commandStart && oneOf(word, closingWords))
      --depth;
    commandStart = commandStart && (oneOf(word, leadingWords) || oneOf(word, openingWords));
  }
  return found;
}

struct CheckerOption {
  TextRef name;
  /// Takes a value (as "=value" or as the next word).
  bool takesValue;
  /// Passed on to ostrel-update.
  bool passedOn;
};

/// The options of ostrel, and which of them shape the check that ostrel-update writes.
constexpr CheckerOption checkerOptions[] = {
    {"input-file", true, false},         {"check-prefix", true, true},
    {"check-prefixes", true, true},      {"comment-prefixes", true, true},
    {"implicit-check-not", true, true},  {"D", true, true},
    {"strict-whitespace", false, true},  {"match-full-lines", false, true},
    {"ignore-case", false, true},        {"enable-var-scope", false, true},
    {"allow-empty", false, true},        {"allow-unused-prefixes", false, false},
    {"allow-deprecated-dag-overlap", false, false},
    {"v", false, false},                 {"vv", false, false},
    {"dump-input", true, false},         {"dump-input-filter", true, false},
    {"dump-input-context", true, false}, {"color", false, false},
};

/// Reads the words of the ostrel command into `command`.
void readOstrelWords(const std::vector<std::string> &words, UpdateCommand &command) {
  for (size_t i = 1; i < words.size(); ++i) {
    TextRef word = words[i];
    if (word.size() < 2 || word[0] != '-') {
      if (!command.checkFile.empty()) {
        command.refusal = "ostrel is given more than one check file";
        return;
      }
      command.checkFile = std::string(word);
      continue;
    }
    TextRef option = word.substr(word[1] == '-' ? 2 : 1);
    TextRef value;
    bool hasValue = false;
    size_t equals = option.find('=');
    if (word[1] == 'D' && word.size() > 2) {
      value = word.substr(2);
      option = "D";
      hasValue = true;
    } else if (equals != TextRef::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
      hasValue = true;
    }
    const CheckerOption *known = nullptr;
    for (const CheckerOption &candidate : checkerOptions)
      if (candidate.name == option)
        known = &candidate;
    if (!known) {
      command.refusal = "ostrel is given the option '" + std::string(word) +
                        "', which the refresh does not know";
      return;
    }
    if (known->takesValue && !hasValue) {
      if (i + 1 == words.size()) {
        command.refusal = "the option '" + std::string(word) + "' of ostrel has no value";
        return;
      }
      value = words[++i];
      hasValue = true;
    }
    if (option == "input-file") {
      command.inputFile = std::string(value);
      continue;
    }
    if (!known->passedOn)
      continue;
    if (option == "check-prefixes") {
      if (value.find(',') != TextRef::npos) {
        command.refusal = "ostrel checks several prefixes; a refresh writes one";
        return;
      }
      option = "check-prefix";
    }
    std::string passed = (option == "D" ? "-D" : "--" + std::string(option));
    if (hasValue)
      passed += (option == "D" ? "" : "=") + std::string(value);
    command.checkerOptions.push_back(std::move(passed));
  }
  if (command.checkFile.empty())
    command.refusal = "ostrel is given no check file";
}

} // namespace

UpdateCommand readUpdateCommand(TextRef runLine) {
  UpdateCommand command;
  std::vector<Operator> operators = topLevelOperators(runLine);
  // The last command of the line is the check: the pipeline after the last
  // separator, its last stage ostrel.
  size_t pipelineStart = 0;
  for (const Operator &op : operators)
    if (!op.isPipe)
      pipelineStart = op.at + op.length;
  const Operator *lastPipe = nullptr;
  for (const Operator &op : operators)
    if (op.isPipe && op.at >= pipelineStart)
      lastPipe = &op;
  size_t checkStart = lastPipe ? lastPipe->at + lastPipe->length : pipelineStart;
  TextRef check = trim(runLine.substr(checkStart));
  std::vector<std::string> words = tokenizeCommandText(check);
  if (words.empty() || !wordNamesProgram(words[0], "ostrel")) {
    command.refusal = "the failing RUN line does not end in a command named ostrel";
    return command;
  }
  readOstrelWords(words, command);
  if (!command.refusal.empty())
    return command;
  std::string before(runLine.substr(0, pipelineStart));
  if (!before.empty())
    before += ' ';
  if (lastPipe) {
    if (!command.inputFile.empty()) {
      command.refusal = "ostrel is given both a pipe and --input-file";
      return command;
    }
    TextRef producer = trim(runLine.substr(pipelineStart, lastPipe->at - pipelineStart));
    if (lastPipe->length == 2) {
      command.producerScript = before + "{ " + std::string(producer) +
                               " ; } > \"$OSTREL_RUN_CAPTURE\" 2>&1";
    } else {
      command.producerScript = before + "{ " + std::string(producer) +
                               " ; } > \"$OSTREL_RUN_CAPTURE\"";
    }
    return command;
  }
  if (command.inputFile.empty() || command.inputFile == "-") {
    command.refusal = "ostrel reads neither a pipe nor an --input-file";
    return command;
  }
  // The commands before ostrel make its input file.
  if (!before.empty())
    command.producerScript = before + "true";
  return command;
}

} // namespace ostrel
