// Log lines from a thread other than the user-interface thread, as the engine's worker
// writes them during passes, into the library's log viewer in the real main window: the time
// until every line is shown in the viewer's text.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "desktop/bench/QtBenchMain.h"
#include "KvDll/GlobalData.h"
#include "KvDll/WndMsg.h"
#include "desktop/LogView.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"

namespace {

void LogLinesFromAWorker(benchmark::State& state) {
  QTemporaryDir config;
  setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
  frmMainOptions o;
  o.lib = KV_TEST_LIB_DIR;
  o.ctl = KV_RIG_CTL_DIR;
  frmMain w(o);
  if (!w.Load() || !w.Log()) {
    state.SkipWithError("no engine or no log viewer");
    return;
  }
  const long n = state.range(0);
  long shown = 0;
  for (auto _ : state) {
    state.PauseTiming();
    SendMessage(CLog::Window(), KV_TXT_CLEAR, 0, 0);
    std::atomic<bool> done{false};
    state.ResumeTiming();
    std::thread worker([&] {
      CGlobalData* g = KvGlobal();
      for (long i = 0; i < n; ++i) g->log.Add("Edges ck.in: 12345 edges found, 0 rejected", LogWarn);
      done.store(true);
    });
    // The user-interface thread serves the worker's lines until it is through, then shows
    // what is still waiting to be drawn.
    while (!done.load()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    worker.join();
    QCoreApplication::processEvents();
    KvQtFlushText();
    state.PauseTiming();
    const std::string text = w.Log()->Text();
    shown = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
    state.ResumeTiming();
  }
  if (shown != n) state.SkipWithError("lines lost");
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
  w.close();
}
BENCHMARK(LogLinesFromAWorker)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

KV_QT_BENCH_MAIN()
