// The filter against references computed here: hand-worked taps, frequency responses summed
// directly, convolution and difference equations written out sample by sample.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "ModFilter/Coeffs.h"
#include "ModFilter/Design.h"
#include "ModFilter/Filter.h"

namespace {

using Vec = std::vector<double>;

double response(const Vec& h, double f) {  // |H| at f (a fraction of the sample rate)
  std::complex<double> s = 0;
  for (size_t n = 0; n < h.size(); ++n) s += h[n] * std::polar(1.0, -2 * M_PI * f * static_cast<double>(n));
  return std::abs(s);
}

// y[n] = (sum b[k] x[n-k] - sum_{k>=1} a[k] y[n-k]) / a[0]; an empty a is an FIR.
Vec difference(const Vec& b, const Vec& a, const Vec& x) {
  Vec y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    double s = 0;
    for (size_t k = 0; k < b.size() && k <= n; ++k) s += b[k] * x[n - k];
    for (size_t k = 1; k < a.size() && k <= n; ++k) s -= a[k] * y[n - k];
    y[n] = a.empty() ? s : s / a[0];
  }
  return y;
}

Vec noise(size_t n, unsigned seed = 1) {
  Vec x(n);
  for (auto& v : x) seed = seed * 1103515245u + 12345u, v = static_cast<double>((seed >> 8) % 2001) / 1000 - 1;
  return x;
}

std::vector<std::string> notified;
void onNotify(const char* name, const char* value) { notified.push_back(std::string(name) + "." + value); }

struct Rig {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  KvCreateBlock block{"f", &g, nullptr, ""};
  CFilter f{block};
  CBfr in;

  Rig() {
    CLog::Init(logParent, 0);
    g.notify = onNotify;
    notified.clear();
    link(&in);
  }
  ~Rig() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void link(CBfr* b) {
    VPARAM v;
    v.value.p = b;
    f.Settings(parWrite, "in", v);
  }
  CMDERR set(const char* name, double x) {
    VPARAM d, v;
    f.Settings(parDescribe, name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    return f.Settings(parWrite, name, v);
  }
  CMDERR text(const char* name, const char* t) {
    VPARAM v;
    v.value.s = t;
    return f.Settings(parWrite, name, v);
  }
  std::string read(const char* name, GETPARCMD cmd = parRead) {
    CStr t;
    VPARAM v;
    v.value.str = &t;
    f.Settings(cmd, name, v);
    return t.GetBfr();
  }
  int32_t whole(const char* name) {
    VPARAM v;
    f.Settings(parRead, name, v);
    return v.value.i4;
  }
  template <class T = double>
  void load(const Vec& x, enumBfrType type = bfrR8, double scale = 1, double offset = 0, double interval = 1e-6) {
    in.SetBfrType(type);
    ASSERT_TRUE(in.SetSize(static_cast<long>(x.size())));
    for (size_t i = 0; i < x.size(); ++i) static_cast<T*>(in.data)[i] = static_cast<T>(x[i]);
    in.count = in.valid = static_cast<int32_t>(x.size());
    in.scale = scale, in.offset = offset, in.interval = interval;
  }
  Vec run(const Vec& x) {
    load(x);
    return run();
  }
  Vec run() {
    f.ActMsg("out");
    const double* s = static_cast<const double*>(f.out.data);
    return s ? Vec(s, s + f.out.count) : Vec();
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

void expectNear(const Vec& got, const Vec& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tol) << "sample " << i;
}

void expectSame(const Vec& got, const Vec& want) {  // bit for bit
  ASSERT_EQ(got.size(), want.size());
  EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(double)), 0);
}

}  // namespace

TEST(FilterDesign, HandCheckedRectangularLowpass) {
  // Order 4 at a quarter of the sample rate: the ideal taps 0.5 sinc((n - 2) / 2) are
  // 0, 1/pi, 1/2, 1/pi, 0, scaled to a sum of 1.
  const FirDesign d = DesignFir({FirResponse::Lowpass, FirWindow::Rectangular, 4, 0.25, 0.3, 0});
  ASSERT_TRUE(d.error.empty()) << d.error;
  const double sum = 0.5 + 2 / M_PI;
  expectNear(d.taps, {0, 1 / M_PI / sum, 0.5 / sum, 1 / M_PI / sum, 0}, 1e-15);
  // Hamming: the same taps times 0.54 - 0.46 cos(2 pi n / 4) = 0.08, 0.54, 1, 0.54, 0.08.
  const FirDesign h = DesignFir({FirResponse::Lowpass, FirWindow::Hamming, 4, 0.25, 0.3, 0});
  const double hs = 0.5 + 2 * 0.54 / M_PI;
  expectNear(h.taps, {0, 0.54 / M_PI / hs, 0.5 / hs, 0.54 / M_PI / hs, 0}, 1e-15);
}

TEST(FilterDesign, SymmetricWithUnitGainWherePassing) {
  struct Case {
    FirResponse r;
    double f1, f2, passAt;  // where the gain is 1
    double stopAt;          // where it is well below
  };
  const Case cases[] = {{FirResponse::Lowpass, 0.1, 0, 0.0, 0.3},
                        {FirResponse::Highpass, 0.3, 0, 0.5, 0.05},
                        {FirResponse::Bandpass, 0.15, 0.3, 0.225, 0.45},
                        {FirResponse::Bandstop, 0.15, 0.3, 0.0, 0.225}};
  for (const Case& c : cases)
    for (int w = 0; w < 5; ++w)
      for (int32_t order : {40, 41}) {
        SCOPED_TRACE(std::string(FirResponseName(c.r)) + " " + FirWindowName(FirWindow(w)) + " " + std::to_string(order));
        const FirDesign d = DesignFir({c.r, FirWindow(w), order, c.f1, c.f2, 6});
        ASSERT_TRUE(d.error.empty()) << d.error;
        const bool raised = order % 2 && (c.r == FirResponse::Highpass || c.r == FirResponse::Bandstop);
        EXPECT_EQ(d.taps.size(), static_cast<size_t>(order + (raised ? 2 : 1)));
        EXPECT_EQ(d.warning.empty(), !raised);
        for (size_t n = 0; n < d.taps.size(); ++n) ASSERT_EQ(d.taps[n], d.taps[d.taps.size() - 1 - n]) << n;
        EXPECT_NEAR(response(d.taps, c.passAt), 1, 1e-12);
        EXPECT_LT(response(d.taps, c.stopAt), 0.1);
      }
}

TEST(FilterDesign, HammingLowpassStopbandAttenuation) {
  // 65 taps: a transition about 3.3 / 65 = 0.05 wide, then at least 50 dB down.
  const FirDesign d = DesignFir({FirResponse::Lowpass, FirWindow::Hamming, 64, 0.1, 0, 0});
  double worst = 0;
  for (double f = 0.16; f <= 0.5; f += 0.0005) worst = std::max(worst, response(d.taps, f));
  EXPECT_LT(20 * std::log10(worst), -50);
  for (double f = 0; f <= 0.06; f += 0.001) EXPECT_NEAR(response(d.taps, f), 1, 0.003) << f;
}

TEST(FilterDesign, ImpossibleDesignsAreRefused) {
  struct Case {
    FirSpec spec;
    const char* error;
  };
  const Case cases[] = {
      {{FirResponse::Lowpass, FirWindow::Hann, 10, 0.5, 0, 0}, "Band edge 0.5 is outside 0 to 0.5 of the sample rate."},
      {{FirResponse::Lowpass, FirWindow::Hann, 10, 0, 0, 0}, "Band edge 0 is outside 0 to 0.5 of the sample rate."},
      {{FirResponse::Bandpass, FirWindow::Hann, 10, 0.1, 0.6, 0}, "Band edge 0.6 is outside 0 to 0.5 of the sample rate."},
      {{FirResponse::Bandstop, FirWindow::Hann, 10, 0.3, 0.2, 0},
       "The lower band edge (0.3) must be below the upper (0.2) for a bandstop."},
      {{FirResponse::Lowpass, FirWindow::Hann, 0, 0.1, 0, 0}, "Filter order 0 is outside 1 to 999998."},
      {{FirResponse::Lowpass, FirWindow::Kaiser, 10, 0.1, 0, -1}, "Kaiser beta -1 is outside 0 to 100."},
  };
  for (const Case& c : cases) {
    const FirDesign d = DesignFir(c.spec);
    EXPECT_EQ(d.error, c.error);
    EXPECT_TRUE(d.taps.empty());
  }
  EXPECT_EQ(DesignFir({FirResponse::Highpass, FirWindow::Hann, 7, 0.2, 0, 0}).warning,
            "Order 7 is odd; a highpass needs an even order: designed with order 8.");
}

TEST(FilterCoeffs, SeparatorsSuffixesAndFormat) {
  struct Case {
    const char* text;
    Vec values;
  };
  const Case cases[] = {
      {"1", {1}},
      {"1 2\t3\r\n4\n5,6;7", {1, 2, 3, 4, 5, 6, 7}},
      {" ,; 0.5,,  -2.5e-3 ;\n", {0.5, -2.5e-3}},
      {"+1 .25 -0 1E-2", {1, 0.25, -0.0, 0.01}},
      {"1m 2u 3n 4K 5M 2\xC2\xB5", {1e-3, 2e-6, 3e-9, 4e3, 5e6, 2e-6}},
  };
  for (const Case& c : cases) {
    Vec got;
    std::string error;
    ASSERT_TRUE(ParseCoeffs(c.text, got, error)) << c.text << ": " << error;
    expectNear(got, c.values, 1e-18);
  }
  // A suffix and its mantissa are one decimal number: exact, not a product of two roundings.
  Vec exact;
  std::string why;
  ASSERT_TRUE(ParseCoeffs("9.5n 2.5G 1.1k -0.3m", exact, why)) << why;
  expectSame(exact, {9.5e-9, 2.5e9, 1.1e3, -0.3e-3});
  // The written form reads back exactly.
  const Vec c = {0.1, -1.0 / 3, 1e-300, 12345678.9};
  Vec back;
  std::string error;
  ASSERT_TRUE(ParseCoeffs(FormatCoeffs(c, "\t"), back, error));
  expectSame(back, c);
  EXPECT_EQ(FormatCoeffs({1, 0.5, -2}, "\n"), "1\n0.5\n-2");
}

TEST(FilterCoeffs, BadItemsAreNamedByPosition) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"1, 2, abc", "Coefficient 3 is not a number: \"abc\""},
      {"1;2x", "Coefficient 2 is not a number: \"2x\""},
      {"1,0x10", "Coefficient 2 is not a number: \"0x10\""},
      {"++1", "Coefficient 1 is not a number: \"++1\""},
      {"1 - 2", "Coefficient 2 is not a number: \"-\""},
      {"1 inf", "Coefficient 2 is not finite: \"inf\""},
      {"nan", "Coefficient 1 is not finite: \"nan\""},
      {"1e999", "Coefficient 1 is out of range: \"1e999\""},
      {"1e300T", "Coefficient 1 is not finite: \"1e300T\""},
      {"1,\x01x", "Coefficient 2 is not a number: \"?x\""},
      {" \r\n,; ", "The coefficient list is empty."},
      {"", "The coefficient list is empty."},
      {"1 2 3 4", "More than 3 coefficients."},
  };
  for (const Case& c : cases) {
    Vec kept = {42};
    std::string error;
    EXPECT_FALSE(ParseCoeffs(c.text, kept, error, 3)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(kept, Vec{42}) << "a refused list changes nothing";
  }
}

TEST(Filter, RefusedListsKeepTheListInForce) {
  Rig rig;
  ASSERT_EQ(rig.text("coeffs", "0.5 0.5"), cmdDone);
  const Vec x = {1, 3, 5};
  EXPECT_EQ(rig.run(x), (Vec{0.5, 2, 4}));
  EXPECT_EQ(rig.text("coeffs", "1 2 abc"), cmdBadValue);
  EXPECT_NE(rig.log().find("f: Error - Coefficient 3 is not a number: \"abc\""), std::string::npos) << rig.log();
  EXPECT_EQ(rig.text("y.coeffs", "0 1"), cmdBadValue);
  EXPECT_NE(rig.log().find("f: Error - The first denominator coefficient (a0) must not be 0."), std::string::npos);
  EXPECT_EQ(rig.text("coeffs", ""), cmdBadValue);
  EXPECT_EQ(rig.read("coeffs"), "0.5 0.5");
  EXPECT_EQ(rig.whole("count"), 2);
  EXPECT_EQ(rig.whole("y.count"), 1);
  EXPECT_EQ(rig.run(x), (Vec{0.5, 2, 4}));
  EXPECT_EQ(rig.set("count", 5), cmdBadValue) << "read-only";
}

TEST(Filter, FirMatchesConvolutionForEveryInputType) {
  const Vec h = noise(17, 5);
  const Vec raw = {100, -200, 300, 0, 32767, -32768, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53};
  Vec phys;
  for (double r : raw) phys.push_back(r * 0.001 + 0.25);
  const Vec want = difference(h, {}, phys);
  for (const enumBfrType type : {bfrR8, bfrR4, bfrI2}) {
    SCOPED_TRACE(type);
    Rig rig;
    ASSERT_EQ(rig.text("coeffs", FormatCoeffs(h, " ").c_str()), cmdDone);
    if (type == bfrR8) rig.load<double>(raw, type, 0.001, 0.25);
    if (type == bfrR4) rig.load<float>(raw, type, 0.001, 0.25);
    if (type == bfrI2) rig.load<int16_t>(raw, type, 0.001, 0.25);
    expectNear(rig.run(), want, 1e-12);
    EXPECT_EQ(rig.f.out.interval, 1e-6);
    EXPECT_EQ(rig.f.out.ready, 1);
  }
}

TEST(Filter, OnePoleImpulseResponseIsPowersOfThePole) {
  // y[n] = x[n] + a y[n-1], written with a0 = 2 to check the normalisation: (2) / (2, -2a).
  for (const double a : {0.5, -0.9, 0.99}) {
    SCOPED_TRACE(a);
    Rig rig;
    rig.text("filtertype", "iir");
    rig.text("coeffs", "2");
    rig.text("y.coeffs", ("2 " + FormatCoeffs({-2 * a}, "")).c_str());
    Vec x(200, 0.0);
    x[0] = 1;
    const Vec y = rig.run(x);
    ASSERT_EQ(y.size(), x.size());
    double p = 1;
    for (size_t n = 0; n < y.size(); ++n, p *= a) ASSERT_NEAR(y[n], p, 1e-14 * std::fabs(p) + 1e-300) << n;
  }
}

TEST(Filter, IirMatchesTheDifferenceEquation) {
  const Vec x = noise(5000, 9);
  const Vec b = {0.2, 0.3, -0.1, 0.05}, a = {1.5, -0.9, 0.4, -0.05};  // third order: the general loop
  for (const auto& [bb, aa] : {std::pair{b, a}, std::pair{Vec{0.1, 0.2, 0.1}, Vec{1, -1.2, 0.5}}}) {
    Rig rig;
    rig.text("filtertype", "IIR");
    rig.text("coeffs", FormatCoeffs(bb, ",").c_str());
    rig.text("y.coeffs", FormatCoeffs(aa, ",").c_str());
    expectNear(rig.run(x), difference(bb, aa, x), 1e-12);
  }
}

TEST(Filter, StagesGainsAndDecimation) {
  const Vec h = {0.25, 0.5, 0.25}, x = noise(1000, 3);
  Rig rig;
  rig.text("coeffs", "0.25 0.5 0.25");
  rig.set("stages.count", 3);
  rig.set("stages.gain", 0.5);
  rig.set("gain", 4);
  const Vec y = difference(h, {}, difference(h, {}, difference(h, {}, x)));
  Vec want;
  for (double v : y) want.push_back(v * 4 * 0.125);
  expectNear(rig.run(x), want, 1e-12);
  // Every 7th of the same samples, starting with the first, at 7 times the interval.
  rig.set("decimation", 7);
  Vec kept;
  for (size_t i = 0; i < want.size(); i += 7) kept.push_back(want[i]);
  expectNear(rig.run(x), kept, 1e-12);
  EXPECT_EQ(rig.f.out.interval, 7e-6);
  EXPECT_EQ(rig.f.out.count, 143);
}

TEST(Filter, ContinuousRecordsFilterAsOneLongRecord) {
  // Split across the chain's working blocks and off the decimation grid; FIR and IIR.
  const Vec x = noise(6001, 4);
  const Vec first(x.begin(), x.begin() + 2500), second(x.begin() + 2500, x.end());
  for (const bool iir : {false, true}) {
    SCOPED_TRACE(iir ? "IIR" : "FIR");
    Rig rig;
    rig.text("filtertype", iir ? "IIR" : "FIR");
    rig.text("coeffs", iir ? "0.1 0.2 0.1" : "0.1 -0.2 0.3 0.4 0.5 -0.6 0.7");
    rig.text("y.coeffs", "1 -1.2 0.5");
    rig.set("stages.count", 2);
    rig.set("decimation", 3);
    rig.set("continuous", 1);
    const Vec whole = rig.run(x);
    ASSERT_EQ(whole.size(), 2001u);
    VPARAM v;
    EXPECT_EQ(rig.f.Settings(parRead, "reset", v), cmdDone);
    EXPECT_EQ(v.value.i4, 0);
    Vec joined = rig.run(first);
    const Vec rest = rig.run(second);
    joined.insert(joined.end(), rest.begin(), rest.end());
    expectSame(joined, whole);

    // Without continuous mode the second record starts from rest, as if filtered first.
    rig.set("continuous", 0);
    rig.run(first);
    const Vec alone = rig.run(second);
    rig.f.ResetState();
    rig.set("continuous", 1);
    expectSame(alone, rig.run(second));
    // The reset function clears the state too: the same record again gives the same output.
    VPARAMS args;
    ASSERT_EQ(rig.f.FunInfo("reset", args), cmdDone);
    EXPECT_EQ(args.count, 0);
    rig.f.Fun("reset", args);
    expectSame(rig.run(second), alone);
  }
}

TEST(Filter, BypassCopiesTheScaledInput) {
  Rig rig;
  rig.text("coeffs", "0.5 0.5");
  rig.set("decimation", 2);
  rig.set("bypass", 1);
  rig.load<int16_t>({1, 2, 3, 4, 5}, bfrI2, 0.5, -1);
  EXPECT_EQ(rig.run(), (Vec{-0.5, 0, 0.5, 1, 1.5}));
  EXPECT_EQ(rig.f.out.interval, 1e-6);
  EXPECT_EQ(rig.f.out.type, bfrR8);
}

TEST(Filter, FrequencyModeDesignsIntoCoeffs) {
  Rig rig;
  rig.text("delimiter", "tab");
  EXPECT_EQ(rig.read("delimiter"), "Tab");
  rig.text("fir.window", "Blackman");
  rig.set("fir.order", 20);
  rig.set("fir.freq1", 0.2);
  EXPECT_EQ(rig.whole("count"), 1) << "no design while freqmode is 0";
  ASSERT_EQ(rig.set("freqmode", 1), cmdDone);
  const Vec want = DesignFir({FirResponse::Lowpass, FirWindow::Blackman, 20, 0.2, 0.2, 6}).taps;
  EXPECT_EQ(rig.read("coeffs"), FormatCoeffs(want, "\t"));
  EXPECT_EQ(rig.whole("count"), 21);
  EXPECT_EQ(notified, std::vector<std::string>{"f.coeffs"});
  // A band needs both edges in order: refused at design time, the design in force stays.
  rig.text("fir.response", "BANDPASS");
  EXPECT_EQ(rig.read("fir.response"), "bandpass");
  EXPECT_NE(rig.log().find("f: Error - The lower band edge (0.2) must be below the upper (0.2) for a bandpass. "
                           "The coefficients are unchanged."),
            std::string::npos)
      << rig.log();
  EXPECT_EQ(rig.read("coeffs"), FormatCoeffs(want, "\t"));
  rig.set("fir.freq2", 0.3);
  EXPECT_EQ(rig.whole("count"), 21);
  rig.text("fir.response", "highpass");
  rig.set("fir.order", 21);
  EXPECT_NE(rig.log().find("f: Warning - Order 21 is odd; a highpass needs an even order: designed with order 22."),
            std::string::npos);
  EXPECT_EQ(rig.whole("count"), 23);
  // The output passes Nyquist at unit gain and (nearly) stops DC.
  Vec alt(400);
  for (size_t i = 0; i < alt.size(); ++i) alt[i] = (i % 2 ? -1.0 : 1.0) + 3;
  const Vec y = rig.run(alt);
  EXPECT_NEAR(std::fabs(y[399] - y[398]), 2, 1e-9);
  EXPECT_NEAR((y[399] + y[398]) / 2, 0, 0.01);
  // Digital band edges must lie below half the sample rate.
  EXPECT_EQ(rig.set("fir.freq1", 0.5), cmdBadValue);
  EXPECT_EQ(rig.set("fir.freq1", 0), cmdBadValue);
}

TEST(Filter, AnalogBandEdgesUseTheInputInterval) {
  Rig rig;
  rig.set("fir.freqtype", 1);
  rig.set("fir.order", 16);
  EXPECT_EQ(rig.set("fir.freq1", 1000), cmdDone);
  EXPECT_EQ(rig.read("fir.freq1", parUnit), "Hz");
  rig.set("freqmode", 1);
  EXPECT_EQ(rig.whole("count"), 1) << "designed once the sample interval is known";
  for (const double interval : {1e-5, 1e-4}) {  // 100 kS/s, then 10 kS/s
    rig.load(noise(100), bfrR8, 1, 0, interval);
    rig.run();
    const Vec want = DesignFir({FirResponse::Lowpass, FirWindow::Hamming, 16, 1000 * interval, 0, 6}).taps;
    Vec got;
    std::string error;
    ASSERT_TRUE(ParseCoeffs(rig.read("coeffs"), got, error));
    expectSame(got, want);
  }
  // 1 kHz is beyond half of 1 kS/s: an error, and the last design stays.
  const std::string before = rig.read("coeffs");
  rig.load(noise(100), bfrR8, 1, 0, 1e-3);
  EXPECT_EQ(rig.run().size(), 100u);
  EXPECT_NE(rig.log().find("f: Error - Band edge 1000 Hz is outside 0 to 500 Hz (half the sample rate)."),
            std::string::npos)
      << rig.log();
  EXPECT_EQ(rig.read("coeffs"), before);
}

TEST(Filter, InputFaultsAbortThePass) {
  struct Case {
    const char* what;
    void (*prepare)(Rig&);
    const char* message;
  };
  const Case cases[] = {
      {"unlinked", [](Rig& r) { r.link(nullptr); }, "f: Error - Input \"in\" is not linked."},
      {"empty", [](Rig& r) { r.load({}); }, "f: Error - Input record length is 0."},
      {"32-bit", [](Rig& r) { r.load<int32_t>({1, 2}, bfrI4); }, "f: Error - Input format not supported."},
      {"overlong", [](Rig& r) { r.load({1, 2}), r.in.count = 5000; }, "f: Error - Input record length exceeds its buffer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.run({1, 2, 3});
    ASSERT_EQ(rig.f.out.count, 3);
    c.prepare(rig);
    rig.g.abort = 0;
    EXPECT_TRUE(rig.run().empty()) << "no stale record";
    EXPECT_EQ(rig.g.abort, 1);
    EXPECT_NE(rig.log().find(c.message), std::string::npos) << rig.log();
  }
}

TEST(Filter, SettingsPortsAndPanelKeys) {
  Rig rig;
  EXPECT_EQ(rig.text("filtertype", "iir"), cmdDone);
  EXPECT_EQ(rig.read("filtertype"), "IIR");
  EXPECT_EQ(rig.text("filtertype", "fir2"), cmdBadValue);
  EXPECT_EQ(rig.read("gui.class"), "KvFilter.Filter");
  EXPECT_EQ(rig.read("out", parPortDep), "in");
  EXPECT_EQ(rig.read("fir.response.all"), "lowpass,highpass,bandpass,bandstop");
  EXPECT_EQ(rig.read("fir.window.all"), "rectangular,hann,hamming,blackman,kaiser");
  const std::string settings = rig.read("settings");
  EXPECT_EQ(settings.find("reset"), std::string::npos) << "a state listing must not reset";
  EXPECT_LT(settings.find("fir.freq2"), settings.find("freqmode")) << "a replay designs from complete settings";
  struct Refusal {
    const char* name;
    double value;
  };
  for (const Refusal r : {Refusal{"stages.count", 0}, Refusal{"stages.count", 1000001}, Refusal{"decimation", 0},
                          Refusal{"fir.order", 0}, Refusal{"gain", NAN}, Refusal{"fir.kaiser.beta", -1}})
    EXPECT_EQ(rig.set(r.name, r.value), cmdBadValue) << r.name << " = " << r.value;
  VPARAM d;
  rig.f.Settings(parDescribe, "reset", d);
  EXPECT_EQ(d.kind, kindSetting);
  EXPECT_EQ(d.vt, vtI4);
  EXPECT_EQ(rig.f.Settings(parRead, "nonsense", d), cmdNotServed);
}
