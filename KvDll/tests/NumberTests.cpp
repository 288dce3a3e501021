// How text becomes a number: prefixes with units, exactness against the C library's reading
// of the same decimal text, and texts that hold no number at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "KvDll/Str.h"

namespace {

double strtodOf(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Str2Num, PrefixFollowedByAUnitApplies) {
  struct Row {
    const char* text;
    const char* decimal;  // the same value as plain decimal text
  };
  const Row rows[] = {
      {"1KHz", "1e3"},        {"2MHz", "2e6"},     {"10GS/s", "10e9"},   {"5ms", "5e-3"},
      {"1k", "1e3"},          {"10k", "10e3"},     {"9.5n", "9.5e-9"},   {"10.5n", "10.5e-9"},
      {"2.5G", "2.5e9"},      {"1.5e3K", "1.5e6"}, {"2.5 mV", "2.5e-3"}, {"-4.7\xC2\xB5s", "-4.7e-6"},
      {"3u", "3e-6"},         {"3\xB5", "3e-6"},   {"12V", "12"},        {"3dB", "3"},
      {"5E", "5e18"},         {"1E3", "1e3"},      {"1e", "1"},          {"1.5E27", "1.5e27"},
      {" 7.25p", "7.25e-12"}, {"+.5f", ".5e-15"}, {"8a", "8e-18"},      {"1Y", "1e24"},
  };
  for (const Row& r : rows) {
    double value = -1;
    EXPECT_TRUE(CStr(r.text).Str2Num(value)) << r.text;
    EXPECT_TRUE(sameBits(value, strtodOf(r.decimal))) << r.text << " read " << value;
  }
  // The exact reading is what lets a limit typed with a prefix compare equal to the value.
  EXPECT_EQ(CStr("9.5n").Str2Num(), 9.5e-9);
  EXPECT_EQ(CStr("2.5G").Str2Num(), 2.5e9);
}

TEST(Str2Num, EverySuffixReadsAsStrtodOfTheRewrittenText) {
  struct Prefix {
    const char* text;
    int exponent;
  };
  const Prefix prefixes[] = {{"Y", 24}, {"Z", 21}, {"E", 18},  {"P", 15},  {"T", 12},         {"G", 9},
                             {"M", 6},  {"K", 3},  {"k", 3},   {"", 0},    {"m", -3},         {"u", -6},
                             {"\xB5", -6}, {"\xC2\xB5", -6}, {"n", -9}, {"p", -12}, {"f", -15}, {"a", -18}};
  const char* units[] = {"", "Hz", "s", "S/s"};
  std::mt19937_64 rng(2026);
  std::uniform_int_distribution<long long> digits(0, 999999999999LL);
  std::uniform_int_distribution<int> point(0, 12), exponent(-320, 320), pick(0, 17), unit(0, 3);
  int mismatches = 0;
  std::string first;
  for (int n = 0; n < 100000; ++n) {
    std::string mantissa = std::to_string(digits(rng));
    const size_t at = std::min<size_t>(static_cast<size_t>(point(rng)), mantissa.size());
    mantissa.insert(mantissa.size() - at, ".");
    if (n % 3 == 0) mantissa = "-" + mantissa;
    const int e = exponent(rng);
    const Prefix& p = prefixes[pick(rng)];
    const std::string text = mantissa + "e" + std::to_string(e) + p.text + (*p.text ? units[unit(rng)] : "");
    const double expected = strtodOf(mantissa + "e" + std::to_string(e + p.exponent));
    if (!sameBits(CStr(text.c_str()).Str2Num(), expected) && mismatches++ == 0) first = text;
  }
  EXPECT_EQ(mismatches, 0) << "first: " << first;
}

TEST(Str2Num, TextWithoutANumberIsToldApart) {
  for (const char* text : {"abc", "", " ", "-", "+", ".", "K", "e5", "info", "nancy", "\"\"", "x1"}) {
    double value = 5;
    EXPECT_FALSE(CStr(text).Str2Num(value)) << text;
    EXPECT_EQ(value, 0) << text;
    EXPECT_EQ(CStr(text).Str2Num(), 0) << text;
  }
  for (const char* text : {"0", "-0", ".5", "5.", "0x", "0x1F", "-0x10", "INF", "-inf", "NAN", "1.#QNAN", "1e", " 7"}) {
    double value = 0;
    EXPECT_TRUE(CStr(text).Str2Num(value)) << text;
  }
  EXPECT_EQ(CStr("-0x10").Str2Num(), -16);
}

TEST(Str2Num, WhatTheProgramWritesReadsBackAsBefore) {
  // The state listing's texts carry no prefix: they read exactly as the C library reads them.
  std::mt19937_64 rng(5);
  int mismatches = 0;
  for (int n = 0; n < 20000; ++n) {
    uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (std::isnan(x)) continue;
    const CStr text(x);
    const double back = text.Str2Num();
    const double expected = std::isinf(x) ? x : strtodOf(text.GetBfr());
    if (!sameBits(back, expected)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
  // Num2Str's engineering texts read as the decimal value they show.
  struct Row {
    double x;
    long digits;
    double shown;
  };
  const Row rows[] = {{1.5e-3, 3, 1.5e-3},  {47e-9, 3, 47e-9},    {-2.2e6, 3, -2.2e6}, {0.25, 3, 0.25},
                      {2.5e-12, 3, 2.5e-12}, {1.2345e3, 14, 1234.5}, {1.2345e3, 3, 1240}, {3e-6, 6, 3e-6}};
  for (const Row& r : rows) {
    CStr s;
    s.Num2Str(r.x, r.digits);
    EXPECT_EQ(s.Str2Num(), r.shown) << s.GetBfr();
  }
}
