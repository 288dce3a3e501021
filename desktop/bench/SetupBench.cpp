// Saving and opening the setup of a hundred measurement components with both their panels
// shown: the save is the whole routine (network, settings listing, placement, the file
// replaced), the open is a close and an open of that file until every panel window is back.
// Both run through the real Qt event loop, so the time is wall-clock time.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <string>

#include "KvDll/GlobalData.h"
#include "desktop/Dialogs.h"
#include "desktop/bench/QtBenchMain.h"
#include "desktop/frmHost.h"
#include "desktop/frmMain.h"

namespace {

constexpr long kComponents = 100;
constexpr size_t kPanels = 2 * kComponents;

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A main window on the real engine with kComponents "Meas" components, each showing its
// inputs panel (a control of the test control folder) and its outputs panel (a placeholder).
class Workbench {
 public:
  Workbench() {
    setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
    CDialogs::Get().SetMode(CDialogs::Mode::scripted);
    frmMainOptions o;
    o.lib = KV_TEST_LIB_DIR;
    o.ctl = KV_TEST_CTL_DIR;
    main = std::make_unique<frmMain>(o);
    if (!main->Load()) return;
    if (getenv("KV_BENCH_QUIET")) KvGlobal()->minSeverity = 7;
    main->App()->get_WrkSpc(wrkspc.put());
    for (long i = 0; i < kComponents; ++i) {
      const std::string m = "m" + std::to_string(i);
      if (exec("load " + m + " = Meas") != 0) return;
      exec("show(" + m + ".igui)");
      exec("show(" + m + ".ogui)");
    }
    file = files.filePath("bench.kvs").toStdString();
    ready = waitForPanels();
  }
  ~Workbench() {
    wrkspc.reset();  // the engine goes with the window: nothing of it may be held then
    if (main) main->close();
  }

  long exec(const std::string& line) {
    std::string answer;
    long r = -1;
    main->App()->Execute(line, &answer, &r);
    return r;
  }
  // The module panels the panel windows hold.
  size_t panels() const {
    size_t n = 0;
    for (const frmHost* h : main->Shell().hosts)
      for (const cCtrl* c : h->Ctrls()) n += c->bInternal ? 0 : 1;
    return n;
  }
  bool waitForPanels() {
    main->WaitWhile([this] { return panels() < kPanels; }, 60);
    return panels() == kPanels;
  }

  QTemporaryDir config, files;
  std::unique_ptr<frmMain> main;
  KvPtr<IWrkSpc> wrkspc;
  std::string file;
  bool ready = false;
};

void BM_SaveSetup(benchmark::State& state) {
  Workbench b;
  if (!b.ready) return state.SkipWithError("the workbench did not come up");
  long r = -1;
  for (auto _ : state) {
    b.wrkspc->SaveAs(b.file, &r);
    if (r != 0) return state.SkipWithError("the save failed");
  }
  // What the file holds: every panel window must come back from it.
  QFile saved(QString::fromStdString(b.file));
  if (!saved.open(QIODevice::ReadOnly)) return state.SkipWithError("no file");
  const QByteArray text = saved.readAll();
  state.counters["bytes"] = static_cast<double>(text.size());
  state.counters["show_lines"] = static_cast<double>(text.count("\nshow("));
}
BENCHMARK(BM_SaveSetup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_OpenSetup(benchmark::State& state) {
  Workbench b;
  if (!b.ready) return state.SkipWithError("the workbench did not come up");
  long r = -1;
  b.wrkspc->SaveAs(b.file, &r);
  if (r != 0) return state.SkipWithError("the save failed");
  double closing = 0, opening = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    b.wrkspc->Close(&r);
    closing += since(start);
    const auto opened = std::chrono::steady_clock::now();
    b.wrkspc->Open(b.file, &r);
    if (r != 0 || !b.waitForPanels()) return state.SkipWithError("the setup did not come back whole");
    opening += since(opened);
    state.SetIterationTime(since(start));
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["close_ms"] = 1000 * closing / n;
  state.counters["open_ms"] = 1000 * opening / n;
  state.counters["windows"] = static_cast<double>(b.main->Shell().hosts.size());
}
BENCHMARK(BM_OpenSetup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

KV_QT_BENCH_MAIN()
