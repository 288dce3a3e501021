// The text-file panels on the real shell and engine: how long Load takes, how many script
// assignments a shown panel keeps up with, and what open panels add to assignments that
// concern other components.

#include <memory>
#include <string>

#include "desktop/bench/PanelBench.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load r = textio.reader");
  r->exec("load w = textio.writer");
  return r;
}

void load(benchmark::State& state, const char* progId, const char* label) {
  auto r = rig();
  KvBenchPanelLoad(state, *r, progId, label);
}

void BM_ImportLoad(benchmark::State& state) { load(state, "KvText.Import", "r"); }
void BM_ExportLoad(benchmark::State& state) { load(state, "KvText.Export", "w"); }

// Assignments to components whose panels are shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("r.gui");
  r->main->ShowPanel("w.gui");
  KvBenchAssign(state, *r, {"r.xincr = 0.5", "w.sep.col = \";\""});
}

// Assignments to a component without a panel while range(0) other readers show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  KvBenchAssignBesidePanels(state, *r, [](int) { return "textio.reader"; }, "gui", {"r.xincr = 0.5"});
}

}  // namespace

BENCHMARK(BM_ImportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
