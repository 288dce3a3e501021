#pragma once
// CAcq: the acquisition controller. Passes run on one worker thread; the user-interface
// thread only requests (run N passes, stop, abort, kill) and hears of the passes through
// the event messages sent to the engine's event window: 2025 BeforeAcq, 2026 AfterAcq,
// 2029 AcqAborted (pass number in the second parameter) and 2030 AcqIdle.
//
// A pass: "#acq.start" to every component, the run order step by step, then "#acq.end" (or
// "#acq.abort" when the engine is shutting down). The flags are atomics polled by the
// worker; the busy lock is held by the worker for a whole batch of passes.

#include <atomic>
#include <mutex>
#include <thread>

#include "KvCore/FunOrder.h"
#include "KvCore/Mod.h"
#include "KvDll/GlobalData.h"
#include "KvDll/Sync.h"

enum : unsigned {
  kMsgBeforeAcq = 2025,
  kMsgAfterAcq = 2026,
  kMsgValueChanged = 2027,
  kMsgShowGui = 2028,
  kMsgAcqAborted = 2029,
  kMsgAcqIdle = 2030,
};

class CAcq {
 public:
  CAcq(CGlobalData& g, CModList& comps, CFunOrder& order);
  CAcq(const CAcq&) = delete;
  CAcq& operator=(const CAcq&) = delete;
  // Sets abort and terminate, wakes the worker and waits for it to end, serving this
  // thread's messages meanwhile (the worker may be sending an event to it).
  ~CAcq();

  // Adds count passes (count < 1 changes nothing); the pending count afterwards.
  long run(long count);
  void stop();
  void abort();
  bool isBusy();
  // 1 when the worker did not release the busy lock within ms (it cannot be ended by force
  // here: it stays told to end and is joined when the controller goes), else 0.
  long kill(long ms);
  long runstatus() const;

  bool stopFlag() const { return stopRequested.load(std::memory_order_relaxed) != 0; }
  void clearStop() { stopRequested.store(0, std::memory_order_relaxed); }
  // bAbort = false.
  void clearAbort();
  long pendingCount() const { return pending.load(); }

  // One pass on the calling thread: 0, or -1 when aborted.
  int Pass();
  // A pass in place ("kvs.run(318207)"): a new run, so an abort left from before is cleared
  // first; the network stays locked while it runs.
  int PassInPlace();
  // From a run request until the worker's AcqIdle (or its end), and during a pass in place.
  bool Active() const { return requested.load() || inPlace.load() > 0; }

 private:
  CGlobalData& g;
  CModList& comps;
  CFunOrder& order;
  std::atomic<uint8_t> stopRequested{0};
  std::atomic<uint8_t> request1{0}, request2{0};
  std::atomic<uint8_t> starting{1};
  std::atomic<int32_t> pending{0};
  std::atomic<bool> requested{false};  // passes asked for and not yet worked off
  std::atomic<int> inPlace{0};
  std::mutex requestLock;  // a run request against the worker's end of a batch
  KvEvent runEvent{true, false};
  KvMutex busy;
  KvEvent workerDone{true, false};
  std::thread worker;

  void workerLoop();
  void send(unsigned msg, intptr_t lp);
  void toAll(const char* msg);
};
