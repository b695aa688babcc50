// Compile plus search with CompiledRegex against the C library's
// regcomp/regexec, on check-file style expressions over 1 MB of text lines.
// Each expression matches only on the last line (or nowhere), so every run
// scans the whole subject, as a check that searches a large range does.
//
// Then the guards, each a ratio of two times measured in the same run (the
// program exits non-zero when one is missed):
// - Growth/...: the same work at two sizes ten times apart (long
//   expressions, long subjects split into groups, many failed starts before
//   the leftmost one) must grow like the size, not like its square.
// - Repeated/...: counting every match by searching again from the end of
//   the last one, as CHECK-COUNT does, against one pass of a plain text
//   search over the same listing (the floor; `grep -E -c` takes about twice
//   that): a search must cost its scan, not a set-up, which once made it
//   fifty times the floor.

#include "bench/BenchGuard.h"
#include "support/regex/CompiledRegex.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex.h>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace ostrel {

namespace {

const std::string &subject() {
  static const std::string text = [] {
    static const char *const words[] = {"alpha", "bravo", "charlie", "delta", "echo",
                                        "foxtrot", "golf", "hotel", "india", "juliet"};
    std::string out;
    unsigned state = 12345;
    for (unsigned line = 0; out.size() < (1u << 20); ++line) {
      out += "line " + std::to_string(line) + ": ";
      for (int w = 0; w < 6; ++w) {
        state = state * 1103515245u + 12345u;
        out += words[(state >> 16) % 10];
        out += ' ';
      }
      out += "value = " + std::to_string(state % 100000) + " ok\n";
    }
    out += "final: result 4242 QXZW917 panic begin of the end finish and some more words\n";
    return out;
  }();
  return text;
}

struct Expression {
  const char *name;
  const char *pattern;
  bool matches;
};

const Expression expressions[] = {
    {"LiteralWithNumber", "result [0-9]+ QXZW", true},
    {"ClassRun", "[A-Z]{4}[0-9]{3}", true},
    {"WordAlternation", "panic|abort|fatal|crash", true},
    {"AbsentRequiredLiteral", "value = [0-9]+ is never present", false},
    {"DotStarBetweenLiterals", "begin.*finish", true},
    // A whole check line: more than 64 instructions.
    {"LongLine", "[a-z]+: result [0-9]+ QXZW917 panic begin of the end finish and some more words",
     true},
};

void ownEngine(benchmark::State &state, const Expression &expression) {
  const std::string &text = subject();
  std::vector<TextRef> groups;
  for (auto _ : state) {
    CompiledRegex regex(expression.pattern, CompiledRegex::newlineSensitive);
    bool found = regex.search(text, &groups);
    if (found != expression.matches)
      state.SkipWithError("unexpected result");
    benchmark::DoNotOptimize(groups.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void libcEngine(benchmark::State &state, const Expression &expression) {
  const std::string &text = subject();
  regmatch_t slots[4];
  for (auto _ : state) {
    regex_t regex;
    if (regcomp(&regex, expression.pattern, REG_EXTENDED | REG_NEWLINE) != 0) {
      state.SkipWithError("regcomp failed");
      break;
    }
    bool found = regexec(&regex, text.c_str(), 1, slots, 0) == 0;
    regfree(&regex);
    if (found != expression.matches)
      state.SkipWithError("unexpected result");
    benchmark::DoNotOptimize(slots);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

/// Searches `subject` with groups, expecting a match.
void searchGroups(benchmark::State &state, const CompiledRegex &regex, TextRef subject) {
  std::vector<TextRef> groups;
  if (!regex.search(subject, &groups))
    state.SkipWithError("no match");
  benchmark::DoNotOptimize(groups.data());
}

/// One expression of `pieces` copies of `piece` (the last without its
/// trailing "|"), in a group as a check pattern puts it, compiled and
/// searched on a one-byte subject.
void compileLong(benchmark::State &state, const std::string &piece, size_t pieces) {
  std::string expression = "(";
  for (size_t i = 0; i < pieces; ++i)
    expression += piece;
  if (expression.back() == '|')
    expression.pop_back();
  expression += ")";
  CompiledRegex regex(expression, CompiledRegex::newlineSensitive);
  searchGroups(state, regex, TextRef("a"));
}

/// `size` bytes "a" with `edge` put first (or last): built once per size,
/// outside the timed work.
TextRef runOfA(size_t size, char edge, bool edgeFirst) {
  static std::map<std::tuple<size_t, char, bool>, std::string> made;
  std::string &text = made[{size, edge, edgeFirst}];
  if (text.empty()) {
    text.assign(size + 1, 'a');
    text[edgeFirst ? 0 : size] = edge;
  }
  return text;
}

struct GrowthCase {
  const char *name;
  std::function<void(benchmark::State &, size_t)> work;
  size_t smallSize;
};

// Linear work at ten times the size: ten times the time, and up to about
// half more where the larger size no longer fits the processor's caches (a
// program of 320000 pieces takes 13 MB). A step whose cost grew with the
// square of the size would show as a hundredfold.
constexpr double growthLimit = 18;

const GrowthCase growthCases[] = {
    {"LongStarExpression",
     [](benchmark::State &state, size_t size) { compileLong(state, "a*", size); }, 32000},
    {"LongAlternation",
     [](benchmark::State &state, size_t size) { compileLong(state, "a|", size); }, 32000},
    {"GroupSplitAnyEnd",
     [](benchmark::State &state, size_t size) {
       static const CompiledRegex regex("(.*)x(.*)", CompiledRegex::newlineSensitive);
       searchGroups(state, regex, runOfA(size, 'x', true));
     },
     100000},
    {"GroupSplitLoop",
     [](benchmark::State &state, size_t size) {
       static const CompiledRegex regex("(a|x)*x([ab]*)");
       searchGroups(state, regex, runOfA(size, 'x', true));
     },
     100000},
    {"LeftmostAfterFailedStarts",
     [](benchmark::State &state, size_t size) {
       static const CompiledRegex regex("[ab]*c|(b)");
       searchGroups(state, regex, runOfA(size, 'b', false));
     },
     100000},
};

/// A compiler listing of 5000 functions of twenty lines.
const std::string &listing() {
  static const std::string text = [] {
    static const char *const operations[] = {"add", "sub", "mul", "xor",
                                             "and", "or",  "shl", "lshr"};
    std::string out;
    for (int function = 0; function < 5000; ++function) {
      out += "define i32 @func_" + std::to_string(function) + "(i32 %a, i32 %b) #" +
             std::to_string(function % 7) + " {\n";
      for (int value = 0; value < 17; ++value) {
        out += "  %v" + std::to_string(value) + " = " + operations[(function * 3 + value * 5) % 8] +
               " i32 " + (value == 0 ? std::string("%a") : "%v" + std::to_string(value - 1)) +
               ", " + std::to_string((function + value * 7) % 100) + "    ; line " +
               std::to_string(value + 2) + "\n";
      }
      out += "  ret i32 %v16\n}\n";
    }
    return out;
  }();
  return text;
}

/// Counts the matches of `regex` in the listing, each search starting where
/// the last match ended.
size_t countMatches(const CompiledRegex &regex) {
  TextRef rest = listing();
  size_t count = 0;
  TextRef match;
  while (regex.searchWhole(rest, match)) {
    ++count;
    rest = rest.substr(size_t(match.data() - rest.data()) + std::max<size_t>(match.size(), 1));
  }
  return count;
}

/// Counts the lines holding `text`, as `grep -c` would.
size_t countLines(std::string_view text) {
  std::string_view rest = listing();
  size_t count = 0;
  for (size_t found; (found = rest.find(text)) != std::string_view::npos;) {
    ++count;
    size_t lineEnd = rest.find('\n', found);
    rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1);
  }
  return count;
}

struct RepeatedCase {
  const char *name;
  const char *expression;
  const char *fixedText; // a literal every matching line holds: the reference scan
};

const RepeatedCase repeatedCases[] = {
    {"OperationAlternation", "(add|sub|mul) i32", " i32"},
    {"NameWithClass", "v1[0-6] = ", " = "},
};

int registerAll() {
  for (const Expression &expression : expressions) {
    benchmark::RegisterBenchmark((std::string("Ostrel/") + expression.name).c_str(),
                                 [&expression](benchmark::State &state) { ownEngine(state, expression); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Libc/") + expression.name).c_str(),
                                 [&expression](benchmark::State &state) { libcEngine(state, expression); })
        ->Unit(benchmark::kMillisecond);
  }
  for (const GrowthCase &growth : growthCases) {
    benchmark::RegisterBenchmark(
        (std::string("Growth/") + growth.name).c_str(),
        [&growth](benchmark::State &state) {
          guardRatio(
              state, std::string("Growth/") + growth.name,
              [&] { growth.work(state, growth.smallSize * 10); },
              [&] { growth.work(state, growth.smallSize); }, growthLimit);
        })
        ->Unit(benchmark::kMillisecond);
  }
  for (const RepeatedCase &repeated : repeatedCases) {
    benchmark::RegisterBenchmark(
        (std::string("Repeated/") + repeated.name).c_str(),
        [&repeated](benchmark::State &state) {
          CompiledRegex regex(repeated.expression, CompiledRegex::newlineSensitive);
          size_t matches = 0, lines = 0;
          guardRatio(
              state, std::string("Repeated/") + repeated.name, [&] { matches = countMatches(regex); },
              [&] { lines = countLines(repeated.fixedText); }, 8);
          state.counters["matches"] = double(matches);
          benchmark::DoNotOptimize(lines);
        })
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int registered = registerAll();

} // namespace

} // namespace ostrel

using namespace ostrel;

int main(int argc, char **argv) { return runGuardedBenchmarks(argc, argv); }
