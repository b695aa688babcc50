// Reading a large check file: parseCheckText on a generated file of 100000
// directives (and of 25000), against a plain read of the same file. Reading must stay
// proportional to the file's size, so the ratio of the two is what to watch.

#include "engine/CheckEngine.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace ostrel {

namespace {

/// A check file that mixes every kind of directive and pattern piece, with
/// some prose between the directives.
std::string generateCheckFile(int directiveCount) {
  std::string text;
  text.reserve(directiveCount * 40);
  text += "CHECK-LABEL: start\n";
  for (int i = 1; i < directiveCount; ++i) {
    std::string n = std::to_string(i);
    switch (i % 8) {
    case 0: text += "CHECK: plain text number " + n + "\n"; break;
    case 1: text += "CHECK-NEXT: value {{[0-9]+}} at " + n + "\n"; break;
    case 2: text += "; a comment line mentioning nothing in particular\nCHECK-NOT: error " + n + "\n"; break;
    case 3: text += "CHECK-DAG: [[V" + n + ":[a-z]+]] = [[V" + n + "]]\n"; break;
    case 4: text += "CHECK-SAME: [[#N" + n + ":]] and [[#N" + std::to_string(i - 4) + "+1]]\n"; break;
    case 5: text += "COM: a commented CHECK: directive\nCHECK{LITERAL}: [[not a block]]\n"; break;
    case 6: text += "  CHECK-COUNT-2:   spaced\t\tout   " + n + "\n"; break;
    case 7: text += "CHECK-EMPTY:\n"; break;
    }
  }
  return text;
}

/// The generated file of `directiveCount` directives, written once per run.
std::string checkFilePath(int directiveCount) {
  std::string name = "/tmp/ostrel_reader_bench_" + std::to_string(getpid()) + "_" +
                     std::to_string(directiveCount) + ".txt";
  if (access(name.c_str(), R_OK) != 0)
    std::ofstream(name, std::ios::binary) << generateCheckFile(directiveCount);
  return name;
}

void BM_PlainRead(benchmark::State &state) {
  const std::string path = checkFilePath(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    FileBufferOrError file = loadFileOrInput(path);
    if (!file) {
      state.SkipWithError("cannot read the check file");
      return;
    }
    // Touch every byte, as any reader must.
    size_t lines = 0;
    for (char c : file.buffer->text())
      lines += c == '\n';
    benchmark::DoNotOptimize(lines);
    bytes = file.buffer->bufferSize();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PlainRead)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ParseCheckText(benchmark::State &state) {
  const std::string path = checkFilePath(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    FileBufferOrError file = loadFileOrInput(path);
    if (!file) {
      state.SkipWithError("cannot read the check file");
      return;
    }
    DiagnosticRecorder reports;
    CheckEngine engine(CheckOptions(), reports);
    CompiledRegex prefixes = engine.buildPrefixMatcher();
    std::string store;
    TextRef text = engine.prepareText(file.buffer->text(), store);
    SourceRegistry registry;
    registry.addBuffer(viewText(text, path));
    if (ErrorValue rejected = engine.parseCheckText(registry, text, prefixes)) {
      dropError(std::move(rejected));
      state.SkipWithError("the generated check file was rejected");
      return;
    }
    benchmark::DoNotOptimize(engine.steps().size());
    bytes = file.buffer->bufferSize();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
// The smaller size shows that the time grows in proportion to the size.
BENCHMARK(BM_ParseCheckText)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

} // namespace ostrel
