// The field codec alone: how many password fields are encoded and decoded
// per second, for the longest text a change encodes (a password of 8
// characters, '.', and the level digit).
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "store/field.h"

namespace pwlevel::bench {
namespace {

constexpr std::string_view kLevelText = "pass1234.2";

void BM_EncodePw(benchmark::State& state) {
  for (auto _ : state) {
    std::string field = store::EncodePw(kLevelText);
    benchmark::DoNotOptimize(field.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DecodePw(benchmark::State& state) {
  const std::string field = store::EncodePw(kLevelText);
  for (auto _ : state) {
    std::optional<store::Secret> text = store::DecodePw(field);
    benchmark::DoNotOptimize(text->text().data());
    if (text->view() != kLevelText) {
      state.SkipWithError("DecodePw did not give the text back");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_EncodePw);
BENCHMARK(BM_DecodePw);

}  // namespace
}  // namespace pwlevel::bench

BENCHMARK_MAIN();
