// kvsh as a user runs it: a real process, script files and standard input.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "KvshRun.h"

namespace {

std::string writeScript(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace

TEST(Kvsh, RecordsGiveOneEscapedLinePerInputLine) {
  const KvshRun r = kvsh("--records", "load g = nosuch\r\n\nkvs.key()\n// a\tb\nfreq = 5\nx.y(\"a\\b\")");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "-1\tMod not found \"nosuch\"\n"
            "0\t\n"
            "0\tkvs.key()\n"
            "0\t\n"
            "-1\tInvalid variable formation \"freq\"\n"
            "-1\tVariable not found \"x\"\n");
  EXPECT_EQ(r.err, "");
}

TEST(Kvsh, PrintsTheCommandListEscaped) {
  const KvshRun r = kvsh("--records --print-cmdlist", "// one\n\n//two\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\t\n0\t\n0\t\ncmdlist\t// one\\r\\n\\r\\n//two\\r\\n\n");
}

TEST(Kvsh, ReadsFilesInTurnAndAnswersPlainText) {
  const std::string a = writeScript("kvsh_a.kvs", "// first\ngen.freq = 1\n");
  const std::string b = writeScript("kvsh_b.kvs", "kvs.stop()\r\n");
  const KvshRun r = kvsh("--print-cmdlist " + a + " " + b, "ignored.line = 1\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Variable not found \"gen\"\nkvs.stop()\ncmdlist\t// first\\r\\n\n");
}

TEST(Kvsh, UsageErrorsExitWithTwo) {
  struct Row {
    const char* args;
    const char* errorStart;
  };
  const Row rows[] = {
      {"--bogus", "kvsh: unknown option --bogus"},
      {"/nonexistent/script.kvs", "kvsh: cannot read /nonexistent/script.kvs"},
      {"/", "kvsh: cannot read /"},
      {"--log-level 7", "kvsh: --log-level takes a severity from -1 to 6"},
      {"--log-level -2", "kvsh: --log-level takes a severity"},
      {"--log-level warn", "kvsh: --log-level takes a severity"},
      {"--log-level", "kvsh: --log-level takes a severity"},
      {"--run 0", "kvsh: --run takes a number of passes, 1 or more"},
      {"--run x", "kvsh: --run takes a number"},
      {"--lib", "kvsh: --lib takes a folder"},
      {"--open", "kvsh: --open takes a setup file"},
      {"--save", "kvsh: --save takes a setup file"},
  };
  for (const Row& row : rows) {
    const KvshRun r = kvsh(row.args, "kvs.key()\n");
    EXPECT_EQ(r.status, 2) << row.args;
    EXPECT_EQ(r.out, "") << "nothing runs when a file cannot be read: " << row.args;
    EXPECT_EQ(r.err.rfind(row.errorStart, 0), 0u) << r.err;
  }
}

TEST(Kvsh, LogLevelIsAcceptedAcrossItsRange) {
  for (const char* level : {"-1", "0", "2", "6"}) {
    const KvshRun r = kvsh(std::string("--records --log-level ") + level, "kvs.key()\n");
    EXPECT_EQ(r.status, 0) << level;
    EXPECT_EQ(r.out, "0\tkvs.key()\n") << level;
    EXPECT_EQ(r.err, "") << "nothing was logged: " << level;
  }
}

TEST(Kvsh, LoadsFromTheLibraryFolderAndRunsPasses) {
  const std::string script =
      "load g = test.src\nload f = test.pass\nf.in = g.out\nkvs.run(318207)\nf.history\n";
  const KvshRun r = kvsh(std::string("--records --log-level 5 --lib ") + KV_TEST_LIB_DIR + " --run 3", script);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\t\n0\t\n0\t\n0\tkvs.run(318207)\n0\t#acq.start,in,#acq.end,\n");
  size_t runs = 0;
  for (size_t at = r.err.find("Running"); at != std::string::npos; at = r.err.find("Running", at + 1)) ++runs;
  EXPECT_EQ(runs, 4u) << "one pass in place and three on the worker:\n" << r.err;
  EXPECT_EQ(r.err.back(), '\n') << "the console log ends its last line";

  const KvshRun none = kvsh("--records --lib /nonexistent", "load g = test.src\n");
  EXPECT_EQ(none.out, "-1\tMod not found \"test.src\"\n");
}

TEST(Kvsh, SavedSetupOpensAsTheSameNetwork) {
  const std::string setup = ::testing::TempDir() + "kvsh_roundtrip.kvs";
  std::remove(setup.c_str());
  const std::string lib = std::string(" --lib ") + KV_TEST_LIB_DIR;
  const std::string script =
      "load g = test.src\nload p = test.pass\nload s = test.sink\np.in = g.out\nlink s.b = p.out\n"
      "p.gain = 2.5\ng.text = \"two words\"\ns.i4 = 7\nunlink s.b\nlink s.a = p.out\n";
  const KvshRun first = kvsh("--records" + lib + " --save " + setup, script + "sys.state\n");
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string state = first.out.substr(first.out.rfind("0\t"));

  const KvshRun second = kvsh("--records --events" + lib + " --open " + setup, "sys.state\np.in\ns.a\ns.b\n");
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, state + "0\tg.out\n0\tp.out\n0\ts.b\n");
  EXPECT_NE(second.err.find("event ValueChanged p loaded"), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("event NameChanged"), std::string::npos);

  // A setup with a failing line opens with the count in the log and exit status 1.
  std::ofstream(setup, std::ios::binary) << "[Kelvane]\r\nload g = test.src\r\nload x = nothere\r\n";
  const KvshRun bad = kvsh("--records" + lib + " --open " + setup, "");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Line 2: Mod not found \"nothere\""), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("1 error(s) in setup file"), std::string::npos) << bad.err;
  std::remove(setup.c_str());
}

TEST(Kvsh, ReportTablesEveryMeasurementComponent) {
  const std::string script =
      "load c = test.clk\nc.count = 2000\nc.gain = 100\nload m = meas.ckperiod\nm.ck.in = c.out\n"
      "load f = meas.ckfreq\nf.ck.in = c.out\nkvs.run(318207)\n";
  const KvshRun r = kvsh(std::string("--lib ") + KV_TEST_LIB_DIR + " --report", script);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("m (Meas)\n  ck: c.out; mid 0V, hysteresis 100.0mV, low -1.000V, high 1.000V\n"
                       "measurement    unit     count       mean    std-dev        min        max      pk-pk\n"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CkPeriod       s           18      100.0 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("f (Meas)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CkFreq         Hz          18     10.00m "), std::string::npos) << r.out;
}

TEST(Kvsh, HelloExampleRunsToTheEnd) {
  const KvshRun r = kvsh(std::string("--records ") + KV_EXAMPLES_DIR + "/hello.kvs");
  EXPECT_EQ(r.status, 0);
  std::ifstream f(std::string(KV_EXAMPLES_DIR) + "/hello.kvs");
  size_t lines = 0;
  for (std::string l; std::getline(f, l);) ++lines;
  size_t records = 0;
  for (char c : r.out) records += c == '\n';
  EXPECT_EQ(records, lines) << "one record per script line";
  EXPECT_NE(r.out.find("-1\tMod not found \"scope\"\n"), std::string::npos);
  EXPECT_NE(r.out.find("0\tsine,square,triangle,pulse,noise,dc,prbs\n"), std::string::npos) << r.out;
  // 10 ms of a 1 kHz square wave: the edge at the record's first sample is not an edge, so
  // 9 rising edges give 8 periods, all exactly 1 kHz.
  EXPECT_NE(r.out.find("0\tkvs.run(318207)\n0\t8\n0\t1000\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
}

// The main example: a jittery clock measured in one pass, every clock measurement filled.
TEST(Kvsh, ClockJitterExampleMeasuresTheGeneratedJitter) {
  const KvshRun r = kvsh(std::string("--report ") + KV_EXAMPLES_DIR + "/clock-jitter.kvs");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.size() == 8 && w[0].rfind("Ck", 0) == 0) rows[w[0]] = w;
  }
  ASSERT_EQ(rows.size(), 17u) << r.out;
  for (const auto& [name, w] : rows) EXPECT_GT(std::stol(w[2]), 100) << name << " has results";
  auto value = [](const std::string& t) {  // the table's engineering notation
    const std::string units = "fpnµmkMG";
    const double scale[] = {1e-15, 1e-12, 1e-9, 1e-6, 1e-3, 1e3, 1e6, 1e9};
    size_t used = 0;
    const double x = std::stod(t, &used);
    const std::string suffix = t.substr(used);
    if (suffix.empty()) return x;
    if (suffix == "µ") return x * 1e-6;
    const size_t u = units.find(suffix);
    return u == std::string::npos ? NAN : x * scale[u];
  };
  EXPECT_NEAR(value(rows["CkPeriod"][3]), 10e-9, 1e-12);
  EXPECT_NEAR(value(rows["CkTIE"][4]), 2e-12, 0.3e-12) << "the generator's 2 ps rms";
  EXPECT_NEAR(value(rows["CkPeriod"][4]), 2.83e-12, 0.4e-12);
  EXPECT_NEAR(value(rows["CkJCC"][4]), 4.9e-12, 0.7e-12);
  EXPECT_NEAR(value(rows["CkRiseTime"][3]), 500e-12, 1e-12);
}

// A record written to a text file and read back measures exactly as the record itself.
TEST(Kvsh, CsvRoundTripExampleMeasuresTheFileAsTheRecord) {
  const KvshRun r = kvsh(std::string("--report ") + KV_EXAMPLES_DIR + "/csv-roundtrip.kvs");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
  const size_t direct = r.out.find("direct (Meas)\n"), fromFile = r.out.find("fromfile (Meas)\n");
  ASSERT_NE(direct, std::string::npos) << r.out;
  ASSERT_NE(fromFile, std::string::npos) << r.out;
  // The context lines name different sources; the tables below them are the same.
  std::string a = r.out.substr(direct + 14, fromFile - direct - 14), b = r.out.substr(fromFile + 16);
  a = a.substr(a.find("measurement ")), b = b.substr(b.find("measurement "));
  EXPECT_EQ(a, b);
  EXPECT_NE(a.find("CkRiseTime     s           19 "), std::string::npos) << a;
}

// The lowpass of the filter example narrows the timing spread that noise gives slow edges.
TEST(Kvsh, FilterExampleNarrowsTheNoiseJitter) {
  auto periodSpread = [](const KvshRun& r) {
    const size_t at = r.out.find("CkPeriod ");
    if (at == std::string::npos) return -1.0;
    std::istringstream row(r.out.substr(at, r.out.find('\n', at) - at));
    std::string name, unit, count, mean, spread;
    row >> name >> unit >> count >> mean >> spread;
    if (spread.empty() || spread.back() != 'n') return -1.0;
    return std::stod(spread);  // in ns
  };
  const std::string example = std::string(KV_EXAMPLES_DIR) + "/filter-demo.kvs";
  const KvshRun filtered = kvsh("--report " + example);
  ASSERT_EQ(filtered.status, 0) << filtered.err;
  EXPECT_EQ(filtered.err.find("Error"), std::string::npos) << filtered.err;
  EXPECT_NE(filtered.out.find("CkPeriod       s           98     999.9n "), std::string::npos) << filtered.out;

  std::ifstream f(example);
  std::string text(std::istreambuf_iterator<char>(f), {});
  text.replace(text.rfind("kvs.run(318207)"), 15, "lp.bypass = 1\nkvs.run(318207)");
  const KvshRun bypassed = kvsh("--report " + writeScript("filter_bypassed.kvs", text));
  ASSERT_EQ(bypassed.status, 0) << bypassed.err;
  const double with = periodSpread(filtered), without = periodSpread(bypassed);
  ASSERT_GT(with, 0) << filtered.out;
  ASSERT_GT(without, 0) << bypassed.out;
  EXPECT_LT(with, 0.6 * without) << "filtered " << with << " ns, bypassed " << without << " ns";
}

// A setup whose link evaluates a measurement before any pass (an aborting error then) still
// measures and writes in its first pass; the consumer names its source; $AppPath is the
// program's folder.
TEST(Kvsh, FirstPassAfterAnErrorWhileLinkingRunsWhole) {
  const std::string csv = ::testing::TempDir() + "first-pass-rise.csv";
  std::remove(csv.c_str());
  const std::string script = writeScript("first-pass.kvs",
                                         "load g = siggen\ng.type = \"square\"\ng.pk2pk = 1\ng.offset = 0.5\n"
                                         "g.risetime = 20n\ng.freq = 1M\ng.samplerate = 100M\ng.reclen = 10000\n"
                                         "load m = meas.ck\nm.ck.in = g.out\nm.ck.edgetype = \"rise+fall\"\n"
                                         "m.ck.mid = 0.5\nm.ck.high = 0.9\nm.ck.low = 0.1\n"
                                         "load w = textio.writer\nw.filename = \"" + csv + "\"\n"
                                         "w.in = m.CkRiseTime.out\nm.ck.in.connection\n"
                                         "load library = $AppPath/Lib\nload h = siggen\n");
  const KvshRun r = kvsh("--run 1 " + script);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "g.out\nload library = $AppPath/Lib\n") << "the consumer sees its source";
  EXPECT_EQ(r.err.find("Acquisition aborted"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Mod not found"), std::string::npos) << "the program's library folder: " << r.err;
  std::ifstream f(csv);
  int lines = 0;
  for (std::string l; std::getline(f, l);) ++lines;
  EXPECT_EQ(lines, 99) << "every rise time of the first pass written";
  std::remove(csv.c_str());
}
