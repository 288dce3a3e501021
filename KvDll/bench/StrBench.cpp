// Number conversions as the parser and the panels use them.

#include <benchmark/benchmark.h>

#include "KvDll/Str.h"

namespace {

void BM_Str2Num(benchmark::State& state) {
  const CStr texts[] = {"1.25K", "47.00n", "0.5", "100", "2.5e-3", "0x1F", "3.3M", "-12.75m"};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(texts[i++ & 7].Str2Num());
  state.SetItemsProcessed(state.iterations());
}

void BM_Num2Str6(benchmark::State& state) {
  const double values[] = {1250, 47e-9, 0.5, 100, 2.5e-3, 31, 3.3e6, -12.75e-3};
  CStr s;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(s.Num2Str(values[i++ & 7], 6));
  state.SetItemsProcessed(state.iterations());
}

void BM_CStrDouble(benchmark::State& state) {
  const double values[] = {1250, 47e-9, 0.5, 100, 2.5e-3, 31, 3.3e6, -12.75e-3};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(CStr(values[i++ & 7]));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_Str2Num);
BENCHMARK(BM_Num2Str6);
BENCHMARK(BM_CStrDouble);
BENCHMARK_MAIN();
