// Log lines from a worker into the log window on the user-interface thread: the path every
// progress and error line of an acquisition takes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"

namespace {

// A user-interface thread owning the log's parent (no console echo), pumping until stopped.
class UiThread {
 public:
  UiThread() {
    thread_ = std::thread([this] {
      parent_ = KvCreateHeadlessParent(640, 480);
      CLog::Init(parent_, 0);
      ready_.Set();
      while (!stop_.load(std::memory_order_relaxed)) {
        WaitMessage(100);
        PumpMessages();
      }
      CLog::End();
      KvDestroyHeadlessParent(parent_);
    });
    ready_.Wait();
  }
  ~UiThread() {
    stop_.store(true, std::memory_order_relaxed);
    PostMessage(parent_, 0, 0, 0);
    thread_.join();
  }
  // Empties the window now and then so the benchmark measures lines, not a growing copy.
  void Clear() { SendMessage(CLog::Window(), KV_TXT_CLEAR, 0, 0); }

 private:
  KvEvent ready_;
  std::atomic<bool> stop_{false};
  KvWnd parent_ = 0;
  std::thread thread_;
};

void BM_LogAddFromWorker(benchmark::State& state) {
  CGlobalData g;
  UiThread ui;
  CStr line("Edges ck.in: 12345 edges found, 0 rejected");
  long n = 0;
  for (auto _ : state) {
    g.log.Add(line, LogErr);
    if (++n % 10000 == 0) ui.Clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogAddFromWorker)->UseRealTime();

void BM_LogAddFiltered(benchmark::State& state) {
  CGlobalData g;
  CStr line("a debug line nobody sees");
  for (auto _ : state) g.log.Add(line, LogDebug);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogAddFiltered);

}  // namespace

BENCHMARK_MAIN();
