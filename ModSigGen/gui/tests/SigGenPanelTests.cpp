// KvSigGen.SigGen on the real shell and signal generator: what Load shows (and that it writes
// nothing), what each waveform makes of the shape field and the noise list, the modulation's
// enabling, the step rules, refreshes after script assignments, "More" and the panel's size,
// and the handler numbers of provoked failures.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

QString listText(QComboBox* c) { return c->currentIndex() < 0 ? c->placeholderText() : c->currentText(); }

QString entries(QComboBox* c) {
  QStringList out;
  for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
  return out.join(",");
}

// Picks an entry as the user does.
void choose(QComboBox* c, const QString& text) {
  const int i = c->findText(text, Qt::MatchFixedString);
  QVERIFY2(i >= 0, qPrintable(text));
  c->setCurrentIndex(i);
  emit c->activated(i);
}

std::string answer(PanelRig& r, const std::string& line) {
  std::string a;
  long res = -1;
  r.main->App()->Execute(line, &a, &res);
  return a;
}

std::string unitOf(PanelRig& r, const std::string& key) {
  std::string u;
  r.main->App()->get_unit("g", key, &u);
  return u;
}

// What was written: the engine also reports each call of a list command, which writes nothing.
std::vector<std::string> writes(const ChangeLog& log) {
  std::vector<std::string> out;
  for (const std::string& s : log.seen)
    if (s.size() < 6 || s.compare(s.size() - 6, 6, ".types") != 0) out.push_back(s);
  return out;
}

bool near(double a, double b) { return b == 0 ? a == 0 : std::fabs(a - b) <= 1e-12 * std::fabs(b); }

// The panel's extent: the bottom right corner of a child, plus the margin.
QSize holding(QWidget* w) { return {w->geometry().right() + 1 + 6, w->geometry().bottom() + 1 + 6}; }

}  // namespace

class SigGenPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheEngineAndWritesNothing() {
    struct Case {
      int more;
      const char* mod;
    };
    // Without "More" the modulation list is not filled: the engine's value decides.
    for (const Case& c : {Case{0, "FM"}, Case{1, "FM"}, Case{0, "Off"}}) {
      const int more = c.more;
      const bool on = std::string(c.mod) != "Off";
      PanelRig r;
      for (const char* l : {"load g = siggen", "g.type = \"triangle\"", "g.freq = 2500", "g.pk2pk = 3", "g.offset = -0.25",
                            "g.samplerate = 2M", "g.reclen = 4096", "g.symmetry = 30", "g.mod.gain = 0.5",
                            "g.hor.offset = 1e-6", "g.hor.offset.additive = 1", "g.freeze = 1"})
        QVERIFY2(r.exec(l) == 0, l);
      QCOMPARE(r.exec("g.gui.more = " + std::to_string(more)), 0L);
      QCOMPARE(r.exec(std::string("g.mod.type = \"") + c.mod + "\""), 0L);
      ChangeLog changes(r.main->App());
      r.main->ShowPanel("g.gui");
      QWidget* p = r.find("g", "gui");
      QVERIFY(p);
      QCOMPARE(writes(changes), std::vector<std::string>());
      QCOMPARE(r.hostOf(p)->windowTitle(), QString("g: SigGen"));
      std::string tab;
      dynamic_cast<IKvGui*>(p)->get_TabCaption(&tab);
      QCOMPARE(tab, std::string("g"));
      GuiStyle s{};
      dynamic_cast<IKvGui*>(p)->GetStyle(&s);
      QVERIFY(!s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);

      QCOMPARE(entries(child<QComboBox>(p, "cmbType")), QString::fromStdString(answer(r, "g.wfm.types()")));
      QCOMPARE(listText(child<QComboBox>(p, "cmbType")), QString("triangle"));
      QCOMPARE(child<TextUpdown>(p, "txtFreq")->Text(), r.num(2500));
      QCOMPARE(child<TextUpdown>(p, "txtPk2pk")->Text(), r.num(3));
      QCOMPARE(child<TextUpdown>(p, "txtOffset")->Text(), r.num(-0.25));
      QCOMPARE(child<TextUpdown>(p, "txtRate")->Text(), r.num(2e6));
      QCOMPARE(child<TextUpdown>(p, "txtReclen")->Text(), QString("4096"));
      QCOMPARE(child<QLabel>(p, "lblShape")->text(), QString("Symmetry (%)"));
      QCOMPARE(child<TextUpdown>(p, "txtShape")->Text(), r.num(30));
      QVERIFY(!child<QComboBox>(p, "cmbNoise")->isVisibleTo(p));
      QCOMPARE(child<TextUpdown>(p, "txtHorOffset")->Text(), r.num(1e-6));
      QVERIFY(child<QCheckBox>(p, "chkAdditive")->isChecked());
      QVERIFY(child<QCheckBox>(p, "chkFreeze")->isChecked());
      // "More" as stored; the freeze box and both frames only with it.
      QCOMPARE(child<QCheckBox>(p, "chkMore")->isChecked(), more == 1);
      for (const char* w : {"chkFreeze", "fraModulation", "fraHorOffset"})
        QVERIFY2(child<QWidget>(p, w)->isVisibleTo(p) == (more == 1), w);
      // The modulation decides the enabling at Load too, with or without its list.
      QCOMPARE(child<TextUpdown>(p, "txtRate")->isEnabled(), !on);
      QCOMPARE(child<QLabel>(p, "lblReclen")->isEnabled(), !on);
      QCOMPARE(child<TextUpdown>(p, "txtGain")->isEnabled(), on);
      if (on) {
        QCOMPARE(child<TextUpdown>(p, "txtGain")->Text(), r.num(0.5));
        QCOMPARE(child<QLabel>(p, "lblGainUnit")->text(), QString::fromStdString(unitOf(r, "mod.gain")));
      }
      QCOMPARE(listText(child<QComboBox>(p, "cmbModType")), more ? QString(c.mod) : QString());
    }
  }

  void eachWaveformShapesTheField() {
    struct Case {
      const char* type;
      const char* caption;  // null: the noise list instead of the field
      const char* key;      // the value the field shows; null: "50"
      bool enabled;
    };
    // In this order: a waveform the panel does not know keeps the caption and key before it.
    const Case cases[] = {
        {"square", "Duty Cycle (%)", "duty", true}, {"sine", "Symmetry (%)", nullptr, false},
        {"dc", "Symmetry (%)", nullptr, false},  // nothing to edit after a sine
        {"pulse", "Width (s)", "width", true},      {"dc", "Width (s)", "width", true},
        {"triangle", "Symmetry (%)", "symmetry", true}, {"noise", nullptr, nullptr, true},
        {"prbs", "Symmetry (%)", "symmetry", true},
    };
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    for (const char* l : {"g.duty = 30", "g.symmetry = 40", "g.width = 2m", "g.noise.type = \"uniform\""}) QCOMPARE(r.exec(l), 0L);
    QComboBox* type = child<QComboBox>(p, "cmbType");
    for (bool byList : {false, true}) {
      for (const Case& c : cases) {
        const QString what = QString(byList ? "chosen " : "assigned ") + c.type;
        ChangeLog changes(r.main->App());
        if (byList)
          choose(type, c.type);
        else
          QCOMPARE(r.exec(std::string("g.type = \"") + c.type + "\""), 0L);
        // One write: the script's or the list's, none back from the refresh.
        QVERIFY2(writes(changes) == std::vector<std::string>{"g.type"}, qPrintable(what));
        QCOMPARE(r.str("g", "type"), std::string(c.type));
        QCOMPARE(listText(type), QString(c.type));
        TextUpdown* shape = child<TextUpdown>(p, "txtShape");
        QLabel* caption = child<QLabel>(p, "lblShape");
        QComboBox* noise = child<QComboBox>(p, "cmbNoise");
        QVERIFY2(noise->isVisibleTo(p) == !c.caption, qPrintable(what));
        QVERIFY2(shape->isVisibleTo(p) == !!c.caption, qPrintable(what));
        QVERIFY2(caption->isVisibleTo(p) == !!c.caption, qPrintable(what));
        if (c.caption) {
          QVERIFY2(caption->text() == c.caption, qPrintable(what + ": " + caption->text()));
          QVERIFY2(shape->isEnabled() == c.enabled && caption->isEnabled() == c.enabled, qPrintable(what));
          QVERIFY2(shape->Text() == (c.key ? r.num(r.dbl("g", c.key)) : QString("50")), qPrintable(what + ": " + shape->Text()));
        } else {
          QCOMPARE(entries(noise), QString::fromStdString(answer(r, "g.noise.types()")));
          QCOMPARE(listText(noise), QString("uniform"));
          QVERIFY(noise->isEnabled() && child<QLabel>(p, "lblNoise")->isVisibleTo(p));
          QCOMPARE(child<QLabel>(p, "lblNoise")->text(), QString("Noise Type"));
        }
      }
    }
    // The noise list writes only a change.
    QCOMPARE(r.exec("g.type = \"noise\""), 0L);
    QComboBox* noise = child<QComboBox>(p, "cmbNoise");
    for (const char* kind : {"gaussian", "gaussian", "uniform"}) {
      const std::string before = r.str("g", "noise.type");
      ChangeLog changes(r.main->App());
      choose(noise, kind);
      QCOMPARE(r.str("g", "noise.type"), std::string(kind));
      QCOMPARE(writes(changes).size(), before == kind ? size_t(0) : size_t(1));
    }
  }

  void stepsRevertsAndCommits() {
    struct Case {
      const char* type;
      const char* field;
      const char* key;
      double start;
      int action;
      const char* typed;  // null: the field as shown
      double expect;      // the engine's value after; NaN: one offset step from start
      int times = 1;
      double amplitude = 2;         // pk2pk in the engine
      const char* ampText = nullptr;  // typed into the amplitude field, not committed
    };
    const double step = NAN;
    const Case cases[] = {
        {"sine", "txtFreq", "freq", 1000, 0, nullptr, 2000},
        {"sine", "txtFreq", "freq", 1000, 1, nullptr, 500},
        {"sine", "txtFreq", "freq", 1000, 2, "2.5k", 2500},
        {"sine", "txtFreq", "freq", 1000, 2, "-5", 1000},  // refused by the generator
        {"sine", "txtFreq", "freq", 1000, 3, "9", 1000},   // revert
        {"sine", "txtPk2pk", "pk2pk", 2, 1, nullptr, 1},
        // The offset steps by a tenth of the amplitude shown, and lands on 0 exactly.
        {"sine", "txtOffset", "offset", 0, 0, nullptr, 0.2},
        {"sine", "txtOffset", "offset", 0.3, 1, nullptr, 0.0, 3, 1},
        {"sine", "txtOffset", "offset", 1, 1, nullptr, 0.5, 1, 2, "5"},
        {"sine", "txtOffset", "offset", 0.07, 1, nullptr, 0.0, 1, 2, "0.7"},
        {"sine", "txtRate", "samplerate", 1e6, 0, nullptr, 2e6},
        {"sine", "txtReclen", "reclen", 1000, 0, nullptr, 2000},
        {"sine", "txtReclen", "reclen", 1000, 2, "1500.6", 1501},
        {"sine", "txtGain", "mod.gain", 1, 0, nullptr, 2},
        {"sine", "txtHorOffset", "hor.offset", 1e-3, 0, nullptr, step},
        {"sine", "txtHorOffset", "hor.offset", 0, 1, nullptr, step},
        // The shape field writes the current waveform's key only.
        {"square", "txtShape", "duty", 50, 0, nullptr, 51},
        {"square", "txtShape", "duty", 0.5, 1, nullptr, 0.5},  // below 0: refused
        {"square", "txtShape", "duty", 50, 2, "75", 75},
        {"triangle", "txtShape", "symmetry", 50, 1, nullptr, 49},
        {"pulse", "txtShape", "width", 1e-4, 0, nullptr, 2e-4},
        {"pulse", "txtShape", "width", 1e-4, 1, nullptr, 5e-5},
        {"pulse", "txtShape", "width", 1e-4, 3, "9", 1e-4},
    };
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    IApp* app = r.main->App();
    for (const Case& c : cases) {
      QCOMPARE(r.exec(std::string("g.type = \"") + c.type + "\""), 0L);
      app->put_dbl("g", "pk2pk", c.amplitude);
      if (std::string(c.key) == "reclen")
        app->put_lng("g", c.key, static_cast<int32_t>(c.start));
      else
        app->put_dbl("g", c.key, c.start);
      if (c.ampText) child<TextUpdown>(p, "txtPk2pk")->SetText(c.ampText);
      double expect = c.expect;
      if (std::isnan(expect)) {
        expect = c.start;
        r.main->Utils()->Step(&expect, c.action == 0 ? 0.001 : -0.001, 1e-12);
      }
      TextUpdown* f = child<TextUpdown>(p, c.field);
      ChangeLog changes(app);
      for (int i = 0; i < c.times; ++i) act(f, c.action, c.typed ? QString(c.typed) : QString());
      const QString what = QString("%1 %2 action %3 from %4").arg(c.type, c.field).arg(c.action).arg(c.start);
      const double got = std::string(c.key) == "reclen" ? r.lng("g", c.key) : r.dbl("g", c.key);
      QVERIFY2(near(got, expect), qPrintable(what + " gave " + QString::number(got, 'g', 17)));
      // The field shows the engine's value again, whether the write was taken, refused or none.
      const QString shown = std::string(c.key) == "reclen" ? QString::number(r.lng("g", c.key)) : r.num(got);
      QVERIFY2(f->Text() == shown, qPrintable(what + " shows " + f->Text()));
      // Nothing but the field's own key is written (no width into the duty cycle).
      for (const std::string& s : writes(changes)) QVERIFY2(s == std::string("g.") + c.key, qPrintable(what + " wrote " + s.c_str()));
      if (c.action == 3) QVERIFY2(writes(changes).empty(), qPrintable(what));
    }
    // Another waveform's value never lands in the shape field.
    QCOMPARE(r.exec("g.type = \"square\""), 0L);
    const QString duty = child<TextUpdown>(p, "txtShape")->Text();
    for (const char* l : {"g.width = 5m", "g.symmetry = 20"}) QCOMPARE(r.exec(l), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtShape")->Text(), duty);
    QCOMPARE(r.exec("g.duty = 12"), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtShape")->Text(), r.num(12));
  }

  void modulationEnablesGainOrRate() {
    struct Case {
      bool byList;
      const char* value;
      bool on;
    };
    const Case cases[] = {{true, "AM", true}, {true, "FM", true}, {false, "OFF", false}, {false, "pm", true}, {true, "Off", false}};
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    child<QCheckBox>(p, "chkMore")->click();
    QComboBox* mod = child<QComboBox>(p, "cmbModType");
    QCOMPARE(entries(mod), QString::fromStdString(answer(r, "g.mod.types()")));
    QString unit = "V/V";
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      if (c.byList)
        choose(mod, c.value);
      else
        QCOMPARE(r.exec(std::string("g.mod.type = \"") + c.value + "\""), 0L);
      const QString what = QString(c.byList ? "chosen " : "assigned ") + c.value;
      QVERIFY2(QString::fromStdString(r.str("g", "mod.type")).compare(c.value, Qt::CaseInsensitive) == 0, qPrintable(what));
      QVERIFY2(writes(changes).size() == 1, qPrintable(what));
      QVERIFY2(listText(mod) == QString::fromStdString(r.str("g", "mod.type")), qPrintable(what));
      for (const char* w : {"lblGain", "txtGain", "lblGainUnit"})
        QVERIFY2(child<QWidget>(p, w)->isEnabled() == c.on, qPrintable(what + " " + w));
      for (const char* w : {"lblRate", "txtRate", "lblReclen", "txtReclen"})
        QVERIFY2(child<QWidget>(p, w)->isEnabled() == !c.on, qPrintable(what + " " + w));
      if (c.on) unit = QString::fromStdString(unitOf(r, "mod.gain"));
      QVERIFY2(child<QLabel>(p, "lblGainUnit")->text() == unit, qPrintable(what + ": " + child<QLabel>(p, "lblGainUnit")->text()));
    }
  }

  void eachKeyRefreshesItsControl() {
    // Each assignment changes its key from the generator's default; the control then shows
    // the engine's value.
    const char* const cases[][2] = {
        {"g.freq = 3300", "txtFreq"},          {"g.pk2pk = 0.7", "txtPk2pk"},
        {"g.offset = 1.5", "txtOffset"},       {"g.samplerate = 48k", "txtRate"},
        {"g.reclen = 777", "txtReclen"},       {"g.mod.gain = 4", "txtGain"},
        {"g.hor.offset = -2e-9", "txtHorOffset"}, {"g.freeze = 1", "chkFreeze"},
        {"g.hor.offset.additive = 1", "chkAdditive"}, {"g.gui.more = 1", "chkMore"},
        {"g.mod.type = \"AM\"", "cmbModType"},   {"g.type = \"noise\"", "cmbType"},
        {"g.noise.type = \"uniform\"", "cmbNoise"},
    };
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    QCOMPARE(r.exec("load h = siggen"), 0L);
    for (const auto& c : cases) {
      const std::string line = c[0], key = line.substr(2, line.find(' ') - 2);
      const QString name = c[1];
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec(line), 0L);
      QVERIFY2(writes(changes).size() == 1, c[0]);
      QString shown, engine;
      if (name.startsWith("txt")) {
        shown = child<TextUpdown>(p, name)->Text();
        engine = key == "reclen" ? QString::number(r.lng("g", key)) : r.num(r.dbl("g", key));
      } else if (name.startsWith("chk")) {
        shown = child<QCheckBox>(p, name)->isChecked() ? "1" : "0";
        engine = QString::number(r.lng("g", key));
      } else {
        shown = listText(child<QComboBox>(p, name));
        engine = QString::fromStdString(r.str("g", key));
      }
      QVERIFY2(shown == engine, qPrintable(QString(c[0]) + " shows " + shown));
    }
    // Another component's change, and a key the panel does not show, leave it alone.
    const QString freq = child<TextUpdown>(p, "txtFreq")->Text();
    ChangeLog changes(r.main->App());
    for (const char* l : {"h.freq = 9", "h.type = \"square\"", "g.angle = 0.25", "g.seed = 7"}) QCOMPARE(r.exec(l), 0L);
    QCOMPARE(child<TextUpdown>(p, "txtFreq")->Text(), freq);
    QCOMPARE(listText(child<QComboBox>(p, "cmbType")), QString("noise"));
    QCOMPARE(writes(changes).size(), size_t(4));
  }

  void moreLaysOutAndResetAngle() {
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    frmHost* h = r.hostOf(p);
    // Without "More" the panel just holds the record length field.
    const QSize closed = p->size(), hostClosed = h->size();
    QCOMPARE(closed, holding(child<QWidget>(p, "txtReclen")));
    ChangeLog changes(r.main->App());
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("g", "gui.more"), 1);
    QCOMPARE(writes(changes), std::vector<std::string>{"g.gui.more"});
    // With it: the modulation frame's right edge, the horizontal offset frame's bottom.
    QCOMPARE(p->width(), holding(child<QWidget>(p, "fraModulation")).width());
    QCOMPARE(p->height(), holding(child<QWidget>(p, "fraHorOffset")).height());
    QVERIFY(h->width() > hostClosed.width() && h->height() > hostClosed.height());
    for (const char* w : {"chkFreeze", "fraModulation", "fraHorOffset"}) QVERIFY2(child<QWidget>(p, w)->isVisibleTo(p), w);
    QCOMPARE(listText(child<QComboBox>(p, "cmbModType")), QString::fromStdString(r.str("g", "mod.type")));
    // The script closes it again.
    QCOMPARE(r.exec("g.gui.more = 0"), 0L);
    QVERIFY(!child<QCheckBox>(p, "chkMore")->isChecked());
    QVERIFY(!child<QWidget>(p, "chkFreeze")->isVisibleTo(p));
    QCOMPARE(p->size(), closed);
    QCOMPARE(h->size(), hostClosed);
    // "Reset Angle" writes 0 and nothing else.
    QCOMPARE(r.exec("g.angle = 0.4"), 0L);
    ChangeLog reset(r.main->App());
    child<QPushButton>(p, "cmdResetAngle")->click();
    QCOMPARE(r.dbl("g", "angle"), 0.0);
    QCOMPARE(writes(reset), std::vector<std::string>{"g.angle"});
  }

  void faultsReportTheirHandlerNumbers() {
    PanelRig r;
    QWidget* p = r.show("g", "siggen", "gui");
    QVERIFY(p);
    QCOMPARE(r.exec("g.type = \"square\""), 0L);
    // Loaded for a component that is not there: Load's own number, and the panel goes on.
    r.reload(p, "nosuch");
    QVERIFY2(r.log().find("nosuch: Error 127002/") != std::string::npos, r.log().c_str());
    const std::pair<const char*, const char*> fields[] = {
        {"txtFreq", "127013"}, {"txtPk2pk", "127014"}, {"txtOffset", "127015"},    {"txtRate", "127016"},
        {"txtReclen", "127017"}, {"txtShape", "127018"}, {"txtGain", "127019"}, {"txtHorOffset", "127020"},
    };
    for (const auto& [name, number] : fields) {
      act(child<TextUpdown>(p, name), 2, "1");
      const std::string want = std::string("nosuch: Error ") + number + "/";
      QVERIFY2(r.log().find(want) != std::string::npos, qPrintable(QString(name) + " " + number));
    }
    const std::pair<const char*, const char*> clicks[] = {{"cmdResetAngle", "127011"}, {"chkMore", "127007"}, {"chkFreeze", "127008"},
                                                          {"chkAdditive", "127012"}};
    for (const auto& [name, number] : clicks) {
      child<QAbstractButton>(p, name)->click();
      const std::string want = std::string("nosuch: Error ") + number + "/";
      QVERIFY2(r.log().find(want) != std::string::npos, qPrintable(QString(name) + " " + number));
    }
    // Back on the real component it works again.
    r.reload(p, "g");
    act(child<TextUpdown>(p, "txtFreq"), 2, "1234");
    QCOMPARE(r.dbl("g", "freq"), 1234.0);
  }
};

KV_QTEST(SigGenPanelTests)
#include "SigGenPanelTests.moc"
