// 10,000,000-sample records through the filter component as a pass computes them: a 33-tap
// FIR, a second-order IIR, and a cascade of four such IIR stages. Items are input samples.
#include <benchmark/benchmark.h>

#include <cmath>

#include "ModFilter/Design.h"
#include "ModFilter/Coeffs.h"
#include "ModFilter/Filter.h"

namespace {

constexpr long kSamples = 10'000'000;

struct Record {
  CGlobalData g;
  KvCreateBlock block{"f", &g, nullptr, ""};
  CFilter f{block};
  CBfr in;
  Record(bool iir, int32_t stages) {
    in.SetBfrType(bfrR8);
    in.SetSize(kSamples);
    double* s = static_cast<double*>(in.data);
    for (long i = 0; i < kSamples; ++i) s[i] = std::sin(i * 1e-3) + 0.1 * std::sin(i * 1.7);
    in.count = in.valid = kSamples;
    in.interval = 1e-6;
    VPARAM v;
    v.value.p = &in;
    f.Settings(parWrite, "in", v);
    const std::string fir = FormatCoeffs(DesignFir({FirResponse::Lowpass, FirWindow::Hamming, 32, 0.1, 0, 0}).taps, " ");
    text("filtertype", iir ? "IIR" : "FIR");
    text("coeffs", iir ? "0.0675 0.135 0.0675" : fir.c_str());  // a lowpass biquad near 0.1 fs
    text("y.coeffs", "1 -1.143 0.4128");
    v.value.i4 = stages;
    f.Settings(parWrite, "stages.count", v);
    v.value.i4 = 1;
    f.Settings(parWrite, "continuous", v);
  }
  void text(const char* name, const char* t) {
    VPARAM v;
    v.value.s = t;
    f.Settings(parWrite, name, v);
  }
};

void run(benchmark::State& state, bool iir, int32_t stages) {
  static Record* r[3] = {};
  Record*& rec = r[iir ? (stages > 1 ? 2 : 1) : 0];
  if (!rec) rec = new Record(iir, stages);
  for (auto _ : state) {
    rec->f.ActMsg("out");
    benchmark::DoNotOptimize(rec->f.out.data);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_Fir33(benchmark::State& s) { run(s, false, 1); }
void BM_Iir2(benchmark::State& s) { run(s, true, 1); }
void BM_Iir2Cascade4(benchmark::State& s) { run(s, true, 4); }

BENCHMARK(BM_Fir33)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iir2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iir2Cascade4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
