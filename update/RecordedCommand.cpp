#include "update/RecordedCommand.h"

#include "support/cmdline/CommandLineParser.h"

#include <algorithm>
#include <system_error>

namespace ostrel {

namespace {

constexpr TextRef prefixOption = "--check-prefix=";

bool isPlainByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         TextRef("-_=./:,+%@").find(c) != TextRef::npos;
}

/// A word quoted the same way for a shell and for the option tokeniser:
/// single quotes when it holds neither a quote nor a backslash, otherwise a
/// backslash before every byte that needs one.
std::string quoted(TextRef word) {
  if (!word.empty() && std::all_of(word.begin(), word.end(), isPlainByte))
    return std::string(word);
  if (word.find_first_of("'\\") == TextRef::npos)
    return "'" + std::string(word) + "'";
  std::string escaped;
  for (char c : word) {
    if (!isPlainByte(c))
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

/// The generator options a record may hold: a value list or a flag each.
struct RecordedOption {
  TextRef name;
  std::vector<std::string> GeneratorOptions::*list;
  bool GeneratorOptions::*flag;
};
constexpr RecordedOption recordedOptionTable[] = {
    {"--label=", &GeneratorOptions::labels, nullptr},
    {"--scrub=", &GeneratorOptions::scrubs, nullptr},
    {"--scrub-numbers", nullptr, &GeneratorOptions::scrubNumbers},
    {"--whole", nullptr, &GeneratorOptions::whole},
};

} // namespace

std::vector<std::string> GeneratorOptions::words() const {
  std::vector<std::string> result;
  for (const RecordedOption &option : recordedOptionTable) {
    if (option.list)
      for (const std::string &value : this->*option.list)
        result.push_back(std::string(option.name) + value);
    else if (this->*option.flag)
      result.emplace_back(option.name);
  }
  return result;
}

std::optional<std::string> recordedText(TextRef lineBody, TextRef prefix) {
  if (!lineBody.starts_with(recordMarker))
    return std::nullopt;
  TextRef rest = trimLeft(lineBody.substr(recordMarker.size()), " \t");
  rest = trimRight(rest, " \t\r");
  std::string named = std::string(prefixOption) + std::string(prefix);
  if (prefix == "CHECK" ? rest.starts_with(prefixOption)
                        : !(rest.starts_with(named) &&
                            (rest.size() == named.size() || rest[named.size()] == ' ')))
    return std::nullopt;
  return std::string(prefix == "CHECK" ? rest : trimLeft(rest.substr(named.size()), " \t"));
}

std::string recordLineBody(TextRef prefix, const GeneratorOptions &options) {
  std::string body(recordMarker);
  if (prefix != "CHECK")
    body += " " + quoted(std::string(prefixOption) + std::string(prefix));
  for (const std::string &word : options.words())
    body += " " + quoted(word);
  return body;
}

ValueOrError<GeneratorOptions> recordedOptions(TextRef recorded) {
  GeneratorOptions options;
  for (const std::string &word : tokenizeCommandText(recorded)) {
    const RecordedOption *known = nullptr;
    for (const RecordedOption &option : recordedOptionTable)
      if (option.list ? TextRef(word).starts_with(option.name) : word == option.name)
        known = &option;
    if (!known)
      return makeTextError(std::make_error_code(std::errc::invalid_argument),
                           "'" + word + "' is not an option the record may hold (" +
                               "--label, --scrub, --scrub-numbers, --whole)");
    if (known->list)
      (options.*known->list).push_back(word.substr(known->name.size()));
    else
      options.*known->flag = true;
  }
  return options;
}

} // namespace ostrel
