// The control's engine port and undo on the real engine behind a whole main window: the lines
// it sends and the refusals it reports, the busy refusal, the inverses it journals, and every
// editing step undone and redone leaving the components, links, settings and drawing as they
// were.

#include <QUndoStack>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "KvSch/SchEdit.h"
#include "KvSch/ctl/SchPort.h"
#include "KvSch/ctl/SchUndo.h"
#include "desktop/tests/DesktopRig.h"

namespace {

// meas.ckperiod: pin 1 ck.in meets wires at (0,200), pin 2 CkPeriod.out at (700,200).
// meas.all: pin 1 dt.in at (0,200), pin 2 ck.in at (0,300), pin 3 ctl.in at (0,400).
struct Rig {
  DesktopRig desk;
  CSchAppPort port;
  CSchDoc doc;
  CSchEdit edit{doc};
  CSchUndo undo{doc, port};

  Rig() {
    port.Attach(desk.main->App());
    port.SetDoc(&doc);
    doc.SetEngine(&port);
    doc.MakeCurrent();
  }
  ~Rig() { doc.SetEngine(nullptr); }

  IApp* app() const { return desk.main->App(); }
  std::string ask(const std::string& line) {
    std::string a;
    long r = -1;
    app()->Execute(line, &a, &r);
    return r == 0 ? a : "refused: " + a;
  }
  // The log written since the last call.
  std::string newLog() {
    const std::string all = desk.log();
    const std::string fresh = all.size() >= seen ? all.substr(seen) : all;
    seen = all.size();
    return fresh;
  }
  // Everything undo must give back: the components, every input's source, the settings
  // listing and the drawing's text. A component loaded again comes last in the engine's
  // list, so the engine's lines are compared in sorted order.
  std::string snapshot() {
    std::vector<std::string> lines;
    long n = 0;
    app()->get_CompCount(&n);
    for (long c = 0; c < n; ++c) {
      std::string label, lib;
      app()->get_CompLabel(c, &label);
      app()->get_CompName(c, &lib);
      lines.push_back(label + "=" + lib);
      const std::string ports = ask(label + ".iports");
      for (const char* p : {"ck.in", "dt.in", "ctl.in"})
        if (ports.find(p) != std::string::npos) lines.push_back(label + "." + p + "<-" + ask(label + "." + p));
    }
    const std::string state = ask("sys.state");
    for (size_t a = 0, b; a < state.size(); a = b + 2) {
      b = std::min(state.find("\r\n", a), state.size());
      lines.push_back(state.substr(a, b - a));
    }
    std::sort(lines.begin(), lines.end());
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s + "--\n" + doc.SaveState().GetBfr();
  }
  CSchMod* comp(const char* name) {
    for (int32_t i = 0; i < doc.Count(); ++i)
      if (doc.At(i)->Kind() == skMod && static_cast<CSchMod*>(doc.At(i))->CompName() == name)
        return static_cast<CSchMod*>(doc.At(i));
    return nullptr;
  }
  void selectOnly(CSchObj* o) {
    doc.SelectAll(false);
    if (o) o->Select(true);
  }
  bool wire(std::vector<SchPoint> clicks) {
    if (!edit.StartWire(clicks.front())) return false;
    CSchEdit::Click c = CSchEdit::clIgnored;
    for (size_t i = 1; i < clicks.size(); ++i) {
      edit.StretchWire(clicks[i]);
      c = edit.ClickWire(clicks[i]);
    }
    return c == CSchEdit::clDone;
  }

  size_t seen = 0;
};

// The first line where two snapshots differ, for the failure message.
std::string FirstDifference(const std::string& got, const std::string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  const size_t from = got.rfind('\n', i) == std::string::npos ? 0 : got.rfind('\n', i) + 1;
  return "got: " + got.substr(from, 120) + "\nwant: " + want.substr(from, 120);
}

}  // namespace

class UndoTests : public QObject {
  Q_OBJECT

 private slots:
  void portSendsLinesAndReportsRefusals() {
    Rig r;
    r.newLog();
    struct Case {
      std::string line;
      bool ok;
      std::string report;  // the log line expected; empty: nothing logged
    } cases[] = {
        {"load m1=meas.ckperiod", true, ""},
        {"load m2=meas.all", true, ""},
        {"load m1=meas.all", false, "Error: cmd=load m1=meas.all, resp=Component already exists \"m1\""},
        {"load m3=nomod.x", false, "Error: cmd=load m3=nomod.x, resp=Mod not found \"nomod.x\""},
        {"link m2.ck.in=m1.CkPeriod.out", true, ""},
        // The wiring tells a refused link itself, once its tool has ended.
        {"link m2.ck.in=m1.nothing.out", false, ""},
        {"unlink m9.ck.in", false, "Error: cmd=unlink m9.ck.in, resp=Variable not found \"m9\""},
        {"unload m9", false, "Error: cmd=unload m9, resp=Variable not found m9"},
        {"m2.gui.names", true, ""},
    };
    for (const Case& c : cases) {
      CStr answer;
      QVERIFY2(r.port.Send(c.line, &answer) == c.ok, c.line.c_str());
      const std::string log = r.newLog();
      if (c.report.empty())
        QVERIFY2(log.find("Error: cmd=") == std::string::npos, (c.line + " logged " + log).c_str());
      else
        QVERIFY2(log.find(c.report) != std::string::npos, (c.line + " logged " + log).c_str());
    }
    QCOMPARE(r.ask("m2.ck.in"), std::string("m1.CkPeriod.out"));
    CStr symbol;
    QVERIFY(r.port.Send("m1.symbol", &symbol));
    QVERIFY(std::string(symbol.GetBfr()).find("opin,600,200,100,,2,CkPeriod.out") != std::string::npos);

    // A component without panels is told so in a message box.
    QCOMPARE(r.ask("load t1=test.src"), std::string());
    CSchMod t1;
    t1.SetNames("test.src", "t1");
    CDialogs::Get().ClearShown();
    r.port.OpenPanels(t1);
    QCOMPARE(CDialogs::Get().Shown(), std::vector<std::string>{"Mod doesn't have any GUIs"});

    for (const char* n : {"m1", "M2"}) QVERIFY2(r.port.Exists(n), n);
    QVERIFY(!r.port.Exists("m3"));

    // Without the engine's references nothing reaches it and every line is refused.
    r.port.Attach(nullptr);
    QVERIFY(!r.port.Send("load m5=meas.ckperiod", nullptr) && !r.port.Attached());
    r.port.Attach(r.app());
    QVERIFY(!r.port.Exists("m5") && r.port.Exists("m1"));
  }

  void journalKeepsTheInverses() {
    Rig r;
    for (const char* l : {"load m1=meas.ckperiod", "load m2=meas.ckperiod", "load m3=meas.all", "load m6=meas.ckperiod",
                          "load t1=test.src", "m3.trigin=t1.trg", "m3.ck.in=m1.CkPeriod.out", "m3.dt.in=m2.CkPeriod.out", "m3.ckperiod.on=0"})
      QCOMPARE(r.ask(l).rfind("refused", 0), std::string::npos);
    // A component the drawing holds gives its function name; one loaded in the console is
    // found in the command list.
    r.edit.Place("meas.all", {5000, 5000});
    QVERIFY(r.comp("m1") == nullptr && r.comp("m4"));
    struct Case {
      std::string line;
      std::vector<std::string> head;  // the inverse begins with these
      std::vector<std::string> has;   // and holds these
      bool ok = true;
    } cases[] = {
        {"link m2.ck.in=m1.CkPeriod.out", {"unlink m2.ck.in"}, {}},
        {"link m2.ck.in=m6.CkPeriod.out", {"link m2.ck.in=m1.CkPeriod.out"}, {}},
        {"unlink m2.ck.in", {"link m2.ck.in=m6.CkPeriod.out"}, {}},
        {"unlink m2.ck.in", {}, {}},
        {"load m5=meas.ckperiod", {"unload m5"}, {}},
        {"unload m2", {"load m2=meas.ckperiod"}, {"link m3.dt.in=m2.CkPeriod.out"}},
        {"unload t1", {"load t1=test.src"}, {"link m3.trigin=t1.trg"}},
        {"unload m3", {"load m3=meas.all"}, {"m3.ckperiod.on=0", "link m3.ck.in=m1.CkPeriod.out"}},
        {"unload m4", {"load m4=meas.all"}, {}},
        // Refused lines are not kept.
        {"unload m3", {}, {}, false},
    };
    for (const Case& c : cases) {
      std::vector<CSchAppPort::Step> journal;
      r.port.Record(&journal);
      const bool sent = r.port.Send(c.line, nullptr);
      r.port.Record(nullptr);
      if (!c.ok) {
        QVERIFY2(!sent && journal.empty(), c.line.c_str());
        continue;
      }
      QVERIFY2(sent && journal.size() == 1 && journal[0].forward == c.line, c.line.c_str());
      const std::vector<std::string>& inv = journal[0].inverse;
      QVERIFY2(inv.size() >= c.head.size() && std::equal(c.head.begin(), c.head.end(), inv.begin()), c.line.c_str());
      if (c.head.empty()) QVERIFY2(inv.empty(), c.line.c_str());
      for (const std::string& h : c.has)
        QVERIFY2(std::find(inv.begin(), inv.end(), h) != inv.end(), (c.line + ": " + h).c_str());
    }
    // A load taken back at once (no symbol) leaves nothing to undo.
    std::vector<CSchAppPort::Step> journal;
    r.port.Record(&journal);
    QVERIFY(r.port.Send("load m7=meas.ckperiod", nullptr) && r.port.Send("unload m7", nullptr));
    r.port.Record(nullptr);
    QVERIFY(journal.empty());
  }

  void everyStepUndoesAndRedoes() {
    Rig r;
    // The drawing starts with m1, whose setting was changed in the console: deleting it
    // must bring that back.
    QVERIFY(r.edit.Place("meas.ckperiod", {1000, 1000}));
    r.ask("m1.ckperiod.on=0");
    struct Action {
      const char* name;
      std::function<void(Rig&)> run;
      bool pushes;
    };
    // Deletes the components named, or everything when none are.
    auto deleting = [](std::vector<const char*> comps) {
      return [comps](Rig& x) {
        x.doc.SelectAll(comps.empty());
        for (const char* c : comps) x.comp(c)->Select(true);
        QVERIFY(x.edit.DeleteSelection());
      };
    };
    const std::vector<Action> actions = {
        // Set on its panel once placed: a redo brings that back.
        {"place m2",
         [](Rig& x) {
           QVERIFY(x.edit.Place("meas.all", {3000, 1000}));
           x.ask("m2.dt.skew=1.25e-9");
         },
         true},
        {"place m3", [](Rig& x) { QVERIFY(x.edit.Place("meas.all", {3000, 3000})); }, true},
        {"nothing changes", [](Rig&) {}, false},
        {"wire m1 out to m2 ck", [](Rig& x) { QVERIFY(x.wire({{1700, 1200}, {3000, 1300}})); }, true},
        {"wire m3 dt with a corner into that wire",
         [](Rig& x) { QVERIFY(x.wire({{3000, 3200}, {2300, 2500}, {2300, 1200}})); },
         true},
        {"move m3",
         [](Rig& x) {
           x.selectOnly(x.comp("m3"));
           x.edit.MoveSelection({400, 200});
           x.edit.CleanUp();
         },
         true},
        {"delete m2 (a link into it)", deleting({"m2"}), true},
        // m3 goes first, taking the link between them; m1 then has its settings to restore.
        {"delete m1 and m3 together", deleting({"m1", "m3"}), true},
        {"delete everything", deleting({}), true},
    };
    std::vector<std::string> snaps{r.snapshot()}, names{""};
    for (const Action& a : actions) {
      const int before = r.undo.Stack()->count();
      r.undo.Begin();
      a.run(r);
      r.undo.End(a.name);
      QVERIFY2(r.undo.Stack()->count() == before + (a.pushes ? 1 : 0), a.name);
      if (a.pushes) snaps.push_back(r.snapshot()), names.push_back(a.name);
    }
    // The steps did what they say: m3's data input follows m1's output through the split.
    QVERIFY(snaps[0].find("m1.ckperiod.on=0") != std::string::npos);
    QVERIFY2(snaps[4].find("m3.dt.in<-m1.CkPeriod.out") != std::string::npos, snaps[4].c_str());
    QVERIFY(snaps[4].find("m2.ck.in<-m1.CkPeriod.out") != std::string::npos);
    QVERIFY(snaps[7].find("m3=") == std::string::npos && snaps[7].find("Mod,") == std::string::npos);
    QCOMPARE(snaps.size(), size_t(9));

    const int n = static_cast<int>(snaps.size()) - 1;
    for (int round = 0; round < 2; ++round) {
      for (int i = n; i > 0; --i) {
        QVERIFY2(r.undo.Undo(), (names[i] + r.newLog()).c_str());
        const std::string s = r.snapshot();
        QVERIFY2(s == snaps[i - 1], ("undo " + names[i] + "\n" + FirstDifference(s, snaps[i - 1])).c_str());
      }
      QVERIFY(!r.undo.Undo());
      for (int i = 1; i <= n; ++i) {
        QVERIFY(r.undo.Redo());
        const std::string s = r.snapshot();
        QVERIFY2(s == snaps[i], ("redo " + names[i] + "\n" + FirstDifference(s, snaps[i])).c_str());
      }
      QVERIFY(!r.undo.Redo());
    }
    QVERIFY(r.newLog().find("Error: cmd=") == std::string::npos);
    r.undo.Clear();
    QVERIFY(!r.undo.Undo() && !r.undo.Stack()->canUndo());
  }

  void busyRefusesNetworkChangesNotMoves() {
    Rig r;
    r.undo.Begin();
    QVERIFY(r.edit.Place("meas.ckperiod", {1000, 1000}));
    r.undo.End("place");
    r.undo.Begin();
    r.selectOnly(r.comp("m1"));
    r.edit.MoveSelection({200, 0});
    r.undo.End("move");
    const std::string moved = r.snapshot();
    r.newLog();

    long handle = 0;
    r.app()->SetBusy(&handle);
    QVERIFY(!r.port.MayChange());
    QVERIFY(!r.edit.Place("meas.ckperiod", {3000, 1000}));
    QVERIFY(!r.port.Exists("m2"));
    // Nor does a forced clear unload anything under the running acquisition.
    QVERIFY(!r.port.Send("unload m1", nullptr) && !r.port.Send("link m1.ck.in=m1.CkPeriod.out", nullptr));
    QVERIFY(r.port.Exists("m1"));
    // The move undoes and redoes; the placing waits for the acquisition.
    QVERIFY(r.undo.Undo());
    QVERIFY(!r.undo.Undo());
    QVERIFY(r.port.Exists("m1") && r.comp("m1"));
    QVERIFY(r.undo.Redo());
    QCOMPARE(r.snapshot(), moved);
    const std::string log = r.newLog();
    const std::string busy = "The network cannot be changed while an acquisition runs";
    QVERIFY2(log.find(busy) != std::string::npos, log.c_str());
    r.app()->SetBusyNot(handle);

    QVERIFY(r.port.MayChange());
    QVERIFY(r.newLog().find(busy) == std::string::npos);

    // The same while a pass of a real acquisition runs.
    PassCounter passes(r.app());
    bool placed = true, moveUndone = false, placeUndone = true;
    passes.onBefore = [&] {
      placed = r.edit.Place("meas.ckperiod", {3000, 1000}) != nullptr;
      moveUndone = r.undo.Undo();
      placeUndone = r.undo.Undo();
    };
    long pending = 0;
    r.app()->run(1, &pending);
    QVERIFY(r.desk.waitFor([&] { return passes.idle >= 1; }));
    QVERIFY(passes.before == 1 && !placed && moveUndone && !placeUndone && r.port.Exists("m1"));
    QVERIFY(r.newLog().find(busy) != std::string::npos);
    QVERIFY(r.undo.Undo());
    QVERIFY(!r.port.Exists("m1") && r.doc.Count() == 0);
  }

  void refusedInverseStopsAndIsLogged() {
    Rig r;
    r.undo.Begin();
    QVERIFY(r.edit.Place("meas.ckperiod", {1000, 1000}));
    r.undo.End("place");
    r.ask("m1.ckperiod.on=0");
    r.undo.Begin();
    r.selectOnly(r.comp("m1"));
    QVERIFY(r.edit.DeleteSelection());
    r.undo.End("delete");
    QVERIFY(!r.port.Exists("m1"));
    // The console takes the name meanwhile: loading it back is refused, its settings are
    // not sent to the stranger, and the drawing does not take the stranger for its own.
    r.ask("load m1=meas.all");
    r.newLog();
    QVERIFY(!r.undo.Undo());
    const std::string log = r.newLog();
    QVERIFY2(log.find("Error: cmd=load m1=meas.ckperiod, resp=Component already exists \"m1\"") != std::string::npos,
             log.c_str());
    QCOMPARE(r.ask("m1.ckperiod.on"), std::string("1"));
    QVERIFY(r.comp("m1") && !r.comp("m1")->IsLoaded() && r.comp("m1")->PinCount() == 0);
    // Nothing more is replayed (a redo would unload it), nor does deleting it.
    QVERIFY(!r.undo.Redo() && !r.undo.Undo());
    r.doc.SelectAll(true);
    QVERIFY(r.edit.DeleteSelection() && r.doc.Count() == 0);
    QVERIFY(r.port.Exists("m1"));
  }
};

#include "UndoTests.moc"
KV_QTEST(UndoTests)
