#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "KvDll/Str.h"

namespace {

std::vector<std::string> g_reports;
void collect(long, long, long, const char* message, const char* unit) {
  g_reports.push_back(std::string(unit) + ": " + message);
}

std::vector<std::string> pieces(const CObjArr<CStr>& a) {
  std::vector<std::string> out;
  for (int i = 0; i < a.count; ++i) out.emplace_back(a.items[i]->GetBfr());
  return out;
}

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(Num2Str, ExamplesAndPrefixes) {
  struct Row {
    double x;
    long digits;
    const char* text;
  };
  const Row rows[] = {
      {1.5e-3, 3, "1.5m"},  {1e-3, 3, "1.0m"},     {5, 3, "5.0"},         {50, 3, "50.00"},
      {500, 3, "500.000"},  {1.2345e3, 3, "1.24K"}, {0.25, 3, "250.000m"}, {47e-9, 3, "47.00n"},
      {-2.2e6, 3, "-2.2M"}, {2.5e-12, 3, "2.5p"},   {1.2345e3, 14, "1.2345K"}, {0, 6, "0"},
      {2e-6, 3, "2.0\xC2\xB5"}, {3e9, 3, "3.0G"}, {4.5e24, 3, "4.5Y"}, {7e-18, 3, "7.0a"},
      {1e-20, 3, "1e-20"},  {kInf, 6, "INF"},       {-kInf, 6, "-INF"},    {std::nan(""), 6, "NAN"},
  };
  for (const Row& r : rows) {
    CStr s("old");
    const CStr copy = s.Num2Str(r.x, r.digits);
    EXPECT_STREQ(copy, r.text) << r.x << " digits " << r.digits;
    EXPECT_STREQ(s, r.text) << "the object holds the returned text";
  }
}

TEST(Num2Str, AnyDigitCountStaysValid) {
  for (long d : {-5L, 0L, 1L, 17L, 40L, 1000L}) {
    CStr s;
    s.Num2Str(1234.5678, d);
    EXPECT_GT(s.GetLength(), 0) << d;
    EXPECT_NEAR(s.Str2Num(), 1234.5678, 1234.5678 * 0.5) << d;
  }
}

TEST(Num2Str, RoundTripsWithinItsDigits) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> exp(-17, 25);
  for (int n = 0; n < 5000; ++n) {
    const double x = (n % 2 ? -1 : 1) * mant(rng) * std::pow(10.0, exp(rng));
    for (long d : {3L, 6L, 9L, 14L}) {
      CStr s;
      s.Num2Str(x, d);
      const double back = s.Str2Num();
      // The fraction is kept to 9 decimals of the mantissa, so at most 10 digits survive.
      const long kept = d < 10 ? d : 10;
      EXPECT_NEAR(back, x, std::fabs(x) * 1.5 * std::pow(10.0, 1 - kept)) << s.GetBfr() << " from " << x;
    }
  }
}

TEST(Str2Num, ExamplesSuffixesAndSpecialTexts) {
  struct Row {
    const char* text;
    double value;
  };
  const Row rows[] = {
      {"10K", 10000}, {"10k", 10000},       {"2u", 2e-6},       {"2\xC2\xB5", 2e-6}, {"2\xB5", 2e-6},
      {"0x10", 16},   {"0XfF", 255},     {"0xFFFFFFFF", -1}, {"0x", 0},           {"abc", 0},
      {"5s", 5},      {"12V", 12},       {"", 0},            {"1.5e3", 1500},     {"3M", 3e6},
      {"3m", 3e-3},   {"-4.7n", -4.7e-9}, {"1T", 1e12},      {"2.5 m", 2.5e-3},   {"7a", 7e-18},
      {"1.#INF", kInf}, {"-1.#inf", -kInf}, {"INF", kInf},   {"-INF", -kInf},     {"1e", 1},
  };
  for (const Row& r : rows) EXPECT_DOUBLE_EQ(CStr(r.text).Str2Num(), r.value) << r.text;
  EXPECT_TRUE(std::isnan(CStr("NAN").Str2Num()));
  EXPECT_TRUE(std::isnan(CStr("1.#QNAN").Str2Num()));
}

TEST(CStrDouble, TextsAndRoundTrip) {
  const std::pair<double, const char*> rows[] = {
      {100.0, "100"}, {0.5, "0.5"}, {1.5e5, "150000"}, {1e20, "1e20"}, {1.5e-5, "1.5e-05"},
      {-2.25, "-2.25"}, {kInf, "1.#INF"}, {-kInf, "-1.#INF"}, {0.0, "0"},
  };
  for (auto& [d, text] : rows) EXPECT_STREQ(CStr(d), text) << d;

  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 0; n < 20000; ++n) {
    const double d = u(rng) * std::pow(10.0, static_cast<int>(rng() % 60) - 30);
    // Sixteen significant digits: within one unit of the sixteenth digit.
    EXPECT_NEAR(CStr(d).Str2Num(), d, std::fabs(d) * 1e-15) << CStr(d).GetBfr();
  }
  EXPECT_EQ(CStr(kInf).Str2Num(), kInf);
  EXPECT_EQ(CStr(-kInf).Str2Num(), -kInf) << "a minus-infinity limit must survive a setup file";
}

TEST(CStrSplit, CharacterTextAndQuoteRules) {
  struct Row {
    const char* text;
    char sep;
    bool quoted;
    std::vector<std::string> out;
  };
  const std::vector<Row> rows = {
      {"a,,b", ',', false, {"a", "", "b"}},
      {"a,", ',', false, {"a"}},
      {",a", ',', false, {"", "a"}},
      {",", ',', false, {""}},
      {"", ',', false, {}},
      {"x;\"a;b\";y", ';', true, {"x", "\"a;b\"", "y"}},
      {"a,\"b,c\"", ',', true, {"a", "\"b,c\""}},
      {"a,\"b,c", ',', true, {"a", "\"b", "c"}},
      {"x;\"a;b\";y", ';', false, {"x", "\"a", "b\"", "y"}},
  };
  for (const Row& r : rows) {
    CObjArr<CStr> a;
    if (r.quoted)
      CStr(r.text).split2(&a, r.sep);
    else
      CStr(r.text).split(&a, r.sep);
    EXPECT_EQ(pieces(a), r.out) << r.text;
  }
  CObjArr<CStr> a;
  CStr("a=>b=>").split(&a, "=>");
  EXPECT_EQ(pieces(a), (std::vector<std::string>{"a", "b"}));
  CObjArr<CStr> whole;
  CStr("").split(&whole, "");
  CStr("a,b").split(&whole, static_cast<const char*>(nullptr));
  EXPECT_EQ(pieces(whole), (std::vector<std::string>{"", "a,b"})) << "an empty separator keeps the whole text";
  CStr("x").split(nullptr, ',');
}

TEST(CStrEdit, CompressSpaceAndQuotes) {
  CStr s("a \t  b  \"c   \"d");
  s.CompressSpace();
  EXPECT_STREQ(s, "a b \"c   \"d");
  EXPECT_EQ(s.GetLength(), 11);
  CStr ends("  x\t\t");
  ends.CompressSpace();
  EXPECT_STREQ(ends, " x ");

  const std::pair<const char*, const char*> rips[] = {
      {"\"abc\"", "abc"}, {"\"abc", "abc"}, {"abc\"", "abc"}, {"\"", ""}, {"", ""}, {"\"\"\"", "\""}};
  for (auto& [in, out] : rips) {
    CStr r(in);
    r.RipQuotes();
    EXPECT_STREQ(r, out) << in;
    EXPECT_EQ(r.GetLength(), static_cast<int32_t>(std::strlen(out)));
  }
  CStr mixed("ABC \"DEF\" Gh");
  mixed.lcase2();
  EXPECT_STREQ(mixed, "abc \"DEF\" gh");
  CStr t(" \t x y \t");
  t.trim();
  EXPECT_STREQ(t, "x y");
}

TEST(CStrEdit, SubstringsStayInBounds) {
  struct Row {
    long start, n;
    const char* mid;
  };
  const Row rows[] = {{0, 3, "abc"}, {2, 2, "cd"}, {4, 10, "ef"}, {-3, 2, "ab"}, {9, 2, ""}, {1, -4, ""}};
  for (const Row& r : rows) EXPECT_STREQ(CStr("abcdef").getMid(r.start, r.n), r.mid) << r.start << "," << r.n;
  EXPECT_STREQ(CStr("abcdef").getLeft(0), "");
  EXPECT_STREQ(CStr("abcdef").getLeft(99), "abcdef");
  EXPECT_STREQ(CStr("abcdef").getRight(6), "abcdef");
  EXPECT_STREQ(CStr("abcdef").getRight(2), "ef");
  EXPECT_STREQ(CStr("abcdef").getRight(-1), "");
  CStr keep("abc");
  (void)keep.getLeft(1);
  EXPECT_STREQ(keep, "abc") << "the get forms leave the object alone";
}

TEST(CStrEdit, Replace) {
  struct Row {
    const char* text;
    const char* find;
    const char* repl;
    long count;
    const char* out;
  };
  const Row rows[] = {
      {"aaa", "a", "bb", 3, "bbbbbb"},  {"aaaa", "aa", "b", 2, "bb"},     {"$AppPath/Lib", "$AppPath", "/opt", 1, "/opt/Lib"},
      {"abc", "x", "y", 0, "abc"},      {"abc", "b", nullptr, 1, "ac"},   {"abc", "", "y", 0, "abc"},
      {"abc", nullptr, "y", 0, "abc"},
  };
  for (const Row& r : rows) {
    CStr s(r.text);
    EXPECT_EQ(s.Replace(r.find, r.repl), r.count) << r.text;
    EXPECT_STREQ(s, r.out) << r.text;
  }
}

TEST(CStrSearch, QuoteAwareFindAndWildcards) {
  CStr s("a\"=\"b=c");
  ASSERT_NE(s.FindChar2('='), nullptr);
  EXPECT_EQ(s.FindChar2('=') - s.GetBfr(), 5);
  EXPECT_EQ(CStr("\"a=b\"").FindChar2('='), nullptr);
  CStr c("x = \"//\" // note");
  ASSERT_NE(c.FindStr2("//", false), nullptr);
  EXPECT_EQ(c.FindStr2("//", false) - c.GetBfr(), 9);
  CStr q("ab\"cd\"ef");
  EXPECT_EQ(q.FindStr2("\"c", false), nullptr) << "the quote at the candidate toggles first";
  CStr hello("HeLLo");
  EXPECT_EQ(hello.FindStr2("ll", true) - hello.GetBfr(), 2);

  struct Row {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Row rows[] = {
      {"*", "", true},          {"", "", true},          {"", "a", false},        {"a?c", "abc", true},
      {"a?c", "ac", false},     {"a*c", "abbbc", true},  {"a**c", "ac", true},    {"*.bin", "Meas.bin", true},
      {"*.bin", "Meas.bix", false}, {"A*", "abc", false}, {"a*b*c", "axxbyyc", true}, {"a*b*c", "axxbyy", false},
      {"a*", "a", true},        {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Row& r : rows) EXPECT_EQ(CStr(r.text).Search(r.pattern), r.match) << r.pattern << " / " << r.text;
  EXPECT_FALSE(CStr("abc").Search(nullptr));
}

TEST(CStrBasics, ConstructorsComparisonAndCounters) {
  const int32_t alive = CStr::activecnt.load();
  {
    CStr a, b("x"), c('y'), d(static_cast<char>(0)), e(42), f(-7L), g("abc", 5L), h(static_cast<const char*>(nullptr));
    char raw[3] = {'a', 0, 'b'};
    CStr i(static_cast<void*>(raw), 3);
    unsigned short w[] = {'h', 0xE9, 0xD83D, 0xDE00, 0xD800, 0};
    CStr j(w);
    EXPECT_EQ(CStr::activecnt.load(), alive + 10);
    EXPECT_GT(b.Serial(), a.Serial());
    EXPECT_STREQ(a, "");
    EXPECT_STREQ(c, "y");
    EXPECT_EQ(d.GetLength(), 0);
    EXPECT_STREQ(e, "42");
    EXPECT_STREQ(f, "-7");
    EXPECT_EQ(g.GetLength(), 5);
    EXPECT_STREQ(g, "abc");
    EXPECT_EQ(i.GetLength(), 3);
    EXPECT_EQ(i.GetBfr()[2], 'b');
    EXPECT_STREQ(j, "h\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_TRUE(h.IsEmpty());
    CStr abc("abc");
    EXPECT_TRUE(abc.Compare("ABC", true));
    EXPECT_FALSE(abc.Compare("ABC", false));
    EXPECT_FALSE(abc == "ABC");
    EXPECT_TRUE(abc != "ABC");
    EXPECT_TRUE(abc.Compare("abX", 2L, false));
    EXPECT_FALSE(abc.Compare(nullptr, true));
    EXPECT_STREQ("<" + abc + '>' + CStr("!"), "<abc>!");
    abc += static_cast<const char*>(nullptr);
    abc = abc;
    EXPECT_STREQ(abc, "abc");
  }
  EXPECT_EQ(CStr::activecnt.load(), alive);
}

TEST(CStrMemory, AllocationFailureReportsAndLeavesEmpty) {
  KvErrReportFn previous = KvSetErrReport(collect);
  g_reports.clear();
  CStr s("keep me");
  KvHeapFailAfter(1);
  s += " and more";
  KvHeapFailAfter(0);
  EXPECT_EQ(s.GetLength(), 0);
  EXPECT_STREQ(s, "");
  s += "usable again";
  EXPECT_STREQ(s, "usable again");

  KvHeapFailAfter(2);  // the element's text is allocated first, then the slot
  CObjArr<CStr> a;
  a.Add(new CStr("lost"));
  KvHeapFailAfter(0);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(g_reports, (std::vector<std::string>{"KvDll/Str: Insufficient memory", "KvDll/objarr: Insufficient memory"}));
  KvSetErrReport(previous);
}

TEST(ObjArr, OwnsGrowsAndDeletesInOrder) {
  static std::vector<int> deleted;
  struct Item {
    int id;
    explicit Item(int i = 0) : id(i) {}
    ~Item() { deleted.push_back(id); }
  };
  deleted.clear();
  {
    CObjArr<Item> a;
    EXPECT_NE(a.GetLast(), nullptr);
    EXPECT_EQ(a.count, 1) << "the last-element accessor fills an empty array";
    a.Add(new Item(1));
    a.Add(nullptr);
    a.Add(new Item(2));
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(a.GetLast()->id, 2);
    a.RemoveAll();
    EXPECT_EQ(deleted, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(a.count, 0);
    a.Add(new Item(3));
    a.Add(new Item(4));
  }
  EXPECT_EQ(deleted, (std::vector<int>{0, 1, 2, 4, 3})) << "destruction runs last to first";
}
