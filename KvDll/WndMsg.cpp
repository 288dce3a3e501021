#include "KvDll/WndMsg.h"

KvWnd KvCreateChildWindow(KvWnd parent, const char* cls, const char* text, uint32_t style) {
  const KvCreateChild rec{cls, text, style};
  return static_cast<KvWnd>(SendMessage(parent, KV_WM_CREATECHILD, reinterpret_cast<intptr_t>(&rec), 0));
}

bool KvMoveWindow(KvWnd wnd, int32_t x, int32_t y, int32_t width, int32_t height) {
  const KvRect r{x, y, width, height};
  return SendMessage(wnd, KV_WM_MOVEWINDOW, reinterpret_cast<intptr_t>(&r), 0) != 0;
}

bool KvShowWindow(KvWnd wnd, bool show) { return SendMessage(wnd, KV_WM_SHOWWINDOW, show ? 1 : 0, 0) != 0; }

bool KvSetWindowText(KvWnd wnd, const char* text) {
  return SendMessage(wnd, KV_WM_SETTEXT, 0, reinterpret_cast<intptr_t>(text ? text : "")) != 0;
}

KvRect KvGetClientRect(KvWnd wnd) {
  KvRect r;
  SendMessage(wnd, KV_WM_GETCLIENTRECT, reinterpret_cast<intptr_t>(&r), 0);
  return r;
}

KvRect KvGetWindowRect(KvWnd wnd) {
  KvRect r;
  SendMessage(wnd, KV_WM_GETWINDOWRECT, reinterpret_cast<intptr_t>(&r), 0);
  return r;
}
