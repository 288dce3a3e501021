// KvMeas.Inputs on the real shell and measurement module: what Load shows, each key's
// refresh after a script assignment, the step rules, revert, list writes, visibility and
// size, and the error numbers of its handlers.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>

#include "ModMeas/gui/Inputs.h"
#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

// Records the keys that reach the object it filters.
class KeyCounter : public QObject {
 public:
  QList<int> seen;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) seen << static_cast<QKeyEvent*>(e)->key();
    return false;
  }
};

}  // namespace

class InputsTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheEngineAndWritesNothing() {
    PanelRig r;
    for (const char* l : {"load m = meas.all", "m.ck.rise.high = 2.5", "m.dt.hysteresis = 0.25", "m.ctl.edgetype = \"low\"",
                          "m.ck.edgetype = \"both\"", "m.dt.fall.mid = -0.125"})
      QCOMPARE(r.exec(l), 0L);
    ChangeLog changes(r.main->App());
    r.main->ShowPanel("m.igui");
    QWidget* p = r.find("m", "igui");
    QVERIFY(p);
    QCOMPARE(changes.seen, std::vector<std::string>());
    QCOMPARE(child<QComboBox>(p, "cmbEdge0")->currentText(), QString("Both"));
    QCOMPARE(child<QComboBox>(p, "cmbEdge1")->currentText(), QString("Rise"));
    QCOMPARE(child<QComboBox>(p, "cmbEdge2")->currentText(), QString("Low"));
    QCOMPARE(child<QComboBox>(p, "cmbEdge2")->count(), 3);
    QCOMPARE(child<QComboBox>(p, "cmbEdge2")->itemText(0), QString("Off"));
    QCOMPARE(child<TextUpdown>(p, "txtRise00")->Text(), r.num(2.5));
    QCOMPARE(child<TextUpdown>(p, "txtHys1")->Text(), r.num(0.25));
    QCOMPARE(child<TextUpdown>(p, "txtFall11")->Text(), r.num(-0.125));
    QCOMPARE(child<TextUpdown>(p, "txtRise21")->Text(), r.num(r.dbl("m", "ctl.rise.mid")));
    // The help text shows "&&" as one "&"; the offsets wait for "More".
    QVERIFY(child<QLabel>(p, "lblHelp")->text().endsWith("enter both clock & data thresholds"));
    QVERIFY(!child<QGroupBox>(p, "fraOffsets0")->isVisibleTo(p));
  }

  void titlePositionStyleAndHelpKey() {
    struct Case {
      const char* title;
      const char* left;
      const char* top;
      bool moves;
      const char* caption;
    };
    const Case cases[] = {{"", "120", "40", true, "m1: Thresholds"},
                          {"Mine", "-1", "40", false, "Mine"},
                          {"", "120", "-5", false, "m3: Thresholds"},
                          {"", "0", "0", true, "m4: Thresholds"}};
    PanelRig r;
    int k = 0;
    for (const Case& c : cases) {
      const std::string comp = "m" + std::to_string(++k);
      QCOMPARE(r.exec("load " + comp + " = meas.ck"), 0L);
      r.main->App()->put_str(comp, "igui.title", c.title);
      QCOMPARE(r.exec(comp + ".igui.left = " + c.left), 0L);
      QCOMPARE(r.exec(comp + ".igui.top = " + c.top), 0L);
      r.main->ShowPanel(comp + ".igui");
      QWidget* p = r.find(comp, "igui");
      const QPoint at = r.hostOf(p)->pos();
      QVERIFY2((at == QPoint(atoi(c.left), atoi(c.top))) == c.moves, c.caption);
      QCOMPARE(r.hostOf(p)->windowTitle(), QString(c.caption));
      std::string tab;
      dynamic_cast<IKvGui*>(p)->get_TabCaption(&tab);
      QCOMPARE(tab, comp);
    }
    QWidget* p = r.find("m1", "igui");
    GuiStyle s{};
    dynamic_cast<IKvGui*>(p)->GetStyle(&s);
    QVERIFY(!s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);
    // F1 stops at the panel: the window above it never sees the key.
    KeyCounter keys;
    r.hostOf(p)->installEventFilter(&keys);
    QTest::keyClick(child<TextUpdown>(p, "txtRise00")->Edit(), Qt::Key_F1);
    QTest::keyClick(child<TextUpdown>(p, "txtRise00")->Edit(), Qt::Key_F2);
    QCOMPARE(keys.seen, QList<int>({Qt::Key_F2}));
  }

  void eachKeyRefreshesItsControl() {
    struct Case {
      const char* line;
      const char* field;  // a TextUpdown, or a combo box when it starts with "cmb"
      const char* key;    // the engine's key the field then shows (empty: expect text)
      const char* text;
    };
    const Case cases[] = {
        {"m.ck.rise.high = 1.75", "txtRise00", "ck.rise.high", nullptr},
        {"m.ck.rise.low = -0.5", "txtRise02", "ck.rise.low", nullptr},
        {"m.dt.fall.high = 0.3", "txtFall10", "dt.fall.high", nullptr},
        {"m.ctl.hysteresis = 0.05", "txtHys2", "ctl.hysteresis", nullptr},
        // The plain thresholds are the rising ones and clear their falling offset.
        {"m.dt.fall.mid = 0.2", "txtFall11", "dt.fall.mid", nullptr},
        {"m.dt.mid = 1.25", "txtRise11", "dt.rise.mid", nullptr},
        {"m.dt.mid = 1.5", "txtFall11", "dt.fall.mid", nullptr},
        {"m.ck.edgetype = \"fall\"", "cmbEdge0", nullptr, "Fall"},
        {"m.ctl.edgetype = \"high\"", "cmbEdge2", nullptr, "High"},
        // A word the list does not hold is shown as it is.
        {"m.ck.edgetype = \"rise+fall\"", "cmbEdge0", nullptr, "rise+fall"},
        {"m.ck.edgetype = \"rise\"", "cmbEdge0", nullptr, "Rise"},
    };
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "igui");
    QVERIFY(p);
    QCOMPARE(r.exec("load m2 = meas.ck"), 0L);
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec(c.line), 0L);
      const QString what = QString(c.line) + " -> " + c.field;
      // The refresh writes nothing back: the script's own change is the only one.
      QVERIFY2(changes.seen.size() == 1, qPrintable(what));
      if (c.key) {
        QVERIFY2(child<TextUpdown>(p, c.field)->Text() == r.num(r.dbl("m", c.key)), qPrintable(what));
      } else {
        QVERIFY2(CPanelText(child<QComboBox>(p, c.field)) == c.text, qPrintable(what));
      }
    }
    // Another component's change leaves the panel alone.
    const QString before = child<TextUpdown>(p, "txtRise00")->Text();
    QCOMPARE(r.exec("m2.ck.rise.high = 7"), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtRise00")->Text(), before);
  }

  void stepsRevertAndCommits() {
    struct Case {
      const char* field;
      const char* key;
      double start;
      int action;
      const char* typed;  // null: the field as shown
      double expect;      // the engine's value after
      int times = 1;
    };
    const Case cases[] = {
        {"txtRise01", "ck.rise.mid", 1.0, 0, nullptr, 1.1},
        {"txtRise01", "ck.rise.mid", 0.3, 1, nullptr, 0.0, 3},  // lands on 0, not -2.8e-17
        {"txtHys0", "ck.hysteresis", 0.0, 0, nullptr, 0.1},
        {"txtFall02", "ck.fall.low", -0.1, 0, nullptr, 0.0},
        {"txtRise10", "dt.rise.high", 1.0, 2, "2.5", 2.5},
        {"txtRise10", "dt.rise.high", 1.0, 2, "300m", 0.3},
        {"txtRise10", "dt.rise.high", 1.0, 3, "9", 1.0},      // revert: nothing written
        {"txtHys1", "dt.hysteresis", 0.2, 2, "-1", 0.2},     // refused by the module
    };
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "igui");
    QVERIFY(p);
    for (const Case& c : cases) {
      r.main->App()->put_dbl("m", c.key, c.start);
      TextUpdown* f = child<TextUpdown>(p, c.field);
      ChangeLog changes(r.main->App());
      for (int i = 0; i < c.times; ++i) act(f, c.action, c.typed ? QString(c.typed) : QString());
      const QString what = QString("%1 action %2 from %3").arg(c.field).arg(c.action).arg(c.start);
      QVERIFY2(r.dbl("m", c.key) == c.expect, qPrintable(what + " gave " + QString::number(r.dbl("m", c.key))));
      // The field shows the engine's value again, whether the write was taken, refused or none.
      QVERIFY2(f->Text() == r.num(c.expect), qPrintable(what + " shows " + f->Text()));
      if (c.action == 3) QVERIFY(changes.seen.empty());
    }
  }

  void edgeListWritesOnlyAChange() {
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "igui");
    QComboBox* edge = child<QComboBox>(p, "cmbEdge1");
    struct Case {
      int index;
      const char* engine;
      size_t writes;
    };
    const Case cases[] = {{2, "Both", 1}, {2, "Both", 0}, {1, "Fall", 1}, {0, "Rise", 1}};
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      edge->setCurrentIndex(c.index);
      emit edge->activated(c.index);
      QCOMPARE(r.str("m", "dt.edgetype"), std::string(c.engine));
      QCOMPARE(changes.seen.size(), c.writes);
    }
  }

  void visibilityMoreAndSize() {
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "igui");
    frmHost* h = r.hostOf(p);
    QCheckBox* more = child<QCheckBox>(p, "chkMore");
    const QSize closed = p->size(), hostClosed = h->size();
    more->click();
    QCOMPARE(r.lng("m", "igui.more"), 1);
    for (int c = 0; c < 3; ++c) QVERIFY(child<QGroupBox>(p, QString("fraOffsets%1").arg(c))->isVisibleTo(p));
    QVERIFY(p->height() > closed.height());
    QVERIFY(h->height() > hostClosed.height());
    // A hidden channel hides both its frames, More or not; the panel narrows to the others.
    const int wide = p->width();
    QCOMPARE(r.exec("m.dt.visible = 0"), 0L);
    QVERIFY(!child<QGroupBox>(p, "fra1")->isVisibleTo(p));
    QVERIFY(!child<QGroupBox>(p, "fraOffsets1")->isVisibleTo(p));
    QVERIFY(p->width() < wide);
    QVERIFY(h->width() < hostClosed.width());
    // The script closes "More" again: the box follows and the panel shrinks back.
    const int withMore = p->height();
    QCOMPARE(r.exec("m.igui.more = 0"), 0L);
    QVERIFY(!more->isChecked());
    QVERIFY(!child<QGroupBox>(p, "fraOffsets0")->isVisibleTo(p));
    QVERIFY(p->height() < withMore);
    QCOMPARE(r.exec("m.dt.visible = 1"), 0L);
    QCOMPARE(p->size(), closed);
    // Shown again with More stored: the offsets are there from the start.
    QCOMPARE(r.exec("m.igui.more = 1"), 0L);
    QCOMPARE(r.exec("load n = meas.ck"), 0L);
    QCOMPARE(r.exec("n.igui.more = 1"), 0L);
    r.main->ShowPanel("n.igui");
    QWidget* q = r.find("n", "igui");
    QVERIFY(child<QCheckBox>(q, "chkMore")->isChecked());
    QVERIFY(child<QGroupBox>(q, "fraOffsets0")->isVisibleTo(q));
  }

  void dragCarriesTheInputTag() {
    std::unique_ptr<QMimeData> d(CMeasInputs::DragData());
    QCOMPARE(d->text(), QString("SRC:INPUT;SYS:"));
  }

  void faultsReportTheirHandlerNumbers() {
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "igui");
    // Loaded for a component that is not there: Load's own number, and the panel goes on.
    r.reload(p, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 124003/") != std::string::npos, r.log().c_str());
    // A field's write then fails on its own number.
    act(child<TextUpdown>(p, "txtRise01"), 2, "1");
    QVERIFY2(r.log().find("nosuch: Error 124011/") != std::string::npos, r.log().c_str());
    // Back on the real component it works again.
    r.reload(p, "m");
    act(child<TextUpdown>(p, "txtRise01"), 2, "0.75");
    QCOMPARE(r.dbl("m", "ck.rise.mid"), 0.75);
  }

 private:
  static QString CPanelText(QComboBox* c) { return c->currentIndex() < 0 ? c->placeholderText() : c->currentText(); }
};

KV_QTEST(InputsTests)
#include "InputsTests.moc"
