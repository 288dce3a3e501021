// KvText.Import and KvText.Export on the real shell and text module: what Load shows and
// that it writes nothing, each key's refresh after a script assignment, what the user's acts
// write (and how a refused value comes back), the file dialog, the lay-out under "More", and
// the numbers of the handlers' faults, with and without an engine.

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

// The panel of a reader "r" and a writer "w".
struct TextRig : PanelRig {
  QWidget* reader = show("r", "textio.reader", "gui");
  QWidget* writer = show("w", "textio.writer", "gui");
  QWidget* panel(char which) { return which == 'r' ? reader : writer; }
};

// What a control shows: a box's text, "1"/"0" for a check box, and for an option pair the
// index of the checked option ("0", "1", or "-" when none is).
QString shown(QWidget* p, const QString& name) {
  if (auto* t = child<TextUpdown>(p, name)) return t->Text();
  if (auto* e = child<QLineEdit>(p, name)) return e->text();
  if (auto* c = child<QCheckBox>(p, name)) return c->isChecked() ? "1" : "0";
  QRadioButton* a = child<QRadioButton>(p, name + "0");
  QRadioButton* b = child<QRadioButton>(p, name + "1");
  if (!a || !b) return "?";
  return b->isChecked() && !a->isChecked() ? "1" : a->isChecked() && !b->isChecked() ? "0" : "-";
}

QString lastShown() {
  const auto& s = CDialogs::Get().Shown();
  return s.empty() ? QString() : QString::fromStdString(s.back());
}

}  // namespace

class TextPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheEngineAndWritesNothing() {
    PanelRig r;
    for (const char* l : {"load r = textio.reader", "load w = textio.writer", "r.filename = \"in.csv\"", "r.xaxis.on = 1",
                          "r.sep.col = \";\"", "r.nskiplines = 4", "r.nskipvalues = 2", "r.xincr = 0.5",
                          "r.hor.offset = -0.25", "r.hor.offset.additive = 1", "w.filename = \"/tmp/out.txt\"",
                          "w.dataorg = 1", "w.sep.col = \"Tab\""})
      QCOMPARE(r.exec(l), 0L);
    ChangeLog changes(r.main->App());
    r.main->ShowPanel("r.gui");
    r.main->ShowPanel("w.gui");
    QWidget* rp = r.find("r", "gui");
    QWidget* wp = r.find("w", "gui");
    QVERIFY(rp && wp);
    QCOMPARE(changes.seen, std::vector<std::string>());
    struct Case {
      QWidget* panel;
      const char* control;
      QString expect;
    };
    const Case cases[] = {
        {rp, "txtFileName", "in.csv"},   {rp, "optXAxis", "1"},       {rp, "optDataOrg", "0"},
        {rp, "txtSepCol", ";"},          {rp, "txtSkipLines", "4"},   {rp, "txtSkipValues", "2"},
        {rp, "txtXIncr", r.num(0.5)},    {rp, "txtHorOffset", r.num(-0.25)},
        {rp, "chkAdditive", "1"},        {rp, "chkMore", "0"},        {wp, "txtFileName", "/tmp/out.txt"},
        {wp, "optXAxis", "0"},           {wp, "optDataOrg", "1"},     {wp, "txtSepCol", "Tab"},
    };
    for (const Case& c : cases) QVERIFY2(shown(c.panel, c.control) == c.expect, c.control);
    // The offset waits for "More"; the writer has no skip, multiplier, offset or "More".
    QVERIFY(!child<QGroupBox>(rp, "fraHorOffset")->isVisibleTo(rp));
    for (const char* n : {"txtSkipLines", "txtXIncr", "chkMore", "fraHorOffset"}) QVERIFY2(!wp->findChild<QWidget*>(n), n);
    // Captions: "&&" shows one "&"; each panel names its frames its own way.
    QCOMPARE(child<QGroupBox>(rp, "fraXAxis")->title(), QString("File Contains:"));
    QCOMPARE(child<QGroupBox>(wp, "fraXAxis")->title(), QString("Save Axis:"));
    QCOMPARE(child<QGroupBox>(wp, "fraDataOrg")->title(), QString("Save Each Axis In:"));
    QCOMPARE(child<QLineEdit>(rp, "txtFileName")->toolTip(),
             QString("Enter file path & name or click on browse to select one"));
    QCOMPARE(child<QRadioButton>(rp, "optDataOrg0")->text(), QString("Column"));
    QCOMPARE(child<QLabel>(wp, "lblRowSep")->text(), QString("NewLine"));
  }

  void titlePositionAndStyle() {
    struct Case {
      const char* kind;
      const char* title;
      const char* left;
      const char* top;
      bool moves;
      const char* caption;
    };
    const Case cases[] = {{"textio.reader", "", "120", "40", true, "t1: Import"},
                          {"textio.writer", "", "0", "0", true, "t2: Export"},
                          {"textio.writer", "Mine", "-1", "40", false, "Mine"},
                          {"textio.reader", "", "30", "-2", false, "t4: Import"}};
    PanelRig r;
    int k = 0;
    for (const Case& c : cases) {
      const std::string comp = "t" + std::to_string(++k);
      QCOMPARE(r.exec("load " + comp + " = " + c.kind), 0L);
      r.main->App()->put_str(comp, "gui.title", c.title);
      QCOMPARE(r.exec(comp + ".gui.left = " + c.left), 0L);
      QCOMPARE(r.exec(comp + ".gui.top = " + c.top), 0L);
      r.main->ShowPanel(comp + ".gui");
      QWidget* p = r.find(comp, "gui");
      QVERIFY2(p, c.caption);
      QVERIFY2((r.hostOf(p)->pos() == QPoint(atoi(c.left), atoi(c.top))) == c.moves, c.caption);
      QCOMPARE(r.hostOf(p)->windowTitle(), QString(c.caption));
      std::string tab;
      dynamic_cast<IKvGui*>(p)->get_TabCaption(&tab);
      QCOMPARE(tab, comp);
      GuiStyle s{};
      dynamic_cast<IKvGui*>(p)->GetStyle(&s);
      QVERIFY(!s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);
    }
  }

  void eachKeyRefreshesItsControl() {
    struct Case {
      char panel;
      const char* line;
      const char* control;
      const char* expect;  // null: the engine's number, through Num2Str
      const char* key;
    };
    const Case cases[] = {
        {'r', "r.filename = \"a b.txt\"", "txtFileName", "a b.txt", nullptr},
        {'r', "r.xaxis.on = 1", "optXAxis", "1", nullptr},
        {'r', "r.xaxis.on = 0", "optXAxis", "0", nullptr},
        {'r', "r.dataorg = 1", "optDataOrg", "1", nullptr},
        {'r', "r.sep.col = \"Space\"", "txtSepCol", "Space", nullptr},
        {'r', "r.nskiplines = 12", "txtSkipLines", "12", nullptr},
        {'r', "r.nskipvalues = 3", "txtSkipValues", "3", nullptr},
        {'r', "r.xincr = 2e-6", "txtXIncr", nullptr, "xincr"},
        {'r', "r.hor.offset = 1.5e-3", "txtHorOffset", nullptr, "hor.offset"},
        {'r', "r.hor.offset.additive = 1", "chkAdditive", "1", nullptr},
        {'r', "r.gui.more = 1", "chkMore", "1", nullptr},
        {'w', "w.filename = \"x.csv\"", "txtFileName", "x.csv", nullptr},
        {'w', "w.xaxis.on = 1", "optXAxis", "1", nullptr},
        {'w', "w.dataorg = 1", "optDataOrg", "1", nullptr},
        {'w', "w.sep.col = \"|\"", "txtSepCol", "|", nullptr},
        // Another component of the same kind, and a key the writer does not show.
        {'r', "r2.xincr = 7", "txtXIncr", nullptr, "xincr"},
        {'w', "w.hor.offset = 3", "txtSepCol", "|", nullptr},
    };
    TextRig r;
    QVERIFY(r.reader && r.writer);
    QCOMPARE(r.exec("load r2 = textio.reader"), 0L);
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec(c.line), 0L);
      // The refresh writes nothing back: the script's own change is the only one.
      QVERIFY2(changes.seen.size() == 1, c.line);
      const QString expect = c.expect ? QString(c.expect) : r.num(r.dbl(std::string(1, c.panel), c.key));
      const QString got = shown(r.panel(c.panel), c.control);
      QVERIFY2(got == expect, qPrintable(QString(c.line) + " shows " + got));
    }
    QVERIFY(child<QGroupBox>(r.reader, "fraHorOffset")->isVisibleTo(r.reader));
  }

  void userActsWriteAndRefusalsShowTheEngine() {
    enum Act { clickFirst, clickSecond, check, type, paste, stepUp, stepDown, commit, revert };
    struct Case {
      char panel;
      const char* control;
      Act act;
      const char* typed;
      const char* key;
      char kind;          // how the engine is read: 's' str, 'l' lng, 'd' dbl
      double start;       // numbers ('d'): the engine's value before
      const char* after;  // the engine's value after, which the control then shows
      size_t writes;
      const char* shows = nullptr;  // the control's text when it is not the engine's
    };
    const Case cases[] = {
        {'r', "optXAxis", clickSecond, "", "xaxis.on", 'l', 0, "1", 1},
        {'r', "optXAxis", clickSecond, "", "xaxis.on", 'l', 0, "1", 0},  // already so
        {'r', "optXAxis", clickFirst, "", "xaxis.on", 'l', 0, "0", 1},
        {'w', "optDataOrg", clickSecond, "", "dataorg", 'l', 0, "1", 1},
        {'w', "optDataOrg", clickFirst, "", "dataorg", 'l', 0, "0", 1},
        {'r', "chkAdditive", check, "", "hor.offset.additive", 'l', 0, "1", 1},
        {'r', "chkAdditive", check, "", "hor.offset.additive", 'l', 0, "0", 1},
        {'r', "txtSepCol", type, ";", "sep.col", 's', 0, ";", 1},
        {'w', "txtSepCol", type, "Tab", "sep.col", 's', 0, "Tab", 1},
        {'w', "txtSepCol", type, "ab", "sep.col", 's', 0, "Tab", 0},  // refused
        {'r', "txtSkipLines", type, "12", "nskiplines", 'l', 0, "12", 2},  // as typed: 1, 12
        {'r', "txtSkipLines", type, "x", "nskiplines", 'l', 0, "0", 1},  // no number: "0"
        {'r', "txtSkipValues", type, "2.6", "nskipvalues", 'l', 0, "3", 2, "2.6"},  // 2, then 3
        {'r', "txtSkipValues", paste, "-4", "nskipvalues", 'l', 0, "3", 0},  // refused
        {'r', "txtSkipValues", type, "", "nskipvalues", 'l', 0, "0", 1},
        {'r', "txtXIncr", stepUp, "", "xincr", 'd', 1, "1.001", 1},
        {'r', "txtXIncr", stepDown, "", "xincr", 'd', 1, "0.9999", 1},
        {'r', "txtXIncr", commit, "0", "xincr", 'd', 1, "1", 0},  // refused
        {'r', "txtXIncr", revert, "5", "xincr", 'd', 1, "1", 0},
        {'r', "txtHorOffset", stepUp, "", "hor.offset", 'd', 0, "1e-12", 1},
        {'r', "txtHorOffset", stepDown, "", "hor.offset", 'd', 0, "-1e-12", 1},
        {'r', "txtHorOffset", commit, "2m", "hor.offset", 'd', 0, "0.002", 1},
    };
    TextRig r;
    QVERIFY(r.reader && r.writer);
    for (const Case& c : cases) {
      const std::string comp(1, c.panel);
      QWidget* p = r.panel(c.panel);
      if (c.kind == 'd') r.main->App()->put_dbl(comp, c.key, c.start);
      ChangeLog changes(r.main->App());
      switch (c.act) {
        case clickFirst: child<QRadioButton>(p, QString(c.control) + "0")->click(); break;
        case clickSecond: child<QRadioButton>(p, QString(c.control) + "1")->click(); break;
        case check: child<QCheckBox>(p, c.control)->click(); break;
        case type: {
          QLineEdit* e = child<QLineEdit>(p, c.control);
          e->selectAll();
          if (*c.typed)
            QTest::keyClicks(e, c.typed);
          else
            QTest::keyClick(e, Qt::Key_Backspace);
          QTest::keyClick(e, Qt::Key_Return);
          break;
        }
        case paste: {
          QLineEdit* e = child<QLineEdit>(p, c.control);
          QGuiApplication::clipboard()->setText(c.typed);
          e->selectAll();
          QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
          break;
        }
        default: act(child<TextUpdown>(p, c.control), c.act - stepUp, *c.typed ? QString(c.typed) : QString());
      }
      const QString what = QString("%1.%2 act %3 '%4'").arg(c.panel).arg(c.control).arg(c.act).arg(c.typed);
      const QString engine = c.kind == 'd'   ? r.num(r.dbl(comp, c.key))
                             : c.kind == 'l' ? QString::number(r.lng(comp, c.key))
                                             : QString::fromStdString(r.str(comp, c.key));
      const QString want = c.kind == 'd' ? r.num(atof(c.after)) : QString(c.after);
      QVERIFY2(engine == want, qPrintable(what + " engine " + engine));
      QVERIFY2(shown(p, c.control) == (c.shows ? QString(c.shows) : want), qPrintable(what + " shows " + shown(p, c.control)));
      QVERIFY2(changes.seen.size() == c.writes, qPrintable(what + " writes " + QString::number(changes.seen.size())));
    }
  }

  void fileNameIsWrittenWhenEditingEnds() {
    TextRig r;
    for (QWidget* p : {r.reader, r.writer}) {
      const std::string comp = p == r.reader ? "r" : "w";
      QLineEdit* name = child<QLineEdit>(p, "txtFileName");
      ChangeLog changes(r.main->App());
      QTest::keyClicks(name, "out.txt");
      QCOMPARE(changes.seen.size(), size_t{0});  // no file per typed prefix
      QCOMPARE(r.str(comp, "filename"), std::string());
      QTest::keyClick(name, Qt::Key_Return);
      QCOMPARE(changes.seen, std::vector<std::string>{comp + ".filename"});
      QCOMPARE(r.str(comp, "filename"), std::string("out.txt"));
    }
  }

  void browseAsksTheDialogServiceAndCancelsSilently() {
    struct Case {
      char panel;
      const char* before;  // the file name in the engine
      const char* answer;  // the dialog's answer; "\x1b" cancels
      const char* title;
      const char* start;   // after the workspace folder and "/", or "=" + a whole path
      const char* after;
    };
    const Case cases[] = {
        {'r', "", "/data/a.txt", "Open", "", "/data/a.txt"},
        {'r', "sub/b.csv", "\x1b", "Open", "sub/b.csv", "sub/b.csv"},
        {'w', "/abs/c.txt", "/abs/d.txt", "Save As", "=/abs/c.txt", "/abs/d.txt"},
        {'w', "", "\x1b", "Save As", "", ""},
    };
    TextRig r;
    std::string ws;
    r.main->Utils()->get_WorkspacePath(&ws);
    for (const Case& c : cases) {
      const std::string comp(1, c.panel);
      QCOMPARE(r.exec(comp + ".filename = \"" + c.before + "\""), 0L);
      CDialogs::Get().Script({c.answer});
      ChangeLog changes(r.main->App());
      child<QPushButton>(r.panel(c.panel), "cmdBrowse")->click();
      std::string start = c.start[0] == '=' ? std::string(c.start + 1) : ws;
      if (c.start[0] != '=' && *c.start) start += (ws.empty() || ws.back() == '/' ? "" : "/") + std::string(c.start);
      const std::string expect = std::string(c.title) + "\n" + CTextPanelFilter() + "\n" + start;
      QCOMPARE(lastShown(), QString::fromStdString(expect));
      QCOMPARE(r.str(comp, "filename"), std::string(c.after));
      QCOMPARE(child<QLineEdit>(r.panel(c.panel), "txtFileName")->text(), QString(c.after));
      QCOMPARE(changes.seen.size(), size_t{std::string(c.before) == c.after ? 0u : 1u});
    }
  }

  void moreShowsTheOffsetAndSizesTheWindow() {
    TextRig r;
    QWidget* p = r.reader;
    frmHost* h = r.hostOf(p);
    const QSize closed = p->size(), hostClosed = h->size();
    QVERIFY(r.writer->height() < closed.height());
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("r", "gui.more"), 1);
    QGroupBox* frame = child<QGroupBox>(p, "fraHorOffset");
    QVERIFY(frame->isVisibleTo(p));
    QVERIFY(p->height() >= frame->geometry().bottom() && p->height() > closed.height());
    QVERIFY(h->height() > hostClosed.height());
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("r", "gui.more"), 0);
    QCOMPARE(p->size(), closed);
    // Shown with "More" stored, the offset is there from the start, and opening wrote nothing.
    QCOMPARE(r.exec("load r3 = textio.reader"), 0L);
    QCOMPARE(r.exec("r3.gui.more = 1"), 0L);
    ChangeLog changes(r.main->App());
    r.main->ShowPanel("r3.gui");
    QWidget* q = r.find("r3", "gui");
    QVERIFY(child<QCheckBox>(q, "chkMore")->isChecked());
    QVERIFY(child<QGroupBox>(q, "fraHorOffset")->isVisibleTo(q));
    QCOMPARE(changes.seen, std::vector<std::string>());
  }

  void faultsReportTheirHandlerNumbers() {
    TextRig r;
    struct Case {
      char panel;
      const char* control;  // null: Load itself
      const char* number;
    };
    const Case cases[] = {{'r', nullptr, "125002"}, {'r', "optXAxis1", "125013"}, {'r', "chkAdditive", "125020"},
                          {'w', nullptr, "125102"}, {'w', "optDataOrg1", "125114"}};
    for (const Case& c : cases) {
      QWidget* p = r.panel(c.panel);
      if (!c.control) {
        r.reload(p, "nosuch");  // a component that is not there: Load's own number
      } else if (auto* o = child<QRadioButton>(p, c.control)) {
        o->click();
      } else {
        child<QCheckBox>(p, c.control)->click();
      }
      const std::string want = std::string("nosuch: Error ") + c.number + "/";
      QVERIFY2(r.log().find(want) != std::string::npos, want.c_str());
    }
    // Back on the real component the panel works again.
    r.reload(r.reader, "r");
    child<QRadioButton>(r.reader, "optDataOrg1")->click();
    QCOMPARE(r.lng("r", "dataorg"), 1);

    // Without an engine a fault is a critical box: number:code:line:description.
    struct Bare {
      const char* progId;
      bool load;  // Load without App; else "Browse" before any Load
      const char* number;
      const char* desc;
    };
    const Bare bare[] = {{"KvText.Import", false, "125012", "no object"},
                         {"KvText.Export", true, "125102", "no engine"}};
    for (const Bare& b : bare) {
      std::unique_ptr<QWidget> w(r.main->Controls().Create(b.progId, nullptr));
      QVERIFY(w);
      CDialogs::Get().ClearShown();
      if (b.load) {
        IApp* app = nullptr;
        IKvHost* host = nullptr;
        std::string label = "t9";
        dynamic_cast<IKvGui*>(w.get())->Load(&app, &host, &label);
      } else {
        child<QPushButton>(w.get(), "cmdBrowse")->click();
      }
      const QStringList parts = lastShown().split(':');
      QVERIFY2(parts.size() >= 4, qPrintable(lastShown()));
      QCOMPARE(parts[0], QString(b.number));
      QCOMPARE(parts[1].toLong(), static_cast<long>(E_POINTER));
      QVERIFY(parts[2].toLong() > 0);
      QVERIFY2(lastShown().endsWith(b.desc), qPrintable(lastShown()));
    }
  }

 private:
  static std::string CTextPanelFilter() { return "Text File (*.txt);;Comma Seperated Values (*.csv);;All (*.*)"; }
};

KV_QTEST(TextPanelTests)
#include "TextPanelTests.moc"
