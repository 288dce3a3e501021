#pragma once
// Events, a mutex and waits on several of them, in the manner the engine's acquisition
// controller and the window layer expect. Waits block without polling; a waiter is handed
// the object it was waiting for at the moment the object becomes available, so an auto-reset
// event releases exactly one waiter per Set and a pulse reaches exactly the current waiters.
// All calls: any thread. An object must outlive every wait on it.

#include <cstdint>

inline constexpr int KV_WAIT_TIMEOUT = 258;
inline constexpr int KV_WAIT_FAILED = -1;  // invalid arguments
inline constexpr long KV_INFINITE = -1;    // any negative time-out waits forever
inline constexpr int KV_MAXIMUM_WAIT_OBJECTS = 64;

class KvWaitable {
 public:
  KvWaitable(const KvWaitable&) = delete;
  KvWaitable& operator=(const KvWaitable&) = delete;
  virtual ~KvWaitable();

  struct Impl;  // state and waiter list, guarded by the sync layer's own lock

 protected:
  KvWaitable(bool isMutex, bool manualReset, bool initialState);

 private:
  Impl* impl_;
  friend Impl* KvSyncImpl(const KvWaitable* w);
};

class KvEvent : public KvWaitable {
 public:
  explicit KvEvent(bool manualReset = true, bool initialState = false);
  // Manual reset: every waiter is released and the event stays set.
  // Auto reset: one waiter is released and takes the event with it; with none waiting the
  // event stays set until the next wait.
  void Set();
  void Reset();
  // Releases the threads waiting right now (all of them, or one for auto reset) and leaves
  // the event reset; with nobody waiting it only resets.
  void Pulse();
  bool IsSet() const;
  // How many times the event has been set or pulsed. A waiter that remembers it can tell,
  // through WaitForObjects' seen list, a pulse that came while it was not waiting.
  uint64_t Signals() const;
  // Waits for this event alone; true when it was signalled.
  bool Wait(long ms = KV_INFINITE);
};

// Recursive, owned by the thread that acquired it; a wait on it acquires it.
class KvMutex : public KvWaitable {
 public:
  KvMutex();
  bool Lock(long ms = KV_INFINITE);
  bool TryLock();
  // False when the calling thread does not own the mutex.
  bool Unlock();
};

// Index (0-based) of the object that satisfied the wait, KV_WAIT_TIMEOUT, or KV_WAIT_FAILED
// for a null list, n outside 1..KV_MAXIMUM_WAIT_OBJECTS, a null entry or, with waitAll, an
// object listed twice. With waitAll every object is acquired at once and the answer is 0.
// Among several available objects the lowest index wins.
// seen (optional, n entries, not with waitAll): an event whose Signals() differs from its entry
// counts as available at once, without being taken; KV_ANY_SIGNAL ignores the entry. The test
// is made under the same lock as the wait, so no pulse falls between look and wait.
inline constexpr uint64_t KV_ANY_SIGNAL = ~uint64_t{0};
int WaitForObjects(KvWaitable* const* objects, int n, long ms, bool waitAll = false,
                   const uint64_t* seen = nullptr);

// Threads blocked in a wait that includes w right now; lets tests and diagnostics see that a
// waiter has arrived without sleeping.
int KvWaitingThreads(const KvWaitable& w);

// ms <= 0 only yields the processor.
void KvSleep(long ms);

// The processor clock in milliseconds, monotonic. Progress throttling and operation records
// read it; tests install a clock of their own (null restores the real one). Returns the
// previous source.
using KvTickFn = long (*)();
long KvTickCount();
KvTickFn KvSetTickSource(KvTickFn fn);
