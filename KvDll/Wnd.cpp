#include "KvDll/Wnd.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
struct ThreadQueue;

// Lives on the sending thread's stack until done is set; whoever completes it must not touch
// it afterwards.
struct SendRecord {
  std::shared_ptr<ThreadQueue> sender;
  long result = 0;
  std::atomic<bool> done{false};
};

struct Item {
  uint64_t seq;
  KvWnd wnd;
  unsigned msg;
  intptr_t wp, lp;
  SendRecord* send;  // null for a posted message
};

struct WakeSlot {
  KvWakeFn fn;
  void* ctx;
  int foreignCalls = 0;  // calls running on other threads; guarded by ThreadQueue::m
};

struct ThreadQueue {
  std::thread::id thread = std::this_thread::get_id();
  std::mutex m;  // guards items, nextSeq, wake and the slot's foreignCalls
  std::deque<Item> items;
  uint64_t nextSeq = 0;
  std::atomic<int> queued{0};       // items.size(), for the short spin before blocking
  std::atomic<int> sendsQueued{0};  // sent (not posted) items among them
  std::shared_ptr<WakeSlot> wake;
  std::condition_variable wakeIdle;  // a foreign wake call has finished
  // Set whenever the thread may have something to do: a message queued for it, or the answer
  // to one of its own sends. Only the owning thread waits on it.
  KvEvent attention{false, false};
};

struct WndRec {
  KvWndProc proc;
  void* user;
  std::shared_ptr<ThreadQueue> owner;
};

struct Table {
  std::mutex m;  // guards wnds and next; taken before a ThreadQueue::m, never after
  std::unordered_map<KvWnd, WndRec> wnds;
  KvWnd next = 1;
};

// Never destroyed: windows of the main thread are destroyed by its thread-exit hook, which
// may run after static destructors have started.
Table& table() {
  static Table* t = new Table;
  return *t;
}

void complete(SendRecord* r, long result) {
  std::shared_ptr<ThreadQueue> q = r->sender;
  r->result = result;
  r->done.store(true, std::memory_order_release);
  q->attention.Set();
}

void releaseAll(std::vector<Item>& items) {
  for (Item& it : items)
    if (it.send) complete(it.send, 0);
}

// Under q.m: removes the items that match and returns them.
template <class Pred>
std::vector<Item> takeItems(ThreadQueue& q, Pred match) {
  std::vector<Item> out;
  for (auto i = q.items.begin(); i != q.items.end();) {
    if (match(*i)) {
      out.push_back(*i);
      i = q.items.erase(i);
    } else {
      ++i;
    }
  }
  int sends = 0;
  for (const Item& it : out) sends += it.send != nullptr;
  q.queued.fetch_sub(static_cast<int>(out.size()), std::memory_order_relaxed);
  q.sendsQueued.fetch_sub(sends, std::memory_order_relaxed);
  return out;
}

void endThread(const std::shared_ptr<ThreadQueue>& q) {
  {
    std::lock_guard lk(table().m);
    std::erase_if(table().wnds, [&](const auto& e) { return e.second.owner == q; });
  }
  std::vector<Item> left;
  {
    std::lock_guard lk(q->m);
    left = takeItems(*q, [](const Item&) { return true; });
  }
  releaseAll(left);
}

// Windows die with their thread, as nobody could ever process their messages again.
struct ThreadHolder {
  std::shared_ptr<ThreadQueue> q;
  ~ThreadHolder() {
    if (q) endThread(q);
  }
};
thread_local ThreadHolder tl_thread;

const std::shared_ptr<ThreadQueue>& currentQueue() {
  if (!tl_thread.q) tl_thread.q = std::make_shared<ThreadQueue>();
  return tl_thread.q;
}

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// A cross-thread round trip is usually answered within microseconds; waiting that long
// without sleeping saves two sleeps and wake-ups per message. The first part spins on this
// processor; then the wait yields, so that on a busy machine where both threads share one
// processor the other side gets to run at once.
template <class Cond>
bool spinUntil(Cond cond) {
  static const bool multi = std::thread::hardware_concurrency() > 1;
  if (multi)
    for (int i = 0; i < 32; ++i) {
      if (cond()) return true;
      cpuRelax();
    }
  const auto until = Clock::now() + std::chrono::microseconds(50);
  do {
    if (cond()) return true;
    std::this_thread::yield();
  } while (Clock::now() < until);
  return cond();
}

struct ForeignCallDone {
  ThreadQueue& q;
  WakeSlot& slot;
  ~ForeignCallDone() {
    std::lock_guard lk(q.m);
    if (--slot.foreignCalls == 0) q.wakeIdle.notify_all();
  }
};

void notifyQueued(ThreadQueue& q) {
  q.attention.Set();
  const bool foreign = q.thread != std::this_thread::get_id();
  std::shared_ptr<WakeSlot> slot;
  {
    std::lock_guard lk(q.m);
    slot = q.wake;
    if (!slot) return;
    if (foreign) ++slot->foreignCalls;
  }
  if (!foreign) {
    slot->fn(slot->ctx);
    return;
  }
  ForeignCallDone done{q, *slot};
  slot->fn(slot->ctx);
}

// What the innermost procedure running on this thread is answering: a message another
// thread sent (true) or a direct call, a post or nothing (false).
thread_local bool tl_inForeignSend = false;

struct SendScope {
  explicit SendScope(bool foreign) : saved(tl_inForeignSend) { tl_inForeignSend = foreign; }
  ~SendScope() { tl_inForeignSend = saved; }
  bool saved;
};

void dispatch(const Item& it) {
  KvWndProc proc = nullptr;
  bool alive = false;
  {
    std::lock_guard lk(table().m);
    auto i = table().wnds.find(it.wnd);
    if (i != table().wnds.end()) {
      alive = true;
      proc = i->second.proc;
    }
  }
  if (!it.send) {
    const SendScope scope(false);
    if (alive && proc) proc(it.wnd, it.msg, it.wp, it.lp);
    return;
  }
  long r = 0;
  if (alive && proc) {
    const SendScope scope(true);
    try {
      r = proc(it.wnd, it.msg, it.wp, it.lp);
    } catch (...) {
      complete(it.send, 0);  // the sender must not wait forever for a procedure that threw
      throw;
    }
  }
  complete(it.send, r);
}

// Under nothing. Processes the oldest message sent (not posted) to this thread's windows.
bool serveOneSend(ThreadQueue& q) {
  Item it;
  {
    std::lock_guard lk(q.m);
    auto i = q.items.begin();
    while (i != q.items.end() && !i->send) ++i;
    if (i == q.items.end()) return false;
    it = *i;
    q.items.erase(i);
    q.queued.fetch_sub(1, std::memory_order_relaxed);
    q.sendsQueued.fetch_sub(1, std::memory_order_relaxed);
  }
  dispatch(it);
  return true;
}

// Queues a message for wnd's owner. Returns the owner, or null for an unknown window. With
// direct set and the caller owning wnd, nothing is queued and *direct receives the procedure.
std::shared_ptr<ThreadQueue> enqueue(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp, SendRecord* send,
                                     bool* direct, KvWndProc* proc) {
  std::shared_ptr<ThreadQueue> q;
  {
    // The table lock is held while queueing so DestroyWindow either sees the item and releases
    // it, or the item is never queued.
    std::lock_guard lk(table().m);
    auto i = table().wnds.find(wnd);
    if (i == table().wnds.end()) return nullptr;
    q = i->second.owner;
    if (direct && q->thread == std::this_thread::get_id()) {
      *direct = true;
      *proc = i->second.proc;
      return q;
    }
    std::lock_guard qlk(q->m);
    q->items.push_back(Item{q->nextSeq++, wnd, msg, wp, lp, send});
    q->queued.fetch_add(1, std::memory_order_relaxed);
    if (send) q->sendsQueued.fetch_add(1, std::memory_order_relaxed);
  }
  notifyQueued(*q);
  return q;
}

long remainingMs(long ms, Clock::time_point deadline) {
  if (ms < 0) return KV_INFINITE;
  // Rounded up, so a wait never ends before its deadline.
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<long>(left) : 0;
}

}  // namespace

KvWnd CreateWindow(KvWndProc proc, void* user) {
  std::shared_ptr<ThreadQueue> q = currentQueue();
  std::lock_guard lk(table().m);
  Table& t = table();
  KvWnd id;
  do {
    id = t.next++;
    if (t.next == 0) t.next = 1;
  } while (id == 0 || t.wnds.count(id));
  t.wnds.emplace(id, WndRec{proc, user, std::move(q)});
  return id;
}

bool DestroyWindow(KvWnd wnd) {
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard lk(table().m);
    auto i = table().wnds.find(wnd);
    if (i == table().wnds.end()) return false;
    q = i->second.owner;
    table().wnds.erase(i);
  }
  std::vector<Item> dropped;
  {
    std::lock_guard lk(q->m);
    dropped = takeItems(*q, [wnd](const Item& it) { return it.wnd == wnd; });
  }
  releaseAll(dropped);
  return true;
}

bool IsWindow(KvWnd wnd) {
  std::lock_guard lk(table().m);
  return table().wnds.count(wnd) != 0;
}

bool IsWindowThread(KvWnd wnd) {
  std::lock_guard lk(table().m);
  auto i = table().wnds.find(wnd);
  return i != table().wnds.end() && i->second.owner->thread == std::this_thread::get_id();
}

KvWndProc SetWindowProc(KvWnd wnd, KvWndProc proc) {
  std::lock_guard lk(table().m);
  auto i = table().wnds.find(wnd);
  if (i == table().wnds.end()) return nullptr;
  KvWndProc prev = i->second.proc;
  i->second.proc = proc;
  return prev;
}

KvWndProc GetWindowProc(KvWnd wnd) {
  std::lock_guard lk(table().m);
  auto i = table().wnds.find(wnd);
  return i == table().wnds.end() ? nullptr : i->second.proc;
}

long CallWindowProc(KvWndProc prev, KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  return prev ? prev(wnd, msg, wp, lp) : 0;
}

void* GetWindowUser(KvWnd wnd) {
  std::lock_guard lk(table().m);
  auto i = table().wnds.find(wnd);
  return i == table().wnds.end() ? nullptr : i->second.user;
}

void* SetWindowUser(KvWnd wnd, void* user) {
  std::lock_guard lk(table().m);
  auto i = table().wnds.find(wnd);
  if (i == table().wnds.end()) return nullptr;
  void* prev = i->second.user;
  i->second.user = user;
  return prev;
}

long SendMessage(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  SendRecord rec;
  rec.sender = currentQueue();
  bool direct = false;
  KvWndProc proc = nullptr;
  if (!enqueue(wnd, msg, wp, lp, &rec, &direct, &proc)) return 0;
  if (direct) {
    const SendScope scope(false);
    return proc ? proc(wnd, msg, wp, lp) : 0;
  }

  ThreadQueue& self = *rec.sender;
  while (!rec.done.load(std::memory_order_acquire)) {
    if (serveOneSend(self)) continue;
    if (spinUntil([&] {
          return rec.done.load(std::memory_order_acquire) ||
                 self.sendsQueued.load(std::memory_order_relaxed) > 0;
        }))
      continue;
    self.attention.Wait();
  }
  return rec.result;
}

bool PostMessage(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  return enqueue(wnd, msg, wp, lp, nullptr, nullptr, nullptr) != nullptr;
}

bool InSendMessage() { return tl_inForeignSend; }

int PumpMessages() {
  ThreadQueue& q = *currentQueue();
  uint64_t end;
  {
    std::lock_guard lk(q.m);
    end = q.nextSeq;
  }
  int n = 0;
  for (;;) {
    Item it;
    {
      std::lock_guard lk(q.m);
      if (q.items.empty() || q.items.front().seq >= end) break;
      it = q.items.front();
      q.items.pop_front();
      q.queued.fetch_sub(1, std::memory_order_relaxed);
      if (it.send) q.sendsQueued.fetch_sub(1, std::memory_order_relaxed);
    }
    dispatch(it);
    ++n;
  }
  return n;
}

bool WaitMessage(long ms) {
  ThreadQueue& q = *currentQueue();
  auto hasWork = [&] { return q.queued.load(std::memory_order_relaxed) > 0; };
  if (hasWork()) return true;
  if (ms == 0) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  if (spinUntil(hasWork)) return true;
  for (;;) {
    if (!q.attention.Wait(remainingMs(ms, deadline))) return hasWork();
    if (hasWork()) return true;
  }
}

int WaitPumping(KvWaitable* const* objects, int n, long ms) {
  if (n < 0 || n >= KV_MAXIMUM_WAIT_OBJECTS || (n > 0 && !objects)) return KV_WAIT_FAILED;
  ThreadQueue& q = *currentQueue();
  KvWaitable* list[KV_MAXIMUM_WAIT_OBJECTS];
  for (int i = 0; i < n; ++i) list[i] = objects[i];
  list[n] = &q.attention;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  for (;;) {
    PumpMessages();
    const long left = remainingMs(ms, deadline);
    // Past the deadline a steady stream of messages must not keep the wait going.
    if (left == 0) return n ? WaitForObjects(list, n, 0) : KV_WAIT_TIMEOUT;
    // A nested wait inside a procedure may have taken the attention signal of messages that
    // are still queued: those are pumped without blocking.
    const bool more = q.queued.load(std::memory_order_relaxed) > 0;
    const int r = WaitForObjects(list, n + 1, more ? 0 : left);
    if (r == n || (more && r == KV_WAIT_TIMEOUT)) continue;
    return r;
  }
}

void SetWakeCallback(KvWakeFn fn, void* ctx) {
  ThreadQueue& q = *currentQueue();
  std::unique_lock lk(q.m);
  std::shared_ptr<WakeSlot> old = std::move(q.wake);
  q.wake = fn ? std::make_shared<WakeSlot>(WakeSlot{fn, ctx}) : nullptr;
  if (old) q.wakeIdle.wait(lk, [&] { return old->foreignCalls == 0; });
}
