// KvMeas.Outputs on the real shell and measurement module: the list and first selection at
// Load, what each selection shows, the range fields' steps and empty commits, the N-cycle
// boxes, refreshes after script assignments, drag payloads and handler numbers.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <cmath>

#include "ModMeas/gui/tests/MeasPanelRig.h"
#include "desktop/Twips.h"

namespace {

QStringList items(QListWidget* l) {
  QStringList out;
  for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
  return out;
}

void choose(QListWidget* l, int row) {
  l->clearSelection();
  l->setCurrentRow(row);
}

QString dragged(QListWidget* l) {
  std::unique_ptr<QMimeData> d(l->model()->mimeData(l->selectionModel()->selectedIndexes()));
  return d ? d->text() : QString();
}

std::string status(PanelRig& r) {
  std::string s;
  r.main->Utils()->get_StatusBar(&s);
  return s;
}

}  // namespace

class OutputsTests : public QObject {
  Q_OBJECT

 private slots:
  void loadListsTheMeasurementsAndSelectsTheFirst() {
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    QCOMPARE(r.exec("m.ckjnc.start = 4"), 0L);
    QCOMPARE(r.exec("m.CkPeriod.minlmt = 9.5e-9"), 0L);
    ChangeLog changes(r.main->App());
    r.main->ShowPanel("m.ogui");
    QWidget* p = r.find("m", "ogui");
    QVERIFY(p);
    QCOMPARE(changes.seen, std::vector<std::string>());
    QCOMPARE(r.hostOf(p)->windowTitle(), QString("m: Measurements"));
    QListWidget* l = child<QListWidget>(p, "lstMeas");
    QCOMPARE(items(l).join(","), QString::fromStdString(r.str("m", "meas.labels?")));
    QCOMPARE(l->currentRow(), 0);
    QCOMPARE(child<QLabel>(p, "lblMax")->text(), QString("Max (s)"));
    QCOMPARE(child<TextUpdown>(p, "txtMax")->Text(), QString());  // no limit
    QCOMPARE(child<TextUpdown>(p, "txtMin")->Text(), r.num(9.5e-9));
    QCOMPARE(child<TextUpdown>(p, "txtStart")->Text(), QString("4"));
    QCOMPARE(child<TextUpdown>(p, "txtCycles")->Text(), QString("6"));
    QVERIFY(!child<QGroupBox>(p, "fraJnc")->isVisibleTo(p));
    QVERIFY(!child<QGroupBox>(p, "fraData")->isVisibleTo(p));
    QCOMPARE(status(r), std::string("Ck Period configuration (CkPeriod)"));
    GuiStyle s{};
    dynamic_cast<IKvGui*>(p)->GetStyle(&s);
    QVERIFY(s.bResizeable && s.bToolwnd && s.bCloseable && !s.bMaximize);
    // The host was asked for 4000 x 2000 twips.
    QCOMPARE(p->size(), QSize(KvTwipsToPixels(4000), KvTwipsToPixels(2000)));
  }

  void eachSelectionShowsItsRangeAndOptions() {
    struct Case {
      const char* kind;
      const char* name;
      const char* unit;
      bool jnc, data;
      double minStep;
    };
    const Case cases[] = {
        {"meas.ck", "CkJNC", "s", true, false, 1e-12},      {"meas.ck", "CkFreq", "Hz", false, false, 1},
        {"meas.ck", "CkPDuty", "%", false, false, 1},       {"meas.ck", "CkRiseRate", "V/ns", false, false, 0.001},
        {"meas.dt", "DtPeriod", "s", false, true, 1e-12},   {"meas.dt", "DtFreq", "Hz", false, true, 1},
        {"meas.dt", "DtRiseTime", "s", false, false, 1e-12}, {"meas.chch", "ChSkew", "s", false, false, 1e-12},
    };
    PanelRig r;
    int made = 0;
    for (const Case& c : cases) {
      const std::string comp = "m" + std::to_string(++made);
      QWidget* p = r.show(comp, c.kind, "ogui");
      QVERIFY(p);
      QListWidget* l = child<QListWidget>(p, "lstMeas");
      const QString names = QString::fromStdString(r.str(comp, "meas.names?"));
      const int row = static_cast<int>(names.split(",").indexOf(c.name));
      QVERIFY(row >= 0);
      choose(l, row);
      const QString what = c.name;
      QVERIFY2(child<QLabel>(p, "lblMax")->text() == QString("Max (%1)").arg(c.unit), qPrintable(what));
      QVERIFY2(child<QLabel>(p, "lblMin")->text() == QString("Min (%1)").arg(c.unit), qPrintable(what));
      QVERIFY2(child<QGroupBox>(p, "fraJnc")->isVisibleTo(p) == c.jnc, qPrintable(what));
      QVERIFY2(child<QGroupBox>(p, "fraData")->isVisibleTo(p) == c.data, qPrintable(what));
      QCOMPARE(status(r), l->item(row)->text().toStdString() + " configuration (" + c.name + ")");
      // Stepping up from no limit gives the unit's smallest step.
      act(child<TextUpdown>(p, "txtMax"), 0, "");
      QVERIFY2(r.dbl(comp, std::string(c.name) + ".maxlmt") == c.minStep, qPrintable(what));
      if (c.data) {
        QCOMPARE(child<TextUpdown>(p, "txtFreq")->Text(), r.num(r.dbl(comp, std::string(c.name) + ".freq")));
        QCOMPARE(child<QCheckBox>(p, "chkAuto")->isChecked(), true);
        child<QCheckBox>(p, "chkAuto")->click();
        QCOMPARE(r.lng(comp, std::string(c.name) + ".freq.auto"), 0);
        act(child<TextUpdown>(p, "txtFreq"), 2, "2G");
        QCOMPARE(r.dbl(comp, std::string(c.name) + ".freq"), 2e9);
      }
    }
    // Components without the N-cycle measurement load without a fault.
    QVERIFY2(r.log().find("Error 123") == std::string::npos, r.log().c_str());
  }

  void rangeStepsCommitsAndReverts() {
    struct Case {
      const char* field;  // txtMax / txtMin
      double start;       // the engine's limit before (an infinity: no limit)
      int action;
      const char* typed;
      double expect;
    };
    const double inf = HUGE_VAL;
    const Case cases[] = {
        {"txtMax", 1e-8, 0, nullptr, 1e-8 + 1e-11},
        {"txtMax", 1e-8, 1, nullptr, 1e-8 - 1e-12},  // at a decade, down steps the decade below
        {"txtMax", 1e-8, 2, "", inf},                // empty: no limit
        {"txtMin", -1e-8, 2, "", -inf},
        {"txtMin", -inf, 2, "2n", 2e-9},
        {"txtMax", 5e-9, 3, "7n", 5e-9},             // revert
        {"txtMin", 3e-12, 1, nullptr, 3e-12 - 1e-12},  // never less than 1e-12
        {"txtMax", inf, 3, "1", inf},
    };
    PanelRig r;
    QWidget* p = r.show("m", "meas.ck", "ogui");
    for (const Case& c : cases) {
      const std::string key = std::string("CkPeriod.") + (c.field[3] == 'M' && c.field[4] == 'a' ? "maxlmt" : "minlmt");
      r.main->App()->put_dbl("m", key, c.start);
      TextUpdown* f = child<TextUpdown>(p, c.field);
      ChangeLog changes(r.main->App());
      act(f, c.action, c.typed ? QString(c.typed) : QString());
      const double got = r.dbl("m", key);
      const QString what = QString("%1 %2 from %3 gave %4").arg(c.field).arg(c.action).arg(c.start).arg(got);
      QVERIFY2(std::isinf(c.expect) ? got == c.expect : std::fabs(got - c.expect) <= 1e-24, qPrintable(what));
      QVERIFY2(f->Text() == (std::isinf(c.expect) ? QString() : r.num(c.expect)), qPrintable(what + " shows " + f->Text()));
      if (c.action == 3) QCOMPARE(changes.seen, std::vector<std::string>());
    }
  }

  void cycleBoxesTakeWholeNumbersFromOne() {
    struct Case {
      const char* field;
      const char* key;
      int action;
      const char* typed;
      int expect;
    };
    const Case cases[] = {
        {"txtCycles", "ckjnc.n", 2, "9", 9},      {"txtCycles", "ckjnc.n", 2, "0", 9},
        {"txtCycles", "ckjnc.n", 2, "-4", 9},     {"txtCycles", "ckjnc.n", 0, nullptr, 10},
        {"txtStart", "ckjnc.start", 1, nullptr, 1},  // already at 1: stays
        {"txtStart", "ckjnc.start", 2, "3", 3},   {"txtStart", "ckjnc.start", 2, "2.6", 3},
        {"txtStart", "ckjnc.start", 2, "", 3},
    };
    PanelRig r;
    QWidget* p = r.show("m", "meas.ck", "ogui");
    QListWidget* l = child<QListWidget>(p, "lstMeas");
    choose(l, QString::fromStdString(r.str("m", "meas.names?")).split(",").indexOf("CkJNC"));
    for (const Case& c : cases) {
      TextUpdown* f = child<TextUpdown>(p, c.field);
      act(f, c.action, c.typed ? QString(c.typed) : QString());
      const QString what = QString("%1 %2 '%3'").arg(c.field).arg(c.action).arg(c.typed);
      QVERIFY2(r.lng("m", c.key) == c.expect, qPrintable(what));
      QVERIFY2(f->Text() == QString::number(c.expect), qPrintable(what + " shows " + f->Text()));
    }
  }

  void scriptAssignmentsRefreshTheSelected() {
    PanelRig r;
    QWidget* p = r.show("m", "meas.all", "ogui");
    QListWidget* l = child<QListWidget>(p, "lstMeas");
    const QStringList names = QString::fromStdString(r.str("m", "meas.names?")).split(",");
    choose(l, names.indexOf("CkJNC"));
    struct Case {
      const char* line;
      const char* field;
      const char* shows;  // null: the engine's value of key
      const char* key;
    };
    const Case cases[] = {
        {"m.CkJNC.maxlmt = 2e-8", "txtMax", nullptr, "CkJNC.maxlmt"},
        {"m.CkJNC.minlmt = 1e-9", "txtMin", nullptr, "CkJNC.minlmt"},
        {"m.ckjnc.n = 12", "txtCycles", "12", nullptr},
        {"m.ckjnc.start = 5", "txtStart", "5", nullptr},
        // Another measurement's limit is not the one shown.
        {"m.CkPeriod.maxlmt = 7e-9", "txtMax", nullptr, "CkJNC.maxlmt"},
    };
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec(c.line), 0L);
      QVERIFY2(changes.seen.size() == 1, c.line);  // nothing written back
      const QString want = c.shows ? QString(c.shows) : r.num(r.dbl("m", c.key));
      QVERIFY2(child<TextUpdown>(p, c.field)->Text() == want, c.line);
    }
    choose(l, names.indexOf("DtTIE"));
    QCOMPARE(r.exec("m.DtTIE.freq = 1.5e9"), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtFreq")->Text(), r.num(1.5e9));
    {
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec("m.DtTIE.freq.auto = 0"), 0L);
      QVERIFY(!child<QCheckBox>(p, "chkAuto")->isChecked());
      QCOMPARE(changes.seen.size(), size_t(1));  // the box's refresh writes nothing back
    }
    QCOMPARE(r.exec("m.DtPeriod.freq = 3e9"), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtFreq")->Text(), r.num(1.5e9));
  }

  void dragCarriesTheSelectedPositions() {
    struct Case {
      std::vector<int> rows;
      const char* text;
    };
    const Case cases[] = {{{0, 2}, "SRC:MEAS;COMP:m;TYPE:1 3 "}, {{4}, "SRC:MEAS;COMP:m;TYPE:5 "},
                          {{3, 1, 0}, "SRC:MEAS;COMP:m;TYPE:1 2 4 "}, {{}, ""}};
    PanelRig r;
    QWidget* p = r.show("m", "meas.ck", "ogui");
    QListWidget* l = child<QListWidget>(p, "lstMeas");
    for (const Case& c : cases) {
      l->clearSelection();
      for (int row : c.rows) l->item(row)->setSelected(true);
      QCOMPARE(dragged(l), QString(c.text));
    }
    // Dragged as a copy: the entries stay in the list whatever the target does.
    QCOMPARE(l->model()->supportedDragActions(), Qt::DropActions(Qt::CopyAction));
  }

  void faultsReportTheirHandlerNumbers() {
    PanelRig r;
    QWidget* p = r.show("m", "meas.ck", "ogui");
    r.reload(p, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 123003/") != std::string::npos, r.log().c_str());
    r.reload(p, "m");
    QCOMPARE(child<QListWidget>(p, "lstMeas")->count(), 17);
  }
};

KV_QTEST(OutputsTests)
#include "OutputsTests.moc"
