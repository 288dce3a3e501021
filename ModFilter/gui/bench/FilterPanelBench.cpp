// The filter's panel on the real shell and engine: how long Load takes (with and without
// "More", with a long coefficient list), how many script assignments a shown panel keeps up
// with, and what open panels add to assignments that concern other components.

#include <memory>
#include <string>

#include "desktop/bench/PanelBench.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load f = filter");
  r->exec("f.filtertype = \"IIR\"");
  return r;
}

// Load of a freshly made panel, without a host; range(1) coefficients in the first box.
void BM_Load(benchmark::State& state) {
  auto r = rig();
  r->exec("f.gui.more = " + std::to_string(state.range(0)));
  std::string list;
  for (int64_t i = 0; i < state.range(1); ++i) list += (i ? " " : "") + std::to_string(1.0 / (double(i) + 2));
  r->exec("f.coeffs = \"" + list + "\"");
  KvBenchPanelLoad(state, *r, "KvFilter.Filter", "f");
}

// Assignments to a component whose panel is shown: a field, and a coefficient list with its
// count caption.
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("f.gui");
  KvBenchAssign(state, *r, {"f.gain = 2", "f.gain = 3", "f.y.coeffs = \"1 -0.5\"", "f.y.coeffs = \"1 -0.25\""});
}

// Assignments to a component without a panel while range(0) other filters show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  KvBenchAssignBesidePanels(state, *r, [](int) { return "filter"; }, "gui", {"f.gain = 2"});
}

}  // namespace

BENCHMARK(BM_Load)->Args({0, 3})->Args({1, 3})->Args({1, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
