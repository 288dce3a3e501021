#pragma once
// Windows for a program without a display: a parent that creates the children the runtime
// asks for and keeps their geometry, text and progress state as a display would. A rich-text
// child keeps its whole text (so a held log can be read back) and echoes every line added to
// it to a stream, the console log of the headless runner; colours become terminal escapes
// when asked for. Everything here runs on the thread that created the parent.

#include <cstdint>
#include <cstdio>
#include <string>

#include "KvDll/WndMsg.h"

struct HeadlessWndState {
  std::string cls;
  std::string text;
  uint32_t style = 0;
  KvRect rect;
  bool visible = false;
  std::string fontFace;
  int32_t fontSize = 0;
  int32_t rangeLow = 0, rangeHigh = 100, pos = 0, step = 10;  // progress bars
  int paints = 0;
};

// A parent whose client area is width x height. Its rich-text children echo to out (none
// when null), with colour escapes when colour is true.
KvWnd KvCreateHeadlessParent(int32_t width, int32_t height, FILE* out = nullptr, bool colour = false);
// Destroys the parent and its children; ends an open console line with a line feed.
void KvDestroyHeadlessParent(KvWnd parent);
// Ends the console's open log line with a line feed, so that other output written to the
// same terminal starts on a line of its own.
void KvHeadlessEndLine(KvWnd parent);
// Changes the client size and sends KV_WM_SIZE, as a display does when the user resizes.
void KvHeadlessResize(KvWnd wnd, int32_t width, int32_t height);
// A copy of the state of a window made here; false for any other window.
bool KvHeadlessState(KvWnd wnd, HeadlessWndState& out);
// The children of a headless parent in creation order, with the given class ("" = any).
int KvHeadlessChildren(KvWnd parent, const char* cls, KvWnd* out, int max);
