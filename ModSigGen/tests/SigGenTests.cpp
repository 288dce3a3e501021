// The generator's records measured independently: crossings found here, and the measurement
// module's own numbers for the edge waveforms.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "ModMeas/MeasIn.h"
#include "ModSigGen/SigGen.h"

namespace {

struct GenRig {
  CGlobalData g;
  KvCreateBlock block{"gen", &g, nullptr, ""};
  CSigGen gen{block};
  void set(const char* name, double x) {
    VPARAM d, v;
    gen.Settings(parDescribe, name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    ASSERT_EQ(gen.Settings(parWrite, name, v), cmdDone) << name;
  }
  void text(const char* name, const char* t) {
    VPARAM v;
    v.value.s = t;
    ASSERT_EQ(gen.Settings(parWrite, name, v), cmdDone) << name;
  }
  // Links a constant modulating record of n samples at `volts`.
  void modulate(CBfr& m, double volts, long n) {
    m.SetBfrType(bfrR8);
    m.SetSize(n);
    std::fill(static_cast<double*>(m.data), static_cast<double*>(m.data) + n, volts);
    m.count = static_cast<int32_t>(n);
    VPARAM v;
    v.value.p = &m;
    gen.Settings(parWrite, "mod.in", v);
  }
  std::vector<double> record() {
    gen.Generate();
    const double* s = static_cast<const double*>(gen.out.data);
    return std::vector<double>(s, s + gen.out.count);
  }
  // A statistic of one measurement on the generator's output.
  double measure(const char* kind, const char* stat, const char* edgetype = "rise", double high = 1, double low = -1) {
    KvCreateBlock mb{"m", &g, nullptr, kind};
    CMeasIn m(mb);
    VPARAM v;
    v.value.p = &gen.out;
    m.Settings(parWrite, "ck.in", v);
    v.value.s = edgetype;
    m.Settings(parWrite, "ck.edgetype", v);
    v.value.r8 = high;
    m.Settings(parWrite, "ck.high", v);
    v.value.r8 = low;
    m.Settings(parWrite, "ck.low", v);
    m.RunAll();
    VPARAM r;
    m.Settings(parRead, (std::string(kind) + "." + stat).c_str(), r);
    return std::string(stat) == "count?" ? r.value.i4 : r.value.r8;
  }
};

}  // namespace

TEST(SigGen, SquareClockPeriodDutyAndRiseTime) {
  GenRig rig;
  rig.text("type", "square");
  rig.set("freq", 100e6);
  rig.set("samplerate", 10e9);
  rig.set("reclen", 20000);
  rig.set("risetime", 1e-9);
  rig.set("duty", 40);
  rig.record();
  EXPECT_EQ(rig.gen.out.interval, 1e-10);
  EXPECT_NEAR(rig.measure("CkPeriod", "mean?"), 1e-8, 1e-18);
  EXPECT_NEAR(rig.measure("CkPeriod", "stddev?"), 0, 1e-18);
  EXPECT_NEAR(rig.measure("CkPDuty", "mean?", "both"), 40, 1e-6);
  EXPECT_NEAR(rig.measure("CkRiseTime", "mean?", "rise", 0.8, -0.8), 1e-9, 1e-15) << "10-90 %";
  EXPECT_NEAR(rig.measure("CkFallTime", "mean?", "rise", 0.8, -0.8), 1e-9, 1e-15);
  const std::vector<double> s = rig.record();
  EXPECT_EQ(*std::max_element(s.begin(), s.end()), 1.0);
  EXPECT_EQ(*std::min_element(s.begin(), s.end()), -1.0);
}

TEST(SigGen, RandomJitterOfTheSetRms) {
  GenRig rig;
  rig.text("type", "square");
  rig.set("freq", 100e6);
  rig.set("samplerate", 10e9);
  rig.set("reclen", 1000000);  // 10,000 cycles: the rms within 5 % with a wide margin
  rig.set("risetime", 1e-9);
  rig.set("jitter.rj", 2e-12);
  rig.set("seed", 3);
  rig.record();
  EXPECT_GE(rig.measure("CkTIE", "count?"), 9999) << "the edge at the first sample has no crossing";
  EXPECT_NEAR(rig.measure("CkTIE", "stddev?"), 2e-12, 0.05 * 2e-12);
  // Sinusoidal jitter instead: a TIE peak to peak of twice the amplitude.
  rig.set("jitter.rj", 0);
  rig.set("jitter.pj", 5e-12);
  rig.set("jitter.pj.freq", 1e6);
  rig.set("reclen", 1000000);
  rig.record();
  const double pp = rig.measure("CkTIE", "max?") - rig.measure("CkTIE", "min?");
  EXPECT_NEAR(pp, 10e-12, 0.02 * 10e-12);
}

TEST(SigGen, RecordsContinueThePhase) {
  for (const char* type : {"sine", "square", "triangle"}) {
    SCOPED_TRACE(type);
    GenRig a, b;
    for (GenRig* r : {&a, &b}) {
      r->text("type", type);
      r->set("freq", 1234.5);
      r->set("samplerate", 1e5);
      r->set("risetime", 2e-5);
    }
    a.set("reclen", 333);
    std::vector<double> two = a.record();
    const std::vector<double> second = a.record();
    two.insert(two.end(), second.begin(), second.end());
    b.set("reclen", 666);
    const std::vector<double> one = b.record();
    ASSERT_EQ(two.size(), one.size());
    for (size_t i = 0; i < one.size(); ++i) ASSERT_NEAR(two[i], one[i], 1e-9) << i;
    a.set("angle", 0);
    const std::vector<double> again = a.record();
    for (size_t i = 0; i < again.size(); ++i) ASSERT_NEAR(again[i], one[i], 1e-9) << "angle 0 starts over";
  }
}

TEST(SigGen, SineFrequencyAmplitudeAndFrequencyModulation) {
  GenRig rig;
  rig.set("freq", 1000);
  rig.set("samplerate", 1e6);
  rig.set("reclen", 100000);
  rig.set("pk2pk", 4);
  rig.set("offset", 0.5);
  std::vector<double> s = rig.record();
  EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 2.5, 1e-6);
  EXPECT_NEAR(*std::min_element(s.begin(), s.end()), -1.5, 1e-6);
  rig.set("offset", 0);
  rig.record();
  EXPECT_NEAR(rig.measure("CkFreq", "mean?"), 1000, 1e-3);

  CBfr m;  // a constant modulating input of 1 V: FM with gain 0.5 gives 1.5 times the frequency
  rig.modulate(m, 1.0, 100000);
  rig.text("mod.type", "FM");
  rig.set("mod.gain", 0.5);
  rig.record();
  EXPECT_NEAR(rig.measure("CkFreq", "mean?"), 1500, 1e-2);
  rig.text("mod.type", "AM");
  s = rig.record();
  EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 3.0, 1e-3) << "amplitude times 1.5";
}

TEST(SigGen, SettingsListsAndRefusals) {
  GenRig rig;
  VPARAMS a;
  CStr out;
  a.result.value.str = &out;
  ASSERT_EQ(rig.gen.FunInfo("wfm.types", a), cmdDone);
  rig.gen.Fun("wfm.types", a);
  EXPECT_EQ(out, "sine,square,triangle,pulse,noise,dc,prbs");
  rig.gen.Fun("noise.types", a);
  EXPECT_EQ(out, "gaussian,uniform");
  VPARAM v;
  v.value.s = "sawtooth";
  EXPECT_EQ(rig.gen.Settings(parWrite, "type", v), cmdBadValue);
  v.value.r8 = -5;
  EXPECT_EQ(rig.gen.Settings(parWrite, "samplerate", v), cmdBadValue);
  v.value.s = "fm";
  EXPECT_EQ(rig.gen.Settings(parWrite, "mod.type", v), cmdDone);
  EXPECT_EQ(rig.gen.modType, "FM");
  CStr cls;
  v.value.str = &cls;
  rig.gen.Settings(parRead, "gui.class", v);
  EXPECT_EQ(cls, "KvSigGen.SigGen");
  rig.set("freeze", 1);
  rig.set("reclen", 10);
  rig.record();
  const int32_t tag = rig.gen.out.tag;
  rig.record();
  EXPECT_EQ(rig.gen.out.tag, tag) << "frozen: the last record stays";
}

TEST(SigGen, StepEdgesOnTheSampleGridAreEvenlySpaced) {
  // Edges without rise time that fall on samples (1 kHz at 1 MS/s, and 100 MHz at 10 GS/s):
  // whichever way the sample and edge times round, every period is the same whole number of
  // samples.
  struct Case {
    double freq, rate;
    long periodSamples;
  };
  for (const Case c : {Case{1e3, 1e6, 1000}, Case{100e6, 10e9, 100}, Case{3e3, 3e6, 1000}}) {
    SCOPED_TRACE(c.freq);
    GenRig rig;
    rig.text("type", "square");
    rig.set("freq", c.freq);
    rig.set("samplerate", c.rate);
    rig.set("reclen", c.periodSamples * 50);
    const std::vector<double> s = rig.record();
    std::vector<long> rises;
    for (size_t i = 1; i < s.size(); ++i)
      if (s[i - 1] < 0 && s[i] > 0) rises.push_back(static_cast<long>(i));
    ASSERT_EQ(rises.size(), 49u);
    for (size_t k = 0; k < rises.size(); ++k) EXPECT_EQ(rises[k], c.periodSamples * static_cast<long>(k + 1)) << k;
  }
}

TEST(SigGen, PulseWidthPhaseModulationAndPrbsPattern) {
  GenRig pulse;
  pulse.text("type", "pulse");
  pulse.set("freq", 1000);
  pulse.set("width", 2e-4);
  pulse.set("samplerate", 1e6);
  pulse.set("reclen", 20000);
  pulse.record();
  EXPECT_NEAR(pulse.measure("CkPWidth", "mean?", "both"), 2e-4, 1e-12);
  EXPECT_NEAR(pulse.measure("CkPDuty", "mean?", "both"), 20, 1e-6);

  // A constant 1 V on the modulation input with PM at pi/2 rad/V: the sine becomes a cosine.
  GenRig pm;
  pm.set("freq", 1000);
  pm.set("samplerate", 1e5);
  pm.set("reclen", 500);
  CBfr m;
  pm.modulate(m, 1.0, 500);
  pm.text("mod.type", "PM");
  pm.set("mod.gain", M_PI / 2);
  const std::vector<double> s = pm.record();
  for (size_t i = 0; i < s.size(); ++i) ASSERT_NEAR(s[i], std::cos(2 * M_PI * 1000 * i / 1e5), 1e-9) << i;

  // PRBS7: sampled in the middle of each bit, the levels repeat every 127 bits and follow
  // b[n] = b[n-6] xor b[n-7], with every non-zero 7-bit state once per period.
  GenRig prbs;
  prbs.text("type", "prbs");
  prbs.set("freq", 1e6);
  prbs.set("samplerate", 1e7);
  prbs.set("reclen", 10 * 400);
  const std::vector<double> p = prbs.record();
  std::vector<int> bits;
  for (size_t i = 5; i < p.size(); i += 10) bits.push_back(p[i] > 0);
  ASSERT_EQ(bits.size(), 400u);
  for (size_t n = 7; n < bits.size(); ++n) ASSERT_EQ(bits[n], bits[n - 6] ^ bits[n - 7]) << n;
  std::vector<bool> seen(128, false);
  for (size_t n = 0; n < 127; ++n) {
    int state = 0;
    for (size_t k = 0; k < 7; ++k) state = state * 2 + bits[n + k];
    EXPECT_FALSE(seen[static_cast<size_t>(state)]) << "state " << state << " twice";
    seen[static_cast<size_t>(state)] = true;
  }
  EXPECT_FALSE(seen[0]);
}

TEST(SigGen, NoiseTypesAndAddedNoiseHaveTheirSpread) {
  struct Case {
    const char* type;
    const char* noiseType;
    double pk2pk, noiseRms, wantStd;
  };
  const Case cases[] = {
      {"noise", "uniform", 2, 0, 2 / std::sqrt(12.0)},
      {"noise", "gaussian", 3, 0, 0.5},  // the range is six sigma
      {"dc", "gaussian", 2, 0.1, 0.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.noiseType);
    GenRig rig;
    rig.text("type", c.type);
    rig.text("noise.type", c.noiseType);
    rig.set("pk2pk", c.pk2pk);
    rig.set("offset", 1);
    rig.set("noise.rms", c.noiseRms);
    rig.set("reclen", 200000);
    const std::vector<double> s = rig.record();
    const double mean = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
    double var = 0;
    for (double x : s) var += (x - mean) * (x - mean);
    EXPECT_NEAR(mean, 1, 0.01);
    EXPECT_NEAR(std::sqrt(var / s.size()), c.wantStd, c.wantStd * 0.02);
    if (std::string(c.noiseType) == "uniform") {
      EXPECT_LE(*std::max_element(s.begin(), s.end()), 2.0);
      EXPECT_GE(*std::min_element(s.begin(), s.end()), 0.0);
    }
  }
}

// Every value a script can write either is refused or generates a record without undefined
// arithmetic (the sanitizer build aborts on any): the edges of each range, for every
// waveform, also when an additive offset keeps growing pass after pass.
TEST(SigGen, ExtremeSettingsAreRefusedOrGenerateSafely) {
  GenRig rig;
  struct Refused {
    const char* name;
    double value;
  };
  const Refused refused[] = {{"freq", 1e300},      {"freq", 0},           {"freq", 1e16},     {"samplerate", 1e-300},
                             {"samplerate", 2e15}, {"hor.offset", 1e300}, {"hor.offset", -2e9}, {"duty", 101},
                             {"symmetry", -1},     {"freq", NAN},         {"risetime", -1},   {"reclen", -1}};
  for (const Refused& r : refused) {
    VPARAM d, v;
    rig.gen.Settings(parDescribe, r.name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(r.value);
    else v.value.r8 = r.value;
    EXPECT_EQ(rig.gen.Settings(parWrite, r.name, v), cmdBadValue) << r.name << " = " << r.value;
  }
  struct Corner {
    double freq, samplerate, offset;
  };
  const Corner corners[] = {{1e15, 1e-9, 1e9}, {1e-9, 1e15, -1e9}, {1e15, 1e15, 1e9}, {1e-9, 1e-9, 0}};
  for (const char* type : {"sine", "square", "triangle", "pulse", "noise", "dc", "prbs"}) {
    for (const Corner& c : corners) {
      GenRig g;
      g.text("type", type);
      g.set("freq", c.freq);
      g.set("samplerate", c.samplerate);
      g.set("hor.offset", c.offset);
      g.set("hor.offset.additive", 1);
      g.set("jitter.rj", 1e3);
      g.set("reclen", 64);
      for (int pass = 0; pass < 3; ++pass) {
        const std::vector<double> s = g.record();
        ASSERT_EQ(s.size(), 64u) << type;
        for (double x : s) ASSERT_FALSE(std::isnan(x)) << type << " at " << c.freq << " Hz, " << c.samplerate << " S/s";
      }
    }
  }
}
