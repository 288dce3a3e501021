// The reader and writer components: real oscilloscope exports read and measured, the
// output's buffer forms, re-reading, errors that empty the record, and the writer's files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "KvDll/Log.h"
#include "ModMeas/MeasIn.h"
#include "ModTextIO/TextDetect.h"
#include "ModTextIO/TextReader.h"
#include "ModTextIO/TextWriter.h"

namespace {

template <class C>
struct Rig {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  KvCreateBlock block{"t", &g, nullptr, ""};
  std::unique_ptr<C> c;
  Rig() {
    CLog::Init(logParent, 0);
    c = std::make_unique<C>(block);
  }
  ~Rig() {
    c.reset();
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void num(const char* name, double x) {
    VPARAM d, v;
    c->Settings(parDescribe, name, d);
    if (d.vt == vtI4) v.value.i4 = static_cast<int32_t>(x);
    else v.value.r8 = x;
    ASSERT_EQ(c->Settings(parWrite, name, v), cmdDone) << name;
  }
  void text(const char* name, const std::string& t) {
    VPARAM v;
    v.value.s = t.c_str();
    ASSERT_EQ(c->Settings(parWrite, name, v), cmdDone) << name;
  }
  double real(const char* name) {
    VPARAM v;
    c->Settings(parRead, name, v);
    return v.value.r8;
  }
  int32_t whole(const char* name) {
    VPARAM v;
    c->Settings(parRead, name, v);
    return v.value.i4;
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

std::string scopeFile(const char* name) { return std::string(KV_SCOPE_CSV_DIR) + "/" + name; }

bool haveScopeFiles() {
  struct stat st {};
  return ::stat(KV_SCOPE_CSV_DIR, &st) == 0;
}

std::string tempPath(const char* name) { return ::testing::TempDir() + std::to_string(::getpid()) + "_" + name; }

// A new file under the old name, as an exporting program writes it.
void rewrite(const std::string& path, const std::string& text) {
  std::ofstream(path + ".new") << text;
  std::rename((path + ".new").c_str(), path.c_str());
}

// Rising mid-level crossings of a record, as the measurement module counts them.
long risingEdges(CBfr& record, double mid, double hysteresis) {
  CGlobalData g;
  KvCreateBlock mb{"m", &g, nullptr, "CkPeriod"};
  CMeasIn m(mb);
  VPARAM v;
  v.value.p = &record;
  m.Settings(parWrite, "ck.in", v);
  v.value.r8 = mid;
  m.Settings(parWrite, "ck.mid", v);
  v.value.r8 = hysteresis;
  m.Settings(parWrite, "ck.hysteresis", v);
  m.RunAll();
  VPARAM r;
  m.Settings(parRead, "ck.rise.edges", r);
  return r.value.i4;
}

}  // namespace

TEST(TextReader, ReadsEveryVendorsExportAndMeasuresItsEdges) {
  if (!haveScopeFiles()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  struct Case {
    const char* file;
    int skipLines, skipValues, xaxis, ycolumn;
    double xincr;
    int32_t count;
    double interval, mid, hysteresis;
    long rising;
  };
  const Case cases[] = {
      {"keysight-burst-pattern.csv", 2, 0, 1, 1, 1, 2000, 5e-6, 1.5, 0.5, 20},
      {"rigol-ds1204b-1khz-square-4ch.csv", 2, 0, 1, 1, 1, 8192, 8e-6, 1.5, 0.5, 65},
      {"rigol-ds1204b-1khz-square-4ch.csv", 2, 0, 1, 3, 1, 8192, 8e-6, 1.4, 0.5, 65},
      {"rigol-ds1054z-uart-square.csv", 2, 1, 0, 1, 4e-8, 60000, 4e-8, 1.5, 0.5, 2},
      {"rigol-ds1054z-uart-square.csv", 2, 1, 0, 2, 4e-8, 60000, 4e-8, 1.6, 0.5, 12},
      {"siglent-sds1202xe-1khz-sine.csv", 12, 0, 1, 1, 1, 140000, 2e-6, 0, 0.2, 283},
      {"tektronix-tds2014c-50hz-pwm.csv", 0, 3, 1, 1, 1, 2500, 4e-5, 1.7, 0.5, 5},
      {"tektronix-dpo3014-49hz-pulse.csv", 21, 0, 1, 1, 1, 10000, 1e-5, 2.6, 0.5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " column " + std::to_string(c.ycolumn));
    Rig<CTextReader> rig;
    rig.text("filename", scopeFile(c.file));
    rig.num("nskiplines", c.skipLines);
    rig.num("nskipvalues", c.skipValues);
    rig.num("xaxis.on", c.xaxis);
    rig.text("ycolumn", std::to_string(c.ycolumn));
    rig.num("xincr", c.xincr);
    ASSERT_TRUE(rig.c->Read()) << rig.log();
    CBfr& out = rig.c->out;
    EXPECT_EQ(out.type, bfrR8) << "evenly spaced";
    EXPECT_EQ(out.count, c.count);
    EXPECT_NEAR(out.interval, c.interval, c.interval * 1e-6);
    EXPECT_EQ(risingEdges(out, c.mid, c.hysteresis), c.rising);
  }
}

TEST(TextReader, OutputFormsOffsetsAndRereading) {
  Rig<CTextReader> rig;
  const std::string path = tempPath("reader.csv");
  std::ofstream(path) << "0,1\n0.5,2\n1,3\n";
  rig.text("filename", path);
  rig.num("xaxis.on", 1);
  rig.num("xincr", 1e-3);  // the file's time column is in milliseconds
  rig.num("hor.offset", 0.25);
  ASSERT_TRUE(rig.c->Read()) << rig.log();
  CBfr& out = rig.c->out;
  EXPECT_EQ(out.type, bfrR8);
  EXPECT_DOUBLE_EQ(out.interval, 0.5e-3);
  EXPECT_DOUBLE_EQ(rig.real("x.start"), 0.25);
  const int32_t tag = out.tag;
  ASSERT_TRUE(rig.c->Read());
  EXPECT_EQ(out.tag, tag) << "nothing changed: the same record";
  out.FreeBfr();  // the engine released it after its last consumer
  ASSERT_TRUE(rig.c->Read());
  EXPECT_EQ(out.count, 3);
  EXPECT_EQ(static_cast<double*>(out.data)[2], 3);

  rig.num("hor.offset.additive", 1);
  ASSERT_TRUE(rig.c->Read());
  ASSERT_TRUE(rig.c->Read());
  EXPECT_DOUBLE_EQ(rig.real("x.start"), 0.75) << "the offset adds up pass by pass";
  rig.num("hor.offset.additive", 0);

  // Unevenly spaced X: values with positions, in seconds.
  rewrite(path, "0,1\n1,2\n3,3\n4,4\n");
  ASSERT_TRUE(rig.c->Read()) << rig.log();
  EXPECT_EQ(out.type, bfrXY);
  ASSERT_EQ(out.count, 4);
  EXPECT_DOUBLE_EQ(static_cast<double*>(out.data2)[2], 3e-3 + 0.25);

  // A change of layout reads again: Y only, one sample every xincr.
  rig.num("xaxis.on", 0);
  rig.num("nskipvalues", 1);
  ASSERT_TRUE(rig.c->Read());
  EXPECT_EQ(out.type, bfrR8);
  EXPECT_DOUBLE_EQ(out.interval, 1e-3);

  // Neither even nor ascending.
  rig.num("xaxis.on", 1);
  rig.num("nskipvalues", 0);
  rewrite(path, "0,1\n2,2\n1,3\n");
  EXPECT_FALSE(rig.c->Read());
  EXPECT_EQ(out.count, 0);
  EXPECT_NE(rig.log().find("t: Error - \"" + path + "\": X values are neither evenly spaced nor ascending"),
            std::string::npos)
      << rig.log();
  std::remove(path.c_str());
}

TEST(TextReader, AFileThatCannotBeReadEmptiesTheRecordAndAbortsThePass) {
  Rig<CTextReader> rig;
  const std::string path = tempPath("bad.csv");
  std::ofstream(path) << "1\n2\n";
  rig.text("filename", path);
  ASSERT_TRUE(rig.c->Read());
  EXPECT_EQ(rig.c->out.count, 2);
  rewrite(path, "1\n2\nx3\n");
  EXPECT_FALSE(rig.c->Read());
  EXPECT_EQ(rig.c->out.count, 0) << "never a half-read record";
  EXPECT_EQ(rig.g.abort, 1);
  EXPECT_NE(rig.log().find("\"" + path + "\" line 3, column 1: not a number \"x3\""), std::string::npos) << rig.log();
  rig.g.abort = 0;
  std::remove(path.c_str());
  EXPECT_FALSE(rig.c->Read());
  EXPECT_NE(rig.log().find("File not found \"" + path + "\""), std::string::npos);

  // Settings that cannot be: refused, the old value kept.
  VPARAM v;
  v.value.s = "::";
  EXPECT_EQ(rig.c->Settings(parWrite, "sep.col", v), cmdBadValue);
  for (const char* column : {"0", "", "00"}) {
    v.value.s = column;
    EXPECT_EQ(rig.c->Settings(parWrite, "ycolumn", v), cmdBadValue) << column;
  }
  v.value.r8 = 0;
  EXPECT_EQ(rig.c->Settings(parWrite, "xincr", v), cmdBadValue);
  for (const char* sep : {"Tab", "space", ";", ","}) {
    v.value.s = sep;
    EXPECT_EQ(rig.c->Settings(parWrite, "sep.col", v), cmdDone) << sep;
  }
}

TEST(TextWriter, WritesTheInputRecordAndKeepsTheFileWhenThereIsNone) {
  Rig<CTextWriter> rig;
  const std::string path = tempPath("writer.csv");
  rig.text("filename", path);
  rig.num("xaxis.on", 1);
  rig.text("sep.col", ";");
  rig.num("hor.offset", 1);
  EXPECT_FALSE(rig.c->Write());
  EXPECT_NE(rig.log().find("t: Error - Input port in is not connected"), std::string::npos);

  CBfr in;
  in.SetBfrType(bfrI2);
  in.SetSize(3);
  const int16_t raw[] = {-2, 0, 5};
  std::copy(raw, raw + 3, static_cast<int16_t*>(in.data));
  in.count = in.valid = 3;
  in.scale = 0.5, in.offset = 1, in.interval = 0.25;
  VPARAM v;
  v.value.p = &in;
  ASSERT_EQ(rig.c->Settings(parWrite, "in", v), cmdDone);
  ASSERT_TRUE(rig.c->Write()) << rig.log();
  auto slurp = [&] {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  EXPECT_EQ(slurp(), "1;0\n1.25;1\n1.5;3.5\n");
  in.xstart = -2;  // a record with a time origin: the written times continue from it
  ASSERT_TRUE(rig.c->Write()) << rig.log();
  EXPECT_EQ(slurp(), "-1;0\n-0.75;1\n-0.5;3.5\n");
  in.xstart = 0;

  rig.num("dataorg", 1);
  rig.num("xaxis.on", 0);
  ASSERT_TRUE(rig.c->Write());
  EXPECT_EQ(slurp(), "0;1;3.5\n");

  in.count = 0;
  EXPECT_FALSE(rig.c->Write());
  EXPECT_EQ(slurp(), "0;1;3.5\n") << "an empty record leaves the last file";
  EXPECT_NE(rig.log().find("t: Warning - Input record length is 0."), std::string::npos);

  // Measurement results: values with start positions in samples of the measured record.
  CBfr res;
  res.SetBfrType(bfrIntervals);
  res.SetSize(2);
  static_cast<double*>(res.data)[0] = 10, static_cast<double*>(res.data)[1] = 11;
  static_cast<double*>(res.data2)[0] = 4, static_cast<double*>(res.data2)[1] = 14;
  res.count = res.valid = 2;
  res.scale = 0.25, res.interval = 0.5;
  v.value.p = &res;
  rig.c->Settings(parWrite, "in", v);
  rig.num("dataorg", 0);
  rig.num("xaxis.on", 1);
  rig.num("hor.offset", 0);
  ASSERT_TRUE(rig.c->Write());
  EXPECT_EQ(slurp(), "2;2.5\n7;2.75\n");
  std::remove(path.c_str());
}

// A column named as the export's header names it reads what its number reads; the record
// keeps the capture's time origin.
TEST(TextReader, ColumnsByHeaderNameAndTheTimeOrigin) {
  if (!haveScopeFiles()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  struct Case {
    const char* file;
    int skipLines, skipValues, xaxis;
    const char* name;
    int number;
    double start;
  };
  const Case cases[] = {
      {"rigol-ds1054z-uart-square.csv", 2, 1, 0, "CH2", 2, 0},
      {"rigol-ds1204b-1khz-square-4ch.csv", 2, 0, 1, "ch3", 3, -32.768e-3},
      {"tektronix-dpo3014-49hz-pulse.csv", 21, 0, 1, "Ch1", 1, -50.1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<double> byNumber;
    for (const std::string& column : {std::to_string(c.number), std::string(c.name)}) {
      Rig<CTextReader> rig;
      rig.text("filename", scopeFile(c.file));
      rig.num("nskiplines", c.skipLines);
      rig.num("nskipvalues", c.skipValues);
      rig.num("xaxis.on", c.xaxis);
      rig.text("ycolumn", column);
      ASSERT_TRUE(rig.c->Read()) << rig.log();
      const CBfr& out = rig.c->out;
      const double* y = static_cast<const double*>(out.data);
      if (byNumber.empty()) byNumber.assign(y, y + out.count);
      else EXPECT_TRUE(std::equal(byNumber.begin(), byNumber.end(), y)) << column;
      EXPECT_NEAR(out.xstart, c.start, 1e-12);
      EXPECT_EQ(rig.real("x.start"), out.xstart);
    }
  }
}

TEST(TextReader, UnknownColumnNamesFifosAndNonFiniteSamples) {
  Rig<CTextReader> rig;
  const std::string path = tempPath("named.csv");
  std::ofstream(path) << "model,x\ntime,CH1,CH2\n0,1,nan\n1,2,3\n2,3,inf\n3,4,5\n";
  rig.text("filename", path);
  rig.num("nskiplines", 2);
  rig.num("xaxis.on", 1);
  rig.text("ycolumn", "CH3");
  EXPECT_FALSE(rig.c->Read());
  EXPECT_NE(rig.log().find("\"" + path + "\" line 2: no column \"CH3\"; the columns are: CH1, CH2"), std::string::npos)
      << rig.log();
  rig.g.abort = 0;
  rig.text("ycolumn", "ch2");
  ASSERT_TRUE(rig.c->Read()) << rig.log();
  EXPECT_EQ(rig.c->out.count, 4);
  const std::string warning = "\"" + path + "\": 2 sample(s) not finite, the first on line 3";
  EXPECT_NE(rig.log().find(warning), std::string::npos) << rig.log();
  ASSERT_TRUE(rig.c->Read()) << "the same record for the next pass";
  const std::string log = rig.log();
  EXPECT_NE(log.find(warning, log.find(warning) + 1), std::string::npos) << "once more for the second pass";

  // A FIFO without a writer would block the read for ever: it is refused at once.
  const std::string fifo = tempPath("reader.fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  rig.g.abort = 0;
  rig.text("filename", fifo);
  EXPECT_FALSE(rig.c->Read());
  EXPECT_NE(rig.log().find("Cannot read \"" + fifo + "\": not a regular file"), std::string::npos) << rig.log();
  rig.g.abort = 0;
  rig.text("filename", "/dev/null");
  EXPECT_FALSE(rig.c->Read());
  EXPECT_NE(rig.log().find("Cannot read \"/dev/null\": not a regular file"), std::string::npos) << rig.log();
  std::remove(fifo.c_str());
  std::remove(path.c_str());
}

// layout.auto reads each export, with no other setting, as its hand-set layout does; the
// detected values are what the layout settings read back.
TEST(TextReader, DetectedLayoutsReadTheSameRecordsAsHandSetOnes) {
  if (!haveScopeFiles()) GTEST_SKIP() << "no oscilloscope exports at " << KV_SCOPE_CSV_DIR;
  struct Case {
    const char* file;
    int skipLines, skipValues, xaxis;
    double xincr, start;
  };
  const Case cases[] = {
      {"keysight-burst-pattern.csv", 2, 0, 1, 1, -5e-3},
      {"rigol-ds1204b-1khz-square-4ch.csv", 2, 0, 1, 1, -32.768e-3},
      {"rigol-ds1054z-uart-square.csv", 2, 1, 0, 4e-8, -1.2e-3},
      {"siglent-sds1202xe-1khz-sine.csv", 12, 0, 1, 1, 0},
      {"tektronix-tds2014c-50hz-pwm.csv", 0, 3, 1, 1, -50e-3},
      {"tektronix-dpo3014-49hz-pulse.csv", 21, 0, 1, 1, -50.1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Rig<CTextReader> hand, detected;
    hand.text("filename", scopeFile(c.file));
    hand.num("nskiplines", c.skipLines);
    hand.num("nskipvalues", c.skipValues);
    hand.num("xaxis.on", c.xaxis);
    hand.num("xincr", c.xincr);
    detected.text("filename", scopeFile(c.file));
    detected.num("layout.auto", 1);
    ASSERT_TRUE(hand.c->Read()) << hand.log();
    ASSERT_TRUE(detected.c->Read()) << detected.log();
    const CBfr &a = hand.c->out, &b = detected.c->out;
    ASSERT_EQ(a.count, b.count);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.interval, b.interval);
    EXPECT_TRUE(std::equal(static_cast<double*>(a.data), static_cast<double*>(a.data) + a.count, static_cast<double*>(b.data)));
    EXPECT_NEAR(b.xstart, c.start, 1e-12);
    EXPECT_EQ(detected.whole("nskiplines"), c.skipLines);
    EXPECT_EQ(detected.whole("nskipvalues"), c.skipValues);
    EXPECT_EQ(detected.whole("xaxis.on"), c.xaxis);
  }
}

TEST(TextDetect, SeparatorsDecimalCommaByteOrderMarkAndRows) {
  struct Case {
    const char* what;
    std::string text;
    char sep;
    long skipLines, skipValues, channels;
    bool xaxis, byRow, index;
    double interval;
  };
  const Case cases[] = {
      {"decimal comma", "Zeit;Kanal 1\ns;V\n0,000;1,5\n0,001;2,5\n0,002;1,5\n", ';', 2, 0, 1, true, false, false, 0},
      {"tabs, no header", "0\t1.5\t7\n1e-3\t2.5\t8\n2e-3\t1.5\t9\n", '\t', 0, 0, 2, true, false, false, 0},
      {"byte-order mark and CR LF", "\xEF\xBB\xBFtime,ch1\r\n0,1\r\n0.5,2\r\n1,1\r\n", ',', 1, 0, 1, true, false, false, 0},
      {"rows", "t,0,1,2,3,4\nv,5,6,5,6,5\n", ',', 0, 1, 1, true, true, false, 0},
      {"Y only with the interval in the header", "Sample Interval,2e-6\nVolt\n1\n2\n1\n2\n", ',', 2, 0, 1, false, false,
       false, 2e-6},
      {"index column", "i v\n0 3\n1 4\n2 3\n3 5\n", ' ', 1, 1, 1, false, false, true, 0},
  };
  for (const Case& c : cases) {
    DetectedLayout d;
    ASSERT_TRUE(DetectTextLayout(c.text.data(), c.text.size(), true, d)) << c.what;
    EXPECT_EQ(d.layout.sep, c.sep) << c.what;
    EXPECT_EQ(d.layout.skipLines, c.skipLines) << c.what;
    EXPECT_EQ(d.layout.skipValues, c.skipValues) << c.what;
    EXPECT_EQ(d.channels, c.channels) << c.what;
    EXPECT_EQ(d.layout.xaxis, c.xaxis) << c.what;
    EXPECT_EQ(d.layout.byRow, c.byRow) << c.what;
    EXPECT_EQ(d.indexColumn, c.index) << c.what;
    EXPECT_EQ(d.interval, c.interval) << c.what;
    // What was detected parses the text.
    CTextParser p(d.layout, "t");
    EXPECT_TRUE(p.Feed(c.text.data(), c.text.size()) && p.Finish()) << c.what << ": " << p.Error();
  }
  DetectedLayout d;
  const std::string words = "only,words\nno,numbers\n";
  EXPECT_FALSE(DetectTextLayout(words.data(), words.size(), true, d));
}
