// Panel hosting on the real engine and a test control library: where "show" and "showall"
// put panels, what a window does with one control or several, and what controls may refuse.

#include <QElapsedTimer>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QTabBar>
#include <QtTest>

#include "desktop/MouseHook.h"
#include "desktop/ShowRequest.h"
#include "desktop/Twips.h"
#include "desktop/tests/DesktopRig.h"

namespace {

// The panel windows holding a control of the component.
std::vector<frmHost*> windowsOf(DesktopRig& r, const std::string& comp) {
  std::vector<frmHost*> out;
  for (frmHost* h : r.main->Shell().hosts)
    if (h->FindCtrl(comp) >= 0) out.push_back(h);
  return out;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

class HostingTests : public QObject {
  Q_OBJECT

 private slots:
  void showRequests_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("comp");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("top");
    QTest::newRow("plain") << "m.igui" << "m" << "igui" << "-" << "-";
    QTest::newRow("position") << "m.igui,1500,750" << "m" << "igui" << "1500" << "750";
    QTest::newRow("left only") << "m.igui,1500" << "m" << "igui" << "1500" << "-";
    QTest::newRow("not a number is missing") << "m.igui,abc,750" << "m" << "igui" << "-" << "750";
    QTest::newRow("infinite is missing") << "m.igui,inf,1e999" << "m" << "igui" << "-" << "-";
    QTest::newRow("blanks") << " m.igui , 10 , 20 " << "m" << "igui" << "10" << "20";
    QTest::newRow("no panel") << "m" << "" << "" << "-" << "-";
    QTest::newRow("empty panel") << "m." << "" << "" << "-" << "-";
    QTest::newRow("empty component") << ".igui" << "" << "" << "-" << "-";
    QTest::newRow("empty") << "" << "" << "" << "-" << "-";
  }
  void showRequests() {
    QFETCH(QString, text);
    QFETCH(QString, comp);
    QFETCH(QString, panel);
    QFETCH(QString, left);
    QFETCH(QString, top);
    const ShowRequest r = ParseShowRequest(text.toStdString());
    QCOMPARE(QString::fromStdString(r.comp), comp);
    QCOMPARE(QString::fromStdString(r.panel), panel);
    if (comp.isEmpty()) return;
    QCOMPARE(r.left ? QString::number(*r.left) : QString("-"), left);
    QCOMPARE(r.top ? QString::number(*r.top) : QString("-"), top);
  }

  void dragPayloads_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("id");
    QTest::newRow("own") << QString::fromStdString(DragPayload(42)) << 42;
    QTest::newRow("more after the semicolon") << "drag.ctl.id=7;x" << 7;
    QTest::newRow("no semicolon") << "drag.ctl.id=7" << -1;
    QTest::newRow("two equals") << "drag.ctl.id=7=8;" << -1;
    QTest::newRow("other name") << "drag.ctl.ix=7;" << -1;
    QTest::newRow("longer name") << "xdrag.ctl.id=7;" << -1;
    QTest::newRow("not a number") << "drag.ctl.id=seven;" << -1;
    QTest::newRow("negative") << "drag.ctl.id=-7;" << -1;
    QTest::newRow("empty id") << "drag.ctl.id=;" << -1;
    QTest::newRow("too long") << "drag.ctl.id=99999999999999999999;" << -1;
    QTest::newRow("empty") << "" << -1;
  }
  void dragPayloads() {
    QFETCH(QString, text);
    QFETCH(int, id);
    QCOMPARE(ParseDragPayload(text.toStdString()), static_cast<long>(id));
  }

  void panelsNamingOneWindowShareIt() {
    DesktopRig r;
    QVERIFY(r.loaded);
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    QCOMPARE(r.exec("m.igui.wnd = \"Meas\""), 0L);
    QCOMPARE(r.exec("m.ogui.wnd = \"meas\""), 0L);  // window names ignore case
    QCOMPARE(r.exec("showall()"), 0L);
    const std::vector<frmHost*> w = windowsOf(r, "m");
    QCOMPARE(w.size(), size_t{1});
    QCOMPARE(w[0]->Ctrls().size(), size_t{2});
    QVERIFY(w[0]->TabsVisible());
    // The missing output panel says so, in the log once and in its tab.
    QCOMPARE(count(r.log(), "Module=m, GUI=KvMeas.Outputs not installed"), size_t{1});
    QCOMPARE(w[0]->findChild<QLabel*>("errorLabel")->text(), "ERROR -  KvMeas.Outputs not installed.");
    // Shown again: nothing new anywhere.
    QCOMPARE(r.exec("showall()"), 0L);
    QCOMPARE(r.exec("show(m.igui)"), 0L);
    QCOMPARE(windowsOf(r, "m").size(), size_t{1});
    QCOMPARE(w[0]->Ctrls().size(), size_t{2});
    QCOMPARE(w[0]->SelectedTab(), 0);
    QCOMPARE(count(r.log(), "not installed"), size_t{1});
  }

  void showUsesTheWindowAndPositionAsked() {
    DesktopRig r;
    r.exec("load m = meas.ck");
    r.exec("show(m.igui,1500,750)");
    std::vector<frmHost*> w = windowsOf(r, "m");
    QCOMPARE(w.size(), size_t{1});
    // Without a ".wnd" the component names the window, and the panel remembers it.
    QCOMPARE(w[0]->WndName(), std::string("m"));
    std::string wnd;
    r.main->App()->get_str("m", "igui.wnd", &wnd);
    QCOMPARE(wnd, std::string("m"));
    QCOMPARE(w[0]->x(), KvTwipsToPixels(1500));
    QCOMPARE(w[0]->y(), KvTwipsToPixels(750));
    // The panel called Caption and Size on its host when it loaded.
    QCOMPARE(w[0]->windowTitle(), "Panel m");
    const int m = KvTwipsToPixels(30);
    QCOMPARE(w[0]->widget()->width(), KvTwipsToPixels(3000) + 2 * m);
    QCOMPARE(w[0]->widget()->height(), KvTwipsToPixels(1500) + 2 * m);
    QVERIFY(!w[0]->TabsVisible());
  }

  void anUnloadedComponentTakesOnlyItsPanels() {
    DesktopRig r;
    r.exec("load m = meas.ck");
    r.exec("load n = meas.ck");
    r.exec("m.igui.wnd = \"shared\"");
    r.exec("n.igui.wnd = \"shared\"");
    r.exec("showall()");
    // A tool window labelled like the component is no panel of it.
    r.main->ShowToolWindow("M", "KvTest.Panel");
    frmHost* shared = r.main->FindPanelWindow("shared");
    QVERIFY(shared);
    QCOMPARE(shared->Ctrls().size(), size_t{2});
    QCOMPARE(r.exec("unload m"), 0L);
    QCOMPARE(shared->Ctrls().size(), size_t{1});
    QCOMPARE(shared->Ctrls()[0]->compName, std::string("n"));
    QVERIFY(!r.main->FindPanelWindow("m"));  // its own window went with its last panel
    QVERIFY(r.main->Shell().hosts.front()->FindCtrl("M") >= 0);
  }

  // The show requests share their event channel with components of the same names: a
  // component's own events must neither show other panels nor keep its panels after unload.
  void componentsNamedLikeTheShowRequests_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "m";
    QTest::newRow("show") << "show";
    QTest::newRow("showall") << "showall";
  }

  void componentsNamedLikeTheShowRequests() {
    QFETCH(QString, name);
    const std::string n = name.toStdString();
    DesktopRig r;
    QCOMPARE(r.exec("load other = meas.ck"), 0L);
    QCOMPARE(r.exec("load g = test.src"), 0L);
    QCOMPARE(r.exec("load " + n + " = meas.ck"), 0L);
    QCOMPARE(r.exec(n + ".ck.mid = 0.3"), 0L);
    QCOMPARE(r.exec("link " + n + ".ck.in = g.out"), 0L);
    QVERIFY(windowsOf(r, "other").empty());
    QCOMPARE(r.exec("show(" + n + ".igui)"), 0L);
    QCOMPARE(windowsOf(r, n).size(), size_t{1});
    QCOMPARE(r.exec("unload " + n), 0L);
    QVERIFY(windowsOf(r, n).empty());
    QVERIFY(windowsOf(r, "other").empty());
  }

  void styleComesFromTheSelectedControl_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<bool>("maxMin");
    QTest::addColumn<bool>("tool");
    QTest::newRow("panel") << "KvTest.Panel" << true << true << false;
    QTest::newRow("fixed") << "KvTest.Fixed" << false << false << true;
  }
  void styleComesFromTheSelectedControl() {
    QFETCH(QString, progId);
    QFETCH(bool, resizable);
    QFETCH(bool, maxMin);
    QFETCH(bool, tool);
    DesktopRig r;
    frmHost* h = r.main->NewPanelWindow("styled");
    h->AddCtrl("c", progId.toStdString(), true, false);
    QCOMPARE(h->Resizable(), resizable);
    QCOMPARE(h->ToolFrame(), tool);
    QCOMPARE(h->windowFlags().testFlag(Qt::WindowMaximizeButtonHint), maxMin);
    QCOMPARE(h->windowFlags().testFlag(Qt::WindowMinimizeButtonHint), maxMin);
    QVERIFY(h->windowFlags().testFlag(Qt::WindowCloseButtonHint));
  }

  void removingControls() {
    DesktopRig r;
    frmHost* h = r.main->NewPanelWindow("two");
    h->AddCtrl("a", "KvTest.Panel", true, false);
    h->AddCtrl("b", "KvTest.Refuse", true, false);
    QCOMPARE(h->PopupEntries(), (std::vector<std::string>{"Tabs on Top", "Tabs on Bottom", "-", "Stay on Top", "Close"}));
    CDialogs::Get().ClearShown();
    QVERIFY(!h->DelCtrl(1));  // refuses
    QCOMPARE(CDialogs::Get().Shown().back(),
             std::string("Can't delete/move the control to new window. The control may be busy or fixed."));
    QVERIFY(h->DelCtrl(0));
    QCOMPARE(h->Ctrls().size(), size_t{1});
    QVERIFY(!h->TabsVisible());
    QCOMPARE(h->PopupEntries(), (std::vector<std::string>{"Stay on Top", "Close", "Drag to Another Window"}));
    // The window refuses to close while its control does.
    QVERIFY(!h->close());
    QCOMPARE(CDialogs::Get().Shown().back(), std::string("The software is busy right now, please try closing again later"));
    QVERIFY(r.main->FindPanelWindow("two"));
    // The last control going closes the window.
    frmHost* other = r.main->NewPanelWindow("one");
    other->AddCtrl("c", "KvTest.Panel", true, false);
    QVERIFY(other->DelCtrl(0));
    QCoreApplication::processEvents();
    QVERIFY(!r.main->FindPanelWindow("one"));
  }

  void popupTogglesAndPlacesTabs() {
    DesktopRig r;
    frmHost* h = r.main->NewPanelWindow("pop");
    h->AddCtrl("a", "KvTest.Panel", true, false);
    h->AddCtrl("b", "KvTest.Panel", true, false);
    h->PopupChoose("Tabs on Bottom");
    QVERIFY(!h->TabsOnTop());
    h->PopupChoose("Stay on Top");
    QVERIFY(h->OnTop());
    QVERIFY(h->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    h->PopupChoose("Stay on Top");
    QVERIFY(!h->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    h->SelectTab(1);
    h->PopupChoose("Close");
    QCOMPARE(h->Ctrls().size(), size_t{1});
    QCOMPARE(h->Ctrls()[0]->compName, std::string("a"));
  }

  void eachTabComesBackAtItsOwnSize() {
    DesktopRig r;
    frmHost* h = r.main->NewPanelWindow("sizes");
    h->AddCtrl("a", "KvTest.Panel", true, false);
    h->AddCtrl("b", "KvTest.Panel", true, false);
    h->SelectTab(0);
    QCOMPARE(h->Size(3000, 1500), S_OK);
    const QSize sizeA = h->widget()->size();
    h->SelectTab(1);
    QCOMPARE(h->Size(4500, 2400), S_OK);
    const QSize sizeB = h->widget()->size();
    QVERIFY(sizeA != sizeB);
    h->SelectTab(0);
    QCOMPARE(h->widget()->size(), sizeA);
    h->SelectTab(1);
    QCOMPARE(h->widget()->size(), sizeB);
    // Alone again, the control keeps its size and the tab strip gives way to the margins.
    QVERIFY(h->DelCtrl(1));
    const int m = KvTwipsToPixels(30);
    QCOMPARE(h->widget()->size(), QSize(KvTwipsToPixels(3000) + 2 * m, KvTwipsToPixels(1500) + 2 * m));
  }

  void aPanelOfNoComponentIsRefusedAndLeavesTheWayFree() {
    DesktopRig r;
    const size_t before = r.main->Shell().hosts.size();
    r.exec("show(m.igui)");
    QCOMPARE(r.main->Shell().hosts.size(), before);
    QVERIFY2(r.log().find("Cannot show m.igui: no component m") != std::string::npos, r.log().c_str());
    r.exec("load m = Meas");
    r.exec("show(M.igui)");
    QCOMPARE(windowsOf(r, "m").size(), size_t(1));
    QVERIFY(windowsOf(r, "m")[0]->Ctrls()[0]->ctrl);  // the real control, not an error tab
  }

  void aControlBehindAnotherTabSizesAndNamesOnlyItself() {
    DesktopRig r;
    frmHost* h = r.main->NewPanelWindow("sites");
    h->AddCtrl("a", "KvTest.Panel", true, false);
    h->AddCtrl("b", "KvTest.Panel", true, false);
    h->SelectTab(0);
    const QSize front = h->widget()->size();
    QWidget* b = h->Ctrls()[1]->ctrl;
    b->setProperty("askSize", QSize(6000, 3600));
    b->setProperty("askTab", "b's own");
    b->setProperty("askCaption", "not now");
    QCOMPARE(h->widget()->size(), front);
    auto* bar = h->findChild<QTabBar*>();
    QCOMPARE(bar->tabText(0), "a");
    QCOMPARE(bar->tabText(1), "b's own");
    QCOMPARE(h->windowTitle(), "Panel a");
    // Its tab selected, it gets the size it asked for.
    h->SelectTab(1);
    QCOMPARE(h->Ctrls()[1]->last, QSize(KvTwipsToPixels(6000), KvTwipsToPixels(3600)));
    QVERIFY(h->widget()->size() != front);
    h->Ctrls()[1]->ctrl->setProperty("askCaption", "now");
    QCOMPARE(h->windowTitle(), "now");
  }

  void theLogWindowOnlyHides() {
    DesktopRig r;
    frmHost* log = r.main->Shell().hosts.front();
    QVERIFY(!log->close());
    QVERIFY(log->isHidden());
    QCOMPARE(r.main->Shell().hosts.front(), log);
    r.main->FindAction("mnuLog")->trigger();
    QVERIFY(!log->isHidden());
  }

  void failingFactoryLeavesAnErrorTab() {
    DesktopRig r;
    r.main->ShowToolWindow("broken", "KvTest.Failing");
    frmHost* first = r.main->Shell().hosts.front();
    const int at = first->FindCtrl("broken");
    QVERIFY(at >= 0);
    QVERIFY(!first->Ctrls()[static_cast<size_t>(at)]->ctrl);
    QCOMPARE(first->findChild<QLabel*>("errorLabel")->text(), "ERROR -  KvTest.Failing not installed.");
  }

  void mouseHookOnTheFrame() {
    DesktopRig r;
    r.main->showNormal();
    frmHost* fixed = r.main->NewPanelWindow("fixed", 0.0, 0.0);
    fixed->AddCtrl("f", "KvTest.Fixed", true, false);
    frmHost* free = r.main->NewPanelWindow("free", 6000.0, 0.0);
    free->AddCtrl("p", "KvTest.Panel", true, false);
    QCoreApplication::processEvents();
    PanelMouseHook* hook = r.main->MouseHook();
    QVERIFY(hook);
    std::vector<frmHost*> popups;
    hook->popup = [&](frmHost* h) { popups.push_back(h); };
    auto send = [&](frmHost* h, QEvent::Type t, Qt::MouseButton b, QPoint at) {
      QMouseEvent e(t, at, h->mapToGlobal(at), b, b, Qt::NoModifier);
      return hook->eventFilter(h, &e);
    };
    const QPoint border(fixed->width() / 2, fixed->height() - 1);
    const QPoint title(fixed->width() / 2, 3);
    QVERIFY(send(fixed, QEvent::MouseButtonPress, Qt::LeftButton, border));
    QVERIFY(send(fixed, QEvent::MouseMove, Qt::NoButton, border));
    QVERIFY(!send(fixed, QEvent::MouseButtonPress, Qt::LeftButton, title));  // it still moves
    QVERIFY(!send(free, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(free->width() / 2, free->height() - 1)));
    QVERIFY(send(free, QEvent::MouseButtonRelease, Qt::RightButton, title));
    QCOMPARE(popups, std::vector<frmHost*>{free});
    // A control's own clicks are not the frame's.
    QMouseEvent inner(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QVERIFY(!hook->eventFilter(fixed->widget(), &inner));
  }

  void dropRules_data() {
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("ours");
    QTest::addColumn<QString>("into");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("another window's control") << "own" << kDragMime << true << "target" << true;
    QTest::newRow("onto its own window") << "own" << kDragMime << true << "source" << false;
    QTest::newRow("from another program") << "own" << kDragMime << false << "target" << false;
    QTest::newRow("plain text") << "own" << "text/plain" << true << "target" << false;
    QTest::newRow("malformed") << "drag.ctl.id=x;" << kDragMime << true << "target" << false;
    QTest::newRow("no longer hosted") << "drag.ctl.id=9999;" << kDragMime << true << "target" << false;
  }
  void dropRules() {
    QFETCH(QString, payload);
    QFETCH(QString, format);
    QFETCH(bool, ours);
    QFETCH(QString, into);
    QFETCH(bool, accepted);
    DesktopRig r;
    frmHost* source = r.main->NewPanelWindow("source");
    source->AddCtrl("p", "KvTest.Panel", true, false);
    frmHost* target = r.main->NewPanelWindow("target");
    target->AddCtrl("q", "KvTest.Panel", true, false);
    QMimeData data;
    const std::string text = payload == "own" ? DragPayload(source->Ctrls()[0]->id) : payload.toStdString();
    data.setData(format, QByteArray::fromStdString(text));
    QCOMPARE((into == "source" ? source : target)->AcceptsDrop(&data, ours), accepted);
  }

  void theOnlyTabMovesToAWindowOfItsOwn() {
    DesktopRig r;
    frmHost* solo = r.main->NewPanelWindow("solo");
    solo->AddCtrl("p", "KvTest.Panel", true, false);
    const long id = solo->Ctrls()[0]->id;
    QVERIFY(r.main->MoveControl(id, nullptr, QPoint(120, 90)));
    QVERIFY(!r.main->FindPanelWindow("solo"));
    frmHost* own = r.main->FindPanelWindow("p");
    QVERIFY(own);
    QCOMPARE(own->Ctrls().size(), size_t{1});
    QCOMPARE(own->pos(), QPoint(KvTwipsToPixels(KvPixelsToTwips(120)), KvTwipsToPixels(KvPixelsToTwips(90))));
    // Into a window with a control already: it comes to the front there.
    frmHost* other = r.main->NewPanelWindow("other");
    other->AddCtrl("q", "KvTest.Panel", true, false);
    QVERIFY(r.main->MoveControl(own->Ctrls()[0]->id, other, QPoint()));
    QCOMPARE(other->Ctrls().size(), size_t{2});
    QCOMPARE(other->SelectedTab(), 1);
    // A control that refuses to go stays.
    frmHost* fixed = r.main->NewPanelWindow("fixed");
    fixed->AddCtrl("f", "KvTest.Refuse", true, false);
    QVERIFY(!r.main->MoveControl(fixed->Ctrls()[0]->id, other, QPoint()));
    QCOMPARE(fixed->Ctrls().size(), size_t{1});
    QCOMPARE(other->Ctrls().size(), size_t{2});
  }

  void aMovedLogViewerLosesNoLine() {
    DesktopRig r;
    IUtils* u = r.main->Utils();
    u->AddLog("before the move", sevWarn);
    frmHost* first = r.main->Shell().hosts.front();
    frmHost* target = r.main->NewPanelWindow("target");
    target->AddCtrl("q", "KvTest.Panel", true, false);
    // The two halves of a drop, with a line arriving between them.
    r.main->Shell().dragging = true;
    QVERIFY(first->DelCtrl(first->FindCtrl("Log")));
    QVERIFY(r.main->Shell().logHeld);
    u->AddLog("while it moves", sevWarn);
    QVERIFY(target->AddCtrl("Log", "KvPlugins.LogViewer", true, false));
    r.main->Shell().dragging = false;
    QVERIFY(!r.main->Shell().logHeld);
    u->AddLog("after the move", sevWarn);
    const std::string text = r.log();
    const size_t a = text.find("before the move"), b = text.find("while it moves"), c = text.find("after the move");
    QVERIFY2(a != std::string::npos && b != std::string::npos && c != std::string::npos, text.c_str());
    QVERIFY(a < b && b < c);
    QCOMPARE(count(text, "before the move"), size_t{1});
  }

  void aDragOfATabEndsWithTheLogGivenBack() {
    DesktopRig r;
    IUtils* u = r.main->Utils();
    frmHost* h = r.main->NewPanelWindow("drag");
    h->AddCtrl("a", "KvTest.Panel", true, false);
    h->AddCtrl("b", "KvTest.Panel", true, false);
    h->show();
    QCoreApplication::processEvents();
    auto* bar = h->findChild<QTabBar*>();
    QVERIFY(bar);
    const QPoint start = bar->tabRect(0).center();
    QCOMPARE(bar->tabAt(start), 0);
    auto send = [&](QEvent::Type type, QPoint at) {
      QMouseEvent e(type, at, bar->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(bar, &e);
    };
    // A log held as if a log viewer were on its way: whatever ends the drag gives it back.
    r.main->Shell().logHeld = true;
    u->HoldLog(true);
    u->AddLog("held during the drag", sevWarn);
    const int far = KvTwipsToPixels(60);
    QElapsedTimer clock;
    clock.start();
    send(QEvent::MouseButtonPress, start);
    send(QEvent::MouseMove, start + QPoint(far, 0));
    if (clock.elapsed() < 100) QVERIFY(r.main->Shell().logHeld);  // too soon to be a drag
    QTest::qWait(150);
    send(QEvent::MouseMove, start + QPoint(far - 1, far - 1));
    QVERIFY(r.main->Shell().logHeld);  // not far enough
    send(QEvent::MouseMove, start + QPoint(0, -far));
    QVERIFY(!r.main->Shell().logHeld);
    QVERIFY(!r.main->Shell().dragging);
    QCOMPARE(count(r.log(), "held during the drag"), size_t{1});
    // The gesture is spent: the window and its tabs are as they were.
    send(QEvent::MouseButtonRelease, start);
    QCOMPARE(h->Ctrls().size(), size_t{2});
  }

  void newWindowsLineUpToTheRight() {
    DesktopRig r;
    r.main->showNormal();
    r.main->resize(1600, 900);
    QCoreApplication::processEvents();
    frmHost* a = r.main->NewPanelWindow("a", 0.0, 0.0);
    frmHost* b = r.main->NewPanelWindow("b");
    QCOMPARE(b->x(), a->x() + a->width());
    QCOMPARE(b->y(), a->y());
  }
};

#include "HostingTests.moc"
KV_QTEST(HostingTests)
