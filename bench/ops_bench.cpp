// VerifyPw and ChangePw against the bare file work they stand on, on the
// same password file in the same run, for files with 0, 100, 1,000 and
// 10,000 lines before the record line.
//
// The library is the installed kind: the shared library, called through its
// two exported functions as a host calls them. Each run of a benchmark
// writes the password file afresh for its size; the library and its
// baseline then work on that one file, named by PASSWD.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "baseline.h"
#include "heap_counter.h"
#include "pwlevel.h"
#include "scratch.h"

namespace pwlevel::bench {
namespace {

// Reports how much the calls took from the heap: allocations per call, and
// the bytes held after the loop that were not held before it.
class HeapWatch {
 public:
  HeapWatch() : before_(Heap()) {}
  void Report(benchmark::State& state) const {
    const HeapFigures after = Heap();
    const double calls = static_cast<double>(state.iterations());
    state.counters["allocs_per_call"] =
        static_cast<double>(after.allocations - before_.allocations) / calls;
    state.counters["heap_growth_bytes"] =
        static_cast<double>(after.live_bytes) -
        static_cast<double>(before_.live_bytes);
  }

 private:
  HeapFigures before_;
};

int Lines(const benchmark::State& state) {
  return static_cast<int>(state.range(0));
}

void BM_VerifyPw(benchmark::State& state) {
  const PwPaths paths = PasswdPaths();
  WritePwFile(paths.file, Lines(state));
  const HeapWatch heap;
  for (auto _ : state) {
    // A password that opens no level: all four fields are decoded.
    char password[] = "wrongpw";
    const int level = VerifyPw(password);
    benchmark::DoNotOptimize(level);
    if (level != PWLEVEL_NO_LEVEL) {
      state.SkipWithError("VerifyPw gave a level to a wrong password");
      break;
    }
  }
  heap.Report(state);
}

void BM_VerifyBaseline(benchmark::State& state) {
  const PwPaths paths = PasswdPaths();
  WritePwFile(paths.file, Lines(state));
  for (auto _ : state) {
    const bool found = BaselineVerify(paths.file.c_str());
    benchmark::DoNotOptimize(found);
    if (!found) {
      state.SkipWithError("the baseline found no record line");
      break;
    }
  }
}

void BM_VerifyBaselineLocked(benchmark::State& state) {
  const PwPaths paths = PasswdPaths();
  WritePwFile(paths.file, Lines(state));
  for (auto _ : state) {
    const bool found = BaselineVerifyLocked(paths.file.c_str());
    benchmark::DoNotOptimize(found);
    if (!found) {
      state.SkipWithError("the baseline found no record line");
      break;
    }
  }
}

void BM_ChangePw(benchmark::State& state) {
  const PwPaths paths = PasswdPaths();
  WritePwFile(paths.file, Lines(state));
  const HeapWatch heap;
  for (auto _ : state) {
    char password[] = "n3wpass";
    const int result = ChangePw(2, password);
    benchmark::DoNotOptimize(result);
    if (result != PWLEVEL_CHANGED) {
      state.SkipWithError("ChangePw failed");
      break;
    }
  }
  heap.Report(state);
}

void BM_ChangeBaseline(benchmark::State& state) {
  const PwPaths paths = PasswdPaths();
  WritePwFile(paths.file, Lines(state));
  for (auto _ : state) {
    const bool changed = BaselineChange(paths);
    benchmark::DoNotOptimize(changed);
    if (!changed) {
      state.SkipWithError("the baseline change failed");
      break;
    }
  }
  // The library would delete a backup left beside the file; none stays.
  std::error_code ignored;
  std::filesystem::remove(paths.backup, ignored);
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("lines");
  for (const int lines : {0, 100, 1000, 10000}) {
    benchmark->Arg(lines);
  }
  benchmark->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_VerifyPw)->Apply(Sizes);
BENCHMARK(BM_VerifyBaseline)->Apply(Sizes);
BENCHMARK(BM_VerifyBaselineLocked)->Apply(Sizes);
BENCHMARK(BM_ChangePw)->Apply(Sizes);
BENCHMARK(BM_ChangeBaseline)->Apply(Sizes);

int RunBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace
}  // namespace pwlevel::bench

int main(int argc, char** argv) {
  return pwlevel::bench::RunWithScratchPasswd(argc, argv,
                                              pwlevel::bench::RunBenchmarks);
}
