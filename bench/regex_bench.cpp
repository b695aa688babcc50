// Compile plus search with CompiledRegex against the C library's
// regcomp/regexec, on check-file style expressions over 1 MB of text lines.
// Each expression matches only on the last line (or nowhere), so every run
// scans the whole subject, as a check that searches a large range does.

#include "support/regex/CompiledRegex.h"

#include <benchmark/benchmark.h>

#include <regex.h>
#include <string>
#include <vector>

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

int registerAll() {
  for (const Expression &expression : expressions) {
    benchmark::RegisterBenchmark((std::string("Ostrel/") + expression.name).c_str(),
                                 [&expression](benchmark::State &state) { ownEngine(state, expression); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Libc/") + expression.name).c_str(),
                                 [&expression](benchmark::State &state) { libcEngine(state, expression); })
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int registered = registerAll();

} // namespace
