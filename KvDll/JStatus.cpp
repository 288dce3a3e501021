#include "KvDll/JStatus.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "KvDll/GlobalData.h"
#include "KvDll/Sync.h"
#include "KvDll/WndMsg.h"

KvWnd CStatusBar2::hwndPanel[3] = {0, 0, 0};
KvWnd CStatusBar2::hwndOrg = 0;
KvWndProc CStatusBar2::wpOrg = nullptr;

namespace {
const char* const kUnit = "KvDll/JStatus";
}

// ---------------------------------------------------------------------------------------
// CStatusBar2
// ---------------------------------------------------------------------------------------

CStatusBar2::~CStatusBar2() = default;

void CStatusBar2::Init(KvWnd parent, intptr_t) {
  End();
  if (!IsWindow(parent)) return;
  wpOrg = SetWindowProc(parent, WndProc);
  hwndOrg = parent;
  if (!IsWindow(hwndPanel[0])) {
    hwndPanel[0] = KvCreateChildWindow(parent, "STATIC", "Status", KV_WS_STATICEDGE);
    hwndPanel[2] = KvCreateChildWindow(parent, "STATIC", "", KV_WS_STATICEDGE);
    hwndPanel[1] = KvCreateChildWindow(parent, "msctls_progress32", "", KV_PBS_SMOOTH);
    const KvFont font{"MS Sans Serif", 8, 0};
    SendMessage(hwndPanel[0], KV_WM_SETFONT, reinterpret_cast<intptr_t>(&font), 0);
    SendMessage(hwndPanel[2], KV_WM_SETFONT, reinterpret_cast<intptr_t>(&font), 0);
  }
  Resize();
  for (KvWnd p : hwndPanel) KvShowWindow(p, true);
}

void CStatusBar2::End() {
  if (hwndOrg && GetWindowProc(hwndOrg) == WndProc) SetWindowProc(hwndOrg, wpOrg);
  hwndOrg = 0;
  wpOrg = nullptr;
}

void CStatusBar2::Resize() {
  const KvRect client = KvGetClientRect(hwndOrg);
  const int32_t w = client.width - 1, h = client.height - 1;
  int32_t statusWidth = w - 144, thirdWidth = 40;
  if (w - 144 < 100) {
    // Too narrow: the third panel gives up half of what the status text lacks.
    const int32_t d = (100 - (w - 144)) / 2;
    thirdWidth = 40 - d;
    statusWidth = w - (40 - d) - 100;
  }
  KvMoveWindow(hwndPanel[0], 0, 1, statusWidth, h);
  KvMoveWindow(hwndPanel[1], w - 142, 1, 100, h);
  KvMoveWindow(hwndPanel[2], w - 40, 1, thirdWidth, h);
  SendMessage(hwndPanel[2], KV_WM_PAINT, 1, 0);
}

long CStatusBar2::WndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  if (msg == KV_WM_SIZE) Resize();
  return CallWindowProc(wpOrg, wnd, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------
// CStatus
// ---------------------------------------------------------------------------------------

CStatus::~CStatus() { OperEnd(); }

void CStatus::OperLabel(const char* text) {
  label = text ? text : "";
  if (!label.IsEmpty()) label += ": ";
}

long CStatus::OperInit(const char* name) {
  if (!oper) {
    CGlobalData* g = KvGlobal();
    const CStr full = label + (name ? name : "");
    oper = g ? static_cast<int32_t>(g->StartOper(full.GetBfr(), 1)) : 1;
  }
  next = 0;
  fraction = 0;
  return oper;
}

long CStatus::OperInit(CStr& name) { return OperInit(name.GetBfr()); }

bool CStatus::requireOpen(long site, long line) const {
  if (oper) return true;
  KvErrReport(site, line, "Status not initialized", kUnit);
  return false;
}

void CStatus::OperStart(long start, long stop, long step) {
  if (!requireOpen(1, __LINE__)) return;
  OperResize(start, stop);
  this->step = std::max(static_cast<double>(step), 1.0);
  last = static_cast<int32_t>(KvTickCount());
}

void CStatus::OperResize(long start, long stop) {
  if (!requireOpen(2, __LINE__)) return;
  this->start = static_cast<int32_t>(start);
  const long long n = static_cast<long long>(stop) - start + 1;
  size = static_cast<int32_t>(std::clamp<long long>(n, 1, INT32_MAX));
}

long CStatus::OperUpdate(long pos) {
  CGlobalData* g = KvGlobal();
  if (g && g->abort.load(std::memory_order_relaxed)) return 1;
  if (!requireOpen(3, __LINE__)) return 1;
  const int32_t t = static_cast<int32_t>(KvTickCount());
  const int32_t elapsed = t - last;
  if (elapsed <= 0) {
    // Called again within one clock tick: the work is fast, report less often.
    step = std::max(step, 1.0) * 1.2;
  } else {
    const int32_t k = 100 / elapsed;
    step *= k > 0 ? std::sqrt(static_cast<double>(k)) : 1.5;
  }
  next = static_cast<int32_t>(std::clamp<double>(static_cast<double>(next) + std::trunc(step), INT32_MIN, INT32_MAX));
  if (elapsed <= 0) return 0;
  if (size < 1) size = 1;
  fraction = static_cast<float>(static_cast<double>(pos - start) / size);
  if (g) g->UpdateOper(fraction * 100.0f, oper);
  last = static_cast<int32_t>(KvTickCount());
  return 0;
}

void CStatus::OperForceUpdate(long pos) {
  if (!requireOpen(4, __LINE__)) return;
  if (size < 1) size = 1;
  fraction = static_cast<float>(static_cast<double>(pos - start) / size);
  if (CGlobalData* g = KvGlobal()) g->UpdateOper(fraction * 100.0f, oper);
}

void CStatus::OperEnd() {
  if (!oper) return;
  if (CGlobalData* g = KvGlobal()) g->EndOper(oper);
  oper = 0;
}
