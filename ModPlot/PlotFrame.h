#pragma once
// The hand-over of a rendered plot frame from the plot module to its display window. The module
// renders on the acquisition thread (or the user-interface thread when idle) and sends the frame
// to the window named by its "hwnd" setting; the display keeps a shallow copy and repaints.
// Both sides include this header; nothing else is shared between Plot.bin and libKvPlot.so.

#include <cstdint>

class QImage;

// Private window messages of a plot display, above the engine's own (2024-2034).
enum : unsigned {
  // Answers KV_PLOT_DISPLAY_MAGIC from a plot display; any other window answers something else
  // (0 from a stale id or a window that does not know the message), and then gets no frame.
  KV_PLOT_WM_IDENTIFY = 2101,
  // lp = const QImage*, valid for the call only: the display copies it (shallow) and answers 1.
  // wp = the frame's serial number, rising per component, so a late frame never replaces a newer.
  KV_PLOT_WM_FRAME = 2102,
};

inline constexpr intptr_t KV_PLOT_DISPLAY_MAGIC = 0x504C4F54;  // "PLOT"
