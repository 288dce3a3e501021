// The kelvane program as a user or a script runs it: off screen, its own settings store,
// both output streams caught.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "desktop/tests/DesktopRig.h"

namespace {

struct Run {
  int status = -1;
  QString out, err;
};

Run kelvane(const QStringList& args, const QString& config, bool display = true) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  if (!display)
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(v);
  env.insert("KELVANE_CONFIG_DIR", config);
  p.setProcessEnvironment(env);
  p.start(KELVANE_PATH, args);
  Run r;
  if (!p.waitForFinished(240000)) return r;
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

void write(const QString& path, const QByteArray& text) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(text);
}

}  // namespace

class KelvaneTests : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QString path(const char* name) const { return dir.path() + "/" + name; }

 private slots:
  void exitStatus_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("quit") << QStringList({"--quit"}) << 0 << "";
    QTest::newRow("unknown option") << QStringList({"--bogus"}) << 2 << "unknown argument --bogus";
    QTest::newRow("missing value") << QStringList({"--lib"}) << 2 << "--lib takes a folder";
    QTest::newRow("grab-widget needs two") << QStringList({"--grab-widget", "Log"}) << 2 << "takes a window name";
    QTest::newRow("unreadable script") << QStringList({"--exec", "/nonexistent/x.kvs", "--quit"}) << 2 << "cannot read";
    QTest::newRow("folder as script") << QStringList({"--exec", "/tmp", "--quit"}) << 2 << "Is a directory";
    QTest::newRow("endless script") << QStringList({"--exec", "/dev/zero", "--quit"}) << 2 << "not a regular file";
    QTest::newRow("endless setup") << QStringList({"--open", "/dev/zero", "--quit"}) << 2 << "not a regular file";
    QTest::newRow("unreadable setup") << QStringList({"--open", "/nonexistent/x.kvs", "--quit"}) << 2 << "cannot read";
    QTest::newRow("grab nowhere") << QStringList({"--grab", "/nonexistent/x.png", "--quit"}) << 1 << "cannot write";
    QTest::newRow("no such window") << QStringList({"--grab-widget", "Nope", "/tmp/kv-nope.png", "--quit"}) << 1
                                    << "no window Nope";
  }
  void exitStatus() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    const Run r = kelvane(args, dir.path());
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
  }

  // With the console installed each line is typed into it, so its own listings work too;
  // without one the lines go to the engine. Plain answers print the same either way.
  void execAnswersAsTheHeadlessRunnerPrints_data() {
    QTest::addColumn<bool>("console");
    QTest::newRow("typed into the console") << true;
    QTest::newRow("without a console control") << false;
  }
  void execAnswersAsTheHeadlessRunnerPrints() {
    QFETCH(bool, console);
    write(path("lines.kvs"), "load g = test.src\r\ng.gain = 2.5\ng.gain\nno such thing\nlist\n");
    QStringList args = {"--lib", KV_TEST_LIB_DIR, "--exec", path("lines.kvs"), "--run", "--quit"};
    QTemporaryDir noControls;
    if (!console) args << "--ctl" << noControls.path();
    const Run r = kelvane(args, dir.path());
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 3, qPrintable(r.out));
    QCOMPARE(lines[0], "2.5");
    QVERIFY(lines[1].contains("\"no such thing\""));
    if (!console) {
      QCOMPARE(lines.size(), 3);
      QVERIFY2(lines[2].contains("\"list\""), qPrintable(lines[2]));
      return;
    }
    const QStringList libs = QDir(KV_TEST_LIB_DIR).entryList({"*.bin"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    QCOMPARE(lines.size(), 2 + libs.size());
    for (int i = 0; i < libs.size(); ++i)
      QVERIFY2(lines[2 + i].startsWith(libs[i].chopped(4) + " "), qPrintable(lines[2 + i]));
  }

  void grabsTheMainWindowAndAPanelWindow() {
    const Run r = kelvane({"--grab", path("main.png"), "--grab-widget", "Log", path("log.png"), "--quit"}, dir.path());
    QCOMPARE(r.status, 0);
    const QImage main(path("main.png")), log(path("log.png"));
    QVERIFY(!main.isNull());
    QVERIFY(!log.isNull());
    // The panel window is part of the main window's picture, so smaller than it.
    QVERIFY(log.width() < main.width() && log.height() < main.height());
    QVERIFY(log.width() > 50 && log.height() > 50);
  }

  void withoutADisplayItReportsAndCloses() {
    const Run r = kelvane({"--open", KV_EXAMPLES_DIR "/clock-jitter.kvs"}, dir.path(), false);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains("meas (Meas)"), qPrintable(r.out));
    const QStringList lines = r.out.split('\n');
    const auto period = std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("CkPeriod"); });
    QVERIFY(period != lines.end());
    // 1000 cycles of a 100 MHz clock: 998 whole periods of 10 ns.
    QVERIFY2(period->contains(" 998 ") && period->contains("10.00n"), qPrintable(*period));
  }

  void openExecQuitAndTheSettingsRemember_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<bool>("remembered");
    QTest::newRow("opened") << "ok.kvs" << 0 << "3\n4\n" << true;
    QTest::newRow("a missing file") << "missing.kvs" << 2 << "" << false;
    QTest::newRow("a failing line") << "bad.kvs" << 1 << "3\n4\n" << true;
  }
  void openExecQuitAndTheSettingsRemember() {
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(QString, answers);
    QFETCH(bool, remembered);
    QTemporaryDir own;
    write(path("ok.kvs"), "\r\n[Kelvane]\r\nload g=test.src\r\ng.gain=3\r\n");
    write(path("bad.kvs"), "\r\n[Kelvane]\r\nload g=test.src\r\ng.gain=3\r\ng.nosuch=1\r\n");
    write(path("script.txt"), "g.gain\ng.count\n");
    const Run r = kelvane({"--lib", KV_TEST_LIB_DIR, "--ctl", KV_TEST_CTL_DIR, "--open", path(setup.toUtf8().constData()),
                           "--exec", path("script.txt"), "--quit"},
                          own.path());
    QCOMPARE(r.status, status);
    if (!answers.isEmpty()) QCOMPARE(r.out, answers);
    QCOMPARE(r.err.contains("1 error(s) in setup file"), setup == "bad.kvs");
    QFile ini(own.path() + "/settings.ini");
    const QString text = ini.open(QIODevice::ReadOnly) ? QString::fromUtf8(ini.readAll()) : QString();
    QCOMPARE(text.contains("File0=" + path(setup.toUtf8().constData())), remembered);
    if (remembered) QVERIFY2(text.contains("State=2"), qPrintable(text));
  }

  void quitClosesLikeTheUserAndSavesTheWindow() {
    QTemporaryDir own;
    const Run r = kelvane({"--quit"}, own.path());
    QCOMPARE(r.status, 0);
    QFile ini(own.path() + "/settings.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    QVERIFY2(text.contains("State=2"), qPrintable(text));
  }
};

#include "KelvaneTests.moc"
KV_QTEST(KelvaneTests)
