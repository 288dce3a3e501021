// Measurements on the real oscilloscope exports beside the checkout, read by the project's
// text reader: the results keep the capture's time, and rise and fall times agree with an
// independent reference computed here from the samples.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "KvDll/Log.h"
#include "ModMeas/MeasIn.h"
#include "ModTextIO/TextReader.h"
#include "ModTextIO/TextWriter.h"

namespace {

struct Capture {
  const char* file;
  int skipLines, skipValues, xaxis, ycolumn;
  double xincr;
};

const Capture kCaptures[] = {
    {"keysight-burst-pattern.csv", 2, 0, 1, 1, 1},
    {"rigol-ds1204b-1khz-square-4ch.csv", 2, 0, 1, 1, 1},
    {"rigol-ds1054z-uart-square.csv", 2, 1, 0, 2, 4e-8},
    {"siglent-sds1202xe-1khz-sine.csv", 12, 0, 1, 1, 1},
    {"tektronix-tds2014c-50hz-pwm.csv", 0, 3, 1, 1, 1},
    {"tektronix-dpo3014-49hz-pulse.csv", 21, 0, 1, 1, 1},
};

bool haveCaptures() {
  struct stat st {};
  return ::stat(KV_SCOPE_CSV_DIR, &st) == 0;
}

// One component of any module class, with the log and value helpers the tests need.
template <class C>
struct Part {
  CGlobalData& g;
  KvCreateBlock block;
  C c;
  Part(CGlobalData& global, const char* label, const char* kind) : g(global), block{label, &g, nullptr, kind}, c(block) {}
  void num(const char* name, double x) {
    VPARAM d, v;
    c.Settings(parDescribe, name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    ASSERT_EQ(c.Settings(parWrite, name, v), cmdDone) << name;
  }
  void text(const char* name, const std::string& t) {
    VPARAM v;
    v.value.s = t.c_str();
    ASSERT_EQ(c.Settings(parWrite, name, v), cmdDone) << name;
  }
  void link(const char* port, CBfr* b) {
    VPARAM v;
    v.value.p = b;
    ASSERT_EQ(c.Settings(parWrite, port, v), cmdDone) << port;
  }
  double real(const char* name) {
    VPARAM v;
    c.Settings(parRead, name, v);
    return v.value.r8;
  }
};

struct Bench {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  Bench() { CLog::Init(logParent, 0); }
  ~Bench() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

void open(Part<CTextReader>& r, const Capture& c) {
  r.text("filename", std::string(KV_SCOPE_CSV_DIR) + "/" + c.file);
  r.num("nskiplines", c.skipLines);
  r.num("nskipvalues", c.skipValues);
  r.num("xaxis.on", c.xaxis);
  r.text("ycolumn", std::to_string(c.ycolumn));
  r.num("xincr", c.xincr);
}

}  // namespace

TEST(Captures, PerEdgeResultsContinueTheCapturesTime) {
  if (!haveCaptures()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  Bench bench;
  Part<CTextReader> reader(bench.g, "r", "reader");
  open(reader, kCaptures[5]);  // starts at -50.1 ms
  ASSERT_TRUE(reader.c.Read()) << bench.log();
  const double start = reader.real("x.start");
  EXPECT_NEAR(start, -50.1e-3, 1e-9);

  Part<CMeasIn> meas(bench.g, "m", "CkPeriod");
  meas.link("ck.in", &reader.c.out);
  meas.num("ck.mid", 2.6);
  meas.num("ck.hysteresis", 0.5);
  meas.text("ck.edgetype", "rise");
  CMeasurement* period = meas.c.Find("CkPeriod");
  period->Evaluate();
  ASSERT_GT(period->output.count, 1);
  const double firstEdge = static_cast<double*>(period->output.data2)[0] * reader.c.out.interval;

  Part<CTextWriter> writer(bench.g, "w", "writer");
  const std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_periods.csv";
  writer.text("filename", path);
  writer.num("xaxis.on", 1);
  writer.link("in", &period->output);
  ASSERT_TRUE(writer.c.Write()) << bench.log();
  std::ifstream f(path);
  double x = 0;
  char comma = 0;
  ASSERT_TRUE(f >> x >> comma);
  EXPECT_NEAR(x, start + firstEdge, 1e-12) << "the first period starts at its edge in the capture's time";
  EXPECT_LT(x, 0) << "not from 0";
  std::remove(path.c_str());
}

namespace {

// The crossing of a level between samples i - 1 and i, as the detector interpolates it.
double crossing(const double* s, long i, double level) { return i + (level - s[i]) / (s[i] - s[i - 1]); }

// Reference transitions: around each mid crossing, the nearest crossing of the start level
// before it and of the end level after it, in the edge's direction.
std::vector<double> referenceTransitions(const double* s, long n, const std::vector<double>& mids, bool rise,
                                         double start, double end) {
  auto crosses = [&](long i, double level) {
    return rise ? s[i - 1] < level && s[i] >= level : s[i - 1] > level && s[i] <= level;
  };
  std::vector<double> pairs;
  for (double m : mids) {
    // The mid crossing lies between samples q and q + 1: so do both others, or further out.
    const long q = static_cast<long>(m);
    long a = q + 1;
    while (a > 0 && !crosses(a, start)) --a;
    long b = q + 1;
    while (b < n && !crosses(b, end)) ++b;
    if (a <= 0 || b >= n) continue;
    pairs.push_back(crossing(s, a, start));
    pairs.push_back(crossing(s, b, end));
  }
  return pairs;
}

double percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

}  // namespace

TEST(Captures, RiseAndFallTimesAgreeWithTheNearestCrossingsAroundEachEdge) {
  if (!haveCaptures()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  for (const Capture& c : kCaptures) {
    SCOPED_TRACE(c.file);
    Bench bench;
    Part<CTextReader> reader(bench.g, "r", "reader");
    open(reader, c);
    ASSERT_TRUE(reader.c.Read()) << bench.log();
    const CBfr& rec = reader.c.out;
    const double* s = static_cast<const double*>(rec.data);
    const long n = rec.count;
    const std::vector<double> samples(s, s + n);
    const double base = percentile(samples, 0.02), top = percentile(samples, 0.98), swing = top - base;

    Part<CMeasIn> meas(bench.g, "m", "ck");
    meas.link("ck.in", &reader.c.out);
    meas.num("ck.mid", base + 0.5 * swing);
    meas.num("ck.hysteresis", 0.1 * swing);
    meas.num("ck.low", base + 0.1 * swing);
    meas.num("ck.high", base + 0.9 * swing);
    meas.text("ck.edgetype", "both");
    const CBfr* midList = meas.c.ck.GetEdges(kEdgeMid);
    std::vector<double> risingMids, fallingMids;
    const bool risingFirst = midList->Edges()->code == 3;
    for (long i = 0; i < midList->valid; ++i)
      ((i % 2 == 0) == risingFirst ? risingMids : fallingMids).push_back(midList->Edges()->edges[i]);
    ASSERT_GE(risingMids.size(), 2u);

    for (bool rise : {true, false}) {
      SCOPED_TRACE(rise ? "rise" : "fall");
      const double start = base + (rise ? 0.1 : 0.9) * swing, end = base + (rise ? 0.9 : 0.1) * swing;
      const std::vector<double> want = referenceTransitions(s, n, rise ? risingMids : fallingMids, rise, start, end);
      const CBfr* list = meas.c.ck.GetEdges(rise ? kEdgeRise : kEdgeFall);
      const std::vector<double> got(list->Edges()->edges, list->Edges()->edges + list->valid);
      ASSERT_EQ(got.size(), want.size());
      for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << "entry " << i;
      // And the measurement reports their differences.
      CMeasurement* time = meas.c.Find(rise ? "CkRiseTime" : "CkFallTime");
      time->Evaluate();
      ASSERT_EQ(static_cast<size_t>(time->output.count), got.size() / 2);
    }
  }
}

TEST(Captures, AutomaticLevelsFindTheEdgesOfEveryCapture) {
  if (!haveCaptures()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  // The rising edges of each analysed channel, as counted by hand (see PROVENANCE.md).
  const long rising[] = {20, 65, 12, 283, 5, 5};
  for (size_t k = 0; k < std::size(kCaptures); ++k) {
    const Capture& c = kCaptures[k];
    SCOPED_TRACE(c.file);
    Bench bench;
    Part<CTextReader> reader(bench.g, "r", "reader");
    open(reader, c);
    ASSERT_TRUE(reader.c.Read()) << bench.log();
    Part<CMeasIn> meas(bench.g, "m", "ck");
    meas.link("ck.in", &reader.c.out);
    meas.num("ck.levels.auto", 1);
    meas.text("ck.edgetype", "rise");
    meas.c.ck.GetEdges(kEdgeMid);
    EXPECT_EQ(meas.c.ck.risingCount, rising[k]);
    const double top = meas.real("ck.top?"), base = meas.real("ck.base?");
    EXPECT_GT(top - base, 1.0) << "every capture swings by volts";
    EXPECT_DOUBLE_EQ(meas.real("ck.mid"), base + 0.5 * (top - base));
    EXPECT_DOUBLE_EQ(meas.real("ck.hysteresis"), 0.05 * (top - base));
  }
}
