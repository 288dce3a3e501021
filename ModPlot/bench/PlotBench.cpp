// What a pass of the plot component costs: drawing 10 M samples (16-bit and double) into a
// 1920 x 1080 frame, copying such a record at its input step, and handing a frame to a display
// on another thread. Run: build/bin/PlotBench --benchmark_repetitions=5
// --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "KvDll/WndMsg.h"
#include "ModPlot/Plot.h"
#include "ModPlot/PlotFrame.h"

namespace {

constexpr long kSamples = 10'000'000;
constexpr int kWidth = 1920, kHeight = 1080;

struct Bench {
  CGlobalData g;
  KvCreateBlock block{"p", &g, nullptr, ""};
  CPlot plot{block, 4};
  CBfr b;

  explicit Bench(enumBfrType t) {
    b.SetBfrType(t);
    b.SetSize(kSamples);
    for (long i = 0; i < kSamples; ++i) {
      const double v = std::sin(i * 1e-4) * 10000 + (i % 977) - 488;
      if (t == bfrI2)
        static_cast<int16_t*>(b.data)[i] = static_cast<int16_t>(v);
      else
        static_cast<double*>(b.data)[i] = v;
    }
    b.count = static_cast<int32_t>(kSamples);
    b.interval = 1e-7;
    VPARAM v;
    v.value.p = &b;
    plot.Settings(parWrite, "in.ch1", v);
    step();
  }
  void step() {
    ++b.tag;
    plot.ActMsg("#acq.start");
    plot.ActMsg("in.ch1");
    plot.ActMsg("#acq.end");
  }
};

void render(benchmark::State& state, enumBfrType t) {
  Bench bench(t);
  QImage img;
  for (auto _ : state) {
    if (!bench.plot.Render(img, kWidth, kHeight)) state.SkipWithError("nothing drawn");
    benchmark::DoNotOptimize(img.constBits());
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

void copy(benchmark::State& state, enumBfrType t) {
  Bench bench(t);
  for (auto _ : state) bench.step();
  state.SetBytesProcessed(state.iterations() * kSamples * (t == bfrI2 ? 2 : 8));
}

void BM_Render16(benchmark::State& s) { render(s, bfrI2); }
void BM_RenderDouble(benchmark::State& s) { render(s, bfrR8); }
void BM_CopyPerPass16(benchmark::State& s) { copy(s, bfrI2); }
void BM_CopyPerPassDouble(benchmark::State& s) { copy(s, bfrR8); }

// A display window on its own thread, pumping, that keeps each frame as the real one does.
void BM_FrameHandOver(benchmark::State& state) {
  std::atomic<KvWnd> wnd{0};
  std::atomic<bool> done{false};
  std::thread owner([&] {
    static QImage kept;
    wnd = CreateWindow([](KvWnd, unsigned msg, intptr_t, intptr_t lp) -> long {
      if (msg == KV_PLOT_WM_IDENTIFY) return static_cast<long>(KV_PLOT_DISPLAY_MAGIC);
      if (msg != KV_PLOT_WM_FRAME) return 0;
      kept = *reinterpret_cast<const QImage*>(lp);
      return 1;
    });
    while (!done) {
      WaitMessage(5);
      PumpMessages();
    }
    DestroyWindow(wnd);
  });
  while (!wnd) std::this_thread::yield();
  QImage frame(kWidth, kHeight, QImage::Format_RGB32);
  frame.fill(Qt::black);
  intptr_t serial = 0;
  for (auto _ : state) {
    if (SendMessage(wnd, KV_PLOT_WM_FRAME, ++serial, reinterpret_cast<intptr_t>(&frame)) != 1) state.SkipWithError("refused");
  }
  done = true;
  owner.join();
}

}  // namespace

BENCHMARK(BM_Render16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPerPass16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPerPassDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameHandOver)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  // Text needs a QGuiApplication; no display is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
