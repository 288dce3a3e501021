// The measurement panels on the real shell and engine: how long Load takes, how many script
// assignments a shown panel keeps up with, and what open panels add to assignments that
// concern other components.

#include <memory>
#include <string>

#include "desktop/bench/QtBenchMain.h"
#include "desktop/tests/DesktopRig.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load m = meas.all");
  return r;
}

// Load of a freshly made panel, without a host; making and deleting it is not counted.
void load(benchmark::State& state, const char* progId) {
  auto r = rig();
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* w = r->main->Controls().Create(progId, nullptr);
    IKvGui* g = dynamic_cast<IKvGui*>(w);
    IApp* app = r->main->App();
    IKvHost* host = nullptr;
    std::string label = "m";
    state.ResumeTiming();
    g->Load(&app, &host, &label);
    state.PauseTiming();
    g->Unload();
    delete w;
    state.ResumeTiming();
  }
}

void BM_InputsLoad(benchmark::State& state) { load(state, "KvMeas.Inputs"); }
void BM_OutputsLoad(benchmark::State& state) { load(state, "KvMeas.Outputs"); }

// Assignments to a component whose two panels are shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("m.igui");
  r->main->ShowPanel("m.ogui");
  int i = 0;
  for (auto _ : state) r->exec(++i % 2 ? "m.ck.rise.mid = 0.5" : "m.CkPeriod.maxlmt = 1e-8");
  state.SetItemsProcessed(state.iterations());
}

// Assignments to a component without panels while range(0) other components show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  for (int k = 0; k < state.range(0); ++k) {
    const std::string c = "p" + std::to_string(k);
    r->exec("load " + c + " = meas.ck");
    r->main->ShowPanel(c + ".igui");
  }
  for (auto _ : state) r->exec("m.ck.rise.mid = 0.5");
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_InputsLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutputsLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
