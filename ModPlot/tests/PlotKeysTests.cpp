// The plot component made directly: its keys and refusals, the copies of its inputs, the
// statistics and histogram against sums of the test's own, the automatic scales, the cursors.
#include <algorithm>
#include <numeric>
#include <random>

#include "ModPlot/tests/PlotRig.h"

using namespace plottest;

namespace {
long notes(const char* name) { return std::count(g_notes.begin(), g_notes.end(), name); }
void setAll(Direct& d, std::initializer_list<std::pair<const char*, double>> kv) {
  for (const auto& [k, x] : kv) ASSERT_EQ(d.set(k, x), cmdDone) << k;
}
}  // namespace

TEST(PlotKeys, VariantsDefaultsWritesAndRefusals) {
  const std::pair<const char*, int> variants[] = {{"", 4}, {nullptr, 4}, {"1", 1}, {"16", 16}, {"0", 0}, {"17", 0}, {"08", 0}, {"4x", 0}};
  for (const auto& [v, n] : variants) EXPECT_EQ(CPlot::InputsOf(v), n) << (v ? v : "(null)");
  // key, default, a value it takes, values it refuses (answer 2, value kept).
  const struct {
    const char* key;
    double def, good;
    std::vector<double> bad;
  } rows[] = {
      {"hwnd", 0, 77, {}},           {"keydown", 0, 65, {-1}},          {"main.hscale", 1e-3, 5e-6, {0, -1e-3, NAN, INFINITY}},
      {"main.hoffset", 0, -2.5, {NAN}}, {"main.hscale.auto", 1, 0, {2}}, {"main.hoffset.auto", 1, 0, {-1}},
      {"cursortype", 0, 7, {8, -1}}, {"mode", 0, 2, {3, -1}},            {"histo.bins", 100, 10000, {0, 10001}},
      {"cursor.x1", 2e-3, -1, {NAN}}, {"cursor.y2", 1, 3, {INFINITY}},   {"ch2.vscale", 1, 0.2, {0, -5, NAN}},
      {"ch2.voffset", 0, 1.5, {NAN}}, {"ch2.vposition", 0, -3, {INFINITY}}, {"ch3.vscale.auto", 1, 0, {3}},
      {"ch3.voffset.auto", 1, 0, {-1}}, {"ch1.color", 0xFFFF, 0x123456, {-1, 0x1000000}}, {"ch4.visible", 1, 0, {2}},
      {"ch1.select", 0, 3, {4, -1}},  {"CH2.VScale", 1, 2, {0}},  // names ignore case
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

TEST(PlotKeys, TextsListsAndReadOnlyNames) {
  Direct d(3);
  const std::pair<const char*, const char*> texts[] = {{"iports", "in.ch1,in.ch2,in.ch3"}, {"oports", ""}, {"version", "1.0.0"},
                                                       {"gui.names", "plot,setup"}, {"plot.class", "KvPlot.Plot"},
                                                       {"setup.class", "KvPlot.Setup"}};
  for (const auto& [k, want] : texts) EXPECT_EQ(d.text(k), want) << k;
  for (const char* q : {"ch1.count?", "ch2.histo?", "cursor.dx?", "settings", "symbol"}) EXPECT_EQ(d.set(q, 1), cmdBadValue) << q;
  for (const char* n : {"ch4.vscale", "ch0.vscale", "in.ch4", "in.ch01", "ch1.nothing", "chx.vscale"}) EXPECT_EQ(d.get(n), -12345.678) << n;
  const std::string sym = d.text("symbol");  // a box named Plot, one input pin per port
  EXPECT_NE(sym.find(",Plot,"), std::string::npos);
  for (int k = 1; k <= 3; ++k) EXPECT_NE(sym.find("," + std::to_string(k) + ",in.ch" + std::to_string(k) + ";"), std::string::npos);
  EXPECT_EQ(sym.find("in.ch4"), std::string::npos);
  // The state a setup saves: every entry reads; never a window id (it would draw elsewhere next
  // run), a key press, the selection or a panel's keys.
  const std::string list = d.text("settings") + ",";
  int entries = 0;
  for (size_t at = 0, c; (c = list.find(',', at)) != std::string::npos; at = c + 1, ++entries) {
    const std::string k = list.substr(at, c - at);
    EXPECT_NE(d.get(k), -12345.678) << k;
    for (const char* never : {"hwnd", "keydown", "select", "plot.", "setup.", "?"}) EXPECT_EQ(k.find(never), std::string::npos) << k;
  }
  EXPECT_EQ(entries, 11 + 3 * 7);
}

// Statistics of every stored type against the test's own sums: population std-dev, NaN and
// infinities skipped, a negative scale swapping the extremes, equal values in one bin.
TEST(PlotStore, StatisticsAndHistogramOfEveryTypeAgainstIndependentSums) {
  const struct {
    enumBfrType type;
    std::vector<double> raw;
    double scale, offset;
    int bins;
  } rows[] = {
      {bfrI2, {-32768, 32767, 0, 12, -7, 100}, 1e-3, 0.5, 4}, {bfrI4, {5, 5, 5, 6, 1000000, -3}, -2, 1, 3},
      {bfrR4, {0.5, -1.25, NAN, 3, INFINITY, 2}, 1, 0, 5},    {bfrR8, {1, NAN, -INFINITY, 4, 9, 16, 25}, 1, 0, 2},
      {bfrI1, {-128, 127, 0, 1}, 1, 0, 10},                   {bfrU1, {0, 255, 128, 7}, 0.5, -1, 7},
      {bfrXY, {3, 1, 4, 1, 5, 9, 2, 6}, 1, 0, 3},             {bfrIntervals, {2.5, NAN, 7.5}, 2, 0, 2},
      {bfrR8, {4, 4, 4}, 1, 0, 100},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + std::to_string(r.raw.size()));
    Direct d;
    CBfr b;
    Fill(b, r.raw, r.type, r.scale, r.offset);
    ASSERT_EQ(d.set("histo.bins", r.bins), cmdDone);
    d.pass(1, &b);
    std::vector<double> v;
    for (const double x : r.raw)
      if (std::isfinite(x * r.scale + r.offset)) v.push_back(x * r.scale + r.offset);
    const double n = static_cast<double>(v.size()), mean = std::accumulate(v.begin(), v.end(), 0.0L) / n;
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

TEST(PlotStore, CopiesOnANewTagReleasesEachStepAndKeepsNothingUnsafeOrUnlinked) {
  Direct d;
  CBfr b;
  Fill(b, {1, 2, 3});
  d.pass(2, &b);
  VPARAM slot;
  d.plot.Settings(parRead, "in.ch2", slot);
  ASSERT_EQ(g_released, std::vector<void*>{slot.value.p}) << "the port's own slot, once";
  static_cast<double*>(b.data)[2] = 30;  // same tag, same content: nothing is read again
  d.step(2);
  EXPECT_EQ(d.get("ch2.max?"), 3);
  ++b.tag;
  d.step(2);
  EXPECT_EQ(d.get("ch2.max?"), 30);
  EXPECT_EQ(g_released.size(), 3u);
  b.FreeBfr();  // as the engine does after the release: the copy answers
  EXPECT_EQ(d.get("ch2.count?"), 3);
  g_notes.clear();
  d.connect(2, nullptr);
  EXPECT_EQ(d.get("ch2.count?"), 0);
  EXPECT_TRUE(std::isnan(d.get("ch2.mean?")));
  EXPECT_EQ(d.text("ch2.histo?"), "");
  EXPECT_EQ(notes("src"), 1);
  // Samples claimed without storage, or past it, and a type that holds none.
  CBfr bare, over, edges;
  bare.SetBfrType(bfrR8);
  bare.count = 1000;
  Fill(over, {4, 5, 6});
  over.count = 1 << 30;
  edges.SetBfrType(bfrEdges);
  edges.count = 5;
  for (const auto& [rec, count] : std::vector<std::pair<CBfr*, int>>{{&bare, 0}, {&over, 3}, {&edges, 0}}) {
    ++rec->tag;
    d.pass(1, rec);
    EXPECT_EQ(d.get("ch1.count?"), count);
  }
}

TEST(PlotAutos, ScalesAndOffsetsFollowTheFirstVisibleRecordAndAreNotified) {
  const struct {
    enumBfrType type;
    std::vector<double> vals;
    double interval, hscale, hoffset, vscale, voffset;
  } rows[] = {
      {bfrR8, std::vector<double>(1000, 0), 1e-6, 1e-4, 0, 1, 0},  // equal values: scale 1
      {bfrR8, {-1, 1, 0, 0.5}, 1e-3, 4e-4, 0, 0.5, 0},             // 2 / 8 = 0.25 -> 0.5
      {bfrI2, {10, 30}, 1, 0.2, 0, 5, 20},                         // 2.5 -> 5
      {bfrR8, {0, 0.8}, 1, 0.2, 0, 0.1, 0.4},                      // on the sequence: stays
      {bfrXY, {1, 2, 3}, 1, 0.4, 1, 0.5, 2},                       // x 1 .. 5: offset the first x
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
    d.pass(2, &b);
    d.step(1);
    d.plot.ActMsg("#acq.end");
    EXPECT_DOUBLE_EQ(d.get("main.hscale"), r.hscale);
    EXPECT_DOUBLE_EQ(d.get("main.hoffset"), r.hoffset);
    EXPECT_DOUBLE_EQ(d.get("ch2.vscale"), r.vscale);
    EXPECT_DOUBLE_EQ(d.get("ch2.voffset"), r.voffset);
    EXPECT_DOUBLE_EQ(d.get("ch1.voffset"), 200) << "a hidden record has its own vertical autos";
    EXPECT_EQ(notes("main.hscale"), 1);
    EXPECT_EQ(notes("ch2.vscale"), r.vscale != 1 ? 1 : 0);
  }
  // Manual values stay; ticking an auto box applies it at once.
  Direct d;
  CBfr b;
  Fill(b, {0, 80});
  for (const char* k : {"main.hscale.auto", "ch1.vscale.auto", "ch1.voffset.auto"}) ASSERT_EQ(d.set(k, 0), cmdDone);
  d.pass(1, &b);
  EXPECT_EQ(d.get("ch1.vscale"), 1);
  EXPECT_EQ(d.get("main.hscale"), 1e-3);
  ASSERT_EQ(d.set("ch1.vscale.auto", 1), cmdDone);
  EXPECT_EQ(d.get("ch1.vscale"), 10);
  EXPECT_EQ(d.get("ch1.voffset"), 0);
}

TEST(PlotCursors, KeysMoveTheRightCursorAndTheDeltasFollowTheWaveform) {
  // cursortype, key code (shift x 65536 + key), the key that moves and by how many divisions.
  const struct {
    int type, code;
    const char* key;
    double by;
  } rows[] = {{1, 39, "cursor.x1", 0.02}, {1, 37, "cursor.x1", -0.02}, {1, 65536 + 39, "cursor.x1", 1}, {4, 37, "cursor.x1", -0.02},
              {2, 38, "cursor.y1", 0.02}, {2, 65536 + 40, "cursor.y1", -1}, {2, 39, "", 0}, {1, 38, "", 0}, {7, 65, "", 0}};
  const char* names[] = {"cursor.x1", "cursor.x2", "cursor.y1", "cursor.y2"};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + "/" + std::to_string(r.code));
    Direct d;
    setAll(d, {{"cursortype", r.type}, {"main.hscale", 0.5}, {"ch1.vscale", 2}});
    double before[4];
    for (int k = 0; k < 4; ++k) before[k] = d.get(names[k]);
    g_notes.clear();
    ASSERT_EQ(d.set("keydown", r.code), cmdDone);
    for (int k = 0; k < 4; ++k) {
      const bool moved = std::string(r.key) == names[k];
      EXPECT_NEAR(d.get(names[k]), before[k] + (moved ? r.by * (k < 2 ? 0.5 : 2) : 0), 1e-12) << names[k];
      EXPECT_EQ(notes(names[k]), moved ? 1 : 0) << names[k];
    }
  }
  // A pair on a ramp of 3 per second: Tab takes the other cursor; off the record, no value.
  Direct d;
  CBfr b;
  std::vector<double> ramp(1001);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = 3e-3 * static_cast<double>(i);
  Fill(b, ramp);
  b.interval = 1e-3;
  d.pass(1, &b);
  setAll(d, {{"cursortype", 5}, {"cursor.x1", 0.1}, {"cursor.x2", 0.35}});
  EXPECT_NEAR(d.get("cursor.dx?"), 0.25, 1e-15);
  EXPECT_NEAR(d.get("cursor.dy?"), 0.75, 1e-12);
  d.set("keydown", 9);
  d.set("keydown", 65536 + 39);
  EXPECT_NEAR(d.get("cursor.x2"), 0.35 + d.get("main.hscale"), 1e-12);
  EXPECT_EQ(d.get("cursor.x1"), 0.1);
  d.set("cursor.x2", 5);
  EXPECT_TRUE(std::isnan(d.get("cursor.dy?")));
  d.set("cursortype", 2);  // the horizontal cursors alone: their own levels
  EXPECT_NEAR(d.get("cursor.dy?"), d.get("cursor.y2") - d.get("cursor.y1"), 0);
}

// Every pixel column's extremes are the true extremes of the samples that fall in it, for
// each type, with maps exact in binary so that no sample sits on a rounded boundary.
TEST(PlotColumns, EachColumnSpansTheTrueMinMaxOfItsSamples) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> u(-127, 127);
  const std::pair<double, double> maps[] = {{1.0 / 128, 0}, {0.375, -12.5}, {0.25, 40}, {1.0 / 64, -30}};
  for (const enumBfrType t : {bfrI2, bfrI4, bfrR4, bfrR8, bfrI1, bfrU1}) {
    std::vector<double> vals(20000);
    for (double& v : vals) v = t == bfrU1 ? u(rng) + 127 : u(rng);
    if (t == bfrR8) vals[5] = NAN, vals[300] = INFINITY;
    CBfr b;
    Fill(b, vals, t, -0.5, 3);
    PlotRecord r;
    ASSERT_TRUE(PlotCopyRecord(b, r));
    for (const auto& [a, off] : maps) {
      const int w = 160;
      std::vector<double> lo, hi, tlo(w, HUGE_VAL), thi(w, -HUGE_VAL);
      PlotColumnsByIndex(r, a, off, w, lo, hi);
      for (size_t i = 0; i < vals.size(); ++i) {
        const double px = a * static_cast<double>(i) + off, v = vals[i] * -0.5 + 3;
        if (px < 0 || px >= w || !std::isfinite(v)) continue;
        const size_t c = static_cast<size_t>(px);
        tlo[c] = std::min(tlo[c], v), thi[c] = std::max(thi[c], v);
      }
      for (int c = 0; c < w; ++c) {
        EXPECT_EQ(std::isnan(lo[c]) ? HUGE_VAL : lo[c], tlo[c]) << t << " column " << c << " a " << a;
        EXPECT_EQ(std::isnan(hi[c]) ? -HUGE_VAL : hi[c], thi[c]) << t << " column " << c << " a " << a;
      }
    }
  }
}
