// A setup saved with kvsh --save and opened again with --open gives the same state listing,
// byte for byte: every setting of every module, at random values.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "KvshRun.h"

namespace {

const std::string kLib = std::string(" --lib ") + KV_TEST_LIB_DIR;

// The answer part of each --records line.
std::vector<std::string> answers(const std::string& out) {
  std::vector<std::string> list;
  for (size_t at = 0; at < out.size();) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    list.push_back(line.substr(line.find('\t') + 1));
    at = end + 1;
  }
  return list;
}

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(at, end - at);
    item.erase(0, item.find_first_not_of(' '));
    if (!item.empty()) items.push_back(item);
    at = end + 1;
  }
  return items;
}

// A value for any setting: numbers of every size and sign, whole numbers, words the modules
// know, and texts that hold line breaks, quotes and slashes.
std::string randomValue(std::mt19937_64& random) {
  static const char* const words[] = {
      "\"Line\"", "\"Tab\"", "\"Space\"", "\"FIR\"", "\"IIR\"", "\"sine\"", "\"square\"", "\"hann\"", "\"kaiser\"",
      "\"bandpass\"", "\"gaussian\"", "\"2\"", "\"data.csv\"", "e\"0.25\\n-0.5\\r\\n0.125\"", "e\"say \\x22hi\\x22 // here\"",
      "\"a, b; c\"", "e\"tab\\there\"", "\"\"", "\"x = y\""};
  char text[64];
  switch (random() % 5) {
    case 0: return words[random() % (sizeof words / sizeof words[0])];
    case 1: return std::to_string(static_cast<int>(random() % 2000) - 200);
    case 2: return std::to_string(random() % 2);
    default: {
      // Mantissa digits beyond what 16 places hold, over many decades.
      std::uniform_real_distribution<double> mantissa(-10, 10);
      const double x = mantissa(random) * std::pow(10.0, static_cast<int>(random() % 25) - 12);
      std::snprintf(text, sizeof text, "%.17g", x);
      return text;
    }
  }
}

}  // namespace

TEST(KvshRoundTrip, EverySettingOfEveryModuleAtRandomValues) {
  const char* const loads[] = {"load g = siggen", "load f = filter",   "load m = meas",     "load c = meas.ckperiod",
                               "load r = textio",  "load w = textio.writer", "load e = example", "load t = test.src"};
  std::string script;
  for (const char* l : loads) script += std::string(l) + "\n";
  const std::string names[] = {"g", "f", "m", "c", "r", "w", "e", "t"};
  for (const std::string& n : names) script += n + ".settings\n";
  const KvshRun listing = kvsh("--records" + kLib, script);
  ASSERT_EQ(listing.status, 0) << listing.err;
  const std::vector<std::string> got = answers(listing.out);
  ASSERT_EQ(got.size(), std::size(loads) + std::size(names));

  std::mt19937_64 random(93);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string lines;
    for (const char* l : loads) lines += std::string(l) + "\n";
    size_t settings = 0;
    for (size_t i = 0; i < std::size(names); ++i) {
      for (const std::string& s : splitList(got[std::size(loads) + i])) {
        ++settings;
        // Several tries: some values are outside a setting's range and refused.
        for (int k = 0; k < 4; ++k) lines += names[i] + "." + s + " = " + randomValue(random) + "\n";
      }
    }
    ASSERT_GT(settings, 100u) << "every module lists its settings";
    lines += "sys.state\n";
    Folder dir;
    const std::string setup = dir.path + "/all.kvs";
    const KvshRun saved = kvsh("--records" + kLib + " --save " + setup, lines);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::string state = answers(saved.out).back();
    size_t accepted = 0;
    for (size_t at = 0; (at = saved.out.find("\n0\t", at)) != std::string::npos; ++at) ++accepted;
    EXPECT_GT(accepted, settings) << "most settings take some of the values";

    const KvshRun opened = kvsh("--records" + kLib + " --open " + setup, "sys.state\n");
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(opened.err.find("error(s) in setup file"), std::string::npos) << opened.err;
    EXPECT_EQ(answers(opened.out).back(), state);
  }
}

TEST(KvshRoundTrip, AFilterListOnSeveralLinesComesBackWhole) {
  Folder dir;
  const std::string setup = dir.path + "/filter.kvs";
  const std::string script =
      "load f = filter\nf.freqmode = 1\nf.fir.order = 40\nf.delimiter = \"Line\"\nf.count\nsys.state\n";
  const KvshRun saved = kvsh("--records" + kLib + " --save " + setup, script);
  ASSERT_EQ(saved.status, 0) << saved.err;
  const std::vector<std::string> before = answers(saved.out);
  ASSERT_EQ(before[4], "41");
  EXPECT_NE(before[5].find("f.coeffs=e\""), std::string::npos) << "the list holds line breaks: " << before[5];

  const KvshRun opened = kvsh("--records" + kLib + " --open " + setup, "f.count\nsys.state\n");
  EXPECT_EQ(opened.status, 0) << opened.err;
  EXPECT_EQ(answers(opened.out), (std::vector<std::string>{"41", before[5]}));
}

TEST(KvshRoundTrip, NumbersThatDifferInTheLastBitStayApart) {
  // The value query's 16 digits would show each of these as its rounder neighbour.
  const std::pair<const char*, const char*> rows[] = {
      {"g.freq = 1000.0000000000001", "g.freq=1000.0000000000001"},
      {"g.pk2pk = 0.30000000000000004", "g.pk2pk=0.30000000000000004"},
      {"f.gain = 1.0000000000000002", "f.gain=1.0000000000000002"},
      {"m.ck.hysteresis = 0.10000000000000002", "m.ck.hysteresis=0.10000000000000002"},
  };
  std::string script = "load g = siggen\nload f = filter\nload m = meas.ck\n";
  for (const auto& [line, listed] : rows) script += std::string(line) + "\n";
  Folder dir;
  const std::string setup = dir.path + "/exact.kvs";
  const KvshRun saved = kvsh("--records" + kLib + " --save " + setup, script);
  ASSERT_EQ(saved.status, 0) << saved.err;
  const KvshRun opened = kvsh("--records" + kLib + " --open " + setup, "sys.state\n");
  EXPECT_EQ(opened.status, 0) << opened.err;
  const std::string state = answers(opened.out).back();
  for (const auto& [line, listed] : rows) EXPECT_NE(state.find(std::string(listed) + "\\r\\n"), std::string::npos) << line;
}
