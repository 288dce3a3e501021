// Setup files as the desktop writes and reads them, on the real engine and a stand-in
// schematic editor: the bytes of a save, a save and reopen that gives the same network and
// windows, the File menu's commands, the recent files and the caption, and saves that fail.

#include <sys/resource.h>
#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMdiArea>
#include <QtTest>
#include <csignal>
#include <fstream>

#include "desktop/Document.h"
#include "desktop/NewDialog.h"
#include "desktop/Twips.h"
#include "desktop/frmSch.h"
#include "desktop/tests/DesktopRig.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void writeAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

KvPtr<IWrkSpc> workspace(DesktopRig& r) {
  KvPtr<IWrkSpc> w;
  r.main->App()->get_WrkSpc(w.put());
  return w;
}

std::string name(DesktopRig& r) {
  std::string n;
  workspace(r)->get_Name(&n);
  return n;
}

long saveAs(DesktopRig& r, const std::string& file) {
  long res = 1;
  workspace(r)->SaveAs(file, &res);
  return res;
}

long open(DesktopRig& r, const std::string& file) {
  long res = 1;
  workspace(r)->Close(&res);
  workspace(r)->Open(file, &res);
  return res;
}

std::string answer(DesktopRig& r, const std::string& line) {
  std::string a;
  long res = -1;
  r.main->App()->Execute(line, &a, &res);
  return a;
}

long components(DesktopRig& r) {
  long n = 0;
  r.main->App()->get_CompCount(&n);
  return n;
}

// Each panel window as name, then its tabs' component.panel, then its place in twips.
QStringList windows(DesktopRig& r) {
  QStringList out;
  for (const frmHost* h : r.main->Shell().hosts) {
    QString line = QString::fromStdString(h->WndName()) + ":";
    for (const cCtrl* c : h->Ctrls()) line += " " + QString::fromStdString(c->compName + "." + c->compType);
    line += QString(" @%1,%2").arg(std::lround(KvPixelsToTwips(h->x()))).arg(std::lround(KvPixelsToTwips(h->y())));
    out << line;
  }
  return out;
}

// The listing's lines in order (the drawing's components come first after a reopen).
std::string sorted(const std::string& listing) {
  QStringList lines = QString::fromStdString(listing).split("\r\n");
  lines.sort();
  return lines.join("\n").toStdString();
}

QWidget* editor(DesktopRig& r) { return r.main->Schematic()->Control(); }

}  // namespace

class SetupFileTests : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::string path(const char* file) const { return dir.path().toStdString() + "/" + file; }

 private slots:
  void theFileIsWrittenByteForByte_data() {
    QTest::addColumn<bool>("schematic");
    QTest::addColumn<QString>("expected");
    const QString settings =
        "g.i2=0\r\ng.i4=0\r\ng.r4=0\r\ng.r8=0\r\ng.text=\"[Kelvane]\"\r\ng.release=0\r\ng.isstatic=0\r\ng.count=4\r\ng.gain=1\r\n"
        "s.i2=0\r\ns.i4=0\r\ns.r4=0\r\ns.r8=0\r\ns.text=\"\"\r\ns.release=0\r\ns.isstatic=0\r\ns.count=4\r\ns.gain=1\r\n";
    QTest::newRow("without schematic")
        << false << "\r\n[Kelvane]\r\nload g=test.src\r\nload s=test.sink\r\nlink s.a=g.out\r\n" + settings;
    // The drawing recreates g, so neither g's load line nor its links are written twice.
    QTest::newRow("with schematic") << true
                                    << "[Schematic]\r\nload g = test.src\r\n\r\n[Kelvane]\r\nload s=test.sink\r\n"
                                       "link s.a=g.out\r\n" +
                                           settings;
  }
  void theFileIsWrittenByteForByte() {
    QFETCH(bool, schematic);
    QFETCH(QString, expected);
    DesktopRig r;
    if (schematic) QCOMPARE(editor(r)->property("label").toString(), "abc");
    if (schematic) r.main->Schematic()->LoadState("load g = test.src");
    if (!schematic) r.exec("load g = test.src");
    for (const char* l : {"load s = test.sink", "s.a = g.out", "g.text = \"[Kelvane]\"", "load t = test.src", "unload t"}) r.exec(l);
    QCOMPARE(saveAs(r, path("bytes.kvs")), 0L);
    QCOMPARE(QString::fromStdString(readAll(path("bytes.kvs"))), expected);
    // A setting that holds the header's text does not stand for the header.
    long res = 1;
    workspace(r)->Close(&res);
    QCOMPARE(open(r, path("bytes.kvs")), 0L);
    QCOMPARE(answer(r, "g.text"), std::string("[Kelvane]"));
  }

  void panelsArePlacedInWindowAndTabOrderAndToolsWriteNone() {
    DesktopRig r;
    for (const char* l : {"load m1 = Meas", "load m2 = Meas", "m1.ogui.wnd = \"W\"", "m2.igui.wnd = \"W\""}) r.exec(l);
    r.main->ShowToolWindow("Console", "KvPlugins.CmdConsole");
    for (const char* l : {"show(m1.igui,1500,750)", "show(m1.ogui,3000,450)", "show(m2.igui)"}) r.exec(l);
    QCOMPARE(r.main->Shell().hosts.size(), size_t(3));
    const std::string block = r.main->PlacementBlock();
    auto at = [&](int i) {
      const frmHost* h = r.main->Shell().hosts[static_cast<size_t>(i)];
      return std::to_string(std::lround(KvPixelsToTwips(h->x()))) + "," + std::to_string(std::lround(KvPixelsToTwips(h->y())));
    };
    QCOMPARE(QString::fromStdString(block),
             QString::fromStdString("m1.igui.wnd=\"m1\"\r\nshow(m1.igui," + at(1) + ")\r\nm1.ogui.wnd=\"W\"\r\nshow(m1.ogui," + at(2) +
                                    ")\r\nm2.igui.wnd=\"W\"\r\nshow(m2.igui," + at(2) + ")\r\n"));
    QCOMPARE(at(1), std::string("1500,750"));
    QCOMPARE(saveAs(r, path("panels.kvs")), 0L);
    const std::string text = readAll(path("panels.kvs"));
    QVERIFY(text.size() > block.size() && text.compare(text.size() - block.size(), block.size(), block) == 0);
  }

  void aSaveAndReopenGivesTheSameNetworkAndWindows() {
    std::string state;
    QStringList before;
    {
      DesktopRig r;
      for (const char* l : {"load g = test.src", "load p = test.pass", "load m = Meas", "p.in = g.out", "g.gain = 3",
                            "m.ck.mid = 1.5", "m.ogui.wnd = \"Results\"", "show(m.igui,600,300)", "show(m.ogui,4500,300)"})
        r.exec(l);
      // The drawing's d is made first on reopening; its link to the console's p comes after.
      r.main->Schematic()->LoadState("load d = test.sink");
      r.exec("d.a = p.out");
      state = sorted(answer(r, "sys.state"));
      before = windows(r);
      QCOMPARE(saveAs(r, path("round.kvs")), 0L);
      long res = 1;
      workspace(r)->Close(&res);
      QCOMPARE(components(r), 0L);
      QCOMPARE(r.main->windowTitle(), "Kelvane");
    }
    DesktopRig r;
    QCOMPARE(open(r, path("round.kvs")), 0L);
    QCOMPARE(sorted(answer(r, "sys.state")), state);
    QCOMPARE(answer(r, "d.a"), std::string("p.out"));
    QCOMPARE(windows(r), before);
    // " Done." ends the last line of the replay (here a panel of m that has no control yet).
    QVERIFY2(r.log().find("Loading setup from " + path("round.kvs") + ".") != std::string::npos, r.log().c_str());
    QVERIFY2(QString::fromStdString(r.log()).endsWith(" Done."), r.log().c_str());
    // The drawing came back first, as the state the editor had written.
    QCOMPARE(editor(r)->property("loaded").toStringList().size(), 1);
    QCOMPARE(editor(r)->property("loaded").toStringList()[0].trimmed(), "load d = test.sink");
    QCOMPARE(r.main->windowTitle(), QString::fromStdString("round.kvs - Kelvane [" + path("round.kvs") + "]"));
  }

  void replayingCountsTheErrorsOfBothSections_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");
    QTest::newRow("both clean, schematic first")
        << "[Schematic]\r\nload a = test.src\r\n\r\n[Kelvane]\r\na.gain=2\r\n" << "Done.";
    QTest::newRow("errors summed") << "[Schematic]\r\nload a = nosuch\r\nload b = nosuch\r\n\r\n[Kelvane]\r\nbogus line\r\n"
                                   << "3 error(s) in setup file";
    QTest::newRow("engine lines before the drawing fail")
        << "[Kelvane]\r\na.gain=2\r\n[Schematic]\r\nload a = test.src\r\n" << "1 error(s) in setup file";
    QTest::newRow("other sections skipped") << "[Notes]\r\nbogus\r\n[KELVANE]\r\nload z=test.src\r\n" << "Done.";
  }
  void replayingCountsTheErrorsOfBothSections() {
    QFETCH(QString, text);
    QFETCH(QString, says);
    DesktopRig r;
    writeAll(path("errors.kvs"), text.toStdString());
    QCOMPARE(open(r, path("errors.kvs")), 0L);
    const std::string log = r.log();
    QVERIFY2(log.find(says.toStdString()) != std::string::npos, log.c_str());
  }

  void aSchematicWithoutAnEditorIsAnError() {
    qputenv("KV_TEST_NO_SCHEMATIC", "1");
    DesktopRig r;
    QVERIFY(!r.main->Schematic()->HasEditor());
    qunsetenv("KV_TEST_NO_SCHEMATIC");
    writeAll(path("noeditor.kvs"), "[Schematic]\r\nload a = test.src\r\n\r\n[Kelvane]\r\nload b=test.src\r\n");
    QCOMPARE(open(r, path("noeditor.kvs")), 0L);
    QVERIFY2(r.log().find("1 error(s) in setup file") != std::string::npos, r.log().c_str());
    QCOMPARE(CDialogs::Get().Shown().back(), std::string("Schematic Editor coming soon ..."));
    QVERIFY(!r.main->Schematic()->isVisible());
    // A save without an editor writes no schematic section.
    QCOMPARE(saveAs(r, path("noeditor2.kvs")), 0L);
    QCOMPARE(readAll(path("noeditor2.kvs")).rfind("\r\n[Kelvane]\r\nload b=test.src\r\n", 0), 0u);
  }

  void aSetupThatMovesTheLibraryPathSaysSo() {
    // A folder the user trusts, as setups may only move the path to such a one.
    DesktopRig r([&](DesktopRig&) { DesktopRig::Preset("Settings", "Libraries", dir.path().toStdString()); });
    writeAll(path("lib.kvs"), "[Kelvane]\r\nload library = \"" + dir.path().toStdString() + "\"\r\n");
    std::string before;
    r.main->Utils()->get_LibraryPath(&before);
    open(r, path("lib.kvs"));
    std::string after;
    r.main->Utils()->get_LibraryPath(&after);
    QVERIFY2(after != before, r.log().c_str());
    QVERIFY2(r.log().find("The setup set the library path to " + after) != std::string::npos, r.log().c_str());
  }

  void saveAsksForANameOnlyWhenItHasNone_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<QString>("filter");
    QTest::newRow("untitled") << "untitled.kvs" << true << "Kelvane Script Files (*.kvs)";
    QTest::newRow("Untitled saves in place") << "Untitled.kvs" << false << "";
    QTest::newRow("no name") << "" << true << "Kelvane Script Files (*.kvs)";
    QTest::newRow("other kind") << "notes.txt" << false << "";
  }
  void saveAsksForANameOnlyWhenItHasNone() {
    QFETCH(QString, file);
    QFETCH(bool, asks);
    QFETCH(QString, filter);
    DesktopRig r;
    r.exec("load g = test.src");
    const std::string target = path("chosen.kvs");
    std::remove(target.c_str());
    if (!file.isEmpty()) QCOMPARE(saveAs(r, path(file.toUtf8().constData())), 0L);
    CDialogs::Get().ClearShown();
    CDialogs::Get().Script({target});
    r.main->FindAction("mnuSave")->trigger();
    QCOMPARE(CDialogs::Get().Shown().size(), size_t(asks ? 1 : 0));
    if (!asks) return;
    QCOMPARE(QString::fromStdString(CDialogs::Get().Shown()[0]).section('\n', 0, 1), "Save As\n" + filter);
    QCOMPARE(name(r), target);
    QVERIFY(readAll(target).find("load g=test.src") != std::string::npos);
  }

  void saveAsFilterFollowsTheExtension_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("filter");
    QTest::newRow("kvs") << "a.kvs" << "Kelvane Script Files (*.kvs)";
    QTest::newRow("KVS") << "a.KVS" << "Kelvane Script Files (*.kvs)";
    QTest::newRow("none") << "a" << "Kelvane Script Files (*.kvs)";
    QTest::newRow("txt") << "a.txt" << "All Files (*.*)";
    QTest::newRow("dot in the folder only") << "d.x/a" << "Kelvane Script Files (*.kvs)";
  }
  void saveAsFilterFollowsTheExtension() {
    QFETCH(QString, file);
    QFETCH(QString, filter);
    DesktopRig r;
    QDir(dir.path()).mkpath("d.x");
    QCOMPARE(saveAs(r, path(file.toUtf8().constData())), 0L);
    CDialogs::Get().ClearShown();
    CDialogs::Get().Script({"\x1b"});
    r.main->FindAction("mnuSaveAs")->trigger();
    QCOMPARE(QString::fromStdString(CDialogs::Get().Shown().at(0)),
             "Save As\n" + filter + "\n" + QString::fromStdString(path(file.toUtf8().constData())));
    QCOMPARE(name(r), path(file.toUtf8().constData()));  // cancelled: nothing changed
  }

  void recentFilesKeepTheLastFour_data() {
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("newest first") << QStringList({"a", "b", "c"}) << QStringList({"c", "b", "a", ""});
    QTest::newRow("a known one swaps with the first") << QStringList({"a", "b", "c", "d", "b"})
                                                      << QStringList({"b", "c", "d", "a"});
    QTest::newRow("a fifth drops the oldest") << QStringList({"a", "b", "c", "d", "e"}) << QStringList({"e", "d", "c", "b"});
    QTest::newRow("case makes another file") << QStringList({"a", "A"}) << QStringList({"A", "a", "", ""});
    QTest::newRow("the first again") << QStringList({"a", "b", "b"}) << QStringList({"b", "a", "", ""});
  }
  void recentFilesKeepTheLastFour() {
    QFETCH(QStringList, opened);
    QFETCH(QStringList, expected);
    DesktopRig r;
    for (const QString& f : opened) r.main->Document().Named(path(f.toUtf8().constData()));
    QStringList got, menu;
    for (const std::string& e : r.main->Document().Recent()) got << QString::fromStdString(e).section('/', -1);
    QCOMPARE(got, expected);
    for (int i = 0; i < 4; ++i) {
      QAction* a = r.main->FindAction(QString("mnuRecent%1").arg(i));
      QCOMPARE(a->isVisible(), !expected[i].isEmpty());
      if (a->isVisible()) QCOMPARE(a->text().section('/', -1), expected[i]);
    }
    QVERIFY(r.main->FindAction("mnuRecentBar")->isVisible());
  }

  void recentEntriesOpenAndAFailedOneGoes() {
    DesktopRig r([&](DesktopRig&) {
      DesktopRig::Preset("Settings\\Files", "File0", path("gone.kvs"));
      DesktopRig::Preset("Settings\\Files", "File1", path("r&d.kvs"));
    });
    writeAll(path("r&d.kvs"), "[Kelvane]\r\nload q=test.src\r\n");
    QCOMPARE(r.main->FindAction("mnuRecent1")->text().toStdString(), path("r&&d.kvs"));
    r.main->FindAction("mnuRecent1")->trigger();
    QVERIFY(r.main->App() && answer(r, "q.gain") == "1");
    QCOMPARE(DesktopRig::Setting("Settings\\Files", "File0"), path("r&d.kvs"));
    // The network is open now: the next entry asks first, and goes as it cannot be opened.
    CDialogs::Get().ClearShown();
    CDialogs::Get().Script({"OK"});
    r.main->FindAction("mnuRecent1")->trigger();
    QCOMPARE(CDialogs::Get().Shown().at(0), "Are you sure you want to close " + path("r&d.kvs"));
    QCOMPARE(DesktopRig::Setting("Settings\\Files", "File1"), std::string());
    QVERIFY(!r.main->FindAction("mnuRecent1")->isVisible());
  }

  void closingAskMeansStop_data() {
    QTest::addColumn<bool>("console");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("opened");
    QTest::newRow("nothing open: no question") << false << "" << false << true;
    QTest::newRow("console network: asked, OK") << true << "OK" << true << true;
    QTest::newRow("console network: asked, Cancel") << true << "Cancel" << true << false;
  }
  void closingAskMeansStop() {
    QFETCH(bool, console);
    QFETCH(QString, reply);
    QFETCH(bool, asked);
    QFETCH(bool, opened);
    DesktopRig r;
    writeAll(path("other.kvs"), "[Kelvane]\r\nload o=test.src\r\n");
    if (console) r.exec("load c = test.src");
    CDialogs::Get().ClearShown();
    std::vector<std::string> script;
    if (asked) script.push_back(reply.toStdString());
    script.push_back(path("other.kvs"));
    CDialogs::Get().Script(script);
    r.main->FindAction("mnuOpen")->trigger();
    QCOMPARE(CDialogs::Get().Shown().front() == "Are you sure you want to close untitled", asked);
    QCOMPARE(name(r) == path("other.kvs"), opened);
    bool c = false;
    r.main->App()->isLoaded("c", &c);
    QCOMPARE(c, console && !opened);
  }

  void closeStopsARunFirst() {
    DesktopRig r;
    r.chain();
    PassCounter c(r.main->App());
    qobject_cast<QComboBox*>(r.main->findChild<QComboBox*>("cmbMode"))->setCurrentIndex(3);  // For Ever
    r.main->Control()->Run();
    QVERIFY(r.waitFor([&] { return c.after >= 3; }));
    r.main->FindAction("mnuClose")->trigger();
    QVERIFY(!r.busy());
    QCOMPARE(components(r), 0L);
  }

  void newNamesTheDocumentAndOpensTheChosenKind_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("schematic");
    QTest::newRow("Schematic") << 0 << true << true;
    QTest::newRow("Script") << 1 << true << false;
    QTest::newRow("OK without a choice") << -1 << false << false;
  }
  void newNamesTheDocumentAndOpensTheChosenKind() {
    QFETCH(int, row);
    QFETCH(bool, named);
    QFETCH(bool, schematic);
    DesktopRig r;
    QStringList captions;
    CDialogs::Get().SetModalHook([&](QDialog& d) {
      auto* dialog = dynamic_cast<CNewDialog*>(&d);
      for (int i = 0; dialog && i < dialog->List()->count(); ++i) captions << dialog->List()->item(i)->text();
      if (dialog && row >= 0) dialog->List()->setCurrentRow(row);
      if (dialog) dialog->accept();
      return d.result();
    });
    r.main->FindAction("mnuNew")->trigger();
    QCOMPARE(captions, QStringList({"Schematic", "Kelvane Script"}));
    std::string folder;
    r.main->Utils()->get_WorkspacePath(&folder);
    QCOMPARE(r.main->windowTitle().startsWith("untitled.kvs - Kelvane ["), named);
    if (named) QCOMPARE(DesktopRig::Setting("Settings\\Files", "File0"), folder + "/untitled.kvs");
    QCOMPARE(r.main->Schematic()->isVisible(), schematic);
    QCOMPARE(name(r), std::string());  // the workspace itself is not changed
  }

  void aFailedSaveLeavesTheOldFileAndSaysWhy_data() {
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("read-only folder") << true;
    QTest::newRow("failure in mid-write") << false;
  }
  void aFailedSaveLeavesTheOldFileAndSaysWhy() {
    QFETCH(bool, readOnlyFolder);
    if (geteuid() == 0 && readOnlyFolder) QSKIP("root writes into read-only folders");
    QTemporaryDir folder;
    const std::string file = folder.path().toStdString() + "/kept.kvs";
    DesktopRig r;
    QCOMPARE(saveAs(r, file), 0L);
    const std::string old = readAll(file);
    for (int i = 0; i < 40; ++i) r.exec("load m" + std::to_string(i) + " = Meas");
    const QString caption = r.main->windowTitle();
    long res = 0;
    if (readOnlyFolder) {
      chmod(folder.path().toUtf8().constData(), 0555);
      workspace(r)->Save(&res);
      chmod(folder.path().toUtf8().constData(), 0755);
    } else {
      // The file system refuses the bytes past the first 4 KB, as a full disk would.
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit was{}, low{};
      getrlimit(RLIMIT_FSIZE, &was);
      low = was;
      low.rlim_cur = 4096;
      setrlimit(RLIMIT_FSIZE, &low);
      workspace(r)->Save(&res);
      setrlimit(RLIMIT_FSIZE, &was);
    }
    QCOMPARE(res, -1L);
    QCOMPARE(readAll(file), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList({"kept.kvs"}));
    QVERIFY2(r.log().find(file) != std::string::npos, r.log().c_str());
    QCOMPARE(r.main->windowTitle(), caption);
  }
};

KV_QTEST(SetupFileTests)
#include "SetupFileTests.moc"
