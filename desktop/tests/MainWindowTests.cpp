// The main window on the real engine: its fixed texts, start-up from settings, the tool
// windows it restores, the busy query and the order in which it lets go of the engine.

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QtTest>

#include "desktop/RunControl.h"
#include "desktop/Twips.h"
#include "desktop/frmSch.h"
#include "desktop/tests/DesktopRig.h"

namespace {

QStringList entries(QMenu* m) {
  QStringList out;
  for (QAction* a : m->actions())
    if (!a->isSeparator() && a->isVisible()) out << a->text();
  return out;
}

QStringList tabTexts(frmHost* h) {
  QStringList out;
  QTabBar* bar = h->findChild<QTabBar*>();
  for (int i = 0; bar && i < bar->count(); ++i) out << bar->tabText(i);
  return out;
}

}  // namespace

class MainWindowTests : public QObject {
  Q_OBJECT

 public slots:
  // Receives what the shell hands the desktop to open (a slot, so not run as a test).
  void openedUrl(const QUrl& url) { opened = url; }

 private:
  QUrl opened;

 private slots:
  void menusCarryTheirCaptionsAndAccessKeys() {
    DesktopRig r;
    const QList<QAction*> menus = r.main->menuBar()->actions();
    QStringList titles;
    for (QAction* a : menus) titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&View", "&Tools", "&Window", "&Help"}));
    const QList<QStringList> expected = {
        {"&New", "&Open...", "&Close", "&Save", "Save &As...", "Page Set&up...", "Print Pre&view", "&Print...", "E&xit"},
        {"Co&de Editor", "&Command Console", "Command &History", "Co&nnection Editor", "Connection &List", "&Log",
         "&Module List", "&Schematic Editor", "&User Control", "&Toolbar", "Status &Bar", "&Options..."},
        {"&Run", "&Stop", "&Abort"},
        {"&Cascade", "Tile &Horizontal", "Tile &Vertical", "&Arrange Icons"},
        {"&Contents", "&Search For Help On...", "&About "},
    };
    for (int i = 0; i < menus.size(); ++i) QCOMPARE(entries(menus[i]->menu()), expected[i]);
  }

  void toolbarsCarryTheirKeysAndTips_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("tip");
    QTest::newRow("New") << "New" << "New";
    QTest::newRow("Open") << "Open" << "Open";
    QTest::newRow("Save") << "Save" << "Save";
    QTest::newRow("Print") << "Print" << "Print";
    QTest::newRow("Run") << "Run" << "Starts Running";
    QTest::newRow("Stop") << "Stop" << "Stops after current cycle";
    QTest::newRow("Abort") << "Abort" << "Aborts current cycle";
  }
  void toolbarsCarryTheirKeysAndTips() {
    QFETCH(QString, key);
    QFETCH(QString, tip);
    DesktopRig r;
    QAction* a = r.main->FindAction(key);
    QVERIFY(a);
    QCOMPARE(a->toolTip(), tip);
  }

  void startUpSetsUpTheEngineThroughTheMainWindow() {
    DesktopRig r;
    QVERIFY(r.loaded);
    const intptr_t* record = r.main->StartupRecord();
    KvWnd hwnd = 0;
    r.main->App()->get_hwnd(&hwnd);
    QCOMPARE(hwnd, r.main->EventWindow());
    QCOMPARE(static_cast<KvWnd>(record[kStartLogWnd]), r.main->Log()->LogWindow());
    QVERIFY(record[kStartClientWnd] != 0);
    // The engine's three status panels live in the status strip; the start-up left it empty.
    QCOMPARE(r.main->StatusStrip()->Children().size(), size_t{3});
    std::string status = "x";
    r.main->Utils()->get_StatusBar(&status);
    QCOMPARE(status, std::string());
    QVERIFY(r.log().find("Help for Kelvane") != std::string::npos);
    // Run is offered once the engine has its log, and so its acquisition controller.
    QVERIFY(r.main->FindAction("Run")->isEnabled());
    QCOMPARE(r.main->windowTitle(), "Kelvane");
  }

  void placementComesFromTheSettings_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("maximised");
    QTest::newRow("default") << QString() << true;
    QTest::newRow("normal") << "0" << false;
  }
  void placementComesFromTheSettings() {
    QFETCH(QString, state);
    QFETCH(bool, maximised);
    DesktopRig r([&](DesktopRig&) {
      if (state.isNull()) return;
      DesktopRig::Preset("Wnd\\Main", "State", state.toStdString());
      DesktopRig::Preset("Wnd\\Main", "Left", "1500");
      DesktopRig::Preset("Wnd\\Main", "Width", "9000");
    });
    QCOMPARE(r.main->isMaximized(), maximised);
    if (!maximised) {
      QCOMPARE(r.main->x(), KvTwipsToPixels(1500));
      QCOMPARE(r.main->width(), KvTwipsToPixels(9000));
      QCOMPARE(r.main->height(), KvTwipsToPixels(6500));
    }
  }

  void toolWindowsRestoredBehindTheLog_data() {
    QTest::addColumn<QString>("load");
    QTest::addColumn<bool>("restored");
    QTest::newRow("0 stays closed") << "0" << false;
    QTest::newRow("10 stays closed") << "10" << false;
    QTest::newRow("4 restored") << "4" << true;
    QTest::newRow("1 restored") << "1" << true;
  }
  void toolWindowsRestoredBehindTheLog() {
    QFETCH(QString, load);
    QFETCH(bool, restored);
    DesktopRig r([&](DesktopRig&) {
      DesktopRig::Preset("Wnd\\CmdConsole", "Load", load.toStdString());
      DesktopRig::Preset("Wnd\\History", "Load", load.toStdString());
    });
    frmHost* first = r.main->Shell().hosts.front();
    const QStringList expected = restored ? QStringList({"Log", "Console", "History"}) : QStringList({"Log"});
    QCOMPARE(tabTexts(first), expected);
    QCOMPARE(first->SelectedTab(), 0);  // the log stays in front
  }

  void toolWindowEntrySelectsOrAddsItsTab() {
    DesktopRig r;
    frmHost* first = r.main->Shell().hosts.front();
    r.main->FindAction("mnuCmdConsole")->trigger();
    QCOMPARE(tabTexts(first), QStringList({"Log", "Console"}));
    QCOMPARE(first->SelectedTab(), 1);
    r.main->FindAction("mnuLog")->trigger();
    QCOMPARE(first->SelectedTab(), 0);
    r.main->FindAction("mnuCmdConsole")->trigger();  // found again, not added twice
    QCOMPARE(tabTexts(first).size(), 2);
    QCOMPARE(first->SelectedTab(), 1);
    // A control nobody installed says so where it was asked for.
    QLabel* error = first->findChild<QLabel*>("errorLabel");
    QVERIFY(error);
    QCOMPARE(error->text(), "ERROR -  KvPlugins.CmdConsole not installed.");
  }

  void userControlAsksTwiceAndRemembers_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("added");
    QTest::newRow("both") << QStringList({"Demo.Thing", "thing"}) << true;
    QTest::newRow("no dot gets the title") << QStringList({"Thing", "thing"}) << true;
    QTest::newRow("cancelled") << QStringList({"Demo.Thing", "\x1b"}) << false;
    QTest::newRow("empty label") << QStringList({"Demo.Thing", ""}) << false;
  }
  void userControlAsksTwiceAndRemembers() {
    QFETCH(QStringList, answers);
    QFETCH(bool, added);
    DesktopRig r;
    std::vector<std::string> script;
    for (const QString& a : answers) script.push_back(a.toStdString());
    CDialogs::Get().Script(script);
    CDialogs::Get().ClearShown();
    r.main->FindAction("mnuUserControl")->trigger();
    const std::vector<std::string> prompts = {"Enter the full control name. For example: DemoCtl.UserControl1",
                                              "Enter the label for this control. For example: myctl"};
    QVERIFY(CDialogs::Get().Shown() == prompts);
    frmHost* first = r.main->Shell().hosts.front();
    QCOMPARE(first->FindCtrl("thing") >= 0, added);
    if (added) {
      const cCtrl* c = first->Ctrls()[first->FindCtrl("thing")];
      QCOMPARE(QString::fromStdString(c->compType), answers[0].contains('.') ? answers[0] : "Kelvane." + answers[0]);
      QCOMPARE(DesktopRig::Setting("Misc", "UserControlName"), answers[0].toStdString());
      QCOMPARE(DesktopRig::Setting("Misc", "UserControlLabel"), answers[1].toStdString());
    } else {
      QCOMPARE(DesktopRig::Setting("Misc", "UserControlName"), std::string());
    }
  }

  void viewTogglesShowAndHideTheBars() {
    DesktopRig r;
    QAction* toolbar = r.main->FindAction("mnuToolbar");
    QAction* status = r.main->FindAction("mnuStatusBar");
    QVERIFY(toolbar->isChecked() && status->isChecked());
    toolbar->trigger();
    status->trigger();
    QVERIFY(!toolbar->isChecked() && !status->isChecked());
    QVERIFY(r.main->findChild<QToolBar*>("fileBar")->isHidden());
    QVERIFY(r.main->findChild<QToolBar*>("runBar")->isHidden());
    QVERIFY(r.main->statusBar()->isHidden());
    toolbar->trigger();
    QVERIFY(!r.main->findChild<QToolBar*>("runBar")->isHidden());
  }

  void contentsOpensTheHelpPageInTheBrowser() {
    DesktopRig r;
    QDesktopServices::setUrlHandler("https", this, "openedUrl");
    opened = QUrl();
    r.main->FindAction("mnuContents")->trigger();
    QDesktopServices::unsetUrlHandler("https");
    QVERIFY2(opened.isValid() && opened.scheme() == "https" && !opened.host().isEmpty(),
             qPrintable(opened.toString()));
  }

  void searchForHelpSaysThereIsNone() {
    DesktopRig r;
    CDialogs::Get().ClearShown();
    r.main->FindAction("mnuSearch")->trigger();
    QCOMPARE(CDialogs::Get().Shown().size(), size_t{1});
    QCOMPARE(CDialogs::Get().Shown()[0],
             std::string("Unable to display Help Contents. There is no Help associated with this project."));
  }

  void aboutListsEveryLibraryAndLeavesTheUsersComponents() {
    DesktopRig r;
    QCOMPARE(r.exec("load test = test.src"), 0L);  // named like a library
    std::string detailed;
    const std::string text = r.main->AboutText(&detailed);
    std::string version;
    r.main->Utils()->get_Version(&version);
    QVERIFY(text.rfind("Kelvane ", 0) == 0);
    QVERIFY(text.find(version) != std::string::npos);
    // Each other library answers its version and is gone again.
    for (const char* lib : {"Meas", "SigGen", "Filter"}) {
      QVERIFY2(text.find(std::string("\r\n") + lib + " ") != std::string::npos, text.c_str());
      bool loaded = true;
      r.main->App()->isLoaded(lib, &loaded);
      QVERIFY(!loaded);
    }
    QVERIFY(text.find("Test (in use)") != std::string::npos);
    // The detailed listing: the same versions behind names in a 15-character column and a tab.
    for (const char* lib : {"Meas", "SigGen", "Filter"}) {
      const size_t at = text.find(std::string("\r\n") + lib + " ") + 2;
      const std::string version = text.substr(at + strlen(lib) + 1, text.find("\r\n", at) - at - strlen(lib) - 1);
      std::string padded = lib;
      padded.resize(15, ' ');
      const size_t d = detailed.find("\r\n" + padded + "\t");
      QVERIFY2(d != std::string::npos, detailed.c_str());
      const std::string row = detailed.substr(d + 2, detailed.find("\r\n", d + 2) - d - 2);
      QVERIFY2(row.size() > version.size() && row.compare(row.size() - version.size(), version.size(), version) == 0,
               row.c_str());
      QVERIFY(!version.empty());
    }
    bool kept = false;
    r.main->App()->isLoaded("test", &kept);
    QVERIFY(kept);
    long count = 0;
    r.main->App()->get_CompCount(&count);
    QCOMPARE(count, 1L);
  }

  void tilesStackOrSideBySide() {
    DesktopRig r;
    r.main->showNormal();
    r.main->resize(900, 700);
    r.main->NewPanelWindow("second");
    QCoreApplication::processEvents();
    const QList<QMdiSubWindow*> w = r.main->Mdi()->subWindowList();
    QCOMPARE(w.size(), 2);
    r.main->FindAction("mnuTileHorizontal")->trigger();
    QCOMPARE(w[0]->x(), w[1]->x());
    QVERIFY(w[0]->y() != w[1]->y());
    QCOMPARE(w[0]->width(), r.main->Mdi()->viewport()->width());
    r.main->FindAction("mnuTileVertical")->trigger();
    QCOMPARE(w[0]->y(), w[1]->y());
    QVERIFY(w[0]->x() != w[1]->x());
    QCOMPARE(w[0]->height(), r.main->Mdi()->viewport()->height());
  }

  void resizeTellsTheEngineTheInnerSize() {
    DesktopRig r;
    r.main->showNormal();
    r.main->resize(800, 600);
    QCoreApplication::processEvents();
    float width = 0, height = 0;
    r.main->Utils()->get_guiWidth(&width);
    r.main->Utils()->get_guiHeight(&height);
    QCOMPARE(qRound(width), qRound(KvPixelsToTwips(r.main->Mdi()->width())));
    QCOMPARE(qRound(height), qRound(KvPixelsToTwips(r.main->Mdi()->height())));
    QVERIFY(width > 0 && height > 0);
  }

  void closeLetsGoOfTheEngineInOrder() {
    DesktopRig r([](DesktopRig&) { DesktopRig::Preset("Wnd\\Main", "State", "0"); });
    r.main->move(KvTwipsToPixels(2000), KvTwipsToPixels(3000));
    r.main->close();
    const std::vector<std::string> expected = {"placement", "forms", "UnloadNetlist", "kill",
                                               "Init(0)", "Utils released", "App released"};
    QVERIFY(r.main->CloseSteps() == expected);
    QVERIFY(!r.main->App());
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "State"), std::string("0"));
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "Left"), std::to_string(std::lround(KvPixelsToTwips(KvTwipsToPixels(2000)))));
  }

  void maximisedCloseKeepsTheLastNormalPlacement() {
    DesktopRig r([](DesktopRig&) { DesktopRig::Preset("Wnd\\Main", "Left", "1234"); });
    QVERIFY(r.main->isMaximized());
    r.main->close();
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "State"), std::string("2"));
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "Left"), std::string("1234"));
  }

  void storedPlacementIsCheckedAndKeptExactly_data() {
    QTest::addColumn<QStringList>("stored");  // Left, Top, Width, Height (State is 0)
    QTest::addColumn<QStringList>("applied");
    QTest::addColumn<bool>("keptAsText");  // an unchanged window writes the texts back
    const QStringList defaults({"1000", "1000", "6500", "6500"});
    QTest::newRow("odd twips stay exact") << QStringList({"1001", "1007", "7003", "6997"})
                                          << QStringList({"1001", "1007", "7003", "6997"}) << true;
    QTest::newRow("not a number") << QStringList({"12abc", "1000", "6500", "6500"}) << defaults << false;
    QTest::newRow("no size") << QStringList({"1000", "1000", "0", "6500"}) << defaults << false;
    QTest::newRow("negative size") << QStringList({"1000", "1000", "6500", "-20"}) << defaults << false;
    QTest::newRow("off every screen") << QStringList({"90000000", "1000", "6500", "6500"}) << defaults << false;
    QTest::newRow("empty") << QStringList({"", "1000", "6500", "6500"}) << defaults << false;
  }
  void storedPlacementIsCheckedAndKeptExactly() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, applied);
    QFETCH(bool, keptAsText);
    const char* keys[] = {"Left", "Top", "Width", "Height"};
    DesktopRig r([&](DesktopRig&) {
      DesktopRig::Preset("Wnd\\Main", "State", "0");
      for (int i = 0; i < 4; ++i) DesktopRig::Preset("Wnd\\Main", keys[i], stored[i].toStdString());
    });
    QCOMPARE(r.main->x(), KvTwipsToPixels(applied[0].toDouble()));
    QCOMPARE(r.main->y(), KvTwipsToPixels(applied[1].toDouble()));
    QCOMPARE(r.main->width(), KvTwipsToPixels(applied[2].toDouble()));
    QCOMPARE(r.main->height(), KvTwipsToPixels(applied[3].toDouble()));
    r.main->close();
    for (int i = 0; i < 4 && keptAsText; ++i) QCOMPARE(DesktopRig::Setting("Wnd\\Main", keys[i]), stored[i].toStdString());
    // Defaults written back come out as the defaults' own twips, never a rounded neighbour.
    for (int i = 0; i < 4 && !keptAsText; ++i) QCOMPARE(DesktopRig::Setting("Wnd\\Main", keys[i]), applied[i].toStdString());
  }

  void firstStartIsMaximisedOverTheDefaultPlacement() {
    DesktopRig r;
    QVERIFY(r.main->isMaximized());
    r.main->showNormal();
    QCOMPARE(r.main->geometry().size(), QSize(KvTwipsToPixels(6500), KvTwipsToPixels(6500)));
    QCOMPARE(r.main->pos(), QPoint(KvTwipsToPixels(1000), KvTwipsToPixels(1000)));
  }

  void minimisedCloseStoresNothing() {
    DesktopRig r([](DesktopRig&) {
      DesktopRig::Preset("Wnd\\Main", "State", "1");
      DesktopRig::Preset("Wnd\\Main", "Left", "1234");
    });
    QVERIFY(r.main->isMinimized());
    r.main->move(300, 300);
    r.main->close();
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "State"), std::string("1"));
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "Left"), std::string("1234"));
    QCOMPARE(DesktopRig::Setting("Wnd\\Main", "Width"), std::string());
  }

  void theSchematicWindowRemembersItsNormalPlace_data() {
    QTest::addColumn<bool>("maximised");
    QTest::newRow("normal") << false;
    QTest::newRow("maximised keeps the last") << true;
  }
  void theSchematicWindowRemembersItsNormalPlace() {
    QFETCH(bool, maximised);
    DesktopRig r;
    frmSch* sch = r.main->Schematic();
    QVERIFY(sch->HasEditor());
    QVERIFY(sch->Load());
    QCOMPARE(sch->geometry(), QRect(KvTwipsToPixels(1000), KvTwipsToPixels(4000), KvTwipsToPixels(9000), KvTwipsToPixels(5000)));
    sch->move(KvTwipsToPixels(1500), KvTwipsToPixels(600));
    if (maximised) sch->showMaximized();
    r.main->close();
    QCOMPARE(DesktopRig::Setting("Wnd\\Sch", "Left"),
             maximised ? std::string() : std::to_string(std::lround(KvPixelsToTwips(KvTwipsToPixels(1500)))));
    QCOMPARE(DesktopRig::Setting("Wnd\\Sch", "Height"), maximised ? std::string() : std::string("5000"));
  }

  void printEntriesOpenTheirDialogsAndPrintPreviewNothing_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("dialog");
    QTest::newRow("page setup") << "mnuPageSetup" << true;
    QTest::newRow("print") << "mnuPrint" << true;
    QTest::newRow("print preview") << "mnuPrintPreview" << false;
  }
  void printEntriesOpenTheirDialogsAndPrintPreviewNothing() {
    QFETCH(QString, entry);
    QFETCH(bool, dialog);
    DesktopRig r;
    int shown = 0;
    CDialogs::Get().SetModalHook([&](QDialog&) {
      ++shown;
      return int(QDialog::Accepted);
    });
    r.main->FindAction(entry)->trigger();
    QCOMPARE(shown, dialog ? 1 : 0);
    QCOMPARE(DesktopRig::Setting("Settings\\Print", "Orientation"), std::string(dialog ? "2" : ""));
  }

  void busyQueryAnswers_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("closed");
    QTest::newRow("yes kills") << "Yes" << "kill(1000)" << true;
    QTest::newRow("no aborts and waits") << "No" << "abort" << true;
    QTest::newRow("cancel stays") << "Cancel" << "cancelled" << false;
  }
  void busyQueryAnswers() {
    QFETCH(QString, answer);
    QFETCH(QString, step);
    QFETCH(bool, closed);
    DesktopRig r;
    long handle = 0;
    r.main->App()->SetBusy(&handle);
    CDialogs::Get().ClearShown();
    CDialogs::Get().Script({answer.toStdString()});
    r.main->close();
    QCOMPARE(CDialogs::Get().Shown().size(), size_t{1});
    QCOMPARE(CDialogs::Get().Shown()[0],
             std::string("The application is currently busy\nPress Yes to immediately close the application\n"
                         "Press No to first stop the current process\nPress Cancel if you don't want to close "
                         "the application"));
    QCOMPARE(QString::fromStdString(r.main->CloseSteps().front()), step);
    QCOMPARE(r.main->App() == nullptr, closed);
    if (!closed) {
      r.main->App()->SetBusyNot(handle);
      r.main->close();
      QVERIFY(!r.main->App());
    }
  }
};

#include "MainWindowTests.moc"
KV_QTEST(MainWindowTests)
