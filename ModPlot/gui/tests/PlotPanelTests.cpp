// KvPlot.Plot on the real shell, engine, plot module and measurement module: what Load makes
// of the component's placement, the contract's answers, the display named in "hwnd", keys,
// drops of settings and of measurements, new frames after a resize, and fault numbers.

#include <QtTest>
#include <cmath>

#include "KvDll/Wnd.h"
#include "ModPlot/PlotFrame.h"
#include "ModPlot/gui/tests/PlotRig.h"
#include "desktop/Twips.h"
#include "desktop/frmHost.h"

class PlotPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadAndContract() {
    struct Case {
      float left, top, width, height;
      const char* title;
      QSize size;  // pixels; empty: the screen's limit
      const char* caption;
    };
    const QSize fallback(KvTwipsToPixels(6000), KvTwipsToPixels(4000));
    const Case cases[] = {
        {-1, -1, -1, -1, "", fallback, "p: Plot"},  // nothing given: 6000 x 4000 twips, left where placed
        {30, 40, 300, 200, "Scope view", {300, 200}, "Scope view"},
        {0, 0, 0, 250, "", {fallback.width(), 250}, "p: Plot"},
        {-5, 40, 320, -3, "", {320, fallback.height()}, "p: Plot"},
        {50, -1, 99999, 99999, "", {}, "p: Plot"},  // never past the screen
    };
    QPoint placed;
    for (const Case& c : cases) {
      PlotRig r;
      QCOMPARE(r.exec("load p = plot"), 0L);
      for (const auto& [key, v] : {std::pair{"left", c.left}, {"top", c.top}, {"width", c.width}, {"height", c.height}})
        QCOMPARE(r.exec(std::string("p.plot.") + key + " = " + std::to_string(v)), 0L);
      QCOMPARE(r.exec(std::string("p.plot.title = \"") + c.title + "\""), 0L);
      QWidget* p = r.open("p", "plot");
      QVERIFY(p);
      QCOMPARE(p->size(), c.size.isEmpty() ? panelLimit() : c.size);
      QCOMPARE(displayOf(p)->geometry(), p->rect());  // the display fills the panel
      frmHost* h = r.hostOf(p);
      if (&c == &cases[0]) placed = h->pos();
      const bool moved = c.left >= 0 && c.top >= 0;
      QCOMPARE(h->pos(), moved ? QPoint(KvTwipsToPixels(c.left * KvTwipsPerPixel()), KvTwipsToPixels(c.top * KvTwipsPerPixel()))
                               : placed);
      IKvGui* g = dynamic_cast<IKvGui*>(p);
      std::string caption, tab;
      g->get_Caption(&caption), g->get_TabCaption(&tab);
      QCOMPARE(caption, std::string(c.caption));
      QCOMPARE(h->windowTitle(), QString(c.caption));
      QCOMPARE(tab, std::string("p"));
      GuiStyle s{};
      long refuse = -1;
      int16_t mode = 0;
      g->GetStyle(&s), g->QueryUnload(&mode, &refuse);
      QCOMPARE((std::vector<int>{s.bResizeable, s.bToolwnd, s.bDialog, s.bMaximize, s.bMinimize, s.bCloseable, int(refuse)}),
               (std::vector<int>{1, 0, 0, 1, 1, 1, 0}));
      // "hwnd" names the display, which answers as one; keys go to "keydown".
      const KvWnd id = static_cast<KvWnd>(r.lng("p", "hwnd"));
      QCOMPARE(id, wndOf(p));
      QCOMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
      QTest::keyClick(displayOf(p), Qt::Key_Right, Qt::ShiftModifier);
      QCOMPARE(r.lng("p", "keydown"), 65536 + 39);
      // Neither is part of what a setup saves: a stored id would name another window next run.
      const std::string state = r.answer("sys.state");
      QVERIFY(state.find("p.main.hscale") != std::string::npos && state.find("hwnd") == std::string::npos &&
              state.find("keydown") == std::string::npos);
      // Unloaded, the panel goes and leaves a stale id that answers nothing.
      QCOMPARE(r.exec("unload p"), 0L);
      QTRY_VERIFY(r.find("p", "plot") == nullptr);
      QTRY_COMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
    }
  }

  void settingsDrops() {
    struct Case {
      const char* text;
      double scale, offset;  // what the component holds after the drop (from 1m and 0)
    };
    const Case cases[] = {
        {"HorOff=2m;HorSpan1=5u;", 5e-6, 2e-3},
        {"HorSpan1=0;HorOff=1;", 1e-3, 1},  // a scale of 0 is refused, the rest is taken
        {"HorSpan1=-2;HorSpan1=x;", 1e-3, 0},
        {"SRC:INPUT;SYS:", 1e-3, 0},
    };
    for (const Case& c : cases) {
      PlotRig r;
      QWidget* p = r.display();
      QVERIFY(p);
      for (const char* l : {"p.main.hscale.auto = 0", "p.main.hoffset.auto = 0", "p.main.hscale = 1m", "p.main.hoffset = 0"})
        QCOMPARE(r.exec(l), 0L);
      dropText(p, c.text);
      QVERIFY2(std::fabs(r.dbl("p", "main.hscale") - c.scale) <= 1e-12 * c.scale, c.text);
      QVERIFY2(r.dbl("p", "main.hoffset") == c.offset, c.text);
      QVERIFY2(r.log().find("129005") == std::string::npos, c.text);  // no drop is a fault
    }
  }

  void measurementDrops() {
    struct Case {
      const char* kind;    // the plot
      const char* before;  // a link made first, or ""
      const char* text;
      bool busy;
      std::vector<int> linked;  // per input, the 1-based measurement on it (0: free, -1: as before)
      int32_t mode;
      const char* warning;  // in the log, or ""
    };
    const Case cases[] = {
        {"plot.4", "", "SRC:MEAS;COMP:m;TYPE:1 3 ", false, {1, 3, 0, 0}, 1, ""},
        {"plot.2", "", "SRC:MEAS;COMP:m;TYPE:99 2 0 ", false, {2, 0}, 1, ""},  // past the list: skipped
        // The next free input; a plot showing something keeps its mode.
        {"plot.3", "p.in.ch1 = m.CkPeriod.out", "SRC:MEAS;COMP:m;TYPE:2 ", false, {-1, 2, 0}, 0, ""},
        {"plot.2", "", "SRC:MEAS;COMP:m;TYPE:1 2 3 ", false, {1, 2}, 1, "No free plot input for "},
        {"plot.2", "", "SRC:MEAS;COMP:nobody;TYPE:1 ", false, {0, 0}, 0, ""},
        {"plot.2", "", "SRC:MEAS;COMP:m;TYPE:1 ", true, {0, 0}, 0, "The network cannot be changed while an acquisition runs"},
    };
    for (const Case& c : cases) {
      PlotRig r;
      QCOMPARE(r.exec("load m = meas.ck"), 0L);
      QWidget* p = r.display("p", c.kind);
      QVERIFY(p);
      if (*c.before) QCOMPARE(r.exec(c.before), 0L);
      const QStringList names = QString::fromStdString(r.str("m", "meas.names?")).split(',');
      long handle = 0;
      if (c.busy) r.main->App()->SetBusy(&handle);
      dropText(p, c.text);
      if (c.busy) r.main->App()->SetBusyNot(handle);
      for (size_t k = 0; k < c.linked.size(); ++k) {
        if (c.linked[k] < 0) continue;
        const std::string in = "p.in.ch" + std::to_string(k + 1), got = r.answer(in);
        const QString want = c.linked[k] ? "m." + names[c.linked[k] - 1] + ".out" : QString::fromStdString(in);
        QVERIFY2(QString::fromStdString(got) == want, (std::string(c.text) + in + " " + got).c_str());
      }
      QCOMPARE(r.lng("p", "mode"), c.mode);
      const std::string warning = c.warning + std::string(*c.warning == 'N' ? names[2].toStdString() : "");
      if (*c.warning) QVERIFY2(r.log().find(warning) != std::string::npos, r.log().c_str());
    }
  }

  void resizeBringsAFrameOfTheNewSize() {
    PlotRig r;
    QCOMPARE(r.exec("load p = plot"), 0L);
    QCOMPARE(r.exec("p.plot.width = 300"), 0L);
    QCOMPARE(r.exec("p.plot.height = 200"), 0L);
    QWidget* p = r.open("p", "plot");
    QVERIFY(p);
    QTRY_COMPARE(frameOf(p).size(), QSize(300, 200));
    r.hostOf(p)->resize(r.hostOf(p)->size() + QSize(60, 40));
    QTRY_COMPARE(frameOf(p).size(), QSize(360, 240));
  }

  void faultsReportTheirHandlerNumbers() {
    PlotRig r;
    QWidget* p = r.display();
    QVERIFY(p);
    r.reload(p, "nosuch");
    QTest::keyClick(displayOf(p), Qt::Key_Left);
    dropText(p, "HorOff=1;");
    for (const char* number : {"129002", "129004", "129005"})
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, number);
    r.reload(p, "p");
    dropText(p, "HorOff=1;");
    QCOMPARE(r.dbl("p", "main.hoffset"), 1.0);
  }
};

KV_QTEST(PlotPanelTests)
#include "PlotPanelTests.moc"
