// The text-file panels on the real shell and engine: how long Load takes, how many script
// assignments a shown panel keeps up with, and what open panels add to assignments that
// concern other components.

#include <memory>
#include <string>

#include "desktop/bench/QtBenchMain.h"
#include "desktop/tests/DesktopRig.h"

namespace {

std::unique_ptr<DesktopRig> rig() {
  auto r = std::make_unique<DesktopRig>();
  r->exec("load r = textio.reader");
  r->exec("load w = textio.writer");
  return r;
}

// Load of a freshly made panel, without a host; making and deleting it is not counted.
void load(benchmark::State& state, const char* progId, const char* label) {
  auto r = rig();
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* w = r->main->Controls().Create(progId, nullptr);
    IKvGui* g = dynamic_cast<IKvGui*>(w);
    IApp* app = r->main->App();
    IKvHost* host = nullptr;
    std::string l = label;
    state.ResumeTiming();
    g->Load(&app, &host, &l);
    state.PauseTiming();
    g->Unload();
    delete w;
    state.ResumeTiming();
  }
}

void BM_ImportLoad(benchmark::State& state) { load(state, "KvText.Import", "r"); }
void BM_ExportLoad(benchmark::State& state) { load(state, "KvText.Export", "w"); }

// Assignments to components whose panels are shown (each refreshes a field).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("r.gui");
  r->main->ShowPanel("w.gui");
  int i = 0;
  for (auto _ : state) r->exec(++i % 2 ? "r.xincr = 0.5" : "w.sep.col = \";\"");
  state.SetItemsProcessed(state.iterations());
}

// Assignments to a component without a panel while range(0) other readers show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  for (int k = 0; k < state.range(0); ++k) {
    const std::string c = "p" + std::to_string(k);
    r->exec("load " + c + " = textio.reader");
    r->main->ShowPanel(c + ".gui");
  }
  for (auto _ : state) r->exec("r.xincr = 0.5");
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ImportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
