#include "KvDll/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kLong = 5000;

// Bounded wait until n threads are blocked on w; waiting threads register synchronously, so
// this replaces any sleep-and-hope before a Set or Pulse.
bool waitForWaiters(const KvWaitable& w, int n) {
  const auto until = Clock::now() + std::chrono::milliseconds(kLong);
  while (KvWaitingThreads(w) < n) {
    if (Clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

// Threads that each wait once on one object and count how many got through.
struct Waiters {
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  Waiters(KvWaitable& w, int n, long ms = kLong) {
    for (int i = 0; i < n; ++i)
      threads.emplace_back([&w, ms, this] {
        KvWaitable* o = &w;
        if (WaitForObjects(&o, 1, ms) == 0) ++released;
      });
  }
  void join() {
    for (auto& t : threads) t.join();
  }
};

TEST(Sync, WaitAnswersTheLowestSignalledIndex) {
  struct Case {
    std::vector<int> set;
    int expected;
  };
  const Case cases[] = {{{0}, 0}, {{2}, 2}, {{1, 2}, 1}, {{0, 1, 2}, 0}, {{}, KV_WAIT_TIMEOUT}};
  for (const Case& c : cases) {
    KvEvent e[3];
    for (int i : c.set) e[i].Set();
    KvWaitable* objs[] = {&e[0], &e[1], &e[2]};
    EXPECT_EQ(WaitForObjects(objs, 3, 0), c.expected);
  }
}

TEST(Sync, WaitTimesOutAfterTheGivenTime) {
  KvEvent e;
  KvWaitable* o = &e;
  const auto t0 = Clock::now();
  EXPECT_EQ(WaitForObjects(&o, 1, 40), KV_WAIT_TIMEOUT);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(40));
  EXPECT_EQ(KvWaitingThreads(e), 0);  // a timed-out waiter leaves no trace
}

TEST(Sync, InvalidWaitsFail) {
  KvEvent a, b;
  KvWaitable* objs[] = {&a, nullptr, &a};
  EXPECT_EQ(WaitForObjects(nullptr, 1, 0), KV_WAIT_FAILED);
  EXPECT_EQ(WaitForObjects(objs, 0, 0), KV_WAIT_FAILED);
  EXPECT_EQ(WaitForObjects(objs, KV_MAXIMUM_WAIT_OBJECTS + 1, 0), KV_WAIT_FAILED);
  EXPECT_EQ(WaitForObjects(objs, 2, 0), KV_WAIT_FAILED);
  KvWaitable* twice[] = {&a, &b, &a};
  EXPECT_EQ(WaitForObjects(twice, 3, 0, true), KV_WAIT_FAILED);
}

TEST(Sync, AutoResetReleasesExactlyOneWaiterPerSet) {
  KvEvent e(false);
  Waiters w(e, 3, KV_INFINITE);
  ASSERT_TRUE(waitForWaiters(e, 3));
  for (int left = 2; left >= 0; --left) {
    e.Set();
    EXPECT_EQ(KvWaitingThreads(e), left);  // handed to one waiter before Set returns
    EXPECT_FALSE(e.IsSet());
  }
  w.join();
  EXPECT_EQ(w.released.load(), 3);
  e.Set();  // without waiters it stays set for one wait, however often it was set
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
}

TEST(Sync, ManualResetReleasesEveryWaiterAndStaysSet) {
  KvEvent e(true);
  Waiters w(e, 3);
  ASSERT_TRUE(waitForWaiters(e, 3));
  e.Set();
  w.join();
  EXPECT_EQ(w.released.load(), 3);
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.Wait(0));
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(Sync, PulseReleasesTheCurrentWaitersAndLeavesTheEventReset) {
  struct Case {
    bool manual;
    int waiters, released;
  };
  for (Case c : {Case{true, 3, 3}, Case{false, 3, 1}, Case{true, 0, 0}, Case{false, 0, 0}}) {
    KvEvent e(c.manual);
    Waiters w(e, c.waiters, 300);
    ASSERT_TRUE(waitForWaiters(e, c.waiters));
    e.Pulse();
    EXPECT_FALSE(e.IsSet());
    EXPECT_EQ(KvWaitingThreads(e), c.waiters - c.released) << "manual " << c.manual;
    EXPECT_FALSE(e.Wait(0));  // a later wait finds nothing
    w.join();
    EXPECT_EQ(w.released.load(), c.released) << "manual " << c.manual;
  }
}

TEST(Sync, WaitOnAMutexAcquiresIt) {
  KvMutex m;
  KvWaitable* o = &m;
  ASSERT_EQ(WaitForObjects(&o, 1, 0), 0);
  EXPECT_TRUE(m.TryLock());  // recursive for its owner
  bool otherGot = true;
  std::thread([&] { otherGot = m.TryLock() || m.Unlock(); }).join();
  EXPECT_FALSE(otherGot);  // neither lock nor unlock from a thread that does not own it
  EXPECT_TRUE(m.Unlock());
  EXPECT_TRUE(m.Unlock());
  EXPECT_FALSE(m.Unlock());
  std::thread([&] {
    otherGot = m.TryLock();
    m.Unlock();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(Sync, UnlockHandsTheMutexToAWaiter) {
  KvMutex m;
  ASSERT_TRUE(m.Lock());
  KvEvent release;
  std::atomic<bool> owned{false};
  std::thread t([&] {
    owned = m.Lock(kLong);
    release.Wait(kLong);
    m.Unlock();
  });
  ASSERT_TRUE(waitForWaiters(m, 1));
  m.Unlock();
  EXPECT_EQ(KvWaitingThreads(m), 0);
  EXPECT_FALSE(m.TryLock());  // already the waiter's
  release.Set();
  t.join();
  EXPECT_TRUE(owned.load());
  EXPECT_TRUE(m.TryLock());
  m.Unlock();
}

TEST(Sync, WaitAllTakesEveryObjectAtOnceOrNone) {
  KvEvent a(false), b(false);
  KvMutex m;
  KvWaitable* objs[] = {&a, &m, &b};
  a.Set();
  EXPECT_EQ(WaitForObjects(objs, 3, 20, true), KV_WAIT_TIMEOUT);
  EXPECT_TRUE(a.IsSet());  // not consumed by a wait that failed
  EXPECT_TRUE(m.TryLock());
  m.Unlock();

  std::atomic<int> r{-2};
  std::thread t([&] { r = WaitForObjects(objs, 3, kLong, true); });
  ASSERT_TRUE(waitForWaiters(b, 1));
  b.Set();
  t.join();
  EXPECT_EQ(r.load(), 0);
  EXPECT_FALSE(a.IsSet());
  EXPECT_FALSE(b.IsSet());
  EXPECT_FALSE(m.TryLock());  // owned by the thread that waited, which has ended
}

}  // namespace

TEST(Sync, ASeenListCatchesAPulseThatCameWhileNobodyWaited) {
  KvEvent data(true, false), other(true, false);
  const uint64_t before = data.Signals();
  data.Pulse();  // nobody waiting: the event itself stays reset
  EXPECT_FALSE(data.IsSet());
  EXPECT_EQ(data.Signals(), before + 1);
  KvWaitable* objs[2] = {&other, &data};
  EXPECT_EQ(WaitForObjects(objs, 2, 0), KV_WAIT_TIMEOUT) << "a plain wait has missed it";
  uint64_t seen[2] = {KV_ANY_SIGNAL, before};
  EXPECT_EQ(WaitForObjects(objs, 2, 0, false, seen), 1) << "the remembered count has not";
  seen[1] = data.Signals();
  EXPECT_EQ(WaitForObjects(objs, 2, 10, false, seen), KV_WAIT_TIMEOUT) << "once seen, it is not seen again";
  data.Set();
  EXPECT_EQ(WaitForObjects(objs, 2, 0, false, seen), 1);
  EXPECT_EQ(WaitForObjects(objs, 2, 0, true, seen), KV_WAIT_FAILED) << "not with waitAll";
}
