#pragma once
// The messages that windows of the runtime answer, and small wrappers that send them. A host
// (the Qt shell, the headless runner, a test) gives the runtime a parent window; the runtime
// asks that parent to create the children it needs (a rich-text log, static text panels, a
// progress bar) by class name, so every child lives on the parent's thread, and then drives
// the children only through these messages. Geometry is in pixels; a host keeps it.
//
// Numbers below 0x400 are the platform's own; the others sit away from the engine's 2024 to
// 2034.

#include <cstdint>

#include "KvDll/Wnd.h"

struct KvRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const KvRect&) const = default;
};

// Style bits of a child.
enum : uint32_t {
  KV_WS_VISIBLE = 1u << 0,
  KV_WS_VSCROLL = 1u << 1,
  KV_WS_SUNKEN = 1u << 2,      // sunken client edge
  KV_WS_STATICEDGE = 1u << 3,  // thin static edge
  KV_ES_READONLY = 1u << 4,
  KV_ES_MULTILINE = 1u << 5,
  KV_ES_AUTOVSCROLL = 1u << 6,
  KV_PBS_SMOOTH = 1u << 7,
};

struct KvCreateChild {
  const char* cls;   // "RichEdit", "STATIC", "msctls_progress32"
  const char* text;  // initial text, may be null
  uint32_t style;
};

struct KvFont {
  const char* face;
  int32_t size;  // points
  int32_t bold;
};

// A run of text for a rich-text window. Colour is 0x00BBGGRR.
struct KvTextRun {
  const char* text;
  int32_t len;
  int32_t bold;
  uint32_t colour;
};

enum : unsigned {
  KV_WM_SIZE = 0x0005,           // to a window whose client area changed: lp = width | height << 16
  KV_WM_SETTEXT = 0x000C,        // lp = const char*; answers 1
  KV_WM_GETTEXT = 0x000D,        // wp = buffer size, lp = char*; answers the bytes copied (NUL added)
  KV_WM_GETTEXTLENGTH = 0x000E,  // answers the text's length in bytes
  KV_WM_PAINT = 0x000F,          // repaint, frame included
  KV_WM_SHOWWINDOW = 0x0018,     // wp = show (0 or 1)
  KV_WM_SETFONT = 0x0030,        // wp = const KvFont*

  KV_PBM_SETRANGE = 0x0401,  // wp = low, lp = high
  KV_PBM_SETPOS = 0x0402,    // wp = position; answers the previous one
  KV_PBM_SETSTEP = 0x0404,   // wp = step

  KV_WM_CREATECHILD = 0x7F00,    // to a parent: wp = const KvCreateChild*; answers the new window or 0
  KV_WM_MOVEWINDOW = 0x7F01,     // wp = const KvRect*, in the parent's client co-ordinates
  KV_WM_GETCLIENTRECT = 0x7F02,  // wp = KvRect* receiving (0, 0, width, height); answers 1
  KV_WM_GETWINDOWRECT = 0x7F03,  // wp = KvRect* receiving the place in the parent; answers 1
  // To a rich-text window: wp = const KvTextRun*, lp = number of runs | flags. The runs are
  // added as one piece, so a line from one thread is never split by another's. Answers the
  // number of characters added.
  KV_TXT_APPEND = 0x7F10,
  KV_TXT_CLEAR = 0x7F11,
};

// Flags of KV_TXT_APPEND, above the run count.
inline constexpr intptr_t KV_TXT_COUNTMASK = 0xFFFF;
// A "\n" goes first unless the window is still empty.
inline constexpr intptr_t KV_TXT_NEWLINE = intptr_t{1} << 16;
// Insert before the present text instead of after it (whole lines: a "\n" parts the two
// when both are there).
inline constexpr intptr_t KV_TXT_ATSTART = intptr_t{1} << 17;

// Wrappers; each answers as the message does (0 for a window that does not exist).
KvWnd KvCreateChildWindow(KvWnd parent, const char* cls, const char* text, uint32_t style);
bool KvMoveWindow(KvWnd wnd, int32_t x, int32_t y, int32_t width, int32_t height);
bool KvShowWindow(KvWnd wnd, bool show);
bool KvSetWindowText(KvWnd wnd, const char* text);
KvRect KvGetClientRect(KvWnd wnd);
KvRect KvGetWindowRect(KvWnd wnd);
