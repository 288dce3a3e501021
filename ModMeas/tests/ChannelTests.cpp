// The edge detector on records whose crossings are known exactly: piecewise-linear edges
// between integer sample positions, so linear interpolation is exact.
#include "ModMeas/Channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"

namespace {

class Owner final : public CLocalData {
 public:
  using CLocalData::CLocalData;
};

// A trapezoid clock: `low` for lowLen samples, a linear ramp of rampLen samples up to `high`,
// `high` for highLen samples, a ramp down; repeated.
std::vector<double> trapezoid(int periods, int lowLen, int rampLen, int highLen, double lo = -1, double hi = 1) {
  std::vector<double> s;
  for (int k = 0; k < periods; ++k) {
    for (int i = 0; i < lowLen; ++i) s.push_back(lo);
    for (int i = 0; i < rampLen; ++i) s.push_back(lo + (hi - lo) * i / rampLen);
    for (int i = 0; i < highLen; ++i) s.push_back(hi);
    for (int i = 0; i < rampLen; ++i) s.push_back(hi - (hi - lo) * i / rampLen);
  }
  return s;
}

struct Rig {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  KvCreateBlock block{"m", &g, nullptr, ""};
  Owner owner{block};
  CStatus status;
  int32_t rangeStart = -1, rangeStop = -1;
  CChannel ck{owner, status, &rangeStart, &rangeStop, "Clock", "ck", false};
  CBfr in;

  Rig() {
    CLog::Init(logParent, 0);
    link();
  }
  ~Rig() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void link() {
    VPARAM v;
    v.value.p = &in;
    ck.Settings(parWrite, "ck.in", v);
  }
  template <class T>
  void load(const std::vector<double>& samples, enumBfrType type, double scale = 1, double offset = 0) {
    in.SetBfrType(type);
    ASSERT_TRUE(in.SetSize(static_cast<long>(samples.size())));
    for (size_t i = 0; i < samples.size(); ++i)
      static_cast<T*>(in.data)[i] = static_cast<T>(samples[i]);
    in.count = in.valid = static_cast<int32_t>(samples.size());
    in.scale = scale, in.offset = offset;
    ++in.tag;
  }
  void set(const char* name, double x) {
    VPARAM v;
    v.value.r8 = x;
    ASSERT_EQ(ck.Settings(parWrite, name, v), cmdDone) << name;
  }
  CMDERR setText(const char* name, const char* text) {
    VPARAM v;
    v.value.s = text;
    return ck.Settings(parWrite, name, v);
  }
  std::string getText(const char* name) {
    CStr t;
    VPARAM v;
    v.value.str = &t;
    ck.Settings(parRead, name, v);
    return t.GetBfr();
  }
  std::vector<double> edges(int32_t kind) {
    CBfr* b = ck.GetEdges(kind);
    std::vector<double> out;
    if (b) out.assign(b->Edges()->edges, b->Edges()->edges + b->valid);
    return out;
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

void expectNear(const std::vector<double>& got, const std::vector<double>& want, double tol = 1e-9) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "entry " << i;
}

// Trapezoid(low 10, ramp 4, high 10): a rising ramp from -1 at 10 to +1 at 14 crosses level y
// at 10 + 4 * (y + 1) / 2; the falling ramp starts at 24.
double riseAt(int k, double y) { return 28.0 * k + 10 + 2 * (y + 1); }
double fallAt(int k, double y) { return 28.0 * k + 24 + 2 * (1 - y); }

}  // namespace

TEST(EdgeSelection, WordsAndReadBack) {
  Rig rig;
  struct Case {
    const char* word;
    int32_t value;
    const char* back;
  };
  const Case cases[] = {{"off", 0, "Off"},   {"RISE", 1, "Rise"},  {"high", 1, "Rise"},           {"Fall", 2, "Fall"},
                        {"low", 2, "Fall"},  {"both", 3, "Both"},  {"Rise+Fall", 5, "rise+fall"}, {"fall+rise", 6, "fall+rise"}};
  for (const Case& c : cases) {
    EXPECT_EQ(rig.setText("ck.edgetype", c.word), cmdDone) << c.word;
    EXPECT_EQ(rig.ck.edgetype, c.value);
    EXPECT_EQ(rig.getText("ck.edgetype"), c.back);
  }
  EXPECT_EQ(rig.setText("ck.edgetype", "sideways"), cmdBadValue);
  EXPECT_EQ(rig.ck.edgetype, 6) << "unchanged";
  EXPECT_STREQ(CChannel::EdgeTypeText(1, true), "High");
  EXPECT_STREQ(CChannel::EdgeTypeText(2, true), "Low");
}

TEST(ChannelSettings, ThresholdsOffsetsAndLabels) {
  Rig rig;
  rig.set("ck.fall.mid", 0.2);
  rig.set("ck.rise.mid", 0.5);
  EXPECT_EQ(rig.ck.fallMidOffset, 0.2) << "rise.mid leaves the fall offset";
  rig.set("ck.mid", 0.3);
  EXPECT_EQ(rig.ck.mid, 0.3);
  EXPECT_EQ(rig.ck.fallMidOffset, 0.0) << "mid clears it";
  rig.set("ck.fall.high", 0.1);
  rig.set("ck.high", 2);
  EXPECT_EQ(rig.ck.fallHighOffset, 0.0);
  VPARAM v;
  EXPECT_EQ(rig.ck.Settings(parDescribe, "ck.in", v), cmdDone);
  EXPECT_EQ(v.kind, kindInPort);
  EXPECT_EQ(rig.ck.Settings(parDescribe, "ck.out", v), cmdDone);
  EXPECT_EQ(v.kind, kindOutPort);
  EXPECT_EQ(rig.ck.Settings(parDescribe, "ck.edges", v), cmdDone);
  EXPECT_EQ(v.vt, vtI4);
  EXPECT_EQ(rig.ck.Settings(parWrite, "ck.edges", v), cmdBadValue);
  EXPECT_EQ(rig.ck.Settings(parRead, "dt.mid", v), cmdNotServed);
  EXPECT_EQ(rig.ck.Settings(parRead, "ck.nothing", v), cmdNotServed);
  CStr label;
  v.value.str = &label;
  rig.ck.Settings(parLabel, "ck.edgetype", v);
  EXPECT_EQ(label, "Detect Edge: rise,fall,both");
  v.value.i4 = 5;
  rig.ck.Settings(parWrite, "ck.visible", v);
  EXPECT_EQ(rig.ck.visible, 1);
}

TEST(MidCrossings, RisingBothAndTheFirstEdgeCode) {
  for (enumBfrType type : {bfrR8, bfrR4, bfrI2}) {
    SCOPED_TRACE(type);
    Rig rig;
    const double k = type == bfrI2 ? 1000 : 1;  // 16-bit: millivolts
    std::vector<double> s = trapezoid(5, 10, 4, 10);
    for (double& x : s) x *= k;
    if (type == bfrR8) rig.load<double>(s, type, 1 / k);
    if (type == bfrR4) rig.load<float>(s, type, 1 / k);
    if (type == bfrI2) rig.load<int16_t>(s, type, 1 / k);
    std::vector<double> rising, both;
    for (int i = 0; i < 5; ++i) {
      rising.push_back(riseAt(i, 0));
      both.push_back(riseAt(i, 0));
      both.push_back(fallAt(i, 0));
    }
    expectNear(rig.edges(kEdgeMid), rising, 1e-6);
    EXPECT_EQ(rig.ck.GetEdges(kEdgeMid)->Edges()->code, 1);
    EXPECT_EQ(rig.ck.risingCount, 5);
    rig.setText("ck.edgetype", "both");
    expectNear(rig.edges(kEdgeMid), both, 1e-6);
    CBfr* list = rig.ck.GetEdges(kEdgeMid);
    EXPECT_EQ(list->Edges()->code, 3) << "starts low: rising first";
    EXPECT_EQ(list->Edges()->selection, 3);
    EXPECT_EQ(list->Edges()->kind, 3);
    EXPECT_EQ(list->tag, rig.in.tag);
    EXPECT_EQ(list->ready, 1);
    rig.setText("ck.edgetype", "fall");
    std::vector<double> falling;
    for (int i = 0; i < 5; ++i) falling.push_back(fallAt(i, 0));
    expectNear(rig.edges(kEdgeMid), falling, 1e-6);
    EXPECT_EQ(rig.getText("ck.edgetype"), "Fall");
  }
}

TEST(MidCrossings, StartingHighGivesFallingFirst) {
  Rig rig;
  std::vector<double> s = trapezoid(3, 10, 4, 10);
  s.erase(s.begin(), s.begin() + 17);  // starts on the high plateau
  rig.load<double>(s, bfrR8);
  rig.setText("ck.edgetype", "both");
  const std::vector<double> e = rig.edges(kEdgeMid);
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(rig.ck.GetEdges(kEdgeMid)->Edges()->code, 4);
  EXPECT_NEAR(e[0], fallAt(0, 0) - 17, 1e-9);
  EXPECT_NEAR(e[1], riseAt(1, 0) - 17, 1e-9);
}

TEST(MidCrossings, SineAndNoise) {
  Rig rig;
  std::vector<double> s;
  const double period = 100;
  for (int i = 0; i < 1000; ++i) s.push_back(2 * std::sin(2 * M_PI * (i + 0.25) / period));
  rig.load<double>(s, bfrR8);
  const std::vector<double> e = rig.edges(kEdgeMid);
  ASSERT_EQ(e.size(), 9u) << "one per period at the rising zero crossings (the first is at -0.25)";
  for (size_t k = 0; k < e.size(); ++k) EXPECT_NEAR(e[k], period * (k + 1) - 0.25, 1e-3);

  std::vector<double> noise;
  for (int i = 0; i < 1000; ++i) noise.push_back(0.05 * std::sin(i * 1.7) * std::cos(i * 0.3));
  rig.load<double>(noise, bfrR8);
  rig.setText("ck.edgetype", "both");
  EXPECT_TRUE(rig.edges(kEdgeMid).empty()) << "never leaves the hysteresis band";
}

TEST(Transitions, RiseAndFallPairs) {
  Rig rig;
  rig.load<double>(trapezoid(4, 10, 4, 10), bfrR8);
  rig.set("ck.low", -0.5);
  rig.set("ck.high", 0.5);
  std::vector<double> rise, fall;
  for (int i = 0; i < 4; ++i) {
    rise.push_back(riseAt(i, -0.5));
    rise.push_back(riseAt(i, 0.5));
    fall.push_back(fallAt(i, 0.5));
    fall.push_back(fallAt(i, -0.5));
  }
  expectNear(rig.edges(kEdgeRise), rise);
  expectNear(rig.edges(kEdgeFall), fall);
  BfrEdgeHeader* h = rig.ck.GetEdges(kEdgeRise)->Edges();
  EXPECT_EQ(h->code, kEdgeRise);
  EXPECT_DOUBLE_EQ(h->level1 - h->level2, 1.0) << "the swing between the thresholds";
  EXPECT_EQ(rig.ck.GetEdges(kEdgeFall)->Edges()->code, kEdgeFall);
  rig.set("ck.fall.high", -0.25);  // falling high threshold at 0.25
  const std::vector<double> f = rig.edges(kEdgeFall);
  EXPECT_NEAR(f[0], fallAt(0, 0.25), 1e-9);

  rig.set("ck.high", 1.5);
  EXPECT_TRUE(rig.edges(kEdgeRise).empty()) << "never reaches the high threshold: no edges";
  EXPECT_EQ(rig.log(), "") << "and no message";
}

TEST(Scan, ScaleOffsetAndRange) {
  Rig rig;
  // 16-bit samples, 1 mV per unit and 0.5 V offset.
  std::vector<double> s = trapezoid(4, 10, 4, 10);
  for (double& x : s) x = (x - 0.5) * 1000;
  rig.load<int16_t>(s, bfrI2, 0.001, 0.5);
  std::vector<double> want;
  for (int i = 0; i < 4; ++i) want.push_back(riseAt(i, 0));
  expectNear(rig.edges(kEdgeMid), want, 1e-9);
  rig.rangeStart = 30;
  rig.rangeStop = 80;
  rig.ck.Invalidate();
  expectNear(rig.edges(kEdgeMid), {riseAt(1, 0), riseAt(2, 0)}, 1e-9);
  EXPECT_EQ(rig.ck.start, 30);
  EXPECT_EQ(rig.ck.stop, 80);
  EXPECT_EQ(static_cast<int16_t*>(rig.in.data)[81], static_cast<int16_t>(s[81])) << "sentinels restored";
  EXPECT_EQ(static_cast<int16_t*>(rig.in.data)[82], static_cast<int16_t>(s[82]));
}

TEST(Scan, ReuseUntilTheTagOrASettingChanges) {
  Rig rig;
  rig.load<double>(trapezoid(3, 10, 4, 10), bfrR8);
  const size_t n = rig.edges(kEdgeMid).size();
  ASSERT_EQ(n, 3u);
  std::fill(static_cast<double*>(rig.in.data), static_cast<double*>(rig.in.data) + rig.in.count, -1.0);
  EXPECT_EQ(rig.edges(kEdgeMid).size(), n) << "same tag: the list is reused";
  ++rig.in.tag;
  EXPECT_EQ(rig.edges(kEdgeMid).size(), 0u) << "newer data";
  rig.load<double>(trapezoid(3, 10, 4, 10), bfrR8);
  rig.in.tag = rig.ck.GetEdges(kEdgeMid)->tag;  // same number, but a setting changes
  rig.set("ck.hysteresis", 0.2);
  EXPECT_EQ(rig.edges(kEdgeMid).size(), 3u);
}

TEST(Scan, MessagesAndTheirLevels) {
  struct Case {
    const char* what;
    std::string expected;
  };
  {
    Rig rig;
    VPARAM v;
    v.value.p = nullptr;
    rig.ck.Settings(parWrite, "ck.in", v);
    EXPECT_TRUE(rig.edges(kEdgeMid).empty());
    EXPECT_NE(rig.log().find("m: Error - Input port ck.in is not connected and is required"), std::string::npos) << rig.log();
  }
  {
    Rig rig;
    rig.load<double>({}, bfrR8);
    rig.edges(kEdgeMid);
    EXPECT_NE(rig.log().find("m: Error - Input record length is 0."), std::string::npos);
  }
  {
    Rig rig;
    rig.in.SetBfrType(bfrI4);
    rig.in.SetSize(10);
    rig.in.count = 10;
    rig.edges(kEdgeMid);
    EXPECT_NE(rig.log().find("m: Error - Input format not supported"), std::string::npos);
  }
  {
    Rig rig;
    rig.load<int16_t>(std::vector<double>(100, 0), bfrI2, 0.001);
    rig.set("ck.high", 40);
    EXPECT_TRUE(rig.edges(kEdgeRise).empty());
    EXPECT_NE(rig.log().find("m: Warning - Upper threshold out of range"), std::string::npos);
    rig.set("ck.high", 1);
    rig.set("ck.low", -40);
    rig.edges(kEdgeRise);
    EXPECT_NE(rig.log().find("m: Warning - Lower threshold out of range"), std::string::npos);
    rig.set("ck.mid", 32.7);
    rig.edges(kEdgeMid);
    EXPECT_NE(rig.log().find("m: Warning - Rise (Mid + hys) out of range"), std::string::npos) << rig.log();
  }
  {
    Rig rig;  // a float record with a threshold beyond float range: refused, not overrun
    rig.load<float>(trapezoid(2, 10, 4, 10), bfrR4);
    rig.set("ck.high", 1e300);
    EXPECT_TRUE(rig.edges(kEdgeRise).empty());
    EXPECT_NE(rig.log().find("Upper threshold out of range"), std::string::npos);
  }
}

TEST(Scan, NaNAndInfinitiesNeverStallTheScan) {
  for (enumBfrType type : {bfrR8, bfrR4}) {
    Rig rig;
    std::vector<double> s = trapezoid(6, 10, 4, 10);
    s[5] = std::numeric_limits<double>::quiet_NaN();
    s[40] = std::numeric_limits<double>::quiet_NaN();  // on a ramp
    s[70] = std::numeric_limits<double>::infinity();
    s[71] = -std::numeric_limits<double>::infinity();
    if (type == bfrR8)
      rig.load<double>(s, type);
    else
      rig.load<float>(s, type);
    for (const char* sel : {"rise", "fall", "both", "rise+fall"}) {
      rig.setText("ck.edgetype", sel);
      const std::vector<double> e = rig.edges(kEdgeMid);
      EXPECT_GE(e.size(), 3u) << sel;
      for (double x : e) EXPECT_TRUE(std::isfinite(x) && x >= 0 && x < s.size()) << sel;
    }
    for (int32_t k : {kEdgeRise, kEdgeFall})
      for (double x : rig.edges(k)) EXPECT_TRUE(std::isfinite(x));
  }
}

TEST(Scan, LongRecordsGrowTheListAndAbortKeepsWhatWasFound) {
  Rig rig;
  const std::vector<double> s = trapezoid(20000, 2, 2, 2);  // 8 samples a period
  rig.load<double>(s, bfrR8);
  const std::vector<double> e = rig.edges(kEdgeMid);
  ASSERT_EQ(e.size(), 20000u);
  EXPECT_NEAR(e[19999], 8.0 * 19999 + 2 + 1, 1e-9);
  EXPECT_GE(rig.ck.GetEdges(kEdgeMid)->capacity, 20000);

  rig.g.abort = 1;
  ++rig.in.tag;
  const size_t partial = rig.edges(kEdgeMid).size();
  EXPECT_GE(partial, 1u);
  EXPECT_LT(partial, 20000u);
}

TEST(Scan, InsufficientMemoryLeavesAnEmptyConsistentList) {
  // Every allocation of a scan in turn fails; each time the list ends empty and usable.
  int reached = 0;
  for (long n = 1; n < 40; ++n) {
    Rig rig;
    rig.load<double>(trapezoid(3, 10, 4, 10), bfrR8);
    rig.edges(kEdgeMid);
    rig.load<double>(trapezoid(20000, 2, 2, 2), bfrR8);  // a much larger list is needed
    KvHeapFailAfter(n);
    const std::vector<double> e = rig.edges(kEdgeMid);
    KvHeapFailAfter(0);
    if (rig.log().find("Insufficient memory") == std::string::npos) continue;
    ++reached;
    EXPECT_TRUE(e.empty()) << n;
    CBfr* list = rig.ck.GetEdges(kEdgeMid);
    EXPECT_EQ(list->valid, 0) << n;
    EXPECT_EQ(rig.g.abort.load(), 1) << "an aborting error";
  }
  EXPECT_GE(reached, 2) << "the first sizing and a growth";
}
