#include "update/UpdateRun.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "support/fs/AtomicFile.h"
#include "support/fs/FileBuffer.h"
#include "update/CheckProof.h"
#include "update/DirectiveGenerator.h"
#include "update/TestFile.h"
#include "update/UnifiedDiff.h"
#include "update/UpdateOptions.h"

#include <cerrno>
#include <set>

namespace {

constexpr int statusDone = 0;
constexpr int statusWouldFail = 1;
constexpr int statusUsageError = 2;

constexpr TextRef overview =
    "writes and refreshes a test's check directives from the real output\n\n"
    "  producer | ostrel-update [options] <test-file>\n"
    "  ostrel-update --input-file out.txt [options] <test-file>\n"
    "  producer | ostrel-update --print [options]\n";

/// Reads the scrubbers and labels of the command line into `settings`;
/// false after a message when one is not acceptable.
bool readGeneratorOptions(GeneratorSettings &settings, OutputStream &errs) {
  std::set<std::string> stems;
  if (updateOptions::scrubNumbers())
    stems.insert("N");
  for (const std::string &value : updateOptions::scrubs()) {
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
    for (Scrubber &rule : *rules)
      settings.scrubbers.push_back(std::move(rule));
  }
  for (const std::string &label : updateOptions::labels()) {
    CompiledRegex regex(label);
    std::string error;
    if (!regex.checkValid(error)) {
      errs << "ostrel-update: --label=" << label << ": invalid regular expression: " << error
           << '\n';
      return false;
    }
    settings.labels.push_back(std::move(regex));
  }
  return true;
}

std::string reportLine(TextRef fileName, unsigned before, const RewrittenFile &rewritten,
                       TextRef outcome) {
  std::string line = std::string(fileName) + ": " + std::to_string(before) + " -> " +
                     std::to_string(rewritten.directivesAfter) + " directives";
  auto plural = [](size_t n, TextRef word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
  };
  if (!rewritten.labelsAdded.empty())
    line += ", " + plural(rewritten.labelsAdded.size(), "label") + " added";
  if (!rewritten.labelsRemoved.empty()) {
    line += ", " + plural(rewritten.labelsRemoved.size(), "label") + " removed:";
    for (size_t i = 0; i < rewritten.labelsRemoved.size(); ++i)
      line += std::string(i ? ", '" : " '") + rewritten.labelsRemoved[i] + "'";
  }
  return line + "; " + std::string(outcome) + "\n";
}

} // namespace

int runUpdate(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv, overview);

  const std::string &testName = updateOptions::testFile();
  const bool printOnly = updateOptions::print();
  if (printOnly && (!testName.empty() || updateOptions::diff())) {
    errs << "ostrel-update: --print takes neither a <test-file> nor --diff\n";
    return statusUsageError;
  }
  if (!printOnly && (testName.empty() || testName == "-")) {
    errs << "ostrel-update: <test-file> not specified (a file, not standard input; or --print)\n";
    return statusUsageError;
  }
  for (const std::string &define : updateOptions::defines())
    if (define.find('=') == std::string::npos || define.front() == '=') {
      errs << "ostrel-update: -D" << define << ": a definition is NAME=VALUE or #NAME=EXPRESSION\n";
      return statusUsageError;
    }

  const std::string &prefix = updateOptions::checkPrefix();
  std::vector<TextRef> checkPrefixes{prefix};
  CheckOptions options;
  options.checkPrefixes = checkPrefixes;
  options.commentPrefixes = viewsOf(updateOptions::commentPrefixes());
  options.strictWhitespace = updateOptions::strictWhitespace();
  options.matchFullLines = updateOptions::matchFullLines();
  options.ignoreCase = updateOptions::ignoreCase();
  options.enableVarScope = updateOptions::enableVarScope();
  options.implicitCheckNot = viewsOf(updateOptions::implicitCheckNot());
  options.defines = viewsOf(updateOptions::defines());
  options.allowEmpty = updateOptions::allowEmpty();

  StreamDiagnosticSink reports(errs);
  CheckEngine engine(options, reports);
  if (ErrorValue rejected = engine.verifyPrefixes()) {
    dropError(std::move(rejected));
    return statusUsageError;
  }
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();

  GeneratorSettings settings;
  settings.prefix = prefix;
  settings.scrubNumbers = updateOptions::scrubNumbers();
  settings.strictWhitespace = options.strictWhitespace;
  settings.matchFullLines = options.matchFullLines;
  settings.enableVarScope = options.enableVarScope;
  if (!readGeneratorOptions(settings, errs))
    return statusUsageError;

  FileBufferOrError output = loadFileOrInput(updateOptions::inputFile());
  if (!output) {
    errs << "ostrel-update: cannot read the output '" << updateOptions::inputFile()
         << "': " << output.error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  const TextRef outputName = output.buffer->bufferName();
  std::vector<DirectiveBlock> blocks;
  // Prepared once, for the directives and for the proof.
  std::string preparedStore;
  TextRef preparedOutput = engine.prepareText(output.buffer->text(), preparedStore);
  bool emptyOutput = output.buffer->bufferSize() == 0;
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
    for (const DirectiveBlock &block : blocks)
      for (const std::string &directive : block.directives)
        text += leader + directive + "\n";
    ProofResult proof = proveCheck(options, text, "<directives>", preparedOutput, outputName,
                                   OutputForm::Prepared);
    if (!proof.passed) {
      proof.reports.replay(reports);
      errs << "ostrel-update: these directives would not pass; nothing printed\n";
      return statusWouldFail;
    }
    standardOutput() << text;
    return statusDone;
  }

  FileBufferOrError testFile = loadFileOrInput(testName);
  bool newFile = !testFile && testFile.error == std::errc::no_such_file_or_directory;
  if (!testFile && !newFile) {
    errs << "ostrel-update: cannot read the test file '" << testName
         << "': " << testFile.error.message() << "; nothing changed\n";
    return statusUsageError;
  }
  TextRef oldText = newFile ? TextRef("") : testFile.buffer->text();
  TestFile layout(oldText, prefixMatcher, engine.options());
  RewrittenFile rewritten = layout.rewrite(blocks, leader);
  std::string emptyNote = emptyOutput ? " (empty output: the check is that it stays empty)" : "";

  ProofResult proof =
      proveCheck(options, rewritten.text, testName, preparedOutput, outputName,
                 OutputForm::Prepared);
  if (!proof.passed) {
    proof.reports.replay(reports);
    errs << reportLine(testName, layout.directiveCount(), rewritten,
                       "the new directives would not pass; nothing written");
    return statusWouldFail;
  }
  if (updateOptions::diff()) {
    standardOutput() << unifiedDiff(oldText, rewritten.text, testName);
    errs << reportLine(testName, layout.directiveCount(), rewritten, "diff printed" + emptyNote);
    return statusDone;
  }
  if (!newFile && rewritten.text == oldText) {
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
