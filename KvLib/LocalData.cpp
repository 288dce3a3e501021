#include "KvLib/LocalData.h"

#include <thread>

#include "KvDll/Wnd.h"

struct KvTriggerThread {
  std::thread thread;
  KvEvent done{true, false};  // set by the thread as it ends
  // Signals of the buffer's data event already looked at. Taken when the input is connected,
  // so data that comes before the thread first waits is not missed.
  uint64_t dataSeen = 0;
};

namespace {

constexpr long kOrange = 41215;  // RGB (255, 160, 0)
constexpr long kRed = 255;

// Ends a trigger thread that has finished or been told to: joins it once it says it is done.
void reap(KvTriggerThread*& t, bool wait) {
  if (!t) return;
  if (!t->done.IsSet()) {
    if (!wait) return;
    KvWaitable* w = &t->done;
    WaitPumping(&w, 1, KV_INFINITE);
  }
  if (t->thread.joinable()) t->thread.join();
  delete t;
  t = nullptr;
}

}  // namespace

CStepGuard::CStepGuard(CLocalData* d) : d(d) {
  if (!d || d->stepLock.TryLock()) return;
  KvWaitable* w = &d->stepLock;
  WaitPumping(&w, 1, KV_INFINITE);
}

CStepGuard::~CStepGuard() {
  if (d) d->stepLock.Unlock();
}

CLocalData::CLocalData(const KvCreateBlock& block)
    : pgd(block.global), name(block.name ? block.name : ""), variant(block.variant ? block.variant : "") {}

CLocalData::~CLocalData() {
  StopTrigger();
  delete trigEvent;
  trigEvent = nullptr;
}

void CLocalData::ActMsg(const char*) {}
CMDERR CLocalData::Settings(GETPARCMD, const char*, VPARAM&) { return cmdNotServed; }
CMDERR CLocalData::Fun(const char*, VPARAMS&) { return cmdNotServed; }
CMDERR CLocalData::FunInfo(const char*, VPARAMS&) { return cmdNotServed; }

// ---------------------------------------------------------------------------------------
// Log
// ---------------------------------------------------------------------------------------

void CLocalData::line(const char* prefix, const char* text, long minLevel, long bold, long colour, bool append) {
  if (!pgd) return;
  if (minLevel >= 0 && pgd->minSeverity.load(std::memory_order_relaxed) >= minLevel) return;
  CStr t;
  if (prefix) t = name + prefix;
  t += text ? text : "";
  if (append)
    pgd->log.Append(t.GetBfr(), t.GetLength(), bold, colour);
  else
    pgd->log.Add(t.GetBfr(), t.GetLength(), bold, colour);
}

void CLocalData::logDebug(const char* text, long bold, long colour) { line(": ", text, 1, bold, colour, false); }
void CLocalData::logDebugAppend(const char* text, long bold, long colour) { line(nullptr, text, 1, bold, colour, true); }
void CLocalData::logMsg(const char* text) { line(": ", text, 2, 0, 0, false); }
void CLocalData::logWarn(const char* text) { line(": Warning - ", text, 3, 0, kOrange, false); }
void CLocalData::logErr(const char* text) { line(": Error - ", text, 4, 0, kRed, false); }

void CLocalData::logErrAbort(const char* text) {
  line(": Error - ", text, -1, 1, kRed, false);
  if (pgd) pgd->abort.store(1, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Trigger input and test pulse
// ---------------------------------------------------------------------------------------

void CLocalData::triggerLoop(CLocalData* self, KvTriggerThread* t) {
  if (!self) {
    KvErrReport(1, __LINE__, "ActMsg: Aborting, Null pdat.", "KvLib/LocalData");
    t->done.Set();
    return;
  }
  CGlobalData* g = self->pgd;
  // Told to end before it began (disconnected at once): nothing to report.
  if (self->disconnect.load(std::memory_order_acquire)) {
    t->done.Set();
    return;
  }
  if (!self->trigin.load() || !g) {
    self->logErrAbort("trigger.in is not connected");
    t->done.Set();
    return;
  }
  int32_t lastTag = -1;  // the first data always triggers
  for (;;) {
    CBfr* b = self->trigin.load(std::memory_order_acquire);
    KvWaitable* objects[3];
    uint64_t seen[3] = {KV_ANY_SIGNAL, KV_ANY_SIGNAL, KV_ANY_SIGNAL};
    int n = 0, dataAt = -1;
    auto* data = b && b->type == bfrTrigger ? static_cast<KvEvent*>(b->data) : nullptr;
    if (data) dataAt = n, seen[n] = t->dataSeen, objects[n++] = data;
    objects[n++] = &g->secondEvent;
    const int trigAt = n;
    objects[n++] = self->trigEvent;
    // A producer pulses its data event; a pulse while this thread was busy with the last one
    // reaches no waiter, so the wait also returns for any signal since the last look.
    const int r = WaitForObjects(objects, n, KV_INFINITE, false, seen);
    if (r == dataAt) t->dataSeen = data->Signals();
    if (r == trigAt) self->trigEvent->Reset();
    if (g->terminate.load(std::memory_order_relaxed) || self->disconnect.load(std::memory_order_acquire) || !b)
      break;
    // The pulse is taken here, not cleared by the one who fired it after a pause: a thread
    // that wakes late on a busy machine still sees it.
    if (self->testPulse.exchange(0, std::memory_order_acq_rel)) {
      CStepGuard lock(self);
      self->ActMsg("#acq.testtrg");
    } else if (const int32_t tag = std::atomic_ref<int32_t>(b->tag).load(std::memory_order_acquire);
               r == dataAt && !g->abort.load(std::memory_order_relaxed) && tag != lastTag) {
      // The producer raises the tag on its own thread; it is read as an atomic.
      lastTag = tag;
      CStepGuard lock(self);
      self->ActMsg("#acq.trg");
    }
  }
  t->done.Set();
}

CMDERR CLocalData::TrigIn(GETPARCMD cmd, VPARAM& v) {
  switch (cmd) {
    case parRead:
    case parEvaluate:
      v.vt = vtTrgBfr;
      v.value.p = &trigin;
      return cmdDone;
    case parDescribe:
      v.kind = kindInPort;
      v.vt = vtTrgBfr;
      return cmdDone;
    case parWrite: break;
    default: return cmdDone;
  }
  auto* b = static_cast<CBfr*>(v.value.p);
  reap(trigThread, false);  // a thread that ended after a disconnection
  if (!b) {
    if (!trigThread) return cmdWrongKind;
    // Disconnected: the buffer goes at once and the thread ends before this returns, so no
    // engine message stays withheld and nothing still waits on the producer's event when
    // the producer is unloaded next.
    StopTrigger();
    return cmdDone;
  }
  if (b->type != bfrTrigger) return cmdWrongKind;
  if (trigThread && trigThread->done.IsSet()) reap(trigThread, true);
  if (trigThread) {
    if (trigin.load() == b) {
      trigEvent->Set();  // the running thread looks again
      return cmdDone;
    }
    // Another producer: the thread must be out of its wait on the old buffer's event before
    // that producer may go.
    StopTrigger();
  }
  trigin.store(b, std::memory_order_release);
  disconnect.store(0, std::memory_order_release);
  if (!trigEvent) trigEvent = new KvEvent(true, false);
  trigEvent->Reset();
  auto* t = new KvTriggerThread;
  t->dataSeen = b->data ? static_cast<KvEvent*>(b->data)->Signals() : 0;
  try {
    t->thread = std::thread(triggerLoop, this, t);
  } catch (...) {
    delete t;
    trigin.store(nullptr);
    logErrAbort("Unable to initialize");
    return cmdInitFailed;
  }
  trigThread = t;
  return cmdDone;
}

void CLocalData::FireTestPulse() {
  if (!TriggerConnected() || !trigEvent) {
    CStepGuard lock(this);
    ActMsg("#acq.testseq");
    return;
  }
  // The pauses serve this thread's messages: the trigger thread may be sending to it (a
  // notification of its last message) and must be free to see the pulse.
  testPulse.store(1, std::memory_order_release);
  WaitPumping(nullptr, 0, 5);
  trigEvent->Set();
  WaitPumping(nullptr, 0, 5);
}

void CLocalData::StopTrigger() {
  if (!trigThread) return;
  disconnect.store(1, std::memory_order_release);
  trigin.store(nullptr, std::memory_order_release);
  if (trigEvent) trigEvent->Set();
  reap(trigThread, true);
}
