// Loading and saving remotes files of growing size, beside reading the same file line by line.
// Run with the log absent, as users mostly run: each message then costs one failed open.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/text_lines.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"

namespace {

std::string benchDirectory() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tunerdll-bench";
  std::filesystem::create_directories(dir);
  return dir.string() + "/";
}

// A file of ten remotes sharing `commands` commands, each with two patterns of eight bytes.
std::string remotesFile(int commands) {
  const std::string path = benchDirectory() + "remotes-" + std::to_string(commands) + ".txt";
  if (std::filesystem::exists(path)) return path;
  std::FILE* file = std::fopen(path.c_str(), "w");
  const int perRemote = commands / 10;
  for (int r = 0; r < 10; ++r) {
    std::fprintf(file, "Remote%d 38000 500\n", r);
    for (int c = 0; c < perRemote; ++c) {
      std::fprintf(file, "Key%d 16 a 20 df 01 02 03 04 05 06\n 16 b 20 df 10 20 30 40 50 60\n", c);
    }
    std::fputs("\n", file);
  }
  std::fclose(file);
  return path;
}

const tuner::DiagnosticLog kAbsentLog{benchDirectory() + "absent/TunerDLL.log"};

void loadRemotes(benchmark::State& state, const tuner::DiagnosticLog& log) {
  const std::string path = remotesFile(static_cast<int>(state.range(0)));
  char devName[256];
  for (auto _ : state) {
    Remote* list = tuner::LoadRemotes(log, path.c_str(), devName, sizeof devName);
    benchmark::DoNotOptimize(list);
    tuner::releaseRemotes(list);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadRemotes(benchmark::State& state) { loadRemotes(state, kAbsentLog); }

// The same without even the failed opens of an absent log: what the messages cost.
void BM_LoadRemotesNoTrace(benchmark::State& state) { loadRemotes(state, tuner::DiagnosticLog{}); }

void BM_SaveRemotes(benchmark::State& state) {
  const std::string path = remotesFile(static_cast<int>(state.range(0)));
  char devName[256];
  Remote* list = tuner::LoadRemotes(tuner::DiagnosticLog{}, path.c_str(), devName, sizeof devName);
  const std::string target = benchDirectory() + "saved.txt";
  for (auto _ : state)
    benchmark::DoNotOptimize(
        tuner::SaveRemotes(kAbsentLog, list, target.c_str(), tuner::platformSaveFiles()));
  tuner::releaseRemotes(list);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The floor: the same file read line by line and nothing built.
void BM_ReadLines(benchmark::State& state) {
  const std::string path = remotesFile(static_cast<int>(state.range(0)));
  std::string line;
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    std::size_t total = 0;
    while (tuner::readWholeLine(file, line)) total += line.size();
    std::fclose(file);
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_LoadRemotes)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRemotesNoTrace)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveRemotes)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLines)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
