// Run control on the real engine: the passes each mode asks for, how a run ends, and the
// busy mark it leaves behind.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QtTest>

#include "desktop/RunControl.h"
#include "desktop/Twips.h"
#include "desktop/tests/DesktopRig.h"

class RunControlTests : public QObject {
  Q_OBJECT

  static QComboBox* mode(DesktopRig& r) { return r.main->findChild<QComboBox*>("cmbMode"); }
  static QLineEdit* count(DesktopRig& r) { return r.main->findChild<QLineEdit*>("txtCount"); }
  static QLabel* caption(DesktopRig& r) { return r.main->findChild<QLabel*>("lblCaption"); }
  static QAction* button(DesktopRig& r, const char* key) { return r.main->FindAction(key); }
  // A toolbar shows and hides its widgets through their actions.
  static bool shownInToolbar(DesktopRig& r, QWidget* w) {
    auto* bar = r.main->findChild<QToolBar*>("runBar");
    for (QAction* a : bar->actions())
      if (bar->widgetForAction(a) == w) return a->isVisible();
    return false;
  }

  // Starts a run in the given mode and count text and waits for it to end.
  static void runToEnd(DesktopRig& r, int m, const QString& text) {
    mode(r)->setCurrentIndex(m);
    if (!text.isNull()) count(r)->setText(text);
    r.main->Control()->Run();
    QVERIFY(r.waitFor([&] { return !r.main->Control()->Running() && !r.busy(); }));
  }

 private slots:
  void passesPerMode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("passes");
    QTest::addColumn<QString>("caption");
    QTest::newRow("once") << 0 << QString() << 1 << "1 of";
    QTest::newRow("ten") << 1 << "10" << 10 << "10 of";
    QTest::newRow("three") << 1 << "3" << 3 << "3 of";
    QTest::newRow("engineering 1.5 is 1") << 1 << "1.5" << 1 << "1 of";
    // Asking for nothing ends the run at once instead of waiting for an idle report.
    QTest::newRow("zero") << 1 << "0" << 0 << "N:";
    QTest::newRow("not a number") << 1 << "many" << 0 << "N:";
  }
  void passesPerMode() {
    QFETCH(int, mode);
    QFETCH(QString, count);
    QFETCH(int, passes);
    QFETCH(QString, caption);
    DesktopRig r;
    QVERIFY(r.loaded);
    r.chain();
    PassCounter c(r.main->App());
    runToEnd(r, mode, count);
    QCOMPARE(c.after, passes);
    QCOMPARE(RunControlTests::caption(r)->text(), caption);
    QVERIFY(button(r, "Run")->isEnabled());
    QVERIFY(!button(r, "Stop")->isEnabled());
    QVERIFY(!button(r, "Abort")->isEnabled());
  }

  void selectorShowsWhatEachModeNeeds_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("captionShown");
    QTest::addColumn<bool>("countShown");
    QTest::addColumn<QString>("captionText");
    QTest::addColumn<QString>("countText");
    QTest::newRow("once") << 0 << false << false << QString() << "1";
    QTest::newRow("n times") << 1 << true << true << "N:" << "10";
    QTest::newRow("timed") << 2 << true << true << "Time:" << "1m";
    QTest::newRow("for ever") << 3 << true << false << "" << QString();
  }
  void selectorShowsWhatEachModeNeeds() {
    QFETCH(int, mode);
    QFETCH(bool, captionShown);
    QFETCH(bool, countShown);
    QFETCH(QString, captionText);
    QFETCH(QString, countText);
    DesktopRig r;
    QComboBox* m = RunControlTests::mode(r);
    QCOMPARE(m->count(), 4);
    QCOMPARE(m->itemText(0), "Run Once");
    QCOMPARE(m->itemText(3), "For Ever");
    m->setCurrentIndex(3 - mode);  // from elsewhere, so the change is seen
    m->setCurrentIndex(mode);
    QLabel* cap = caption(r);
    QCOMPARE(shownInToolbar(r, cap), captionShown);
    QCOMPARE(shownInToolbar(r, count(r)), countShown);
    if (!captionText.isNull()) QCOMPARE(cap->text(), captionText);
    if (!countText.isNull()) QCOMPARE(count(r)->text(), countText);
    QCOMPARE(cap->width(), KvTwipsToPixels(mode == 2 ? 870 : 630));
  }

  void forEverRunsUntilStoppedOrAborted_data() {
    QTest::addColumn<bool>("abort");
    QTest::newRow("stop") << false;
    QTest::newRow("abort") << true;
  }
  void forEverRunsUntilStoppedOrAborted() {
    QFETCH(bool, abort);
    DesktopRig r;
    r.chain();
    PassCounter c(r.main->App());
    mode(r)->setCurrentIndex(3);
    r.main->Control()->Run();
    QVERIFY(r.waitFor([&] { return c.after >= 25; }));
    QVERIFY(r.main->Control()->Running());
    QVERIFY(!button(r, "Run")->isEnabled());
    r.main->Control()->halt(abort);
    QVERIFY(!button(r, "Stop")->isEnabled());
    QVERIFY(r.waitFor([&] { return !r.main->Control()->Running(); }));
    // The caption counts the cycles asked for; at most the one under way at the halt follows.
    QVERIFY(caption(r)->text().endsWith(" of"));
    QVERIFY(c.after >= 25);
    QCOMPARE(r.log().find("Cycle aborted") != std::string::npos, abort);
    QVERIFY(button(r, "Run")->isEnabled());
    QVERIFY(!r.busy());
  }

  void timedModeEndsOnTheClock_data() {
    QTest::addColumn<QString>("duration");
    QTest::addColumn<int>("passes");
    QTest::addColumn<QString>("caption");
    // Each pass moves the clock on 10 s as it starts: a run of 60 s makes 6 passes.
    QTest::newRow("1m") << "1m" << 6 << "00:01:00 of";
    QTest::newRow("90") << "90" << 9 << "00:01:30 of";
    QTest::newRow("no number") << "m" << 0 << "Time:";
  }
  void timedModeEndsOnTheClock() {
    QFETCH(QString, duration);
    QFETCH(int, passes);
    QFETCH(QString, caption);
    DesktopRig r;
    r.chain();
    double clock = 5000;
    r.main->Control()->now = [&] { return clock; };
    PassCounter c(r.main->App());
    c.onBefore = [&] { clock += 10; };
    runToEnd(r, 2, duration);
    QCOMPARE(c.after, passes);
    QCOMPARE(RunControlTests::caption(r)->text(), caption);
  }

  void runWhileRunningChangesNothing() {
    DesktopRig r;
    r.chain();
    PassCounter c(r.main->App());
    mode(r)->setCurrentIndex(3);
    r.main->Control()->Run();
    QVERIFY(r.waitFor([&] { return c.after >= 5; }));
    const long cycles = r.main->Control()->Cycles();
    r.main->Control()->Run();  // ignored: the count goes on, it does not start again
    QVERIFY(r.main->Control()->Cycles() >= cycles);
    r.main->Control()->halt(false);
    QVERIFY(r.waitFor([&] { return !r.main->Control()->Running() && !r.busy(); }));
    const int before = c.after;
    runToEnd(r, 0, QString());
    QCOMPARE(c.after, before + 1);
  }

  void emptyCommandListWarnsAndStaysIdle() {
    DesktopRig r;
    PassCounter c(r.main->App());
    r.main->Control()->Run();
    QVERIFY(r.log().find("Warning: Nothing to do") != std::string::npos);
    QVERIFY(!r.main->Control()->Running());
    QVERIFY(button(r, "Run")->isEnabled());
    QVERIFY(!r.busy());
    QCOMPARE(c.before, 0);
  }

  // Passes others ask for mark the engine busy once and leave it free when they end.
  void outsidePassesLeaveTheEngineFree_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("worker batch") << "batch";
    QTest::newRow("in place") << "inplace";
  }
  void outsidePassesLeaveTheEngineFree() {
    QFETCH(QString, how);
    DesktopRig r;
    r.chain();
    PassCounter c(r.main->App());
    if (how == "batch") {
      long pending = 0;
      r.main->App()->run(4, &pending);
      QVERIFY(r.waitFor([&] { return c.idle >= 1; }));
      QCOMPARE(c.after, 4);
    } else {
      QCOMPARE(r.exec("kvs.run(318207)"), 0L);
      QCOMPARE(c.after, 1);
    }
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    QVERIFY(!r.busy());
    // And a run from the shell still works afterwards.
    runToEnd(r, 1, "2");
    QVERIFY(!r.busy());
  }

  void durations_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("seconds");
    QTest::newRow("1m") << "1m" << 60.0;
    QTest::newRow("90") << "90" << 90.0;
    QTest::newRow("1.5m") << "1.5m" << 90.0;
    QTest::newRow("2h") << "2h" << 7200.0;
    QTest::newRow("upper case") << "2H" << 7200.0;
    QTest::newRow("m wins over h") << "1hm" << 60.0;
    QTest::newRow("seconds suffix") << "45s" << 45.0;
    QTest::newRow("no number") << "m" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blank") << " 5" << 0.0;
    QTest::newRow("exponent cut") << "1e5" << 1.0;
  }
  void durations() {
    QFETCH(QString, text);
    QFETCH(double, seconds);
    QCOMPARE(cControl::ParseDuration(text.toStdString()), seconds);
  }

  void elapsed_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("fraction") << 59.9 << "00:00:59";
    QTest::newRow("minute") << 60.0 << "00:01:00";
    QTest::newRow("hour") << 3661.0 << "01:01:01";
    QTest::newRow("a day") << 90000.0 << "25:00:00";
    QTest::newRow("hundred hours") << 360000.0 << "100:00:00";
    QTest::newRow("negative") << -5.0 << "00:00:00";
  }
  void elapsed() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(cControl::FormatElapsed(seconds)), text);
  }
};

#include "RunControlTests.moc"
KV_QTEST(RunControlTests)
