// The signal generator's panel on the real shell and engine: how long Load takes (with and
// without "More"), how many script assignments a shown panel keeps up with, and what open
// panels add to assignments that concern other components.

#include <memory>
#include <string>

#include "desktop/bench/QtBenchMain.h"
#include "desktop/tests/DesktopRig.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load g = siggen");
  return r;
}

// Load of a freshly made panel, without a host; making and deleting it is not counted.
void BM_Load(benchmark::State& state) {
  auto r = rig();
  r->exec("g.gui.more = " + std::to_string(state.range(0)));
  r->exec("g.type = \"noise\"");  // the waveform that asks for the most lists
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* w = r->main->Controls().Create("KvSigGen.SigGen", nullptr);
    IKvGui* g = dynamic_cast<IKvGui*>(w);
    IApp* app = r->main->App();
    IKvHost* host = nullptr;
    std::string label = "g";
    state.ResumeTiming();
    g->Load(&app, &host, &label);
    state.PauseTiming();
    g->Unload();
    delete w;
    state.ResumeTiming();
  }
}

// Assignments to a component whose panel is shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("g.gui");
  int i = 0;
  for (auto _ : state) r->exec(++i % 2 ? "g.freq = 2000" : "g.pk2pk = 1.5");
  state.SetItemsProcessed(state.iterations());
}

// Assignments to a component without a panel while range(0) other generators show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  for (int k = 0; k < state.range(0); ++k) {
    const std::string c = "p" + std::to_string(k);
    r->exec("load " + c + " = siggen");
    r->main->ShowPanel(c + ".gui");
  }
  for (auto _ : state) r->exec("g.freq = 2000");
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_Load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
