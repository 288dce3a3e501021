// The batch report: one number format for every column, and the machine formats read back
// to exactly what the engine's statistics queries answer.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"
#include "shell/Report.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs kvsh in a folder of its own; the report file, standard output and error come back.
struct KvshRun {
  int status = -1;
  std::string out, err, report;
};
KvshRun kvsh(const std::string& args, const std::string& input, bool oneOutput = false) {
  char dir[] = "/tmp/kvshreportXXXXXX";
  const std::string tmp = mkdtemp(dir);
  std::ofstream(tmp + "/in", std::ios::binary) << input;
  const std::string cmd = "cd " + tmp + " && " + KVSH_PATH + " " + args + " <in >out " + (oneOutput ? "2>&1" : "2>err");
  KvshRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = slurp(tmp + "/out");
  r.err = slurp(tmp + "/err");
  r.report = slurp(tmp + "/report");
  std::system(("rm -rf " + tmp).c_str());
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> f(1);
  for (char c : line) {
    if (c == ',') f.emplace_back();
    else f.back().push_back(c);
  }
  return f;
}

// The number after `"key": ` in a JSON object's text; NaN for null.
double jsonValue(const std::string& object, const std::string& key) {
  const size_t at = object.find("\"" + key + "\": ");
  if (at == std::string::npos) return -12345;
  const char* p = object.c_str() + at + key.size() + 4;
  if (std::string(p, 4) == "null") return std::nan("");
  return std::strtod(p, nullptr);
}

// The statistics of every measurement of the example, asked of an engine in this process.
struct Statistics {
  std::map<std::string, std::vector<double>> byName;  // count, mean, stddev, min, max
};
Statistics exampleStatistics(const std::string& example) {
  Statistics s;
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  KvCreateObject("KvCore.App", app.put());
  app->get_Utils(utils.put());
  KvWnd shell = CreateWindow(nullptr);
  KvWnd logParent = KvCreateHeadlessParent(300, 200);
  intptr_t record[kStartEntries] = {};
  record[kStartMainWnd] = shell;
  record[kStartLogWnd] = logParent;
  app->Init(reinterpret_cast<intptr_t>(record));
  utils->put_LibraryPath(KV_TEST_LIB_DIR);
  std::ifstream f(example);
  for (std::string line; std::getline(f, line);) {
    std::string msg;
    long r = 0;
    app->Execute(line, &msg, &r);
  }
  std::string names;
  app->get_str("meas", "meas.names?", &names);
  std::istringstream list(names);
  for (std::string name; std::getline(list, name, ',');) {
    int32_t n = 0;
    app->get_lng("meas", name + ".count?", &n);
    std::vector<double> v{static_cast<double>(n)};
    for (const char* k : {".mean?", ".stddev?", ".min?", ".max?"}) {
      double x = 0;
      app->get_dbl("meas", name + k, &x);
      v.push_back(x);
    }
    s.byName[name] = v;
  }
  app->Init(0);
  utils.reset();
  app.reset();
  KvDestroyHeadlessParent(logParent);
  DestroyWindow(shell);
  return s;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Report, NumbersHaveFourSignificantDigitsAndOnePrefix) {
  struct Case {
    double x;
    const char* number;
    const char* plain;
  };
  const Case cases[] = {
      {499.96e-6, "500.0µ", "0.0005000"},
      {1e6 - 1, "1.000M", "1000000"},
      {99.90e6, "99.90M", "99900000"},
      {1000, "1.000k", "1000"},
      {999.94, "999.9", "999.9"},
      {999.96, "1.000k", "1000"},
      {10e-9, "10.00n", "1.000e-08"},
      {-6.525e-12, "-6.525p", "-6.525e-12"},
      {1.5e-15, "1.500f", "1.500e-15"},
      {999.9e12, "999.9T", "9.999e+14"},
      {2.18e-21, "2.180e-21", "2.180e-21"},
      {1e15, "1.000e+15", "1.000e+15"},
      {0.02494, "24.94m", "0.02494"},
      {49.97, "49.97", "49.97"},
      {0, "0", "0"},
      {-0.0, "0", "0"},
      {std::nan(""), "-", "-"},
      {INFINITY, "inf", "inf"},
      {-INFINITY, "-inf", "-inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReportNumber(c.x), c.number) << c.x;
    EXPECT_EQ(ReportPlain(c.x), c.plain) << c.x;
  }
}

TEST(Report, TableShowsContextPercentAsPlainRatesInVoltsPerSecondAndMarksFewJitterResults) {
  ReportComponent c;
  c.name = "m";
  c.channels.push_back({"ck", "r.out (file \"a.csv\", column CH2)", 60000, 4e-8, -1.2e-3, 1.5, 0.5, 0.3, 2.7});
  c.rows.push_back({"CkPDuty", "%", 2, 49.97, 0.02494, 49.95, 49.99});
  c.rows.push_back({"CkRiseRate", "V/ns", 4, 0.5876, 0.001, 0.5866, 0.5886});
  c.rows.push_back({"CkTIE", "s", 2, 1e-12, 2e-12, -1e-12, 3e-12});
  c.rows.push_back({"CkPeriod", "s", 2, 1e-3, 0, 1e-3, 1e-3});
  c.rows.push_back({"CkJCC", "s", 0, NAN, NAN, NAN, NAN});
  const std::string t = ReportWrite({c}, ReportFormat::text);
  EXPECT_NE(t.find("m (Meas)\n  ck: r.out (file \"a.csv\", column CH2), 60000 samples at 40.00ns from -1.200ms; "
                   "mid 1.500V, hysteresis 500.0mV, low 300.0mV, high 2.700V\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("CkPDuty        %            2      49.97    0.02494      49.95      49.99    0.04000\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("CkRiseRate     V/s          4     587.6M     1.000M     586.6M     588.6M     2.000M\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("CkTIE          s            2*    1.000p"), std::string::npos) << "too few for jitter:\n" << t;
  EXPECT_NE(t.find("CkPeriod       s            2     1.000m          0"), std::string::npos) << "not a jitter figure\n" << t;
  EXPECT_NE(t.find("CkJCC          s            0          -          -          -          -          -\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("* fewer than 3 results"), std::string::npos) << t;
}

// csv and json carry what the statistics queries answer, bit for bit, and the exit status
// stays 0 for a sound pass.
TEST(Report, CsvAndJsonReadBackToTheStatisticsQueries) {
  const std::string example = std::string(KV_EXAMPLES_DIR) + "/clock-jitter.kvs";
  const Statistics expected = exampleStatistics(example);
  ASSERT_EQ(expected.byName.size(), 17u);

  const KvshRun csv = kvsh("--report-format csv --report-file report " + example, "");
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out.find("CkPeriod"), std::string::npos) << "the report went to its file";
  const std::vector<std::string> rows = lines(csv.report);
  ASSERT_EQ(rows.size(), 18u) << csv.report;
  EXPECT_EQ(rows[0], "component,measurement,unit,count,mean,std-dev,min,max,pk-pk");
  for (size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> f = csvFields(rows[i]);
    ASSERT_EQ(f.size(), 9u) << rows[i];
    EXPECT_EQ(f[0], "meas");
    const std::vector<double>& want = expected.byName.at(f[1]);
    EXPECT_EQ(std::stod(f[3]), want[0]) << f[1];
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(std::strtod(f[4 + k].c_str(), nullptr), want[1 + k])) << rows[i];
    EXPECT_TRUE(sameBits(std::strtod(f[8].c_str(), nullptr), want[4] - want[3])) << rows[i];
  }

  const KvshRun json = kvsh("--report-format json " + example, "");
  ASSERT_EQ(json.status, 0) << json.err;
  const std::string& j = json.out;
  EXPECT_NE(j.find("\"channel\": \"ck\", \"source\": \"gen.out\", \"samples\": 100000, \"interval\": 1e-10"),
            std::string::npos)
      << j;
  size_t seen = 0;
  for (const auto& [name, want] : expected.byName) {
    const size_t at = j.find("\"measurement\": \"" + name + "\"");
    ASSERT_NE(at, std::string::npos) << name;
    const std::string object = j.substr(at, j.find('}', at) - at);
    EXPECT_EQ(jsonValue(object, "count"), want[0]) << name;
    const char* keys[] = {"mean", "std-dev", "min", "max"};
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(jsonValue(object, keys[k]), want[1 + k])) << name << " " << keys[k];
    ++seen;
  }
  EXPECT_EQ(seen, 17u);
}

TEST(Report, ReportFileIsReplacedWholeAndBadTargetsAreRefused) {
  const std::string example = std::string(KV_EXAMPLES_DIR) + "/clock-jitter.kvs";
  const KvshRun r = kvsh("--report-format csv --report-file /nonexistent/folder/report " + example, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("kvsh: cannot write /nonexistent/folder/report"), std::string::npos) << r.err;
  const KvshRun bad = kvsh("--report-format xml " + example, "");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err.rfind("kvsh: --report-format takes text, csv or json", 0), 0u) << bad.err;
}

// A script can tell a failed pass from a sound one: the report is still printed, then 3.
TEST(Report, FailedPassesExitWithThree) {
  const std::string lib = std::string("--lib ") + KV_TEST_LIB_DIR;
  struct Case {
    const char* what;
    std::string args, script;
    int status;
  };
  const Case cases[] = {
      {"a file that cannot be read aborts the pass", lib + " --report",
       "load r = textio.reader\nr.filename = \"missing.csv\"\nload m = meas.ckperiod\nm.ck.in = r.out\n"
       "kvs.run(318207)\n",
       3},
      {"the same on the worker", lib + " --report --run 2",
       "load r = textio.reader\nr.filename = \"missing.csv\"\nload m = meas.ckperiod\nm.ck.in = r.out\n", 3},
      {"a measurement that reports an error", lib + " --report",
       "load c = test.clk\nc.count = 10\nload m = meas.ck\nm.ck.in = c.out\nm.ck.mid = 1e6\nkvs.run(318207)\n", 3},
      {"failing lines outside a pass", lib, "load x = nothere\nx.y = 1\n", 0},
      {"a sound pass", lib + " --report",
       "load c = test.clk\nc.count = 2000\nc.gain = 100\nload m = meas.ckperiod\nm.ck.in = c.out\nkvs.run(318207)\n",
       0},
  };
  for (const Case& c : cases) {
    const KvshRun r = kvsh(c.args, c.script);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
    if (c.args.find("--report") != std::string::npos) {
      EXPECT_NE(r.out.find("m (Meas)\n"), std::string::npos) << c.what << ": the report comes first\n" << r.out;
    }
  }
}

// With both streams on one file, no answer starts inside a log line.
TEST(Report, LogLinesEndBeforeAnswersOnOneFile) {
  const KvshRun r = kvsh("--log-level 0", "kvs.run(318207)\nkvs.run(318207)\nkvs.key()\n", true);
  ASSERT_EQ(r.status, 0) << r.out;
  size_t answers = 0, logLines = 0;
  for (const std::string& l : lines(r.out)) {
    const bool stamped = l.size() > 9 && l[2] == ':' && l[5] == ':' && l[8] == ' ';
    if (stamped) {
      ++logLines;
      EXPECT_EQ(l.find("kvs."), std::string::npos) << "an answer ran into a log line: " << l;
    } else if (l.find_first_not_of(" \r") != std::string::npos) {
      ++answers;
      EXPECT_EQ(l.rfind("kvs.", 0), 0u) << l;
    }
  }
  EXPECT_EQ(answers, 3u) << r.out;
  EXPECT_GE(logLines, 4u) << r.out;
}

// The README's lines for a scope export, run on each export: the layout found by itself, the
// channel by name, the edges the exports' provenance counts.
TEST(Report, ReadmeLinesMeasureEveryScopeExport) {
  if (access(KV_SCOPE_CSV_DIR "/PROVENANCE.md", R_OK) != 0) GTEST_SKIP() << "no exports at " << KV_SCOPE_CSV_DIR;
  struct Case {
    const char* file;
    const char* column;
    double mid, hysteresis, low, high;
    const char* risingEdges;
  };
  const Case cases[] = {
      {"keysight-burst-pattern.csv", "1", 1.5, 0.5, 0.3, 2.7, "20"},
      {"rigol-ds1204b-1khz-square-4ch.csv", "CH3", 1.4, 0.5, 0.3, 2.7, "65"},
      {"rigol-ds1054z-uart-square.csv", "CH2", 1.6, 0.5, 0.45, 2.8, "12"},
      {"siglent-sds1202xe-1khz-sine.csv", "1", 0, 0.2, -1.3, 1.2, "283"},
      {"tektronix-tds2014c-50hz-pwm.csv", "1", 1.7, 0.5, 0.4, 3.0, "5"},
      {"tektronix-dpo3014-49hz-pulse.csv", "CH1", 2.6, 0.5, 0.7, 4.5, "5"},
  };
  for (const Case& c : cases) {
    const std::string script = std::string("load r = textio.reader\nr.filename = \"") + KV_SCOPE_CSV_DIR + "/" + c.file +
                               "\"\nr.layout.auto = 1\nr.ycolumn = \"" + c.column + "\"\nload m = meas.ck\nm.ck.in = r.out\n" +
                               "m.ck.mid = " + std::to_string(c.mid) + "\nm.ck.hysteresis = " + std::to_string(c.hysteresis) +
                               "\nm.ck.low = " + std::to_string(c.low) + "\nm.ck.high = " + std::to_string(c.high) +
                               "\nm.ck.edgetype = \"rise+fall\"" +
                               "\nkvs.run(318207)\nm.ck.rise.edges\n";
    const KvshRun r = kvsh("--report", script);
    EXPECT_EQ(r.status, 0) << c.file << "\n" << r.err;
    EXPECT_NE(r.out.find(std::string("\n") + c.risingEdges + "\n"), std::string::npos) << c.file << "\n" << r.out;
    EXPECT_NE(r.out.find(std::string("  ck: r.out (file \"") + KV_SCOPE_CSV_DIR + "/" + c.file + "\", column " + c.column + ")"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("CkPeriod "), std::string::npos) << r.out;
  }
}
