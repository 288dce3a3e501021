// The state listing as a setup file keeps it: every number comes back with the same bits, and
// every text whole, line breaks, quotes and all; and the escaped text form a listing uses.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FakeEngine.h"

namespace {

// Replays a listing line by line into a new rig, as reopening a setup does.
void replay(ParserRig& into, const std::string& listing) {
  for (size_t at = 0; at < listing.size();) {
    size_t end = listing.find("\r\n", at);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(at, end - at);
    EXPECT_EQ(into.run(line.c_str()).first, 0) << line;
    at = end + 2;
  }
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(StateListing, EveryDoubleComesBackWithTheSameBits) {
  std::mt19937_64 random(20261209);
  std::vector<double> values = {1000.0000000000001, 0.1 + 0.2, 1e300, -1e-300, 5e-324, 1.7976931348623157e308,
                                 0.0, -0.0, 1e23, 9.5e-9};
  while (values.size() < 100000) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
  }
  ParserRig rig, other;
  for (double d : values) {
    rig.comps.list[0].params["freq"].number = d;
    const std::string listing = rig.run("sys.state").second;
    const size_t at = listing.find("gen.freq=");
    ASSERT_NE(at, std::string::npos);
    const std::string line = listing.substr(at, listing.find("\r\n", at) - at);
    ASSERT_EQ(other.run(line.c_str()).first, 0) << line;
    ASSERT_TRUE(sameBits(other.comps.list[0].params["freq"].number, d)) << line;
  }
}

TEST(StateListing, ValuesTheQueryShowsExactlyAreListedAsBefore) {
  // A value that 16 digits already give back keeps the query's text: older listings stay as they were.
  const std::pair<double, const char*> rows[] = {
      {1000, "1000"}, {0.5, "0.5"}, {1.5e5, "150000"}, {1e-9, "1e-09"}, {1e20, "1e20"}, {12.5e6, "12500000"},
      {1000.0000000000001, "1000.0000000000001"}, {0.1 + 0.2, "0.30000000000000004"}};
  for (const auto& [value, text] : rows) {
    ParserRig rig;
    rig.comps.list[0].params["freq"].number = value;
    const std::string listing = rig.run("sys.state").second;
    EXPECT_EQ(listing.substr(0, listing.find("\r\n")), std::string("gen.freq=") + text);
  }
}

TEST(StateListing, TextsWithLineBreaksAndQuotesComeBackWhole) {
  const char* const texts[] = {
      "0.1\n0.2\r\n0.3",  "tab\there",         "say \"hi\" // not a comment", "a\"=b",
      "back\\slash\\n",   "  blanks  kept  ",  "x\x01y\x7F",                  "\"",
      "ends with \\",     "e\"looks escaped\"", "plain text",                  "",
  };
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    ParserRig rig;
    rig.comps.list[0].params["type"].text = t;
    const std::string listing = rig.run("sys.state").second;
    // One line per setting: no line break of the text reaches the listing.
    size_t lines = 0;
    for (size_t at = listing.find("\r\n"); at != std::string::npos; at = listing.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 5u) << listing;
    EXPECT_EQ(listing.find('\n'), listing.find("\r\n") + 1);

    ParserRig other;
    replay(other, listing);
    EXPECT_EQ(other.comps.list[0].params["type"].text, t);
    EXPECT_EQ(other.run("sys.state").second, listing);
    // The command list keeps the line as written, so its text rebuilds the same value too.
    ParserRig third;
    replay(third, other.cmdList());
    EXPECT_EQ(third.comps.list[0].params["type"].text, t);
  }
}

TEST(StateListing, EscapedTextConstants) {
  struct Row {
    const char* line;
    int result;
    const char* stored;  // the text the setting holds afterwards
  };
  const Row rows[] = {
      {"gen.type = e\"a\\nb\"", 0, "a\nb"},
      {"gen.type = e\"\\x41\\x7e\\\\\"", 0, "A~\\"},
      {"gen.type = e\"a = b // c, (d)\"", 0, "a = b // c, (d)"},
      {"gen.type = e\"\"", 0, ""},
      {"gen.type = e\"\\q\"", -1, "sine"},    // unknown escape
      {"gen.type = e\"\\x4\"", -1, "sine"},   // short hex
      {"gen.type = e\"\\x00\"", -1, "sine"},  // a NUL would cut the text
      {"gen.type = e\"a\\\"", -1, "sine"},    // a backslash that escapes nothing
      {"gen.freq = e\"12\"", 0, "sine"},      // a number in escaped form still converts
      {"gen.freq = e\"x\"", -1, "sine"},
  };
  for (const Row& r : rows) {
    ParserRig rig;
    const auto [result, message] = rig.run(r.line);
    EXPECT_EQ(result, r.result) << r.line << " -> " << message;
    EXPECT_EQ(rig.comps.list[0].params["type"].text, r.stored) << r.line;
    if (r.result < 0) {
      EXPECT_EQ(message, std::string("Value not accepted \"") + r.line + "\"");
    }
  }
  ParserRig rig;
  EXPECT_EQ(rig.run("gen.freq = e\"12\"").first, 0);
  EXPECT_EQ(rig.comps.list[0].params["freq"].number, 12);
  EXPECT_EQ(rig.run("scope.in = gen.out").first, 0) << "a right side that begins with a letter is still a port";
}
