// The central property of ostrel-update: whatever the output and whatever the
// test file, the rewritten file passes against the output it came from (by
// the engine in process, and by the ostrel program for a share of the cases),
// and every byte that was not a directive of the prefix is unchanged.

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "update/CheckProof.h"
#include "update/DirectiveGenerator.h"
#include "update/TestFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace ostrel {

namespace {

namespace fs = std::filesystem;

struct Variant {
  const char *name;
  bool scrubAll;
  bool numbers;
  bool labels;
  bool strict;
  bool fullLines;
  bool varScope;
};

constexpr Variant variants[] = {
    {"plain", false, false, false, false, false, false},
    {"scrubbed", true, true, false, false, false, false},
    {"labels", true, true, true, false, false, false},
    {"strict", true, false, true, true, false, false},
    {"full lines", true, true, true, false, true, false},
    {"strict full lines", false, true, true, true, true, false},
    {"scoped", true, true, true, false, false, true},
};

std::string randomLine(std::mt19937 &rng) {
  static const char *const pieces[] = {
      "alpha",  "beta", " ",      "  ",     "\t",        "{{",         "[[",        "]]",
      "}}",     "{",    "[",      "]",      "}",         "\r",         std::string("\0", 1).c_str(),
      "\xc3\xa9", "\xff", "0x7ffd12ab", "deadbeef0123", "/tmp/lit-x9/out.o", "2026-12-10",
      "13:36:46", "12ms",  "1.5 s", "42",     "7",         "007",        "x86",       "-3",
      "CHECK: x", "COM: y", "#",    "%",      "$",         "^",          "\\",        ".*",
      "@LINE",  "[[#N]]", ":",     "12345678901234567890", "41"};
  std::string line;
  int count = std::uniform_int_distribution<int>(0, 7)(rng);
  for (int i = 0; i < count; ++i) {
    size_t pick = std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(rng);
    line += pick == 14 ? std::string("\0", 1) : std::string(pieces[pick]);
  }
  return line;
}

std::string randomOutput(std::mt19937 &rng) {
  std::string output;
  int lines = std::uniform_int_distribution<int>(1, 25)(rng);
  for (int i = 0; i < lines; ++i) {
    if (std::uniform_int_distribution<int>(0, 5)(rng) == 0)
      output += "define @f" + std::to_string(i) + "()";
    else
      output += randomLine(rng);
    output += std::uniform_int_distribution<int>(0, 9)(rng) == 0 ? "\r\n" : "\n";
  }
  if (std::uniform_int_distribution<int>(0, 3)(rng) == 0)
    output += randomLine(rng); // no final line feed
  return output;
}

/// A test file: foreign lines (which must survive) and directive lines of
/// the prefix in groups, some headed by labels. `skeleton` receives the
/// foreign lines alone.
std::string randomTestFile(std::mt19937 &rng, std::string &skeleton) {
  static const char *const foreign[] = {
      "; RUN: producer | ostrel %s", "define @f3() {", "  ret void", "}", "",
      "; COM: CHECK: not a directive", "; OTHER: x", "xCHECK: glued", "// plain comment",
      "\t  indented source", "; NOTCHECK-NEXT: y"};
  static const char *const leaders[] = {"; ", "// ", "# ", "", "  ;  "};
  // Directives of the kinds and forms the tool writes: the user's own stay,
  // which the table tests of TestFile cover.
  static const char *const directives[] = {"CHECK: old", "CHECK-NEXT: old {{[0-9]+}}",
                                           "CHECK-NEXT: a [[HEX1:0x[0-9a-fA-F]+]]",
                                           "CHECK-SAME: [[HEX1]]", "CHECK-EMPTY:",
                                           "CHECK-SAME: y"};
  std::string text;
  const std::string lineEnd = std::uniform_int_distribution<int>(0, 4)(rng) == 0 ? "\r\n" : "\n";
  int parts = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < parts; ++i) {
    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) {
      const char *leader = leaders[std::uniform_int_distribution<size_t>(0, 4)(rng)];
      if (std::uniform_int_distribution<int>(0, 1)(rng))
        text += std::string(leader) + "CHECK-LABEL: define @f" +
                std::to_string(std::uniform_int_distribution<int>(0, 25)(rng)) + "()" + lineEnd;
      int count = std::uniform_int_distribution<int>(0, 3)(rng);
      for (int j = 0; j < count; ++j)
        text += std::string(leader) + directives[std::uniform_int_distribution<size_t>(0, 5)(rng)] +
                lineEnd;
    } else {
      std::string line = foreign[std::uniform_int_distribution<size_t>(0, 10)(rng)];
      text += line + lineEnd;
      skeleton += line + lineEnd;
    }
  }
  return text;
}

/// The file without the lines that hold a directive of CHECK after a
/// leader of blanks and punctuation: what the update must keep.
std::string withoutDirectiveLines(TextRef text) {
  std::string kept;
  while (!text.empty()) {
    size_t end = text.find('\n');
    end = end == TextRef::npos ? text.size() : end + 1;
    TextRef line = text.substr(0, end);
    text.remove_prefix(end);
    TextRef body = trimLeft(line, " \t;/#");
    bool directive = body.starts_with("CHECK") && body.size() > 5 &&
                     (body[5] == ':' || body[5] == '-' || body[5] == '{');
    if (!directive)
      kept += line;
  }
  return kept;
}

struct Setup {
  CheckOptions options;
  GeneratorSettings settings;
  std::vector<TextRef> prefixes{"CHECK"};
};

Setup makeSetup(const Variant &variant) {
  Setup setup;
  setup.options.strictWhitespace = variant.strict;
  setup.options.matchFullLines = variant.fullLines;
  setup.options.enableVarScope = variant.varScope;
  setup.settings.checker.strictWhitespace = variant.strict;
  setup.settings.checker.matchFullLines = variant.fullLines;
  setup.settings.checker.enableVarScope = variant.varScope;
  setup.settings.scrubNumbers = variant.numbers;
  if (variant.scrubAll) {
    for (TextRef name : {"hex", "tmp", "date", "time", "duration", "WORD=be[a-z]+"}) {
      std::string error;
      auto rules = parseScrubOption(name, error);
      EXPECT_TRUE(rules) << error;
      for (Scrubber &rule : *rules)
        setup.settings.scrubbers.push_back(std::move(rule));
    }
  }
  if (variant.labels)
    setup.settings.labels.emplace_back(TextRef("^define"));
  return setup;
}

/// Runs one update; fails the test when the property does not hold. Returns
/// the rewritten text for the callers that check it further, and whether it
/// passed in `passed`.
std::string updateAndProve(const Variant &variant, TextRef output, TextRef oldFile,
                           TextRef skeleton, const std::string &what, bool *passed = nullptr) {
  Setup setup = makeSetup(variant);
  setup.options.checkPrefixes = setup.prefixes;
  DiagnosticRecorder reports;
  CheckEngine engine(setup.options, reports);
  ErrorValue rejected = engine.verifyPrefixes();
  EXPECT_FALSE(rejected);
  dropError(std::move(rejected));
  CompiledRegex matcher = engine.buildPrefixMatcher();
  std::string store;
  GeneratedDirectives generated = generateDirectives(engine.prepareText(output, store), setup.settings);
  EXPECT_EQ(generated.refusal, "");
  const std::vector<DirectiveBlock> &blocks = generated.blocks;
  TestFile file(oldFile, matcher, engine.options(), "CHECK");
  std::vector<std::string> userExpressions;
  for (const Scrubber &rule : setup.settings.scrubbers)
    if (rule.precedence == 0)
      userExpressions.push_back(rule.written);
  file.recogniseExpressions(userExpressions);
  RewrittenFile rewritten = file.rewrite(blocks, "; ");

  ProofResult proof = proveCheck(setup.options, {.checkText = rewritten.text,
                                                   .checkName = "test",
                                                   .checkForm = TextForm::RawWithNul,
                                                   .input = output,
                                                   .inputName = "output"});
  // Labels of the file that matched none of the output's are the user's
  // seeds, kept as written: the proof may then fail, and the tool refuses.
  EXPECT_TRUE(proof.passed || !rewritten.labelsUnmatched.empty()) << what << " (" << variant.name << ")\n--- output:\n"
                            << output << "\n--- file:\n"
                            << rewritten.text << "\n--- checker:\n"
                            << proof.reports.printed();
  if (passed)
    *passed = proof.passed;
  std::string kept = withoutDirectiveLines(rewritten.text);
  std::string expected(skeleton);
  // Directives appended to a file without a final line end bring one.
  if (!oldFile.empty() && !oldFile.ends_with('\n') && kept.size() == expected.size() + 1)
    expected += kept.back();
  EXPECT_EQ(kept, expected) << what << " (" << variant.name << ")";
  return rewritten.text;
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<fs::path> exampleOutputs() {
  std::vector<fs::path> found;
  for (const fs::path &folder : {fs::path("../examples"), fs::path("../tests/cases")})
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
      std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && (name.ends_with(".txt") || name == "stdin") &&
          name != "check.txt" && fs::file_size(entry.path()) > 0)
        found.push_back(entry.path());
    }
  std::sort(found.begin(), found.end());
  return found;
}

/// Runs the ostrel program on the files; true when it passes.
bool ostrelPasses(const Variant &variant, TextRef checkText, TextRef output) {
  fs::path folder = fs::temp_directory_path() / ("ostrel-update-test-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "test.txt", std::ios::binary) << checkText;
  std::ofstream(folder / "out.txt", std::ios::binary) << output;
  std::string command = std::string(OSTREL_CHECKER) + " --input-file " +
                        (folder / "out.txt").string() + " " + (folder / "test.txt").string() +
                        (variant.strict ? " --strict-whitespace" : "") +
                        (variant.fullLines ? " --match-full-lines" : "") +
                        (variant.varScope ? " --enable-var-scope" : "") + " 2>/dev/null";
  bool passed = std::system(command.c_str()) == 0;
  fs::remove_all(folder);
  return passed;
}

TEST(UpdateProperty, ExampleOutputsIntoEmptyAndExistingFiles) {
  std::vector<fs::path> outputs = exampleOutputs();
  ASSERT_FALSE(outputs.empty());
  std::mt19937 rng(16);
  for (const fs::path &path : outputs) {
    std::string output = readFile(path);
    for (const Variant &variant : variants) {
      std::string written = updateAndProve(variant, output, "; RUN: x\n", "; RUN: x\n", path.string());
      if (&variant == &variants[0] || &variant == &variants[2]) {
        EXPECT_TRUE(ostrelPasses(variant, written, output)) << path << " " << variant.name;
      }
      std::string skeleton;
      std::string existing = randomTestFile(rng, skeleton);
      updateAndProve(variant, output, existing, skeleton, path.string() + " into an existing file");
    }
  }
}

TEST(UpdateProperty, RandomOutputsIntoRandomFiles) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 300; ++round) {
    std::string output = randomOutput(rng);
    std::string skeleton;
    std::string existing = randomTestFile(rng, skeleton);
    const Variant &variant = variants[round % std::size(variants)];
    bool passed = false;
    std::string written = updateAndProve(variant, output, existing, skeleton,
                                         "round " + std::to_string(round), &passed);
    if (round % 10 == 0 && passed) {
      EXPECT_TRUE(ostrelPasses(variant, written, output)) << "round " << round;
    }
    if (HasFailure())
      return;
  }
}

TEST(UpdateProperty, SecondRunChangesNothing) {
  std::mt19937 rng(7);
  for (int round = 0; round < 100; ++round) {
    std::string output = randomOutput(rng);
    std::string skeleton;
    std::string existing = randomTestFile(rng, skeleton);
    const Variant &variant = variants[round % std::size(variants)];
    bool passed = false;
    std::string first = updateAndProve(variant, output, existing, skeleton, "first", &passed);
    if (!passed)
      continue; // refused: nothing would have been written
    std::string second = updateAndProve(variant, output, first, withoutDirectiveLines(first), "second");
    EXPECT_EQ(first, second) << "round " << round;
  }
}

} // namespace

namespace {

TEST(UpdateProperty, RefreshOfAnInterleavedFileWithTheSameOutputChangesNoByte) {
  // The tool writes a file, a user puts source lines and comments anywhere
  // between its directives (inside a label's group too); a refresh with the
  // same output must give the file back byte for byte.
  static const char *const foreign[] = {"int f(void);", "// a note", "", "}", "  ret void"};
  std::mt19937 rng(24);
  for (int round = 0; round < 150; ++round) {
    std::string output = randomOutput(rng);
    const Variant &variant = variants[round % std::size(variants)];
    bool passed = false;
    std::string written = updateAndProve(variant, output, "; RUN: x\n", "; RUN: x\n",
                                         "write " + std::to_string(round), &passed);
    if (!passed)
      continue;
    std::string interleaved;
    for (size_t at = 0; at < written.size();) {
      size_t end = written.find('\n', at);
      end = end == std::string::npos ? written.size() : end + 1;
      interleaved += written.substr(at, end - at);
      at = end;
      if (std::uniform_int_distribution<int>(0, 3)(rng) == 0)
        interleaved += std::string(foreign[std::uniform_int_distribution<size_t>(0, 4)(rng)]) + "\n";
    }
    std::string refreshed = updateAndProve(variant, output, interleaved,
                                           withoutDirectiveLines(interleaved),
                                           "refresh " + std::to_string(round));
    EXPECT_EQ(refreshed, interleaved) << "round " << round;
    if (HasFailure())
      return;
  }
}

} // namespace

} // namespace ostrel
