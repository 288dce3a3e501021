// The editing operations on a real engine: placing, wiring, splitting, the clean-ups, moving,
// deleting and panels, checked in the engine's links and in the lines sent.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KvSch/SchEdit.h"
#include "KvSch/tests/EnginePort.h"

namespace {
// meas.ckperiod at P: input ck.in (pin 1) wired at P + (0,200), output CkPeriod.out (pin 2)
// at P + (700,200), box from P + (100,0) to P + (600,300).
const char* const kCk = "meas.ckperiod";

std::string Pt(SchPoint p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }

struct Rig {
  EnginePort port;
  CSchDoc doc;
  CSchEdit edit{doc};
  int fakes = 90;
  Rig() {
    doc.SetEngine(&port);
    doc.MakeCurrent();
  }
  ~Rig() {
    doc.Clear();
    doc.SetEngine(nullptr);
  }
  // The wires in drawing order, as their ends in document coordinates.
  std::string wires() const {
    std::string s;
    for (int32_t i = 0; i < doc.Count(); ++i)
      if (doc.At(i)->Kind() == skWire) {
        auto* w = static_cast<CSchWire*>(doc.At(i));
        s += (s.empty() ? "" : " ") + Pt(w->AbsP1()) + "-" + Pt(w->AbsP2());
      }
    return s;
  }
  // Every connection is made on both sides and names an object of the drawing (or its pin).
  void checkMutual() const {
    for (int32_t i = 0; i < doc.Count(); ++i) {
      std::vector<CSchObj*> own{doc.At(i)};
      for (int32_t k = 0; doc.At(i)->Kind() == skMod && k < static_cast<CSchMod*>(doc.At(i))->ItemCount(); ++k)
        own.push_back(static_cast<CSchMod*>(doc.At(i))->Item(k));
      for (CSchObj* o : own)
        for (int32_t k = 0; k < o->ConnectionCount(); ++k)
          if (CSchObj* p = o->Connection(k)) {
            EXPECT_TRUE(p->IsConnected(o)) << o->Name().GetBfr() << " - " << p->Name().GetBfr();
            EXPECT_GE(doc.IndexOf(p->Parent() ? p->Parent() : p), 0) << p->Name().GetBfr();
          }
    }
  }
  void selectOnly(SchPoint p) {
    doc.SelectAll(false);
    if (CSchObj* o = doc.Nearest(p)) o->Select(true);
  }
  // Steps separated by ";": "P x y" places meas.ckperiod (the lines sent so far are
  // forgotten), "Q x y" adds a component the engine does not hold (m90, m91, ...: output o
  // at (700,200), bidirectional b at (0,200)), "S x y" starts a wire ("S!": nothing starts),
  // "C x y =r" clicks with result r (d done, c corner, i ignored, f failed), "E" escape,
  // "X x y" deletes the object there, "s x y" selects it too, "A" selects all, "M dx dy"
  // moves the selection, "U" cleans up, "L" / "l" lock and free the engine's network,
  // "B" / "b" busy, "K" unloads m1 in the console.
  void run(const std::string& script) {
    std::istringstream in(script);
    for (std::string step; std::getline(in, step, ';');) {
      std::istringstream f(step);
      std::string op, res;
      int x = 0, y = 0;
      f >> op >> x >> y >> res;
      SCOPED_TRACE(step);
      if (op == "P") {
        ASSERT_NE(edit.Place(kCk, {x, y}), nullptr);
        port.lines.clear();
      } else if (op == "Q") {
        auto m = std::make_unique<CSchMod>();
        m->SetNames("x.y", ("m" + std::to_string(fakes++)).c_str());
        m->SetPosition({x, y});
        EXPECT_TRUE(m->ParseSymbol("opin,600,200,100,,1,o;bpin,0,200,100,,2,b"));
        doc.Add(std::move(m));
      } else if (op == "S" || op == "S!") {
        EXPECT_EQ(edit.StartWire({x, y}), op == "S");
      } else if (op == "C") {
        edit.StretchWire({x, y});
        EXPECT_EQ(std::string(1, "icdf"[edit.ClickWire({x, y})]), res.substr(1));
      } else if (op == "E") {
        edit.EndWire();
      } else if (op == "X") {
        selectOnly({x, y});
        edit.DeleteSelection();
      } else if (op == "s") {
        if (CSchObj* o = doc.Nearest({x, y})) o->Select(true);
      } else if (op == "A") {
        doc.SelectAll(true);
      } else if (op == "M") {
        edit.MoveSelection({x, y});
      } else if (op == "U") {
        edit.CleanUp();
      } else if (op == "L" || op == "l") {
        port.engine.busyMarked = op == "L" ? std::function<bool()>([] { return true; }) : nullptr;
      } else if (op == "K") {
        port.console("unload m1");
      } else if (op == "B" || op == "b") {
        port.busy = op == "B";
      }
    }
    checkMutual();
  }
};
}  // namespace

TEST(SchEdit, WiringSequences) {
  const std::string one = "P 0 0;P 2000 0;S 700 200;C 2000 200 =d", L21 = "link m2.ck.in=m1.CkPeriod.out";
  const std::string three = "P 0 0;P 2000 0;P 2000 1000", m21 = "m2.ck.in=m1.CkPeriod.out", m31 = " m3.ck.in=m1.CkPeriod.out";
  struct Case {
    const char* name;
    std::string script, lines;  // the lines sent after the last placing
    std::string links;          // input=source, blank-separated (an unlinked input answers its own name)
    const char* wires;          // null: not checked
    std::string told = "";      // what the user was told and the refused changes
  } cases[] = {
      {"output to a first input: one link", one, L21, m21, "(700,200)-(2000,200)"},
      {"input to output, drawn backwards", "P 0 0;P 2000 0;S 2000 200;C 700 200 =d", L21, m21, "(2000,200)-(700,200)"},
      {"a second input through a junction: both linked again", three + ";S 700 200;C 2000 200 =d;S 2000 1200;C 1500 200 =d",
       L21 + "|" + L21 + "|link m3.ck.in=m1.CkPeriod.out", m21 + m31,
       "(700,200)-(1500,200) (1500,200)-(2000,200) (2000,1200)-(1500,1200) (1500,1200)-(1500,200)"},
      {"a second output is refused and drawing goes on",
       "P 0 0;P 2000 0;P 4000 0;S 700 200;C 2000 200 =d;S 4700 200;C 1200 200 =i;C 2000 200 =i;E", L21, m21 + " m3.ck.in=", nullptr},
      {"two inputs send nothing; an output added later links both",
       three + ";S 2000 200;C 2000 1200 =d;S 700 200;C 1500 700 =c;C 2000 700 =d", L21 + "|link m3.ck.in=m1.CkPeriod.out", m21 + m31,
       "(2000,200)-(2000,700) (700,200)-(1500,200) (1500,200)-(1500,700) (2000,700)-(2000,1200) (1500,700)-(2000,700)"},
      {"deleting the only wire: one unlink, for the input", one + ";X 1300 200", L21 + "|unlink m2.ck.in", "m2.ck.in=", ""},
      {"a pin that holds a wire starts and ends nothing",
       "P 0 0;P 2000 0;P 4000 0;S 700 200;C 2000 200 =d;S! 2050 200;S 4000 200;C 2050 200 =i;E", L21, m21, nullptr},
      {"nothing near starts nothing", one + ";S! 1000 900", L21, "", nullptr},
      {"a wire's own net is not joined to itself", one + ";S 1000 200;C 1500 200 =i;E", L21, m21, nullptr},
      {"corners, then the end on a pin", "P 0 0;P 2000 1000;S 700 200;C 1200 600 =c;C 2000 1200 =d", L21, m21,
       "(700,200)-(1200,200) (1200,200)-(1200,600) (1200,600)-(2000,600) (2000,600)-(2000,1200)"},
      {"a corner, then Escape: the corner stays", "P 0 0;P 2000 1000;S 700 200;C 1200 600 =c;E", "", "m2.ck.in=",
       "(700,200)-(1200,200) (1200,200)-(1200,600)"},
      {"corners in a straight line are merged", "P 0 0;P 3000 0;S 700 200;C 1500 200 =c;C 3000 200 =d", L21, m21, "(700,200)-(3000,200)"},
      {"a refused link after the join ends the tool, keeps the wire and is told", "P 0 0;P 2000 0;L;S 700 200;C 2000 200 =f;l", L21,
       "m2.ck.in=", "(700,200)-(2000,200)",
       "Error: cmd=link m2.ck.in=m1.CkPeriod.out, resp=The network cannot be changed while an acquisition runs"},
      {"while busy, no click may change the network", "P 0 0;P 2000 0;B;S 700 200;C 1200 600 =i;C 2000 200 =i;b;C 2000 200 =d", L21,
       m21, "(700,200)-(2000,200)", "busy|busy"},
      {"while busy, a wire is not deleted", one + ";B;X 1300 200;b", L21, m21, "(700,200)-(2000,200)", "busy"},
      {"a bidirectional pin is wired and linked like an input", "Q 0 0;Q 2000 0;S 700 200;C 2000 200 =f", "link m91.b=m90.o", "",
       "(700,200)-(2000,200)", "Error: cmd=link m91.b=m90.o, resp=Variable not found \"m90\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.run(c.script);
    EXPECT_EQ(r.port.joined(), c.lines);
    std::istringstream links(c.links);
    for (std::string l; links >> l;) {
      const std::string in = l.substr(0, l.find('=')), src = l.substr(l.find('=') + 1);
      EXPECT_EQ(r.port.console(in), src.empty() ? in : src) << l;
    }
    if (c.wires) {
      EXPECT_EQ(r.wires(), c.wires);
    }
    std::string told;
    for (const auto* v : {&r.port.warnings, &r.port.refusals})
      for (const std::string& t : *v) told += (told.empty() ? "" : "|") + t;
    EXPECT_EQ(told, c.told);
    EXPECT_FALSE(r.edit.Drawing());
    EXPECT_EQ(r.doc.Wip().startObj, nullptr);
  }
}

namespace {
// "#A", "#B" in a text stand for the names of the next objects made.
std::string Named(std::string t, int32_t last) {
  for (const char* k : {"#A", "#B"}) {
    const std::string n = "#" + std::to_string(++last);
    for (size_t at; (at = t.find(k)) != std::string::npos;) t.replace(at, 2, n);
  }
  return t;
}
}  // namespace

TEST(SchEdit, CleanUps) {
  const std::string jj = "Jun,#1,0,0,0\r\nJun,#4,1000,0,0\r\n";
  struct Case {
    const char* name;
    std::string before, after;  // after empty: unchanged
  } cases[] = {
      {"a horizontal diagonal: three pieces, the middle snapped",
       "3,J,#1,J,#2,W,#3\r\nJun,#1,0,0,0\r\nJun,#2,1000,500,0\r\nWire,#3,0,0,0,#1,#2,0,0,1000,500,1\r\n",
       "5,J,#1,J,#2,W,#3,W,#A,W,#B\r\nJun,#1,0,0,0\r\nJun,#2,1000,500,0\r\nWire,#3,0,0,0,#1,#A,0,0,500,0,1\r\n"
       "Wire,#A,0,0,0,#3,#B,500,0,500,500,2\r\nWire,#B,0,0,0,#A,#2,500,500,1000,500,1\r\n"},
      {"a vertical diagonal off its position is made absolute first",
       "3,J,#1,J,#2,W,#3\r\nJun,#1,100,100,0\r\nJun,#2,1100,600,0\r\nWire,#3,100,100,1,#1,#2,0,0,1000,500,2\r\n",
       "5,J,#1,J,#2,W,#3,W,#A,W,#B\r\nJun,#1,100,100,0\r\nJun,#2,1100,600,0\r\nWire,#3,0,0,1,#1,#A,100,100,100,400,2\r\n"
       "Wire,#A,0,0,0,#3,#B,100,400,1100,400,1\r\nWire,#B,0,0,0,#A,#2,1100,400,1100,600,2\r\n"},
      {"a diagonal whose middle falls on its end: the piece of length 0 goes too",
       "3,J,#1,J,#2,W,#3\r\nJun,#1,0,0,0\r\nJun,#2,100,500,0\r\nWire,#3,0,0,0,#1,#2,0,0,100,500,1\r\n",
       "4,J,#1,J,#2,W,#3,W,#A\r\nJun,#1,0,0,0\r\nJun,#2,100,500,0\r\nWire,#3,0,0,0,#1,#A,0,0,100,0,1\r\n"
       "Wire,#A,0,0,0,#3,#2,100,0,100,500,2\r\n"},
      {"length 0 between two objects: they take each other",
       "4,J,#1,W,#2,W,#3,J,#4\r\n" + jj.substr(0, 14) + "Wire,#2,0,0,0,#1,#3,0,0,0,0,1\r\nWire,#3,0,0,0,#2,#4,0,0,1000,0,1\r\n" + jj.substr(14),
       "3,J,#1,W,#3,J,#4\r\n" + jj.substr(0, 14) + "Wire,#3,0,0,0,#1,#4,0,0,1000,0,1\r\n" + jj.substr(14)},
      {"length 0 with one end open: forgotten", "2,J,#1,W,#2\r\nJun,#1,0,0,0\r\nWire,#2,0,0,0,#1,#,0,0,0,0,1\r\n",
       "1,J,#1\r\nJun,#1,0,0,0\r\n"},
      {"collinear, end on start: merged into the first",
       "4,J,#1,W,#2,W,#3,J,#4\r\n" + jj.substr(0, 14) + "Wire,#2,0,0,0,#1,#3,0,0,400,0,1\r\nWire,#3,0,0,0,#2,#4,400,0,1000,0,1\r\n" + jj.substr(14),
       "3,J,#1,W,#2,J,#4\r\n" + jj.substr(0, 14) + "Wire,#2,0,0,0,#1,#4,0,0,1000,0,1\r\n" + jj.substr(14)},
      {"collinear, start on end: merged into the first",
       "4,J,#1,W,#2,W,#3,J,#4\r\n" + jj.substr(0, 14) + "Wire,#2,0,0,0,#3,#4,400,0,1000,0,1\r\nWire,#3,0,0,0,#1,#2,0,0,400,0,1\r\n" + jj.substr(14),
       "3,J,#1,W,#2,J,#4\r\n" + jj.substr(0, 14) + "Wire,#2,0,0,0,#1,#4,0,0,1000,0,1\r\n" + jj.substr(14)},
      {"a corner is not merged",
       "4,J,#1,W,#2,W,#3,J,#4\r\nJun,#1,0,0,0\r\nWire,#2,0,0,0,#1,#3,0,0,400,0,1\r\nWire,#3,0,0,0,#2,#4,400,0,400,500,2\r\nJun,#4,400,500,0\r\n",
       ""},
      {"parallel wires that touch without a connection are not merged",
       "2,W,#2,W,#3\r\nWire,#2,0,0,0,#,#,0,0,400,0,1\r\nWire,#3,0,0,0,#,#,400,0,1000,0,1\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.doc.LoadState(c.before.data(), c.before.size());
    ASSERT_EQ(std::string(r.doc.SaveState().GetBfr()), c.before);
    const int32_t last = CSchObj::LastSerial();
    r.port.lines.clear();
    r.edit.CleanUp();
    EXPECT_EQ(std::string(r.doc.SaveState().GetBfr()), c.after.empty() ? c.before : Named(c.after, last));
    EXPECT_EQ(r.port.joined(), "");
    r.checkMutual();
  }
}

TEST(SchEdit, Split) {
  // A wire from a junction at (0,0) to the input pin of m1 at (1000,0).
  const std::string text = "3,J,#1,M,#2,W,#3\r\nJun,#1,0,0,0\r\nMod,#2,1000,-200,0,meas.ckperiod,m1\r\n"
                           "Wire,#3,0,0,0,#1,#2.1,0,0,1000,0,1\r\n";
  struct Case {
    SchPoint at;
    const char* wires;  // null: refused
    int joined;         // objects joined to the junction
    int count;          // objects in the drawing after
  } cases[] = {
      {{400, 0}, "(0,0)-(400,0) (400,0)-(1000,0)", 2, 5},
      {{1000, 0}, "(0,0)-(1000,0)", 2, 4},  // at an end point: between the wire and the pin
      {{0, 0}, "(0,0)-(1000,0)", 1, 3},     // the junction already there
      {{400, 100}, nullptr, 0, 3},
      {{1100, 0}, nullptr, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Pt(c.at));
    Rig r;
    r.doc.LoadState(text.data(), text.size());
    auto* w = static_cast<CSchWire*>(r.doc.At(2));
    CSchJun* j = r.edit.Split(w, c.at);
    EXPECT_EQ(r.doc.Count(), c.count);
    if (!c.wires) {
      EXPECT_EQ(j, nullptr);
      continue;
    }
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->Position(), c.at);
    EXPECT_EQ(r.wires(), c.wires);
    EXPECT_EQ(j->ConnectionCount(), c.joined);
    EXPECT_TRUE(r.doc.Reaches(r.doc.At(0), j));
    EXPECT_TRUE(r.doc.Reaches(j, static_cast<CSchMod*>(r.doc.At(1))->Pin(1)));
    r.checkMutual();
  }
  // The nearest point of a wire: clamped to its range, then snapped.
  CSchWire h, z;
  h.SetPoints({0, 0}, {1000, 0});
  z.SetPoints({240, 260}, {240, 260});
  EXPECT_EQ(CSchEdit::NearestOn(h, {449, 20}), (SchPoint{400, 0}));
  EXPECT_EQ(CSchEdit::NearestOn(h, {1490, -20}), (SchPoint{1000, 0}));
  EXPECT_EQ(CSchEdit::NearestOn(z, {0, 0}), (SchPoint{200, 300}));
}

TEST(SchEdit, MovingWithTheNeighbourRules) {
  const std::string split = "P 0 0;P 2000 0;S 700 200;C 2000 200 =d;S 1500 200;E";  // junction at (1500,200)
  const std::string corners = "P 0 0;P 2000 1000;S 700 200;C 1200 600 =c;C 2000 1200 =d";
  struct Case {
    const char* name;
    std::string script;
    const char* wires;
  } cases[] = {
      {"a component drags the ends at its pins", split + ";s 300 100;M 0 100", "(700,300)-(1500,200) (1500,200)-(2000,200)"},
      {"a wire between unselected objects keeps its ends", split + ";s 1000 200;M 0 100", "(700,200)-(1500,200) (1500,200)-(2000,200)"},
      {"a junction drags every attached end", split + ";s 1500 200;M 0 100", "(700,200)-(1500,300) (1500,300)-(2000,200)"},
      {"a wire with its component: the end at the junction stays", split + ";s 300 100;s 1000 200;M 0 100",
       "(700,300)-(1500,200) (1500,200)-(2000,200)"},
      {"everything moves together", split + ";A;M 0 100;M 100 0", "(800,300)-(1600,300) (1600,300)-(2100,300)"},
      {"a wire drags the wires at its ends", corners + ";s 1200 400;M 100 0",
       "(700,200)-(1300,200) (1300,200)-(1300,600) (1300,600)-(2000,600) (2000,600)-(2000,1200)"},
      {"a diagonal made by moving becomes a staircase by its stored orientation", corners + ";s 300 100;M 0 100;U",
       "(700,300)-(1000,300) (1200,200)-(1200,600) (1200,600)-(2000,600) (2000,600)-(2000,1200) (1000,300)-(1000,200) "
       "(1000,200)-(1200,200)"},
      {"nothing selected, nothing moves", split + ";M 0 100", "(700,200)-(1500,200) (1500,200)-(2000,200)"},
      {"moving while busy", split + ";B;s 300 100;M 0 100;b", "(700,300)-(1500,200) (1500,200)-(2000,200)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.run(c.script);
    EXPECT_EQ(r.wires(), c.wires);
    r.checkMutual();
  }
}

TEST(SchEdit, PlacingAndItsNumbering) {
  Rig r;
  r.port.console("load m2=meas.ckperiod");  // a name the engine already holds
  struct Step {
    const char* func;
    SchPoint at;
    const char* comp;   // null: refused or failed
    const char* lines;
    SchPoint pos;
  } steps[] = {
      {kCk, {149, 251}, "m1", "load m1=meas.ckperiod|m1.symbol", {100, 300}},
      {kCk, {-160, 0}, "m3", "load m3=meas.ckperiod|m3.symbol", {-100, 0}},
      {"nomod.x", {0, 0}, nullptr, "load m4=nomod.x", {}},
      {"test.pass", {0, 0}, nullptr, "load m5=test.pass|m5.symbol|unload m5", {}},  // no symbol
      {"", {0, 0}, nullptr, "", {}},                                                // the dialog cancelled
      {kCk, {0, 0}, "m6", "load m6=meas.ckperiod|m6.symbol", {0, 0}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.func);
    r.port.lines.clear();
    CSchMod* m = r.edit.Place(s.func, s.at);
    EXPECT_EQ(r.port.joined(), s.lines);
    if (!s.comp) {
      EXPECT_EQ(m, nullptr);
      continue;
    }
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(std::string(m->CompName().GetBfr()), s.comp);
    EXPECT_EQ(m->Position(), s.pos);
    EXPECT_EQ(r.doc.At(r.doc.Count() - 1), m);
  }
  EXPECT_EQ(r.doc.Count(), 3);
  EXPECT_FALSE(r.port.Exists(CStr("m5")));
  // While busy nothing is sent and no number is taken.
  r.port.busy = true;
  r.port.lines.clear();
  EXPECT_EQ(r.edit.Place(kCk, {0, 0}), nullptr);
  EXPECT_EQ(r.port.joined(), "");
  EXPECT_EQ(r.doc.LastCompNumber(), 6);
  r.port.busy = false;
  r.port.console("unload m2");
}

TEST(SchEdit, DeletingComponents) {
  struct Case {
    const char* name;
    const char* before;  // a script run before the delete
    const char* lines;
    int left;  // objects left (two components and their wire to begin with)
    bool done;
  } cases[] = {
      {"not forced: the component and its wire's end go", "", "unload m1", 2, true},
      {"refused by the engine: it stays", "L", "unload m1", 3, true},
      {"unloaded in the console: removed although its unload fails", "K", "unload m1", 2, true},
      {"busy: nothing is sent", "B", "", 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.run("P 0 0;P 2000 0;S 700 200;C 2000 200 =d");
    r.run(c.before);
    r.port.lines.clear();
    r.selectOnly({300, 100});
    EXPECT_EQ(r.edit.DeleteSelection(), c.done);
    EXPECT_EQ(r.port.joined(), c.lines);
    EXPECT_EQ(r.doc.Count(), c.left);
    r.checkMutual();
    // Forced, as clearing does, it goes whatever the engine says.
    r.doc.Clear();
    EXPECT_EQ(r.doc.Count(), 0);
    r.run("b;l");
  }
  // Junctions joined directly (a wire of length 0 between them bypassed) go together.
  Rig r;
  const std::string t = "5,J,#1,W,#2,J,#3,W,#4,J,#5\r\nJun,#1,0,0,0\r\nWire,#2,0,0,0,#1,#3,0,0,0,0,1\r\nJun,#3,0,0,0\r\n"
                        "Wire,#4,0,0,0,#3,#5,0,0,500,0,1\r\nJun,#5,500,0,0\r\n";
  r.doc.LoadState(t.data(), t.size());
  r.edit.CleanUp();
  ASSERT_EQ(r.doc.Count(), 4);
  ASSERT_TRUE(r.doc.At(0)->IsConnected(r.doc.At(1)));
  r.doc.At(0)->Select(true);
  EXPECT_TRUE(r.edit.DeleteSelection());
  ASSERT_EQ(r.doc.Count(), 1);  // the far junction was only at the other end of a wire
  EXPECT_EQ(r.doc.At(0)->ConnectionCount(), 0);
}

TEST(SchEdit, Panels) {
  Rig r;
  r.run("P 0 0;P 2000 0;S 700 200;C 2000 200 =d;A");
  CSchObj* wire = r.doc.At(2);
  // A wire is selected alone and opens nothing.
  r.port.lines.clear();
  r.edit.OpenPanels(wire);
  EXPECT_TRUE(wire->IsSelected());
  EXPECT_FALSE(r.doc.At(0)->IsSelected());
  EXPECT_EQ(r.port.joined(), "");
  // A component: every panel named, set and shown in turn, also while busy.
  r.port.busy = true;
  r.edit.OpenPanels(r.doc.At(1));
  r.port.busy = false;
  EXPECT_EQ(r.port.joined(), "m2.gui.names|m2.igui.wnd=\"m2_0\"|show(m2.igui)|m2.ogui.wnd=\"m2_1\"|show(m2.ogui)");
  EXPECT_TRUE(r.doc.At(1)->IsSelected());
  EXPECT_FALSE(wire->IsSelected());
  EXPECT_TRUE(r.port.refusals.empty());
  // A component without panels is told so.
  r.port.console("load m9=test.rec");
  auto rec = std::make_unique<CSchMod>();
  rec->SetNames("test.rec", "m9");
  rec->SetLoaded(true);
  CSchMod* m9 = rec.get();
  r.doc.Add(std::move(rec));
  r.port.lines.clear();
  r.edit.OpenPanels(m9);
  EXPECT_EQ(r.port.joined(), "m9.gui.names");
  EXPECT_EQ(r.port.messages, std::vector<std::string>{"Mod doesn't have any GUIs"});
  // One the engine never created asks nothing (its name may be another component's).
  m9->SetLoaded(false);
  r.port.lines.clear();
  r.edit.OpenPanels(m9);
  EXPECT_EQ(r.port.joined(), "");
  r.port.console("unload m9");
}

TEST(SchEdit, AWireBeingDrawnEndsFirst) {
  const std::string zero = "0\r\n";
  const std::vector<std::pair<const char*, std::function<void(Rig&)>>> ops = {
      {"Escape", [](Rig& r) { r.edit.EndWire(); }},
      {"Delete", [](Rig& r) { r.edit.DeleteSelection(); }},
      {"ClearState", [](Rig& r) { r.doc.Clear(); }},
      {"LoadState", [&](Rig& r) { r.doc.LoadState(zero.data(), zero.size()); }},
      {"a new start", [](Rig& r) { EXPECT_FALSE(r.edit.StartWire({5000, 5000})); }},
      {"a clean-up", [](Rig& r) { r.edit.CleanUp(); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    Rig r;
    r.run("P 0 0;P 2000 0;S 700 200;C 2000 200 =d;S 1000 200;C 1000 800 =c");
    ASSERT_TRUE(r.edit.Drawing());
    op(r);
    EXPECT_FALSE(r.edit.Drawing());
    EXPECT_EQ(r.doc.Wip().startObj, nullptr);
    r.checkMutual();
  }
}
