// The log viewer in the real shell: the engine's log shown in it, its contract and size, and
// the log following the viewers as they come and go without losing or repeating a line.

#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <atomic>
#include <chrono>
#include <thread>

#include "KvDll/GlobalData.h"
#include "KvPlugins/tests/PluginRig.h"
#include "desktop/Twips.h"

namespace {

constexpr const char* kProgId = "KvPlugins.LogViewer";

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Every line once, in this order.
bool inOrderOnce(const std::string& text, const std::vector<std::string>& lines) {
  size_t at = 0;
  for (const std::string& l : lines) {
    if (count(text, l) != 1) return false;
    const size_t found = text.find(l);
    if (found < at) return false;
    at = found;
  }
  return true;
}

// The hosted log viewers, oldest first, with their panel windows.
struct Viewer {
  frmHost* host;
  QWidget* widget;
  IKvLogView* view;
};
std::vector<Viewer> viewers(DesktopRig& r) {
  std::vector<Viewer> out;
  for (const cCtrl* c : r.main->Shell().ctrls)
    if (auto* v = dynamic_cast<IKvLogView*>(c->ctrl)) out.push_back({c->host, c->ctrl, v});
  return out;
}

// A log viewer added as its own panel window's only control.
Viewer addViewer(DesktopRig& r, const std::string& window) {
  frmHost* h = r.main->NewPanelWindow(window);
  h->AddCtrl(window, kProgId, true, false);
  return viewers(r).back();
}

void removeViewer(const Viewer& v) { v.host->DelCtrl(v.host->FindCtrl(v.host->Ctrls()[0]->compName)); }

// The shown text widget of the log.
QPlainTextEdit* shownText(QWidget* viewer) {
  for (QPlainTextEdit* t : viewer->findChildren<QPlainTextEdit*>())
    if (t->isVisibleTo(viewer)) return t;
  return nullptr;
}

// Counts the F1 keys that reach an object.
class KeyWatch final : public QObject {
 public:
  int f1 = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if ((e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1)
      ++f1;
    return false;
  }
};

}  // namespace

class LogViewerTests : public QObject {
  Q_OBJECT

 private slots:
  // The shell opens the library's viewer at start-up and the engine logs into it.
  void theLogIsShownInTheLibrarysViewer() {
    DesktopRig r;
    QVERIFY(r.loaded);
    const std::vector<Viewer> v = viewers(r);
    QCOMPARE(v.size(), size_t{1});
    QCOMPARE(r.main->Shell().ctrls.front()->compType, std::string(kProgId));
    QCOMPARE(static_cast<KvWnd>(r.main->StartupRecord()[kStartLogWnd]), v[0].view->LogWindow());
    r.main->Utils()->AddLog("a line for the viewer", sevWarn);
    QVERIFY(r.log().find("a line for the viewer") != std::string::npos);
    QVERIFY(r.log().find("Help for Kelvane") != std::string::npos);  // logged before the start-up ended
    QPlainTextEdit* text = shownText(v[0].widget);
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->font().families().value(0), QString("MS Sans Serif"));
    QCOMPARE(text->font().pointSize(), 8);
    QCOMPARE(text->font().styleHint(), QFont::SansSerif);
  }

  void contract() {
    DesktopRig r;
    const Viewer v = viewers(r).front();
    auto* gui = dynamic_cast<IKvGui*>(v.widget);
    QVERIFY(gui);
    std::string caption, tab;
    gui->get_Caption(&caption);
    gui->get_TabCaption(&tab);
    QCOMPARE(caption, std::string("Log"));
    QCOMPARE(tab, std::string("Log"));
    GuiStyle s{};
    QCOMPARE(gui->GetStyle(&s), S_OK);
    QVERIFY(s.bResizeable && s.bToolwnd && !s.bDialog && !s.bMaximize && !s.bMinimize && s.bCloseable);
    // It asks to stay open and remembers nothing.
    const QString store = r.config.path() + "/settings.ini";
    QFile before(store);
    const QByteArray was = before.open(QIODevice::ReadOnly) ? before.readAll() : QByteArray();
    int16_t mode = 1;
    long refuse = -1;
    QCOMPARE(gui->QueryUnload(&mode, &refuse), S_OK);
    QCOMPARE(refuse, 0L);
    QFile after(store);
    QCOMPARE(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), was);
  }

  // Below the minimum the control asks its panel window for the minimum, both sides at once;
  // otherwise the log's text fills it.
  void minimumSize_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("wantWidth");
    QTest::addColumn<int>("wantHeight");
    QTest::addColumn<bool>("raised");
    QTest::newRow("too narrow") << 2000 << 2400 << 3000 << 2400 << true;
    QTest::newRow("too low") << 4200 << 1000 << 4200 << 1800 << true;
    QTest::newRow("both") << 1000 << 500 << 3000 << 1800 << true;
    QTest::newRow("at the minimum") << 3000 << 1800 << 3000 << 1800 << false;
    QTest::newRow("large") << 6000 << 4000 << 6000 << 4000 << false;
  }
  void minimumSize() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, wantWidth);
    QFETCH(int, wantHeight);
    QFETCH(bool, raised);
    DesktopRig r;
    const Viewer v = viewers(r).front();
    v.host->show();
    QCoreApplication::processEvents();
    const QSize frame = v.host->size();
    v.widget->resize(KvTwipsToPixels(width), KvTwipsToPixels(height));
    QCOMPARE(v.widget->size(), QSize(KvTwipsToPixels(wantWidth), KvTwipsToPixels(wantHeight)));
    QCOMPARE(v.host->size() != frame, raised);
    QCOMPARE(shownText(v.widget)->size(), v.widget->size());
  }

  void f1IsSwallowed() {
    DesktopRig r;
    const Viewer v = viewers(r).front();
    v.host->show();
    QPlainTextEdit* text = shownText(v.widget);
    KeyWatch above;
    v.host->installEventFilter(&above);
    QTest::keyClick(text, Qt::Key_F1);
    QCOMPARE(above.f1, 0);
    v.host->removeEventFilter(&above);
  }

  // However viewers come and go, the log is in the newest one left, with every line once.
  void theLogFollowsTheViewers() {
    DesktopRig r;
    IUtils* u = r.main->Utils();
    std::vector<std::string> lines;
    auto log = [&](const std::string& line) {
      u->AddLog(line, sevWarn);
      lines.push_back(line);
    };
    auto shownIn = [&](IKvLogView* where) {
      for (const Viewer& v : viewers(r))
        if (v.view->ShowsLog() != (v.view == where)) return false;
      return where ? inOrderOnce(where->Text(), lines) : true;
    };
    log("at the start");
    const Viewer start = viewers(r).front();
    const Viewer second = addViewer(r, "second");
    log("after the second came");
    QVERIFY2(shownIn(second.view), second.view->Text().c_str());
    QVERIFY(!shownText(start.widget));  // the old one shows no stale copy
    const Viewer third = addViewer(r, "third");
    log("after the third came");
    QVERIFY(shownIn(third.view));
    removeViewer(third);
    log("the third went");
    QVERIFY2(shownIn(second.view), second.view->Text().c_str());
    removeViewer(start);  // not the one showing the log
    log("the oldest went");
    QVERIFY(shownIn(second.view));
    removeViewer(second);  // the last: the engine holds the lines
    QVERIFY(viewers(r).empty());
    log("no viewer at all");
    log("still none");
    r.main->ShowToolWindow("Log", kProgId);
    log("a new one");
    QCOMPARE(viewers(r).size(), size_t{1});
    QVERIFY2(shownIn(viewers(r).front().view), r.log().c_str());
  }

  // A viewer destroyed without Unload lets go of the log as well.
  void aDestroyedViewerIsNoLongerWritten() {
    DesktopRig r;
    IUtils* u = r.main->Utils();
    QWidget* w = r.main->Controls().Create(kProgId, nullptr);
    QVERIFY(w);
    IApp* app = r.main->App();
    std::string label = "loose";
    IKvHost* none = nullptr;
    dynamic_cast<IKvGui*>(w)->Load(&app, &none, &label);
    u->AddLog("into the loose one", sevWarn);
    QVERIFY(dynamic_cast<IKvLogView*>(w)->Text().find("into the loose one") != std::string::npos);
    delete w;
    u->AddLog("after it went", sevWarn);
    QVERIFY2(inOrderOnce(r.log(), {"into the loose one", "after it went"}), r.log().c_str());
  }

  // Viewers come and go while passes run and another thread logs: every line once.
  void viewersComeAndGoWhileLinesArrive() {
    DesktopRig r;
    r.chain();
    long pending = 0;
    r.main->App()->run(1000000000, &pending);
    QVERIFY(r.waitFor([&] { return r.busy(); }));
    constexpr int kLines = 3000;
    std::atomic<int> written{0};
    std::thread worker([&] {
      for (int i = 0; i < kLines; ++i) {
        KvGlobal()->log.Add((CStr("w") + CStr(i) + ";").GetBfr(), LogWarn);
        written.store(i + 1);
        if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    for (int round = 0; round < 6; ++round) {
      const Viewer v = addViewer(r, "extra" + std::to_string(round));
      QTest::qWait(3);
      removeViewer(round % 2 ? v : viewers(r).front());  // the newest, or the oldest
      QTest::qWait(3);
    }
    const bool through = r.waitFor([&] { return written.load() == kLines; });
    worker.join();
    QVERIFY(through);
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    QCoreApplication::processEvents();
    const std::string text = r.log();
    int missing = 0;
    for (int i = 0; i < kLines; ++i) missing += count(text, "w" + std::to_string(i) + ";") != 1;
    QCOMPARE(missing, 0);
    QCOMPARE(viewers(r).size(), size_t{1});
    QVERIFY(viewers(r).front().view->ShowsLog());
  }

  // The shell's move of a viewer to another window (the two halves of a drop), with lines
  // from another thread arriving while it moves.
  void aMovedViewerLosesNoLine() {
    DesktopRig r;
    IUtils* u = r.main->Utils();
    u->AddLog("before the move", sevWarn);
    frmHost* first = r.main->Shell().hosts.front();
    frmHost* target = r.main->NewPanelWindow("target");
    r.main->Shell().dragging = true;
    QVERIFY(first->DelCtrl(first->FindCtrl("Log")));
    std::thread worker([] {
      for (int i = 0; i < 200; ++i) KvGlobal()->log.Add((CStr("worker ") + CStr(i)).GetBfr(), LogWarn);
    });
    worker.join();
    QVERIFY(target->AddCtrl("Log", kProgId, true, false));
    r.main->Shell().dragging = false;
    QVERIFY(!r.main->Shell().logHeld);
    u->AddLog("after the move", sevWarn);
    std::vector<std::string> want = {"before the move"};
    for (int i = 0; i < 200; ++i) want.push_back("worker " + std::to_string(i) + "\n");
    want.push_back("after the move");
    QVERIFY(r.waitFor([&] { return inOrderOnce(r.log() + "\n", want); }));
  }
};

KV_QTEST(LogViewerTests)
#include "LogViewerTests.moc"
