// The editing operations on a real engine: placing, wiring, splitting, the clean-ups, moving,
// deleting and panels, checked in the engine's links and in the lines sent.
#include <gtest/gtest.h>

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
  // Every connection is made on both sides, and every object it names is in the drawing (or
  // a pin of a component that is).
  void checkMutual() const {
    for (int32_t i = 0; i < doc.Count(); ++i) {
      std::vector<CSchObj*> own{doc.At(i)};
      if (doc.At(i)->Kind() == skMod)
        for (int32_t k = 0; k < static_cast<CSchMod*>(doc.At(i))->ItemCount(); ++k) own.push_back(static_cast<CSchMod*>(doc.At(i))->Item(k));
      for (CSchObj* o : own)
        for (int32_t k = 0; k < o->ConnectionCount(); ++k)
          if (CSchObj* p = o->Connection(k)) {
            EXPECT_TRUE(p->IsConnected(o)) << o->Name().GetBfr() << " - " << p->Name().GetBfr();
            const CSchObj* top = p->Parent() ? p->Parent() : p;
            EXPECT_GE(doc.IndexOf(top), 0) << p->Name().GetBfr();
          }
    }
  }
  void selectOnly(SchPoint p) {
    doc.SelectAll(false);
    if (CSchObj* o = doc.Nearest(p)) o->Select(true);
  }
  // Steps separated by ";": "P x y" places meas.ckperiod (the lines sent so far are
  // forgotten), "S x y" starts a wire, "C x y =r" clicks with result r (d done, c corner,
  // i ignored, f failed), "E" escape, "X x y" deletes the object there, "M dx dy" moves the
  // selection, "U" cleans up, "L" / "l" lock and free the engine's network, "B" / "b" busy.
  void run(const std::string& script) {
    std::istringstream in(script);
    std::string step;
    while (std::getline(in, step, ';')) {
      std::istringstream f(step);
      std::string op, res;
      int x = 0, y = 0;
      f >> op >> x >> y >> res;
      SCOPED_TRACE(step);
      if (op == "P") {
        ASSERT_NE(edit.Place(kCk, {x, y}), nullptr);
        port.lines.clear();
      } else if (op == "S") {
        EXPECT_TRUE(edit.StartWire({x, y}));
      } else if (op == "S!") {
        EXPECT_FALSE(edit.StartWire({x, y}));
      } else if (op == "C") {
        edit.StretchWire({x, y});
        const CSchEdit::Click c = edit.ClickWire({x, y});
        const char* names = "icdf";
        EXPECT_EQ(std::string(1, names[c]), res.substr(1));
      } else if (op == "E") {
        edit.EndWire();
      } else if (op == "X") {
        selectOnly({x, y});
        edit.DeleteSelection();
      } else if (op == "M") {
        edit.MoveSelection({x, y});
      } else if (op == "U") {
        edit.CleanUp();
      } else if (op == "L" || op == "l") {
        port.engine.busyMarked = op == "L" ? std::function<bool()>([] { return true; }) : nullptr;
      } else if (op == "B" || op == "b") {
        port.busy = op == "B";
      }
    }
    checkMutual();
  }
};
}  // namespace

TEST(SchEdit, WiringSequences) {
  const std::string one = "P 0 0;P 2000 0;S 700 200;C 2000 200 =d";
  const std::string three = "P 0 0;P 2000 0;P 2000 1000";
  struct Case {
    const char* name;
    std::string script;
    const char* lines;                // sent after the last placing
    std::vector<std::string> links;   // input = its source (an unlinked input answers its own name)
    const char* wires;                // null: not checked
  } cases[] = {
      {"output to a first input: one link", one, "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"},
       "(700,200)-(2000,200)"},
      {"input to output, drawn backwards", "P 0 0;P 2000 0;S 2000 200;C 700 200 =d", "link m2.ck.in=m1.CkPeriod.out",
       {"m2.ck.in=m1.CkPeriod.out"}, "(2000,200)-(700,200)"},
      {"a second input through a junction: both linked again", three + ";S 700 200;C 2000 200 =d;S 2000 1200;C 1500 200 =d",
       "link m2.ck.in=m1.CkPeriod.out|link m2.ck.in=m1.CkPeriod.out|link m3.ck.in=m1.CkPeriod.out",
       {"m2.ck.in=m1.CkPeriod.out", "m3.ck.in=m1.CkPeriod.out"},
       "(700,200)-(1500,200) (1500,200)-(2000,200) (2000,1200)-(1500,1200) (1500,1200)-(1500,200)"},
      {"a second output is refused and drawing goes on", "P 0 0;P 2000 0;P 4000 0;S 700 200;C 2000 200 =d;S 4700 200;C 1200 200 =i;C 2000 200 =i;E",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out", "m3.ck.in="}, nullptr},
      {"two inputs send nothing; an output added later links both", three + ";S 2000 200;C 2000 1200 =d;S 700 200;C 1500 700 =c;C 2000 700 =d",
       "link m2.ck.in=m1.CkPeriod.out|link m3.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out", "m3.ck.in=m1.CkPeriod.out"},
       "(2000,200)-(2000,700) (700,200)-(1500,200) (1500,200)-(1500,700) (2000,700)-(2000,1200) (1500,700)-(2000,700)"},
      {"deleting the only wire: one unlink, for the input", one + ";X 1300 200", "link m2.ck.in=m1.CkPeriod.out|unlink m2.ck.in",
       {"m2.ck.in="}, ""},
      {"a pin that holds a wire starts and ends nothing", "P 0 0;P 2000 0;P 4000 0;S 700 200;C 2000 200 =d;S! 2050 200;S 4000 200;C 2050 200 =i;E",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"}, nullptr},
      {"nothing near starts nothing", one + ";S! 1000 900", "link m2.ck.in=m1.CkPeriod.out", {}, nullptr},
      {"a wire's own net is not joined to itself", one + ";S 1000 200;C 1500 200 =i;E", "link m2.ck.in=m1.CkPeriod.out",
       {"m2.ck.in=m1.CkPeriod.out"}, nullptr},
      {"corners, then the end on a pin", "P 0 0;P 2000 1000;S 700 200;C 1200 600 =c;C 2000 1200 =d",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"},
       "(700,200)-(1200,200) (1200,200)-(1200,600) (1200,600)-(2000,600) (2000,600)-(2000,1200)"},
      {"a corner, then Escape: the corner stays", "P 0 0;P 2000 1000;S 700 200;C 1200 600 =c;E", "", {"m2.ck.in="},
       "(700,200)-(1200,200) (1200,200)-(1200,600)"},
      {"corners in a straight line are merged", "P 0 0;P 3000 0;S 700 200;C 1500 200 =c;C 3000 200 =d",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"}, "(700,200)-(3000,200)"},
      {"a refused link after the join ends the tool and keeps the wire", "P 0 0;P 2000 0;L;S 700 200;C 2000 200 =f;l",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in="}, "(700,200)-(2000,200)"},
      {"while busy, no click may change the network", "P 0 0;P 2000 0;B;S 700 200;C 1200 600 =i;C 2000 200 =i;b;C 2000 200 =d",
       "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"}, "(700,200)-(2000,200)"},
      {"while busy, a wire is not deleted", one + ";B;X 1300 200;b", "link m2.ck.in=m1.CkPeriod.out", {"m2.ck.in=m1.CkPeriod.out"},
       "(700,200)-(2000,200)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.run(c.script);
    EXPECT_EQ(r.port.joined(), c.lines);
    for (const std::string& l : c.links) {
      const size_t eq = l.find('=');
      const std::string in = l.substr(0, eq), src = l.substr(eq + 1);
      EXPECT_EQ(r.port.console(in), src.empty() ? in : src) << l;
    }
    if (c.wires) {
      EXPECT_EQ(r.wires(), c.wires);
    }
    EXPECT_FALSE(r.edit.Drawing());
  }
}

TEST(SchEdit, RefusalsAreToldOnce) {
  Rig r;  // the refused link is logged with the engine's reason, after the tool has ended
  r.run("P 0 0;P 2000 0;L;S 700 200;C 2000 200 =f;l");
  EXPECT_EQ(r.port.warnings,
            std::vector<std::string>{"Error: cmd=link m2.ck.in=m1.CkPeriod.out, resp=The network cannot be changed while an acquisition runs"});
  EXPECT_EQ(r.doc.Wip().startObj, nullptr);
  // The kept wire is joined: a later link update reaches the input.
  r.port.lines.clear();
  EXPECT_TRUE(r.doc.LinkUpdate(r.doc.At(2)));
  EXPECT_EQ(r.port.console("m2.ck.in"), "m1.CkPeriod.out");
  // A busy refusal is the engine side's to tell; the edit sends nothing.
  r.run("B;S 2700 200;C 4000 200 =i;b");
  EXPECT_EQ(r.port.refusals, std::vector<std::string>{"busy"});
  EXPECT_EQ(r.port.warnings.size(), 1u);
}
