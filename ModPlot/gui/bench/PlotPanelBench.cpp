// The plot panels: how long the hand-over of one 1920 x 1080 frame from a worker thread to the
// display takes (the worker blocks in SendMessage until the display has taken its copy), what
// painting that frame costs, and Load of each panel on the real shell and plot module.

#include <QImage>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "KvDll/Sync.h"
#include "KvDll/Wnd.h"
#include "ModPlot/PlotFrame.h"
#include "ModPlot/gui/PlotDisplay.h"
#include "desktop/bench/PanelBench.h"

namespace {

// Each iteration: the worker sends one frame and times its SendMessage; the user-interface
// thread works off its queue meanwhile, as the shell's event loop does.
void BM_FrameHandOver(benchmark::State& state) {
  CPlotDisplay display;
  display.resize(1920, 1080);
  QImage frame(1920, 1080, QImage::Format_RGB32);
  frame.fill(Qt::darkBlue);
  const KvWnd wnd = display.Wnd();
  std::atomic<int> go{0}, done{0};
  KvEvent finished(false);  // auto-reset: one per frame
  std::atomic<double> seconds{0};
  std::atomic<bool> quit{false};
  intptr_t serial = 0;
  std::thread worker([&] {
    int seen = 0;
    while (!quit) {
      if (go.load() == seen) {
        std::this_thread::yield();
        continue;
      }
      seen = go.load();
      // The module draws into its image before each hand-over, so the display's shared copy
      // is let go of first, as in a real pass.
      if (state.range(0)) frame.detach();
      const auto t0 = std::chrono::steady_clock::now();
      SendMessage(wnd, KV_PLOT_WM_FRAME, ++serial, reinterpret_cast<intptr_t>(&frame));
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      done = seen;
      finished.Set();
    }
  });
  int n = 0;
  for (auto _ : state) {
    go = ++n;
    KvWaitable* w[] = {&finished};
    while (done.load() != n) WaitPumping(w, 1, 1000);
    state.SetIterationTime(seconds);
  }
  quit = true;
  worker.join();
  state.counters["frames"] = display.FramesTaken();
}
BENCHMARK(BM_FrameHandOver)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Painting a frame of the display's own size.
void BM_PaintFrame(benchmark::State& state) {
  CPlotDisplay display;
  display.resize(1920, 1080);
  QImage frame(1920, 1080, QImage::Format_RGB32);
  frame.fill(Qt::darkGreen);
  SendMessage(display.Wnd(), KV_PLOT_WM_FRAME, 1, reinterpret_cast<intptr_t>(&frame));
  QImage target(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) display.render(&target);
}
BENCHMARK(BM_PaintFrame)->Unit(benchmark::kMicrosecond);

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load p = plot.8");
  return r;
}

void BM_LoadPlot(benchmark::State& state) {
  auto r = rig();
  KvBenchPanelLoad(state, *r, "KvPlot.Plot", "p");
}
BENCHMARK(BM_LoadPlot)->Unit(benchmark::kMicrosecond);

void BM_LoadSetup(benchmark::State& state) {
  auto r = rig();
  KvBenchPanelLoad(state, *r, "KvPlot.Setup", "p");
}
BENCHMARK(BM_LoadSetup)->Unit(benchmark::kMicrosecond);

// Assignments to the shown plot's active waveform (each refreshes a box of the Setup panel).
void BM_AssignToShownSetup(benchmark::State& state) {
  auto r = rig();
  r->exec("p.ch1.vscale.auto = 0");
  r->main->ShowPanel("p.setup");
  KvBenchAssign(state, *r, {"p.ch1.vscale = 2", "p.ch1.vscale = 0.5"});
}
BENCHMARK(BM_AssignToShownSetup)->Unit(benchmark::kMicrosecond);

}  // namespace

KV_QT_BENCH_MAIN();
