// The plot component made directly: its keys and refusals, the copies of its inputs, the
// statistics and histogram against sums of the test's own, the automatic scales, the cursors.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "ModPlot/tests/PlotRig.h"

using namespace plottest;

TEST(PlotKeys, VariantsGiveTheirNumberOfInputs) {
  const struct {
    const char* variant;
    int inputs;
  } rows[] = {{"", 4}, {nullptr, 4}, {"1", 1}, {"8", 8}, {"16", 16}, {"0", 0}, {"17", 0}, {"08", 0}, {"4x", 0}, {"x", 0}, {"-2", 0}};
  for (const auto& r : rows) EXPECT_EQ(CPlot::InputsOf(r.variant), r.inputs) << (r.variant ? r.variant : "(null)");
}

TEST(PlotKeys, DefaultsWritesAndRefusals) {
  // key, default, a value it takes, values it refuses (answer 2, value kept).
  const struct {
    const char* key;
    double def, good;
    std::vector<double> bad;
  } rows[] = {
      {"hwnd", 0, 77, {}},
      {"keydown", 0, 65, {-1}},
      {"main.hscale", 1e-3, 5e-6, {0, -1e-3, NAN, INFINITY}},
      {"main.hoffset", 0, -2.5, {NAN, -INFINITY}},
      {"main.hscale.auto", 1, 0, {2, -1}},
      {"main.hoffset.auto", 1, 0, {7}},
      {"cursortype", 0, 7, {8, -1}},
      {"mode", 0, 2, {3, -1}},
      {"histo.bins", 100, 10000, {0, 10001}},
      {"cursor.x1", 2e-3, -1, {NAN}},
      {"cursor.y2", 1, 3, {INFINITY}},
      {"ch2.vscale", 1, 0.2, {0, -5, NAN}},
      {"ch2.voffset", 0, 1.5, {NAN}},
      {"ch2.vposition", 0, -3, {INFINITY}},
      {"ch3.vscale.auto", 1, 0, {3}},
      {"ch3.voffset.auto", 1, 0, {-1}},
      {"ch1.color", 255 + 256 * 255, 0x123456, {-1, 0x1000000}},
      {"ch4.visible", 1, 0, {2}},
      {"ch1.select", 0, 3, {4, -1}},
      {"CH2.VScale", 1, 2, {0}},  // names ignore case
  };
  for (const auto& r : rows) {
    Direct d;
    SCOPED_TRACE(r.key);
    EXPECT_EQ(d.get(r.key), r.def);
    for (const double b : r.bad) EXPECT_EQ(d.set(r.key, b), cmdBadValue) << b;
    EXPECT_EQ(d.get(r.key), r.def);
    EXPECT_EQ(d.set(r.key, r.good), cmdDone);
    EXPECT_EQ(d.get(r.key), r.good);
  }
}

TEST(PlotKeys, QueriesAndListsAreReadOnlyAndUnknownNamesAreNotServed) {
  Direct d(3);
  for (const char* q : {"ch1.count?", "ch1.mean?", "ch2.histo?", "cursor.dx?", "cursor.dy?", "settings", "iports", "symbol", "version", "gui.names"})
    EXPECT_EQ(d.set(q, 1), cmdBadValue) << q;
  for (const char* n : {"ch4.vscale", "ch0.vscale", "in.ch4", "in.ch01", "ch1.nothing", "main.nothing", "chx.vscale"}) {
    VPARAM v;
    EXPECT_EQ(d.plot.Settings(parRead, n, v), cmdNotServed) << n;
  }
  EXPECT_EQ(d.text("iports"), "in.ch1,in.ch2,in.ch3");
  EXPECT_EQ(d.text("oports"), "");
  EXPECT_EQ(d.text("version"), "1.0.0");
  EXPECT_EQ(d.text("gui.names"), "plot,setup");
  EXPECT_EQ(d.text("plot.class"), "KvPlot.Plot");
  EXPECT_EQ(d.text("setup.class"), "KvPlot.Setup");
  EXPECT_EQ(d.describe("in.ch2").kind, kindInPort);
  // The symbol: a box named Plot and one input pin per port.
  const std::string sym = d.text("symbol");
  EXPECT_NE(sym.find("box,"), std::string::npos);
  EXPECT_NE(sym.find(",Plot,"), std::string::npos);
  for (int k = 1; k <= 3; ++k) EXPECT_NE(sym.find("," + std::to_string(k) + ",in.ch" + std::to_string(k) + ";"), std::string::npos);
  EXPECT_EQ(sym.find("in.ch4"), std::string::npos);
}

TEST(PlotKeys, SettingsListHoldsTheStateOnlyAndEveryEntryReads) {
  Direct d(2);
  const std::string list = d.text("settings");
  std::vector<std::string> keys;
  for (size_t at = 0; at <= list.size();) {
    const size_t c = std::min(list.find(',', at), list.size());
    keys.push_back(list.substr(at, c - at));
    at = c + 1;
  }
  // A stored window id would draw elsewhere next run; a key press is no state; nor are panels'.
  for (const std::string& k : keys) {
    EXPECT_NE(d.get(k), -12345.678) << k;
    for (const char* never : {"hwnd", "keydown", "select", "plot.", "setup.", "?"}) EXPECT_EQ(k.find(never), std::string::npos) << k;
  }
  for (const char* want : {"main.hscale", "main.hoffset.auto", "cursortype", "mode", "histo.bins", "cursor.y2", "ch1.vscale",
                           "ch2.visible", "ch2.color", "ch1.voffset.auto", "ch2.vposition"})
    EXPECT_NE(std::find(keys.begin(), keys.end(), want), keys.end()) << want;
}

// Statistics of every stored type against the test's own sums: population std-dev, NaN and
// infinities skipped, a negative scale swapping the extremes.
TEST(PlotStore, StatisticsAndHistogramOfEveryTypeAgainstIndependentSums) {
  const struct {
    enumBfrType type;
    std::vector<double> raw;
    double scale, offset;
    int bins;
  } rows[] = {
      {bfrI2, {-32768, 32767, 0, 12, -7, 100}, 1e-3, 0.5, 4},
      {bfrI4, {5, 5, 5, 6, 1000000, -3}, -2, 1, 3},
      {bfrR4, {0.5f, -1.25f, NAN, 3, INFINITY, 2}, 1, 0, 5},
      {bfrR8, {1, NAN, -INFINITY, 4, 9, 16, 25}, 1, 0, 2},
      {bfrI1, {-128, 127, 0, 1}, 1, 0, 10},
      {bfrU1, {0, 255, 128, 7}, 0.5, -1, 7},
      {bfrXY, {3, 1, 4, 1, 5, 9, 2, 6}, 1, 0, 3},
      {bfrIntervals, {2.5, NAN, 7.5}, 2, 0, 2},
      {bfrR8, {4, 4, 4}, 1, 0, 100},  // equal values: one bin
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + std::to_string(r.raw.size()));
    Direct d;
    CBfr b;
    Fill(b, r.raw, r.type, r.scale, r.offset);
    ASSERT_EQ(d.set("histo.bins", r.bins), cmdDone);
    d.pass(1, &b);
    std::vector<double> v;
    for (double x : r.raw) {
      x = (r.type == bfrR4 ? static_cast<float>(x) : x) * r.scale + r.offset;
      if (std::isfinite(x)) v.push_back(x);
    }
    const double n = static_cast<double>(v.size());
    const double mean = std::accumulate(v.begin(), v.end(), 0.0L) / n;
    long double sq = 0;
    for (const double x : v) sq += (x - mean) * (x - mean);
    const double lo = *std::min_element(v.begin(), v.end()), hi = *std::max_element(v.begin(), v.end());
    EXPECT_EQ(d.get("ch1.count?"), n);
    EXPECT_NEAR(d.get("ch1.mean?"), mean, 1e-12 * std::max(1.0, std::fabs(mean)));
    EXPECT_NEAR(d.get("ch1.stddev?"), std::sqrt(sq / n), 1e-9 * std::max(1.0, hi - lo));
    EXPECT_EQ(d.get("ch1.min?"), lo);
    EXPECT_EQ(d.get("ch1.max?"), hi);
    std::vector<long> bins(hi > lo ? static_cast<size_t>(r.bins) : 1, 0);
    for (const double x : v) {
      size_t k = 0;
      while (k + 1 < bins.size() && x >= lo + (hi - lo) * static_cast<double>(k + 1) / r.bins) ++k;
      ++bins[k];
    }
    std::string want;
    for (const long c : bins) want += (want.empty() ? "" : ",") + std::to_string(c);
    EXPECT_EQ(d.text("ch1.histo?"), want);
  }
}

TEST(PlotStore, CopiesOnANewTagOnlyReleasesEveryStepAndDropsAnUnlinkedCopy) {
  Direct d;
  CBfr b;
  Fill(b, {1, 2, 3});
  d.pass(2, &b);
  EXPECT_EQ(d.get("ch2.max?"), 3);
  ASSERT_EQ(g_released.size(), 1u);
  VPARAM slot;
  d.plot.Settings(parRead, "in.ch2", slot);
  EXPECT_EQ(g_released[0], slot.value.p) << "the port's own slot is released";

  // The same tag is the same content: nothing is read again (here the data even changed).
  static_cast<double*>(b.data)[2] = 30;
  d.plot.ActMsg("#acq.start");
  d.step(2);
  d.plot.ActMsg("#acq.end");
  EXPECT_EQ(d.get("ch2.max?"), 3);
  EXPECT_EQ(g_released.size(), 2u);
  ++b.tag;
  d.step(2);
  EXPECT_EQ(d.get("ch2.max?"), 30);

  // Freed by the engine after release: the copy is what the queries and frames use.
  b.FreeBfr();
  EXPECT_EQ(d.get("ch2.count?"), 3);

  // Unlinked: the copy is gone, and the panels are told the source changed.
  g_notes.clear();
  d.connect(2, nullptr);
  EXPECT_EQ(d.get("ch2.count?"), 0);
  EXPECT_TRUE(std::isnan(d.get("ch2.mean?")));
  EXPECT_EQ(d.text("ch2.histo?"), "");
  EXPECT_NE(std::find(g_notes.begin(), g_notes.end(), "src"), g_notes.end());

  // A record that claims samples without storage, and an unsupported type, store nothing.
  CBfr bad;
  bad.SetBfrType(bfrR8);
  bad.count = 1000;
  ++bad.tag;
  d.pass(1, &bad);
  EXPECT_EQ(d.get("ch1.count?"), 0);
  CBfr over;
  Fill(over, {4, 5, 6});
  over.count = 1 << 30;  // beyond the 3 (+3) elements it holds
  ++over.tag;
  d.pass(1, &over);
  EXPECT_EQ(d.get("ch1.count?"), 3);
  CBfr edges;
  edges.SetBfrType(bfrEdges);
  edges.count = 5;
  ++edges.tag;
  d.pass(1, &edges);
  EXPECT_EQ(d.get("ch1.count?"), 0);
}

TEST(PlotAutos, ScalesAndOffsetsFollowTheFirstVisibleRecordAndAreNotified) {
  const struct {
    enumBfrType type;
    std::vector<double> vals;
    double interval;
    double hscale, hoffset, vscale, voffset;
  } rows[] = {
      // 1000 samples of 1 us: 1 ms / 10; range 2 / 8 = 0.25 -> 0.5.
      {bfrR8, std::vector<double>(1000, 0), 1e-6, 1e-4, 0, 1, 0},
      {bfrR8, {-1, 1, 0, 0.5}, 1e-3, 4e-4, 0, 0.5, 0},
      {bfrI2, {10, 30}, 1, 0.2, 0, 5, 20},      // (30 - 10) / 8 = 2.5 -> 5
      {bfrR8, {0, 0.8}, 1, 0.2, 0, 0.1, 0.4},   // exactly on the sequence stays
      {bfrXY, {1, 2, 3}, 1, 0.4, 1, 0.5, 2},    // x 1, 3, 5: span 4, offset the first x
      {bfrR8, {NAN, 5, INFINITY, 7}, 1, 0.4, 0, 0.5, 6},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + std::to_string(r.vals.size()));
    Direct d;
    CBfr hidden, b;
    Fill(hidden, {100, 200, 300});
    hidden.interval = 99;
    Fill(b, r.vals, r.type);
    b.interval = r.interval;
    ASSERT_EQ(d.set("ch1.visible", 0), cmdDone);  // the first input is hidden: the second leads
    d.connect(1, &hidden);
    d.connect(2, &b);
    g_notes.clear();
    d.plot.ActMsg("#acq.start");
    d.step(1);
    d.step(2);
    d.plot.ActMsg("#acq.end");
    EXPECT_DOUBLE_EQ(d.get("main.hscale"), r.hscale);
    EXPECT_DOUBLE_EQ(d.get("main.hoffset"), r.hoffset);
    EXPECT_DOUBLE_EQ(d.get("ch2.vscale"), r.vscale);
    EXPECT_DOUBLE_EQ(d.get("ch2.voffset"), r.voffset);
    EXPECT_DOUBLE_EQ(d.get("ch1.voffset"), 200) << "a hidden record has its own vertical autos";
    const bool hs = r.hscale != 1e-3, vs = r.vscale != 1, vo = r.voffset != 0;
    EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), "main.hscale"), hs ? 1 : 0);
    EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), "ch2.vscale"), vs ? 1 : 0);
    EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), "ch2.voffset"), vo ? 1 : 0);
  }
}

TEST(PlotAutos, ManualSettingsStayAndTickingAutoAppliesAtOnce) {
  Direct d;
  CBfr b;
  Fill(b, {0, 80});
  for (const char* k : {"main.hscale.auto", "main.hoffset.auto", "ch1.vscale.auto", "ch1.voffset.auto"}) ASSERT_EQ(d.set(k, 0), cmdDone);
  ASSERT_EQ(d.set("ch1.vscale", 3), cmdDone);
  d.pass(1, &b);
  EXPECT_EQ(d.get("ch1.vscale"), 3);
  EXPECT_EQ(d.get("ch1.voffset"), 0);
  EXPECT_EQ(d.get("main.hscale"), 1e-3);
  g_notes.clear();
  ASSERT_EQ(d.set("ch1.vscale.auto", 1), cmdDone);
  EXPECT_EQ(d.get("ch1.vscale"), 10);
  EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), "ch1.vscale"), 1);
  EXPECT_EQ(d.get("ch1.voffset"), 0) << "its offset is still manual";
}

TEST(PlotCursors, KeysMoveTheRightCursorByItsStep) {
  // cursortype, key code (shift x 65536 + key), the key that changes and by how much.
  const struct {
    int type;
    int code;
    const char* key;
    double by;  // in hscale (x) or vscale (y) units
  } rows[] = {
      {1, 39, "cursor.x1", 1.0 / 50},  {1, 37, "cursor.x1", -1.0 / 50}, {1, 65536 + 39, "cursor.x1", 1},
      {4, 37, "cursor.x1", -1.0 / 50}, {2, 38, "cursor.y1", 1.0 / 50},  {2, 65536 + 40, "cursor.y1", -1},
      {2, 39, "", 0},                  {1, 38, "", 0},                  {0, 39, "", 0},
      {7, 65, "", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + "/" + std::to_string(r.code));
    Direct d;
    ASSERT_EQ(d.set("cursortype", r.type), cmdDone);
    ASSERT_EQ(d.set("main.hscale", 0.5), cmdDone);
    ASSERT_EQ(d.set("ch1.vscale", 2), cmdDone);
    const double before[] = {d.get("cursor.x1"), d.get("cursor.x2"), d.get("cursor.y1"), d.get("cursor.y2")};
    g_notes.clear();
    ASSERT_EQ(d.set("keydown", r.code), cmdDone);
    const char* names[] = {"cursor.x1", "cursor.x2", "cursor.y1", "cursor.y2"};
    for (int k = 0; k < 4; ++k) {
      const bool moved = std::string(r.key) == names[k];
      const double unit = k < 2 ? 0.5 : 2;
      EXPECT_NEAR(d.get(names[k]), before[k] + (moved ? r.by * unit : 0), 1e-12) << names[k];
      EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), names[k]), moved ? 1 : 0) << names[k];
    }
  }
}

TEST(PlotCursors, TabSwitchesWithinThePairAndTheDeltasFollowTheWaveform) {
  Direct d;
  CBfr b;
  std::vector<double> ramp(1001);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = 3 * static_cast<double>(i) * 1e-3;  // 3 per second
  Fill(b, ramp);
  b.interval = 1e-3;
  d.pass(1, &b);
  ASSERT_EQ(d.set("cursortype", 1 | 4), cmdDone);
  ASSERT_EQ(d.set("cursor.x1", 0.1), cmdDone);
  ASSERT_EQ(d.set("cursor.x2", 0.35), cmdDone);
  EXPECT_NEAR(d.get("cursor.dx?"), 0.25, 1e-15);
  EXPECT_NEAR(d.get("cursor.dy?"), 0.75, 1e-12) << "the pair's values on the active waveform";
  ASSERT_EQ(d.set("keydown", 9), cmdDone);
  ASSERT_EQ(d.set("keydown", 65536 + 39), cmdDone);  // the second cursor, one division
  EXPECT_NEAR(d.get("cursor.x2"), 0.35 + d.get("main.hscale"), 1e-12);
  EXPECT_NEAR(d.get("cursor.x1"), 0.1, 0);
  // Off the record there is no value: no difference either.
  ASSERT_EQ(d.set("cursor.x2", 5), cmdDone);
  EXPECT_TRUE(std::isnan(d.get("cursor.dy?")));
  // The horizontal cursors alone measure between their own levels.
  ASSERT_EQ(d.set("cursortype", 2), cmdDone);
  ASSERT_EQ(d.set("cursor.y1", -0.5), cmdDone);
  EXPECT_NEAR(d.get("cursor.dy?"), 1.5, 1e-15);
}

// Every pixel column's extremes are the true extremes of the samples that fall in it, for
// each type and for maps that zoom in, out and shift.
TEST(PlotColumns, EachColumnSpansTheTrueMinMaxOfItsSamples) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1000, 1000);
  const struct {
    double a, b;
  } maps[] = {{1.0 / 128, 0}, {0.375, -12.5}, {0.25, 40}, {1.0 / 64, -30}};  // exact in binary
  for (const enumBfrType t : {bfrI2, bfrI4, bfrR4, bfrR8, bfrI1, bfrU1}) {
    std::vector<double> vals(20000);
    for (double& v : vals) v = std::round(u(rng));
    if (t == bfrI1) for (double& v : vals) v = std::fmod(v, 128);
    if (t == bfrU1) for (double& v : vals) v = std::fabs(std::fmod(v, 256));
    if (t == bfrR8) vals[5] = NAN, vals[300] = INFINITY;
    CBfr b;
    Fill(b, vals, t, -0.5, 3);
    PlotRecord r;
    ASSERT_TRUE(PlotCopyRecord(b, r));
    for (const auto& m : maps) {
      const int w = 160;
      std::vector<double> lo, hi;
      PlotColumnsByIndex(r, m.a, m.b, w, lo, hi);
      std::vector<double> tlo(w, HUGE_VAL), thi(w, -HUGE_VAL);
      for (size_t i = 0; i < vals.size(); ++i) {
        const double px = m.a * static_cast<double>(i) + m.b;
        const double v = vals[i] * -0.5 + 3;
        if (px < 0 || px >= w || !std::isfinite(v)) continue;
        const size_t c = static_cast<size_t>(std::floor(px));
        tlo[c] = std::min(tlo[c], v), thi[c] = std::max(thi[c], v);
      }
      for (int c = 0; c < w; ++c) {
        if (tlo[c] > thi[c]) {
          EXPECT_TRUE(std::isnan(lo[c]) && std::isnan(hi[c])) << t << " column " << c;
          continue;
        }
        EXPECT_EQ(lo[c], tlo[c]) << t << " column " << c << " a " << m.a;
        EXPECT_EQ(hi[c], thi[c]) << t << " column " << c << " a " << m.a;
      }
    }
  }
}

TEST(PlotColumns, OneSampleSpikeInTenMillionShows) {
  CBfr b;
  b.SetBfrType(bfrI2);
  const long n = 10'000'000, at = 6'543'210;
  ASSERT_TRUE(b.SetSize(n));
  std::fill_n(static_cast<int16_t*>(b.data), n, int16_t{0});
  static_cast<int16_t*>(b.data)[at] = 9000;
  b.count = static_cast<int32_t>(n);
  PlotRecord r;
  ASSERT_TRUE(PlotCopyRecord(b, r));
  std::vector<double> lo, hi;
  const int w = 1920;
  PlotColumnsByIndex(r, static_cast<double>(w) / n, 0, w, lo, hi);
  const int spike = static_cast<int>(static_cast<double>(at) * w / n);
  for (int c = 0; c < w; ++c) {
    ASSERT_EQ(lo[c], 0) << c;
    ASSERT_EQ(hi[c], c == spike ? 9000 : 0) << c;
  }
}
