// Frames: who gets one, when, of what size, and what they show; then the component on the real
// engine with a generator, the test module's trigger buffer and a display of the test's own,
// including a For Ever run with setting writes while the worker draws and the producer
// unloaded in the middle.
#include <unistd.h>

#include <QPainter>
#include <algorithm>
#include <random>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"
#include "KvCore/tests/ModuleEngineRig.h"
#include "ModPlot/tests/PlotRig.h"

using namespace plottest;

namespace {

// Looked at by hand: KV_PLOT_GRAB=folder keeps each drawn view as a PNG there.
void grab(const QImage& img, const char* name) {
  if (const char* dir = std::getenv("KV_PLOT_GRAB")) img.save(QString(dir) + "/" + name + ".png");
}

constexpr QRgb kRed = 0xFF0000;  // ch colour 255 (r + 256 g + 65536 b) drawn as pure red

// The pixel row of value v on input k of d, as the display's 8 divisions place it.
double rowOf(Direct& d, int k, double v, int h) {
  const std::string p = "ch" + std::to_string(k) + ".";
  return h / 2.0 - (d.get(p + "vposition") + (v - d.get(p + "voffset")) / d.get(p + "vscale")) * h / 8;
}

}  // namespace

// Frames go only to a window answering as a display (not 0, a stale id, another window), at
// the display's size within the limit; a display without an area gets none.
TEST(PlotFrames, OnlyADisplayGetsFramesOfItsSizeWithinTheLimit) {
  EnsureGui();
  TestDisplay foreign(120, 80, false);
  KvWnd stale;
  {
    TestDisplay gone(120, 80);
    stale = gone.wnd;
  }
  const struct {
    const char* what;
    int w, h;  // of a display of the test's own; 0 x 0 with `other`
    KvWnd other;
    QSize frame;  // empty: none
  } rows[] = {{"none", 0, 0, 0, {}},          {"foreign", 0, 0, foreign.wnd, {}}, {"stale", 0, 0, stale, {}},
              {"unknown", 0, 0, 0x7FFFFFF0, {}}, {"display", 120, 80, 0, {120, 80}}, {"wide", 20000, 20, 0, {16384, 20}},
              {"no area", 0, 100, 0, {}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Direct d;
    TestDisplay disp(r.w, r.h);
    CBfr b;
    Fill(b, {1, 2, 3});
    ASSERT_EQ(d.set("hwnd", r.other ? r.other : r.w || r.h ? disp.wnd : 0), cmdDone);
    d.pass(1, &b);
    PumpMessages();
    EXPECT_EQ(disp.frames, r.frame.isEmpty() ? 0 : 2) << "the window's write, then the pass";
    if (!r.frame.isEmpty()) {
      EXPECT_EQ(disp.last.size(), r.frame);
    }
  }
  EXPECT_EQ(foreign.frames, 0);
}

TEST(PlotFrames, IdleChangesAreGatheredAndChangesDuringAPassWaitForItsFrame) {
  EnsureGui();
  Direct d;
  TestDisplay disp(160, 120);
  CBfr b;
  Fill(b, {0, 1, 0, -1});
  d.pass(1, &b);  // no window yet
  ASSERT_EQ(d.set("hwnd", disp.wnd), cmdDone);
  EXPECT_EQ(disp.frames, 0) << "drawn from the owner's queue, not inside the write";
  PumpMessages();
  EXPECT_EQ(disp.frames, 1);
  for (const char* k : {"ch1.vposition", "main.hoffset", "cursortype"}) ASSERT_EQ(d.set(k, 1), cmdDone);
  PumpMessages();
  EXPECT_EQ(disp.frames, 2) << "three idle writes, one frame";
  const intptr_t idleSerial = disp.serial;
  d.plot.ActMsg("#acq.start");
  ASSERT_EQ(d.set("ch1.vscale", 5), cmdDone);
  PumpMessages();
  EXPECT_EQ(disp.frames, 2) << "a change during a pass waits";
  d.step(1);
  d.plot.ActMsg("#acq.end");
  PumpMessages();
  EXPECT_EQ(disp.frames, 3);
  EXPECT_GT(disp.serial, idleSerial);
  // Refused values draw nothing.
  EXPECT_EQ(d.set("ch1.vscale", -1), cmdBadValue);
  PumpMessages();
  EXPECT_EQ(disp.frames, 3);
}

// Each pixel column shows at least the extremes of its samples, and nothing beyond the
// record's extremes; a one-sample spike in 10 M samples shows; NaN breaks nothing.
TEST(PlotFrames, ColumnsOfTheImageSpanTheirSamples) {
  EnsureGui();
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0, 1);
  const struct {
    enumBfrType type;
    long n;
    int mode;
  } rows[] = {{bfrR8, 100000, 1}, {bfrI2, 10'000'000, 1}, {bfrR8, 10'000'000, 0}, {bfrR4, 5000, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + std::to_string(r.n));
    Direct d;
    std::vector<double> v(static_cast<size_t>(r.n));
    for (double& x : v) x = std::round(noise(rng) * 100);
    const long spike = r.n * 3 / 7;
    v[static_cast<size_t>(spike)] = 2000;
    if (r.type == bfrR8) v[10] = NAN;
    CBfr b;
    Fill(b, v, r.type);
    b.interval = 1e-6;
    ASSERT_EQ(d.set("mode", r.mode), cmdDone);
    ASSERT_EQ(d.set("ch1.color", 255), cmdDone);
    d.pass(1, &b);
    const int w = 800, h = 400;
    QImage img;
    ASSERT_TRUE(d.plot.Render(img, w, h));
    grab(img, r.mode ? "trend" : "time");
    // The samples of each column, by the trend's map or the time map (autos: whole record).
    const double perSample = r.mode == 1 ? static_cast<double>(w) / r.n : 1e-6 * w / (10 * d.get("main.hscale"));
    std::vector<double> lo(w, HUGE_VAL), hi(w, -HUGE_VAL);
    for (long i = 0; i < r.n; ++i) {
      const double px = perSample * i;
      // A sample on a column boundary may fall either side by the last bit of the map.
      const double frac = px - std::floor(px);
      if (px >= w || !std::isfinite(v[i]) || frac < 1e-9 || frac > 1 - 1e-9) continue;
      const size_t c = static_cast<size_t>(px);
      lo[c] = std::min(lo[c], v[i]), hi[c] = std::max(hi[c], v[i]);
    }
    const double top = rowOf(d, 1, 2000, h), bottom = rowOf(d, 1, *std::min_element(lo.begin(), lo.end()), h);
    int spikeCol = static_cast<int>(perSample * spike), checked = 0;
    for (int c = 2; c < w - 2; ++c) {
      if (lo[c] > hi[c]) continue;
      const std::vector<int> rows = RowsOf(img, c, kRed);
      ASSERT_FALSE(rows.empty()) << "column " << c;
      EXPECT_LE(rows.front(), std::ceil(rowOf(d, 1, hi[c], h)) + 1) << "column " << c;
      EXPECT_GE(rows.back(), std::floor(rowOf(d, 1, lo[c], h)) - 1) << "column " << c;
      EXPECT_GE(rows.front(), std::floor(top) - 1) << "column " << c;
      EXPECT_LE(rows.back(), std::ceil(bottom) + 1) << "column " << c;
      ++checked;
    }
    EXPECT_GT(checked, w / 2);
    EXPECT_LE(RowsOf(img, spikeCol, kRed).front(), std::ceil(top) + 1) << "the spike reaches its row";
  }
}

// Every view and cursor draws (looked at through KV_PLOT_GRAB), and the waveform colour is
// where the view puts it.
TEST(PlotFrames, ViewsAndCursorsDraw) {
  EnsureGui();
  const struct {
    const char* name;
    enumBfrType type;
    int mode, cursors;
    bool empty;
  } rows[] = {{"time-cursors", bfrR8, 0, 7, false}, {"xy", bfrXY, 0, 4, false},         {"intervals", bfrIntervals, 0, 1, false},
              {"trend-xy", bfrXY, 1, 2, false},     {"histogram", bfrR8, 2, 0, false},   {"histogram-empty", bfrR8, 2, 0, true},
              {"time-empty", bfrI2, 0, 7, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Direct d;
    CBfr b;
    std::vector<double> v;
    if (!r.empty)
      for (int i = 0; i < 400; ++i) v.push_back(std::sin(i / 20.0) + (i % 50 == 0 ? 0.3 : 0));
    Fill(b, v, r.type);
    b.interval = 1e-3;
    for (const auto& [k, x] : std::vector<std::pair<const char*, double>>{
             {"mode", r.mode}, {"cursortype", r.cursors}, {"ch1.color", 255}, {"histo.bins", 20}, {"cursor.x2", 0.25}})
      EXPECT_EQ(d.set(k, x), cmdDone) << k;
    d.pass(1, &b);
    QImage img;
    ASSERT_TRUE(d.plot.Render(img, 640, 400));
    grab(img, r.name);
    long red = 0;
    for (int x = 0; x < img.width(); ++x) red += static_cast<long>(RowsOf(img, x, kRed).size());
    EXPECT_TRUE(r.empty ? red == 0 : red > (r.mode == 2 ? 640 * 40 : 300)) << red;
  }
}

namespace {

class Rig : public ModuleEngineRig {
 public:
  std::string exec(const std::string& line, int want = 0) { return answer(line, want); }
  double num(const std::string& line) { return CStr(exec(line).c_str()).Str2Num(); }
};

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

// For Ever: each pass asks for the next, as the run control does, while this (the
// user-interface) thread writes settings and presses keys; halfway the producer is unloaded
// between two passes and the run goes on. A trigger buffer on the second input holds no
// samples: one warning for all passes. Run under ThreadSanitizer too.
TEST(PlotEngine, ForEverWithSettingWritesAndTheProducerUnloadedHalfway) {
  EnsureGui();
  Rig rig;
  TestDisplay disp(400, 300);
  for (const char* line : {"load gen = siggen", "gen.reclen = 20000", "load t = test.src", "load p = plot", "link p.in.ch1 = gen.out",
                           "link p.in.ch2 = t.trg", "p.cursortype = 7"})
    rig.exec(line);
  rig.exec("p.hwnd = " + std::to_string(disp.wnd));
  int passes = 0, limit = 20;
  rig.engine.onAfterAcq = [&](long) {
    if (++passes < limit) rig.engine.Acq().run(1);
  };
  std::vector<std::string> changed;
  rig.engine.onValueChanged = [&](const char* c, const char* n) { changed.push_back(std::string(c) + "." + n); };
  auto forEver = [&] {
    rig.idle.Reset();
    rig.engine.Acq().run(1);
    KvWaitable* w = &rig.idle;
    for (int k = 0; WaitPumping(&w, 1, 1) != 0; ++k) {
      CStr ignored;
      // Writes land between two steps of a pass; refusals are fine too (the engine may be busy).
      rig.engine.Execute(("p.ch1.vposition = " + std::to_string((k % 7) * 0.1)).c_str(), ignored);
      rig.engine.Execute(k % 2 ? "p.keydown = 39" : "p.keydown = 9", ignored);
      rig.engine.Execute(("p.mode = " + std::to_string(k % 3)).c_str(), ignored);
      rig.engine.Execute("p.ch1.mean?", ignored);
      ASSERT_LT(k, 1000000);
    }
  };
  forEver();
  EXPECT_EQ(passes, 20);
  EXPECT_EQ(rig.num("p.ch1.count?"), 20000);
  EXPECT_NEAR(rig.num("p.main.hscale"), 2e-3, 1e-12) << "20000 samples of 1 us";
  // The generator's data was released after the plot's step: the plot answers from its copy.
  EXPECT_EQ(rig.engine.Components().PortBuffer(rig.engine.Components().Find("gen"), "out")->data, nullptr);
  EXPECT_NE(std::find(changed.begin(), changed.end(), "p.ch1.vscale"), changed.end()) << "autos are told";
  rig.exec("unload gen");
  EXPECT_EQ(rig.num("p.ch1.count?"), 0);
  EXPECT_NE(std::find(changed.begin(), changed.end(), "p.src"), changed.end());
  limit = 40;
  forEver();
  PumpMessages();
  EXPECT_EQ(passes, 40);
  EXPECT_GE(disp.frames, 40);
  EXPECT_EQ(disp.last.size(), QSize(400, 300));
  EXPECT_EQ(occurrences(rig.log(), "buffer type 81 not supported"), 1u) << rig.log();
  EXPECT_EQ(rig.log().find("Acquisition aborted"), std::string::npos) << rig.log();
  rig.engine.onValueChanged = nullptr;  // `changed` goes before the rig
}
