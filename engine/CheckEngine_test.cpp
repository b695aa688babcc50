#include "engine/CheckEngine.h"

#include "engine/DiagnosticSink.h"
#include "support/diag/AlreadyReportedError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

std::vector<TextRef> list(std::initializer_list<TextRef> items) { return items; }

/// Runs verifyPrefixes and returns what it reported, or "ok".
std::string verify(std::vector<TextRef> checkPrefixes, std::vector<TextRef> commentPrefixes) {
  CheckOptions options;
  options.checkPrefixes = std::move(checkPrefixes);
  options.commentPrefixes = std::move(commentPrefixes);
  DiagnosticRecorder reports;
  CheckEngine engine(options, reports);
  ErrorValue rejected = engine.verifyPrefixes();
  if (!rejected) {
    EXPECT_EQ(reports.printed(), "");
    return "ok";
  }
  EXPECT_TRUE(rejected.isA<AlreadyReportedError>());
  dropError(std::move(rejected));
  return reports.printed();
}

} // namespace

TEST(CheckEngineTest, VerifyPrefixesReportsTheFirstBadPrefix) {
  const std::string notUnique = "prefix must be unique among check and comment prefixes: '";
  EXPECT_EQ(verify({"CHECK"}, {"CHECK"}), "error: supplied comment " + notUnique + "CHECK'\n");
  EXPECT_EQ(verify({}, {"CHECK"}), "error: supplied comment " + notUnique + "CHECK'\n");
  EXPECT_EQ(verify({"COM"}, {}), "error: supplied check " + notUnique + "COM'\n");
  EXPECT_EQ(verify({"A", "A"}, {}), "error: supplied check " + notUnique + "A'\n");
  EXPECT_EQ(verify({""}, {}), "error: supplied check prefix must not be the empty string\n");
  EXPECT_EQ(verify({"A.B"}, {}),
            "error: supplied check prefix must start with a letter and contain only "
            "alphanumeric characters, hyphens, and underscores: 'A.B'\n");
  // A bad check prefix hides a bad comment prefix.
  EXPECT_EQ(verify({"A B"}, {""}),
            "error: supplied check prefix must start with a letter and contain only "
            "alphanumeric characters, hyphens, and underscores: 'A B'\n");
  EXPECT_EQ(verify({"A"}, {"x\ny"}),
            "error: supplied comment prefix must start with a letter and contain only "
            "alphanumeric characters, hyphens, and underscores: 'x\ny'\n");
  EXPECT_EQ(verify({"1A", "_A", "-", "a-b_C9"}, {"R"}), "ok");
}

TEST(CheckEngineTest, BuildPrefixMatcherFillsInTheDefaults) {
  DiagnosticRecorder reports;
  CheckEngine defaults(CheckOptions(), reports);
  CompiledRegex matcher = defaults.buildPrefixMatcher();
  EXPECT_TRUE(defaults.options().defaultPrefixInUse);
  EXPECT_EQ(defaults.options().checkPrefixes, list({"CHECK"}));
  EXPECT_EQ(defaults.options().commentPrefixes, list({"COM", "RUN"}));
  std::vector<TextRef> groups;
  ASSERT_TRUE(matcher.search("x RUN CHECK", &groups));
  EXPECT_EQ(groups[0], "RUN");
  EXPECT_FALSE(matcher.search("check com run"));

  CheckOptions explicitPrefixes;
  explicitPrefixes.checkPrefixes = {"CHECK"};
  explicitPrefixes.commentPrefixes = {"NOTE"};
  CheckEngine engine(explicitPrefixes, reports);
  matcher = engine.buildPrefixMatcher();
  EXPECT_FALSE(engine.options().defaultPrefixInUse);
  EXPECT_EQ(engine.options().commentPrefixes, list({"NOTE"}));
  EXPECT_TRUE(matcher.search("a NOTE"));
  EXPECT_FALSE(matcher.search("COM RUN"));
}

TEST(CheckEngineTest, PrefixMatcherPrefersTheLongestPrefix) {
  CheckOptions options;
  options.checkPrefixes = {"A", "A-B"};
  DiagnosticRecorder reports;
  CheckEngine engine(options, reports);
  CompiledRegex matcher = engine.buildPrefixMatcher();
  std::vector<TextRef> groups;
  ASSERT_TRUE(matcher.search("x A-B: y", &groups));
  EXPECT_EQ(groups[0], "A-B");
}

} // namespace ostrel
