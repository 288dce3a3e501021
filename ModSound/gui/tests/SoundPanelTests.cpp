// KvSound.Import and KvSound.Export on the real shell, engine and sound module, with ALSA
// devices of the test's own (null PCMs, never a real device): what Load shows, each key's
// refresh after a script assignment, the step tables, revert, the writes of lists, options
// and boxes, the size with "More", and the error numbers of the handlers.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <fstream>

#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

// An ALSA configuration in force while it lives.
struct AlsaConfig {
  QTemporaryDir dir;
  explicit AlsaConfig(const char* text) {
    const QString path = dir.filePath("asoundrc");
    std::ofstream(path.toStdString()) << text;
    qputenv("ALSA_CONFIG_PATH", path.toUtf8());
  }
  ~AlsaConfig() { qunsetenv("ALSA_CONFIG_PATH"); }
};

// Two capture devices and one playback device.
const char* const kDevices =
    "pcm.mic { type null hint { show on description \"Microphone|IOIDInput\" } }\n"
    "pcm.line { type null hint { show on description \"Line in|IOIDInput\" } }\n"
    "pcm.spk { type null hint { show on description \"Speaker|IOIDOutput\" } }\n";

// Both panels shown: "s" records, "o" plays.
struct SoundRig : PanelRig {
  QWidget* in = nullptr;
  QWidget* out = nullptr;
  void showBoth() {
    exec("load s = sound.in");
    exec("load o = sound.out");
    main->ShowPanel("s.gui");
    main->ShowPanel("o.gui");
    in = find("s", "gui");
    out = find("o", "gui");
  }
  QWidget* panel(const char* comp) const { return comp[0] == 's' ? in : out; }
  QString sweep(const char* comp) { return num(static_cast<double>(lng(comp, "reclen")) / lng(comp, "samplerate")); }
};

QStringList items(QComboBox* c) {
  QStringList l;
  for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
  return l;
}

}  // namespace

class SoundPanelTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheEngineAndWritesNothing() {
    struct Case {
      const char* comp;
      const char* alsa;
      QStringList devices;  // shown; a single "No devices found" is disabled
      int device;
      const char* last;  // the one setting of its own direction
    };
    const Case cases[] = {
        {"s", kDevices, {"mic (Microphone)", "line (Line in)"}, 1, "s.freeze = 1"},
        {"o", kDevices, {"spk (Speaker)"}, 0, "o.samplerate.override = 1"},
        {"o", kDevices, {"spk (Speaker)"}, 0, "o.samplerate.override = 0"},
        {"s", "", {"No devices found"}, 0, "s.freeze = 0"},
        {"o", "", {"No devices found"}, 0, "o.samplerate.override = 0"},
    };
    for (const Case& c : cases) {
      AlsaConfig alsa(c.alsa);
      SoundRig r;
      const std::string p = c.comp;
      r.exec("load " + p + (p == "s" ? " = sound.in" : " = sound.out"));
      for (const std::string& l : {p + ".device = " + std::to_string(c.device), p + ".stereo = 1", p + ".ch1.gain = 5",
                                   p + ".ch2.offset = -0.25", p + ".samplerate = 22010", p + ".reclen = 2000", std::string(c.last)})
        QCOMPARE(r.exec(l), 0L);
      ChangeLog changes(r.main->App());
      r.main->ShowPanel(p + ".gui");
      QWidget* w = r.find(p, "gui");
      QVERIFY(w);
      // The device list's query is announced as "<comp>.devices"; nothing else may change.
      QCOMPARE(changes.seen, std::vector<std::string>({p + ".devices"}));
      QCOMPARE(r.hostOf(w)->windowTitle(), QString::fromStdString(p + (p == "s" ? ": Import" : ": Export")));
      QComboBox* list = child<QComboBox>(w, "cmbDevice");
      QCOMPARE(items(list), c.devices);
      QCOMPARE(list->currentIndex(), c.device);
      QCOMPARE(list->isEnabled(), c.devices.size() > 1 || c.devices[0] != "No devices found");
      QVERIFY(child<QRadioButton>(w, "optStereo")->isChecked());
      for (const auto& [field, text] : {std::pair{"txtGain1", r.num(5)}, {"txtGain2", r.num(2)}, {"txtOffset2", r.num(-0.25)},
                                        {"txtRate", QString("22010")}, {"txtRecLen", QString("2000")},
                                        {"txtSweep", r.num(2000.0 / 22010)}})
        QCOMPARE(child<TextUpdown>(w, field)->Text(), text);
      const bool on = QString(c.last).endsWith("1");
      if (p == "s") {
        QCOMPARE(child<QCheckBox>(w, "chkFreeze")->isChecked(), on);
        QVERIFY(!child<QGroupBox>(w, "fraHorOffset")->isVisibleTo(w));
      } else {
        QCOMPARE(child<QCheckBox>(w, "chkOverride")->isChecked(), on);
        QCOMPARE(child<TextUpdown>(w, "txtRate")->isEnabled(), on);
      }
      if (list->isEnabled()) continue;
      // A choice that still reaches a list without devices writes nothing.
      changes.seen.clear();
      emit list->activated(0);
      QVERIFY(changes.seen.empty());
    }
  }

  void eachKeyRefreshesItsControl() {
    enum What { text, checked, index, enabled, title };
    struct Case {
      const char* line;
      const char* widget;
      What what;
      QString expect;
    };
    AlsaConfig alsa(kDevices);
    SoundRig r;
    r.showBoth();
    const Case cases[] = {
        {"s.ch1.gain = 0.5", "txtGain1", text, r.num(0.5)},
        {"s.ch1.offset = 0.125", "txtOffset1", text, r.num(0.125)},
        {"o.ch2.offset = -1", "txtOffset2", text, r.num(-1)},
        {"s.samplerate = 8000", "txtRate", text, "8000"},
        {"s.samplerate = 16000", "txtSweep", text, r.num(1024.0 / 16000)},
        {"s.reclen = 4000", "txtSweep", text, r.num(0.25)},
        {"o.reclen = 8000", "txtSweep", text, r.num(8000.0 / 44100)},
        {"s.stereo = 1", "optStereo", checked, "1"},
        {"s.stereo = 0", "optMono", checked, "1"},  // an exclusive pair: 0 must pick "Mono" itself
        {"s.device = 1", "cmbDevice", index, "1"},
        {"s.device = 5", "cmbDevice", index, "-1"},  // past the list: no entry stands for it
        {"s.freeze = 1", "chkFreeze", checked, "1"},
        {"s.hor.offset = 0.002", "txtHorOffset", text, r.num(0.002)},
        {"s.hor.offset.additive = 1", "chkAdditive", checked, "1"},
        {"o.samplerate.override = 1", "txtRate", enabled, "1"},
        {"o.samplerate.override = 0", "txtRate", enabled, "0"},
        {"s.gui.caption = \"Left mic\"", "", title, "Left mic"},
        {"o.gui.caption = \"\"", "", title, "o: Export"},  // none: the title it had
    };
    for (const Case& c : cases) {
      ChangeLog changes(r.main->App());
      QCOMPARE(r.exec(c.line), 0L);
      QWidget* w = r.panel(c.line);
      QString got;
      switch (c.what) {
        case text: got = child<TextUpdown>(w, c.widget)->Text(); break;
        case checked: got = child<QAbstractButton>(w, c.widget)->isChecked() ? "1" : "0"; break;
        case index: got = QString::number(child<QComboBox>(w, c.widget)->currentIndex()); break;
        case enabled: got = child<QWidget>(w, c.widget)->isEnabled() ? "1" : "0"; break;
        case title: got = r.hostOf(w)->windowTitle(); break;
      }
      QVERIFY2(got == c.expect, qPrintable(QString(c.line) + " shows " + got));
      // The refresh writes nothing back: the script's change is the only one.
      QVERIFY2(changes.seen.size() == 1, c.line);
    }
    std::string caption;
    dynamic_cast<IKvGui*>(r.in)->get_Caption(&caption);
    QCOMPARE(caption, std::string("Left mic"));  // what the shell asks for later
  }

  void stepsRevertAndCommits() {
    enum Shows { real, whole, sweep };
    struct Case {
      const char* comp;
      const char* pre;  // a line run first, or null
      const char* field;
      const char* key;
      double start;
      int action;
      const char* typed;  // null: the field as shown
      double expect;
      Shows shows;
      int times = 1;
    };
    const Case cases[] = {
        // Rates step along the direction's ladder and stay at its ends.
        {"s", nullptr, "txtRate", "samplerate", 44100, 0, nullptr, 44100, whole},
        {"s", nullptr, "txtRate", "samplerate", 11025, 1, nullptr, 11025, whole},
        {"s", nullptr, "txtRate", "samplerate", 12000, 0, nullptr, 22010, whole},
        {"s", nullptr, "txtRate", "samplerate", 30000, 1, nullptr, 22010, whole},
        {"o", nullptr, "txtRate", "samplerate", 11025, 1, nullptr, 8000, whole},
        {"o", nullptr, "txtRate", "samplerate", 8000, 1, nullptr, 8000, whole},
        {"o", nullptr, "txtRate", "samplerate", 8000, 2, "22050.4", 22050, whole},
        {"o", nullptr, "txtRate", "samplerate", 8000, 2, "0", 8000, whole},  // refused
        {"s", nullptr, "txtRate", "samplerate", 8000, 3, "9", 8000, whole},
        // Gains 1-2-5; an offset by a tenth of its own channel's gain, landing on 0.
        {"s", nullptr, "txtGain1", "ch1.gain", 2, 0, nullptr, 5, real},
        {"o", nullptr, "txtGain2", "ch2.gain", 2, 1, nullptr, 1, real},
        {"s", nullptr, "txtGain1", "ch1.gain", 2, 2, "0", 2, real},  // refused
        {"s", "s.ch1.gain = 2", "txtOffset1", "ch1.offset", 0, 0, nullptr, 0.2, real},
        {"s", "s.ch1.gain = 1", "txtOffset1", "ch1.offset", 0.3, 1, nullptr, 0, real, 3},
        {"o", "o.ch2.gain = 5", "txtOffset2", "ch2.offset", 0.1, 0, nullptr, 0.6, real},  // ch2's gain, not ch1's 2
        // Record length 1-2-5, never below 1.
        {"s", nullptr, "txtRecLen", "reclen", 1024, 0, nullptr, 2000, whole},
        {"s", nullptr, "txtRecLen", "reclen", 1024, 2, "0", 1024, whole},
        {"s", nullptr, "txtRecLen", "reclen", 1024, 3, "77", 1024, whole},
        // The input's sweep time sets the length from the rate; the output's only shows it.
        {"s", "s.samplerate = 44100", "txtSweep", "reclen", 1024, 2, "0.5", 22050, sweep},
        {"s", nullptr, "txtSweep", "reclen", 1024, 0, nullptr, 2205, sweep},
        {"s", nullptr, "txtSweep", "reclen", 1024, 2, "0", 1024, sweep},
        {"s", nullptr, "txtSweep", "reclen", 1024, 3, "9", 1024, sweep},
        {"o", nullptr, "txtSweep", "reclen", 1024, 2, "5", 1024, sweep},
        // The horizontal offset steps by a thousandth, never by less than 1e-12.
        {"s", nullptr, "txtHorOffset", "hor.offset", 1, 0, nullptr, 1.001, real},
        {"s", nullptr, "txtHorOffset", "hor.offset", 0, 0, nullptr, 1e-12, real},
    };
    AlsaConfig alsa(kDevices);
    SoundRig r;
    r.showBoth();
    for (const Case& c : cases) {
      if (c.pre) QCOMPARE(r.exec(c.pre), 0L);
      const std::string set = std::string(c.comp) + "." + c.key + " = " + QString::number(c.start, 'g', 17).toStdString();
      QCOMPARE(r.exec(set), 0L);
      TextUpdown* f = child<TextUpdown>(r.panel(c.comp), c.field);
      ChangeLog changes(r.main->App());
      for (int i = 0; i < c.times; ++i) act(f, c.action, c.typed ? QString(c.typed) : QString());
      const QString what = QString("%1.%2 action %3 from %4").arg(c.comp, c.field).arg(c.action).arg(c.start);
      const double got = c.shows == real ? r.dbl(c.comp, c.key) : r.lng(c.comp, c.key);
      QVERIFY2(got == c.expect, qPrintable(what + " gave " + QString::number(got, 'g', 17)));
      // The field shows the engine's value again, whether the write was taken, refused or none.
      const QString shown = c.shows == real ? r.num(c.expect) : c.shows == whole ? QString::number(c.expect) : r.sweep(c.comp);
      QVERIFY2(f->Text() == shown, qPrintable(what + " shows " + f->Text()));
      if (c.action == 3) QVERIFY(changes.seen.empty());
      // The sweep always follows the length and the rate, also after a refused write.
      QVERIFY2(child<TextUpdown>(r.panel(c.comp), "txtSweep")->Text() == r.sweep(c.comp), qPrintable(what));
    }
  }

  void clicksWriteTheirSettings() {
    enum Act { choose0, choose1, click };
    struct Case {
      const char* comp;
      const char* widget;
      Act act;
      const char* key;
      int32_t expect;
      size_t writes;
    };
    const Case cases[] = {
        {"s", "cmbDevice", choose1, "device", 1, 1}, {"s", "cmbDevice", choose1, "device", 1, 0},
        {"s", "cmbDevice", choose0, "device", 0, 1}, {"s", "optStereo", click, "stereo", 1, 1},
        {"s", "optMono", click, "stereo", 0, 1},     {"o", "optMono", click, "stereo", 0, 0},
        {"s", "chkFreeze", click, "freeze", 1, 1},   {"o", "chkOverride", click, "samplerate.override", 1, 1},
    };
    AlsaConfig alsa(kDevices);
    SoundRig r;
    r.showBoth();
    for (const Case& c : cases) {
      QWidget* w = r.panel(c.comp);
      ChangeLog changes(r.main->App());
      if (c.act == click) {
        child<QAbstractButton>(w, c.widget)->click();
      } else {
        QComboBox* list = child<QComboBox>(w, c.widget);
        const int i = c.act == choose1 ? 1 : 0;
        list->setCurrentIndex(i);
        emit list->activated(i);
      }
      const QString what = QString("%1.%2").arg(c.comp, c.widget);
      QVERIFY2(r.lng(c.comp, c.key) == c.expect, qPrintable(what));
      QVERIFY2(changes.seen.size() == c.writes, qPrintable(what));
    }
    QVERIFY(child<TextUpdown>(r.out, "txtRate")->isEnabled());  // open while "Override" is checked
  }

  void moreSizeAndStyle() {
    AlsaConfig alsa(kDevices);
    SoundRig r;
    r.showBoth();
    for (QWidget* w : {r.in, r.out}) {
      GuiStyle s{};
      dynamic_cast<IKvGui*>(w)->GetStyle(&s);
      QVERIFY(!s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);
      QCOMPARE(w->minimumSize(), w->maximumSize());  // fixed
      // Every control lies inside its frame and the panel, and every caption has room for its text.
      for (QWidget* c : w->findChildren<QWidget*>()) {
        if (c->isWindow() || !c->isVisibleTo(w)) continue;
        const QString what = c->objectName() + " " + c->property("text").toString();
        QVERIFY2(c->parentWidget()->rect().contains(c->geometry()), qPrintable(what));
        if (auto* l = qobject_cast<QLabel*>(c)) QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(what));
      }
    }
    QWidget* p = r.in;
    frmHost* h = r.hostOf(p);
    const QSize closed = p->size(), hostClosed = h->size();
    child<QCheckBox>(p, "chkMore")->click();
    QCOMPARE(r.lng("s", "gui.more"), 1);
    QVERIFY(child<QGroupBox>(p, "fraHorOffset")->isVisibleTo(p));
    QVERIFY(p->height() > closed.height());
    QVERIFY(h->height() > hostClosed.height());
    QCOMPARE(r.exec("s.gui.more = 0"), 0L);
    QVERIFY(!child<QCheckBox>(p, "chkMore")->isChecked());
    QCOMPARE(p->size(), closed);
  }

  void faultsReportTheirHandlerNumbers() {
    AlsaConfig alsa(kDevices);
    SoundRig r;
    r.showBoth();
    struct Case {
      QWidget* panel;
      const char* widget;  // a field committed or a button clicked after the failed Load
      const char* load;
      const char* handler;
    };
    const Case cases[] = {
        {r.in, "txtGain1", "nosuch: Error 126002/", "nosuch: Error 126013/"},
        {r.in, "txtRate", "nosuch: Error 126002/", "nosuch: Error 126017/"},
        {r.out, "cmdStop", "nosuch: Error 126102/", "nosuch: Error 126125/"},
    };
    for (const Case& c : cases) {
      r.reload(c.panel, "nosuch");
      QVERIFY2(r.log().find(c.load) != std::string::npos, r.log().c_str());
      if (auto* b = child<QPushButton>(c.panel, c.widget))
        b->click();
      else
        act(child<TextUpdown>(c.panel, c.widget), 2, "1");
      QVERIFY2(r.log().find(c.handler) != std::string::npos, r.log().c_str());
    }
    // One failure, one report: the sweep that follows the rate does not report it again.
    QVERIFY2(r.log().find("Error 126019/") == std::string::npos, r.log().c_str());
    // Back on the real components they work again, "Stop Playing" too.
    r.reload(r.in, "s");
    r.reload(r.out, "o");
    const std::string before = r.log();
    child<QPushButton>(r.out, "cmdStop")->click();
    act(child<TextUpdown>(r.in, "txtGain1"), 2, "0.2");
    QCOMPARE(r.dbl("s", "ch1.gain"), 0.2);
    QCOMPARE(r.log(), before);
  }
};

KV_QTEST(SoundPanelTests)
#include "SoundPanelTests.moc"
