#include "update/UpdateRun.h"

#include "engine/CheckEngine.h"
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

GeneratorOptions commandLineGeneratorOptions() {
  GeneratorOptions options;
  options.labels = updateOptions::labels();
  options.scrubs = updateOptions::scrubs();
  options.scrubNumbers = updateOptions::scrubNumbers();
  options.whole = updateOptions::whole();
  return options;
}

/// A --scrub option and the stem of its variables, for the warning about a
/// scrubber that found nothing.
struct ScrubOrigin {
  std::string option;
  std::string stem;
};

/// Reads the scrubbers and labels of `chosen` into `settings`; false after a
/// message when one is not acceptable.
bool readGeneratorOptions(const GeneratorOptions &chosen, GeneratorSettings &settings,
                          std::vector<ScrubOrigin> &origins, OutputStream &errs) {
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
    origins.push_back(ScrubOrigin{value, rules->front().stem});
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

/// Warns (on standard error, the status unchanged) about a label or a
/// scrubber that found nothing in the output.
void warnUnused(const GeneratedDirectives &generated, const GeneratorSettings &settings,
                const std::vector<ScrubOrigin> &origins, OutputStream &errs) {
  for (size_t i = 0; i < settings.labels.size(); ++i)
    if (!generated.labelMatched[i])
      errs << "ostrel-update: warning: --label=" << settings.labels[i].text
           << " matched no line of the output\n";
  for (const ScrubOrigin &origin : origins)
    if (!generated.stemsFound.count(origin.stem))
      errs << "ostrel-update: warning: --scrub=" << origin.option
           << " matched nothing in the output\n";
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

} // namespace

int runUpdate(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv, overview, nullptr, statusUsageError);

  const std::string &testName = updateOptions::testFile();
  const bool printOnly = updateOptions::print();
  const bool checkOnly = updateOptions::check();
  if (printOnly && (!testName.empty() || updateOptions::diff() || checkOnly)) {
    errs << "ostrel-update: --print takes neither a <test-file> nor --diff or --check\n";
    return statusUsageError;
  }
  if (!printOnly && (testName.empty() || testName == "-")) {
    errs << "ostrel-update: <test-file> not specified (a file, not standard input; or --print)\n";
    return statusUsageError;
  }
  std::vector<TextRef> defines;
  if (!checkDefinitionShapes(updateOptions::defines(), errs, "ostrel-update: ", &defines))
    return statusUsageError;

  const std::string &prefix = updateOptions::checkPrefix();
  std::vector<TextRef> checkPrefixes{prefix};
  CheckOptions options;
  options.checkPrefixes = checkPrefixes;
  options.commentPrefixes = viewsOf(updateOptions::commentPrefixes());
  options.strictWhitespace = updateOptions::strictWhitespace();
  options.matchFullLines = updateOptions::matchFullLines();
  options.ignoreCase = updateOptions::ignoreCase();
  options.enableVarScope = updateOptions::enableVarScope();
  options.allowDeprecatedDagOverlap = updateOptions::allowDeprecatedDagOverlap();
  options.implicitCheckNot = viewsOf(updateOptions::implicitCheckNot());
  options.defines = defines;
  options.allowEmpty = updateOptions::allowEmpty();

  StreamDiagnosticSink reports(errs);
  CheckEngine engine(options, reports);
  if (ErrorValue rejected = engine.verifyPrefixes()) {
    dropError(std::move(rejected));
    return statusUsageError;
  }
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();

  // The test file is locked and read first: it may record the generator
  // options to use.
  std::optional<TestFileLock> lock;
  OwnedFileBufferOrError testFile(nullptr, std::make_error_code(std::errc::no_such_file_or_directory));
  bool newFile = true;
  if (!printOnly) {
    const bool writing = !checkOnly && !updateOptions::diff();
    if (std::string unsuitable = unsuitableTestFile(testName, writing); !unsuitable.empty()) {
      errs << "ostrel-update: the test file '" << testName << "' " << unsuitable
           << "; nothing changed\n";
      return statusUsageError;
    }
    if (writing) {
      ValueOrError<TestFileLock> locked = TestFileLock::acquire(testName, errs);
      if (!locked) {
        errs << "ostrel-update: cannot lock the test file '" << testName
             << "': " << errorMessage(locked.takeError()) << "; nothing changed\n";
        return statusUsageError;
      }
      lock.emplace(std::move(*locked));
      removeStaleTemporaries(testName);
    }
    testFile = readUpdateFile(testName);
    newFile = !testFile && testFile.error == std::errc::no_such_file_or_directory;
    if (!testFile && !newFile) {
      errs << "ostrel-update: cannot read the test file '" << testName
           << "': " << testFile.error.message() << "; nothing changed\n";
      return statusUsageError;
    }
  }
  TextRef oldText = testFile ? testFile.buffer->text() : TextRef("");
  TestFile layout(oldText, prefixMatcher, engine.options(), prefix);

  // Generator options on the command line replace the recorded ones;
  // without any, the recorded ones apply.
  GeneratorOptions chosen = commandLineGeneratorOptions();
  std::optional<std::string> newRecord;
  if (!chosen.empty()) {
    if (!printOnly)
      newRecord = recordLineBody(prefix, chosen);
  } else if (layout.recordedCommand()) {
    ValueOrError<GeneratorOptions> recorded = recordedOptions(*layout.recordedCommand());
    if (!recorded) {
      errs << "ostrel-update: the recorded command of '" << testName
           << "': " << errorMessage(recorded.takeError()) << "; nothing changed\n";
      return statusUsageError;
    }
    chosen = std::move(*recorded);
  }

  GeneratorSettings settings;
  settings.prefix = prefix;
  settings.strictWhitespace = options.strictWhitespace;
  settings.matchFullLines = options.matchFullLines;
  settings.enableVarScope = options.enableVarScope;
  std::vector<ScrubOrigin> origins;
  if (!readGeneratorOptions(chosen, settings, origins, errs))
    return statusUsageError;
  std::vector<std::string> userExpressions;
  for (const Scrubber &rule : settings.scrubbers)
    if (rule.precedence == 0)
      userExpressions.push_back(rule.written);
  layout.recogniseExpressions(userExpressions);

  OwnedFileBufferOrError output = readUpdateFile(updateOptions::inputFile());
  if (!output) {
    errs << "ostrel-update: cannot read the output '" << updateOptions::inputFile()
         << "': " << output.error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  const TextRef outputName = output.buffer->bufferName();
  std::vector<DirectiveBlock> blocks;
  bool emptyOutput = output.buffer->bufferSize() == 0;
  // Prepared once, in place, for the directives and for the proof.
  TextRef preparedOutput = engine.prepareText(*output.buffer);
  if (emptyOutput) {
    if (!options.allowEmpty) {
      errs << "ostrel-update: the output '" << outputName
           << "' is empty; nothing changed (--allow-empty writes a check that it stays empty)\n";
      return statusUsageError;
    }
    blocks.push_back(DirectiveBlock{"", {prefix + "-NOT: {{.}}"}});
  } else {
    GeneratedDirectives generated = generateDirectives(preparedOutput, settings);
    if (!generated.refusal.empty()) {
      errs << "ostrel-update: " << generated.refusal << "; nothing changed\n";
      return statusWouldFail;
    }
    warnUnused(generated, settings, origins, errs);
    blocks = std::move(generated.blocks);
  }

  std::string leader = updateOptions::commentGiven() ? updateOptions::comment()
                                                      : printOnly ? std::string()
                                                                  : leaderForFileName(testName);
  // A leader given as "//" or "#" is followed by a blank, as in the extension table.
  if (!leader.empty() && leader.back() != ' ' && leader.back() != '\t')
    leader += ' ';

  if (printOnly) {
    std::string text;
    size_t size = 0;
    for (const DirectiveBlock &block : blocks)
      size += block.directives.bytes() + block.directives.size() * (leader.size() + 1);
    text.reserve(size);
    adviseLargePages(text.data(), text.capacity());
    for (const DirectiveBlock &block : blocks)
      for (TextRef directive : block.directives) {
        text += leader;
        text += directive;
        text += '\n';
      }
    ProofResult proof = proveCheck(options, {.checkText = text,
                                             .checkName = "<directives>",
                                             .checkForm = TextForm::RawWithNul,
                                             .input = preparedOutput,
                                             .inputName = outputName,
                                             .inputForm = TextForm::Prepared});
    if (!proof.passed) {
      proof.reports.replay(reports);
      errs << "ostrel-update: these directives would not pass; nothing printed\n";
      return statusWouldFail;
    }
    standardOutput() << text;
    return statusDone;
  }

  RewrittenFile rewritten = layout.rewrite(blocks, leader, newRecord);
  if (!rewritten.droppedHandWritten.empty() && !updateOptions::dropHandWritten()) {
    for (const std::string &line : rewritten.droppedHandWritten)
      errs << testName << ":" << line << ": this directive, not written by ostrel-update, "
           << "has lost the generated lines around it\n";
    errs << reportLine(testName, layout.directiveCount(), rewritten,
                       "nothing written (--drop-hand-written drops such directives)");
    return statusWouldFail;
  }
  std::string emptyNote = emptyOutput ? " (empty output: the check is that it stays empty)" : "";

  ProofResult proof = proveCheck(options, {.checkText = rewritten.text,
                                           .checkName = testName,
                                           .checkForm = TextForm::RawWithNul,
                                           .input = preparedOutput,
                                           .inputName = outputName,
                                           .inputForm = TextForm::Prepared});
  if (!proof.passed) {
    proof.reports.replay(reports);
    errs << reportLine(testName, layout.directiveCount(), rewritten,
                       "the new directives would not pass; nothing written");
    return statusWouldFail;
  }
  const bool unchanged = !newFile && rewritten.text == oldText;
  if (checkOnly) {
    standardOutput() << unifiedDiff(oldText, rewritten.text, testName);
    errs << reportLine(testName, layout.directiveCount(), rewritten,
                       unchanged ? "current" : "would change; nothing written");
    return unchanged ? statusDone : statusWouldFail;
  }
  if (updateOptions::diff()) {
    standardOutput() << unifiedDiff(oldText, rewritten.text, testName);
    errs << reportLine(testName, layout.directiveCount(), rewritten, "diff printed" + emptyNote);
    return statusDone;
  }
  if (unchanged) {
    errs << reportLine(testName, layout.directiveCount(), rewritten, "unchanged");
    return statusDone;
  }
  std::string failedStep;
  if (std::error_code error = replaceFileAtomically(testName, rewritten.text, failedStep)) {
    errs << "ostrel-update: cannot " << failedStep << " the test file '" << testName
         << "': " << error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  errs << reportLine(testName, layout.directiveCount(), rewritten, "written" + emptyNote);
  return statusDone;
}

OwnedFileBufferOrError readUpdateFile(TextRef name) { return readFileOrInput(name); }

} // namespace ostrel
