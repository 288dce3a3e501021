#pragma once
// The status strip (a status text, a progress bar and a small third panel, made inside a
// parent window the host supplies) and CStatus, the throttled progress reporter of long work.
// The strip's windows belong to the user-interface thread; work on other threads reaches them
// through the messages that the operation calls of the global data object send.

#include <cstdint>

#include "KvDll/Str.h"
#include "KvDll/Wnd.h"

class CStatusBar2 {
 public:
  CStatusBar2() = default;
  CStatusBar2(const CStatusBar2&) = delete;
  CStatusBar2& operator=(const CStatusBar2&) = delete;
  virtual ~CStatusBar2();

  // User-interface thread. Makes the three panels once (through the parent's
  // KV_WM_CREATECHILD) and lays them out again whenever the parent is resized.
  static void Init(KvWnd parent, intptr_t instance);
  // Undoes the subclassing; the panels stay.
  static void End();
  static void Resize();
  static void Resize(long, long) {}
  static long WndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);

  static KvWnd Parent() { return hwndOrg; }
  // [0] the status text, [1] the progress bar, [2] the third panel.
  static KvWnd hwndPanel[3];

 private:
  static KvWnd hwndOrg;
  static KvWndProc wpOrg;
};

class CStatus {
 public:
  int32_t reserved0 = 0;
  int32_t next = 0;  // the owner calls OperUpdate when its position reaches this
  CStr label;
  int32_t oper = 0;  // 0: no operation open
  float fraction = 0;
  int32_t reserved1 = 0;
  int32_t last = 0;  // KvTickCount() of the last update (its low 32 bits)
  int32_t reserved2 = 0;
  double step = 1.0;
  int32_t size = 1;
  int32_t start = 0;

  CStatus() = default;
  CStatus(const CStatus&) = delete;
  CStatus& operator=(const CStatus&) = delete;
  virtual ~CStatus();

  void OperLabel(const char* text);
  long OperInit(const char* name);
  long OperInit(CStr& name);
  void OperStart(long start, long stop, long step);
  void OperResize(long start, long stop);
  // 1 when the work is to stop (abort requested, or no operation open), else 0.
  long OperUpdate(long pos);
  void OperForceUpdate(long pos);
  void OperEnd();

 private:
  bool requireOpen(long site, long line) const;
};
