// The command console in the real shell and engine: its keys, its answers and listings, pastes
// and undo, and what it leaves of the network.

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <climits>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/tests/PluginRig.h"

namespace {

const char* const kLocked = "The network cannot be changed while an acquisition runs";

// The console as a user reaches it: its text box for keys, its properties for positions in
// the CR LF dialogue.
struct Console {
  explicit Console(DesktopRig& r) : rig(r), w(OpenTool<QWidget>(r, "Console", "KvPlugins.CmdConsole")) {
    if (w) box = w->findChild<QPlainTextEdit*>();
  }
  DesktopRig& rig;
  QWidget* w;
  QPlainTextEdit* box = nullptr;

  QString text() const { return w->property("text").toString(); }
  int caret() const { return w->property("caret").toInt(); }
  int prompt() const { return w->property("prompt").toInt(); }
  void setCaret(int k) { w->setProperty("caret", k); }
  QString from(int k) const {
    QString tail;
    QMetaObject::invokeMethod(w, "TextFrom", Q_RETURN_ARG(QString, tail), Q_ARG(int, k));
    return tail;
  }
  // Types the line and Enter; what the console appended.
  QString run(const QString& line) {
    QTest::keyClicks(box, line);
    const int n = w->property("length").toInt();
    QTest::keyClick(box, Qt::Key_Return);
    return from(n);
  }
  Popup* popup() const { return w->findChild<Popup*>(); }
  std::string status() const {
    std::string s;
    rig.main->Utils()->get_StatusBar(&s);
    return s;
  }
};

std::string cmdList(DesktopRig& r) {
  std::string s;
  r.main->App()->GetCmdList(&s);
  return s;
}

std::vector<std::string> labels(DesktopRig& r) {
  long n = 0;
  r.main->App()->get_CompCount(&n);
  std::vector<std::string> out;
  for (long i = 0; i < n; ++i) {
    std::string l, name;
    r.main->App()->get_CompLabel(i, &l);
    r.main->App()->get_CompName(i, &name);
    out.push_back(l + "=" + name);
  }
  return out;
}

std::string answerOf(DesktopRig& r, const std::string& line) {
  std::string a;
  long res = 0;
  r.main->App()->Execute(line, &a, &res);
  return a;
}

QStringList lines(const QString& appended) { return appended.split("\r\n"); }

}  // namespace

class ConsoleTests : public QObject {
  Q_OBJECT

 private slots:
  // One table for the keys: K and L on the CR LF dialogue. "fixed" is typed and entered first
  // (its answer is empty), so the input line starts at K = L + 2 = 21; without it the dialogue
  // is one line and the input starts at 1.
  void keys_data() {
    QTest::addColumn<bool>("fixed");  // ">load g = test.src\r\n" before the input (L = 19)
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("input");  // the last line afterwards
    QTest::addColumn<int>("after");      // K afterwards
    QTest::addColumn<QString>("status");
    const int bs = Qt::Key_Backspace, del = Qt::Key_Delete, left = Qt::Key_Left, right = Qt::Key_Right;
    QTest::newRow("backspace on the only prompt") << false << 1 << bs << ">ab" << 1 << "";
    QTest::newRow("backspace after the only prompt") << false << 2 << bs << ">b" << 1 << "";
    QTest::newRow("backspace on the prompt") << true << 21 << bs << ">ab" << 21 << "";
    QTest::newRow("backspace in the input") << true << 22 << bs << ">b" << 21 << "";
    QTest::newRow("backspace in the old text") << true << 10 << bs << ">ab" << 10 << "";
    QTest::newRow("character before the only prompt") << false << 0 << int(Qt::Key_Z) << ">ab" << 0 << "";
    QTest::newRow("character after the only prompt") << false << 1 << int(Qt::Key_Z) << ">zab" << 2 << "";
    QTest::newRow("character before the prompt") << true << 20 << int(Qt::Key_Z) << ">ab" << 20 << "";
    QTest::newRow("character inside the line break") << true << 19 << int(Qt::Key_Z) << ">ab" << 18 << "";
    QTest::newRow("character at the input") << true << 21 << int(Qt::Key_Z) << ">zab" << 22 << "";
    QTest::newRow("tab in the old text") << true << 5 << int(Qt::Key_Tab) << ">ab" << 5 << "";
    QTest::newRow("left stops at the prompt") << true << 21 << left << ">ab" << 21 << "";
    QTest::newRow("left in the input") << true << 23 << left << ">ab" << 22 << "";
    QTest::newRow("home stops at the prompt") << true << 23 << int(Qt::Key_Home) << ">ab" << 21 << "";
    QTest::newRow("right shows K and L") << true << 21 << right << ">ab" << 22 << "21, 19";
    QTest::newRow("right at the end") << true << 23 << right << ">ab" << 23 << "23, 19";
    QTest::newRow("right on the only line") << false << 2 << right << ">ab" << 3 << "2, 0";
    QTest::newRow("delete in the input") << true << 21 << del << ">b" << 21 << "21, 19";
    QTest::newRow("delete on the prompt") << true << 20 << del << ">ab" << 20 << "20, 19";
    QTest::newRow("delete in the old text") << true << 3 << del << ">ab" << 3 << "3, 19";
    QTest::newRow("up") << true << 22 << int(Qt::Key_Up) << ">ab" << 22 << "";
  }
  void keys() {
    QFETCH(bool, fixed);
    QFETCH(int, k);
    QFETCH(int, key);
    QFETCH(QString, input);
    QFETCH(int, after);
    QFETCH(QString, status);
    DesktopRig r;
    Console c(r);
    QVERIFY(c.box);
    if (fixed) QCOMPARE(c.run("load g = test.src"), "\r\n>");
    QTest::keyClicks(c.box, "ab");
    const QString head = fixed ? ">load g = test.src\r\n" : "";
    QCOMPARE(c.prompt(), fixed ? 19 : 0);
    r.main->Utils()->put_StatusBar("");
    c.setCaret(k);
    QTest::keyClick(c.box, Qt::Key(key), Qt::NoModifier);
    QCOMPARE(c.text(), head + input);
    QCOMPARE(c.caret(), after);
    QCOMPARE(QString::fromStdString(c.status()), status);
  }

  // What Enter appends: the engine's answer (or the console's own) and a new prompt, the
  // caret at the end; Enter's release does nothing more.
  void enterAnswers_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("engine");    // the line goes to the engine (its answer follows)
    QTest::addColumn<bool>("recorded");  // the command list changes
    QTest::newRow("empty line") << "" << true << true;
    QTest::newRow("load") << "load g = test.src" << true << true;
    QTest::newRow("refused") << "no such thing" << true << false;
    QTest::newRow("query") << "g.gain" << true << false;
    QTest::newRow("size") << "size(3,4)" << false << false;
    QTest::newRow("size in capitals, no numbers") << "SIZE(x,)" << false << false;
    QTest::newRow("size beyond long") << "size(99999999999999999999999,-1)" << false << false;
    QTest::newRow("size needs its comma") << "size(3)" << true << false;
  }
  void enterAnswers() {
    QFETCH(QString, line);
    QFETCH(bool, engine);
    QFETCH(bool, recorded);
    DesktopRig r;
    const bool load = line.startsWith("load");
    if (!load) r.exec("load g = test.src");
    Console c(r);
    // The engine's own answer to the same line (a load's is empty: it succeeds).
    const QString expected = QString::fromStdString(engine && !load ? answerOf(r, line.toStdString()) : "");
    const std::string before = cmdList(r);
    const QString appended = c.run(line);
    QCOMPARE(appended, expected.isEmpty() ? QString("\r\n>") : "\r\n" + expected + "\r\n>");
    QCOMPARE(cmdList(r) != before, recorded);
    QCOMPARE(c.caret(), c.text().size());
    QCOMPARE(c.prompt(), c.text().size() - 2);
  }

  // A pasted block runs line by line after the prompt, each answered as if typed; a trailing
  // break is dropped, a leading prompt of a copied line too.
  void pasteRunsEveryLine() {
    DesktopRig r;
    Console c(r);
    QGuiApplication::clipboard()->setText("load g = test.src\r\n>g.gain = 2.5\ng.gain\r\n");
    QTest::keyClick(c.box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(c.text(), ">load g = test.src\r\n>g.gain = 2.5\r\ng.gain");
    QCOMPARE(c.caret(), c.text().size());
    QTest::keyClick(c.box, Qt::Key_Enter);
    QCOMPARE(c.text(), ">load g = test.src\r\n>g.gain = 2.5\r\n>g.gain\r\n2.5\r\n>");
    QCOMPARE(c.prompt(), c.text().size() - 2);
  }

  // Nothing edits the text before the input: pastes, cuts and deletes there are refused and
  // their pop-up entries disabled; Undo reaches only what was typed since the last answer.
  void theAnsweredTextStays() {
    DesktopRig r;
    Console c(r);
    c.run("no such thing");
    const QString fixed = c.text();
    const QStringList captions = {"&Undo", "-", "Cu&t", "&Copy", "&Paste", "&Delete"};
    for (int i = 0; i < captions.size(); ++i) QCOMPARE(c.popup()->EntryCaption(i), captions[i]);
    QTest::keyClicks(c.box, "abc");
    QVERIFY(c.popup()->EntryEnabled(0));
    for (int i = 0; i < 10 && c.popup()->EntryEnabled(0); ++i) c.popup()->Choose(0);
    QCOMPARE(c.text(), fixed);
    c.run("g.x");
    QVERIFY(!c.popup()->EntryEnabled(0));  // answers are not undoable
    const QString now = c.text();

    QGuiApplication::clipboard()->setText("pasted");
    QTextCursor sel = c.box->textCursor();
    sel.setPosition(0);
    sel.setPosition(c.box->document()->characterCount() - 1, QTextCursor::KeepAnchor);
    c.box->setTextCursor(sel);  // everything, the prompt with it
    for (int i = 2; i <= 5; ++i) QCOMPARE(c.popup()->EntryEnabled(i), i == 3);  // only Copy
    for (int key : {int(Qt::Key_Backspace), int(Qt::Key_Delete), int(Qt::Key_A)}) QTest::keyClick(c.box, Qt::Key(key));
    QTest::keyClick(c.box, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(c.box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(c.box, Qt::Key_Backspace, Qt::ControlModifier);
    QTest::keyClick(c.box, Qt::Key_Return, Qt::ShiftModifier);  // Enter however pressed
    QVERIFY(c.text().startsWith(now));
    QCOMPARE(c.text().count("\r\n>"), now.count("\r\n>") + 1);

    // Within the input all of them work.
    QTest::keyClicks(c.box, "abc");
    QTest::keyClick(c.box, Qt::Key_Left, Qt::ShiftModifier);
    c.popup()->Choose(2);
    QCOMPARE(QGuiApplication::clipboard()->text(), "c");
    QVERIFY(c.text().endsWith("\r\n>ab"));
    QTest::keyClick(c.box, Qt::Key_Backspace, Qt::ControlModifier);
    QVERIFY(c.text().endsWith("\r\n>"));
  }

  // Listings leave the network alone: names in use are listed under free labels of their own
  // and nothing of the user's is unloaded; loads that fail, names that are no labels and
  // libraries without a debug setting each get their own answer.
  void listingsLeaveTheNetwork() {
    DesktopRig r;
    QTemporaryDir lib;
    for (const char* n : {"Meas.bin", "Test.bin"})
      QVERIFY(QFile::link(QString(KV_TEST_LIB_DIR) + "/" + n, lib.path() + "/" + n));
    QVERIFY(QFile::link(QString(KV_TEST_LIB_DIR) + "/Meas.bin", lib.path() + "/3d.bin"));  // no label
    QFile broken(lib.path() + "/Broken.bin");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a library");
    broken.close();
    r.main->Utils()->put_LibraryPath(lib.path().toStdString());
    for (const char* l : {"load Meas = test.src", "load meas_1 = test.pass", "load Test = Meas"}) QCOMPARE(r.exec(l), 0L);
    const std::vector<std::string> network = labels(r);
    Console c(r);
    const std::string failed = answerOf(r, "load probe = Broken");
    QVERIFY(!failed.empty());
    r.exec("load probe = Meas");
    const QString meas = QString::fromStdString(answerOf(r, "probe.version"));
    r.exec("unload probe");
    r.exec("load probe = test");
    const QString test = QString::fromStdString(answerOf(r, "probe.version"));
    r.exec("unload probe");
    QVERIFY(meas != test);

    const QString listed =
        "\r\n3d ?.?.?\r\nBroken " + QString::fromStdString(failed) + "\r\nMeas " + meas + "\r\nTest " + test + "\r\n>";
    QCOMPARE(c.run("list"), listed);
    QCOMPARE(c.run("LiSt"), listed);
    QCOMPARE(labels(r), network);
    std::string version;
    r.main->Utils()->get_Version(&version);
    const QStringList heads = QString::fromStdString(version).split("\r\n");
    const QStringList l = lines(c.run("list.libs"));
    QCOMPARE(l.size(), 4 + 4);
    for (int i = 0; i < 2; ++i) {
      const QStringList f = heads[i].split(',');
      QCOMPARE(l[i + 1], "Bin " + f[2].trimmed() + "  " + f[0].trimmed() + " " + f[1].trimmed());
    }
    QCOMPARE(l[3], "Bin ?  Ocx ?  3d ?.?.?");
    QCOMPARE(l[4], "Bin ?  Ocx ?  Broken " + QString::fromStdString(failed));
    QVERIFY(l[5].endsWith("  Ocx ?  Meas " + meas) && l[6].endsWith("  Ocx ?  Test " + test));
    for (int i : {5, 6}) QVERIFY2(!l[i].startsWith("Bin 63 "), qPrintable(l[i]));
    QCOMPARE(labels(r), network);
  }

  // "list.mods": each installed module loaded once, "OK" or its answer, every line ended.
  void moduleCheck() {
    DesktopRig r;
    QTemporaryDir lib;
    QVERIFY(QFile::link(QString(KV_TEST_LIB_DIR) + "/Test.bin", lib.path() + "/Test.bin"));
    QFile list(lib.path() + "/mods.lst");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("Gen,test.src\r\nThrough,Test.pass\nBad,nolib\n");
    list.close();
    r.main->Utils()->put_LibraryPath(lib.path().toStdString());
    QCOMPARE(r.exec("load Gen = test.pass"), 0L);  // the name is in use
    const std::vector<std::string> network = labels(r);
    const QString bad = QString::fromStdString(answerOf(r, "load probe = Bad"));
    QVERIFY(!bad.isEmpty());
    Console c(r);
    QCOMPARE(c.run("list.mods"), "\r\nGen: OK\r\nThrough: OK\r\nBad: " + bad + "\r\n\r\n>");
    QCOMPARE(labels(r), network);
  }

  // While passes run the network is refused by the engine, and the console shows its answer;
  // the listings then change nothing either.
  void refusalsWhilePassesRun() {
    DesktopRig r;
    r.chain();
    const std::vector<std::string> network = labels(r);
    Console c(r);
    long pending = 0;
    r.main->App()->run(INT_MAX, &pending);
    QVERIFY(r.waitFor([&] { return r.busy(); }));
    QCOMPARE(c.run("load h = test.src"), QString("\r\n") + kLocked + "\r\n>");
    QCOMPARE(c.run("unload g"), QString("\r\n") + kLocked + "\r\n>");
    const QStringList l = lines(c.run("list"));
    for (int i = 1; i + 1 < l.size(); ++i) QVERIFY2(l[i].endsWith(kLocked), qPrintable(l[i]));
    QCOMPARE(labels(r), network);
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    QCOMPARE(c.run("unload g"), "\r\n>");
  }
};

KV_QTEST(ConsoleTests)
#include "ConsoleTests.moc"
