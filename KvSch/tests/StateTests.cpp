// The document on a real engine: saved state, loading, nets, deleting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvSch/SchDoc.h"
#include "KvSch/tests/EnginePort.h"

namespace {
std::vector<std::string> g_reports;
void Record(long, long, long, const char* message, const char* unit) {
  g_reports.push_back(std::string(unit) + ": " + message);
}

struct Rig {
  EnginePort port;
  CSchDoc doc;
  Rig() {
    doc.SetEngine(&port);
    doc.MakeCurrent();
    g_reports.clear();
    KvSetErrReport(Record);
  }
  ~Rig() {
    doc.SetEngine(nullptr);  // the document outlives nothing it refers to
    KvSetErrReport(nullptr);
  }
  std::string load(const std::string& text) {
    port.lines.clear();
    doc.LoadState(text.data(), text.size());
    return doc.SaveState().GetBfr();
  }
  CSchWire* wire(int i) { return static_cast<CSchWire*>(doc.At(i)); }
};

// Two measurement components (pin 1 ck.in at (0,200), pin 2 CkPeriod.out at (700,200)),
// wired through a junction; m7 is selected.
const char* const kTwo =
    "5,M,#101,M,#102,J,#103,W,#104,W,#105\r\n"
    "Mod,#101,1000,1000,0,meas.ckperiod,m1\r\n"
    "Mod,#102,3000,1000,1,meas.ckperiod,m7\r\n"
    "Jun,#103,2000,1200,0\r\n"
    "Wire,#104,0,0,0,#101.2,#103,1700,1200,2000,1200,1\r\n"
    "Wire,#105,0,0,0,#103,#102.1,2000,1200,3000,1200,1\r\n";
}  // namespace

TEST(SchState, EmptyDrawing) {
  Rig r;
  EXPECT_EQ(std::string(r.doc.SaveState().GetBfr()), "0\r\n");
  for (const char* t : {"", "0", "\r\n", "\r\n  \r\n0\r\n"}) {
    EXPECT_EQ(r.load(t), "0\r\n") << t;
    EXPECT_EQ(r.doc.Count(), 0);
  }
}

TEST(SchState, RoundTripRebuildsComponentsAndLinks) {
  Rig r;
  // Line-feed line ends, blank lines before the header (a setup section's own line break)
  // and a last line without its end all read as the same drawing.
  std::string lf, open = kTwo;
  for (const char* p = kTwo; *p; ++p)
    if (*p != '\r') lf += *p;
  open.resize(open.size() - 2);
  for (const std::string& text : {std::string(kTwo), lf, "\r\n\r\n" + std::string(kTwo), open}) {
    EXPECT_EQ(r.load(text), kTwo);
    EXPECT_EQ(r.port.console("m7.ck.in"), "m1.CkPeriod.out");
    EXPECT_TRUE(r.doc.At(1)->IsSelected());
    EXPECT_TRUE(static_cast<CSchMod*>(r.doc.At(1))->Pin(2)->IsSelected());
    EXPECT_EQ(r.wire(3)->Start(), static_cast<CSchMod*>(r.doc.At(0))->Pin(2));
    EXPECT_EQ(r.wire(4)->End(), static_cast<CSchMod*>(r.doc.At(1))->Pin(1));
  }
  // Loading again first unloads what the drawing held, components last to first.
  const std::string lines = r.port.joined();
  EXPECT_EQ(lines.rfind("unlink m7.ck.in|unload m7|unload m1|load m1=meas.ckperiod|m1.symbol|load m7=", 0), 0u) << lines;
  EXPECT_NE(lines.find("link m7.ck.in=m1.CkPeriod.out"), std::string::npos);

  // Names and numbers continue after the largest loaded ones.
  EXPECT_GE(CSchObj::LastSerial(), 105);
  EXPECT_GT(CSchJun().Serial(), 105);
  EXPECT_EQ(r.doc.LastCompNumber(), 7);
  EXPECT_EQ(r.doc.NextCompNumber(), 8);
  EXPECT_EQ(r.doc.Find("#102.1"), static_cast<CSchMod*>(r.doc.At(1))->Pin(1));
  EXPECT_EQ(r.doc.Find("#102.3"), nullptr);
  EXPECT_EQ(r.doc.Find("#103.1"), nullptr);
}

TEST(SchState, FaultyTextsLoadSafely) {
  struct Case {
    const char* name;
    std::string text, saved;  // saved empty: the same as text
    const char* report;       // an expected error report, or null for none
  } cases[] = {
      {"unknown tag reads only its own line",
       "3,M,#1,X,#2,J,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nWhat,#2,9,9\r\nJun,#3,500,600,0\r\n",
       "2,M,#1,J,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nJun,#3,500,600,0\r\n", "KvSch/SchDoc: Internal Error"},
      {"count beyond the entries present", "9,J,#1\r\nJun,#1,100,100,0\r\n", "1,J,#1\r\nJun,#1,100,100,0\r\n", nullptr},
      {"negative count", "-4,J,#1\r\nJun,#1,100,100,0\r\n", "0\r\n", nullptr},
      {"missing object lines", "2,J,#1,W,#2\r\n", "2,J,#1,W,#2\r\nJun,#1,0,0,0\r\nWire,#2,0,0,0,#,#,0,0,0,0,0\r\n", nullptr},
      {"absurd coordinates are bounded", "1,J,#1\r\nJun,#1,1e300,-99999999999,7\r\n",
       "1,J,#1\r\nJun,#1,100000000,-100000000,1\r\n", nullptr},
      {"a second wire between two junctions would close a loop",
       "4,J,#1,J,#2,W,#3,W,#4\r\nJun,#1,0,0,0\r\nJun,#2,1000,0,0\r\n"
       "Wire,#3,0,0,0,#1,#2,0,0,1000,0,1\r\nWire,#4,0,0,0,#2,#1,1000,0,0,0,1\r\n",
       "", nullptr},
      {"a wire joining two outputs",
       "3,M,#1,M,#2,W,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,meas.ckperiod,m2\r\n"
       "Wire,#3,0,0,0,#1.2,#2.2,700,200,2700,200,1\r\n",
       "", nullptr},
      {"wire ends that name nothing keep their names",
       "2,J,#1,W,#2\r\nJun,#1,0,0,0\r\nWire,#2,0,0,0,#1,#9.1,0,0,500,0,1\r\n", "", nullptr},
      {"a component whose library is missing keeps its wiring",
       "3,M,#1,M,#2,W,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,nomod.x,m2\r\n"
       "Wire,#3,0,0,0,#1.2,#2.1,700,200,2000,200,1\r\n",
       "", nullptr},
      {"names that would change the engine command", "1,M,#1\r\nMod,#1,0,0,0,/tmp/x.bin,library\r\n", "",
       "KvSch/SchDoc: Invalid component: library=/tmp/x.bin"},
      {"a component whose symbol cannot be read", "1,M,#1\r\nMod,#1,0,0,0,test.pass,m4\r\n", "", nullptr},
      {"chained wires, the second naming the first at its end",
       "4,M,#1,M,#2,W,#3,W,#4\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,meas.ckperiod,m2\r\n"
       "Wire,#3,0,0,0,#1.2,#4,700,200,1500,200,1\r\nWire,#4,0,0,0,#2.1,#3,2000,200,1500,200,1\r\n",
       "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    EXPECT_EQ(r.load(c.text), c.saved.empty() ? c.text : c.saved);
    const std::vector<std::string> want = c.report ? std::vector<std::string>{c.report} : std::vector<std::string>{};
    EXPECT_EQ(g_reports, want);
    // Whatever was joined is joined on both sides and the nets stayed trees.
    for (int32_t i = 0; i < r.doc.Count(); ++i) {
      CSchObj* o = r.doc.At(i);
      for (int32_t k = 0; k < o->ConnectionCount(); ++k)
        if (CSchObj* p = o->Connection(k)) {
          EXPECT_TRUE(p->IsConnected(o));
        }
    }
  }
}

TEST(SchState, LoadedNetsAndTheirEngineCommands) {
  {
    Rig r;  // two outputs: nothing joined, nothing linked
    r.load("3,M,#1,M,#2,W,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,meas.ckperiod,m2\r\n"
           "Wire,#3,0,0,0,#1.2,#2.2,700,200,2700,200,1\r\n");
    EXPECT_EQ(r.wire(2)->Start(), nullptr);
    EXPECT_EQ(r.wire(2)->End(), nullptr);
    EXPECT_EQ(r.port.joined().find("link"), std::string::npos);
  }
  {
    Rig r;  // a loop: the second wire stays open
    r.load("4,J,#1,J,#2,W,#3,W,#4\r\nJun,#1,0,0,0\r\nJun,#2,1000,0,0\r\n"
           "Wire,#3,0,0,0,#1,#2,0,0,1000,0,1\r\nWire,#4,0,0,0,#2,#1,1000,0,0,0,1\r\n");
    EXPECT_EQ(r.doc.At(0)->ConnectionCount(), 1);
    EXPECT_EQ(r.wire(3)->Start(), nullptr);
  }
  {
    Rig r;  // the failed component sends no unload when it goes
    r.load("2,M,#1,M,#2\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,0,0,0,nomod.x,m2\r\n");
    auto* bad = static_cast<CSchMod*>(r.doc.At(1));
    EXPECT_FALSE(bad->IsLoaded());
    EXPECT_EQ(bad->ItemCount(), 0);
    r.port.lines.clear();
    r.doc.Clear();
    EXPECT_EQ(r.port.joined(), "unload m1");
  }
  {
    Rig r;  // symbol refused: the engine side undid the load; the document sends nothing more
    r.load("1,M,#1\r\nMod,#1,0,0,0,test.pass,m4\r\n");
    EXPECT_EQ(r.port.joined(), "load m4=test.pass|m4.symbol|unload m4");
    r.port.lines.clear();
    r.doc.Clear();
    EXPECT_EQ(r.port.joined(), "");
  }
  {
    Rig r;  // chained wires in either slot order keep their ends and link the net
    const std::string t =
        "4,M,#1,M,#2,W,#3,W,#4\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,meas.ckperiod,m2\r\n"
        "Wire,#3,0,0,0,#1.2,#4,700,200,1500,200,1\r\nWire,#4,0,0,0,#2.1,#3,2000,200,1500,200,1\r\n";
    r.load(t);
    EXPECT_EQ(r.wire(3)->End(), r.wire(2));
    EXPECT_EQ(r.wire(3)->Start(), static_cast<CSchMod*>(r.doc.At(1))->Pin(1));
    EXPECT_EQ(r.port.console("m2.ck.in"), "m1.CkPeriod.out");
  }
}

TEST(SchDelete, KindsAndForcing) {
  {
    Rig r;  // a junction takes its wires along; the input side loses its link
    r.load(kTwo);
    r.doc.SelectAll(false);
    r.doc.At(2)->Select(true);
    r.port.lines.clear();
    r.doc.DeleteSelection(false);
    EXPECT_EQ(r.doc.Count(), 2);
    EXPECT_EQ(r.port.joined(), "unlink m7.ck.in");
    EXPECT_NE(r.port.console("m7.ck.in"), "m1.CkPeriod.out");
    EXPECT_EQ(static_cast<CSchMod*>(r.doc.At(0))->Pin(2)->ConnectionCount(), 0);
  }
  {
    Rig r;  // a wire: its ends are let go; the output side sends nothing
    r.load(kTwo);
    r.doc.SelectAll(false);
    r.doc.At(3)->Select(true);
    r.port.lines.clear();
    r.doc.DeleteSelection(false);
    EXPECT_EQ(r.port.joined(), "unlink m7.ck.in");
    EXPECT_EQ(r.doc.At(2)->ConnectionCount(), 1);
  }
  {
    Rig r;  // an unload the engine refuses keeps the component unless forced
    r.load(kTwo);
    r.port.engine.busyMarked = [] { return true; };  // the engine refuses network changes
    r.doc.SelectAll(false);
    r.doc.At(0)->Select(true);
    r.doc.DeleteSelection(false);
    EXPECT_EQ(r.doc.Count(), 5);
    r.doc.DeleteSelection(true);
    r.port.engine.busyMarked = nullptr;
    ASSERT_EQ(r.doc.Count(), 4);
    EXPECT_EQ(r.wire(2)->Start(), nullptr);  // the wire stays, that end open
    EXPECT_EQ(r.wire(2)->EndRef(0), CStr("#"));
    EXPECT_EQ(r.doc.Find("#101.2"), nullptr);
  }
  {
    Rig r;  // a wire being drawn ends before anything is deleted
    r.load(kTwo);
    r.doc.Wip().seg[0] = std::make_unique<CSchWire>();
    r.doc.Wip().seg[1] = std::make_unique<CSchWire>();
    r.doc.Wip().startObj = r.doc.At(2);
    r.doc.Clear();
    EXPECT_FALSE(r.doc.Wip().Active());
    EXPECT_EQ(r.doc.Wip().startObj, nullptr);
    EXPECT_EQ(r.doc.Count(), 0);
  }
}

TEST(SchNets, ConnectionRuleAndLinkUpdate) {
  Rig r;
  r.load("3,M,#1,M,#2,M,#3\r\nMod,#1,0,0,0,meas.ckperiod,m1\r\nMod,#2,2000,0,0,meas.ckperiod,m2\r\n"
         "Mod,#3,2000,2000,0,meas.ckperiod,m3\r\n");
  auto pin = [&](int m, int n) { return static_cast<CSchMod*>(r.doc.At(m))->Pin(n); };
  auto wire = [&](CSchObj* a, CSchObj* b) {
    auto w = std::make_unique<CSchWire>();
    CSchWire* raw = w.get();
    r.doc.Add(std::move(w));
    EXPECT_TRUE(CSchDoc::Join(raw, a));
    EXPECT_TRUE(CSchDoc::Join(raw, b));
    return raw;
  };
  auto j = std::make_unique<CSchJun>();
  CSchJun* jun = j.get();
  r.doc.Add(std::move(j));
  // Two inputs through a junction: a net without output sends nothing.
  wire(pin(1, 1), jun);
  r.port.lines.clear();
  EXPECT_TRUE(r.doc.LinkUpdate(jun));
  EXPECT_EQ(r.port.joined(), "");
  EXPECT_TRUE(r.doc.CanJoin(jun, pin(2, 1)));
  wire(jun, pin(2, 1));
  // The output joins: every input is linked, in walk order.
  EXPECT_TRUE(r.doc.CanJoin(pin(0, 2), jun));
  EXPECT_FALSE(r.doc.CanJoin(jun, pin(1, 1)));  // already reachable
  EXPECT_FALSE(r.doc.CanJoin(jun, jun));
  wire(pin(0, 2), jun);
  EXPECT_TRUE(r.doc.LinkUpdate(jun));
  EXPECT_EQ(r.port.joined(), "link m2.ck.in=m1.CkPeriod.out|link m3.ck.in=m1.CkPeriod.out");
  EXPECT_EQ(r.port.console("m3.ck.in"), "m1.CkPeriod.out");
  // A second output is refused.
  EXPECT_FALSE(r.doc.CanJoin(jun, pin(1, 2)));
  EXPECT_EQ(r.doc.NetPins(jun).size(), 3u);
  EXPECT_EQ(r.doc.NetPins(pin(1, 2)).size(), 1u);
}
