#include "support/cmdline/CommandLineParser.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <set>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>

#include "support/cmdline/ColourOption.h"
#include "support/fs/EditDistance.h"
#include "support/cmdline/HelpPrinter.h"
#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/OptionRegistry.h"

namespace ostrel {

namespace {

using MaybeText = std::optional<TextRef>;

/// The creators of the library-wide options, run once, on the first parse.
constexpr void (*libraryOptionCreators[])() = {&createBuiltinOptions, &createColourOption,
                                               &createLibraryWideOptions};

// The arguments must outlive every option that keeps a view into them.
std::vector<std::string> &argumentStore() {
  static std::vector<std::string> *store = new std::vector<std::string>();
  return *store;
}

bool isCommandSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

const std::vector<std::string> &parsedArguments() { return argumentStore(); }

bool wordNamesProgram(TextRef word, TextRef program) {
  size_t slash = word.rfind('/');
  return word.substr(slash == TextRef::npos ? 0 : slash + 1) == program;
}

std::vector<std::string> tokenizeCommandText(TextRef text) {
  std::vector<std::string> result;
  std::string token;
  size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    char c = text[i];
    if (token.empty() && isCommandSpace(c))
      continue;
    if (c == '\\' && i + 1 < size) {
      token.push_back(text[++i]);
    } else if (c == '"' || c == '\'') {
      char quote = c;
      for (++i; i < size && text[i] != quote; ++i) {
        if (text[i] == '\\' && i + 1 < size)
          ++i;
        token.push_back(text[i]);
      }
      // An unterminated run keeps what it collected.
    } else if (isCommandSpace(c)) {
      result.push_back(std::move(token));
      token.clear();
    } else {
      token.push_back(c);
    }
  }
  if (!token.empty())
    result.push_back(std::move(token));
  return result;
}

namespace {

bool readWholeFile(const std::string &path, std::string &contents) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  contents.clear();
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      ok = false;
      break;
    }
    if (got == 0)
      break;
    contents.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return ok;
}

void appendUtf8(std::string &out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(char(code));
  } else if (code < 0x800) {
    out.push_back(char(0xC0 | (code >> 6)));
    out.push_back(char(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(char(0xE0 | (code >> 12)));
    out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(char(0x80 | (code & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (code >> 18)));
    out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(char(0x80 | (code & 0x3F)));
  }
}

// Converts UTF-16 text after its byte-order mark to UTF-8. False for an odd
// byte count or an unpaired surrogate.
bool convertUtf16(TextRef bytes, bool bigEndian, std::string &out) {
  if (bytes.size() % 2 != 0)
    return false;
  auto unit = [&](size_t k) -> uint32_t {
    uint32_t a = static_cast<unsigned char>(bytes[k]);
    uint32_t b = static_cast<unsigned char>(bytes[k + 1]);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  out.clear();
  for (size_t k = 0; k < bytes.size(); k += 2) {
    uint32_t code = unit(k);
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (k + 2 >= bytes.size())
        return false;
      uint32_t low = unit(k + 2);
      if (low < 0xDC00 || low > 0xDFFF)
        return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      k += 2;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return false;
    }
    appendUtf8(out, code);
  }
  return true;
}

// Turns raw response-file bytes into text; false when they are undecodable.
bool decodeResponseFile(std::string &contents) {
  TextRef bytes(contents);
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                            (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    std::string converted;
    if (!convertUtf16(bytes.substr(2), bytes[0] == '\xFE', converted))
      return false;
    contents.swap(converted);
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    contents.erase(0, 3);
  }
  return true;
}

// A response file by identity: the same file under any name.
using FileIdentity = std::pair<dev_t, ino_t>;

// One list of arguments being walked: the command line at the bottom, above
// it the words of each response file being expanded inside the one below.
struct ArgumentFrame {
  std::optional<FileIdentity> file; // none for the command line and unknown files
  const std::vector<std::string> *words;
  size_t next = 0;
};

std::string absolutePath(const std::string &name, std::string &cwd) {
  if (!name.empty() && name[0] == '/')
    return name;
  if (cwd.empty()) {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size()) && errno == ERANGE)
      buffer.resize(buffer.size() * 2);
    cwd = buffer.data();
  }
  if (cwd.empty())
    return name;
  return cwd + (cwd.back() == '/' ? "" : "/") + name;
}

// The arguments of a response file, or nothing when it cannot be read or
// decoded.
std::optional<std::vector<std::string>> readResponseFile(const std::string &path) {
  std::string contents;
  if (!readWholeFile(path, contents) || !decodeResponseFile(contents))
    return std::nullopt;
  std::vector<std::string> words = tokenizeCommandText(contents);
  // Arguments are C strings: a NUL byte ends one.
  for (std::string &word : words) {
    size_t nul = word.find('\0');
    if (nul != std::string::npos)
      word.resize(nul);
  }
  return words;
}

ErrorValue boundError(const std::string &name, const std::string &what) {
  return makeTextError(std::make_error_code(std::errc::argument_list_too_long),
                       "response file '" + name + "' not expanded: response files would " +
                           what);
}

} // namespace

ValueOrError<bool> expandArgumentFiles(std::vector<std::string> &args,
                                       const ArgumentFileLimits &limits) {
  // The arguments are walked depth first into a fresh list, so a file's
  // words are examined right where it was named and nothing is shifted.
  const std::vector<std::string> commandLine = std::move(args);
  args.clear();
  std::vector<ArgumentFrame> frames{{std::nullopt, &commandLine, 0}};
  std::set<FileIdentity> open; // the files of frames[1..]
  // What a path names and holds, looked up once however often it is named.
  struct ResponseFile {
    std::optional<FileIdentity> identity;
    std::optional<std::vector<std::string>> words;
  };
  std::unordered_map<std::string, ResponseFile> seen;
  size_t produced = 0;
  bool allExpanded = true;
  std::string cwd;
  while (!frames.empty()) {
    ArgumentFrame &top = frames.back();
    if (top.next == top.words->size()) {
      if (top.file)
        open.erase(*top.file);
      frames.pop_back();
      continue;
    }
    const std::string &argument = (*top.words)[top.next++];
    if (argument.empty() || argument[0] != '@') {
      args.push_back(argument);
      continue;
    }
    std::string path = absolutePath(argument.substr(1), cwd);
    auto [entry, fresh] = seen.try_emplace(path);
    ResponseFile &file = entry->second;
    if (fresh) {
      struct stat status;
      if (::stat(path.c_str(), &status) == 0)
        file.identity = FileIdentity(status.st_dev, status.st_ino);
      file.words = readResponseFile(path);
    }
    if (!file.words || (file.identity && open.count(*file.identity))) {
      allExpanded = false;
      args.push_back(argument);
      continue;
    }
    if (frames.size() > limits.maxNesting)
      return boundError(argument.substr(1),
                        "be nested more than " + std::to_string(limits.maxNesting) + " deep");
    produced += file.words->size();
    if (produced > limits.maxArguments)
      return boundError(argument.substr(1), "give more than " +
                                                std::to_string(limits.maxArguments) +
                                                " arguments");
    if (file.identity)
      open.insert(*file.identity);
    frames.push_back(ArgumentFrame{file.identity, &*file.words, 0});
  }
  return allExpanded;
}

std::string nearestOptionName(const CommandScope &scope, TextRef name) {
  if (name.empty())
    return std::string();
  size_t equals = name.find('=');
  TextRef left = name.substr(0, equals);
  TextRef right = equals == TextRef::npos ? TextRef() : name.substr(equals + 1);
  CommandOption *best = nullptr;
  TextRef bestName;
  unsigned bestDistance = 0;
  std::vector<TextRef> candidates;
  scope.options.forEach([&](TextRef, CommandOption *option) {
    if (option->visibility() == HiddenEverywhere)
      return;
    candidates.clear();
    option->extraNames(candidates);
    if (!option->name.empty())
      candidates.push_back(option->name);
    bool permitsValue = option->valueExpectation() != ValueDisallowed;
    TextRef compared = permitsValue ? left : name;
    for (TextRef candidate : candidates) {
      // Once a candidate is known, worse ones need not be measured exactly.
      unsigned distance = editDistance(candidate, compared, best ? bestDistance : ~0u - 1);
      if (!best || distance < bestDistance) {
        best = option;
        bestName = candidate;
        bestDistance = distance;
      }
    }
  });
  if (!best)
    return std::string();
  std::string suggestion(bestName);
  if (!right.empty() && best->valueExpectation() != ValueDisallowed) {
    suggestion.push_back('=');
    suggestion.append(right);
  }
  return suggestion;
}

namespace {

class CommandLineScan {
public:
  CommandLineScan(std::vector<std::string> &args, CommandScope &scope)
      : args(args), scope(scope),
        programName(OptionRegistry::get().programName) {}

  bool run();

private:
  CommandOption *lookup(TextRef &name, MaybeText &value) const;
  CommandOption *prefixOrGroup(TextRef &name, MaybeText &value, size_t i);
  CommandOption *longestPart(TextRef name, bool groupableOnly,
                             size_t &length) const;
  bool handleValue(CommandOption &option, TextRef foundName, MaybeText value,
                   size_t &i, bool mayTakeNext = true);
  bool deliver(CommandOption &option, TextRef foundName, TextRef value,
               size_t i, bool multiValue);
  bool handPositional(CommandOption &option, size_t &valueIndex);
  void checkPositionalLayout();
  void afterScan();
  void write(const std::string &text) { writeOptionError(text); }

  std::vector<std::string> &args;
  CommandScope &scope;
  const std::string &programName;
  bool failed = false;
  bool dashDashSeen = false;
  CommandOption *activePositional = nullptr;
  std::vector<std::pair<TextRef, size_t>> positionalValues;
  size_t requiredCount = 0;
  bool unbounded = false;
};

CommandOption *CommandLineScan::lookup(TextRef &name, MaybeText &value) const {
  if (name.empty())
    return nullptr;
  size_t equals = name.find('=');
  if (equals == TextRef::npos)
    return scope.options.find(name);
  CommandOption *option = scope.options.find(name.substr(0, equals));
  if (!option || option->form() == PrefixOnlyForm)
    return nullptr;
  value = name.substr(equals + 1);
  name = name.substr(0, equals);
  return option;
}

CommandOption *CommandLineScan::longestPart(TextRef name, bool groupableOnly,
                                            size_t &length) const {
  // No option name is longer than the longest key, so the search starts
  // there: a long argument (a big -D value) would otherwise hash every one of
  // its leading parts, which is quadratic in its length.
  size_t longestKey = 0;
  scope.options.forEach([&](TextRef key, CommandOption *) {
    longestKey = std::max(longestKey, key.size());
  });
  for (length = std::min(name.size(), longestKey); length >= 1; --length) {
    CommandOption *option = scope.options.find(name.substr(0, length));
    if (option && (groupableOnly ? option->hasMisc(Groupable)
                                 : option->isPrefixOrGroupable()))
      return option;
  }
  return nullptr;
}

CommandOption *CommandLineScan::prefixOrGroup(TextRef &name, MaybeText &value,
                                              size_t i) {
  if (name.size() < 2)
    return nullptr;
  size_t length = 0;
  CommandOption *option = longestPart(name, false, length);
  while (option) {
    TextRef rest = name.substr(length);
    name = name.substr(0, length);
    if (rest.empty())
      return option;
    if (option->form() == PrefixOnlyForm) {
      value = rest;
      return option;
    }
    if (option->form() == PrefixForm) {
      if (rest.front() == '=')
        rest.remove_prefix(1);
      value = rest;
      return option;
    }
    if (rest.front() == '=') {
      value = rest.substr(1);
      return option;
    }
    if (option->valueExpectation() == ValueDemanded) {
      option->error("may not occur within a group!", name);
      failed = true;
      return nullptr;
    }
    size_t here = i;
    if (handleValue(*option, name, std::nullopt, here, false))
      failed = true;
    name = rest;
    option = longestPart(name, true, length);
  }
  return nullptr;
}

bool CommandLineScan::deliver(CommandOption &option, TextRef foundName,
                              TextRef value, size_t i, bool multiValue) {
  if (option.hasMisc(SplitOnCommas) && !value.empty()) {
    for (;;) {
      size_t comma = value.find(',');
      TextRef piece = value.substr(0, comma);
      if (option.recordOccurrence(unsigned(i), foundName, piece, multiValue))
        return true;
      if (comma == TextRef::npos)
        return false;
      value.remove_prefix(comma + 1);
    }
  }
  return option.recordOccurrence(unsigned(i), foundName, value, multiValue);
}

bool CommandLineScan::handleValue(CommandOption &option, TextRef foundName,
                                  MaybeText value, size_t &i,
                                  bool mayTakeNext) {
  ValueExpectation expectation = option.valueExpectation();
  if (expectation == ValueDemanded && !value) {
    if (!mayTakeNext || i + 1 >= args.size() ||
        option.form() == PrefixOnlyForm)
      return option.error("requires a value!", foundName);
    value = TextRef(args[++i]);
  } else if (expectation == ValueDisallowed) {
    if (option.additionalValues > 0)
      return option.error(
          "multi-valued option specified with ValueDisallowed modifier!",
          foundName);
    if (value) {
      std::string message("does not allow a value! '");
      message.append(*value);
      message.append("' specified.");
      return option.error(message, foundName);
    }
  }
  if (option.additionalValues == 0)
    return deliver(option, foundName, value ? *value : TextRef(""), i, false);

  bool multiValue = false;
  if (value) {
    if (deliver(option, foundName, *value, i, false))
      return true;
    multiValue = true;
  }
  for (unsigned k = 0; k < option.additionalValues; ++k) {
    if (!mayTakeNext || i + 1 >= args.size())
      return option.error("not enough values!", foundName);
    ++i;
    if (deliver(option, foundName, args[i], i, multiValue))
      return true;
    multiValue = true;
  }
  return false;
}

void CommandLineScan::checkPositionalLayout() {
  bool unboundedSeen = false;
  for (CommandOption *option : scope.positionals) {
    if (option->needsPositionalValue()) {
      ++requiredCount;
    } else if (scope.consumeAfter) {
      if (scope.positionals.size() >= 2) {
        failed = true;
        option->error("error - this positional option will never be matched, "
                      "because it does not Require a value, and a "
                      "cl::ConsumeAfter option is active!");
      }
    } else if (unboundedSeen && option->name.empty()) {
      option->error("error - option can never match, because another "
                    "positional argument will match an unbounded number of "
                    "values, and this option does not require a value!");
      std::string text = programName;
      text.append(": CommandLine Error: Option '");
      text.append(option->name);
      text.append("' is all messed up!\n");
      text.append(std::to_string(scope.positionals.size()));
      write(text);
      failed = true;
    }
    if (option->takesUnboundedValues())
      unboundedSeen = true;
  }
  unbounded = unboundedSeen || scope.consumeAfter != nullptr;
}

bool CommandLineScan::run() {
  checkPositionalLayout();
  for (size_t i = 1; i < args.size(); ++i) {
    TextRef argument(args[i]);
    MaybeText value;
    CommandOption *option = nullptr;
    TextRef name;
    std::string suggestion;
    bool positional = argument.empty() || argument[0] != '-' ||
                      argument == "-" || dashDashSeen;
    if (positional) {
      if (activePositional) {
        size_t here = i;
        if (handleValue(*activePositional, activePositional->name, argument,
                        here))
          failed = true;
        continue;
      }
      if (!scope.positionals.empty()) {
        positionalValues.emplace_back(argument, i);
        if (positionalValues.size() >= requiredCount && scope.consumeAfter) {
          for (++i; i < args.size(); ++i)
            positionalValues.emplace_back(TextRef(args[i]), i);
          break;
        }
        continue;
      }
    } else if (argument == "--" && !dashDashSeen) {
      dashDashSeen = true;
      continue;
    } else {
      name = argument.substr(1);
      if (!name.empty() && name[0] == '-')
        name.remove_prefix(1);
      if (activePositional && activePositional->hasMisc(EatsFollowingArgs)) {
        option = lookup(name, value);
        if (!option || option->form() != PositionalForm) {
          size_t here = i;
          if (handleValue(*activePositional, activePositional->name, argument,
                          here))
            failed = true;
          continue;
        }
      } else {
        option = lookup(name, value);
        if (!option)
          option = prefixOrGroup(name, value, i);
        if (!option && scope.catchAll.empty())
          suggestion = nearestOptionName(scope, name);
      }
    }

    if (!option) {
      if (!scope.catchAll.empty()) {
        for (CommandOption *catcher : scope.catchAll)
          if (catcher->recordOccurrence(unsigned(i), TextRef(), argument, false))
            failed = true;
        continue;
      }
      std::string text = programName;
      text.append(": Unknown command line argument '");
      text.append(argument);
      text.append("'.  Try: '");
      text.append(args[0]);
      text.append(" --help'\n");
      if (!suggestion.empty()) {
        text.append(programName);
        text.append(": Did you mean '");
        text.append(dashedName(suggestion));
        text.append("'?\n");
      }
      write(text);
      failed = true;
      continue;
    }

    if (option->form() == PositionalForm) {
      if (option->hasMisc(EatsFollowingArgs) && value && !value->empty()) {
        option->error("This argument does not take a value.\n\tInstead, it "
                      "consumes any positional arguments until the next "
                      "recognized option.",
                      name);
        failed = true;
      }
      activePositional = option;
      continue;
    }
    if (handleValue(*option, name, value, i))
      failed = true;
  }
  afterScan();
  return !failed;
}

bool CommandLineScan::handPositional(CommandOption &option,
                                     size_t &valueIndex) {
  auto [text, position] = positionalValues[valueIndex++];
  size_t here = position;
  return handleValue(option, option.name, text, here);
}

void CommandLineScan::afterScan() {
  size_t count = positionalValues.size();
  if (count < requiredCount) {
    std::string text = programName;
    text.append(": Not enough positional command line arguments specified!\n"
                "Must specify at least ");
    text.append(std::to_string(requiredCount));
    text.append(" positional argument");
    if (requiredCount > 1)
      text.push_back('s');
    text.append(": See: ");
    text.append(args[0]);
    text.append(" --help\n");
    write(text);
    failed = true;
  } else if (!unbounded && count > scope.positionals.size()) {
    std::string text = programName;
    text.append(": Too many positional arguments specified!\n"
                "Can specify at most ");
    text.append(std::to_string(scope.positionals.size()));
    text.append(" positional arguments: See: ");
    text.append(args[0]);
    text.append(" --help\n");
    write(text);
    failed = true;
  } else if (!scope.consumeAfter) {
    size_t next = 0;
    size_t remainingRequired = requiredCount;
    for (CommandOption *option : scope.positionals) {
      if (option->needsPositionalValue()) {
        if (handPositional(*option, next))
          failed = true;
        --remainingRequired;
      }
      if (option->occurrenceRule() == OccurRequired)
        continue;
      bool single = option->occurrenceRule() == OccurOptional;
      while (count - next > remainingRequired) {
        if (handPositional(*option, next))
          failed = true;
        if (single)
          break;
      }
    }
  } else {
    size_t next = 0;
    for (CommandOption *option : scope.positionals)
      if (option->needsPositionalValue() && next < count)
        if (handPositional(*option, next))
          failed = true;
    if (scope.positionals.size() == 1 && next == 0 && count > 0)
      if (handPositional(*scope.positionals.front(), next))
        failed = true;
    while (next < count)
      if (handPositional(*scope.consumeAfter, next))
        failed = true;
  }

  scope.options.forEach([&](TextRef, CommandOption *option) {
    if (option->needsPositionalValue() && option->occurrences == 0) {
      option->error("must be specified at least once!");
      failed = true;
    }
  });
}

std::string programNameOf(TextRef path) {
  while (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  size_t slash = path.rfind('/');
  if (slash != TextRef::npos && slash + 1 < path.size())
    path.remove_prefix(slash + 1);
  return std::string(path);
}

} // namespace

void createLibraryOptions() {
  static bool creatorsRun = false;
  if (!creatorsRun) {
    creatorsRun = true;
    for (void (*create)() : libraryOptionCreators)
      create();
  }
  OptionRegistry &registry = OptionRegistry::get();
  std::vector<CommandOption *> pending;
  pending.swap(registry.pendingOverridable);
  for (CommandOption *option : pending)
    registry.addOption(*option, true);
}

bool parseCommandLine(int argc, const char *const *argv, TextRef overview,
                      const char *envVarName, int failureStatus) {
  createLibraryOptions();

  std::vector<std::string> &args = argumentStore();
  args.clear();
  args.emplace_back(argc > 0 && argv[0] ? argv[0] : "");
  if (envVarName) {
    if (const char *env = std::getenv(envVarName))
      for (std::string &word : tokenizeCommandText(env))
        args.push_back(std::move(word));
  }
  for (int k = 1; k < argc; ++k)
    args.emplace_back(argv[k] ? argv[k] : "");
  ValueOrError<bool> expanded = expandArgumentFiles(args);

  OptionRegistry &registry = OptionRegistry::get();
  registry.programName = programNameOf(args.empty() ? std::string() : args[0]);
  if (!expanded) {
    // The list stops short of the file that hit the bound: scanning it would
    // only add misleading messages.
    writeOptionError(registry.programName + ": " + errorMessage(expanded.takeError()) + "\n");
    exitAfterOptions(1);
  }
  registry.overview = overview;

  CommandScope &scope = topLevelScope();
  registry.activeScope = &scope;
  CommandLineScan scan(args, scope);
  bool ok = scan.run();
  registry.extraHelp.clear();
  if (!ok)
    exitAfterOptions(failureStatus);
  return true;
}

} // namespace ostrel
