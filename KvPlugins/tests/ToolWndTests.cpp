// The contract every tool window shares, window by window: captions, tab captions, the
// initial size the host is told, the style, what closing stores, and the minimum size.

#include <QTabBar>
#include <stdexcept>

#include "KvPlugins/ToolWnd.h"
#include "KvPlugins/tests/PluginRig.h"
#include "desktop/Twips.h"

namespace {

// A window whose start-up and layout fail, to see where the faults go.
class Faulty final : public CToolWnd {
 public:
  Faulty() : CToolWnd(nullptr, Traits{"Faulty", "F", "F", 3600, 3900, nullptr, 4, true}) {}
  int laidOut = 0;

 protected:
  void started() override { throw std::runtime_error("no start-up"); }
  void layOut() override {
    ++laidOut;
    throw 7;
  }
};

}  // namespace

class ToolWndTests : public QObject {
  Q_OBJECT

  static void windows() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tabShown");
    QTest::addColumn<QString>("tabAnswer");
    QTest::addColumn<QSize>("twips");
    QTest::addColumn<QString>("section");
    QTest::addColumn<bool>("minimum");
    QTest::newRow("console") << "KvPlugins.CmdConsole" << "Command Console" << "Console" << "Console" << QSize(3600, 3900)
                             << "Wnd\\CmdConsole" << true;
    QTest::newRow("history") << "KvPlugins.CmdHistory" << "Command History" << "History" << "History" << QSize(3600, 3900)
                             << "Wnd\\History" << true;
    QTest::newRow("log") << "KvPlugins.LogViewer" << "Log" << "Log" << "Log" << QSize(4200, 2400) << "" << true;
    QTest::newRow("modules") << "KvPlugins.ModViewer" << "Module List" << "Modules" << "Comp" << QSize(3600, 3900)
                             << "Wnd\\ModViewer" << false;
    QTest::newRow("conn list") << "KvPlugins.ConnViewer" << "Connection List" << "ConnLst" << "Conn" << QSize(3000, 3000)
                               << "Wnd\\ConnViewer" << false;
    QTest::newRow("conn editor") << "KvPlugins.ConnEditor" << "Connection Editor" << "ConnEd" << "Conn"
                                 << QSize(6600, 4800) << "Wnd\\ConnEditor" << false;
    QTest::newRow("code") << "KvPlugins.CodeEditor" << "Code Editor" << "Code" << "Code" << QSize(3600, 3900)
                          << "Wnd\\CodeEditor" << true;
  }

  // A window of its own holding just that tool.
  static std::pair<frmHost*, IKvGui*> open(DesktopRig& r, const QString& progId) {
    frmHost* h = r.main->NewPanelWindow("contract");
    h->AddCtrl("tool", progId.toStdString(), true, false);
    h->show();
    QCoreApplication::processEvents();
    return {h, h->Ctrls().empty() ? nullptr : dynamic_cast<IKvGui*>(h->Ctrls()[0]->ctrl)};
  }

 private slots:
  void theContractPerWindow_data() { windows(); }
  void theContractPerWindow() {
    QFETCH(QString, progId);
    QFETCH(QString, caption);
    QFETCH(QString, tabShown);
    QFETCH(QString, tabAnswer);
    QFETCH(QSize, twips);
    QFETCH(QString, section);
    DesktopRig r;
    auto [h, gui] = open(r, progId);
    QVERIFY2(gui, "not installed");
    QCOMPARE(h->windowTitle(), caption);
    QCOMPARE(h->findChild<QTabBar*>()->tabText(0), tabShown);
    std::string text;
    QCOMPARE(gui->get_TabCaption(&text), S_OK);
    QCOMPARE(QString::fromStdString(text), tabAnswer);
    QCOMPARE(gui->get_Caption(&text), S_OK);
    QCOMPARE(QString::fromStdString(text), caption);
    GuiStyle s{};
    QCOMPARE(gui->GetStyle(&s), S_OK);
    QCOMPARE((std::vector<int>{s.bResizeable, s.bToolwnd, s.bDialog, s.bMaximize, s.bMinimize, s.bCloseable}),
             (std::vector<int>{1, 1, 0, 0, 0, 1}));
    // A tool frame with a close box only.
    QVERIFY(!h->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!h->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(h->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    // The host was told the initial size: one control, so the margins around it.
    const int m = KvTwipsToPixels(30);
    QCOMPARE(h->widget()->size(), QSize(KvTwipsToPixels(twips.width()) + 2 * m, KvTwipsToPixels(twips.height()) + 2 * m));
    // Closing stores how, for the next start; the log viewer stores nothing.
    for (int16_t mode : {int16_t{4}, int16_t{10}}) {
      long refuse = -1;
      QCOMPARE(gui->QueryUnload(&mode, &refuse), S_OK);
      QCOMPARE(refuse, 0L);
      if (!section.isEmpty())
        QCOMPARE(DesktopRig::Setting(section.toStdString(), "Load"), std::to_string(mode));
    }
    if (section.isEmpty()) QCOMPARE(DesktopRig::Setting("Wnd\\Log", "Load"), std::string());
  }

  void aToolNamesOnlyItsOwnTab() {
    DesktopRig r;
    frmHost* first = r.main->Shell().hosts.front();
    r.main->ShowToolWindow("Modules", "KvPlugins.ModViewer");
    r.main->ShowToolWindow("Console", "KvPlugins.CmdConsole", false);
    r.main->ShowToolWindow("ConnEd", "KvPlugins.ConnEditor");
    QTabBar* bar = first->findChild<QTabBar*>();
    QStringList texts;
    for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
    QCOMPARE(texts, (QStringList{"Log", "Modules", "Console", "ConnEd"}));
    // The tool in front has the size it asked for, not the size of the one before it.
    QCoreApplication::processEvents();
    QCOMPARE(first->Ctrls().back()->ctrl->size(), QSize(KvTwipsToPixels(6600), KvTwipsToPixels(4800)));
    first->SelectTab(1);
    QCoreApplication::processEvents();
    QCOMPARE(first->Ctrls()[1]->ctrl->size(), QSize(KvTwipsToPixels(3600), KvTwipsToPixels(3900)));
  }

  void closingTheProgramRemembersTheOpenTools() {
    DesktopRig r;
    r.main->ShowToolWindow("Console", "KvPlugins.CmdConsole");
    r.main->ShowToolWindow("Modules", "KvPlugins.ModViewer");
    r.main->close();
    QCOMPARE(DesktopRig::Setting("Wnd\\CmdConsole", "Load"), std::string("4"));
    QCOMPARE(DesktopRig::Setting("Wnd\\ModViewer", "Load"), std::string("4"));
    QCOMPARE(DesktopRig::Setting("Wnd\\History", "Load"), std::string());  // never opened
  }

  void aFaultInAHandlerIsReportedWithItsCodeAndTheWindowGoesOn() {
    DesktopRig r;
    Faulty w;
    IApp* app = r.main->App();
    std::string label = "f";
    QCOMPARE(w.Load(&app, nullptr, &label), S_OK);
    w.resize(300, 300);
    w.show();
    QCoreApplication::processEvents();
    QVERIFY(w.laidOut > 0);
    std::string caption;
    QCOMPARE(w.get_Caption(&caption), S_OK);
    QCOMPARE(caption, std::string("Faulty"));
    const std::string log = r.log();
    QVERIFY2(log.find("Faulty: Error 104002/0 in line 0: no start-up") != std::string::npos, log.c_str());
    QVERIFY2(log.find("Faulty: Error 104004/0 in line 0: unknown error") != std::string::npos, log.c_str());
    QCOMPARE(w.Unload(), S_OK);
  }

  void shrinkingBelowTheMinimumIsUndone_data() { windows(); }
  void shrinkingBelowTheMinimumIsUndone() {
    QFETCH(QString, progId);
    QFETCH(bool, minimum);
    DesktopRig r;
    auto [h, gui] = open(r, progId);
    QVERIFY2(gui, "not installed");
    QWidget* tool = h->Ctrls()[0]->ctrl;
    // The user drags the window's border so the tool would be w x h twips.
    auto shrinkTo = [&](int w, int hh) {
      h->resize(h->size() - (tool->size() - QSize(KvTwipsToPixels(w), KvTwipsToPixels(hh))));
      QCoreApplication::processEvents();
    };
    const int tall = tool->height();
    shrinkTo(2000, static_cast<int>(KvPixelsToTwips(tall)));
    if (minimum) QCOMPARE(tool->size(), QSize(KvTwipsToPixels(3000), tall));  // raised, the height kept
    else QCOMPARE(tool->width(), KvTwipsToPixels(2000));
    // Both sides short: both raised in one step.
    shrinkTo(1000, 900);
    if (minimum) QCOMPARE(tool->size(), QSize(KvTwipsToPixels(3000), KvTwipsToPixels(1800)));
    else QCOMPARE(tool->size(), QSize(KvTwipsToPixels(1000), KvTwipsToPixels(900)));
  }
};

KV_QTEST(ToolWndTests)
#include "ToolWndTests.moc"
