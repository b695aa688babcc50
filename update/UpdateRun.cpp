#include "update/UpdateRun.h"

#include "engine/CheckRun.h"
#include "engine/DefinitionShape.h"
#include "engine/DiagnosticSink.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "support/diag/UnifiedDiff.h"
#include "support/fs/AtomicFile.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/LargePages.h"
#include "update/CheckProof.h"
#include "update/DirectiveGenerator.h"
#include "update/RecordedCommand.h"
#include "update/TestFile.h"
#include "update/TestFileLock.h"
#include "update/UpdateOptions.h"

#include <optional>
#include <set>
#include <sys/stat.h>

namespace ostrel {

namespace {

constexpr int statusDone = 0;
constexpr int statusWouldFail = 1;
constexpr int statusUsageError = 2;

constexpr TextRef overview =
    "writes and refreshes a test's check directives from the real output\n\n"
    "  producer | ostrel-update [options] <test-file>\n"
    "  ostrel-update --input-file out.txt [options] <test-file>\n"
    "  producer | ostrel-update --print [options]\n";

/// A --scrub option and the stem of its variables, for the warning about a
/// scrubber that found nothing.
struct ScrubOrigin {
  std::string option;
  std::string stem;
};

/// What the directives are generated with.
struct Generation {
  GeneratorSettings settings;
  std::vector<ScrubOrigin> origins;
};

/// The new directives and the output they are proved against.
struct NewDirectives {
  std::vector<DirectiveBlock> blocks;
  /// The comment leader of directives added to a file without any.
  std::string leader;
  /// The record line's new text, when the command line gave generator options.
  std::optional<std::string> record;
  /// The output, prepared once, in place, for the directives and for the proof.
  TextRef preparedOutput;
  TextRef outputName;
  bool emptyOutput = false;
};

/// The test file, locked when it is to be written, and its text.
struct OpenedTestFile {
  std::optional<TestFileLock> lock;
  OwnedFileBufferOrError file{nullptr, std::make_error_code(std::errc::no_such_file_or_directory)};
  bool newFile = true;

  TextRef text() const { return file ? file.buffer->text() : TextRef(""); }
};

/// Whether the command line names what to update as it must; false after a
/// message.
bool checkUsage(const UpdateSettings &settings, OutputStream &errs) {
  const std::string &testName = settings.testFile;
  if (settings.print && (!testName.empty() || settings.diff || settings.check)) {
    errs << "ostrel-update: --print takes neither a <test-file> nor --diff or --check\n";
    return false;
  }
  if (!settings.print && (testName.empty() || testName == "-")) {
    errs << "ostrel-update: <test-file> not specified (a file, not standard input; or --print)\n";
    return false;
  }
  return true;
}

/// Why a test file cannot be updated, or nothing: it must be a regular file
/// (a link is followed) and, to be written, have one name, since replacing a
/// file with more names would part it from the others.
std::string unsuitableTestFile(const std::string &path, bool writing) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0)
    return {};
  if (!S_ISREG(info.st_mode))
    return "is not a regular file";
  if (writing && info.st_nlink > 1)
    return "has " + std::to_string(info.st_nlink) +
           " hard links, which replacing it would part (update one name of a copy instead)";
  return {};
}

/// Locks the test file when it is to be written, and reads it; false after a
/// message when it cannot be updated.
bool openTestFile(const UpdateSettings &settings, OpenedTestFile &opened, OutputStream &errs) {
  const std::string &testName = settings.testFile;
  const bool writing = !settings.check && !settings.diff;
  if (std::string unsuitable = unsuitableTestFile(testName, writing); !unsuitable.empty()) {
    errs << "ostrel-update: the test file '" << testName << "' " << unsuitable
         << "; nothing changed\n";
    return false;
  }
  if (writing) {
    ValueOrError<TestFileLock> locked = TestFileLock::acquire(testName, errs);
    if (!locked) {
      errs << "ostrel-update: cannot lock the test file '" << testName
           << "': " << errorMessage(locked.takeError()) << "; nothing changed\n";
      return false;
    }
    opened.lock.emplace(std::move(*locked));
    removeStaleTemporaries(testName);
  }
  opened.file = readUpdateFile(testName);
  opened.newFile = !opened.file && opened.file.error == std::errc::no_such_file_or_directory;
  if (!opened.file && !opened.newFile) {
    errs << "ostrel-update: cannot read the test file '" << testName
         << "': " << opened.file.error.message() << "; nothing changed\n";
    return false;
  }
  return true;
}

/// Reads the scrubbers and labels of `chosen` into `generation`; false after
/// a message when one is not acceptable.
bool readGeneratorOptions(const GeneratorOptions &chosen, Generation &generation,
                          OutputStream &errs) {
  GeneratorSettings &settings = generation.settings;
  std::set<std::string> stems;
  if (chosen.scrubNumbers)
    stems.insert("N");
  for (const std::string &value : chosen.scrubs) {
    std::string error;
    auto rules = parseScrubOption(value, error);
    if (!rules) {
      errs << "ostrel-update: --scrub=" << value << ": " << error << '\n';
      return false;
    }
    if (!stems.insert(rules->front().stem).second) {
      errs << "ostrel-update: --scrub=" << value << ": the variable name '" << rules->front().stem
           << "' is already taken by another scrubber\n";
      return false;
    }
    generation.origins.push_back(ScrubOrigin{value, rules->front().stem});
    for (Scrubber &rule : *rules)
      settings.scrubbers.push_back(std::move(rule));
  }
  orderScrubbers(settings.scrubbers);
  for (const std::string &label : chosen.labels) {
    LabelRule rule{label};
    std::string error;
    if (!rule.regex.checkValid(error)) {
      errs << "ostrel-update: --label=" << label << ": invalid regular expression: " << error
           << '\n';
      return false;
    }
    settings.labels.push_back(std::move(rule));
  }
  settings.scrubNumbers = chosen.scrubNumbers;
  settings.whole = chosen.whole;
  return true;
}

/// The generation of the run: generator options on the command line replace
/// the recorded ones, and are recorded in `record`; without any, the
/// recorded ones apply. False after a message when they are not acceptable.
bool chooseGeneration(const UpdateSettings &settings, const TestFile &layout,
                      Generation &generation, std::optional<std::string> &record,
                      OutputStream &errs) {
  GeneratorOptions chosen = settings.generator;
  if (!chosen.empty()) {
    if (!settings.print)
      record = recordLineBody(settings.checkPrefix, chosen);
  } else if (layout.recordedCommand()) {
    ValueOrError<GeneratorOptions> recorded = recordedOptions(*layout.recordedCommand());
    if (!recorded) {
      errs << "ostrel-update: the recorded command of '" << settings.testFile
           << "': " << errorMessage(recorded.takeError()) << "; nothing changed\n";
      return false;
    }
    chosen = std::move(*recorded);
  }
  generation.settings.prefix = settings.checkPrefix;
  generation.settings.checker = settings.checker;
  return readGeneratorOptions(chosen, generation, errs);
}

/// The expressions of the user's own scrubbers.
std::vector<std::string> userExpressions(const GeneratorSettings &settings) {
  std::vector<std::string> expressions;
  for (const Scrubber &rule : settings.scrubbers)
    if (rule.precedence == 0)
      expressions.push_back(rule.written);
  return expressions;
}

/// Warns (on standard error, the status unchanged) about a label or a
/// scrubber that found nothing in the output.
void warnUnused(const GeneratedDirectives &generated, const Generation &generation,
                OutputStream &errs) {
  const GeneratorSettings &settings = generation.settings;
  for (size_t i = 0; i < settings.labels.size(); ++i)
    if (!generated.labelMatched[i])
      errs << "ostrel-update: warning: --label=" << settings.labels[i].text
           << " matched no line of the output\n";
  for (const ScrubOrigin &origin : generation.origins)
    if (!generated.stemsFound.count(origin.stem))
      errs << "ostrel-update: warning: --scrub=" << origin.option
           << " matched nothing in the output\n";
}

/// The blocks of `fresh` for its prepared output; statusDone, or the status
/// to exit with after a message.
int generateBlocks(const UpdateSettings &settings, const Generation &generation,
                   NewDirectives &fresh, OutputStream &errs) {
  if (fresh.emptyOutput) {
    if (!settings.checker.allowEmpty) {
      errs << "ostrel-update: the output '" << fresh.outputName
           << "' is empty; nothing changed (--allow-empty writes a check that it stays empty)\n";
      return statusUsageError;
    }
    fresh.blocks.push_back(DirectiveBlock{"", {settings.checkPrefix + "-NOT: {{.}}"}});
    return statusDone;
  }
  GeneratedDirectives generated = generateDirectives(fresh.preparedOutput, generation.settings);
  if (!generated.refusal.empty()) {
    errs << "ostrel-update: " << generated.refusal << "; nothing changed\n";
    return statusWouldFail;
  }
  warnUnused(generated, generation, errs);
  fresh.blocks = std::move(generated.blocks);
  return statusDone;
}

/// The comment leader of directives added to a file without any.
std::string commentLeader(const UpdateSettings &settings) {
  std::string leader = settings.comment ? *settings.comment
                       : settings.print ? std::string()
                                        : leaderForFileName(settings.testFile);
  // A leader given as "//" or "#" is followed by a blank, as in the extension table.
  if (!leader.empty() && leader.back() != ' ' && leader.back() != '\t')
    leader += ' ';
  return leader;
}

std::string reportLine(TextRef fileName, unsigned before, const RewrittenFile &rewritten,
                       TextRef outcome) {
  std::string line = std::string(fileName) + ": " + std::to_string(before) + " -> " +
                     std::to_string(rewritten.directivesAfter) + " directives";
  auto plural = [](size_t n, TextRef word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
  };
  auto named = [](const std::vector<std::string> &labels) {
    std::string list;
    for (size_t i = 0; i < labels.size(); ++i)
      list += std::string(i ? ", '" : " '") + labels[i] + "'";
    return list;
  };
  if (!rewritten.labelsAdded.empty())
    line += ", " + plural(rewritten.labelsAdded.size(), "label") + " added";
  if (!rewritten.labelsRemoved.empty())
    line += ", " + plural(rewritten.labelsRemoved.size(), "label") +
            " removed:" + named(rewritten.labelsRemoved);
  if (!rewritten.labelsUnmatched.empty())
    line += ", " + plural(rewritten.labelsUnmatched.size(), "label") +
            " of the file matched nothing and kept:" + named(rewritten.labelsUnmatched);
  return line + "; " + std::string(outcome) + "\n";
}


/// Whether `checkText`, named `checkName`, passes on the prepared output;
/// when it does not, what the checker reported goes to `errs`.
bool provesOutput(const CheckOptions &options, TextRef checkText, TextRef checkName,
                  const NewDirectives &fresh, OutputStream &errs) {
  ProofResult proof = proveCheck(options, {.checkText = checkText,
                                           .checkName = checkName,
                                           .checkForm = TextForm::RawWithNul,
                                           .input = fresh.preparedOutput,
                                           .inputName = fresh.outputName,
                                           .inputForm = TextForm::Prepared});
  if (!proof.passed) {
    StreamDiagnosticSink reports(errs);
    proof.reports.replay(reports);
  }
  return proof.passed;
}

/// --print: the directives on standard output once they pass.
int printDirectives(const NewDirectives &fresh, const CheckOptions &options,
                    OutputStream &errs) {
  std::string text;
  size_t size = 0;
  for (const DirectiveBlock &block : fresh.blocks)
    size += block.directives.bytes() + block.directives.size() * (fresh.leader.size() + 1);
  text.reserve(size);
  adviseLargePages(text.data(), text.capacity());
  for (const DirectiveBlock &block : fresh.blocks)
    for (TextRef directive : block.directives) {
      text += fresh.leader;
      text += directive;
      text += '\n';
    }
  if (!provesOutput(options, text, "<directives>", fresh, errs)) {
    errs << "ostrel-update: these directives would not pass; nothing printed\n";
    return statusWouldFail;
  }
  standardOutput() << text;
  return statusDone;
}

/// The test file with the new directives, once they pass: written, diffed
/// or compared as the settings ask.
int updateTestFile(const UpdateSettings &settings, const OpenedTestFile &opened,
                   const TestFile &layout, const NewDirectives &fresh,
                   const CheckOptions &options, OutputStream &errs) {
  const std::string &testName = settings.testFile;
  const TextRef oldText = opened.text();
  RewrittenFile rewritten = layout.rewrite(fresh.blocks, fresh.leader, fresh.record);
  auto report = [&](TextRef outcome) {
    errs << reportLine(testName, layout.directiveCount(), rewritten, outcome);
  };
  if (!rewritten.droppedHandWritten.empty() && !settings.dropHandWritten) {
    for (const std::string &line : rewritten.droppedHandWritten)
      errs << testName << ":" << line << ": this directive, not written by ostrel-update, "
           << "has lost the generated lines around it\n";
    report("nothing written (--drop-hand-written drops such directives)");
    return statusWouldFail;
  }
  std::string emptyNote =
      fresh.emptyOutput ? " (empty output: the check is that it stays empty)" : "";

  if (!provesOutput(options, rewritten.text, testName, fresh, errs)) {
    report("the new directives would not pass; nothing written");
    return statusWouldFail;
  }
  const bool unchanged = !opened.newFile && rewritten.text == oldText;
  if (settings.check) {
    standardOutput() << unifiedDiff(oldText, rewritten.text, testName);
    report(unchanged ? "current" : "would change; nothing written");
    return unchanged ? statusDone : statusWouldFail;
  }
  if (settings.diff) {
    standardOutput() << unifiedDiff(oldText, rewritten.text, testName);
    report("diff printed" + emptyNote);
    return statusDone;
  }
  if (unchanged) {
    report("unchanged");
    return statusDone;
  }
  std::string failedStep;
  if (std::error_code error = replaceFileAtomically(testName, rewritten.text, failedStep)) {
    errs << "ostrel-update: cannot " << failedStep << " the test file '" << testName
         << "': " << error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  report("written" + emptyNote);
  return statusDone;
}

} // namespace

int runUpdate(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv, overview, nullptr, statusUsageError);
  const UpdateSettings settings = readUpdateSettings();
  if (!checkUsage(settings, errs))
    return statusUsageError;
  if (!checkDefinitionShapes(settings.defines, errs, "ostrel-update: "))
    return statusUsageError;

  const CheckOptions options = settings.checkOptions();
  StreamDiagnosticSink reports(errs);
  // The run is only asked for what the checker makes of the options: the
  // prefixes checked, their expression and the output prepared; the proof
  // runs the check itself.
  CheckRun run(options, reports);
  if (ErrorValue rejected = run.checkPrefixes()) {
    dropError(std::move(rejected));
    return statusUsageError;
  }

  // The test file is locked and read first: it may record the generator
  // options to use.
  OpenedTestFile opened;
  if (!settings.print && !openTestFile(settings, opened, errs))
    return statusUsageError;
  TestFile layout(opened.text(), run.prefixMatcher(), run.options(), settings.checkPrefix);

  NewDirectives fresh;
  Generation generation;
  if (!chooseGeneration(settings, layout, generation, fresh.record, errs))
    return statusUsageError;
  layout.recogniseExpressions(userExpressions(generation.settings));

  OwnedFileBufferOrError output = readUpdateFile(settings.inputFile);
  if (!output) {
    errs << "ostrel-update: cannot read the output '" << settings.inputFile
         << "': " << output.error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  fresh.outputName = output.buffer->bufferName();
  fresh.emptyOutput = output.buffer->bufferSize() == 0;
  fresh.preparedOutput = run.prepare(*output.buffer);
  if (int status = generateBlocks(settings, generation, fresh, errs); status != statusDone)
    return status;
  fresh.leader = commentLeader(settings);
  return settings.print ? printDirectives(fresh, options, errs)
                        : updateTestFile(settings, opened, layout, fresh, options, errs);
}

OwnedFileBufferOrError readUpdateFile(TextRef name) { return readFileOrInput(name); }

} // namespace ostrel
