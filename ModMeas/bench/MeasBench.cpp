// Edge scans and clock measurements on 10,000,000-sample records, against a plain read of the
// same record (a sum with independent accumulators) as the yardstick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "ModMeas/MeasIn.h"

namespace {

constexpr long kSamples = 10'000'000;

template <class T>
struct Record {
  CGlobalData g;
  KvCreateBlock block{"m", &g, nullptr, "ck"};
  CMeasIn m{block};
  CBfr in;
  Record() {
    in.SetBfrType(sizeof(T) == 2 ? bfrI2 : bfrR8);
    in.SetSize(kSamples);
    T* s = static_cast<T*>(in.data);
    const double k = sizeof(T) == 2 ? 1000.0 : 1.0;  // 16-bit: millivolts
    for (long i = 0; i < kSamples; ++i) {
      // A clock of 100 samples a period, with ramps of 10 samples and a little jitter.
      const double phase = std::fmod(i + 0.3 * std::sin(i * 1e-3), 100.0);
      double v = phase < 10 ? -1 + phase / 5 : phase < 50 ? 1 : phase < 60 ? 1 - (phase - 50) / 5 : -1;
      s[i] = static_cast<T>(v * k);
    }
    in.count = in.valid = kSamples;
    in.scale = 1 / k;
    in.tag = 1;
    VPARAM v;
    v.value.p = &in;
    m.Settings(parWrite, "ck.in", v);
  }
};

template <class T>
void BM_ReadSum(benchmark::State& state) {
  static Record<T> r;
  const T* s = static_cast<const T*>(r.in.data);
  for (auto _ : state) {
    double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    for (long i = 0; i + 3 < kSamples; i += 4) a0 += s[i], a1 += s[i + 1], a2 += s[i + 2], a3 += s[i + 3];
    benchmark::DoNotOptimize(a0 + a1 + a2 + a3);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

template <class T>
void BM_MidScan(benchmark::State& state) {
  static Record<T> r;
  for (auto _ : state) {
    ++r.in.tag;
    benchmark::DoNotOptimize(r.m.ck.GetEdges(kEdgeMid));
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

template <class T>
void BM_PeriodTieJcc(benchmark::State& state) {
  static Record<T> r;
  for (auto _ : state) {
    ++r.in.tag;  // a fresh record: the edge list is made again
    for (const char* n : {"CkPeriod", "CkTIE", "CkJCC"}) r.m.Find(n)->Evaluate();
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

BENCHMARK(BM_ReadSum<int16_t>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidScan<int16_t>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodTieJcc<int16_t>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSum<double>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidScan<double>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodTieJcc<double>)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
