// "Run N Times" on a three-component chain, through the real Qt event loop: every pass is
// asked for from the previous pass's end event, as the desktop does it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>

#include "desktop/bench/QtBenchMain.h"
#include "KvDll/GlobalData.h"
#include "desktop/QtWnd.h"
#include "desktop/RunControl.h"
#include "desktop/frmMain.h"

namespace {

void RunNTimes(benchmark::State& state) {
  QTemporaryDir config;
  setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
  frmMainOptions o;
  o.lib = KV_TEST_LIB_DIR;
  frmMain w(o);
  if (!w.Load()) {
    state.SkipWithError("no engine");
    return;
  }
  for (const char* l : {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"}) {
    std::string answer;
    long r = 0;
    w.App()->Execute(l, &answer, &r);
  }
  w.findChild<QComboBox*>("cmbMode")->setCurrentIndex(cControl::runNTimes);
  if (getenv("KV_BENCH_QUIET")) KvGlobal()->minSeverity = 7;
  const long n = state.range(0);
  w.findChild<QLineEdit*>("txtCount")->setText(QString::number(n));
  long passes = 0;
  for (auto _ : state) {
    w.Control()->Run();
    while (w.Control()->Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    passes += w.Control()->Cycles() - 1;  // the last cycle finds the count reached
  }
  state.counters["passes/s"] = benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kIsRate);
  w.close();
}
BENCHMARK(RunNTimes)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// "showall" for N measurement components with two panels each: one made by a control library,
// one missing (so both the hosting and the error path are in it).
void ShowAll(benchmark::State& state) {
  QTemporaryDir config;
  setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
  frmMainOptions o;
  o.lib = KV_TEST_LIB_DIR;
  o.ctl = KV_TEST_CTL_DIR;
  frmMain w(o);
  if (!w.Load()) {
    state.SkipWithError("no engine");
    return;
  }
  const long n = state.range(0);
  auto exec = [&](const std::string& line) {
    std::string answer;
    long r = 0;
    w.App()->Execute(line, &answer, &r);
  };
  for (auto _ : state) {
    state.PauseTiming();
    for (long i = 0; i < n; ++i) exec("load m" + std::to_string(i) + " = meas.ck");
    state.ResumeTiming();
    exec("showall()");
    QCoreApplication::processEvents();
    state.PauseTiming();
    for (long i = 0; i < n; ++i) exec("unload m" + std::to_string(i));
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["windows"] = static_cast<double>(w.Shell().hosts.size());
  w.close();
}
BENCHMARK(ShowAll)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

KV_QT_BENCH_MAIN()
