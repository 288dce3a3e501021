#include "KvDll/Log.h"

#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "KvDll/GlobalData.h"
#include "KvDll/WndMsg.h"

std::atomic<KvWnd> CLog::hwndOrg{0};
std::atomic<KvWndProc> CLog::wpOrg{nullptr};
std::atomic<KvWnd> CLog::hwndRtf{0};

namespace {

// The held text: non-null from Hold(true) until the text is back in a window. Guarded by
// its own lock, never held while a message is sent.
std::mutex g_heldLock;
std::string* g_held = nullptr;

// Lines from threads that do not own the window wait here for the window's thread, woken by
// one posted message for any number of them: a worker logging during passes neither waits
// for the user-interface thread per line nor makes it wake per line. Guarded by g_heldLock.
struct QueuedRun {
  std::string text;
  int32_t bold;
  uint32_t colour;
};
struct QueuedLine {
  QueuedRun runs[2];
  int n;
  bool newLine;
};
std::vector<QueuedLine> g_queue;
bool g_drainPosted = false;  // a drain message is on its way to the window's thread
// Beyond this many waiting lines a logging thread waits until the window's thread has taken
// them, so a worker that logs faster than the window shows cannot grow the queue without end.
constexpr size_t kQueueLimit = 20000;
// Private to the log's subclass of its parent: take the waiting lines.
constexpr unsigned kLogDrain = 0x7F1F;

// Adds a line to the held text; the caller holds g_heldLock.
void appendHeld(const KvTextRun* runs, int n, bool newLine) {
  if (newLine && !g_held->empty()) *g_held += '\n';
  for (int i = 0; i < n; ++i)
    if (runs[i].len > 0) g_held->append(runs[i].text, static_cast<size_t>(runs[i].len));
}

int runsOf(const QueuedLine& l, KvTextRun* out) {
  for (int i = 0; i < l.n; ++i)
    out[i] = {l.runs[i].text.data(), static_cast<int32_t>(l.runs[i].text.size()), l.runs[i].bold, l.runs[i].colour};
  return l.n;
}

struct Style {
  int32_t bold;
  uint32_t colour;
};

bool styleOf(long sev, Style& s) {
  switch (sev) {
    case LogDebug:
    case LogMsg:
    case LogInfo:
    case LogSys: s = {0, kLogBlack}; return true;
    case LogWarn: s = {0, kLogOrange}; return true;
    case LogErr:
    case LogSysErr: s = {0, kLogRed}; return true;
    case LogAbort: s = {1, kLogRed}; return true;
    default: return false;
  }
}

int32_t minSeverity() {
  CGlobalData* g = KvGlobal();
  return g ? g->minSeverity.load(std::memory_order_relaxed) : LogWarn;
}

int32_t clampLen(const char* text, long len) {
  if (!text || len <= 0) return 0;
  return len > INT32_MAX ? INT32_MAX : static_cast<int32_t>(len);
}

}  // namespace

CStr KvLogTimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return CStr(text);
}

// The log ends with its engine: text still held for a window that never came is dropped,
// so the next engine's log does not begin with it.
CLog::~CLog() {
  std::lock_guard lk(g_heldLock);
  delete g_held;
  g_held = nullptr;
  g_queue.clear();
  g_drainPosted = false;
}

void CLog::Init(KvWnd parent, intptr_t) {
  // Already there (the host names its log parent again): the window keeps its text.
  if (parent && parent == hwndOrg.load() && IsWindow(hwndRtf.load())) {
    const KvRect client = KvGetClientRect(parent);
    KvMoveWindow(hwndRtf.load(), 0, 0, client.width, client.height);
    return;
  }
  End();
  if (!IsWindow(parent)) return;
  wpOrg.store(SetWindowProc(parent, WndProc));
  {
    // With the queue's lock, so a logging thread posts its wake-up to the parent of now.
    std::lock_guard lk(g_heldLock);
    hwndOrg.store(parent);
  }
  KvWnd rtf = hwndRtf.load();
  if (!IsWindow(rtf)) {
    rtf = KvCreateChildWindow(parent, "RichEdit", "",
                              KV_WS_VISIBLE | KV_WS_VSCROLL | KV_WS_SUNKEN | KV_ES_READONLY | KV_ES_MULTILINE |
                                  KV_ES_AUTOVSCROLL);
    const KvFont font{"MS Sans Serif", 8, 0};
    SendMessage(rtf, KV_WM_SETFONT, reinterpret_cast<intptr_t>(&font), 0);
  }
  const KvRect client = KvGetClientRect(parent);
  KvMoveWindow(rtf, 0, 0, client.width, client.height);
  KvShowWindow(rtf, true);
  hwndRtf.store(rtf, std::memory_order_release);
  // Lines still waiting for the window this one replaces go into it.
  if (CGlobalData* g = KvGlobal()) g->log.drain();
}

void CLog::End() {
  KvWnd org;
  {
    // A drain message on its way to this parent is lost with it; the next window asks anew.
    std::lock_guard lk(g_heldLock);
    g_drainPosted = false;
    org = hwndOrg.exchange(0);
  }
  if (KvWnd rtf = hwndRtf.exchange(0)) DestroyWindow(rtf);
  if (org) {
    // Only undo our own subclassing; a procedure installed after ours stays.
    if (GetWindowProc(org) == WndProc) SetWindowProc(org, wpOrg.load());
  }
  wpOrg.store(nullptr);
}

long CLog::WndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  if (msg == kLogDrain) {
    if (CGlobalData* g = KvGlobal()) g->log.drain();
    return 1;
  }
  if (msg == KV_WM_SIZE) {
    if (KvWnd rtf = hwndRtf.load()) KvMoveWindow(rtf, 0, 0, static_cast<int32_t>(lp & 0xFFFF), static_cast<int32_t>((lp >> 16) & 0xFFFF));
  }
  return CallWindowProc(wpOrg.load(), wnd, msg, wp, lp);
}

bool CLog::setSeverity(long sev) {
  Style s;
  if (!styleOf(sev, s)) return false;
  bold.store(s.bold, std::memory_order_relaxed);
  colour.store(s.colour, std::memory_order_relaxed);
  return true;
}

// While held, a line goes into the held text as plain text; false when not held.
bool CLog::keepHeld(const KvTextRun* runs, int n, bool newLine) {
  std::lock_guard lk(g_heldLock);
  if (!g_held) return false;
  appendHeld(runs, n, newLine);
  return true;
}

// A line from a thread that does not own the window: held, or queued for the window's
// thread. false when there is no window to queue for.
bool CLog::enqueue(const KvTextRun* runs, int n, bool newLine) {
  KvWnd parent;
  bool post = false, full = false;
  {
    std::lock_guard lk(g_heldLock);
    parent = hwndOrg.load(std::memory_order_relaxed);
    if (g_held) {
      appendHeld(runs, n, newLine);
      return true;
    }
    if (!parent) return false;
    QueuedLine line;
    line.n = n < 2 ? n : 2;
    line.newLine = newLine;
    for (int i = 0; i < line.n; ++i) {
      const int32_t len = runs[i].text && runs[i].len > 0 ? runs[i].len : 0;
      line.runs[i] = {std::string(runs[i].text ? runs[i].text : "", static_cast<size_t>(len)), runs[i].bold,
                      runs[i].colour};
    }
    // More than two runs (not written by this log) go as one, in the last run's style.
    for (int i = 2; i < n; ++i)
      if (runs[i].text && runs[i].len > 0) line.runs[1].text.append(runs[i].text, static_cast<size_t>(runs[i].len));
    g_queue.push_back(std::move(line));
    post = !g_drainPosted;
    g_drainPosted = true;
    full = g_queue.size() >= kQueueLimit;
  }
  if (post && !PostMessage(parent, kLogDrain, 0, 0)) {
    std::lock_guard lk(g_heldLock);
    g_drainPosted = false;
  }
  if (full) SendMessage(parent, kLogDrain, 0, 0);
  return true;
}

// The window's thread: the waiting lines into the window, in the order they came.
void CLog::drain() {
  const KvWnd rtf = hwndRtf.load(std::memory_order_acquire);
  if (rtf && !IsWindowThread(rtf)) return;
  std::vector<QueuedLine> lines;
  {
    std::lock_guard lk(g_heldLock);
    if (!rtf || g_held) return;  // they wait for a window, or went into the held text
    lines.swap(g_queue);
    g_drainPosted = false;
  }
  for (const QueuedLine& l : lines) {
    KvTextRun runs[2];
    const int n = runsOf(l, runs);
    const long added = SendMessage(rtf, KV_TXT_APPEND, reinterpret_cast<intptr_t>(runs), n | (l.newLine ? KV_TXT_NEWLINE : 0));
    if (added > 0)
      position.fetch_add(static_cast<int32_t>(added), std::memory_order_relaxed);
    else
      keepHeld(runs, n, l.newLine);  // the window went meanwhile
  }
}

void CLog::send(const KvTextRun* runs, int n, bool newLine) {
  const KvWnd rtf = hwndRtf.load(std::memory_order_acquire);
  if (rtf && !IsWindowThread(rtf) && enqueue(runs, n, newLine)) return;
  if (keepHeld(runs, n, newLine)) return;
  // The window's own thread: what other threads logged before this line goes first.
  if (rtf) drain();
  const intptr_t flags = n | (newLine ? KV_TXT_NEWLINE : 0);
  const long added = SendMessage(hwndRtf.load(std::memory_order_acquire), KV_TXT_APPEND, reinterpret_cast<intptr_t>(runs), flags);
  if (added > 0) {
    position.fetch_add(static_cast<int32_t>(added), std::memory_order_relaxed);
    return;
  }
  // The window went away while the line was on its way: a hold began, or the log ended.
  bool empty = true;
  for (int i = 0; i < n; ++i) empty = empty && runs[i].len <= 0;
  if (!empty) keepHeld(runs, n, newLine);
}

// The severity-filtered forms: weight and colour from the severity, then a line or a run.
void CLog::filtered(const char* text, long len, lgSeverity sev, bool append) {
  if (sev < minSeverity()) return;
  setSeverity(sev);
  const long b = bold.load(std::memory_order_relaxed), c = colour.load(std::memory_order_relaxed);
  if (append)
    Append(text, len, b, c);
  else
    Add(text, len, b, c);
}

void CLog::Add(const char* text, lgSeverity sev) { filtered(text, text ? std::strlen(text) : 0, sev, false); }
void CLog::Add(CStr& text, lgSeverity sev) { filtered(text.GetBfr(), text.GetLength(), sev, false); }
void CLog::Append(const char* text, lgSeverity sev) { filtered(text, text ? std::strlen(text) : 0, sev, true); }
void CLog::Append(CStr& text, lgSeverity sev) { filtered(text.GetBfr(), text.GetLength(), sev, true); }

void CLog::Add(const char* text, long len, long bold, long colour) {
  if (static_cast<uint32_t>(colour) == kLogRed) errors.fetch_add(1, std::memory_order_relaxed);
  const CStr stamp = KvLogTimeOfDay() + " ";
  const KvTextRun runs[2] = {
      {stamp.GetBfr(), stamp.GetLength(), 0, kLogBlack},
      {text ? text : "", clampLen(text, len), bold ? 1 : 0, static_cast<uint32_t>(colour)},
  };
  send(runs, 2, true);
}

void CLog::Append(const char* text, long len, long bold, long colour) {
  const KvTextRun run{text ? text : "", clampLen(text, len), bold ? 1 : 0, static_cast<uint32_t>(colour)};
  send(&run, 1, false);
}

void CLog::Add() {
  const KvTextRun run{"\r\n", 2, 0, kLogBlack};
  send(&run, 1, false);
}

void CLog::Hold(bool hold) {
  if (hold) {
    {
      std::lock_guard lk(g_heldLock);
      if (g_held) return;  // already held
      g_held = new std::string;  // from now on, new lines go here
      // Lines still waiting for the window come before them.
      for (const QueuedLine& l : g_queue) {
        KvTextRun runs[2];
        appendHeld(runs, runsOf(l, runs), l.newLine);
      }
      g_queue.clear();
      g_drainPosted = false;
    }
    // The window's own text goes in front of whatever arrived since. Its length is asked for,
    // not assumed, so nothing is cut off.
    std::string text;
    if (KvWnd rtf = hwndRtf.load()) {
      const long len = SendMessage(rtf, KV_WM_GETTEXTLENGTH, 0, 0);
      if (len > 0) {
        text.resize(static_cast<size_t>(len) + 1);
        const long got = SendMessage(rtf, KV_WM_GETTEXT, static_cast<intptr_t>(text.size()), reinterpret_cast<intptr_t>(text.data()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
      }
    }
    {
      std::lock_guard lk(g_heldLock);
      if (!text.empty() && !g_held->empty()) text += '\n';
      g_held->insert(0, text);
    }
    End();
    position.store(0, std::memory_order_relaxed);
    return;
  }
  CGlobalData* g = KvGlobal();
  KvWnd parent = 0;
  intptr_t instance = 0;
  if (g && g->funs) parent = static_cast<KvWnd>(g->funs[4]), instance = g->funs[0];
  bool holding;
  {
    std::lock_guard lk(g_heldLock);
    holding = g_held != nullptr;
  }
  if (!holding) {
    // Not held: the log goes to the host's log parent, taking its text along, unless it is
    // there already. Making the window afresh would throw away what it shows.
    if (parent && parent == hwndOrg.load() && IsWindow(hwndRtf.load())) return;
    if (IsWindow(hwndRtf.load())) Hold(true);
  }
  Init(parent, instance);
  if (!hwndRtf.load()) return;  // no window to put the text back into: it stays held
  std::string* held;
  {
    std::lock_guard lk(g_heldLock);
    held = g_held;
    g_held = nullptr;
  }
  if (!held) return;
  if (!held->empty()) {
    // Lines logged since the window came back are already in it; the held text goes first.
    const int32_t len = held->size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(held->size());
    const KvTextRun run{held->data(), len, 0, kLogBlack};
    const long added = SendMessage(hwndRtf.load(), KV_TXT_APPEND, reinterpret_cast<intptr_t>(&run), 1 | KV_TXT_ATSTART);
    position.fetch_add(static_cast<int32_t>(added), std::memory_order_relaxed);
  }
  delete held;
}
