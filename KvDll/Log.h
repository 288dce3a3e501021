#pragma once
// CLog: the process's log, a rich-text window created inside a parent window that the host
// supplies. Lines carry the time of day and a colour by severity. Any thread may log: a line
// from another thread than the window's is queued whole and the window's thread takes all
// that wait at once, so lines from several threads stay whole, each thread's lines keep their
// order, and a worker does not wait for the window per line (only when very many wait).
//
// While the log is held (the host moves its pane) nothing is lost: the text is kept, lines
// logged meanwhile are added to it, and all of it is put back when the window is made again.

#include <atomic>
#include <cstdint>

#include "KvDll/Str.h"
#include "KvDll/Wnd.h"

enum lgSeverity : int32_t {
  LogDebug = -1,
  LogMsg = 0,
  LogInfo = 1,
  LogWarn = 2,
  LogErr = 3,
  LogAbort = 4,
  LogSys = 5,
  LogSysErr = 6,
};

inline constexpr uint32_t kLogBlack = 0x000000;
inline constexpr uint32_t kLogOrange = 0x00A0FF;  // RGB (255, 160, 0), red in the low byte
inline constexpr uint32_t kLogRed = 0x0000FF;

class CLog {
 public:
  std::atomic<int32_t> position{0};  // characters written into the window so far
  std::atomic<int32_t> bold{0};
  std::atomic<uint32_t> colour{kLogBlack};
  // Lines added in the error colour so far, shown or held: lets a batch runner tell that
  // something reported an error without reading the log's text.
  std::atomic<int32_t> errors{0};

  CLog() = default;
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;
  virtual ~CLog();

  // User-interface thread. Makes the rich-text window fill parent (created once, through the
  // parent's KV_WM_CREATECHILD) and follows the parent's size.
  static void Init(KvWnd parent, intptr_t instance);
  static void End();
  static KvWnd Window() { return hwndRtf.load(std::memory_order_acquire); }

  // Filtered by the global data object's minimum severity (2 without one).
  void Add(const char* text, lgSeverity sev);
  void Add(CStr& text, lgSeverity sev);
  void Append(const char* text, lgSeverity sev);
  void Append(CStr& text, lgSeverity sev);
  // Unfiltered: a new line (time stamp, then the text) or a run at the end of the current one.
  void Add(const char* text, long len, long bold, long colour);
  void Append(const char* text, long len, long bold, long colour);
  void Add();  // "\r\n"

  // User-interface thread. true: keep the text and destroy the window. false: make the window
  // again in the host's log parent (start-up record entry 4) and put the text back; without
  // a hold, a log shown in another parent moves there with its text, and one already there
  // stays as it is.
  void Hold(bool hold);

  static long WndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);

 private:
  static std::atomic<KvWnd> hwndOrg;
  static std::atomic<KvWndProc> wpOrg;
  static std::atomic<KvWnd> hwndRtf;

  bool setSeverity(long sev);
  void filtered(const char* text, long len, lgSeverity sev, bool append);
  void send(const struct KvTextRun* runs, int n, bool newLine);
  bool keepHeld(const struct KvTextRun* runs, int n, bool newLine);
  bool enqueue(const struct KvTextRun* runs, int n, bool newLine);
  void drain();
};

// The time of day as the log writes it, "HH:MM:SS".
CStr KvLogTimeOfDay();
