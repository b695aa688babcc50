#include "support/diag/SourceRegistry.h"

#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

// A registry holding one text under a name, with helpers to point into it.
class RegistryFixture : public testing::Test {
protected:
  const char *add(const std::string &text, const char *name = "check.txt") {
    texts_.push_back(std::make_unique<std::string>(text));
    const std::string &stored = *texts_.back();
    registry_.addBuffer(viewText(stored, name));
    return stored.c_str();
  }

  std::string print(SourceLocation loc, TextRef message, std::vector<SourceRange> ranges = {},
                    DiagSeverity severity = DiagSeverity::Error, bool colours = false) {
    std::string out;
    StringOutputStream os(out);
    os.allowColours(true);
    SourceDiagnostic diag = registry_.makeDiagnostic(loc, severity, message, ranges);
    registry_.printDiagnostic(os, diag, colours);
    return out;
  }

  SourceRegistry registry_;
  std::vector<std::unique_ptr<std::string>> texts_;
};

TEST_F(RegistryFixture, LocatesAndQuotesTheLine) {
  std::string text;
  for (int i = 1; i < 12; ++i)
    text += "line " + std::to_string(i) + "\n";
  text += "CHECK: foo bar\n";
  const char *base = add(text);
  const char *at = base + text.find("foo bar"); // column index 7
  EXPECT_EQ(print(at, "expected string not found"),
            "check.txt:12:8: error: expected string not found\n"
            "CHECK: foo bar\n"
            "       ^\n");
  EXPECT_EQ(registry_.lineColumnOf(at), std::make_pair(12u, 8u));
}

TEST_F(RegistryFixture, CaretLineLayout) {
  struct Case {
    const char *name;
    const char *text;
    size_t location;
    std::vector<std::pair<size_t, size_t>> ranges; // offsets into text
    const char *expected;                          // source line and caret line
  };
  const Case cases[] = {
      {"range with tab before the caret", "a\tbc d", 3, {{2, 5}},
       "a       bc d\n        ~^~\n"},
      {"range covering a tab", "ab\tcd efg", 4, {{2, 6}}, "ab      cd efg\n  ~~~~~~~^~\n"},
      {"caret on a tab", "x\ty", 1, {}, "x       y\n ^^^^^^^\n"},
      {"range from an earlier line", "one\ntwo three", 8, {{1, 8}}, "two three\n~~~~^\n"},
      {"range into a later line", "one two\nthree", 4, {{4, 10}}, "one two\n    ^~~\n"},
      {"range ending at the line start", "ab\ncd", 4, {{0, 3}}, "cd\n ^\n"},
      {"range ending inside the line", "ab\ncd", 4, {{0, 4}}, "cd\n~^\n"},
      {"range beyond the line is dropped", "ab\ncd\nef", 3, {{6, 8}}, "cd\n^\n"},
      {"location at a line feed", "abc\ndef", 3, {}, "abc\n   ^\n"},
      {"location at the end after a final line feed", "abc\n", 4, {}, "\n^\n"},
      {"CR LF ends the quoted line", "ab\r\ncd\r\n", 1, {}, "ab\n ^\n"},
      {"high byte suppresses the caret line", "caf\xc3\xa9 x", 6, {}, "caf\xc3\xa9 x\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const char *base = add(c.text, "f");
    std::vector<SourceRange> ranges;
    for (auto [s, e] : c.ranges)
      ranges.emplace_back(base + s, base + e);
    std::string out = print(base + c.location, "m", ranges);
    size_t header = out.find('\n');
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(out.substr(header + 1), c.expected);
  }
}

TEST_F(RegistryFixture, LineNumbersCountLineFeedsOnly) {
  const char *base = add("a\r\nb\rc\nd", "f");
  struct Case {
    size_t offset;
    unsigned line, column;
  };
  const Case cases[] = {{0, 1, 1}, {1, 1, 2}, {2, 1, 1}, {3, 2, 1}, {4, 2, 2},
                        {5, 2, 1}, {6, 2, 2}, {7, 3, 1}, {8, 3, 2}};
  for (const Case &c : cases) {
    EXPECT_EQ(registry_.lineColumnOf(base + c.offset), std::make_pair(c.line, c.column))
        << "offset " << c.offset;
  }
  // A lone carriage return splits the quoted line and the column, not the line number.
  EXPECT_EQ(print(base + 5, "m"), "f:2:1: error: m\nc\n^\n");
  SourceDiagnostic diag = registry_.makeDiagnostic(base + 5, DiagSeverity::Error, "m");
  EXPECT_EQ(diag.lineText, "c");
  EXPECT_EQ(diag.lineNumber, 2);
  EXPECT_EQ(diag.column, 0);
}

TEST_F(RegistryFixture, LinesAndColumnsAgreeWithAPlainWalkOnMixedLineEnds) {
  // Line feeds, lone carriage returns and CR LF pairs at irregular places,
  // in a buffer large enough for two-byte index entries.
  std::string text(3000, 'x');
  unsigned seed = 7;
  for (char &c : text) {
    seed = seed * 1103515245 + 12345;
    unsigned pick = (seed >> 16) % 16;
    c = pick == 0 ? '\n' : pick == 1 ? '\r' : c;
  }
  text.replace(100, 2, "\r\n");
  const char *base = add(text, "f");
  unsigned line = 1;
  size_t lineStart = 0;
  for (size_t offset = 0; offset <= text.size(); ++offset) {
    ASSERT_EQ(registry_.lineColumnOf(base + offset),
              std::make_pair(line, static_cast<unsigned>(offset - lineStart + 1)))
        << "offset " << offset;
    if (offset < text.size()) {
      if (text[offset] == '\n')
        ++line;
      if (text[offset] == '\n' || text[offset] == '\r')
        lineStart = offset + 1;
    }
  }
}

TEST_F(RegistryFixture, FileNamesSeveritiesAndMissingLocations) {
  const char *input = add("in\n", "-");
  const char *check = add("ck\n", "check.txt");
  EXPECT_EQ(registry_.findBuffer(input), 1u);
  EXPECT_EQ(registry_.findBuffer(check + 3), 2u) << "the end position belongs to the buffer";
  EXPECT_EQ(registry_.findBuffer(nullptr), 0u);
  EXPECT_EQ(registry_.buffer(2).bufferName(), "check.txt");

  EXPECT_EQ(print(input + 1, "m", {}, DiagSeverity::Note), "<stdin>:1:2: note: m\nin\n ^\n");
  EXPECT_EQ(print(check, "m", {}, DiagSeverity::Remark), "check.txt:1:1: remark: m\nck\n^\n");
  EXPECT_EQ(print(check, "m", {}, DiagSeverity::Warning),
            "check.txt:1:1: warning: m\nck\n^\n");
  EXPECT_EQ(print(nullptr, "no place", {SourceRange(check, check + 1)}),
            "<unknown>:0: error: no place\n");
  SourceDiagnostic none = registry_.makeDiagnostic(nullptr, DiagSeverity::Error, "x",
                                                   SourceRange(check, check + 1));
  EXPECT_TRUE(none.columnRanges.empty());

  SourceDiagnostic bare;
  bare.message = "plain";
  std::string out;
  StringOutputStream os(out);
  bare.print(os, false);
  EXPECT_EQ(out, "error: plain\n");
}

TEST_F(RegistryFixture, ColouredLayout) {
  const char *base = add("a\tbc\n", "f");
  std::string out = print(base + 2, "msg", {SourceRange(base + 1, base + 3)},
                          DiagSeverity::Error, true);
  EXPECT_EQ(out, "f:1:3: error: msg\na       bc\n ~~~~~~~^\n")
      << "auto colours on a string stream stay off";

  int32_t saved = colourPreference;
  colourPreference = ColourPreferenceTrue;
  out = print(base + 2, "msg", {SourceRange(base + 1, base + 3)}, DiagSeverity::Error, true);
  EXPECT_EQ(out, "\x1b[1mf:1:3: \x1b[0m"
                 "\x1b[0;1;31merror: \x1b[0m"
                 "\x1b[1mmsg\n\x1b[0m"
                 "a       bc\n"
                 "\x1b[0;1;32m ~~~~~~~^\n\x1b[0m");
  EXPECT_EQ(print(base, "msg", {}, DiagSeverity::Error, false), "f:1:1: error: msg\na       bc\n^\n");

  SourceDiagnostic unnamed;
  unnamed.message = "m";
  std::string bare;
  StringOutputStream os(bare);
  os.allowColours(true);
  unnamed.print(os, true);
  EXPECT_EQ(bare, "\x1b[1m\x1b[0m\x1b[0;1;31merror: \x1b[0m\x1b[1mm\n\x1b[0m");
  colourPreference = saved;
}

// An unbuffered stream that counts how often it reaches its destination.
class CountingStream : public OutputStream {
public:
  CountingStream() : OutputStream(true) {}
  std::string text;
  int sinkCalls = 0;

protected:
  void writeToSink(const char *data, size_t size) override {
    ++sinkCalls;
    text.append(data, size);
  }
  uint64_t currentPosition() const override { return text.size(); }
};

TEST_F(RegistryFixture, LongLineGoesOutInOneWrite) {
  std::string line(1 << 20, 'w');
  line[1000] = '\t';
  const char *base = add(line + "\n", "big");
  CountingStream os;
  registry_.printDiagnostic(os, registry_.makeDiagnostic(base + 500000, DiagSeverity::Error,
                                                          "m", SourceRange(base, base + 10)));
  EXPECT_EQ(os.sinkCalls, 1);
  std::string header = "big:1:500001: error: m\n";
  // Both the quoted line and the caret line widen by 7 at the tab.
  EXPECT_EQ(os.text.size(), header.size() + (line.size() + 7 + 1) + (500001 + 7 + 1));
  EXPECT_EQ(os.text.substr(0, header.size()), header);
  EXPECT_EQ(os.text.substr(os.text.size() - 3), " ^\n") << "no trailing reset without colours";
}

TEST(NewlineIndexTest, WidthsSwitchAtSizeBoundariesWithSameLineNumbers) {
  struct Case {
    size_t size;
    unsigned width;
  };
  const Case cases[] = {{0, 1}, {255, 1}, {256, 2}, {65535, 2}, {65536, 4}, {70000, 4}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    // Line feeds at irregular places, including the first and last bytes.
    std::string text(c.size, 'x');
    for (size_t i = 0; i < c.size; i += 1 + i % 7)
      text[i] = '\n';
    if (c.size)
      text[c.size - 1] = '\n';
    NewlineIndex index(text.data(), text.data() + text.size());
    EXPECT_EQ(index.elementWidth(), c.width);

    SourceRegistry registry;
    registry.addBuffer(viewText(text, "t"));
    unsigned expectedLine = 1;
    for (size_t offset = 0; offset <= c.size; ++offset) {
      ASSERT_EQ(index.lineOf(offset), expectedLine) << "offset " << offset;
      ASSERT_EQ(registry.lineNumber(text.data() + offset, 1), expectedLine);
      if (offset < c.size && text[offset] == '\n')
        ++expectedLine;
    }
  }
}

} // namespace

} // namespace ostrel
