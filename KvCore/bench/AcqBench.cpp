// Acquisition passes per second on a three-component chain, with the log window on this
// (the user-interface) thread receiving each pass's lines.
#include <benchmark/benchmark.h>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"

namespace {

struct Chain {
  CEngine engine;
  KvWnd logParent = KvCreateHeadlessParent(400, 300);
  KvEvent idle{true, false}, after{true, false};

  Chain() {
    engine.SetPathLib(CStr(KV_BENCH_LIB_DIR));
    engine.SetLogWindow(logParent);
    engine.onAcqIdle = [this] { idle.Set(); };
    engine.onAfterAcq = [this](long) { after.Set(); };
    CStr answer;
    for (const char* l : {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"})
      engine.Execute(l, answer);
  }
  ~Chain() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void wait(KvEvent& e) {
    KvWaitable* w = &e;
    WaitPumping(&w, 1, KV_INFINITE);
  }
  void clearLog() { SendMessage(CLog::Window(), KV_TXT_CLEAR, 0, 0); }
};

void BM_PassesBackToBack(benchmark::State& state) {
  Chain c;
  const long n = 10000;
  for (auto _ : state) {
    c.idle.Reset();
    c.engine.Acq().run(n);
    c.wait(c.idle);
    c.clearLog();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PassesBackToBack)->Unit(benchmark::kMillisecond)->UseRealTime();

// The way the shell runs: the next pass is requested once the previous AfterAcq has arrived
// on the user-interface thread.
void BM_PassRequestedAfterAfterAcq(benchmark::State& state) {
  Chain c;
  long n = 0;
  for (auto _ : state) {
    c.after.Reset();
    c.engine.Acq().run(1);
    c.wait(c.after);
    if (++n % 1000 == 0) c.clearLog();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PassRequestedAfterAfterAcq)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
