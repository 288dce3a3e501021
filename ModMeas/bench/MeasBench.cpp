// Edge scans and clock measurements on 10,000,000-sample records, against a vectorised read
// of the same record as the yardstick (16-bit: a widening integer sum by multiply-adds;
// float64: a vector sum), built for the machine's widest instruction set as the scan's search is.
#include <benchmark/benchmark.h>

#include <immintrin.h>

#include <cmath>
#include <vector>

#include "ModMeas/MeasIn.h"

namespace {

constexpr long kSamples = 10'000'000;

template <class T, int Period = 100>
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
      // A clock of Period samples, with ramps of a tenth of it and a little jitter.
      const double phase = std::fmod(i + 0.3 * std::sin(i * 1e-3), static_cast<double>(Period)) * 100.0 / Period;
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

// Sums in 32-bit lanes over blocks short enough that they cannot overflow. The compiler's
// own widening (a sign extension a half vector) runs at two thirds of the speed the memory
// gives: each pair of samples goes into its lane with one multiply-add by 1 instead.
__attribute__((target("avx512bw"), optimize("O3"))) long long readSum512(const int16_t* s, long n) {
  const __m512i one = _mm512_set1_epi16(1);
  long long total = 0;
  long i = 0;
  for (; i + 64 <= n;) {
    __m512i a = _mm512_setzero_si512(), b = a;
    for (const long e = i + 32768 < n ? i + 32768 : n; i + 64 <= e; i += 64) {
      a = _mm512_add_epi32(a, _mm512_madd_epi16(_mm512_loadu_si512(s + i), one));
      b = _mm512_add_epi32(b, _mm512_madd_epi16(_mm512_loadu_si512(s + i + 32), one));
    }
    alignas(64) int32_t lanes[16];
    _mm512_store_si512(lanes, _mm512_add_epi32(a, b));
    for (int32_t x : lanes) total += x;
  }
  for (; i < n; ++i) total += s[i];
  return total;
}

__attribute__((target("avx2"), optimize("O3"))) long long readSum256(const int16_t* s, long n) {
  const __m256i one = _mm256_set1_epi16(1);
  long long total = 0;
  long i = 0;
  for (; i + 32 <= n;) {
    __m256i a = _mm256_setzero_si256(), b = a;
    for (const long e = i + 32768 < n ? i + 32768 : n; i + 32 <= e; i += 32) {
      a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)), one));
      b = _mm256_add_epi32(b, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 16)), one));
    }
    alignas(32) int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi32(a, b));
    for (int32_t x : lanes) total += x;
  }
  for (; i < n; ++i) total += s[i];
  return total;
}

__attribute__((optimize("O3"))) long long readSum128(const int16_t* s, long n) {
  const __m128i one = _mm_set1_epi16(1);
  long long total = 0;
  long i = 0;
  for (; i + 16 <= n;) {
    __m128i a = _mm_setzero_si128(), b = a;
    for (const long e = i + 32768 < n ? i + 32768 : n; i + 16 <= e; i += 16) {
      a = _mm_add_epi32(a, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), one));
      b = _mm_add_epi32(b, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)), one));
    }
    alignas(16) int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_add_epi32(a, b));
    for (int32_t x : lanes) total += x;
  }
  for (; i < n; ++i) total += s[i];
  return total;
}

// The widest set the scan's search gets too.
long long readSum(const int16_t* s, long n) {
  if (__builtin_cpu_supports("avx512bw")) return readSum512(s, n);
  if (__builtin_cpu_supports("avx2")) return readSum256(s, n);
  return readSum128(s, n);
}

__attribute__((target_clones("arch=skylake-avx512", "avx2", "default"), optimize("O3"))) double readSum(const double* s, long n) {
  double acc[16] = {};
  long i = 0;
  for (; i + 16 <= n; i += 16)
    for (int k = 0; k < 16; ++k) acc[k] += s[i + k];
  double total = 0;
  for (; i < n; ++i) total += s[i];
  for (double a : acc) total += a;
  return total;
}

template <class T>
void BM_ReadSum(benchmark::State& state) {
  static Record<T> r;
  const T* s = static_cast<const T*>(r.in.data);
  for (auto _ : state) benchmark::DoNotOptimize(readSum(s, kSamples));
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

// The scan at the ends of the range of clock periods the goal names.
template <class T, int Period>
void BM_MidScanAt(benchmark::State& state) {
  static Record<T, Period> r;
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
BENCHMARK(BM_MidScanAt<int16_t, 20>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidScanAt<int16_t, 1000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidScanAt<double, 20>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidScanAt<double, 1000>)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
