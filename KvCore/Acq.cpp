#include "KvCore/Acq.h"

#include "KvDll/Wnd.h"

CAcq::CAcq(CGlobalData& g, CModList& comps, CFunOrder& order) : g(g), comps(comps), order(order) {
  g.terminate.store(0, std::memory_order_relaxed);
  worker = std::thread([this] { workerLoop(); });
}

CAcq::~CAcq() {
  g.abort.store(1, std::memory_order_relaxed);
  g.terminate.store(1, std::memory_order_relaxed);
  runEvent.Set();
  if (worker.joinable()) {
    KvWaitable* w = &workerDone;
    WaitPumping(&w, 1, KV_INFINITE);
    worker.join();
  }
}

void CAcq::send(unsigned msg, intptr_t lp) { SendMessage(g.eventWnd, msg, 0, lp); }

void CAcq::toAll(const char* msg) {
  for (int c = 0; c < comps.Count(); ++c) comps.ActMsg(c, msg);
}

long CAcq::run(long count) {
  if (count < 1) return pending.load();
  stopRequested.store(0, std::memory_order_relaxed);
  request1.store(0, std::memory_order_relaxed);
  request2.store(0, std::memory_order_relaxed);
  g.stopEvent.Reset();
  int32_t p = pending.load();
  while (p < 0 && !pending.compare_exchange_weak(p, 0)) {
  }
  const int32_t added = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
  std::lock_guard lk(requestLock);
  const long now = pending.fetch_add(added) + added;
  // A worker that has ended will never say it is idle.
  if (!workerDone.IsSet()) requested.store(true);
  runEvent.Set();
  return now;
}

void CAcq::stop() {
  pending.store(0);
  stopRequested.store(1, std::memory_order_relaxed);
  KvSleep(1);
}

void CAcq::abort() {
  pending.store(0);
  g.abort.store(1, std::memory_order_relaxed);
  g.stopEvent.Set();
  KvSleep(1);
}

void CAcq::clearAbort() {
  g.abort.store(0, std::memory_order_relaxed);
  request1.store(0, std::memory_order_relaxed);
}

bool CAcq::isBusy() {
  if (!busy.TryLock()) return true;
  busy.Unlock();
  return false;
}

long CAcq::kill(long ms) {
  g.terminate.store(1, std::memory_order_relaxed);
  KvSleep(1);
  runEvent.Set();
  KvSleep(1);
  KvWaitable* w = &busy;
  if (WaitPumping(&w, 1, ms) == 0) {
    // The worker is between batches and sees the terminate flag before any further pass.
    requested.store(false);
    busy.Unlock();
    return 0;
  }
  return 1;
}

long CAcq::runstatus() const {
  // Terminated first: a worker killed before it ever ran is not still starting.
  if (g.terminate.load(std::memory_order_relaxed)) return 3;
  if (starting.load(std::memory_order_relaxed)) return -1;
  if (g.abort.load(std::memory_order_relaxed)) return 2;
  if (stopRequested.load(std::memory_order_relaxed)) return 1;
  return 0;
}

void CAcq::workerLoop() {
  starting.store(0, std::memory_order_relaxed);
  for (;;) {
    if (g.terminate.load(std::memory_order_relaxed)) break;
    PumpMessages();
    if (!runEvent.IsSet()) {
      // Waits on the run event itself rather than polling it: a request starts a pass at
      // once. The time-out only bounds how late a terminate flag set without the event is
      // seen.
      KvWaitable* w = &runEvent;
      WaitPumping(&w, 1, 50);
      continue;
    }
    busy.Lock();
    if (g.terminate.load(std::memory_order_relaxed)) {
      busy.Unlock();
      break;
    }
    bool ended = false;
    while (pending.load() > 0) {
      if (g.terminate.load(std::memory_order_relaxed)) {
        ended = true;
        break;
      }
      if (Pass() < 0) {
        pending.store(0);
        break;
      }
      int32_t p = pending.load();
      while (p > 0 && !pending.compare_exchange_weak(p, p - 1)) {
      }
    }
    busy.Unlock();
    if (ended || g.terminate.load(std::memory_order_relaxed)) break;
    {
      // Reset before the idle event: a request made by the event's handler must not be lost.
      std::lock_guard lk(requestLock);
      runEvent.Reset();
      if (pending.load() > 0)
        runEvent.Set();
      else
        requested.store(false);
    }
    send(kMsgAcqIdle, 0);
  }
  {
    std::lock_guard lk(requestLock);
    requested.store(false);
    workerDone.Set();
  }
}

int CAcq::PassInPlace() {
  clearAbort();
  ++inPlace;
  const int r = Pass();
  --inPlace;
  return r;
}

int CAcq::Pass() {
  const int32_t id = g.pass.fetch_add(1) + 1;
  g.log.Add();
  g.log.Add("Running", LogSys);
  send(kMsgBeforeAcq, id);
  int result = 0;
  if (!order.Compute(comps)) {
    // A cycle: nothing of the network can be computed in any order.
    CStr text = order.Error();
    g.log.Add(text, LogErr);
    result = -1;
  } else {
    order.ResetReleases();
    toAll("#acq.start");
    for (const CRunStep& s : order.Steps()) {
      comps.ActMsg(s.component, s.port);
      if (g.abort.load(std::memory_order_relaxed)) {
        g.log.Add("Acquisition aborted", LogSys);
        result = -1;
        break;
      }
    }
  }
  if (g.terminate.load(std::memory_order_relaxed)) {
    toAll("#acq.abort");
    send(kMsgAcqAborted, id);
  } else {
    toAll("#acq.end");
    send(kMsgAfterAcq, id);
  }
  g.log.Add("Stopped", LogSys);
  return result;
}
