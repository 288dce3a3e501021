// The signal generator's panel on the real shell and engine: how long Load takes (with and
// without "More"), how many script assignments a shown panel keeps up with, and what open
// panels add to assignments that concern other components.

#include <memory>
#include <string>

#include "desktop/bench/PanelBench.h"

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
  KvBenchPanelLoad(state, *r, "KvSigGen.SigGen", "g");
}

// Assignments to a component whose panel is shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("g.gui");
  KvBenchAssign(state, *r, {"g.freq = 2000", "g.pk2pk = 1.5"});
}

// Assignments to a component without a panel while range(0) other generators show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  KvBenchAssignBesidePanels(state, *r, [](int) { return "siggen"; }, "gui", {"g.freq = 2000"});
}

}  // namespace

BENCHMARK(BM_Load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
