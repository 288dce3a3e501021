// Rebuilding the module list and the connection list on a network of 500 test components,
// each linked to the one before, as "&Refresh" does it in the real shell.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <memory>

#include "desktop/bench/QtBenchMain.h"
#include "KvCtlLib/Popup.h"
#include "KvDll/GlobalData.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"

namespace {

struct Shell {
  QTemporaryDir config;
  std::unique_ptr<frmMain> w;

  explicit Shell(long components) {
    setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
    frmMainOptions o;
    o.lib = KV_TEST_LIB_DIR;
    o.ctl = KV_RIG_CTL_DIR;
    w = std::make_unique<frmMain>(o);
    if (!w->Load()) {
      w.reset();
      return;
    }
    KvGlobal()->minSeverity = 7;
    for (long i = 0; i < components; ++i) {
      exec("load c" + std::to_string(i) + " = test.pass");
      if (i > 0) exec("c" + std::to_string(i) + ".in = c" + std::to_string(i - 1) + ".out");
    }
  }
  ~Shell() {
    if (w) w->close();
  }
  void exec(const std::string& line) {
    std::string answer;
    long r = 0;
    w->App()->Execute(line, &answer, &r);
  }
  // The list of a tool window opened from the View menu, and its pop-up menu.
  QWidget* open(const char* tab, const char* progId) {
    w->ShowToolWindow(tab, progId);
    return w->ToolControl(tab);
  }
};

void Rebuild(benchmark::State& state, const char* tab, const char* progId, const char* listName) {
  Shell s(state.range(0));
  QWidget* tool = s.w ? s.open(tab, progId) : nullptr;
  auto* list = tool ? tool->findChild<QTreeWidget*>(listName) : nullptr;
  auto* refresh = tool ? tool->findChild<Popup*>() : nullptr;
  if (!list || !refresh) {
    state.SkipWithError("no tool window");
    return;
  }
  for (auto _ : state) {
    refresh->Choose(0);
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = list->topLevelItemCount();
}

void ModViewerRebuild(benchmark::State& state) { Rebuild(state, "Modules", "KvPlugins.ModViewer", "lstModules"); }
void ConnViewerRebuild(benchmark::State& state) { Rebuild(state, "ConnLst", "KvPlugins.ConnViewer", "lstConnections"); }
BENCHMARK(ModViewerRebuild)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ConnViewerRebuild)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

KV_QT_BENCH_MAIN()
