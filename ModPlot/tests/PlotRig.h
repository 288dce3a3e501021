#pragma once
// What the plot tests share: a component made directly (no engine) with the notifications and
// releases it raises, records of every stored type, a display window of the test's own, and a
// QGuiApplication on the offscreen platform for the tests that draw.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "KvDll/WndMsg.h"
#include "ModPlot/Plot.h"
#include "ModPlot/PlotFrame.h"

namespace plottest {

inline std::vector<std::string> g_notes;  // ValueChanged names the component raised
inline std::vector<void*> g_released;     // slots it released

inline void EnsureGui() {
  static int argc = 1;
  static char arg0[] = "ModPlotTests";
  static char* argv[] = {arg0, nullptr};
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  new QGuiApplication(argc, argv);  // for the whole process: text needs one
}

struct Direct {
  CGlobalData g;
  KvCreateBlock block{"p", &g, nullptr, ""};
  CPlot plot;

  explicit Direct(int inputs = 4) : plot(hook(g, block), inputs) {}
  static const KvCreateBlock& hook(CGlobalData& g, const KvCreateBlock& b) {
    g.notify = [](const char*, const char* what) { g_notes.emplace_back(what); };
    g.release = [](void* slot) { g_released.push_back(slot); };
    g_notes.clear();
    g_released.clear();
    return b;
  }
  CMDERR set(const std::string& n, double x) {  // x as the key's own type
    VPARAM d, v;
    plot.Settings(parDescribe, n.c_str(), d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    return plot.Settings(parWrite, n.c_str(), v);
  }
  double get(const std::string& n) {
    VPARAM v;
    if (plot.Settings(parRead, n.c_str(), v) != cmdDone) return -12345.678;  // no such key
    return v.vt == vtI4 ? v.value.i4 : v.value.r8;
  }
  std::string text(const std::string& n) {
    CStr s;
    VPARAM v;
    v.value.str = &s;
    plot.Settings(parRead, n.c_str(), v);
    return s.GetBfr();
  }
  void connect(int input, CBfr* b) {
    VPARAM v;
    v.value.p = b;
    ASSERT_EQ(plot.Settings(parWrite, ("in.ch" + std::to_string(input)).c_str(), v), cmdDone);
  }
  void step(int input) { plot.ActMsg(("in.ch" + std::to_string(input)).c_str()); }
  void pass(int input, CBfr* b) {  // connects b, then one pass with its step
    connect(input, b);
    plot.ActMsg("#acq.start");
    step(input);
    plot.ActMsg("#acq.end");
  }
};

// A record of type t holding vals (75: x = 2i + 1; 76: intervals [2i + 1, 2i + 2]), tag raised.
inline void Fill(CBfr& b, const std::vector<double>& vals, enumBfrType t = bfrR8, double scale = 1, double offset = 0) {
  b.SetBfrType(t);
  b.SetSize(static_cast<long>(vals.size()));
  for (size_t i = 0; i < vals.size(); ++i) {
    const double v = vals[i];
    switch (t) {
      case bfrI2: static_cast<int16_t*>(b.data)[i] = static_cast<int16_t>(v); break;
      case bfrI4: static_cast<int32_t*>(b.data)[i] = static_cast<int32_t>(v); break;
      case bfrR4: static_cast<float*>(b.data)[i] = static_cast<float>(v); break;
      case bfrI1: static_cast<int8_t*>(b.data)[i] = static_cast<int8_t>(v); break;
      case bfrU1: static_cast<uint8_t*>(b.data)[i] = static_cast<uint8_t>(v); break;
      default:
        static_cast<double*>(b.data)[i] = v;
        if (b.data2) static_cast<double*>(b.data2)[i] = static_cast<double>(i) * 2 + 1;
        if (b.data3) static_cast<double*>(b.data3)[i] = static_cast<double>(i) * 2 + 2;
    }
  }
  b.count = b.valid = static_cast<int32_t>(vals.size());
  b.scale = scale;
  b.offset = offset;
  ++b.tag;
}

// A window of the test's thread that answers as a plot display of w x h pixels (or, with
// display false, as any other window) and keeps the frames it is given.
struct TestDisplay {
  KvWnd wnd = 0;
  int w, h;
  bool display;
  int frames = 0;
  intptr_t serial = 0;
  QImage last;

  TestDisplay(int w, int h, bool display = true) : w(w), h(h), display(display) { wnd = CreateWindow(&proc, this); }
  ~TestDisplay() { DestroyWindow(wnd); }
  static long proc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
    auto* d = static_cast<TestDisplay*>(GetWindowUser(wnd));
    if (!d || !d->display) return 0;
    if (msg == KV_PLOT_WM_IDENTIFY) return static_cast<long>(KV_PLOT_DISPLAY_MAGIC);
    if (msg == KV_WM_GETCLIENTRECT) *reinterpret_cast<KvRect*>(wp) = KvRect{0, 0, d->w, d->h};
    if (msg == KV_PLOT_WM_FRAME) d->last = *reinterpret_cast<const QImage*>(lp), d->serial = wp, ++d->frames;
    return msg == KV_WM_GETCLIENTRECT || msg == KV_PLOT_WM_FRAME;
  }
};

// The rows of image column x whose colour is c, above the bottom band of scale texts.
inline std::vector<int> RowsOf(const QImage& img, int x, QRgb c) {
  std::vector<int> rows;
  for (int y = 0; y < img.height() - 24; ++y)
    if ((img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF)) rows.push_back(y);
  return rows;
}

}  // namespace plottest
