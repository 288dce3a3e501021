// KvPlot.Plot on the real shell, engine, plot module and measurement module: what Load makes
// of the component's placement, the contract's answers, the display named in "hwnd", keys,
// drops of settings and of measurements, and new frames after a resize.

#include <QMimeData>
#include <QtTest>
#include <cmath>

#include "ModPlot/PlotFrame.h"
#include "KvDll/Wnd.h"
#include "ModPlot/gui/tests/PlotRig.h"
#include "desktop/Twips.h"
#include "desktop/frmHost.h"

namespace {

// The source an input is linked to ("" when none), as the engine answers it.
std::string source(PlotRig& r, const std::string& input) {
  const std::string a = r.answer(input);
  return a == input ? std::string() : a;
}

}  // namespace

class PlotPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadPlacesAndSizes() {
    struct Case {
      float left, top, width, height;
      bool moved;
      QSize size;  // pixels; empty: the screen's limit
    };
    const QSize fallback(KvTwipsToPixels(6000), KvTwipsToPixels(4000));
    const Case cases[] = {
        {-1, -1, -1, -1, false, fallback},  // nothing given: 6000 x 4000 twips
        {30, 40, 300, 200, true, {300, 200}},
        {0, 0, 0, 250, true, {fallback.width(), 250}},
        {-5, 40, 320, -3, false, {320, fallback.height()}},
        {50, -1, 99999, 99999, false, {}},  // never past the screen
    };
    QPoint placed;
    for (const Case& c : cases) {
      PlotRig r;
      for (const std::string& l : std::vector<std::string>{"load p = plot", "p.plot.left = " + std::to_string(c.left), "p.plot.top = " + std::to_string(c.top),
                                   "p.plot.width = " + std::to_string(c.width), "p.plot.height = " + std::to_string(c.height)})
        QVERIFY2(r.exec(l) == 0, l.c_str());
      r.main->ShowPanel("p.plot");
      QWidget* p = r.find("p", "plot");
      QVERIFY(p);
      const QSize want = c.size.isEmpty() ? panelLimit() : c.size;
      QCOMPARE(p->size(), want);
      QVERIFY(want.width() <= 16384 && want.height() <= 16384);
      // The display fills the panel.
      QCOMPARE(displayOf(p)->geometry(), p->rect());
      frmHost* h = r.hostOf(p);
      QVERIFY(h);
      if (c.moved) QCOMPARE(h->pos(), QPoint(KvTwipsToPixels(c.left * KvTwipsPerPixel()), KvTwipsToPixels(c.top * KvTwipsPerPixel())));
      // Unmoved, the window stands where the shell puts a first window.
      if (&c == &cases[0]) placed = h->pos();
      if (!c.moved) QCOMPARE(h->pos(), placed);
    }
  }

  void contractAndDisplay() {
    struct Case {
      const char* title;
      const char* caption;
    };
    for (const Case& c : {Case{"", "p: Plot"}, Case{"Scope view", "Scope view"}}) {
      PlotRig r;
      QCOMPARE(r.exec("load p = plot"), 0L);
      QCOMPARE(r.exec(std::string("p.plot.title = \"") + c.title + "\""), 0L);
      r.main->ShowPanel("p.plot");
      QWidget* p = r.find("p", "plot");
      QVERIFY(p);
      IKvGui* g = dynamic_cast<IKvGui*>(p);
      QVERIFY(g);
      std::string text;
      QCOMPARE(g->get_Caption(&text), S_OK);
      QCOMPARE(text, std::string(c.caption));
      QCOMPARE(r.hostOf(p)->windowTitle(), QString(c.caption));
      QCOMPARE(g->get_TabCaption(&text), S_OK);
      QCOMPARE(text, std::string("p"));
      GuiStyle s{};
      QCOMPARE(g->GetStyle(&s), S_OK);
      QCOMPARE((std::vector<int>{s.bResizeable, s.bToolwnd, s.bDialog, s.bMaximize, s.bMinimize, s.bCloseable}),
               (std::vector<int>{1, 0, 0, 1, 1, 1}));
      int16_t mode = 0;
      long refuse = -1;
      QCOMPARE(g->QueryUnload(&mode, &refuse), S_OK);
      QCOMPARE(refuse, 0L);
      // "hwnd" names the display, which answers as one.
      const KvWnd id = static_cast<KvWnd>(r.lng("p", "hwnd"));
      QCOMPARE(id, wndOf(p));
      QCOMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
      // Closing the panel leaves a stale id behind, which answers nothing.
      QCOMPARE(r.exec("unload p"), 0L);
      QTRY_VERIFY(r.find("p", "plot") == nullptr);
      QTRY_COMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
    }
  }

  void keysGoToKeydown() {
    PlotRig r;
    QWidget* p = r.display();
    QVERIFY(p);
    struct Case {
      Qt::Key key;
      Qt::KeyboardModifiers mods;
      int32_t code;
    };
    for (const Case& c : {Case{Qt::Key_Left, Qt::NoModifier, 37}, Case{Qt::Key_Right, Qt::ShiftModifier, 65536 + 39},
                          Case{Qt::Key_Tab, Qt::NoModifier, 9}, Case{Qt::Key_Q, Qt::ControlModifier, 2 * 65536 + 81}}) {
      QTest::keyClick(displayOf(p), c.key, c.mods);
      QCOMPARE(r.lng("p", "keydown"), c.code);
    }
  }

  void settingsDrops() {
    struct Case {
      const char* text;
      double scale, offset;  // what the component holds after the drop
    };
    // Start: scale 1m, offset 0.
    const Case cases[] = {
        {"HorOff=2m;HorSpan1=5u;", 5e-6, 2e-3},
        {"HorOff=2m;HorSpan1=5u", 1e-3, 2e-3},       // no final ";": the last item is ignored
        {"HorOff=3;Bad;HorSpan1=5u;", 1e-3, 3},      // an item without "=" stops the rest
        {"Other=1;HorSpan1=20m;", 20e-3, 0},         // other names are skipped
        {"HorSpan1=0;HorOff=1;", 1e-3, 1},           // a scale of 0 is refused, the rest is taken
        {"HorSpan1=-2;", 1e-3, 0},
        {"SRC:INPUT;SYS:", 1e-3, 0},
    };
    for (const Case& c : cases) {
      PlotRig r;
      QWidget* p = r.display();
      QVERIFY(p);
      QCOMPARE(r.exec("p.main.hscale.auto = 0"), 0L);
      QCOMPARE(r.exec("p.main.hoffset.auto = 0"), 0L);
      QCOMPARE(r.exec("p.main.hscale = 1m"), 0L);
      QCOMPARE(r.exec("p.main.hoffset = 0"), 0L);
      const std::string logBefore = r.log();
      dropText(p, c.text);
      QVERIFY2(std::fabs(r.dbl("p", "main.hscale") - c.scale) <= 1e-12 * c.scale, (c.text + r.log()).c_str());
      QVERIFY2(r.dbl("p", "main.hoffset") == c.offset, c.text);
      // No drop is a fault of the panel.
      QVERIFY2(r.log().find("129005") == std::string::npos, c.text);
    }
  }

  void measurementDrops() {
    struct Case {
      const char* kind;         // the plot
      const char* before;       // a link made first, or ""
      const char* text;
      std::vector<int> linked;  // 1-based measurement positions on ch1, ch2, ... (0: free)
      int32_t mode;
      const char* warning;      // in the log, or ""
    };
    const Case cases[] = {
        {"plot.4", "", "SRC:MEAS;COMP:m;TYPE:1 3 ", {1, 3, 0, 0}, 1, ""},
        // Positions past the list are skipped.
        {"plot.2", "", "SRC:MEAS;COMP:m;TYPE:99 2 0 ", {2, 0}, 1, ""},
        // The next free input; a plot showing something keeps its mode.
        {"plot.3", "p.in.ch1 = m.CkPeriod.out", "SRC:MEAS;COMP:m;TYPE:2 ", {-1, 2, 0}, 0, ""},
        {"plot.2", "", "SRC:MEAS;COMP:m;TYPE:1 2 3 ", {1, 2}, 1, "No free plot input for "},
        {"plot.2", "", "SRC:MEAS;COMP:nobody;TYPE:1 ", {0, 0}, 0, ""},
    };
    for (const Case& c : cases) {
      PlotRig r;
      QCOMPARE(r.exec("load m = meas.ck"), 0L);
      QWidget* p = r.display("p", c.kind);
      QVERIFY(p);
      if (*c.before) QCOMPARE(r.exec(c.before), 0L);
      const std::vector<std::string> names = [&] {
        std::vector<std::string> out;
        const QStringList l = QString::fromStdString(r.str("m", "meas.names?")).split(',');
        for (const QString& n : l) out.push_back(n.toStdString());
        return out;
      }();
      dropText(p, c.text);
      for (size_t k = 0; k < c.linked.size(); ++k) {
        const std::string in = "p.in.ch" + std::to_string(k + 1);
        const int pos = c.linked[k];
        if (pos < 0) continue;  // linked before the drop
        const std::string want = pos == 0 ? std::string() : "m." + names[static_cast<size_t>(pos) - 1] + ".out";
        QVERIFY2(source(r, in) == want, (std::string(c.text) + " " + in + " " + source(r, in)).c_str());
      }
      QCOMPARE(r.lng("p", "mode"), c.mode);
      if (*c.warning) QVERIFY2(r.log().find(c.warning + names[2]) != std::string::npos, r.log().c_str());
    }
  }

  void measurementDropWhileBusy() {
    PlotRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    QWidget* p = r.display();
    QVERIFY(p);
    long handle = 0;
    QCOMPARE(r.main->App()->SetBusy(&handle), S_OK);
    QVERIFY(r.busy());
    dropText(p, "SRC:MEAS;COMP:m;TYPE:1 ");
    r.main->App()->SetBusyNot(handle);
    QCOMPARE(source(r, "p.in.ch1"), std::string());
    QVERIFY(r.log().find("The network cannot be changed while an acquisition runs") != std::string::npos);
  }

  void resizeBringsAFrameOfTheNewSize() {
    PlotRig r;
    QCOMPARE(r.exec("load p = plot"), 0L);
    QCOMPARE(r.exec("p.plot.width = 300"), 0L);
    QCOMPARE(r.exec("p.plot.height = 200"), 0L);
    r.main->ShowPanel("p.plot");
    QWidget* p = r.find("p", "plot");
    QVERIFY(p);
    QTRY_COMPARE(frameOf(p).size(), QSize(300, 200));
    r.hostOf(p)->resize(r.hostOf(p)->size() + QSize(60, 40));
    QTRY_COMPARE(frameOf(p).size(), displayOf(p)->size());
    QVERIFY(displayOf(p)->size() != QSize(300, 200));
  }

  void faultsReportTheirHandlerNumbers() {
    PlotRig r;
    QWidget* p = r.display();
    QVERIFY(p);
    r.reload(p, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 129002/") != std::string::npos, r.log().c_str());
    QTest::keyClick(displayOf(p), Qt::Key_Left);
    QVERIFY2(r.log().find("nosuch: Error 129004/") != std::string::npos, r.log().c_str());
    dropText(p, "HorOff=1;");
    QVERIFY2(r.log().find("nosuch: Error 129005/") != std::string::npos, r.log().c_str());
    r.reload(p, "p");
    dropText(p, "HorOff=1;");
    QCOMPARE(r.dbl("p", "main.hoffset"), 1.0);
  }
};

KV_QTEST(PlotPanelTests)
#include "PlotPanelTests.moc"
