// Message throughput between two threads: the path every engine event and every log line
// from a worker takes to the user-interface thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "KvDll/Wnd.h"

namespace {

long countProc(KvWnd, unsigned, intptr_t wp, intptr_t) { return static_cast<long>(wp) + 1; }

// A thread owning one window, pumping until stopped, as the user-interface thread does.
class PumpingThread {
 public:
  PumpingThread() {
    thread_ = std::thread([this] {
      wnd_ = CreateWindow(countProc);
      ready_.Set();
      while (!stop_.load(std::memory_order_relaxed)) {
        WaitMessage(100);
        PumpMessages();
      }
    });
    ready_.Wait();
  }
  ~PumpingThread() {
    stop_.store(true, std::memory_order_relaxed);
    PostMessage(wnd_, 0, 0, 0);  // wakes the pump
    thread_.join();
  }
  KvWnd wnd() const { return wnd_; }

 private:
  KvEvent ready_;
  std::atomic<bool> stop_{false};
  KvWnd wnd_ = 0;
  std::thread thread_;
};

void BM_CrossThreadSendRoundTrip(benchmark::State& state) {
  PumpingThread owner;
  intptr_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SendMessage(owner.wnd(), 1, i++, 0));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CrossThreadSendRoundTrip)->UseRealTime();

void BM_CrossThreadPost(benchmark::State& state) {
  PumpingThread owner;
  constexpr int kBatch = 1000;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) PostMessage(owner.wnd(), 1, i, 0);
    SendMessage(owner.wnd(), 2, 0, 0);  // answered after every post before it
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_CrossThreadPost)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
