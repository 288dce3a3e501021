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
  r.num("ycolumn", c.ycolumn);
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
