// KvPlot.Setup on the real shell and plot module: Load shows the active waveform and writes
// nothing, the step rules and refusals of each box, Auto disabling, selection limits, the
// colour dialog, the cursor sum, the engine's notices and fault numbers.

#include <QCheckBox>
#include <QComboBox>
#include <QColorDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <cmath>

#include "KvCtlLib/ToggleButton.h"
#include "ModPlot/gui/tests/PlotRig.h"
#include "desktop/Dialogs.h"
#include "desktop/RunControl.h"

namespace {

bool near(double a, double b) { return b == 0 ? std::fabs(a) < 1e-15 : std::fabs(a - b) <= 1e-9 * std::fabs(b); }

bool tabShown(QWidget* s, const char* name) {
  auto* t = child<QTabWidget>(s, "tabSetup");
  for (int i = 0; i < t->count(); ++i)
    if (t->tabText(i) == name) return t->isTabVisible(i);
  return false;
}

QString text(QWidget* s, const char* box) { return child<TextUpdown>(s, box)->Text(); }

}  // namespace

class SetupPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheActiveWaveformAndWritesNothing() {
    struct Case {
      const char *kind, *before;  // script run before the panel is shown
      int active;
      const char* caption;
    };
    for (const Case& c : {Case{"plot", "", 1, "p: ch1"}, Case{"plot.8", "p.ch1.select = 5", 6, "p: ch6"},
                          Case{"plot.3", "p.setup.title = \"Scope set-up\"", 1, "Scope set-up"}}) {
      PlotRig r;
      QCOMPARE(r.exec(std::string("load p = ") + c.kind), 0L);
      if (*c.before) QCOMPARE(r.exec(c.before), 0L);
      const std::string w = "p.ch" + std::to_string(c.active) + ".";
      for (const std::string& l : std::vector<std::string>{w + "vscale.auto = 0", w + "vscale = 0.2", w + "voffset = -1.5",
                                                           w + "vposition = 0.4", "p.main.hscale.auto = 0", "p.main.hscale = 20u",
                                                           "p.main.hoffset = 1m", "p.cursortype = 5", w + "visible = 0"})
        QVERIFY2(r.exec(l) == 0, l.c_str());
      ChangeLog log(r.main->App());
      QWidget* s = r.open("p", "setup");
      QVERIFY(s);
      QCOMPARE(log.seen, std::vector<std::string>{});
      QCOMPARE(text(s, "txtSelect"), QString::number(c.active));
      QCOMPARE(r.hostOf(s)->windowTitle(), QString(c.caption));
      const std::string k = w.substr(2);
      for (const auto& [box, key] : {std::pair{"txtVScale", k + "vscale"}, {"txtVOffset", k + "voffset"}, {"txtVPosition", k + "vposition"},
                                     {"txtHScale", std::string("main.hscale")}, {"txtHOffset", std::string("main.hoffset")}})
        QCOMPARE(text(s, box), r.num(r.dbl("p", key)));
      // A box is open exactly while its Auto is clear (the offsets' are on by default).
      QVERIFY(child<TextUpdown>(s, "txtVScale")->isEnabled() && !child<TextUpdown>(s, "txtVOffset")->isEnabled());
      QVERIFY(child<TextUpdown>(s, "txtHScale")->isEnabled() && !child<TextUpdown>(s, "txtHOffset")->isEnabled());
      QCOMPARE(child<ToggleButton>(s, "tglVisible")->Value(), 0);
      QVERIFY(child<QToolButton>(s, "vcur")->isChecked() && !child<QToolButton>(s, "hcur")->isChecked() &&
              child<QToolButton>(s, "pcur")->isChecked());
      QVERIFY(tabShown(s, "Vertical") && tabShown(s, "Horizontal") && !tabShown(s, "Histo") && !tabShown(s, "FFT"));
      GuiStyle st{};
      dynamic_cast<IKvGui*>(s)->GetStyle(&st);
      QCOMPARE((std::vector<int>{st.bResizeable, st.bToolwnd, st.bDialog, st.bMaximize, st.bMinimize, st.bCloseable}),
               (std::vector<int>{0, 1, 0, 0, 0, 1}));
    }
  }

  void stepsCommitsAndReverts() {
    struct Case {
      const char *box, *key, *start;  // script value of key before the act
      int action;                     // 0 up, 1 down, 2 commit, 3 revert
      const char* typed;              // typed first, or null
      double want;
    };
    const Case cases[] = {
        {"txtVScale", "ch1.vscale", "0.2", 0, nullptr, 0.5}, {"txtVScale", "ch1.vscale", "0.5", 0, nullptr, 1},
        {"txtVScale", "ch1.vscale", "1", 1, nullptr, 0.5},   {"txtVScale", "ch1.vscale", "2", 2, "50m", 0.05},
        // A scale of 0, below 0 or no number is refused; the box shows the kept one.
        {"txtVScale", "ch1.vscale", "2", 2, "0", 2},         {"txtVScale", "ch1.vscale", "2", 2, "-5", 2},
        {"txtHScale", "main.hscale", "3m", 2, "x", 3e-3},    {"txtVScale", "ch1.vscale", "2", 3, "7", 2},
        // Offsets step by a tenth of their scale (2 vertically, 1m horizontally); positions by 0.2.
        {"txtVOffset", "ch1.voffset", "1", 0, nullptr, 1.2}, {"txtVOffset", "ch1.voffset", "0.1", 1, nullptr, -0.1},
        {"txtVPosition", "ch1.vposition", "0", 0, nullptr, 0.2}, {"txtVPosition", "ch1.vposition", "0.2", 1, nullptr, 0},
        {"txtVPosition", "ch1.vposition", "1", 3, "3", 1},   {"txtHScale", "main.hscale", "1m", 0, nullptr, 2e-3},
        {"txtHScale", "main.hscale", "1m", 1, nullptr, 500e-6}, {"txtHOffset", "main.hoffset", "0", 0, nullptr, 100e-6},
        {"txtHOffset", "main.hoffset", "0", 1, nullptr, -100e-6},
    };
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    for (const char* l : {"p.ch1.vscale.auto = 0", "p.ch1.voffset.auto = 0", "p.main.hscale.auto = 0", "p.main.hoffset.auto = 0"})
      QCOMPARE(r.exec(l), 0L);
    for (const Case& c : cases) {
      for (const std::string& l : std::vector<std::string>{"p.ch1.vscale = 2", "p.main.hscale = 1m", std::string("p.") + c.key + " = " + c.start})
        QCOMPARE(r.exec(l), 0L);
      ChangeLog log(r.main->App());
      act(child<TextUpdown>(s, c.box), c.action, c.typed ? QString(c.typed) : QString());
      const std::string what = std::string(c.box) + " " + std::to_string(c.action) + " " + (c.typed ? c.typed : "");
      QVERIFY2(near(r.dbl("p", c.key), c.want), what.c_str());
      QCOMPARE(text(s, c.box), r.num(r.dbl("p", c.key)));
      if (c.action == 3) QVERIFY2(log.seen.empty(), what.c_str());
    }
  }

  void autoChecksSelectionAndCursors() {
    PlotRig r;
    QWidget* s = r.setup("p", "plot.3");
    QVERIFY(s);
    for (const auto& [check, box, flag] : {std::tuple{"chkVScaleAuto", "txtVScale", "ch1.vscale.auto"},
                                           {"chkVOffsetAuto", "txtVOffset", "ch1.voffset.auto"},
                                           {"chkHScaleAuto", "txtHScale", "main.hscale.auto"},
                                           {"chkHOffsetAuto", "txtHOffset", "main.hoffset.auto"}}) {
      for (int on : {0, 1, 0}) {
        if (child<QCheckBox>(s, check)->isChecked() != (on != 0)) child<QCheckBox>(s, check)->click();
        QCOMPARE(r.lng("p", flag), on);
        QCOMPARE(child<TextUpdown>(s, box)->isEnabled(), on == 0);
      }
      QCOMPARE(r.exec(std::string("p.") + flag + " = 1"), 0L);  // the engine's change reaches the box too
      QVERIFY(child<QCheckBox>(s, check)->isChecked() && !child<TextUpdown>(s, box)->isEnabled());
    }
    // Selecting on three ports, from 1: limited to 1..3; the component is told each time.
    QCOMPARE(r.exec("p.ch3.vscale.auto = 0"), 0L);
    QCOMPARE(r.exec("p.ch3.vscale = 5"), 0L);
    struct Sel {
      int action;
      const char* typed;
      int active;
    };
    for (const Sel& c : {Sel{2, "5", 3}, Sel{0, nullptr, 3}, Sel{1, nullptr, 2}, Sel{2, "0", 1}, Sel{1, nullptr, 1},
                         Sel{2, "-7", 1}, Sel{0, nullptr, 2}, Sel{3, "3", 2}, Sel{2, "abc", 1}, Sel{2, "3", 3}}) {
      act(child<TextUpdown>(s, "txtSelect"), c.action, c.typed ? QString(c.typed) : QString());
      const std::string port = "ch" + std::to_string(c.active);
      QCOMPARE(text(s, "txtSelect"), QString::number(c.active));
      QCOMPARE(r.lng("p", "ch1.select"), c.active - 1);
      QCOMPARE(text(s, "txtVScale"), r.num(r.dbl("p", port + ".vscale")));
      QCOMPARE(r.hostOf(s)->windowTitle(), QString::fromStdString("p: " + port));
    }
    // Cursor buttons write their sum; the engine's value sets them.
    auto* v = child<QToolButton>(s, "vcur");
    auto* h = child<QToolButton>(s, "hcur");
    auto* pc = child<QToolButton>(s, "pcur");
    for (const auto& [b, sum] : {std::pair{v, 1}, {pc, 5}, {h, 7}, {v, 6}, {pc, 2}, {h, 0}}) {
      b->click();
      QCOMPARE(r.lng("p", "cursortype"), sum);
    }
    QCOMPARE(r.exec("p.cursortype = 6"), 0L);
    QVERIFY(!v->isChecked() && h->isChecked() && pc->isChecked());
  }

  void colourAndVisibility() {
    struct Case {
      int answer;      // what the dialog returns
      QColor chosen;   // what it holds then
      int32_t stored;  // p.ch1.color after (from red)
    };
    for (const Case& c : {Case{QDialog::Accepted, QColor(1, 2, 3), 1 + 256 * 2 + 65536 * 3}, Case{QDialog::Rejected, QColor(9, 9, 9), 255},
                          Case{QDialog::Accepted, QColor(255, 0, 0), 255}}) {
      PlotRig r;
      QWidget* s = r.setup();
      QVERIFY(s);
      QCOMPARE(r.exec("p.ch1.color = 255"), 0L);  // a notice: the button's colour follows
      QColor preset;
      CDialogs::Get().SetModalHook([&](QDialog& d) {
        auto* cd = qobject_cast<QColorDialog*>(&d);
        preset = cd ? cd->currentColor() : QColor();
        if (cd) cd->setCurrentColor(c.chosen);
        return c.answer;
      });
      ChangeLog log(r.main->App());
      child<QPushButton>(s, "cmdColor")->click();
      CDialogs::Get().SetModalHook({});
      QCOMPARE(preset, QColor(255, 0, 0));
      QCOMPARE(r.lng("p", "ch1.color"), c.stored);
      // Written only when the colour changed; a cancel says nothing.
      QCOMPARE(log.seen.size(), size_t{c.stored != 255 ? 1u : 0u});
      QVERIFY(r.log().find("130005") == std::string::npos);
      auto* t = child<ToggleButton>(s, "tglVisible");
      t->click();
      QCOMPARE(r.lng("p", "ch1.visible"), t->Value());
      QCOMPARE(r.exec("p.ch1.visible = 1"), 0L);
      QCOMPARE(t->Value(), 1);
    }
  }

  void notices() {
    struct Case {
      const char *line, *box, *key;
      bool changes;  // whether the box's text changes
    };
    const Case cases[] = {
        {"p.main.hscale = 5m", "txtHScale", "main.hscale", true},
        {"p.main.hoffset = 2m", "txtHOffset", "main.hoffset", true},
        {"p.ch1.vposition = -2", "txtVPosition", "ch1.vposition", true},
        {"p.CH1.VScale = 0.02", "txtVScale", "ch1.vscale", true},  // names in the user's case
        // Another waveform's or another component's change leaves the boxes alone.
        {"p.ch2.vscale = 20", "txtVScale", "ch1.vscale", false},
        {"q.ch1.vscale = 20", "txtVScale", "ch1.vscale", false},
    };
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    QCOMPARE(r.exec("load q = plot"), 0L);
    for (const char* l : {"p.ch1.vscale.auto = 0", "p.ch2.vscale.auto = 0", "q.ch1.vscale.auto = 0", "p.main.hscale.auto = 0",
                          "p.main.hoffset.auto = 0"})
      QCOMPARE(r.exec(l), 0L);
    for (const Case& c : cases) {
      const QString before = text(s, c.box);
      QVERIFY2(r.exec(c.line) == 0, c.line);
      QCOMPARE(text(s, c.box), r.num(r.dbl("p", c.key)));
      QVERIFY2((text(s, c.box) != before) == c.changes, c.line);
    }
    // The histogram's page follows the mode; its box writes the bins (at least 1).
    QCOMPARE(r.exec("p.mode = 2"), 0L);
    QVERIFY(tabShown(s, "Histo"));
    act(child<TextUpdown>(s, "txtBins"), 2, "250");
    act(child<TextUpdown>(s, "txtBins"), 2, "0");
    QCOMPARE(r.lng("p", "histo.bins"), 250);
    QCOMPARE(r.exec("p.mode = 0"), 0L);
    QVERIFY(!tabShown(s, "Histo") && !tabShown(s, "FFT"));
  }

  void editsWhileRunningForEver() {
    // The acquisition thread renders each pass while the user-interface thread writes; both
    // go through the component's one lock and frames keep coming.
    PlotRig r;
    for (const char* l : {"load g = siggen", "g.reclen = 20000", "load p = plot.2", "p.in.ch1 = g.out", "p.in.ch2 = g.out",
                          "p.ch1.vscale.auto = 0", "p.main.hscale.auto = 0"})
      QCOMPARE(r.exec(l), 0L);
    QWidget* plot = r.open("p", "plot");
    QWidget* s = r.open("p", "setup");
    QVERIFY(plot && s);
    r.main->findChild<QComboBox*>("cmbMode")->setCurrentIndex(3);  // For Ever
    r.main->Control()->Run();
    QVERIFY(r.waitFor([&] { return displayOf(plot)->property("serial").toLongLong() > 3; }));
    for (int i = 0; i < 60; ++i) {
      act(child<TextUpdown>(s, i % 3 ? "txtVScale" : "txtHScale"), i % 2);
      act(child<TextUpdown>(s, "txtVPosition"), i % 2);
      act(child<TextUpdown>(s, "txtSelect"), i % 2);
      child<QToolButton>(s, i % 2 ? "vcur" : "pcur")->click();
      QTest::qWait(2);
    }
    const qlonglong seen = displayOf(plot)->property("serial").toLongLong();
    QVERIFY(r.waitFor([&] { return displayOf(plot)->property("serial").toLongLong() > seen + 2; }));
    r.main->Control()->halt(false);
    QVERIFY(r.waitFor([&] { return !r.main->Control()->Running(); }));
    QVERIFY2(r.log().find("Error 130") == std::string::npos, r.log().c_str());
    const std::string port = "ch" + text(s, "txtSelect").toStdString();
    QCOMPARE(text(s, "txtVPosition"), r.num(r.dbl("p", port + ".vposition")));
    QCOMPARE(r.lng("p", "cursortype"), 0);  // each button was clicked an even number of times
  }

  void faultsReportTheirHandlerNumbers() {
    PlotRig r;
    QWidget* s = r.setup();
    QVERIFY(s);
    r.reload(s, "nosuch");  // a component that is not there
    std::vector<const char*> numbers = {"130002"};
    for (const auto& [name, number] : {std::pair{"txtSelect", "130004"}, {"txtVScale", "130007"}, {"txtVOffset", "130008"},
                                       {"txtVPosition", "130009"}, {"txtHScale", "130012"}, {"txtHOffset", "130013"},
                                       {"txtBins", "130019"}})
      act(child<TextUpdown>(s, name), 2, "1"), numbers.push_back(number);
    for (const auto& [name, number] : {std::pair{"chkVScaleAuto", "130014"}, {"chkVOffsetAuto", "130015"},
                                       {"chkHScaleAuto", "130016"}, {"chkHOffsetAuto", "130017"}, {"vcur", "130018"}})
      child<QAbstractButton>(s, name)->click(), numbers.push_back(number);
    for (const char* number : numbers)
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, number);
    r.reload(s, "p");  // back on the real component it works again
    act(child<TextUpdown>(s, "txtVPosition"), 2, "1.5");
    QCOMPARE(r.dbl("p", "ch1.vposition"), 1.5);
  }
};

KV_QTEST(SetupPanelTests)
#include "SetupPanelTests.moc"
