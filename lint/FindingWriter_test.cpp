#include "lint/FindingWriter.h"

#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace ostrel {

namespace {

/// The quoted line and caret line for the text between the first "<" and
/// ">" of `marked` (removed), with the caret at its start.
std::string quoted(std::string marked) {
  size_t start = marked.find('<');
  marked.erase(start, 1);
  size_t end = marked.find('>');
  marked.erase(end, 1);
  const char *base = marked.c_str();
  return quotedLine(marked, base + start, base + start, base + end);
}

TEST(FindingWriterTest, QuotedLinesAreShownAsTheReaderSeesThem) {
  struct Case {
    std::string marked;
    std::string expected;
  };
  const Case cases[] = {
      {"before\nCHECK: <\\d>\nafter", "CHECK: \\d\n       ^~"},
      {"CHECK: \xC3\xA9\xC3\xA9 <\\d>", "CHECK: \xC3\xA9\xC3\xA9 \\d\n          ^~"},
      {"a\tb <x>", "a       b x\n          ^"},
      {"\x01\x7F<x>\r\n", "\\x01\\x7Fx\n        ^"},
      {"CHECK: <x>\rmore", "CHECK: x\\x0Dmore\n       ^"},
      {std::string(300, 'a') + "<b>" + std::string(300, 'c'),
       "..." + std::string(80, 'a') + "b" + std::string(159, 'c') + "...\n" +
           std::string(83, ' ') + "^"},
      {"<b>" + std::string(300, 'c'), "b" + std::string(239, 'c') + "...\n^"},
      {std::string(300, 'a') + "<b>", "..." + std::string(239, 'a') + "b\n" +
                                          std::string(242, ' ') + "^"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(quoted(c.marked), c.expected) << c.marked;

  // A cut never splits a character.
  std::string wide;
  for (int i = 0; i < 200; ++i)
    wide += "\xC3\xA9";
  std::string shown = quoted(wide + "<x>");
  EXPECT_TRUE(shown.starts_with("...\xC3\xA9")) << shown;
}

TEST(FindingWriterTest, PlacesCountCharacters) {
  std::string text = "one\n\xC3\xA9\tx yz\n";
  const char *x = text.c_str() + text.find('x');
  FilePlace place = filePlace(text, x, x + 4);
  EXPECT_EQ(place.line, 2u);
  EXPECT_EQ(place.column, 3u);
  // The end stops at the line's end.
  EXPECT_EQ(place.endColumn, 7u);
  EXPECT_EQ(filePlace(text, x, nullptr).endColumn, 4u);
}

/// What `format` writes for one finding of each severity over `text`.
std::string written(FindingFormat format, const std::string &text, std::string &errors) {
  std::string output;
  {
    StringOutputStream out(output);
    StringOutputStream err(errors);
    err.allowColours(false);
    FindingWriter writer(format, out, err);
    const char *at = text.c_str() + text.find("\\d");
    Finding escape{LintCheck::RegexEscape, at, SourceRange(at, at + 2), "a, b: 100%"};
    escape.fix = FixIt{SourceRange(at, at + 2), "[0-9]"};
    writer.write("dir/a b.check", text, escape, DiagSeverity::Warning);
    Finding error{LintCheck::CheckFileError, text.c_str(), SourceRange(), "bad\nthing"};
    writer.write("dir/a b.check", text, error, DiagSeverity::Error);
    writer.finish();
  }
  return output;
}

TEST(FindingWriterTest, TextGoesToStandardErrorAndTheRestToStandardOutput) {
  std::string errors;
  std::string text = "CHECK: {{\\d}}\n";
  EXPECT_EQ(written(FindingFormat::Text, text, errors), "");
  EXPECT_EQ(errors, "dir/a b.check:1:10: warning: a, b: 100% [-Wregex-escape]\n"
                    "CHECK: {{\\d}}\n"
                    "         ^~\n"
                    "dir/a b.check:1:1: error: bad\nthing [-Wcheck-file-error]\n"
                    "CHECK: {{\\d}}\n"
                    "^\n");

  errors.clear();
  EXPECT_EQ(written(FindingFormat::Github, text, errors),
            "::warning file=dir/a b.check,line=1,col=10,endColumn=12,title=ostrel-lint "
            "regex-escape::a, b: 100%25 [-Wregex-escape]\n"
            "::error file=dir/a b.check,line=1,col=1,endColumn=2,title=ostrel-lint "
            "check-file-error::bad%0Athing [-Wcheck-file-error]\n");
  EXPECT_EQ(errors, "");
}

TEST(FindingWriterTest, JsonHasOneObjectPerFinding) {
  std::string errors;
  std::string output = written(FindingFormat::Json, "CHECK: {{\\d}}\n", errors);
  size_t lineEnd = output.find('\n');
  nlohmann::json first = nlohmann::json::parse(output.substr(0, lineEnd));
  EXPECT_EQ(first, nlohmann::json::parse(R"({"file": "dir/a b.check", "line": 1, "column": 10,
      "endColumn": 12, "severity": "warning", "check": "regex-escape", "message": "a, b: 100%",
      "fix": {"line": 1, "column": 10, "endColumn": 12, "replacement": "[0-9]"}})"));
  nlohmann::json second = nlohmann::json::parse(output.substr(lineEnd + 1));
  EXPECT_EQ(second["severity"], "error");
  EXPECT_FALSE(second.contains("fix"));
}

TEST(FindingWriterTest, SarifIsOneLogOfTheRun) {
  std::string errors;
  nlohmann::json log =
      nlohmann::json::parse(written(FindingFormat::Sarif, "CHECK: {{\\d}}\n", errors));
  EXPECT_EQ(log["version"], "2.1.0");
  EXPECT_EQ(log["$schema"], "https://json.schemastore.org/sarif-2.1.0.json");
  ASSERT_EQ(log["runs"].size(), 1u);
  const nlohmann::json &run = log["runs"][0];
  EXPECT_EQ(run["tool"]["driver"]["name"], "ostrel-lint");
  const nlohmann::json &rules = run["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), lintChecks().size());
  for (const LintCheckInfo &info : lintChecks()) {
    const nlohmann::json &rule = rules[static_cast<size_t>(info.check)];
    EXPECT_EQ(rule["id"], info.name);
    EXPECT_TRUE(rule["shortDescription"]["text"].is_string());
  }
  EXPECT_EQ(run["columnKind"], "unicodeCodePoints");
  ASSERT_EQ(run["results"].size(), 2u);
  const nlohmann::json &result = run["results"][0];
  EXPECT_EQ(result["ruleId"], "regex-escape");
  EXPECT_EQ(rules[result["ruleIndex"].get<size_t>()]["id"], "regex-escape");
  EXPECT_EQ(result["level"], "warning");
  EXPECT_EQ(result["message"]["text"], "a, b: 100%");
  const nlohmann::json &location = result["locations"][0]["physicalLocation"];
  EXPECT_EQ(location["artifactLocation"]["uri"], "dir/a%20b.check");
  EXPECT_EQ(location["region"],
            nlohmann::json::parse(R"({"startLine": 1, "startColumn": 10, "endColumn": 12})"));
  const nlohmann::json &change = result["fixes"][0]["artifactChanges"][0];
  EXPECT_EQ(change["artifactLocation"]["uri"], "dir/a%20b.check");
  EXPECT_EQ(change["replacements"][0]["insertedContent"]["text"], "[0-9]");
  EXPECT_EQ(change["replacements"][0]["deletedRegion"], location["region"]);
  EXPECT_EQ(run["results"][1]["level"], "error");
  EXPECT_FALSE(run["results"][1].contains("fixes"));
}

TEST(FindingWriterTest, FormatsAreNamed) {
  EXPECT_EQ(findingFormatNamed("sarif"), FindingFormat::Sarif);
  EXPECT_EQ(findingFormatNamed("github"), FindingFormat::Github);
  EXPECT_EQ(findingFormatNamed("xml"), std::nullopt);
}

} // namespace

} // namespace ostrel
