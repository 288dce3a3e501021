// KvPlot.Setup on the real shell and plot module: Load shows the active waveform and writes
// nothing, the step rules and refusals of each box, Auto disabling, selection limits, the
// colour dialog, the cursor sum, and the engine's notices.

#include <QCheckBox>
#include <QColorDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <memory>

#include "KvCtlLib/ToggleButton.h"
#include "ModPlot/gui/tests/PlotRig.h"
#include "desktop/Dialogs.h"

namespace {

bool near(double a, double b) { return b == 0 ? std::fabs(a) < 1e-15 : std::fabs(a - b) <= 1e-9 * std::fabs(b); }

bool tabShown(QTabWidget* t, const char* name) {
  for (int i = 0; i < t->count(); ++i)
    if (t->tabText(i) == name) return t->isTabVisible(i);
  return false;
}

}  // namespace

class SetupPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheActiveWaveformAndWritesNothing() {
    struct Case {
      const char* kind;
      const char* before;  // script run before the panel is shown
      int active;
      const char* caption;
    };
    const Case cases[] = {
        {"plot", "", 1, "p: ch1"},
        {"plot.8", "p.ch1.select = 5", 6, "p: ch6"},
        {"plot.3", "p.setup.title = \"Scope set-up\"", 1, "Scope set-up"},
    };
    for (const Case& c : cases) {
      PlotRig r;
      QCOMPARE(r.exec(std::string("load p = ") + c.kind), 0L);
      if (*c.before) QCOMPARE(r.exec(c.before), 0L);
      const std::string port = "ch" + std::to_string(c.active) + ".";
      for (const std::string& l : std::vector<std::string>{"p." + port + "vscale.auto = 0", "p." + port + "vscale = 0.2", "p." + port + "voffset = -1.5",
                                   "p." + port + "vposition = 0.4", "p.main.hscale.auto = 0", "p.main.hscale = 20u",
                                   "p.main.hoffset = 1m", "p.cursortype = 5", "p." + port + "color = 65280",
                                   "p." + port + "visible = 0"})
        QVERIFY2(r.exec(l) == 0, l.c_str());
      ChangeLog log(r.main->App());
      r.main->ShowPanel("p.setup");
      QWidget* s = r.find("p", "setup");
      QVERIFY(s);
      QCOMPARE(log.seen, std::vector<std::string>{});
      QCOMPARE(child<TextUpdown>(s, "txtSelect")->Text(), QString::number(c.active));
      QCOMPARE(r.hostOf(s)->windowTitle(), QString(c.caption));
      struct Shown {
        const char* box;
        std::string key;
      };
      for (const Shown& b : {Shown{"txtVScale", port + "vscale"}, Shown{"txtVOffset", port + "voffset"},
                             Shown{"txtVPosition", port + "vposition"}, Shown{"txtHScale", "main.hscale"},
                             Shown{"txtHOffset", "main.hoffset"}})
        QCOMPARE(child<TextUpdown>(s, b.box)->Text(), r.num(r.dbl("p", b.key)));
      QVERIFY(child<TextUpdown>(s, "txtVScale")->isEnabled());
      QVERIFY(!child<TextUpdown>(s, "txtVOffset")->isEnabled());  // its Auto is on by default
      QVERIFY(!child<QCheckBox>(s, "chkVScaleAuto")->isChecked());
      QVERIFY(child<QCheckBox>(s, "chkHOffsetAuto")->isChecked());
      QCOMPARE(child<ToggleButton>(s, "tglVisible")->Value(), 0);
      QVERIFY(child<QToolButton>(s, "vcur")->isChecked() && !child<QToolButton>(s, "hcur")->isChecked() &&
              child<QToolButton>(s, "pcur")->isChecked());
      auto* tabs = child<QTabWidget>(s, "tabSetup");
      QVERIFY(tabShown(tabs, "Vertical") && tabShown(tabs, "Horizontal"));
      QVERIFY(!tabShown(tabs, "Histo") && !tabShown(tabs, "FFT"));
      GuiStyle st{};
      dynamic_cast<IKvGui*>(s)->GetStyle(&st);
      QCOMPARE((std::vector<int>{st.bResizeable, st.bToolwnd, st.bDialog, st.bMaximize, st.bMinimize, st.bCloseable}),
               (std::vector<int>{0, 1, 0, 0, 0, 1}));
    }
  }

  void stepsCommitsAndReverts() {
    struct Case {
      const char* box;
      const char* key;
      const char* start;  // script value of key before the act
      int action;         // 0 up, 1 down, 2 commit, 3 revert
      const char* typed;  // typed first, or null
      double want;
    };
    const Case cases[] = {
        {"txtVScale", "ch1.vscale", "0.2", 0, nullptr, 0.5},
        {"txtVScale", "ch1.vscale", "0.5", 0, nullptr, 1},
        {"txtVScale", "ch1.vscale", "1", 1, nullptr, 0.5},
        {"txtVScale", "ch1.vscale", "2", 2, "50m", 0.05},
        // A scale of 0, below 0 or no number at all is refused; the box shows the kept one.
        {"txtVScale", "ch1.vscale", "2", 2, "0", 2},
        {"txtVScale", "ch1.vscale", "2", 2, "-5", 2},
        {"txtHScale", "main.hscale", "3m", 2, "0", 3e-3},
        {"txtVScale", "ch1.vscale", "2", 3, "7", 2},
        // Offsets step by a tenth of their scale (2 here; 1m horizontally).
        {"txtVOffset", "ch1.voffset", "1", 0, nullptr, 1.2},
        {"txtVOffset", "ch1.voffset", "0.1", 1, nullptr, -0.1},
        {"txtVPosition", "ch1.vposition", "0", 0, nullptr, 0.2},
        {"txtVPosition", "ch1.vposition", "0.2", 1, nullptr, 0},
        {"txtVPosition", "ch1.vposition", "1", 3, "3", 1},
        {"txtHScale", "main.hscale", "1m", 0, nullptr, 2e-3},
        {"txtHScale", "main.hscale", "1m", 1, nullptr, 500e-6},
        {"txtHOffset", "main.hoffset", "0", 0, nullptr, 100e-6},
        {"txtHOffset", "main.hoffset", "0", 1, nullptr, -100e-6},
    };
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    for (const char* l : {"p.ch1.vscale.auto = 0", "p.ch1.voffset.auto = 0", "p.main.hscale.auto = 0", "p.main.hoffset.auto = 0"})
      QCOMPARE(r.exec(l), 0L);
    for (const Case& c : cases) {
      QCOMPARE(r.exec("p.ch1.vscale = 2"), 0L);
      QCOMPARE(r.exec("p.main.hscale = 1m"), 0L);
      QCOMPARE(r.exec(std::string("p.") + c.key + " = " + c.start), 0L);
      auto* f = child<TextUpdown>(s, c.box);
      ChangeLog log(r.main->App());
      act(f, c.action, c.typed ? QString(c.typed) : QString());
      const std::string what = std::string(c.box) + " " + std::to_string(c.action) + " " + (c.typed ? c.typed : "");
      QVERIFY2(near(r.dbl("p", c.key), c.want), (what + " = " + std::to_string(r.dbl("p", c.key))).c_str());
      QCOMPARE(f->Text(), r.num(r.dbl("p", c.key)));
      if (c.action == 3) QVERIFY2(log.seen.empty(), what.c_str());
    }
  }

  void autoChecksDisableTheirBoxes() {
    struct Case {
      const char *check, *box, *flag;
    };
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    for (const Case& c : {Case{"chkVScaleAuto", "txtVScale", "ch1.vscale.auto"}, Case{"chkVOffsetAuto", "txtVOffset", "ch1.voffset.auto"},
                          Case{"chkHScaleAuto", "txtHScale", "main.hscale.auto"},
                          Case{"chkHOffsetAuto", "txtHOffset", "main.hoffset.auto"}}) {
      auto* box = child<QCheckBox>(s, c.check);
      auto* f = child<TextUpdown>(s, c.box);
      for (int on : {0, 1, 0}) {
        if (box->isChecked() != (on != 0)) box->click();
        QCOMPARE(r.lng("p", c.flag), on);
        QCOMPARE(f->isEnabled(), on == 0);
      }
      // The engine's change reaches the box too.
      QCOMPARE(r.exec(std::string("p.") + c.flag + " = 1"), 0L);
      QVERIFY(box->isChecked());
      QVERIFY(!f->isEnabled());
    }
  }

  void selectionIsLimited() {
    struct Case {
      int action;
      const char* typed;
      int active;
    };
    // On three ports, from 1.
    const Case cases[] = {{2, "5", 3}, {0, nullptr, 3}, {1, nullptr, 2}, {2, "0", 1}, {1, nullptr, 1},
                          {2, "-7", 1}, {0, nullptr, 2}, {3, "3", 2}, {2, "abc", 1}};
    PlotRig r;
    QWidget* s = r.setup("p", "plot.3");
    QVERIFY(s);
    QCOMPARE(r.exec("p.ch3.vscale.auto = 0"), 0L);
    QCOMPARE(r.exec("p.ch3.vscale = 5"), 0L);
    auto* sel = child<TextUpdown>(s, "txtSelect");
    for (const Case& c : cases) {
      act(sel, c.action, c.typed ? QString(c.typed) : QString());
      const std::string port = "ch" + std::to_string(c.active);
      QCOMPARE(sel->Text(), QString::number(c.active));
      // The component knows the active waveform, and the boxes show its values.
      QCOMPARE(r.lng("p", "ch1.select"), c.active - 1);
      QCOMPARE(child<TextUpdown>(s, "txtVScale")->Text(), r.num(r.dbl("p", port + ".vscale")));
      QCOMPARE(r.hostOf(s)->windowTitle(), QString::fromStdString("p: " + port));
    }
  }

  void colourDialog() {
    struct Case {
      int answer;      // what the dialog returns
      QColor chosen;   // what it holds then
      int32_t stored;  // p.ch1.color after
      bool written;
    };
    const int32_t start = 255;  // red
    const Case cases[] = {
        {QDialog::Accepted, QColor(1, 2, 3), 1 + 256 * 2 + 65536 * 3, true},
        {QDialog::Rejected, QColor(9, 9, 9), start, false},
        {QDialog::Accepted, QColor(255, 0, 0), start, false},  // the same colour: nothing to write
    };
    for (const Case& c : cases) {
      PlotRig r;
      QWidget* s = r.setup();
      QVERIFY(s);
      QCOMPARE(r.exec("p.ch1.color = " + std::to_string(start)), 0L);
      QColor preset;
      CDialogs::Get().SetModalHook([&](QDialog& d) {
        auto* cd = qobject_cast<QColorDialog*>(&d);
        if (!cd) return int(QDialog::Rejected);
        preset = cd->currentColor();
        cd->setCurrentColor(c.chosen);
        return c.answer;
      });
      ChangeLog log(r.main->App());
      child<QPushButton>(s, "cmdColor")->click();
      CDialogs::Get().SetModalHook({});
      QCOMPARE(preset, QColor(255, 0, 0));
      QCOMPARE(r.lng("p", "ch1.color"), c.stored);
      QCOMPARE(std::find(log.seen.begin(), log.seen.end(), "p.ch1.color") != log.seen.end(), c.written);
      QVERIFY(r.log().find("130005") == std::string::npos);
    }
  }

  void cursorsAndVisibility() {
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    auto* v = child<QToolButton>(s, "vcur");
    auto* h = child<QToolButton>(s, "hcur");
    auto* pc = child<QToolButton>(s, "pcur");
    struct Case {
      QToolButton* click;
      int32_t sum;
    };
    for (const Case& c : {Case{v, 1}, Case{pc, 5}, Case{h, 7}, Case{v, 6}, Case{pc, 2}, Case{h, 0}}) {
      c.click->click();
      QCOMPARE(r.lng("p", "cursortype"), c.sum);
    }
    QCOMPARE(r.exec("p.cursortype = 6"), 0L);
    QVERIFY(!v->isChecked() && h->isChecked() && pc->isChecked());
    auto* t = child<ToggleButton>(s, "tglVisible");
    QCOMPARE(t->Value(), r.lng("p", "ch1.visible"));
    t->click();
    QCOMPARE(r.lng("p", "ch1.visible"), t->Value());
    QCOMPARE(r.exec("p.ch1.visible = 1"), 0L);
    QCOMPARE(t->Value(), 1);
  }

  void notices() {
    struct Case {
      const char* line;
      const char* box;  // the box that must show the key's new value, or null
      const char* key;
      bool changes;     // whether the box's text changes
    };
    const Case cases[] = {
        {"p.main.hscale = 5m", "txtHScale", "main.hscale", true},
        {"p.main.hoffset = 2m", "txtHOffset", "main.hoffset", true},
        {"p.ch1.vscale = 0.05", "txtVScale", "ch1.vscale", true},
        {"p.ch1.vposition = -2", "txtVPosition", "ch1.vposition", true},
        // Names as the user types them: the component tells them in its own case.
        {"p.CH1.VScale = 0.02", "txtVScale", "ch1.vscale", true},
        // Another waveform's or another component's change leaves the boxes alone.
        {"p.ch2.vscale = 20", "txtVScale", "ch1.vscale", false},
        {"q.ch1.vscale = 20", "txtVScale", "ch1.vscale", false},
    };
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    QCOMPARE(r.exec("load q = plot"), 0L);
    for (const char* l : {"p.ch1.vscale.auto = 0", "p.ch2.vscale.auto = 0", "q.ch1.vscale.auto = 0", "p.main.hscale.auto = 0", "p.main.hoffset.auto = 0"})
      QCOMPARE(r.exec(l), 0L);
    for (const Case& c : cases) {
      auto* f = child<TextUpdown>(s, c.box);
      const QString before = f->Text();
      QVERIFY2(r.exec(c.line) == 0, c.line);
      QCOMPARE(f->Text(), r.num(r.dbl("p", c.key)));
      QVERIFY2((f->Text() != before) == c.changes, c.line);
    }
    // The histogram's page follows the mode; its box writes the bins.
    auto* tabs = child<QTabWidget>(s, "tabSetup");
    QCOMPARE(r.exec("p.mode = 2"), 0L);
    QVERIFY(tabShown(tabs, "Histo"));
    act(child<TextUpdown>(s, "txtBins"), 2, "250");
    QCOMPARE(r.lng("p", "histo.bins"), 250);
    act(child<TextUpdown>(s, "txtBins"), 2, "0");
    QCOMPARE(r.lng("p", "histo.bins"), 250);
    QCOMPARE(r.exec("p.mode = 0"), 0L);
    QVERIFY(!tabShown(tabs, "Histo") && !tabShown(tabs, "FFT"));
  }

  void faultsReportTheirHandlerNumbers() {
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    // Loaded for a component that is not there: Load's own number, and the panel goes on.
    r.reload(s, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 130002/") != std::string::npos, r.log().c_str());
    const std::pair<const char*, const char*> fields[] = {
        {"txtSelect", "130004"}, {"txtVScale", "130007"}, {"txtVOffset", "130008"}, {"txtVPosition", "130009"},
        {"txtHScale", "130012"}, {"txtHOffset", "130013"}, {"txtBins", "130019"},
    };
    for (const auto& [name, number] : fields) {
      act(child<TextUpdown>(s, name), 2, "1");
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, name);
    }
    const std::pair<const char*, const char*> clicks[] = {{"chkVScaleAuto", "130014"}, {"chkVOffsetAuto", "130015"},
                                                          {"chkHScaleAuto", "130016"}, {"chkHOffsetAuto", "130017"},
                                                          {"vcur", "130018"}};
    for (const auto& [name, number] : clicks) {
      child<QAbstractButton>(s, name)->click();
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, name);
    }
    // Back on the real component it works again.
    r.reload(s, "p");
    act(child<TextUpdown>(s, "txtVPosition"), 2, "1.5");
    QCOMPARE(r.dbl("p", "ch1.vposition"), 1.5);
  }
};

KV_QTEST(SetupPanelTests)
#include "SetupPanelTests.moc"
