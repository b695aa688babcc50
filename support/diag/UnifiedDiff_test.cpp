#include "support/diag/UnifiedDiff.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

namespace ostrel {

namespace {

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

/// Rebuilds both texts from the diff: every hunk's old side must be the
/// before text at its place and its new side the after text, and the lines
/// between hunks must be equal in both.
void expectDiffRebuilds(const std::string &before, const std::string &after) {
  std::string diff = unifiedDiff(before, after, "f");
  if (before == after) {
    EXPECT_EQ(diff, "");
    return;
  }
  std::vector<std::string> a = linesOf(before), b = linesOf(after), d = linesOf(diff);
  ASSERT_GE(d.size(), 3u);
  EXPECT_EQ(d[0], "--- f");
  EXPECT_EQ(d[1], "+++ f");
  std::vector<std::string> rebuiltA, rebuiltB;
  size_t nextA = 0, nextB = 0;
  for (size_t i = 2; i < d.size(); ++i) {
    const std::string &line = d[i];
    if (line.starts_with("@@")) {
      size_t startA, lengthA, startB, lengthB;
      ASSERT_EQ(std::sscanf(line.c_str(), "@@ -%zu,%zu +%zu,%zu @@", &startA, &lengthA, &startB,
                            &lengthB),
                4)
          << line;
      size_t fromA = lengthA ? startA - 1 : startA, fromB = lengthB ? startB - 1 : startB;
      ASSERT_EQ(fromA - nextA, fromB - nextB) << "unchanged stretch differs in length";
      for (; nextA < fromA; ++nextA, ++nextB) {
        rebuiltA.push_back(a[nextA]);
        rebuiltB.push_back(b[nextB]);
      }
      continue;
    }
    if (line.starts_with("\\"))
      continue;
    char mark = line[0];
    std::string text = line.substr(1);
    if (mark != '+')
      rebuiltA.push_back(text), ++nextA;
    if (mark != '-')
      rebuiltB.push_back(text), ++nextB;
  }
  for (; nextA < a.size(); ++nextA)
    rebuiltA.push_back(a[nextA]);
  for (; nextB < b.size(); ++nextB)
    rebuiltB.push_back(b[nextB]);
  EXPECT_EQ(rebuiltA, a) << diff;
  EXPECT_EQ(rebuiltB, b) << diff;
}

TEST(UnifiedDiff, RebuildsBothSidesOfRandomEdits) {
  std::mt19937 rng(3);
  for (int round = 0; round < 300; ++round) {
    std::string before, after;
    int lines = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < lines; ++i) {
      std::string line = "line " + std::to_string(std::uniform_int_distribution<int>(0, 6)(rng)) + "\n";
      int fate = std::uniform_int_distribution<int>(0, 5)(rng);
      if (fate != 0)
        before += line;
      if (fate != 1)
        after += fate == 2 ? "changed\n" : line;
    }
    expectDiffRebuilds(before, after);
  }
}

TEST(UnifiedDiff, MarksALastLineWithoutLineEnd) {
  EXPECT_EQ(unifiedDiff("a\nb", "a\nc\n", "f"),
            "--- f\n+++ f\n@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n");
  EXPECT_EQ(unifiedDiff("", "x\n", "f"), "--- f\n+++ f\n@@ -0,0 +1,1 @@\n+x\n");
}

} // namespace

} // namespace ostrel
