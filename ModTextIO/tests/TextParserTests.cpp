// The text parser and formatter on their own: layouts, line ends, quoting, errors with their
// exact texts, pieces of any size, and the writer-to-reader round trip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ModTextIO/TextFormat.h"
#include "ModTextIO/TextParser.h"

namespace {

struct Parsed {
  bool ok = false;
  std::vector<double> x, y;
  std::string error;
};

Parsed parse(const std::string& text, const TextLayout& l, size_t piece = 0) {
  CTextParser p(l, "f.csv");
  bool ok = true;
  if (piece == 0) {
    ok = p.Feed(text.data(), text.size());
  } else {
    for (size_t at = 0; ok && at < text.size(); at += piece) ok = p.Feed(text.data() + at, std::min(piece, text.size() - at));
  }
  ok = ok && p.Finish();
  return {ok, p.x, p.y, p.Error()};
}

TextLayout layout(bool xaxis, char sep = ',', long skipLines = 0, long skipValues = 0, bool byRow = false, long ycol = 1) {
  TextLayout l;
  l.xaxis = xaxis, l.sep = sep, l.skipLines = skipLines, l.skipValues = skipValues, l.byRow = byRow, l.ycolumn = ycol;
  return l;
}

}  // namespace

TEST(TextParser, LayoutsAndTheShapesOfRealExports) {
  struct Case {
    const char* what;
    std::string text;
    TextLayout l;
    std::vector<double> x, y;
  };
  const Case cases[] = {
      {"LF, X and Y", "0,1\n1,2\n2,3\n", layout(true), {0, 1, 2}, {1, 2, 3}},
      {"CR LF, no final line end", "0,1\r\n1,2\r\n2,3", layout(true), {0, 1, 2}, {1, 2, 3}},
      {"CR only", "0,1\r1,2\r2,3\r", layout(true), {0, 1, 2}, {1, 2, 3}},
      {"blank lines and a byte-order mark", "\xEF\xBB\xBF" "5\n\n  \n6\n\n\n", layout(false), {}, {5, 6}},
      {"header lines skipped", "x-axis,1\nsecond,Volt\n-5.0E-03,+9.2E-03\n-4.995E-03,-8.0E-03\n", layout(true, ',', 2),
       {-5e-3, -4.995e-3}, {9.2e-3, -8e-3}},
      {"trailing comma and blank", "-3.2e-02,3.04e+00,9.40e+00,2.80e+00,9.60e+00, \r\n", layout(true, ',', 0, 0, false, 3),
       {-3.2e-2}, {2.8}},
      {"index column skipped, Y only", "0,2.86e+00,3.10e+00,\n1,2.94e+00,3.06e+00,\n", layout(false, ',', 0, 1), {},
       {2.86, 2.94}},
      {"padded fields and values skipped", "Record Length,2.5e3,,  -0.05,   0.08,\n,,,  -00.04996,   3.36,\n",
       layout(true, ',', 0, 3), {-0.05, -0.04996}, {0.08, 3.36}},
      {"leading blank", " 0.000002,1.18000\n", layout(true), {2e-6}, {1.18}},
      {"quoted fields, decimal comma", "\"t\";\"v\"\n\"0,5\";\"1,25\"\n\"1\";\"-2,5\"\n", layout(true, ';', 1), {0.5, 1},
       {1.25, -2.5}},
      {"quotes holding the separator", "\"a,b\",7\n", layout(false, ',', 0, 1), {}, {7}},
      {"tab separated", "1\t2\n3\t4\n", layout(true, '\t'), {1, 3}, {2, 4}},
      {"runs of blanks", "  1   2 \n\t3\t 4\n", layout(true, ' '), {1, 3}, {2, 4}},
      {"rows with labels", "X,0,1,2,\nY,5,6,7,\nignored,line\n", layout(true, ',', 0, 1, true), {0, 1, 2}, {5, 6, 7}},
      {"second row after X", "t;0;1\na;9;9\nb;5;6\n", layout(true, ';', 0, 1, true, 2), {0, 1}, {5, 6}},
      {"one Y row", "1 2 3\n", layout(false, ' ', 0, 0, true), {}, {1, 2, 3}},
      {"special values", "-0\n5e-324\n1.7976931348623157e308\ninf\n", layout(false), {},
       {-0.0, 5e-324, 1.7976931348623157e308, HUGE_VAL}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (size_t piece : {size_t{0}, size_t{1}, size_t{2}, size_t{7}}) {
      const Parsed p = parse(c.text, c.l, piece);
      ASSERT_TRUE(p.ok) << p.error << " (pieces of " << piece << ")";
      EXPECT_EQ(p.x, c.x);
      ASSERT_EQ(p.y.size(), c.y.size());
      for (size_t i = 0; i < c.y.size(); ++i) {
        EXPECT_EQ(std::signbit(p.y[i]), std::signbit(c.y[i]));
        EXPECT_EQ(p.y[i], c.y[i]) << i;
      }
    }
  }
}

TEST(TextParser, ErrorsNameTheFileLineAndColumn) {
  struct Case {
    std::string text;
    TextLayout l;
    std::string error;
  };
  const Case cases[] = {
      {"1,2\n3,abc\n", layout(true), "\"f.csv\" line 2, column 2: not a number \"abc\""},
      {"h\nh\n1,2\r\n3\r\n", layout(true, ',', 2), "\"f.csv\" line 4, column 2: value missing"},
      {"1,,3\n", layout(true), "\"f.csv\" line 1, column 2: not a number \"\""},
      {"nan,1\n", layout(true), "\"f.csv\" line 1, column 1: X value not finite \"nan\""},
      {"head\n\n  \n", layout(false, ',', 1), "\"f.csv\": no data after 1 skipped lines"},
      {"", layout(false), "\"f.csv\": no data after 0 skipped lines"},
      {"1,2,3\n4,5\n", layout(true, ',', 0, 0, true), "\"f.csv\" line 2: the X row has 3 values, the Y row 2"},
      {"1,,3\n", layout(false, ',', 0, 0, true), "\"f.csv\" line 1, column 2: not a number \"\""},
      {"1;2,5\n", layout(true, ','), "\"f.csv\" line 1, column 1: not a number \"1;2\""},
      {std::string("1,\x01\x7f") + std::string(60, 'z') + "\n", layout(true),
       "\"f.csv\" line 1, column 2: not a number \"??" + std::string(38, 'z') + "...\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (size_t piece : {size_t{0}, size_t{3}}) {
      const Parsed p = parse(c.text, c.l, piece);
      EXPECT_FALSE(p.ok);
      EXPECT_EQ(p.error, c.error);
    }
  }
}

TEST(TextParser, EverySplitOfTheTextGivesTheSameValues) {
  const std::string text = "\xEF\xBB\xBF" "0,0\r\n1,\"2\"\r\n\r\n3,4\r5,6\n7,8";
  const Parsed whole = parse(text, layout(true, ',', 0));
  ASSERT_TRUE(whole.ok) << whole.error;
  EXPECT_EQ(whole.y, (std::vector<double>{0, 2, 4, 6, 8}));
  for (size_t cut = 1; cut < text.size(); ++cut) {
    CTextParser p(layout(true, ',', 0), "f");
    ASSERT_TRUE(p.Feed(text.data(), cut));
    ASSERT_TRUE(p.Feed(text.data() + cut, text.size() - cut));
    ASSERT_TRUE(p.Finish()) << p.Error() << " cut at " << cut;
    EXPECT_EQ(p.x, whole.x) << cut;
    EXPECT_EQ(p.y, whole.y) << cut;
  }
}

TEST(TextFiles, MissingFilesAndFolders) {
  std::vector<double> x, y;
  std::string error;
  EXPECT_FALSE(ReadTextFile("/nonexistent/a.csv", layout(false), x, y, error));
  EXPECT_EQ(error, "File not found \"/nonexistent/a.csv\"");
  EXPECT_FALSE(ReadTextFile("/tmp", layout(false), x, y, error));
  EXPECT_EQ(error.rfind("Cannot read \"/tmp\": ", 0), 0u) << error;
  EXPECT_FALSE(ReadTextFile("", layout(false), x, y, error));
  EXPECT_EQ(error, "No file name");

  TextSamples s;
  const double v = 1;
  s.y = &v, s.count = 1;
  EXPECT_FALSE(WriteTextFile("/nonexistent/out.csv", layout(false), s, error));
  EXPECT_EQ(error.rfind("Cannot write \"/nonexistent/out.csv\": ", 0), 0u) << error;
}

TEST(TextFiles, WrittenValuesReadBackBitForBit) {
  std::mt19937_64 rng(3);
  std::vector<double> y = {0.0, -0.0, 5e-324, -2.2250738585072014e-308, 1.7976931348623157e308, 0.1, 1.0 / 3};
  std::vector<double> x;
  while (y.size() < 2000) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) y.push_back(d);
  }
  for (size_t i = 0; i < y.size(); ++i) x.push_back(i * 1e-3 + std::ldexp(static_cast<double>(rng() >> 40), -60));
  const std::string path = ::testing::TempDir() + "roundtrip_" + std::to_string(::getpid()) + ".csv";
  for (const bool byRow : {false, true})
    for (const bool xaxis : {false, true})
      for (const char sep : {',', ';', '\t', ' '}) {
        SCOPED_TRACE(std::string("row ") + (byRow ? "1" : "0") + " x " + (xaxis ? "1" : "0") + " sep '" + sep + "'");
        const TextLayout l = layout(xaxis, sep, 0, 0, byRow);
        TextSamples s;
        s.y = y.data(), s.x = x.data(), s.count = y.size();
        std::string error;
        ASSERT_TRUE(WriteTextFile(path, l, s, error)) << error;
        std::vector<double> rx, ry;
        ASSERT_TRUE(ReadTextFile(path, l, rx, ry, error)) << error;
        ASSERT_EQ(ry.size(), y.size());
        EXPECT_EQ(std::memcmp(ry.data(), y.data(), y.size() * sizeof(double)), 0);
        if (xaxis) {
          ASSERT_EQ(rx.size(), x.size());
          EXPECT_EQ(std::memcmp(rx.data(), x.data(), x.size() * sizeof(double)), 0);
        }
      }
  // X from a start and a step.
  TextSamples even;
  even.y = y.data(), even.count = 3, even.x0 = -1, even.dx = 0.5;
  std::string error;
  ASSERT_TRUE(WriteTextFile(path, layout(true), even, error));
  std::ifstream f(path);
  std::string first;
  std::getline(f, first);
  EXPECT_EQ(first, "-1,0");
  std::remove(path.c_str());
  EXPECT_FALSE(std::ifstream(path + ".tmp" + std::to_string(::getpid())).good()) << "no temporary file left";
}
