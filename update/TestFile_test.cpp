#include "update/TestFile.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

DirectiveBlock labelBlock(const std::string &label, std::vector<std::string> rest) {
  DirectiveBlock block;
  block.labelKey = labelKey(false, label);
  block.directives.push_back("CHECK-LABEL: " + label);
  for (std::string &line : rest)
    block.directives.push_back("CHECK-NEXT: " + line);
  return block;
}

RewrittenFile rewrite(TextRef text, const std::vector<DirectiveBlock> &blocks,
                      const std::optional<std::string> &record = std::nullopt) {
  CheckOptions options;
  DiagnosticRecorder reports;
  CheckEngine engine(options, reports);
  CompiledRegex matcher = engine.buildPrefixMatcher();
  return TestFile(text, matcher, engine.options(), "CHECK").rewrite(blocks, "// ", record);
}

DirectiveBlock plainBlock(std::vector<std::string> directives) {
  return DirectiveBlock{"", std::move(directives)};
}

struct PlacementCase {
  const char *what;
  const char *before;
  std::vector<DirectiveBlock> blocks;
  const char *after;
  std::vector<std::string> added;
  std::vector<std::string> removed;
  std::vector<std::string> unmatched = {};
  std::vector<std::string> dropped = {};
};

TEST(TestFile, PlacesBlocksWhereTheirGroupsWere) {
  const PlacementCase cases[] = {
      {"each label back in its group, a new one after the block before it",
       "; CHECK-LABEL: f\n; CHECK-NEXT: old\ndefine f\n\n; CHECK-LABEL: g\ndefine g\n",
       {labelBlock("f", {"a"}), labelBlock("new", {}), labelBlock("g", {"b", "c"})},
       "; CHECK-LABEL: f\n; CHECK-NEXT: a\n; CHECK-LABEL: new\ndefine f\n\n"
       "; CHECK-LABEL: g\n; CHECK-NEXT: b\n; CHECK-NEXT: c\ndefine g\n",
       {"new"},
       {}},
      {"a vanished label's group is removed and named",
       "; CHECK-LABEL: f\nf\n; CHECK-LABEL: gone\n; CHECK-NEXT: x\ngone\n; CHECK-LABEL: g\ng\n",
       {labelBlock("f", {}), labelBlock("g", {})},
       "; CHECK-LABEL: f\nf\ngone\n; CHECK-LABEL: g\ng\n",
       {},
       {"gone"}},
      {"labels in another order than their groups share the first group",
       "; CHECK-LABEL: f\nf\n; CHECK-LABEL: g\ng\n",
       {labelBlock("g", {}), labelBlock("f", {})},
       "; CHECK-LABEL: g\n; CHECK-LABEL: f\nf\ng\n",
       {},
       {}},
      {"groups without labels: the first takes everything",
       "x\n# CHECK: a\n# CHECK-NEXT: b\ny\n# CHECK: c\nz",
       {DirectiveBlock{"", {"CHECK: new"}}},
       "x\n# CHECK: new\ny\nz",
       {},
       {}},
      {"no directives: appended with the new leader, after a line end",
       "int main() {}",
       {DirectiveBlock{"", {"CHECK: new", "CHECK-EMPTY:"}}},
       "int main() {}\n// CHECK: new\n// CHECK-EMPTY:\n",
       {},
       {}},
      {"CR LF line ends are kept, and a last line without one",
       "RUN: x\r\n;CHECK: old\r\n;CHECK: old",
       {DirectiveBlock{"", {"CHECK: a", "CHECK-NEXT: b"}}},
       "RUN: x\r\n;CHECK: a\r\n;CHECK-NEXT: b",
       {},
       {}},
      {"a directive behind code loses only its own bytes",
       "call(); // CHECK: old\n; CHECK: old\n",
       {DirectiveBlock{"", {"CHECK: new"}}},
       "call(); // \n; CHECK: new\n",
       {},
       {}},
      {"comments, other prefixes and glued prefixes are not directives",
       "; COM: CHECK: a\n; OTHER: b\nxCHECK: c\n; CHECK{LITERAL}: d\n",
       {DirectiveBlock{"", {"CHECK: new"}}},
       "; COM: CHECK: a\n; OTHER: b\nxCHECK: c\n; CHECK: new\n",
       {},
       {}},
      {"the block before the first label is a section of its own that stays",
       "; CHECK: head\n; CHECK-LABEL: f\n; CHECK-NEXT: a\nf\n; CHECK-LABEL: g\n; CHECK-NEXT: b\ng\n",
       {plainBlock({"CHECK: head"}), labelBlock("f", {"a"}), labelBlock("g", {"b"})},
       "; CHECK: head\n; CHECK-LABEL: f\n; CHECK-NEXT: a\nf\n; CHECK-LABEL: g\n; CHECK-NEXT: b\ng\n",
       {},
       {}},
      {"a comment inside a section decides nothing and stays where it is",
       "; CHECK-LABEL: f\n; a note\n; CHECK-NEXT: a\nf\n; CHECK-LABEL: g\n; CHECK-NEXT: b\n",
       {labelBlock("f", {"a", "new"}), labelBlock("g", {"b"})},
       "; CHECK-LABEL: f\n; a note\n; CHECK-NEXT: a\n; CHECK-NEXT: new\nf\n; CHECK-LABEL: g\n"
       "; CHECK-NEXT: b\n",
       {},
       {}},
      {"the user's directives stay between the generated lines around them",
       "; CHECK-LABEL: f\n; CHECK-NEXT: a\n; CHECK-NOT: bad\n; CHECK-NEXT: b\n"
       "; CHECK-DAG: {{.*}}x\n",
       {labelBlock("f", {"a", "new", "b"})},
       "; CHECK-LABEL: f\n; CHECK-NEXT: a\n; CHECK-NOT: bad\n; CHECK-NEXT: new\n; CHECK-NEXT: b\n"
       "; CHECK-DAG: {{.*}}x\n",
       {},
       {}},
      {"a directive of the user's that loses its neighbours is named and dropped",
       "; CHECK: a\n; CHECK-COUNT-2: x\n; CHECK-NEXT: b\n",
       {plainBlock({"CHECK: c"})},
       "; CHECK: c\n",
       {},
       {},
       {},
       {"2: CHECK-COUNT-2: x"}},
      {"seed labels that match nothing are kept and named; the first section takes all",
       "; CHECK-LABEL: seed1\n; CHECK-NEXT: old\nx\n; CHECK-LABEL: seed2\ny\n",
       {plainBlock({"CHECK: new"})},
       "; CHECK-LABEL: seed1\n; CHECK: new\nx\n; CHECK-LABEL: seed2\ny\n",
       {},
       {},
       {"seed1", "seed2"}},
      {"in a file the tool wrote, labels that all changed are its own: replaced",
       "; UPDATE: --label=x\n; CHECK-LABEL: old\n; CHECK-NEXT: a\n",
       {labelBlock("new", {"b"})},
       "; UPDATE: --label=x\n; CHECK-LABEL: new\n; CHECK-NEXT: b\n",
       {"new"},
       {"old"}},
  };
  for (const PlacementCase &c : cases) {
    RewrittenFile result = rewrite(c.before, c.blocks);
    EXPECT_EQ(result.text, c.after) << c.what;
    EXPECT_EQ(result.labelsAdded, c.added) << c.what;
    EXPECT_EQ(result.labelsRemoved, c.removed) << c.what;
    EXPECT_EQ(result.labelsUnmatched, c.unmatched) << c.what;
    EXPECT_EQ(result.droppedHandWritten, c.dropped) << c.what;
  }
}

TEST(TestFile, TheRecordLineIsAddedBeforeTheFirstDirectiveAndReplacedInPlace) {
  const std::tuple<const char *, const char *, const char *> cases[] = {
      {"RUN: x\n// CHECK: old\n", "UPDATE: --whole", "RUN: x\n// UPDATE: --whole\n// CHECK: new\n"},
      {"RUN: x\n", "UPDATE: --whole", "RUN: x\n// UPDATE: --whole\n// CHECK: new\n"},
      {"; UPDATE: --scrub=hex\nRUN: x\n; CHECK: old\n", "UPDATE: --whole",
       "; UPDATE: --whole\nRUN: x\n; CHECK: new\n"},
      // The record of another prefix is not this prefix's.
      {"; UPDATE: --check-prefix=FOO --whole\n; CHECK: old\n", "UPDATE: --whole",
       "; UPDATE: --check-prefix=FOO --whole\n; UPDATE: --whole\n; CHECK: new\n"},
  };
  for (const auto &[before, record, after] : cases)
    EXPECT_EQ(rewrite(before, {plainBlock({"CHECK: new"})}, std::string(record)).text, after)
        << before;
}

TEST(TestFile, LeaderFollowsTheExtension) {
  const std::pair<const char *, const char *> cases[] = {
      {"a/t.ll", "; "}, {"t.cpp", "// "}, {"t.h", "// "}, {"dir.d/t.sh", "# "},
      {"t.txt", "# "},  {"t.mir", ""},    {"t", ""},
  };
  for (const auto &[name, leader] : cases)
    EXPECT_EQ(leaderForFileName(name), leader) << name;
}

} // namespace

} // namespace ostrel
