// KvText.Import and KvText.Export on the real shell and text module: what Load and a script's
// assignment show (and that neither writes back), what the user's acts write and how a
// refused value comes back, the file dialog, "More", and the numbers of the handlers' faults.

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

// The panels of a reader "r" and a writer "w".
struct TextRig : PanelRig {
  explicit TextRig(bool open = true) {
    if (open) reader = show("r", "textio.reader", "gui"), writer = show("w", "textio.writer", "gui");
  }
  QWidget* reader = nullptr;
  QWidget* writer = nullptr;
  QWidget* panel(char which) { return which == 'r' ? reader : writer; }
  // The engine's value as a control shows it: 'd' through Num2Str, 'l' a whole number, 's' text.
  QString engine(char which, const char* key, char kind) {
    const std::string c(1, which);
    return kind == 'd' ? num(dbl(c, key)) : kind == 'l' ? QString::number(lng(c, key)) : QString::fromStdString(str(c, key));
  }
};

// A box's text, "1"/"0" for a check box, and for an option pair the checked one ("-": none).
QString shown(QWidget* p, const QString& name) {
  if (auto* t = child<TextUpdown>(p, name)) return t->Text();
  if (auto* e = child<QLineEdit>(p, name)) return e->text();
  if (auto* c = child<QCheckBox>(p, name)) return c->isChecked() ? "1" : "0";
  QRadioButton* a = child<QRadioButton>(p, name + "0");
  QRadioButton* b = child<QRadioButton>(p, name + "1");
  if (!a || !b) return "?";
  return a->isChecked() == b->isChecked() ? "-" : b->isChecked() ? "1" : "0";
}

QString lastShown() {
  const auto& s = CDialogs::Get().Shown();
  return s.empty() ? QString() : QString::fromStdString(s.back());
}

}  // namespace

class TextPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadAndRefreshesShowTheEngineAndWriteNothing() {
    struct Case {
      char panel;
      const char* control;
      const char* key;
      char kind;
      const char* before;  // assigned before the panel opens
      const char* after;   // assigned while it is open
    };
    const Case cases[] = {
        {'r', "txtFileName", "filename", 's', "\"in.csv\"", "\"a b.txt\""},
        {'r', "optXAxis", "xaxis.on", 'l', "1", "0"},
        {'r', "optDataOrg", "dataorg", 'l', "0", "1"},
        {'r', "txtSepCol", "sep.col", 's', "\";\"", "\"Space\""},
        {'r', "txtSkipLines", "nskiplines", 'l', "4", "12"},
        {'r', "txtSkipValues", "nskipvalues", 'l', "2", "0"},
        {'r', "txtXIncr", "xincr", 'd', "0.5", "2e-6"},
        {'r', "txtHorOffset", "hor.offset", 'd', "-0.25", "1.5e-3"},
        {'r', "chkAdditive", "hor.offset.additive", 'l', "1", "0"},
        {'r', "chkMore", "gui.more", 'l', "1", "0"},
        {'w', "txtFileName", "filename", 's', "\"/tmp/out.txt\"", "\"x.csv\""},
        {'w', "optXAxis", "xaxis.on", 'l', "0", "1"},
        {'w', "optDataOrg", "dataorg", 'l', "1", "0"},
        {'w', "txtSepCol", "sep.col", 's', "\"Tab\"", "\"|\""},
    };
    TextRig r(false);
    for (const char* l : {"load r = textio.reader", "load w = textio.writer", "load r2 = textio.reader"}) r.exec(l);
    for (const Case& c : cases) QCOMPARE(r.exec(std::string(1, c.panel) + "." + c.key + " = " + c.before), 0L);
    ChangeLog opening(r.main->App());
    r.main->ShowPanel("r.gui");
    r.main->ShowPanel("w.gui");
    r.reader = r.find("r", "gui"), r.writer = r.find("w", "gui");
    QVERIFY(r.reader && r.writer);
    QCOMPARE(opening.seen, std::vector<std::string>());
    for (const Case& c : cases) QVERIFY2(shown(r.panel(c.panel), c.control) == r.engine(c.panel, c.key, c.kind), c.control);
    QVERIFY(child<QGroupBox>(r.reader, "fraHorOffset")->isVisibleTo(r.reader));  // "More" stored
    for (const char* n : {"txtSkipLines", "txtXIncr", "chkMore", "fraHorOffset"}) QVERIFY2(!r.writer->findChild<QWidget*>(n), n);
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      const std::string line = std::string(1, c.panel) + "." + c.key + " = " + c.after;
      QCOMPARE(r.exec(line), 0L);
      QVERIFY2(changes.seen.size() == 1, line.c_str());  // the script's own change only
      QVERIFY2(shown(r.panel(c.panel), c.control) == r.engine(c.panel, c.key, c.kind), line.c_str());
    }
    QVERIFY(!child<QGroupBox>(r.reader, "fraHorOffset")->isVisibleTo(r.reader));
    // Another reader's change, and a key the writer does not show, leave the panels alone.
    const QString xincr = shown(r.reader, "txtXIncr");
    QCOMPARE(r.exec("r2.xincr = 7"), 0L);
    QCOMPARE(r.exec("w.hor.offset = 3"), 0L);
    QCOMPARE(shown(r.reader, "txtXIncr"), xincr);
    // Captions: "&&" shows one "&"; the writer names its frames its own way.
    QCOMPARE(child<QLineEdit>(r.reader, "txtFileName")->toolTip(), QString("Enter file path & name or click on browse to select one"));
    QCOMPARE(child<QGroupBox>(r.reader, "fraXAxis")->title(), QString("File Contains:"));
    QCOMPARE(child<QGroupBox>(r.writer, "fraDataOrg")->title(), QString("Save Each Axis In:"));
  }

  void titlePositionAndStyle() {
    struct Case {
      const char* kind;
      const char* title;
      int left, top;
      const char* caption;
    };
    const Case cases[] = {{"textio.reader", "", 120, 40, "t1: Import"},
                          {"textio.writer", "", 0, 0, "t2: Export"},
                          {"textio.writer", "Mine", -1, 40, "Mine"},
                          {"textio.reader", "", 30, -2, "t4: Import"}};
    PanelRig r;
    int k = 0;
    for (const Case& c : cases) {
      const std::string comp = "t" + std::to_string(++k);
      QCOMPARE(r.exec("load " + comp + " = " + c.kind), 0L);
      r.main->App()->put_str(comp, "gui.title", c.title);
      r.main->App()->put_flt(comp, "gui.left", static_cast<float>(c.left));
      r.main->App()->put_flt(comp, "gui.top", static_cast<float>(c.top));
      r.main->ShowPanel(comp + ".gui");
      QWidget* p = r.find(comp, "gui");
      QVERIFY2(p, c.caption);
      const bool moves = c.left >= 0 && c.top >= 0;
      QVERIFY2((r.hostOf(p)->pos() == QPoint(c.left, c.top)) == moves, c.caption);
      QCOMPARE(r.hostOf(p)->windowTitle(), QString(c.caption));
      std::string tab;
      GuiStyle s{};
      dynamic_cast<IKvGui*>(p)->get_TabCaption(&tab);
      dynamic_cast<IKvGui*>(p)->GetStyle(&s);
      QCOMPARE(tab, comp);
      QVERIFY(!s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);
    }
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
    };
    const Case cases[] = {
        {'r', "optXAxis", clickSecond, "", "xaxis.on", 'l', 0, "1", 1},
        {'r', "optXAxis", clickSecond, "", "xaxis.on", 'l', 0, "1", 0},  // already so
        {'r', "optXAxis", clickFirst, "", "xaxis.on", 'l', 0, "0", 1},
        {'w', "optDataOrg", clickSecond, "", "dataorg", 'l', 0, "1", 1},
        {'w', "optDataOrg", clickFirst, "", "dataorg", 'l', 0, "0", 1},
        {'r', "chkAdditive", check, "", "hor.offset.additive", 'l', 0, "1", 1},
        {'r', "chkAdditive", check, "", "hor.offset.additive", 'l', 0, "0", 1},
        {'r', "txtFileName", type, "in.txt", "filename", 's', 0, "in.txt", 1},
        {'w', "txtFileName", type, "out.txt", "filename", 's', 0, "out.txt", 1},
        {'r', "txtSepCol", type, ";", "sep.col", 's', 0, ";", 1},
        {'w', "txtSepCol", type, "Tab", "sep.col", 's', 0, "Tab", 1},
        {'w', "txtSepCol", type, "ab", "sep.col", 's', 0, "Tab", 0},  // refused
        {'r', "txtSkipLines", type, "12", "nskiplines", 'l', 0, "12", 2},  // as typed: 1, 12
        {'r', "txtSkipLines", type, "x", "nskiplines", 'l', 0, "0", 1},  // no number: "0"
        {'r', "txtSkipValues", type, "2.6", "nskipvalues", 'l', 0, "3", 2},  // 2, then 3
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
          // File name and separator wait for Enter: no file per typed prefix.
          if (!QString(c.control).startsWith("txtSkip")) QVERIFY2(changes.seen.empty(), c.control);
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
      const QString engine = r.engine(c.panel, c.key, c.kind);
      const QString want = c.kind == 'd' ? r.num(atof(c.after)) : QString(c.after);
      QVERIFY2(engine == want, qPrintable(what + " engine " + engine));
      QVERIFY2(shown(p, c.control) == want, qPrintable(what + " shows " + shown(p, c.control)));
      QVERIFY2(changes.seen.size() == c.writes, qPrintable(what + " writes " + QString::number(changes.seen.size())));
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
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("r", "gui.more"), 1);
    QGroupBox* frame = child<QGroupBox>(p, "fraHorOffset");
    QVERIFY(frame->isVisibleTo(p));
    QVERIFY(p->height() >= frame->geometry().bottom() && p->height() > closed.height());
    QVERIFY(h->height() > hostClosed.height());
    QVERIFY(!child<QGroupBox>(r.writer, "fraHorOffset"));
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("r", "gui.more"), 0);
    QCOMPARE(p->size(), closed);
    QCOMPARE(h->size(), hostClosed);
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

    // Without an engine a fault is a critical box: number:code:line:description. "Browse"
    // before any Load, and a Load without App.
    for (const char* progId : {"KvText.Import", "KvText.Export"}) {
      std::unique_ptr<QWidget> w(r.main->Controls().Create(progId, nullptr));
      const bool import = QString(progId).endsWith("Import");
      IApp* app = nullptr;
      IKvHost* host = nullptr;
      std::string label = "t9";
      if (import)
        child<QPushButton>(w.get(), "cmdBrowse")->click();
      else
        dynamic_cast<IKvGui*>(w.get())->Load(&app, &host, &label);
      const QStringList parts = lastShown().split(':');
      QVERIFY2(parts.size() >= 4 && parts[2].toLong() > 0, qPrintable(lastShown()));
      QCOMPARE(parts[0], QString(import ? "125012" : "125102"));
      QCOMPARE(parts[1].toLong(), static_cast<long>(E_POINTER));
      QVERIFY2(lastShown().endsWith(import ? "no object" : "no engine"), qPrintable(lastShown()));
    }
  }

 private:
  static std::string CTextPanelFilter() { return "Text File (*.txt);;Comma Seperated Values (*.csv);;All (*.*)"; }
};

KV_QTEST(TextPanelTests)
#include "TextPanelTests.moc"
