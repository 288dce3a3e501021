// KvFilter.Filter on the real shell and filter module: what Load shows (and that it writes
// nothing) for each type, the coefficient boxes with Apply and Refresh, the step rules, what each
// list and tab writes, refreshes after script assignments, the state reset seen in a real run,
// and the handler numbers of provoked failures.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include "KvCtlLib/ToggleButton.h"
#include "ModMeas/gui/tests/MeasPanelRig.h"
#include "desktop/RunControl.h"

namespace {

QString listText(QComboBox* c) { return c->currentIndex() < 0 ? c->placeholderText() : c->currentText(); }

void choose(QComboBox* c, const QString& text) {
  const int i = c->findText(text, Qt::MatchFixedString);
  QVERIFY2(i >= 0, qPrintable(text));
  c->setCurrentIndex(i);
  emit c->activated(i);
}

// Types into a coefficient box as the user does (the box's change signal marks an edit).
void type(QPlainTextEdit* box, const QString& text) { box->setPlainText(text); }

// The filter's settings as the panel would set them, so Load has something to show.
void preset(PanelRig& r, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) QVERIFY2(r.exec(l) == 0, l.c_str());
}

}  // namespace

class FilterPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheEngineAndWritesNothing() {
    struct Case {
      const char* type;
      int more, freqmode;
      const char* response;
    };
    for (const Case& c : {Case{"FIR", 0, 0, "lowpass"}, Case{"IIR", 1, 0, "bandpass"}, Case{"FIR", 1, 1, "bandstop"}}) {
      const bool iir = std::string(c.type) == "IIR";
      PanelRig r;
      preset(r, {"load f = filter", "f.coeffs = \"0.25 0.5 0.25\"", "f.y.coeffs = \"1 -0.5\"", "f.delimiter = \"Tab\"",
                 std::string("f.fir.response = \"") + c.response + "\"", "f.fir.window = \"blackman\"",
                 "f.fir.freq1 = 0.1", "f.fir.freq2 = 0.3", "f.fir.order = 20", "f.stages.count = 3", "f.stages.gain = 0.5",
                 "f.gain = 2", "f.decimation = 4", "f.continuous = 1", "f.bypass = 1",
                 std::string("f.filtertype = \"") + c.type + "\"", "f.gui.more = " + std::to_string(c.more),
                 "f.freqmode = " + std::to_string(c.freqmode)});
      const std::string x = r.str("f", "coeffs"), y = r.str("f", "y.coeffs");  // a design replaces them
      ChangeLog log(r.main->App());
      QWidget* p = r.find("f", "gui");
      r.main->ShowPanel("f.gui");
      p = r.find("f", "gui");
      QVERIFY(p);
      QCOMPARE(log.seen, std::vector<std::string>{});
      QCOMPARE(r.hostOf(p)->windowTitle(), "f: Filter");
      QCOMPARE(listText(child<QComboBox>(p, "cmbType")), c.type);
      QCOMPARE(child<QPlainTextEdit>(p, "txtCoeffs")->toPlainText().toStdString(), x);
      QCOMPARE(child<QPlainTextEdit>(p, "txtYCoeffs")->toPlainText().toStdString(), y);
      QCOMPARE(child<QPlainTextEdit>(p, "txtYCoeffs")->isVisibleTo(p), iir);
      const QString n = QString::number(r.lng("f", "count"));
      QCOMPARE(child<QLabel>(p, "lblCoeffs")->text(), (iir ? "X Coeffs, Cnt = " : "FIR Coeffs, Cnt = ") + n);
      if (iir) QCOMPARE(child<QLabel>(p, "lblYCoeffs")->text(), "Y Coeffs, Cnt = 2");
      QCOMPARE(child<QPlainTextEdit>(p, "txtCoeffs")->toolTip(),
               iir ? "Enter or paste IIR numerator coefficients" : "Enter or paste FIR filter coefficients");
      QVERIFY(!child<QPushButton>(p, "cmdApply")->isEnabled() && !child<QPushButton>(p, "cmdRefresh")->isEnabled());
      QCOMPARE(listText(child<QComboBox>(p, "cmbDelimiter")), "Tab");
      QCOMPARE(child<QTabWidget>(p, "tabMode")->currentIndex(), c.freqmode);
      QCOMPARE(listText(child<QComboBox>(p, "cmbResponse")), c.response);
      QCOMPARE(child<QComboBox>(p, "cmbResponse")->count(), 4);
      QCOMPARE(listText(child<QComboBox>(p, "cmbWindow")), "blackman");
      QCOMPARE(listText(child<QComboBox>(p, "cmbFreqType")), "Digital (0-0.5)");
      QCOMPARE(child<TextUpdown>(p, "txtFreq2")->isEnabled(), std::string(c.response) != "lowpass");
      const std::pair<const char*, QString> fields[] = {{"txtOrder", "20"}, {"txtFreq1", r.num(0.1)}, {"txtFreq2", r.num(0.3)},
                                                        {"txtStages", "3"}, {"txtStageGain", r.num(0.5)}, {"txtGain", r.num(2)},
                                                        {"txtDecimation", "4"}};
      for (const auto& [name, want] : fields) QCOMPARE(child<TextUpdown>(p, name)->Text(), want);
      QVERIFY(child<QCheckBox>(p, "chkContinuous")->isChecked());
      QCOMPARE(child<ToggleButton>(p, "tglBypass")->Value(), 1);
      QCOMPARE(child<QWidget>(p, "fraMore")->isVisibleTo(p), c.more != 0);
      QCOMPARE(child<QCheckBox>(p, "chkMore")->isChecked(), c.more != 0);
    }
  }

  void coefficientEditsApplyOrCancel() {
    PanelRig r;
    QWidget* p = r.show("f", "filter", "gui");
    QVERIFY(p);
    auto* x = child<QPlainTextEdit>(p, "txtCoeffs");
    auto* y = child<QPlainTextEdit>(p, "txtYCoeffs");
    auto* apply = child<QPushButton>(p, "cmdApply");
    auto* cancel = child<QPushButton>(p, "cmdRefresh");
    choose(child<QComboBox>(p, "cmbType"), "IIR");
    QCOMPARE(r.str("f", "filtertype"), "IIR");
    QVERIFY(y->isVisibleTo(p));
    QCOMPARE(child<QLabel>(p, "lblYCoeffs")->text(), "Y Coeffs, Cnt = 1");
    // An edit enables both buttons; a script's change of the list keeps the edit.
    type(x, "0.5 0.5");
    QVERIFY(apply->isEnabled() && cancel->isEnabled());
    QCOMPARE(r.exec("f.coeffs = \"0.1 0.2 0.3\""), 0L);
    QCOMPARE(x->toPlainText(), "0.5 0.5");
    QCOMPARE(child<QLabel>(p, "lblCoeffs")->text(), "X Coeffs, Cnt = 3");
    // Refresh brings the engine's lists back and disables both.
    cancel->click();
    QCOMPARE(x->toPlainText(), "0.1 0.2 0.3");
    QVERIFY(!apply->isEnabled() && !cancel->isEnabled());
    // Apply writes both lists (IIR) and disables both.
    type(x, "0.2 0.2");
    type(y, "1 -0.6");
    ChangeLog log(r.main->App());
    apply->click();
    QCOMPARE(r.str("f", "coeffs"), "0.2 0.2");
    QCOMPARE(r.str("f", "y.coeffs"), "1 -0.6");
    QCOMPARE(log.seen, (std::vector<std::string>{"f.coeffs", "f.y.coeffs"}));
    QVERIFY(!apply->isEnabled());
    QCOMPARE(child<QLabel>(p, "lblYCoeffs")->text(), "Y Coeffs, Cnt = 2");
    // A refused list stays in its box with the buttons on: the typing is not lost.
    type(y, "0 1");
    apply->click();
    QCOMPARE(r.str("f", "y.coeffs"), "1 -0.6");
    QCOMPARE(y->toPlainText(), "0 1");
    QVERIFY(apply->isEnabled() && cancel->isEnabled());
    cancel->click();
    // Back to FIR: the denominator is hidden, its list kept; FIR writes only the first box.
    choose(child<QComboBox>(p, "cmbType"), "FIR");
    QVERIFY(!y->isVisibleTo(p));
    QCOMPARE(r.str("f", "y.coeffs"), "1 -0.6");
    QCOMPARE(child<QLabel>(p, "lblCoeffs")->text(), "FIR Coeffs, Cnt = 2");
    type(x, "1 2 1");
    type(y, "5");
    apply->click();
    QCOMPARE(r.str("f", "coeffs"), "1 2 1");
    QCOMPARE(r.str("f", "y.coeffs"), "1 -0.6");
  }

  void stepsRevertsAndCommits() {
    struct Case {
      const char* field;
      const char* key;
      double start;
      int action;
      const char* typed;
      double want;
    };
    const Case cases[] = {
        {"txtStages", "stages.count", 1, 1, nullptr, 1},             {"txtStages", "stages.count", 1000000, 0, nullptr, 1000000},
        {"txtStages", "stages.count", 5, 0, nullptr, 6},             {"txtStages", "stages.count", 5, 1, nullptr, 4},
        {"txtStages", "stages.count", 5, 2, "0", 5},                 {"txtDecimation", "decimation", 1, 1, nullptr, 1},
        {"txtDecimation", "decimation", 3, 0, nullptr, 4},           {"txtDecimation", "decimation", 3, 2, "-2", 3},
        {"txtOrder", "fir.order", 1, 1, nullptr, 1},                 {"txtOrder", "fir.order", 10, 0, nullptr, 11},
        {"txtFreq1", "fir.freq1", 0.2, 0, "0", 0.1},                 {"txtFreq1", "fir.freq1", 0.1, 0, nullptr, 0.2},
        {"txtFreq1", "fir.freq1", 0.2, 1, nullptr, 0.1},             {"txtFreq2", "fir.freq2", 0.2, 1, "0", 0.2},
        {"txtFreq2", "fir.freq2", 0.2, 1, "-1", 0.2},                {"txtFreq2", "fir.freq2", 0.2, 0, nullptr, 0.5 - 1e-17},
        {"txtGain", "gain", 1, 0, nullptr, 2},                       {"txtStageGain", "stages.gain", 2, 1, nullptr, 1},
        {"txtGain", "gain", 1, 2, "3.5", 3.5},                       {"txtStageGain", "stages.gain", 2, 3, "7", 2},
    };
    PanelRig r;
    QWidget* p = r.show("f", "filter", "gui");
    QVERIFY(p);
    for (const Case& c : cases) {
      QCOMPARE(r.exec(std::string("f.") + c.key + " = " + r.num(c.start).toStdString()), 0L);
      auto* f = child<TextUpdown>(p, c.field);
      act(f, c.action, c.typed ? QString(c.typed) : QString());
      const bool whole = r.dbl("f", c.key) == -12345;
      const double got = whole ? r.lng("f", c.key) : r.dbl("f", c.key);
      // 0.5 itself is no digital band edge: the step past 0.2 is refused.
      const double want = c.want == 0.5 - 1e-17 ? 0.2 : c.want;
      QVERIFY2(std::abs(got - want) <= 1e-12, qPrintable(QString("%1 %2 -> %3").arg(c.field).arg(c.start).arg(got)));
      QCOMPARE(f->Text(), whole ? QString::number(qint64(want)) : r.num(want));  // the engine's value shown again
    }
  }

  void listsTabsAndButtonsWrite() {
    PanelRig r;
    QWidget* p = r.show("f", "filter", "gui");
    QVERIFY(p);
    choose(child<QComboBox>(p, "cmbDelimiter"), "Line");
    QCOMPARE(r.str("f", "delimiter"), "Line");
    choose(child<QComboBox>(p, "cmbFreqType"), "Analog");
    QCOMPARE(r.lng("f", "fir.freqtype"), 1);
    choose(child<QComboBox>(p, "cmbWindow"), "kaiser");
    QCOMPARE(r.str("f", "fir.window"), "kaiser");
    choose(child<QComboBox>(p, "cmbResponse"), "bandstop");
    QCOMPARE(r.str("f", "fir.response"), "bandstop");
    QVERIFY(child<TextUpdown>(p, "txtFreq2")->isEnabled() && child<QLabel>(p, "lblFreq2")->isEnabled());
    choose(child<QComboBox>(p, "cmbResponse"), "highpass");
    QVERIFY(!child<TextUpdown>(p, "txtFreq2")->isEnabled() && !child<QLabel>(p, "lblFreq2")->isEnabled());
    child<QTabWidget>(p, "tabMode")->setCurrentIndex(1);
    QCOMPARE(r.lng("f", "freqmode"), 1);
    child<QTabWidget>(p, "tabMode")->setCurrentIndex(0);
    QCOMPARE(r.lng("f", "freqmode"), 0);
    child<QCheckBox>(p, "chkMore")->click();
    QVERIFY(child<QWidget>(p, "fraMore")->isVisibleTo(p));
    QCOMPARE(r.lng("f", "gui.more"), 1);
    child<QCheckBox>(p, "chkContinuous")->click();
    QCOMPARE(r.lng("f", "continuous"), 1);
    child<ToggleButton>(p, "tglBypass")->click();
    QCOMPARE(r.lng("f", "bypass"), 1);
    child<ToggleButton>(p, "tglBypass")->click();
    QCOMPARE(r.lng("f", "bypass"), 0);
  }

  void eachKeyRefreshesItsControl() {
    PanelRig r;
    QWidget* p = r.show("f", "filter", "gui");
    QVERIFY(p);
    struct Case {
      const char* line;
      std::function<bool()> shown;
    };
    const Case cases[] = {
        {"f.filtertype = \"IIR\"", [&] { return child<QPlainTextEdit>(p, "txtYCoeffs")->isVisibleTo(p); }},
        {"f.y.coeffs = \"1 0.5 0.25\"", [&] { return child<QLabel>(p, "lblYCoeffs")->text() == "Y Coeffs, Cnt = 3"; }},
        {"f.delimiter = \"Tab\"", [&] { return listText(child<QComboBox>(p, "cmbDelimiter")) == "Tab"; }},
        {"f.fir.response = \"bandpass\"", [&] { return child<TextUpdown>(p, "txtFreq2")->isEnabled(); }},
        {"f.fir.window = \"hann\"", [&] { return listText(child<QComboBox>(p, "cmbWindow")) == "hann"; }},
        {"f.fir.freqtype = 1", [&] { return child<QComboBox>(p, "cmbFreqType")->currentIndex() == 1; }},
        {"f.fir.order = 7", [&] { return child<TextUpdown>(p, "txtOrder")->Text() == "7"; }},
        {"f.fir.freq1 = 1000", [&] { return child<TextUpdown>(p, "txtFreq1")->Text() == r.num(1000); }},
        {"f.fir.freq2 = 2000", [&] { return child<TextUpdown>(p, "txtFreq2")->Text() == r.num(2000); }},
        {"f.freqmode = 1", [&] { return child<QTabWidget>(p, "tabMode")->currentIndex() == 1; }},
        {"f.stages.count = 9", [&] { return child<TextUpdown>(p, "txtStages")->Text() == "9"; }},
        {"f.stages.gain = 3", [&] { return child<TextUpdown>(p, "txtStageGain")->Text() == r.num(3); }},
        {"f.gain = 0.25", [&] { return child<TextUpdown>(p, "txtGain")->Text() == r.num(0.25); }},
        {"f.decimation = 5", [&] { return child<TextUpdown>(p, "txtDecimation")->Text() == "5"; }},
        {"f.continuous = 1", [&] { return child<QCheckBox>(p, "chkContinuous")->isChecked(); }},
        {"f.bypass = 1", [&] { return child<ToggleButton>(p, "tglBypass")->Value() == 1; }},
        {"f.gui.more = 1", [&] { return child<QWidget>(p, "fraMore")->isVisibleTo(p); }},
        {"f.filtertype = \"FIR\"", [&] { return !child<QPlainTextEdit>(p, "txtYCoeffs")->isVisibleTo(p); }},
    };
    for (const Case& c : cases) {
      QVERIFY2(r.exec(c.line) == 0, qPrintable(c.line + QString(" ") + QString::fromStdString(r.log())));
      QVERIFY2(c.shown(), c.line);
    }
    // In frequency mode the designed list arrives in the box and its count in the caption.
    QCOMPARE(r.exec("f.freqmode = 1"), 0L);
    QCOMPARE(r.exec("f.fir.freqtype = 0"), 0L);
    QCOMPARE(r.exec("f.fir.freq1 = 0.1"), 0L);
    QCOMPARE(r.exec("f.fir.order = 10"), 0L);
    QCOMPARE(child<QPlainTextEdit>(p, "txtCoeffs")->toPlainText().toStdString(), r.str("f", "coeffs"));
    QCOMPARE(child<QLabel>(p, "lblCoeffs")->text(), "FIR Coeffs, Cnt = " + QString::number(r.lng("f", "count")));
  }

  void resetStateClearsTheFilterHistory() {
    // A frozen record through an IIR with a long memory in continuous mode: the second pass
    // starts from the first one's state, a pass after "Reset State" from rest again.
    QTemporaryDir dir;
    const QString file = dir.filePath("out.txt");
    PanelRig r;
    preset(r, {"load g = siggen", "g.freeze = 1", "g.reclen = 64", "load f = filter", "f.filtertype = \"IIR\"",
               "f.coeffs = \"0.1\"", "f.y.coeffs = \"1 -0.9\"", "f.continuous = 1", "f.in = g.out", "load w = textio.writer",
               "w.filename = \"" + file.toStdString() + "\"", "w.in = f.out"});
    r.main->ShowPanel("f.gui");
    QWidget* p = r.find("f", "gui");
    QVERIFY(p);
    auto pass = [&] {
      r.main->Control()->Run();
      r.waitFor([&] { return !r.main->Control()->Running() && !r.busy(); });
      QFile f(file);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray first = pass(), second = pass();
    QVERIFY(!first.isEmpty());
    QVERIFY(first != second);
    ChangeLog log(r.main->App());
    child<QPushButton>(p, "cmdReset")->click();
    QCOMPARE(log.seen, std::vector<std::string>{});  // a reset is no setting
    QCOMPARE(pass(), first);
  }

  void faultsReportTheirHandlerNumbers() {
    PanelRig r;
    QWidget* p = r.show("f", "filter", "gui");
    QVERIFY(p);
    r.reload(p, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 128002/") != std::string::npos, r.log().c_str());
    const std::pair<const char*, const char*> fields[] = {
        {"txtOrder", "128015"},  {"txtFreq1", "128016"},     {"txtFreq2", "128017"},      {"txtStages", "128018"},
        {"txtStageGain", "128019"}, {"txtGain", "128020"}, {"txtDecimation", "128021"},
    };
    for (const auto& [name, number] : fields) {
      act(child<TextUpdown>(p, name), 2, "1");
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, name);
    }
    const std::pair<const char*, const char*> clicks[] = {{"chkMore", "128025"}, {"chkContinuous", "128022"},
                                                          {"tglBypass", "128023"}, {"cmdApply", "128006"}};
    child<QPushButton>(p, "cmdApply")->setEnabled(true);
    for (const auto& [name, number] : clicks) {
      child<QAbstractButton>(p, name)->click();
      QVERIFY2(r.log().find(std::string("nosuch: Error ") + number + "/") != std::string::npos, name);
    }
    child<QComboBox>(p, "cmbFreqType")->activated(1);
    QVERIFY(r.log().find("nosuch: Error 128014/") != std::string::npos);
    r.reload(p, "f");
    act(child<TextUpdown>(p, "txtGain"), 2, "4");
    QCOMPARE(r.dbl("f", "gain"), 4.0);
  }
};

KV_QTEST(FilterPanelTests)
#include "FilterPanelTests.moc"
