// Measurements on records whose edge times are known exactly: edges are linear ramps through
// integer samples, so every interpolated crossing is exact; the expected values are computed
// here from the edge times, independently of the module.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "ModMeas/MeasIn.h"

namespace {

// Samples of a waveform between -1 and 1 with rising and falling edges (alternating, the
// first rising) at the given times; each edge a ramp of slope `slope` per sample.
std::vector<double> waveform(const std::vector<double>& edges, long length, double slope = 0.5) {
  std::vector<double> s(static_cast<size_t>(length), -1.0);
  for (long i = 0; i < length; ++i) {
    double v = -1;
    for (size_t e = 0; e < edges.size(); ++e) {
      const double next = e + 1 < edges.size() ? edges[e + 1] : 1e300;
      const double prev = e > 0 ? edges[e - 1] : -1e300;
      const double lo = (prev + edges[e]) / 2, hi = (edges[e] + next) / 2;
      if (i < lo || i >= hi) continue;
      const double r = (i - edges[e]) * slope * (e % 2 == 0 ? 1 : -1);
      v = std::max(-1.0, std::min(1.0, r));
    }
    s[static_cast<size_t>(i)] = v;
  }
  return s;
}

struct MeasRig {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  KvCreateBlock block;
  std::unique_ptr<CMeasIn> m;
  CBfr ckIn, dtIn, ctlIn;

  explicit MeasRig(const char* kind) : block{"m", &g, nullptr, kind} {
    CLog::Init(logParent, 0);
    m = std::make_unique<CMeasIn>(block);
  }
  ~MeasRig() {
    m.reset();
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void feed(CBfr& b, const char* port, const std::vector<double>& s, double interval = 1.0) {
    b.SetBfrType(bfrR8);
    b.SetSize(static_cast<long>(s.size()));
    std::copy(s.begin(), s.end(), static_cast<double*>(b.data));
    b.count = b.valid = static_cast<int32_t>(s.size());
    b.interval = interval;
    ++b.tag;
    VPARAM v;
    v.value.p = &b;
    m->Settings(parWrite, port, v);
  }
  void num(const char* name, double x) {
    VPARAM v;
    VPARAM d;
    m->Settings(parDescribe, name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    ASSERT_EQ(m->Settings(parWrite, name, v), cmdDone) << name;
  }
  void text(const char* name, const char* t) {
    VPARAM v;
    v.value.s = t;
    ASSERT_EQ(m->Settings(parWrite, name, v), cmdDone) << name;
  }
  std::string read(const char* name) {
    CStr t;
    VPARAM v;
    v.value.str = &t;
    m->Settings(parRead, name, v);
    return t.GetBfr();
  }
  std::string count(const char* measurement) {
    VPARAM v;
    m->Settings(parRead, (std::string(measurement) + ".count?").c_str(), v);
    return std::to_string(v.value.i4);
  }
  // Raw values (edge units) of one measurement after evaluating it.
  std::vector<double> values(const char* name, std::vector<double>* starts = nullptr, std::vector<double>* ends = nullptr) {
    CMeasurement* x = m->Find(name);
    EXPECT_NE(x, nullptr) << name;
    if (!x) return {};
    x->Evaluate();
    const CBfr& o = x->output;
    std::vector<double> v(static_cast<double*>(o.data), static_cast<double*>(o.data) + o.count);
    if (starts) starts->assign(static_cast<double*>(o.data2), static_cast<double*>(o.data2) + o.count);
    if (ends) ends->assign(static_cast<double*>(o.data3), static_cast<double*>(o.data3) + o.count);
    return v;
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

void expectNear(const std::vector<double>& got, const std::vector<double>& want, double tol = 1e-9) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "value " << i;
}

// Least squares t = a + b k, the plain normal equations in long double.
std::vector<double> tieOf(const std::vector<double>& t, const std::vector<double>& k) {
  long double n = t.size(), sk = 0, st = 0, skt = 0, skk = 0;
  for (size_t i = 0; i < t.size(); ++i) sk += k[i], st += t[i], skt += k[i] * t[i], skk += k[i] * k[i];
  const long double d = n * skk - sk * sk, b = (n * skt - sk * st) / d, a = (skk * st - skt * sk) / d;
  std::vector<double> r;
  for (size_t i = 0; i < t.size(); ++i) r.push_back(static_cast<double>(t[i] - (a + b * k[i])));
  return r;
}

double stddev(const std::vector<double>& v) {
  const double m = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
  double s = 0;
  for (double x : v) s += (x - m) * (x - m);
  return std::sqrt(s / v.size());
}

}  // namespace

TEST(MeasSurface, KindsNamesAndTexts) {
  {
    MeasRig rig("dt");
    EXPECT_EQ(rig.read("oports"),
              "DtPeriod.out,DtFreq.out,DtTIE.out,DtRiseTime.out,DtFallTime.out,DtRiseRate.out,DtFallRate.out");
    EXPECT_EQ(rig.read("settings").rfind(",dt.mid,dt.high", 0), 0u);
    EXPECT_NE(rig.read("settings").find(",DtTIE.minlmt,DtTIE.maxlmt,DtTIE.on,dttie.freq,dttie.freq.auto"), std::string::npos);
  }
  {
    MeasRig rig("ckperiod");
    EXPECT_EQ(rig.read("meas.names?"), "CkPeriod");
    EXPECT_EQ(rig.read("symbol"),
              "box,100,0,500,300;text,100,10,500,100,Meas,center,center;ipin,0,200,100,,1,ck.in;"
              "text,120,160,300,80,Ck,left,center;opin,600,200,100,,2,CkPeriod.out;"
              "text,180,160,400,80,CkPeriod,right,center;");
  }
  {
    MeasRig rig("chch");
    EXPECT_EQ(rig.read("meas.labels?"), "Setup Time,Hold Time,Ch-Ch Skew,Crossing Level");
    EXPECT_EQ(rig.read("version"), "1.1.4");
    EXPECT_EQ(rig.read("iports"), "ck.in,dt.in,ctl.in");
    EXPECT_EQ(rig.read("functions"), "run");
    EXPECT_EQ(rig.read("gui.names"), "igui,ogui");
    EXPECT_EQ(rig.read("igui.class"), "KvMeas.Inputs");
    EXPECT_EQ(rig.read("ogui.class"), "KvMeas.Outputs");
  }
  {
    MeasRig rig("nonsense");
    EXPECT_EQ(rig.read("meas.names?").substr(0, 16), "CkPeriod,CkFreq,");
    VPARAM v;
    EXPECT_EQ(rig.m->Settings(parRead, "CkPeriod.nothing", v), cmdNotServed);
    EXPECT_EQ(rig.m->Settings(parRead, "nothing", v), cmdNotServed);
    EXPECT_EQ(rig.m->Settings(parDescribe, "CkTIE.out", v), cmdDone);
    EXPECT_EQ(v.kind, kindOutPort);
    EXPECT_EQ(rig.m->Settings(parRead, "ckjnc.n", v), cmdDone);
    EXPECT_EQ(v.value.i4, 6);
    EXPECT_EQ(rig.m->Settings(parRead, "dtperiod.freq", v), cmdDone);
    EXPECT_EQ(v.value.r8, 1e9);
  }
}

TEST(MeasClock, PeriodFrequencyAndStrictLimits) {
  MeasRig rig("ck");
  // A 10 ns clock sampled every 100 ps: periods of 100 samples.
  std::vector<double> edges;
  for (int k = 0; k < 10; ++k) edges.push_back(20 + 100 * k), edges.push_back(70 + 100 * k);
  rig.feed(rig.ckIn, "ck.in", waveform(edges, 1020), 1e-10);
  expectNear(rig.values("CkPeriod"), std::vector<double>(9, 100.0));
  EXPECT_NEAR(rig.m->Find("CkPeriod")->output.scale * 100, 1e-8, 1e-20);
  expectNear(rig.values("CkFreq"), std::vector<double>(9, 0.01));
  VPARAM q;
  ASSERT_EQ(rig.m->Settings(parRead, "CkPeriod.count?", q), cmdDone);
  EXPECT_EQ(q.value.i4, 9);
  rig.m->Settings(parRead, "CkPeriod.mean?", q);
  EXPECT_NEAR(q.value.r8, 1e-8, 1e-20) << "in seconds";
  rig.m->Settings(parRead, "CkPeriod.stddev?", q);
  EXPECT_NEAR(q.value.r8, 0, 1e-20);
  rig.m->Settings(parRead, "CkFreq.max?", q);
  EXPECT_NEAR(q.value.r8, 1e8, 1e-3);
  EXPECT_EQ(rig.read("settings").find("count?"), std::string::npos) << "statistics are not settings";
  rig.m->Settings(parRead, "CkTIE.mean?", q);
  EXPECT_TRUE(std::isnan(q.value.r8)) << "nothing evaluated yet";
  EXPECT_NEAR(rig.m->Find("CkFreq")->output.scale * 0.01, 1e8, 1e-3);

  MeasRig lim("ck");
  std::vector<double> e2;  // periods alternate 100 and 105 samples
  double t = 20;
  for (int k = 0; k < 10; ++k) e2.push_back(t), e2.push_back(t + 40), t += k % 2 ? 105 : 100;
  lim.feed(lim.ckIn, "ck.in", waveform(e2, static_cast<long>(t + 20)), 1.0);
  lim.num("CkPeriod.maxlmt", 105);
  for (double v : lim.values("CkPeriod")) EXPECT_EQ(v, 100) << "105 is not below the limit";
  lim.num("CkPeriod.maxlmt", 105.001);
  lim.num("CkPeriod.minlmt", 100);
  for (double v : lim.values("CkPeriod")) EXPECT_EQ(v, 105);
}

TEST(MeasClock, WidthsDutyAndTheirCycleToCycle) {
  MeasRig rig("ck");
  rig.text("ck.edgetype", "both");
  std::vector<double> e;  // high for 30 + k, low for 60 - k samples
  double t = 20;
  for (int k = 0; k < 8; ++k) e.push_back(t), e.push_back(t + 30 + k), t += 90;
  rig.feed(rig.ckIn, "ck.in", waveform(e, static_cast<long>(t)), 1.0);
  std::vector<double> pw, nw, pd, nd, pwcc, pdcc;
  for (int k = 0; k < 8; ++k) pw.push_back(30 + k);
  for (int k = 0; k < 7; ++k) nw.push_back(60 - k), pd.push_back((30.0 + k) / 90);
  for (int k = 0; k < 7; ++k) nd.push_back((60.0 - k) / 91);  // falling to falling: 91 samples
  for (int k = 1; k < 8; ++k) pwcc.push_back(1);
  for (int k = 1; k < 7; ++k) pdcc.push_back(1.0 / 90);
  expectNear(rig.values("CkPWidth"), pw);
  expectNear(rig.values("CkNWidth"), nw);
  expectNear(rig.values("CkPDuty"), pd);
  expectNear(rig.values("CkNDuty"), nd);
  expectNear(rig.values("CkPWdCC"), pwcc);
  expectNear(rig.values("CkPDutyCC"), pdcc);
  EXPECT_EQ(rig.m->Find("CkPDuty")->output.scale, 100);

  rig.text("ck.edgetype", "rise");
  EXPECT_TRUE(rig.values("CkPWidth").empty());
  EXPECT_NE(rig.log().find("m: Error - CkPWidth: Unable to calculate"), std::string::npos);
  EXPECT_EQ(rig.g.abort.load(), 1) << "an aborting error";
}

TEST(MeasClock, TieJccAndNCycleAgainstIndependentSums) {
  MeasRig rig("ck");
  std::vector<double> rising;
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> jitter(-1.5, 1.5);
  std::vector<double> e;
  for (int k = 0; k < 60; ++k) {
    const double r = 40 + 50.0 * k + jitter(gen);
    rising.push_back(r);
    e.push_back(r), e.push_back(r + 25);
  }
  rig.feed(rig.ckIn, "ck.in", waveform(e, 40 + 50 * 60 + 40), 1.0);
  std::vector<double> k(rising.size());
  std::iota(k.begin(), k.end(), 0.0);
  expectNear(rig.values("CkTIE"), tieOf(rising, k), 1e-7);
  std::vector<double> jcc, jnc;
  for (size_t i = 1; i + 1 < rising.size(); ++i) jcc.push_back(rising[i + 1] - 2 * rising[i] + rising[i - 1]);
  expectNear(rig.values("CkJCC"), jcc, 1e-9);
  rig.num("ckjnc.n", 4);
  rig.num("ckjnc.start", 3);
  for (size_t i = 2; i + 8 < rising.size(); i += 4) jnc.push_back(rising[i + 8] - 2 * rising[i + 4] + rising[i]);
  std::vector<double> s, en;
  expectNear(rig.values("CkJNC", &s, &en), jnc, 1e-9);
  EXPECT_NEAR(s[0], rising[6], 1e-9);
  EXPECT_NEAR(en[0], rising[10], 1e-9);
}

TEST(MeasClock, JitterRecovery) {
  // Random jitter of known rms, and sinusoidal jitter of known amplitude.
  for (int mode = 0; mode < 2; ++mode) {
    MeasRig rig("CkTIE");
    std::mt19937 gen(11);
    std::normal_distribution<double> normal(0.0, 0.4);
    const int n = 4000;
    const double amp = 0.8;
    std::vector<double> e, injected;
    for (int k = 0; k < n; ++k) {
      const double j = mode == 0 ? normal(gen) : amp * std::sin(2 * M_PI * k / 50.0);
      injected.push_back(j);
      e.push_back(30 + 20.0 * k + j), e.push_back(40 + 20.0 * k + j);
    }
    rig.feed(rig.ckIn, "ck.in", waveform(e, 30 + 20 * n + 30, 1.0), 1.0);
    const std::vector<double> tie = rig.values("CkTIE");
    ASSERT_EQ(tie.size(), static_cast<size_t>(n));
    if (mode == 0) {
      EXPECT_NEAR(stddev(tie), stddev(injected), 0.05 * stddev(injected));
    } else {
      const auto [lo, hi] = std::minmax_element(tie.begin(), tie.end());
      EXPECT_NEAR(*hi - *lo, 2 * amp, 0.02 * 2 * amp);
    }
  }
}

TEST(MeasTransitions, RiseFallTimesAndSlewRates) {
  MeasRig rig("ck");
  std::vector<double> e;
  for (int k = 0; k < 5; ++k) e.push_back(20 + 40 * k), e.push_back(40 + 40 * k);
  rig.feed(rig.ckIn, "ck.in", waveform(e, 230, 0.25), 1e-10);  // ramps of 8 samples
  rig.num("ck.high", 0.5);
  rig.num("ck.low", -0.5);
  expectNear(rig.values("CkRiseTime"), std::vector<double>(5, 4.0));
  expectNear(rig.values("CkFallTime"), std::vector<double>(5, 4.0));
  expectNear(rig.values("CkRiseRate"), std::vector<double>(5, 0.25));
  EXPECT_NEAR(rig.m->Find("CkRiseRate")->output.scale * 0.25, 1.0 / 4e-10 * 1e-9, 1e-9) << "V/ns";
}

TEST(MeasData, UnitIntervalPeriodsAndTheGapExample) {
  MeasRig rig("dt");
  rig.text("dt.edgetype", "both");
  rig.num("dtperiod.freq.auto", 0);
  rig.num("dtfreq.freq.auto", 0);
  rig.feed(rig.dtIn, "dt.in", waveform({20, 51, 55, 80}, 100, 1.0), 1e-10);
  // freq 1e9 at 100 ps: u = 10 samples; 31 samples give three results, 4 give none.
  std::vector<double> s, en;
  expectNear(rig.values("DtPeriod", &s, &en), {31.0 / 3, 31.0 / 3, 31.0 / 3, 25.0 / 3, 25.0 / 3, 25.0 / 3}, 1e-9);
  EXPECT_EQ(s[0], 20);
  EXPECT_EQ(en[2], 51);
  expectNear(rig.values("DtFreq"), {3.0 / 31, 3.0 / 31, 3.0 / 31, 3.0 / 25, 3.0 / 25, 3.0 / 25}, 1e-12);

  // Runs of 1 to 3 unit intervals of 10 samples, estimated.
  MeasRig auto1("dt");
  auto1.text("dt.edgetype", "both");
  std::vector<double> e;
  double t = 15;
  const int runs[] = {1, 2, 3, 1, 1, 3, 2, 2, 1, 3, 1, 2};
  for (int r : runs) e.push_back(t), t += 10 * r;
  auto1.feed(auto1.dtIn, "dt.in", waveform(e, static_cast<long>(t + 10), 1.0), 1.0);
  for (double v : auto1.values("DtPeriod")) EXPECT_NEAR(v, 10, 1e-9);
  EXPECT_NEAR(auto1.m->unitInterval, 10, 1e-9);
  auto1.m->unitInterval = 5;  // kept for the acquisition: the others reuse it
  for (double v : auto1.values("DtFreq")) EXPECT_NEAR(v, 1.0 / 5, 1e-9);
  auto1.m->ActMsg("#acq.start");
  EXPECT_EQ(auto1.m->unitInterval, 0) << "a new acquisition estimates again";
  std::vector<double> k{0};
  for (size_t i = 1; i < e.size(); ++i) k.push_back(k.back() + std::trunc((e[i] - e[i - 1]) / 10 + 0.5));
  expectNear(auto1.values("DtTIE"), tieOf(e, k), 1e-9);
}

TEST(MeasTwoChannels, SetupHoldAndSkewExamples) {
  MeasRig rig("chch");
  rig.text("dt.edgetype", "both");
  rig.feed(rig.ckIn, "ck.in", waveform({20, 30, 40, 50}, 60, 1.0));
  rig.feed(rig.dtIn, "dt.in", waveform({10, 12, 30, 50}, 60, 1.0));
  std::vector<double> s, e;
  expectNear(rig.values("SetupTime", &s, &e), {8, 10});
  EXPECT_EQ(s[0], 12);
  EXPECT_EQ(e[0], 20);

  MeasRig hold("chch");
  hold.text("dt.edgetype", "both");
  hold.feed(hold.ckIn, "ck.in", waveform({20, 30, 40, 50}, 60, 1.0));
  hold.feed(hold.dtIn, "dt.in", waveform({20, 45}, 60, 1.0));
  expectNear(hold.values("HoldTime"), {0, 5});
  expectNear(hold.values("ChSkew"), {0, 5});
  EXPECT_TRUE(hold.values("XLevel").empty());

  MeasRig rate("chch");
  rate.feed(rate.ckIn, "ck.in", waveform({20, 30}, 60, 1.0), 1.0);
  rate.feed(rate.dtIn, "dt.in", waveform({20, 30}, 60, 1.0), 2.0);
  EXPECT_TRUE(rate.values("SetupTime").empty());
  EXPECT_NE(rate.log().find("m: Error - SetupTime: Clock & data must have same sample rate"), std::string::npos);
}

TEST(MeasWindows, ControlWindowsAndRequiredInputs) {
  MeasRig rig("ck");
  EXPECT_TRUE(rig.values("CkPeriod").empty());
  EXPECT_NE(rig.log().find("m: Error - CkPeriod: ck.in required"), std::string::npos);
  std::vector<double> e;
  for (int k = 0; k < 20; ++k) e.push_back(20 + 50 * k), e.push_back(45 + 50 * k);
  rig.feed(rig.ckIn, "ck.in", waveform(e, 1040), 1.0);
  rig.feed(rig.ctlIn, "ctl.in", waveform({300, 560}, 1040, 1.0), 1.0);  // high from 300 to 560
  std::vector<double> s, en;
  const std::vector<double> v = rig.values("CkPeriod", &s, &en);
  ASSERT_EQ(v.size(), 4u) << "edges 320 ... 520 lie in the window";
  EXPECT_EQ(s.front(), 320);
  EXPECT_EQ(en.back(), 520);

  // Off: nothing is evaluated and the output stays as it was.
  CMeasurement* p = rig.m->Find("CkPeriod");
  const int32_t tag = p->output.tag;
  rig.num("CkPeriod.on", 0);
  rig.values("CkPeriod");
  EXPECT_EQ(p->output.tag, tag);
  EXPECT_EQ(p->output.count, 4);

  // The run() function and the engine's output-port message evaluate too.
  rig.num("CkPeriod.on", 1);
  VPARAMS a;
  EXPECT_EQ(rig.m->FunInfo("run", a), cmdDone);
  EXPECT_EQ(rig.m->Fun("run", a), cmdDone);
  EXPECT_EQ(p->output.tag, tag + 1);
  rig.m->ActMsg("CkPeriod.out");
  EXPECT_EQ(p->output.tag, tag + 2);
}

TEST(MeasClock, NegativeCycleToCycleAndSelections) {
  MeasRig rig("ck");
  rig.text("ck.edgetype", "both");
  std::vector<double> e;  // high for 30 + k, low for 60 - 2k samples
  double t = 20;
  for (int k = 0; k < 8; ++k) e.push_back(t), e.push_back(t + 30 + k), t += 90 - k;
  rig.feed(rig.ckIn, "ck.in", waveform(e, static_cast<long>(t)), 1.0);
  std::vector<double> nwcc, ndcc;
  for (int k = 1; k < 7; ++k) nwcc.push_back(-2);  // negative widths 60 - 2k
  expectNear(rig.values("CkNWdCC"), nwcc);
  std::vector<double> nd;
  for (int k = 0; k < 7; ++k) nd.push_back((60.0 - 2 * k) / (90.0 - k + 1));
  for (size_t k = 1; k < nd.size(); ++k) ndcc.push_back(nd[k] - nd[k - 1]);
  expectNear(rig.values("CkNDutyCC"), ndcc, 1e-12);

  // Periods between falling edges; and with "rise+fall" every second entry of a list that
  // holds both, so again one polarity.
  std::vector<double> fallPeriods;
  for (int k = 1; k < 8; ++k) fallPeriods.push_back(e[2 * k + 1] - e[2 * k - 1]);
  rig.text("ck.edgetype", "fall");
  expectNear(rig.values("CkPeriod"), fallPeriods);
  rig.text("ck.edgetype", "fall+rise");
  expectNear(rig.values("CkPeriod"), fallPeriods);
  std::vector<double> risePeriods;
  for (int k = 1; k < 8; ++k) risePeriods.push_back(e[2 * k] - e[2 * k - 2]);
  rig.text("ck.edgetype", "rise+fall");
  expectNear(rig.values("CkPeriod"), risePeriods);
}

TEST(MeasTransitions, DataChannelAndFallRate) {
  MeasRig rig("all");
  std::vector<double> e;
  for (int k = 0; k < 5; ++k) e.push_back(20 + 40 * k), e.push_back(40 + 40 * k);
  const std::vector<double> s = waveform(e, 230, 0.125);  // ramps of 16 samples
  rig.feed(rig.ckIn, "ck.in", s, 1e-9);
  rig.feed(rig.dtIn, "dt.in", s, 1e-9);
  for (const char* p : {"ck", "dt"}) {
    rig.num((std::string(p) + ".high").c_str(), 0.75);
    rig.num((std::string(p) + ".low").c_str(), -0.25);
  }
  expectNear(rig.values("DtRiseTime"), std::vector<double>(5, 8.0));
  expectNear(rig.values("DtFallTime"), std::vector<double>(5, 8.0));
  expectNear(rig.values("DtRiseRate"), std::vector<double>(5, 1.0 / 8));
  expectNear(rig.values("CkFallRate"), std::vector<double>(5, 1.0 / 8));
  EXPECT_NEAR(rig.m->Find("DtFallRate")->output.scale, 1.0 / 1e-9 * 1e-9, 1e-12) << "1 V over 1 ns";
  std::vector<double> s1, e1;
  rig.values("CkFallTime", &s1, &e1);
  EXPECT_NEAR(s1[0], 40 - 0.75 / 0.125, 1e-9) << "the high crossing opens a falling edge";
  EXPECT_NEAR(e1[0], 40 + 0.25 / 0.125, 1e-9);
}

namespace {
std::vector<std::string> g_reports;
void keepReport(long, long, long, const char* message, const char*) { g_reports.emplace_back(message); }
}  // namespace

TEST(MeasPass, EachMeasurementIsEvaluatedOncePerPassWhenItsInputsAreReady) {
  const KvErrReportFn previous = KvSetErrReport(keepReport);
  g_reports.clear();
  MeasRig rig("chch");
  rig.feed(rig.ckIn, "ck.in", waveform({20, 30, 40, 50}, 60, 1.0));
  rig.feed(rig.dtIn, "dt.in", waveform({12, 35}, 60, 1.0));
  auto tags = [&] {
    std::string t;
    for (const char* n : {"SetupTime", "HoldTime", "ChSkew", "XLevel"}) t += std::to_string(rig.m->Find(n)->output.tag) + " ";
    return t;
  };
  // Nothing links the outputs: the engine only announces the inputs, in either order.
  rig.m->ActMsg("#acq.start");
  rig.m->ActMsg("dt.in");
  EXPECT_EQ(tags(), "0 0 0 0 ") << "the clock is not ready yet";
  rig.m->ActMsg("ck.in");
  EXPECT_EQ(tags(), "1 1 1 1 ");
  EXPECT_EQ(rig.m->Find("SetupTime")->output.count, 1);
  rig.m->ActMsg("ck.in");
  EXPECT_EQ(tags(), "1 1 1 1 ") << "once per pass";

  // A linked output is asked for by name; the others follow, as their inputs are ready then.
  rig.m->Find("HoldTime")->output.users = 1;
  rig.m->ActMsg("#acq.start");
  rig.m->ActMsg("HoldTime.out");
  EXPECT_EQ(tags(), "2 2 2 2 ");
  rig.m->ActMsg("HoldTime.out");
  EXPECT_EQ(tags(), "2 3 2 2 ") << "an explicit request always evaluates";
  rig.m->ActMsg("dt.in");
  EXPECT_EQ(tags(), "2 3 2 2 ");
  rig.m->Find("HoldTime")->output.users = 0;

  // A required input that is not linked never counts as ready.
  VPARAM none;
  none.value.p = nullptr;
  rig.m->Settings(parWrite, "dt.in", none);
  rig.m->ActMsg("#acq.start");
  rig.m->ActMsg("ck.in");
  EXPECT_EQ(tags(), "3 4 3 3 ") << "evaluated, and emptied";
  EXPECT_NE(rig.log().find("m: Error - SetupTime: dt.in required"), std::string::npos) << rig.log();
  KvSetErrReport(previous);
  for (const std::string& r : g_reports) ADD_FAILURE() << "internal report: " << r;
}

TEST(MeasSettings, RefusedValuesLeaveTheSettingAsItWas) {
  MeasRig rig("all");
  const double inf = HUGE_VAL, nan = std::nan("");
  struct Case {
    const char* name;
    double value;
    CMDERR answer;
  };
  // 2147483648 reaches a 32-bit setting as -2147483648.
  const Case cases[] = {
      {"ck.mid", inf, cmdBadValue},          {"ck.mid", nan, cmdBadValue},
      {"dt.rise.high", -inf, cmdBadValue},   {"ctl.fall.low", nan, cmdBadValue},
      {"ck.hysteresis", -1, cmdBadValue},    {"ck.hysteresis", inf, cmdBadValue},
      {"ck.skew", nan, cmdBadValue},         {"CkPeriod.minlmt", nan, cmdBadValue},
      {"dtperiod.freq", inf, cmdBadValue},   {"dttie.freq", nan, cmdBadValue},
      {"start", -7, cmdBadValue},            {"stop", -2, cmdBadValue},
      {"ckjnc.start", 0, cmdBadValue},       {"ckjnc.start", -2147483648.0, cmdBadValue},
      {"ckjnc.n", 0, cmdBadValue},           {"ckjnc.n", -5, cmdBadValue},
      // Accepted: the order of the levels is the pass's concern, infinite limits are none.
      {"ck.high", -5, cmdDone},              {"ck.low", 5, cmdDone},
      {"ck.hysteresis", 0, cmdDone},         {"CkPeriod.maxlmt", inf, cmdDone},
      {"CkPeriod.minlmt", -inf, cmdDone},    {"start", -1, cmdDone},
      {"stop", 100, cmdDone},                {"ckjnc.start", 2147483647.0, cmdDone},
      {"ckjnc.n", 1, cmdDone},               {"dtfreq.freq", 2.5e9, cmdDone},
  };
  for (const Case& c : cases) {
    VPARAM d, before, v, after;
    rig.m->Settings(parDescribe, c.name, d);
    rig.m->Settings(parRead, c.name, before);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(c.value);
    else v.value.r8 = c.value;
    EXPECT_EQ(rig.m->Settings(parWrite, c.name, v), c.answer) << c.name << " = " << c.value;
    rig.m->Settings(parRead, c.name, after);
    if (c.answer != cmdDone) EXPECT_EQ(after.value.raw, before.value.raw) << c.name << " unchanged";
    else EXPECT_EQ(after.value.raw, v.value.raw) << c.name;
  }
}

TEST(MeasPass, NoResultsSurviveAPassThatMeasuresNothing) {
  MeasRig rig("ck");
  std::vector<double> e;
  for (int k = 0; k < 10; ++k) e.push_back(20 + 100 * k), e.push_back(70 + 100 * k);
  rig.feed(rig.ckIn, "ck.in", waveform(e, 1020), 1e-9);
  rig.text("ck.edgetype", "rise+fall");  // every clock measurement can measure: no abort
  auto count = [&] { return rig.count("CkPeriod"); };
  auto pass = [&](bool announce) {
    rig.m->ActMsg("#acq.start");
    if (announce) rig.m->ActMsg("ck.in");
  };
  pass(true);
  EXPECT_EQ(count(), "9");

  // The pass ends before the component is reached (its source failed).
  pass(false);
  EXPECT_EQ(count(), "0");
  // The record is empty.
  rig.feed(rig.ckIn, "ck.in", {}, 1e-9);
  pass(true);
  EXPECT_EQ(count(), "0");
  // The input is unlinked.
  rig.feed(rig.ckIn, "ck.in", waveform(e, 1020), 1e-9);
  pass(true);
  EXPECT_EQ(count(), "9");
  VPARAM none;
  rig.m->Settings(parWrite, "ck.in", none);
  EXPECT_TRUE(rig.values("CkPeriod").empty());
  EXPECT_EQ(count(), "0");

  // A new range is scanned again, even for the same record.
  rig.feed(rig.ckIn, "ck.in", waveform(e, 1020), 1e-9);
  rig.num("stop", 10);
  EXPECT_TRUE(rig.values("CkPeriod").empty());
  rig.num("stop", -1);
  EXPECT_EQ(rig.values("CkPeriod").size(), 9u) << "the same tag, a new range";
  rig.num("start", 500);
  EXPECT_EQ(rig.values("CkPeriod").size(), 4u);

  // A measurement that is off keeps its output.
  rig.num("start", -1);
  rig.num("CkFreq.on", 1);
  EXPECT_EQ(rig.values("CkFreq").size(), 9u);
  rig.num("CkFreq.on", 0);
  pass(false);
  EXPECT_EQ(rig.count("CkFreq"), "9");
}

TEST(MeasPass, ResultsAnAbortCutShortAreNotPublished) {
  MeasRig rig("ck");
  std::vector<double> e;
  for (int k = 0; k < 200; ++k) e.push_back(20 + 100 * k), e.push_back(70 + 100 * k);
  rig.feed(rig.ckIn, "ck.in", waveform(e, 20020), 1e-9);
  rig.text("ck.edgetype", "rise");
  // The width's refusal aborts the pass; the measurements after it in the same run find the
  // abort flag set and must not show a short count.
  rig.m->RunAll();
  EXPECT_NE(rig.log().find("m: Error - CkPWidth: Unable to calculate"), std::string::npos);
  for (const char* n : {"CkTIE", "CkJCC", "CkJNC", "CkRiseTime"})
    EXPECT_EQ(rig.count(n), "0") << n;
  EXPECT_EQ(rig.count("CkPeriod"), "199") << "measured before the abort";

  // An abort during the edge scan: the incomplete list is not used, and is scanned again.
  rig.g.abort = 1;
  rig.feed(rig.ckIn, "ck.in", waveform(e, 20020), 1e-9);
  EXPECT_TRUE(rig.values("CkPeriod").empty());
  rig.g.abort = 0;
  EXPECT_EQ(rig.values("CkPeriod").size(), 199u);
}

TEST(MeasPass, NonFiniteSamplesAreToldOncePerPass) {
  MeasRig rig("ck");
  std::vector<double> e;
  for (int k = 0; k < 10; ++k) e.push_back(20 + 100 * k), e.push_back(70 + 100 * k);
  std::vector<double> s = waveform(e, 1020);
  s[5] = std::nan(""), s[6] = HUGE_VAL, s[600] = -HUGE_VAL;
  rig.feed(rig.ckIn, "ck.in", s, 1e-9);
  rig.text("ck.edgetype", "both");
  auto told = [&] {
    const std::string log = rig.log();
    size_t n = 0;
    for (size_t at = log.find("ck.in holds 3 non-finite samples"); at != std::string::npos; at = log.find("ck.in holds 3", at + 1)) ++n;
    return n;
  };
  rig.m->ActMsg("#acq.start");
  rig.m->ActMsg("ck.in");  // every clock measurement, all three lists
  EXPECT_EQ(told(), 1u);
  rig.m->ActMsg("#acq.start");
  rig.m->ActMsg("ck.in");
  EXPECT_EQ(told(), 2u) << "again in the next pass";
  EXPECT_NE(rig.log().find("m: Warning - ck.in holds 3 non-finite samples"), std::string::npos) << rig.log();
}

TEST(MeasTime, ResultsContinueTheRecordsTime) {
  MeasRig rig("ck");
  std::vector<double> e;
  for (int k = 0; k < 10; ++k) e.push_back(20 + 100 * k), e.push_back(70 + 100 * k);
  rig.ckIn.xstart = -50.1e-3;
  rig.feed(rig.ckIn, "ck.in", waveform(e, 1020), 1e-6);
  std::vector<double> starts;
  rig.values("CkPeriod", &starts);
  const CBfr& out = rig.m->Find("CkPeriod")->output;
  EXPECT_EQ(out.xstart, -50.1e-3);
  ASSERT_FALSE(starts.empty());
  // Positions stay in samples of the record; its first sample is at xstart.
  EXPECT_NEAR(out.xstart + starts[0] * out.interval, -50.1e-3 + 20e-6, 1e-12);
  EXPECT_EQ(rig.m->ck.GetEdges(kEdgeMid)->xstart, -50.1e-3) << "an edge list is derived from the record";
}

TEST(MeasMessages, NoEdgesNamesTheRecordsRangeBesideTheLevels) {
  // 0-3 V logic with the default levels (mid 0, low -1, high 1) finds no edge.
  MeasRig rig("ck");
  std::vector<double> s(400);
  for (size_t i = 0; i < s.size(); ++i) s[i] = (i / 50) % 2 ? 3.0 : 0.0;
  rig.feed(rig.ckIn, "ck.in", s, 1e-6);
  EXPECT_TRUE(rig.values("CkPeriod").empty());
  EXPECT_NE(rig.log().find("m: Warning - CkPeriod: No edges found: ck.in lies between 0 and 3.0, mid 0, hysteresis 100.000m"),
            std::string::npos)
      << rig.log();
  rig.num("ck.low", 4);
  rig.num("ck.high", 5);
  EXPECT_TRUE(rig.values("CkRiseTime").empty());
  EXPECT_NE(rig.log().find("CkRiseTime: No edges found: ck.in lies between 0 and 3.0, low 4.0, high 5.0"), std::string::npos)
      << rig.log();
}

TEST(MeasLevels, AutomaticLevelsFindTheEdgesOfLevelsSetByHand) {
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 0.02);
  struct Case {
    const char* what;
    double mid, hysteresis;
    std::function<double(long)> wave;
  };
  const double pi = std::acos(-1.0);
  const Case cases[] = {
      {"0-3 V logic", 1.5, 0.15, [&](long i) { return ((i / 37) % 2 ? 3.0 : 0.0) + noise(rng); }},
      {"square with noise", 0, 0.2, [&](long i) { return ((i / 50) % 2 ? 1.0 : -1.0) + 5 * noise(rng); }},
      {"sine", 0.2, 0.1, [&](long i) { return 0.2 + 1.6 * std::sin(2 * pi * i / 97.0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> s(5000);
    for (long i = 0; i < 5000; ++i) s[static_cast<size_t>(i)] = c.wave(i);
    MeasRig byHand("ck"), automatic("ck");
    for (MeasRig* r : {&byHand, &automatic}) {
      r->text("ck.edgetype", "both");
      r->feed(r->ckIn, "ck.in", s);
    }
    byHand.num("ck.mid", c.mid);
    byHand.num("ck.hysteresis", c.hysteresis);
    automatic.num("ck.levels.auto", 1);
    const std::vector<double> want = byHand.values("CkPeriod"), got = automatic.values("CkPeriod");
    ASSERT_EQ(got.size(), want.size());
    ASSERT_GT(got.size(), 40u);
    // The same edges: crossings of slightly different levels, well inside a period.
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 2.0) << i;
  }

  // Each threshold the levels change is announced, once; the same record changes nothing.
  {
    static std::vector<std::string> changed;
    changed.clear();
    MeasRig rig("ck");
    rig.g.notify = [](const char* who, const char* what) { changed.push_back(std::string(who) + "." + what); };
    std::vector<double> s(1000);
    for (size_t i = 0; i < s.size(); ++i) s[i] = (i / 50) % 2 ? 3.0 : 0.0;
    rig.feed(rig.ckIn, "ck.in", s);
    changed.clear();
    rig.num("ck.levels.auto", 1);
    rig.values("CkPeriod");
    EXPECT_EQ(changed, (std::vector<std::string>{"m.ck.mid", "m.ck.high", "m.ck.low", "m.ck.hysteresis"}));
    rig.m->ck.Invalidate();
    rig.values("CkPeriod");
    EXPECT_EQ(changed.size(), 4u) << "no change, no notice";
    EXPECT_EQ(rig.count("CkPeriod"), "9");
  }

  // No swing: one warning naming the range, and nothing changes.
  MeasRig flat("ck");
  flat.feed(flat.ckIn, "ck.in", std::vector<double>(100, 0.7));
  flat.num("ck.levels.auto", 1);
  EXPECT_TRUE(flat.values("CkPeriod").empty());
  EXPECT_NE(flat.log().find("ck.in has no swing for automatic levels: it lies between 700.000m and 700.000m"),
            std::string::npos)
      << flat.log();
  VPARAM mid;
  flat.m->Settings(parRead, "ck.mid", mid);
  EXPECT_EQ(mid.value.r8, 0.0) << "the levels stay as they were";
}
