// The measurement panels on the real shell and engine: how long Load takes, how many script
// assignments a shown panel keeps up with, and what open panels add to assignments that
// concern other components.

#include <memory>
#include <string>

#include "desktop/bench/PanelBench.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load m = meas.all");
  return r;
}

void load(benchmark::State& state, const char* progId) {
  auto r = rig();
  KvBenchPanelLoad(state, *r, progId, "m");
}

void BM_InputsLoad(benchmark::State& state) { load(state, "KvMeas.Inputs"); }
void BM_OutputsLoad(benchmark::State& state) { load(state, "KvMeas.Outputs"); }

// Assignments to a component whose two panels are shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("m.igui");
  r->main->ShowPanel("m.ogui");
  KvBenchAssign(state, *r, {"m.ck.rise.mid = 0.5", "m.CkPeriod.maxlmt = 1e-8"});
}

// Assignments to a component without panels while range(0) other components show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  KvBenchAssignBesidePanels(state, *r, [](int) { return "meas.ck"; }, "igui", {"m.ck.rise.mid = 0.5"});
}

}  // namespace

BENCHMARK(BM_InputsLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutputsLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
