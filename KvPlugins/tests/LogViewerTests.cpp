// The log viewer in the real shell: the engine's log in it, its contract and size, and the
// log following the viewers as they come and go without losing or repeating a line.

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
    if (count(text, l) != 1 || text.find(l) < at) return false;
    at = text.find(l);
  }
  return true;
}

struct Viewer {
  frmHost* host;
  QWidget* widget;
  IKvLogView* view;
};
// Oldest first.
std::vector<Viewer> viewers(DesktopRig& r) {
  std::vector<Viewer> out;
  for (const cCtrl* c : r.main->Shell().ctrls)
    if (auto* v = dynamic_cast<IKvLogView*>(c->ctrl)) out.push_back({c->host, c->ctrl, v});
  return out;
}

Viewer addViewer(DesktopRig& r, const std::string& window) {
  r.main->NewPanelWindow(window)->AddCtrl(window, kProgId, true, false);
  return viewers(r).back();
}

void removeViewer(const Viewer& v) { v.host->DelCtrl(0); }

QPlainTextEdit* shownText(QWidget* viewer) {
  for (QPlainTextEdit* t : viewer->findChildren<QPlainTextEdit*>())
    if (t->isVisibleTo(viewer)) return t;
  return nullptr;
}

// Counts the F1 keys that get past the viewer.
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
  // The shell opens the library's viewer at start-up and hands it to the engine.
  void theLogIsInTheLibrarysViewer() {
    DesktopRig r;
    const std::vector<Viewer> v = viewers(r);
    QCOMPARE(v.size(), size_t{1});
    QCOMPARE(r.main->Shell().ctrls.front()->compType, std::string(kProgId));
    QCOMPARE(static_cast<KvWnd>(r.main->StartupRecord()[kStartLogWnd]), v[0].view->LogWindow());
    r.main->Utils()->AddLog("a line for the viewer", sevWarn);
    QVERIFY(inOrderOnce(r.log(), {"Help for Kelvane", "a line for the viewer"}));
    QPlainTextEdit* text = shownText(v[0].widget);
    QVERIFY(text && text->isReadOnly());
    QCOMPARE(text->font().families().value(0), QString("MS Sans Serif"));
    QCOMPARE(text->font().styleHint(), QFont::SansSerif);
    QCOMPARE(text->font().pointSize(), 8);
    auto* gui = dynamic_cast<IKvGui*>(v[0].widget);
    std::string caption, tab;
    gui->get_Caption(&caption);
    gui->get_TabCaption(&tab);
    QCOMPARE(caption + "/" + tab, std::string("Log/Log"));
    // It may close, and remembers nothing of it.
    const std::string before = DesktopRig::Setting("Wnd\\LogViewer", "Load");
    int16_t mode = 1;
    long refuse = -1;
    gui->QueryUnload(&mode, &refuse);
    QCOMPARE(refuse, 0L);
    QCOMPARE(DesktopRig::Setting("Wnd\\LogViewer", "Load"), before);
    // F1 shows no help: it stops at the viewer.
    v[0].host->show();
    KeyWatch above;
    v[0].host->installEventFilter(&above);
    QTest::keyClick(text, Qt::Key_F1);
    QCOMPARE(above.f1, 0);
    v[0].host->removeEventFilter(&above);
  }

  // Below the minimum the control asks its window for it, both sides at once; the log's
  // text always fills the control.
  void minimumSize_data() {
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("got");
    QTest::newRow("too narrow") << QSize(2000, 2400) << QSize(3000, 2400);
    QTest::newRow("too low") << QSize(4200, 1000) << QSize(4200, 1800);
    QTest::newRow("both") << QSize(1000, 500) << QSize(3000, 1800);
    QTest::newRow("at the minimum") << QSize(3000, 1800) << QSize(3000, 1800);
  }
  void minimumSize() {
    QFETCH(QSize, asked);
    QFETCH(QSize, got);
    DesktopRig r;
    const Viewer v = viewers(r).front();
    v.host->show();
    const QSize frame = v.host->size();
    v.widget->resize(KvTwipsToPixels(asked.width()), KvTwipsToPixels(asked.height()));
    QCOMPARE(v.widget->size(), QSize(KvTwipsToPixels(got.width()), KvTwipsToPixels(got.height())));
    QCOMPARE(v.host->size() != frame, asked != got);
    QCOMPARE(shownText(v.widget)->size(), v.widget->size());
  }

  // The log is in the newest viewer left, with every line once; with none left the engine
  // keeps the lines for the next one.
  void theLogFollowsTheViewers() {
    DesktopRig r;
    std::vector<std::string> lines;
    auto log = [&](const std::string& line) {
      r.main->Utils()->AddLog(line, sevWarn);
      lines.push_back(line);
    };
    auto shownIn = [&](IKvLogView* where) {
      for (const Viewer& v : viewers(r))
        if (v.view->ShowsLog() != (v.view == where)) return false;
      return inOrderOnce(where->Text(), lines);
    };
    log("at the start");
    const Viewer start = viewers(r).front(), second = addViewer(r, "second");
    log("after the second came");
    QVERIFY(shownIn(second.view));
    QVERIFY(!shownText(start.widget));  // no stale copy left in the old one
    const Viewer third = addViewer(r, "third");
    removeViewer(third);
    log("the third went");
    QVERIFY(shownIn(second.view));
    removeViewer(start);  // not the one the log is in
    removeViewer(second);
    QVERIFY(viewers(r).empty());
    log("no viewer at all");
    r.main->ShowToolWindow("Log", kProgId);
    log("a new one");
    QVERIFY2(shownIn(viewers(r).front().view), r.log().c_str());
    // One destroyed without Unload lets go of the log as well.
    QWidget* loose = r.main->Controls().Create(kProgId, nullptr);
    IApp* app = r.main->App();
    IKvHost* none = nullptr;
    std::string label = "loose";
    dynamic_cast<IKvGui*>(loose)->Load(&app, &none, &label);
    log("into the loose one");
    QVERIFY(shownIn(dynamic_cast<IKvLogView*>(loose)));
    delete loose;
    log("after it went");
    QVERIFY(shownIn(viewers(r).front().view));
  }

  // Viewers come and go, and the shell moves one (the two halves of a drop, the engine
  // holding the lines between), while passes run and another thread logs: every line once.
  void noLineLostWhileLinesArrive() {
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
    frmHost* target = r.main->NewPanelWindow("target");
    r.main->Shell().dragging = true;
    removeViewer(viewers(r).front());
    QVERIFY(r.main->Shell().logHeld);
    QTest::qWait(3);
    QVERIFY(target->AddCtrl("Log", kProgId, true, false));
    r.main->Shell().dragging = false;
    QVERIFY(!r.main->Shell().logHeld);
    const bool through = r.waitFor([&] { return written.load() == kLines; });
    worker.join();
    QVERIFY(through);
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    QCoreApplication::processEvents();
    const std::string text = r.log();
    int wrong = 0;
    for (int i = 0; i < kLines; ++i) wrong += count(text, "w" + std::to_string(i) + ";") != 1;
    QCOMPARE(wrong, 0);
    QCOMPARE(viewers(r).size(), size_t{1});
    QVERIFY(viewers(r).front().view->ShowsLog());
  }
};

KV_QTEST(LogViewerTests)
#include "LogViewerTests.moc"
