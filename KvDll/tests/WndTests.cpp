#include "KvDll/Wnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr long kLong = 5000;  // ms; any wait in these tests that reaches it is a failure

// A thread that owns one window and pumps until it is told to stop.
class OwnerThread {
 public:
  explicit OwnerThread(KvWndProc proc, void* user = nullptr) {
    thread_ = std::thread([=, this] {
      wnd_ = CreateWindow(proc, user);
      ready_.Set();
      KvWaitable* stop = &stop_;
      WaitPumping(&stop, 1, KV_INFINITE);
    });
    EXPECT_TRUE(ready_.Wait(kLong));
  }
  ~OwnerThread() {
    stop_.Set();
    thread_.join();
  }
  KvWnd wnd() const { return wnd_; }

 private:
  KvEvent ready_, stop_;
  KvWnd wnd_ = 0;
  std::thread thread_;
};

struct CallLog {
  std::thread::id thread;
  int calls = 0;
  std::vector<intptr_t> wps;
};

long logProc(KvWnd w, unsigned msg, intptr_t wp, intptr_t) {
  auto* log = static_cast<CallLog*>(GetWindowUser(w));
  log->thread = std::this_thread::get_id();
  ++log->calls;
  log->wps.push_back(wp);
  return static_cast<long>(wp) * 10 + msg;
}

TEST(Wnd, SendOnOwnerThreadCallsTheProcedureDirectly) {
  CallLog log;
  KvWnd w = CreateWindow(logProc, &log);
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(IsWindowThread(w));
  EXPECT_EQ(SendMessage(w, 3, 4, 0), 43);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.thread, std::this_thread::get_id());
  EXPECT_EQ(PumpMessages(), 0);  // nothing was queued
  EXPECT_TRUE(DestroyWindow(w));
}

TEST(Wnd, UnknownAndDestroyedWindowsAnswerAtOnce) {
  CallLog log;
  KvWnd w = CreateWindow(logProc, &log);
  KvWnd other = CreateWindow(nullptr);
  EXPECT_NE(w, other);
  EXPECT_EQ(SendMessage(other, 1, 2, 3), 0);  // no procedure answers 0
  ASSERT_TRUE(DestroyWindow(w));
  for (KvWnd dead : {KvWnd{0}, w}) {
    EXPECT_FALSE(IsWindow(dead));
    EXPECT_EQ(SendMessage(dead, 1, 1, 1), 0);
    EXPECT_FALSE(PostMessage(dead, 1, 1, 1));
    EXPECT_EQ(SetWindowProc(dead, logProc), nullptr);
    EXPECT_FALSE(DestroyWindow(dead));
  }
  EXPECT_EQ(log.calls, 0);
  DestroyWindow(other);
}

long reposter(KvWnd w, unsigned msg, intptr_t wp, intptr_t lp) {
  if (msg == 99) PostMessage(w, 1, -1, 0);
  return logProc(w, msg, wp, lp);
}

TEST(Wnd, PumpProcessesPostsInOrderAndLeavesNewOnesForNextTime) {
  CallLog log;
  KvWnd w = CreateWindow(reposter, &log);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(w, 1, i, 0));
  ASSERT_TRUE(PostMessage(w, 99, 100, 0));
  EXPECT_EQ(log.calls, 0);
  EXPECT_EQ(PumpMessages(), 101);
  ASSERT_EQ(log.wps.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(log.wps[i], i);
  EXPECT_EQ(PumpMessages(), 1);  // posted by the procedure during the first pump
  EXPECT_EQ(log.wps.back(), -1);
  EXPECT_EQ(PumpMessages(), 0);
  DestroyWindow(w);
}

// One record per sender: the sequence numbers in the order the window saw them.
struct OrderLog {
  std::vector<std::vector<intptr_t>> seen;
};

long orderProc(KvWnd w, unsigned, intptr_t wp, intptr_t lp) {
  static_cast<OrderLog*>(GetWindowUser(w))->seen[wp].push_back(lp);
  return static_cast<long>(lp) + 1;
}

// Senders post (or send) n numbered messages; posters finish with one send, which the owner
// answers only after their posts, as its queue is in order.
void runSenders(bool post) {
  constexpr int kSenders = 4, kEach = 2000;
  OrderLog log;
  log.seen.resize(kSenders);
  OwnerThread owner(orderProc, &log);
  std::atomic<int> wrongAnswers{0};
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s)
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        if (post) {
          if (!PostMessage(owner.wnd(), 1, s, i)) ++wrongAnswers;
        } else if (SendMessage(owner.wnd(), 1, s, i) != i + 1) {
          ++wrongAnswers;
        }
      }
      if (post && SendMessage(owner.wnd(), 1, s, kEach) != kEach + 1) ++wrongAnswers;
    });
  for (auto& t : senders) t.join();
  EXPECT_EQ(wrongAnswers.load(), 0);
  const size_t expected = post ? kEach + 1 : kEach;
  for (int s = 0; s < kSenders; ++s) {
    ASSERT_EQ(log.seen[s].size(), expected) << "sender " << s;
    for (size_t i = 0; i < expected; ++i) ASSERT_EQ(log.seen[s][i], static_cast<intptr_t>(i)) << "sender " << s;
  }
}

TEST(Wnd, ManySendersKeepTheirOrder) { runSenders(false); }

TEST(Wnd, ManyPostersKeepTheirOrder) { runSenders(true); }

struct Blocked {
  std::atomic<int> queued{0};
  int want = 0;
  KvEvent allQueued;
};

void countQueued(void* ctx) {
  auto* b = static_cast<Blocked*>(ctx);
  if (++b->queued == b->want) b->allQueued.Set();
}

TEST(Wnd, DestroyReleasesBlockedSendersAndDropsPosts) {
  constexpr int kSenders = 3, kPosts = 2;
  CallLog log;
  Blocked blocked;
  blocked.want = kSenders + kPosts;
  KvEvent ready, release;
  KvWnd w = 0;
  int pumpedAfterDestroy = -1;
  // The owner never pumps until the window is gone.
  std::thread owner([&] {
    w = CreateWindow(logProc, &log);
    SetWakeCallback(countQueued, &blocked);
    ready.Set();
    release.Wait(kLong);
    pumpedAfterDestroy = PumpMessages();
    SetWakeCallback(nullptr, nullptr);
  });
  ASSERT_TRUE(ready.Wait(kLong));

  std::atomic<int> answered{0}, nonZero{0};
  KvEvent allAnswered;
  std::vector<std::thread> senders;
  for (int i = 0; i < kSenders; ++i)
    senders.emplace_back([&, i] {
      if (SendMessage(w, 1, i + 1, 0) != 0) ++nonZero;
      if (++answered == kSenders) allAnswered.Set();
    });
  for (int i = 0; i < kPosts; ++i) EXPECT_TRUE(PostMessage(w, 2, i, 0));

  EXPECT_TRUE(blocked.allQueued.Wait(kLong));
  EXPECT_EQ(answered.load(), 0);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_TRUE(allAnswered.Wait(kLong));
  release.Set();
  for (auto& t : senders) t.join();
  owner.join();
  EXPECT_EQ(nonZero.load(), 0);
  EXPECT_EQ(pumpedAfterDestroy, 0);
  EXPECT_EQ(log.calls, 0);
}

TEST(Wnd, EndingThreadTakesItsWindowsAndReleasesTheirSenders) {
  CallLog log;
  Blocked blocked;
  blocked.want = 1;
  KvEvent ready;
  KvWnd w = 0;
  std::thread owner([&] {
    w = CreateWindow(logProc, &log);
    SetWakeCallback(countQueued, &blocked);
    ready.Set();
    blocked.allQueued.Wait(kLong);  // then end without pumping
  });
  ASSERT_TRUE(ready.Wait(kLong));
  EXPECT_EQ(SendMessage(w, 1, 5, 0), 0);
  owner.join();
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(log.calls, 0);
}

struct WakeState {
  std::atomic<int> wakes{0};
  KvEvent ev{false, false};
};

void wakeUp(void* ctx) {
  auto* s = static_cast<WakeState*>(ctx);
  ++s->wakes;
  s->ev.Set();
}

TEST(Wnd, WakeCallbackReachesAThreadThatPumpsOnlyWhenWoken) {
  CallLog log;
  WakeState wake;
  KvEvent ready, cleared, stop;
  KvWnd w = 0;
  std::thread::id ownerId;
  std::thread owner([&] {
    w = CreateWindow(logProc, &log);
    ownerId = std::this_thread::get_id();
    SetWakeCallback(wakeUp, &wake);
    ready.Set();
    // Stands in for an event loop that runs a pump when the callback schedules one.
    while (log.calls < 2 && wake.ev.Wait(kLong)) PumpMessages();
    SetWakeCallback(nullptr, nullptr);
    cleared.Set();
    KvWaitable* s = &stop;
    WaitPumping(&s, 1, kLong);
  });
  ASSERT_TRUE(ready.Wait(kLong));
  EXPECT_TRUE(PostMessage(w, 1, 1, 0));
  EXPECT_EQ(SendMessage(w, 1, 2, 0), 21);
  EXPECT_TRUE(cleared.Wait(kLong));
  const int wakesBefore = wake.wakes.load();
  EXPECT_GE(wakesBefore, 2);
  EXPECT_EQ(SendMessage(w, 1, 3, 0), 31);
  stop.Set();
  owner.join();
  EXPECT_EQ(wake.wakes.load(), wakesBefore);  // a removed callback is not called
  EXPECT_EQ(log.thread, ownerId);
  EXPECT_EQ(log.calls, 3);
}

KvWndProc g_base;
long baseProc(KvWnd, unsigned msg, intptr_t, intptr_t) { return 100 + msg; }
long subProc(KvWnd w, unsigned msg, intptr_t wp, intptr_t lp) {
  if (msg == 1) return 7;
  return CallWindowProc(g_base, w, msg, wp, lp);
}

TEST(Wnd, SubclassHandlesItsMessagesAndPassesTheRestOn) {
  KvWnd w = CreateWindow(baseProc);
  g_base = SetWindowProc(w, subProc);
  EXPECT_EQ(g_base, &baseProc);
  EXPECT_EQ(GetWindowProc(w), &subProc);
  EXPECT_EQ(SendMessage(w, 1, 0, 0), 7);
  EXPECT_EQ(SendMessage(w, 2, 0, 0), 102);
  EXPECT_EQ(SetWindowProc(w, g_base), &subProc);
  EXPECT_EQ(SendMessage(w, 1, 0, 0), 101);
  EXPECT_EQ(CallWindowProc(nullptr, w, 1, 0, 0), 0);
  DestroyWindow(w);

  CallLog log;  // a queued message goes to the procedure current when it is processed
  w = CreateWindow(nullptr, &log);
  PostMessage(w, 1, 5, 0);
  SetWindowProc(w, logProc);
  EXPECT_EQ(PumpMessages(), 1);
  EXPECT_EQ(log.calls, 1);
  DestroyWindow(w);
}

// Both threads send to each other at the same time, and each procedure sends back into the
// other thread before it answers: every thread must serve sends while its own send waits.
struct PingPong {
  KvWnd wnd[2] = {0, 0};
  KvEvent created[2], finished[2];
  std::atomic<int> wrong{0};
};
PingPong* g_pp;

long pingProc(KvWnd w, unsigned msg, intptr_t wp, intptr_t) {
  const int me = w == g_pp->wnd[0] ? 0 : 1;
  if (msg == 1) return static_cast<long>(SendMessage(g_pp->wnd[1 - me], 2, wp, 0)) + 1;
  return static_cast<long>(wp) * 2;
}

TEST(Wnd, ThreadsSendingToEachOtherDoNotDeadlock) {
  constexpr int kRounds = 300;
  PingPong pp;
  g_pp = &pp;
  auto side = [&](int me) {
    pp.wnd[me] = CreateWindow(pingProc);
    pp.created[me].Set();
    pp.created[1 - me].Wait(kLong);
    for (int i = 0; i < kRounds; ++i)
      if (SendMessage(pp.wnd[1 - me], 1, i, 0) != 2 * i + 1) ++pp.wrong;
    pp.finished[me].Set();
    KvWaitable* other = &pp.finished[1 - me];
    WaitPumping(&other, 1, kLong);
  };
  std::thread a(side, 0), b(side, 1);
  KvWaitable* both[] = {&pp.finished[0], &pp.finished[1]};
  const int r = WaitForObjects(both, 2, 10 * kLong, true);
  if (r != 0) {  // deadlocked: destroying the windows releases both senders
    DestroyWindow(pp.wnd[0]);
    DestroyWindow(pp.wnd[1]);
  }
  a.join();
  b.join();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(pp.wrong.load(), 0);
}

TEST(Wnd, WaitPumpingServesAWorkerWhileWaitingForIt) {
  CallLog log;
  KvWnd w = CreateWindow(logProc, &log);
  KvEvent done;
  std::atomic<int> wrong{0};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i)
      if (SendMessage(w, 1, i, 0) != i * 10 + 1) ++wrong;
    done.Set();
  });
  KvWaitable* objs[] = {&done};
  EXPECT_EQ(WaitPumping(objs, 1, kLong), 0);
  worker.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(log.calls, 50);
  EXPECT_EQ(log.thread, std::this_thread::get_id());
  EXPECT_EQ(WaitPumping(objs, 1, 0), 0);  // manual reset: still set
  KvEvent never;
  objs[0] = &never;
  EXPECT_EQ(WaitPumping(objs, 1, 30), KV_WAIT_TIMEOUT);
  EXPECT_EQ(WaitPumping(nullptr, 1, 0), KV_WAIT_FAILED);
  DestroyWindow(w);
}

TEST(Wnd, WaitMessageSeesQueuedMessagesAndTimesOut) {
  CallLog log;
  KvWnd w = CreateWindow(logProc, &log);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitMessage(30));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30));
  std::thread poster([&] { PostMessage(w, 1, 1, 0); });
  EXPECT_TRUE(WaitMessage(kLong));
  poster.join();
  EXPECT_EQ(log.calls, 0);  // waiting processes nothing
  EXPECT_EQ(PumpMessages(), 1);
  EXPECT_FALSE(WaitMessage(0));
  DestroyWindow(w);
}

long throwingProc(KvWnd, unsigned msg, intptr_t, intptr_t) {
  if (msg == 1) throw std::runtime_error("handler failed");
  return 5;
}

TEST(Wnd, ProcedureThatThrowsStillReleasesItsSender) {
  KvEvent ready, stop;
  KvWnd w = 0;
  std::atomic<int> caught{0};
  std::thread owner([&] {
    w = CreateWindow(throwingProc);
    ready.Set();
    while (!stop.Wait(0)) {
      try {
        KvWaitable* s = &stop;
        WaitPumping(&s, 1, kLong);
      } catch (const std::runtime_error&) {
        ++caught;
      }
    }
  });
  ASSERT_TRUE(ready.Wait(kLong));
  EXPECT_EQ(SendMessage(w, 1, 0, 0), 0);
  EXPECT_EQ(SendMessage(w, 2, 0, 0), 5);
  stop.Set();
  owner.join();
  EXPECT_EQ(caught.load(), 1);
}

}  // namespace

namespace {

// The pumping thread's procedure sends to a worker, which posts back before it answers; the
// nested send sees that post's wake-up first, and the outer wait must still pump the post.
struct Nested {
  KvWnd ui = 0, worker = 0;
  KvEvent postArrived;
};
Nested* g_nested;

long nestedUiProc(KvWnd, unsigned msg, intptr_t, intptr_t) {
  if (msg == 1) return SendMessage(g_nested->worker, 1, 0, 0);
  g_nested->postArrived.Set();
  return 0;
}
long nestedWorkerProc(KvWnd, unsigned, intptr_t, intptr_t) {
  PostMessage(g_nested->ui, 2, 0, 0);
  KvSleep(20);  // lets the sender block first; the outcome does not depend on it
  return 1;
}

TEST(Wnd, WaitPumpingPumpsPostsThatArriveDuringANestedSend) {
  Nested n;
  g_nested = &n;
  n.ui = CreateWindow(nestedUiProc);
  OwnerThread worker(nestedWorkerProc);
  n.worker = worker.wnd();
  PostMessage(n.ui, 1, 0, 0);
  KvWaitable* objs[] = {&n.postArrived};
  EXPECT_EQ(WaitPumping(objs, 1, kLong), 0);
  DestroyWindow(n.ui);
}

}  // namespace

namespace {

// Records, per message, whether the procedure saw itself answering another thread's send;
// message 2 sends message 1 to the same window directly, nested inside.
struct SendKinds {
  std::vector<std::pair<unsigned, bool>> seen;
};

long kindProc(KvWnd w, unsigned msg, intptr_t, intptr_t) {
  auto* kinds = static_cast<SendKinds*>(GetWindowUser(w));
  kinds->seen.emplace_back(msg, InSendMessage());
  if (msg == 2) SendMessage(w, 1, 0, 0);
  kinds->seen.emplace_back(msg + 100, InSendMessage());  // after the nested call: restored
  return 0;
}

}  // namespace

TEST(Wnd, InSendMessageTellsAForeignSendFromADirectCallOrAPost) {
  SendKinds kinds;
  KvWnd w = CreateWindow(kindProc, &kinds);
  EXPECT_FALSE(InSendMessage());
  SendMessage(w, 1, 0, 0);  // direct
  std::thread worker([&] {
    SendMessage(w, 2, 0, 0);  // foreign, with a direct send nested inside
    PostMessage(w, 3, 0, 0);
  });
  KvEvent never;
  KvWaitable* objs[] = {&never};
  while (kinds.seen.size() < 6) WaitPumping(objs, 1, 50);
  worker.join();
  while (kinds.seen.size() < 8) WaitPumping(objs, 1, 50);
  const std::vector<std::pair<unsigned, bool>> expected = {
      {1, false}, {101, false}, {2, true}, {1, false}, {101, false}, {102, true}, {3, false}, {103, false}};
  EXPECT_EQ(kinds.seen, expected);
  EXPECT_FALSE(InSendMessage());
  DestroyWindow(w);
}
