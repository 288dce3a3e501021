#include "KvDll/JMisc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "KvDll/Str.h"
#include "KvDll/tests/TestSupport.h"

TEST(Scale125, StepsAlongTheSequence) {
  struct Case {
    double x;
    long up;
    double expected;
  };
  const Case cases[] = {
      {2.0, 1, 5.0},   {2.0, 0, 1.0},   {1.0, 0, 0.5},    {3.0, 1, 5.0},      {0.07, 1, 0.1},
      {-1, 1, 1.0},    {0, 0, 1.0},     {5.0, 1, 10.0},   {5.0, 0, 2.0},      {1.0, 1, 2.0},
      {10.0, 1, 20.0}, {10.0, 0, 5.0},  {7.0, 0, 5.0},    {1.5, 1, 2.0},      {1.5, 0, 1.0},
      {3e-9, 0, 2e-9}, {2e12, 1, 5e12}, {9.99995, 1, 20}, {NAN, 1, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " up " << c.up);
    EXPECT_NEAR(scale125(c.x, c.up), c.expected, std::fabs(c.expected) * 1e-12);
  }
}

TEST(Colours, RgbHsvTable) {
  struct Case {
    short r, g, b;
    double h, s, v;
  };
  const Case cases[] = {
      {255, 0, 0, 0, 1, 1},     {0, 255, 0, 120, 1, 1},        {0, 0, 255, 240, 1, 1},
      {0, 0, 0, 0, 0, 0},       {255, 255, 255, 0, 0, 1},      {255, 0, 255, 300, 1, 1},
      {255, 160, 0, 37.647058823529413, 1, 1}, {128, 128, 0, 60, 1, 128 / 255.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
    double h, s, v;
    RGBtoHSV(c.r, c.g, c.b, &h, &s, &v);
    EXPECT_NEAR(h, c.h, 1e-9);
    EXPECT_NEAR(s, c.s, 1e-12);
    EXPECT_NEAR(v, c.v, 1e-12);
  }
  EXPECT_EQ(HSVtoRGB(120, 1, 1), 65280);
  EXPECT_EQ(HSVtoRGB(0, 0, 0.5), 127 + 127 * 256 + 127 * 65536) << "grey: trunc(0.5 * 255)";
  EXPECT_EQ(HSVtoRGB(0, 1, 2), 255) << "limited to 255";
}

TEST(Colours, HsvRoundTripStaysWithinOneStep) {
  for (int r = 0; r < 256; r += 17)
    for (int g = 0; g < 256; g += 51)
      for (int b = 0; b < 256; b += 85) {
        double h, s, v;
        RGBtoHSV(static_cast<short>(r), static_cast<short>(g), static_cast<short>(b), &h, &s, &v);
        short r2, g2, b2;
        HSVtoRGB(h, s, v, &r2, &g2, &b2);
        EXPECT_LE(std::abs(r - r2), 1) << r << "," << g << "," << b;
        EXPECT_LE(std::abs(g - g2), 1) << r << "," << g << "," << b;
        EXPECT_LE(std::abs(b - b2), 1) << r << "," << g << "," << b;
      }
}

TEST(AutomationStrings, Utf8RoundTrips) {
  const char* texts[] = {"", "plain", "1.5 \xC2\xB5s", "\xE2\x82\xAC 20", "\xF0\x9F\x98\x80 emoji", "a\tb\r\n"};
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    unsigned short* w = nullptr;
    ASSERT_EQ(str2bstr(&w, t), kS_OK);
    EXPECT_EQ(CStr(w), t);
    char* back = nullptr;
    EXPECT_EQ(bstr2str(w, &back), kS_OK);
    EXPECT_STREQ(back, t);
    char* viaGet = getStr(w);
    EXPECT_STREQ(viaGet, t);
    freeStr(viaGet);
    freeStr(back);
    freeBstr(w);
  }
  unsigned short* w = getBstr("\xF0\x9F\x98\x80");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(bstrLen(w), 2) << "a surrogate pair";
  EXPECT_EQ(w[0], 0xD83D);
  EXPECT_EQ(w[1], 0xDE00);
  freeBstr(w);
  w = getBstr("\xB5");
  EXPECT_EQ(w[0], 0xB5) << "a lone byte of an older build reads as Latin-1";
  freeBstr(w);
}

TEST(AutomationStrings, NullsAndReplacement) {
  unsigned short* w = getBstr("first");
  EXPECT_EQ(str2bstr(&w, "second"), kS_OK) << "the old string is freed (ASan would see a leak)";
  EXPECT_EQ(CStr(w), "second");
  EXPECT_EQ(str2bstr(&w, nullptr), kE_UNEXPECTED);
  EXPECT_EQ(CStr(w), "second") << "kept on failure";
  freeBstr(w);
  freeBstr(nullptr);

  char* s = getStr("old");
  EXPECT_EQ(bstr2str(nullptr, &s), kE_UNEXPECTED);
  EXPECT_STREQ(s, "");
  freeStr(s);
  s = getStr(static_cast<unsigned short*>(nullptr));
  EXPECT_STREQ(s, "");
  freeStr(s);
  s = getStr(static_cast<const char*>(nullptr));
  EXPECT_STREQ(s, "");
  freeStr(s);
}

TEST(AutomationStrings, CopiesAndAllocationFailures) {
  ReportCatcher reports;
  char* dst = getStr("previous");
  const std::string big(70000, 'y');  // far beyond the 32767 characters older builds copied
  EXPECT_EQ(aStrCpy(&dst, big.c_str()), kS_OK);
  EXPECT_EQ(std::string(dst), big);
  KvHeapFailAfter(1);
  EXPECT_EQ(aStrCpy(&dst, "z"), kE_OUTOFMEMORY);
  EXPECT_EQ(dst, nullptr);
  KvHeapFailAfter(1);
  unsigned short* w = nullptr;
  EXPECT_EQ(str2bstr(&w, "x"), kE_OUTOFMEMORY);
  KvHeapFailAfter(1);
  EXPECT_EQ(getStr("x"), nullptr);
  KvHeapFailAfter(0);
  EXPECT_EQ(reports.reports(), std::vector<std::string>(3, "KvDll/JMisc: Insufficient memory"));
  EXPECT_EQ(kE_UNEXPECTED, -2147418113L);
  EXPECT_EQ(kE_OUTOFMEMORY, -2147024882L);
}
