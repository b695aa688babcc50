#include "engine/StepFeed.h"

#include "engine/CheckEngine.h"
#include "engine/CheckFileReader.h"
#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/MatchDiag.h"
#include "engine/numeric/VariableContext.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace ostrel {

namespace {

using Storage = CheckEngine::StepStorage;

/// What one run of the engine showed: everything it reported, how it ended
/// (0 passed, 1 failed, 2 check text rejected) and its records, each as a
/// line of text.
struct Outcome {
  std::string reports;
  int status = 0;
  std::string records;
  bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Outcome &outcome) {
  return out << "status " << outcome.status << "\n" << outcome.reports << outcome.records;
}

/// Runs the engine the way the checker does, with its steps kept or
/// streamed. `inspect`, when given, sees the engine after the run.
Outcome runEngine(const std::string &check, const std::string &inputText, CheckOptions options,
                  Storage storage,
                  CheckEngine::RecordUse recordUse = CheckEngine::RecordUse::FailedRunOnly,
                  const std::function<void(CheckEngine &)> &inspect = {}) {
  DiagnosticRecorder reports;
  SourceRegistry registry;
  CheckEngine engine(options, reports);
  Outcome outcome;
  EXPECT_FALSE(engine.verifyPrefixes());
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
  std::string checkStore;
  std::string inputStore;
  TextRef checkText = engine.prepareText(check, checkStore);
  registry.addBuffer(viewText(checkText, "check.txt"));
  auto rejected = [&](ErrorValue error) {
    outcome.status = error.isA<UnbalancedBracketError>() ? 1 : 2;
    dropError(std::move(error));
  };
  if (ErrorValue error =
          engine.parseCheckText(registry, checkText, prefixMatcher, nullptr, storage)) {
    rejected(std::move(error));
  } else {
    TextRef input = engine.prepareText(inputText, inputStore);
    registry.addBuffer(viewText(input, "input.txt"));
    std::vector<MatchDiag> records;
    ErrorValue failed = engine.verifyInput(registry, input, &records, recordUse);
    outcome.status = failed ? 1 : 0;
    dropError(std::move(failed));
    for (const MatchDiag &record : records) {
      bool inCheckText = record.checkLocation >= checkText.data() &&
                         record.checkLocation <= checkText.data() + checkText.size();
      outcome.records += std::to_string(int(record.kind.type)) + " " +
                         (inCheckText ? std::to_string(record.checkLocation - checkText.data())
                                      : std::string("elsewhere")) +
                         " " +
                         std::to_string(int(record.outcome)) + " " +
                         std::to_string(record.inputStartLine) + ":" +
                         std::to_string(record.inputStartColumn) + "-" +
                         std::to_string(record.inputEndLine) + ":" +
                         std::to_string(record.inputEndColumn) + " " + record.note + "\n";
    }
  }
  if (inspect)
    inspect(engine);
  outcome.reports = reports.printed();
  return outcome;
}

struct FeedCase {
  const char *name;
  std::string check;
  std::string input;
  std::function<void(CheckOptions &)> configure = {};
};

std::string numberedPairs(int count, int labelEvery) {
  std::string check;
  for (int i = 0; i < count; ++i) {
    if (labelEvery && i % labelEvery == 0)
      check += "CHECK-LABEL: block" + std::to_string(i) + "\n";
    check += "CHECK: a = [[#N:]]\nCHECK-NEXT: b = [[#N+1]]\n";
  }
  return check;
}

std::string numberedInput(int count, int labelEvery, int wrongAt) {
  std::string input;
  for (int i = 0; i < count; ++i) {
    if (labelEvery && i % labelEvery == 0)
      input += "block" + std::to_string(i) + "\n";
    input += "a = " + std::to_string(i) + "\nb = " + std::to_string(i == wrongAt ? i : i + 1) +
             "\n";
  }
  return input;
}

} // namespace

// Reading the check text as the checking goes must show exactly what reading
// it first shows: the same reports in the same order, the same records, the
// same ending, also when a fault of the text lies beyond a failed step.
TEST(StepFeedTest, StreamedStepsShowWhatKeptStepsShow) {
  auto varScope = [](CheckOptions &options) { options.enableVarScope = true; };
  const std::vector<FeedCase> cases = {
      {"plain", "CHECK: a\nCHECK-NEXT: b\nCHECK-SAME: c\nCHECK-EMPTY:\n", "a\nb c\n\n"},
      {"plain failing", "CHECK: a\nCHECK-NEXT: b\nCHECK: z\n", "a\nx\nb\n"},
      {"blocks, one failing", "CHECK-LABEL: f1\nCHECK: x\nCHECK-LABEL: f2\nCHECK: y\n",
       "f1\nz\nf2\ny\n"},
      {"missing label", "CHECK-LABEL: f1\nCHECK: x\nCHECK-LABEL: nope\nCHECK: y\n", "f1\nx\ny\n"},
      {"labels only", "CHECK-LABEL: f1\nCHECK-LABEL: f2\n", "f1\nf2\n"},
      {"label text but no label", "CHECK: a-LABEL b\nCHECK: c\n", "a-LABEL b\nd\n"},
      {"literal label", "CHECK-LABEL{LITERAL}: [[f]]\nCHECK: x\nCHECK-LABEL: g\nCHECK: y\n",
       "[[f]]\nx\ng\ny\n"},
      {"variables kept across blocks",
       "CHECK-LABEL: a\nCHECK: n=[[#N:]] s=[[S:[a-z]+]]\nCHECK-LABEL: b\nCHECK: m=[[#N]]\n"
       "CHECK-LABEL: c\nCHECK: t=[[S]] [[#N+1]]\n",
       "a\nn=5 s=q\nb\nm=5\nc\nt=q 6\n"},
      {"variables forgotten at labels",
       "CHECK-LABEL: a\nCHECK: n=[[#N:]] s=[[S:[a-z]+]] g=[[#$G:]]\nCHECK-LABEL: b\n"
       "CHECK: m=[[#N]]\nCHECK: [[#$G]]\nCHECK-LABEL: c\nCHECK: k=[[#N:]]\nCHECK-LABEL: d\n"
       "CHECK: again [[#N]]\nCHECK: t=[[S]]\n",
       "a\nn=5 s=q g=7\nb\nm=5\n7\nc\nk=3\nd\nagain 3\nt=q\n", varScope},
      {"dag and not", "CHECK: start\nCHECK-DAG: x\nCHECK-DAG: y\nCHECK-NOT: bad\nCHECK: end\n",
       "start\ny\nx\nbad\nend\n"},
      {"trailing not", "CHECK: a\nCHECK-NOT: b\n", "a\nb\n"},
      {"count", "CHECK-COUNT-2: x\nCHECK: y\n", "x\nx\ny\n"},
      {"implicit not", "CHECK-LABEL: f\nCHECK: a\nCHECK: b\n", "f\na\nwarning\nb\n",
       [](CheckOptions &options) { options.implicitCheckNot = {"warning"}; }},
      {"fault after a failed step", "CHECK: missing\nCHECK: ok\nCHECK: [[#X+]]\n", "ok\n"},
      {"fault after labels", "CHECK-LABEL: f\nCHECK: a\nCHECK-LABEL: g\nCHECK: [[#X+]]\n",
       "f\na\ng\n"},
      {"fault in the first step", "CHECK-NEXT: a\nCHECK: b\n", "a\nb\n"},
      // Read a second time, the text must meet the names of its first
      // reading nowhere: N would then be taken as a number already.
      {"string name, then numeric use", "CHECK: [[N:x]]\nCHECK: [[#N]]\n", "x\n1\n"},
      // The second of two equal patterns meets the name the first added.
      {"a pattern that reads once only", "CHECK: [[W:x]] [[#W]]\nCHECK: [[W:x]] [[#W]]\n",
       "x 1\nx 1\n"},
      {"no directives", "nothing here\n", "a\n"},
      {"unused prefix after a failed step", "A: x\nA: y\n", "y\n",
       [](CheckOptions &options) { options.checkPrefixes = {"A", "B"}; }},
      {"repeated dag with -vv", "CHECK-DAG: ab\nCHECK-DAG: ab\nCHECK-DAG: ab\nCHECK: end\n",
       "ab\nab\nnope\n",
       [](CheckOptions &options) { options.verbose = options.veryVerbose = true; }},
      {"verbose pairs in blocks", numberedPairs(30, 7), numberedInput(30, 7, 12),
       [](CheckOptions &options) { options.verbose = true; }},
      {"pairs without labels", numberedPairs(40, 0), numberedInput(40, 0, 35)},
      {"pairs in scoped blocks", numberedPairs(40, 3), numberedInput(40, 3, -1), varScope},
  };
  for (const FeedCase &c : cases) {
    CheckOptions options;
    if (c.configure)
      c.configure(options);
    for (auto recordUse : {CheckEngine::RecordUse::AnyRun, CheckEngine::RecordUse::FailedRunOnly}) {
      Outcome kept = runEngine(c.check, c.input, options, Storage::Kept, recordUse);
      Outcome streamed = runEngine(c.check, c.input, options, Storage::Streamed, recordUse);
      EXPECT_EQ(kept, streamed) << c.name;
    }
  }
}

// With scoping, a numeric variable defined after the first label is
// forgotten at the next label too, however the steps are held.
TEST(StepFeedTest, ScopedNumericVariablesAreForgottenAtEveryLabel) {
  CheckOptions options;
  options.enableVarScope = true;
  const std::string check = "CHECK-LABEL: b\nCHECK: x = [[#N:]]\nCHECK-LABEL: c\n"
                            "CHECK: x = [[#N]]\nCHECK-LABEL: d\nCHECK: y = [[#N:]]\n"
                            "CHECK-LABEL: e\nCHECK: y = [[#N]]\n";
  const std::string input = "b\nx = 5\nc\nx = 5\nd\ny = 6\ne\ny = 6\n";
  for (Storage storage : {Storage::Kept, Storage::Streamed}) {
    Outcome outcome = runEngine(check, input, options, storage);
    EXPECT_EQ(outcome.status, 1);
    for (const char *place : {"check.txt:4:15: error: undefined variable: N\n",
                              "check.txt:8:15: error: undefined variable: N\n"})
      EXPECT_NE(outcome.reports.find(place), std::string::npos) << outcome.reports;
  }
}

// The steps' substitutions go with the steps; those of the implicit patterns,
// read before the text, stay with the context for the whole run.
TEST(StepFeedTest, StreamedRunLeavesTheImplicitSubstitutions) {
  for (int labelEvery : {0, 50}) {
    CheckOptions options;
    options.defines = {"W=warn"};
    options.implicitCheckNot = {"[[W]]ing"};
    size_t held = 0;
    Outcome outcome = runEngine(numberedPairs(2000, labelEvery),
                                numberedInput(2000, labelEvery, -1), options, Storage::Streamed,
                                CheckEngine::RecordUse::FailedRunOnly, [&](CheckEngine &engine) {
                                  held = engine.context().ownedSubstitutions.size();
                                  EXPECT_TRUE(engine.steps().empty());
                                });
    EXPECT_EQ(outcome.status, 0) << outcome.reports;
    EXPECT_EQ(held, 1u) << labelEvery;
  }
}

// A step goes once it has run, and the steps up to a label are all that is
// read ahead: a long check file is never held whole unless its one label
// comes last.
TEST(StepFeedTest, HoldsTheStepsUpToTheNextLabelOnly) {
  DiagnosticRecorder reports;
  CheckEngine engine(CheckOptions(), reports);
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
  SourceRegistry registry;
  for (bool labelLast : {false, true}) {
    std::string text = numberedPairs(500, 0) + (labelLast ? "CHECK-LABEL: end\n" : "");
    registry.addBuffer(viewText(text, "check.txt"));
    VariableContext context;
    CheckFileReader reader(engine.options(), context, registry, reports);
    reader.start(text, prefixMatcher);
    const char *lastLabelAt = labelLast ? text.data() + text.rfind("-LABEL") : nullptr;
    ReadingStepFeed feed(reader, context, lastLabelAt, false);
    size_t index = 0;
    while (feed.labelFrom(index) &&
           feed.at(index)->pattern.kind.type != DirectiveType::Label)
      ++index;
    EXPECT_EQ(feed.heldSteps(), labelLast ? 1001u : 0u);
    for (index = 0; feed.at(index); ++index) {
      feed.release(index + 1);
      EXPECT_EQ(feed.heldSteps(), labelLast && index < 1000 ? 1000 - index : 0) << index;
    }
    EXPECT_EQ(index, labelLast ? 1001u : 1000u);
    ErrorValue error = feed.takeReadError();
    EXPECT_FALSE(error);
    dropError(std::move(error));
  }
  EXPECT_EQ(reports.printed(), "");
}

// The compiled expressions that the patterns of a streamed text share go
// when no step held needs them: with a new expression on every line, what is
// kept stays bounded by a block, not by the file.
TEST(StepFeedTest, SharedExpressionsGoWithTheStepsThatUseThem) {
  DiagnosticRecorder reports;
  CheckEngine engine(CheckOptions(), reports);
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
  SourceRegistry registry;
  // A block alone is searched with the whole expression, one after a text
  // piece by piece: both kinds are shared.
  std::string text;
  for (int block = 0; block < 300; ++block) {
    text += "CHECK-LABEL: block " + std::to_string(block) + "\n";
    for (int line = 0; line < 10; ++line)
      text += "CHECK: " + std::string(line % 2 ? "{{" : "item {{") + std::to_string(block) +
              " " + std::to_string(line) + " [0-9]+}}\n";
  }
  registry.addBuffer(viewText(text, "check.txt"));
  VariableContext context;
  CheckFileReader reader(engine.options(), context, registry, reports);
  reader.start(text, prefixMatcher);
  ReadingStepFeed feed(reader, context, text.data() + text.rfind("-LABEL"), false);
  size_t mostShared = 0;
  for (size_t index = 0; feed.at(index); ++index) {
    feed.labelFrom(index + 1);
    feed.release(index + 1);
    mostShared = std::max(mostShared, reader.sharedExpressions());
  }
  EXPECT_LE(mostShared, 200u);
  ErrorValue error = feed.takeReadError();
  EXPECT_FALSE(error);
  dropError(std::move(error));
  EXPECT_EQ(reports.printed(), "");
}

// A fault of a streamed text is reported when the text is read, before any
// input, as a kept text's is; a sound text leaves the context as reading
// found it, for the checking to read the text again.
TEST(StepFeedTest, StreamedFaultsAreReportedWhenTheTextIsRead) {
  const std::string check = numberedPairs(50, 10) + "CHECK: [[#X+]]\n";
  std::string printed[2];
  for (Storage storage : {Storage::Kept, Storage::Streamed}) {
    DiagnosticRecorder reports;
    SourceRegistry registry;
    CheckEngine engine(CheckOptions(), reports);
    CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
    std::string store;
    TextRef checkText = engine.prepareText(check, store);
    registry.addBuffer(viewText(checkText, "check.txt"));
    ErrorValue parsed = engine.parseCheckText(registry, checkText, prefixMatcher, nullptr, storage);
    EXPECT_TRUE(parsed);
    dropError(std::move(parsed));
    printed[storage == Storage::Streamed] = reports.printed();
    if (storage == Storage::Kept)
      continue;
    // The same text without its fault reads through, and leaves the context
    // as it found it.
    CheckEngine sound(CheckOptions(), reports);
    CompiledRegex soundMatcher = sound.buildPrefixMatcher();
    TextRef soundText = checkText.substr(0, checkText.rfind("CHECK: [[#X+]]"));
    ErrorValue soundParsed =
        sound.parseCheckText(registry, soundText, soundMatcher, nullptr, storage);
    EXPECT_FALSE(soundParsed);
    dropError(std::move(soundParsed));
    EXPECT_EQ(sound.context().ownedVariables.size(), 1u); // "@LINE"
    EXPECT_EQ(sound.context().numericTable.size(), 1u);
    EXPECT_TRUE(sound.context().ownedSubstitutions.empty());
  }
  EXPECT_NE(printed[0].find("check.txt:106:"), std::string::npos) << printed[0];
  EXPECT_EQ(printed[0], printed[1]);
}

/// An input that the directives of `check` (as made below) mostly accept:
/// each positive pattern written out with values for its blocks, with
/// now and then a line shuffled or dropped.
std::string inputFor(const std::string &check, std::mt19937 &random) {
  static const std::pair<const char *, const char *> blocks[] = {
      {"[[#N:]]", "5"}, {"[[#N+1]]", "6"}, {"[[#N]]", "5"},      {"[[V:[a-c]]]", "b"},
      {"[[V]]", "b"},   {"{{[ab]}}", "a"}, {"[[#$G:]]", "7"},    {"[[#$G]]", "7"},
      {"[[#N-1]]", "4"}, {"{{a|f}}", "a"}, {"[[#N+]]", "5"}};
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < check.size()) {
    size_t end = check.find('\n', start);
    std::string line = check.substr(start, end - start);
    start = end + 1;
    size_t colon = line.find(':');
    std::string kind = line.substr(0, colon);
    std::string text = colon + 1 < line.size() ? line.substr(colon + 2) : "";
    for (const auto &[block, value] : blocks)
      for (size_t at; (at = text.find(block)) != std::string::npos;)
        text.replace(at, std::string(block).size(), value);
    if (kind == "CHECK-NOT")
      continue;
    if (kind == "CHECK-SAME" && !lines.empty())
      lines.back() += " " + text;
    else if (kind == "CHECK-EMPTY")
      lines.push_back("");
    else
      lines.insert(lines.end(), kind == "CHECK-COUNT-2" ? 2 : 1, text);
  }
  if (lines.size() > 1 && random() % 3 == 0)
    std::swap(lines[random() % lines.size()], lines[random() % lines.size()]);
  std::string input;
  for (const std::string &line : lines)
    if (random() % 12)
      input += line + "\n";
  return input;
}

// Random check files and inputs over a small vocabulary, so that labels,
// variables, NOT and DAG groups, failures and faults meet in every order.
TEST(StepFeedTest, RandomCheckFilesShowTheSameBothWays) {
  const char *const directives[] = {"CHECK:",     "CHECK:",       "CHECK-NEXT:",
                                    "CHECK-SAME:", "CHECK-NOT:",  "CHECK-DAG:",
                                    "CHECK-LABEL:", "CHECK-EMPTY:", "CHECK-COUNT-2:"};
  const char *const patterns[] = {"a", "b", "c", "[[#N:]]", "[[#N+1]]", "[[#N]]",
                                  "[[V:[a-c]]]", "[[V]]", "{{[ab]}}", "[[#$G:]]", "[[#$G]]",
                                  "x [[#N-1]]", "{{a|f}}"};
  const char *const labels[] = {"f1", "f2", "f3"};
  const char *const words[] = {"a", "b", "c", "f1", "f2", "f3", "1", "2", "3", "x 0", "x 1", ""};
  std::mt19937 random(42);
  auto pick = [&](auto &table) { return table[random() % std::size(table)]; };
  for (int round = 0; round < 1500; ++round) {
    std::string check = std::string("CHECK: ") + pick(patterns) + "\n";
    for (int i = 0, n = int(random() % 10); i < n; ++i) {
      std::string directive = pick(directives);
      check += directive;
      if (directive == "CHECK-LABEL:")
        check += std::string(" ") + pick(labels);
      else if (directive != "CHECK-EMPTY:")
        check += std::string(" ") + pick(patterns);
      check += "\n";
    }
    // Now and then a fault, which must be all that is reported.
    if (random() % 10 == 0)
      check += "CHECK: [[#N+]]\n";
    std::string input = random() % 2 ? inputFor(check, random) : "";
    for (int i = 0, n = int(random() % 6); i < n; ++i)
      input += std::string(pick(words)) + (random() % 3 ? "\n" : " ");
    CheckOptions options;
    options.enableVarScope = random() % 2;
    options.verbose = random() % 4 == 0;
    options.veryVerbose = options.verbose && random() % 2;
    if (random() % 4 == 0)
      options.implicitCheckNot = {"c"};
    Outcome kept = runEngine(check, input, options, Storage::Kept);
    Outcome streamed = runEngine(check, input, options, Storage::Streamed);
    EXPECT_EQ(kept, streamed) << "check:\n" << check << "input:\n" << input;
  }
}

} // namespace ostrel
