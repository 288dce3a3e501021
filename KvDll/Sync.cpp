#include "KvDll/Sync.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Guards the state and waiter list of every event and mutex. One lock for all objects makes
// a wait on several objects, and acquiring all of them at once, a single atomic step.
// Never destroyed, so waits during process exit still find it.
std::mutex& syncLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}

struct Waiter {
  Waiter(KvWaitable::Impl* const* o, int count, bool waitAll)
      : objs(o), n(count), all(waitAll), self(std::this_thread::get_id()) {}
  KvWaitable::Impl* const* objs;
  int n;
  bool all;
  std::thread::id self;
  int result = -1;  // set by whoever hands this waiter its object(s)
  std::condition_variable cv;
};

}  // namespace

struct KvWaitable::Impl {
  bool isMutex;
  bool manual;
  bool signalled;        // events
  std::thread::id owner;  // mutex; default id = none
  unsigned count = 0;     // mutex recursion depth
  uint64_t signals = 0;   // events: sets and pulses so far
  std::vector<Waiter*> waiters;  // arrival order
};

KvWaitable::Impl* KvSyncImpl(const KvWaitable* w) { return w->impl_; }

namespace {

using Impl = KvWaitable::Impl;

bool ready(const Impl* o, std::thread::id t) {
  if (o->isMutex) return o->count == 0 || o->owner == t;
  return o->signalled;
}

void acquire(Impl* o, std::thread::id t) {
  if (o->isMutex) {
    o->owner = t;
    ++o->count;
  } else if (!o->manual) {
    o->signalled = false;
  }
}

// Under syncLock: takes what the wait asks for if it is available now; the index or -1.
int tryTake(Impl* const* objs, int n, bool all, std::thread::id t) {
  if (!all) {
    for (int i = 0; i < n; ++i)
      if (ready(objs[i], t)) {
        acquire(objs[i], t);
        return i;
      }
    return -1;
  }
  for (int i = 0; i < n; ++i)
    if (!ready(objs[i], t)) return -1;
  for (int i = 0; i < n; ++i) acquire(objs[i], t);
  return 0;
}

void unregister(Waiter* w) {
  for (int i = 0; i < w->n; ++i) {
    auto& v = w->objs[i]->waiters;
    v.erase(std::remove(v.begin(), v.end(), w), v.end());
  }
}

// Under syncLock, after o may have become available: hands it to waiters in arrival order
// for as long as it stays available. The "available" test uses no thread, so a mutex counts
// as available only while unowned; each waiter is then checked with its own thread.
void offer(Impl* o) {
  for (size_t i = 0; i < o->waiters.size() && ready(o, std::thread::id{});) {
    Waiter* w = o->waiters[i];
    int r = tryTake(w->objs, w->n, w->all, w->self);
    if (r < 0) {
      ++i;
      continue;
    }
    w->result = r;
    unregister(w);  // removes w from o->waiters too, so i now names the next waiter
    w->cv.notify_one();
  }
}

}  // namespace

KvWaitable::KvWaitable(bool isMutex, bool manualReset, bool initialState)
    : impl_(new Impl{isMutex, manualReset, initialState, {}, 0, 0, {}}) {}

KvWaitable::~KvWaitable() { delete impl_; }

KvEvent::KvEvent(bool manualReset, bool initialState) : KvWaitable(false, manualReset, initialState) {}

void KvEvent::Set() {
  std::lock_guard lk(syncLock());
  Impl* o = KvSyncImpl(this);
  o->signalled = true;
  ++o->signals;
  offer(o);
}

void KvEvent::Reset() {
  std::lock_guard lk(syncLock());
  KvSyncImpl(this)->signalled = false;
}

void KvEvent::Pulse() {
  std::lock_guard lk(syncLock());
  Impl* o = KvSyncImpl(this);
  o->signalled = true;
  ++o->signals;
  offer(o);
  o->signalled = false;
}

bool KvEvent::IsSet() const {
  std::lock_guard lk(syncLock());
  return KvSyncImpl(this)->signalled;
}

uint64_t KvEvent::Signals() const {
  std::lock_guard lk(syncLock());
  return KvSyncImpl(this)->signals;
}

bool KvEvent::Wait(long ms) {
  KvWaitable* self = this;
  return WaitForObjects(&self, 1, ms) == 0;
}

KvMutex::KvMutex() : KvWaitable(true, false, false) {}

bool KvMutex::Lock(long ms) {
  KvWaitable* self = this;
  return WaitForObjects(&self, 1, ms) == 0;
}

bool KvMutex::TryLock() { return Lock(0); }

bool KvMutex::Unlock() {
  std::lock_guard lk(syncLock());
  Impl* o = KvSyncImpl(this);
  if (o->count == 0 || o->owner != std::this_thread::get_id()) return false;
  if (--o->count == 0) {
    o->owner = std::thread::id{};
    offer(o);
  }
  return true;
}

int WaitForObjects(KvWaitable* const* objects, int n, long ms, bool waitAll, const uint64_t* seen) {
  if (!objects || n < 1 || n > KV_MAXIMUM_WAIT_OBJECTS || (seen && waitAll)) return KV_WAIT_FAILED;
  Impl* objs[KV_MAXIMUM_WAIT_OBJECTS];
  for (int i = 0; i < n; ++i) {
    if (!objects[i]) return KV_WAIT_FAILED;
    objs[i] = KvSyncImpl(objects[i]);
    if (waitAll)
      for (int j = 0; j < i; ++j)
        if (objs[j] == objs[i]) return KV_WAIT_FAILED;
  }
  const auto self = std::this_thread::get_id();
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);

  std::unique_lock lk(syncLock());
  if (seen)
    for (int i = 0; i < n; ++i)
      if (seen[i] != KV_ANY_SIGNAL && !objs[i]->isMutex && objs[i]->signals != seen[i]) return i;
  int r = tryTake(objs, n, waitAll, self);
  if (r >= 0) return r;
  if (ms == 0) return KV_WAIT_TIMEOUT;

  Waiter w(objs, n, waitAll);
  for (int i = 0; i < n; ++i) objs[i]->waiters.push_back(&w);
  while (w.result < 0) {
    if (ms < 0) {
      w.cv.wait(lk);
    } else if (w.cv.wait_until(lk, deadline) == std::cv_status::timeout) {
      break;
    }
  }
  if (w.result >= 0) return w.result;  // handed over right at the deadline still counts
  unregister(&w);
  return KV_WAIT_TIMEOUT;
}

int KvWaitingThreads(const KvWaitable& w) {
  std::lock_guard lk(syncLock());
  return static_cast<int>(KvSyncImpl(&w)->waiters.size());
}

void KvSleep(long ms) {
  if (ms <= 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
std::atomic<KvTickFn> g_tickSource{nullptr};
}

long KvTickCount() {
  if (KvTickFn fn = g_tickSource.load(std::memory_order_acquire)) return fn();
  using namespace std::chrono;
  return static_cast<long>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

KvTickFn KvSetTickSource(KvTickFn fn) { return g_tickSource.exchange(fn, std::memory_order_acq_rel); }
