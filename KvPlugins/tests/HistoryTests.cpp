// The command history in the real shell and engine: it follows the command list, its refreshes
// are coalesced, it is read only, and it stops listening when it goes.

#include <QPlainTextEdit>
#include <QPushButton>
#include <climits>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/tests/PluginRig.h"

namespace {

struct History {
  explicit History(DesktopRig& r) : rig(r), w(OpenTool<QWidget>(r, "History", "KvPlugins.CmdHistory")) {
    if (w) box = w->findChild<QPlainTextEdit*>();
  }
  DesktopRig& rig;
  QWidget* w;
  QPlainTextEdit* box = nullptr;

  // The command list as the box shows it.
  QString expected() const {
    std::string s;
    rig.main->App()->GetCmdList(&s);
    return QString::fromStdString(s).replace("\r\n", "\n");
  }
  bool current() const { return box->toPlainText() == expected(); }
  IKvGui* gui() const {
    for (const cCtrl* c : rig.main->Shell().ctrls)
      if (c->ctrl == w) return c->iGui;
    return nullptr;
  }
};

}  // namespace

class HistoryTests : public QObject {
  Q_OBJECT

 private slots:
  // Filled at Load, then after the engine's notices; a line the engine records without a
  // notice waits for "Refresh".
  void followsTheCommandList() {
    DesktopRig r;
    r.exec("load g = test.src");
    History h(r);
    QVERIFY(h.box);
    QVERIFY(h.box->isReadOnly());
    QCOMPARE(h.box->toPlainText(), "load g=test.src\n");
    r.exec("load f = test.pass");
    r.exec("g.gain = 3");
    QVERIFY(r.waitFor([&] { return h.current(); }));
    r.exec("// a note");
    QCoreApplication::processEvents();
    QVERIFY(!h.current());
    auto* button = h.w->findChild<QPushButton*>();
    QCOMPARE(button->text(), "Refresh");
    QVERIFY(button->geometry().top() >= h.box->geometry().bottom() && button->geometry().bottom() <= h.w->height());
    button->click();
    QVERIFY(h.current());
    // An entry changed in place (not only appended) shows too.
    r.exec("g.gain = 4");
    QVERIFY(r.waitFor([&] { return h.current(); }));
    QVERIFY(h.box->toPlainText().contains("g.gain=4") && !h.box->toPlainText().contains("g.gain=3"));
  }

  // A burst of notices costs one refresh: the text is untouched while they arrive and
  // current once the loop turns.
  void noticesAreCoalesced() {
    DesktopRig r;
    r.exec("load g = test.src");
    History h(r);
    int changes = 0;
    connect(h.box->document(), &QTextDocument::contentsChange, this, [&] { ++changes; });
    for (int i = 0; i < 1000; ++i) r.main->App()->put_dbl("g", "gain", i);
    QCOMPARE(changes, 0);
    QVERIFY(r.waitFor([&] { return h.current(); }));
    QVERIFY(changes >= 1 && changes <= 2);
  }

  // While passes run the notices keep coming; the history stays current and safe.
  void refreshesDuringARun() {
    DesktopRig r;
    r.chain();
    History h(r);
    long pending = 0;
    r.main->App()->run(INT_MAX, &pending);
    QVERIFY(r.waitFor([&] { return r.busy(); }));
    for (int i = 0; i < 20; ++i) r.exec("f.gain = " + std::to_string(i));
    QVERIFY(r.waitFor([&] { return h.current() && h.box->toPlainText().contains("f.gain=19"); }));
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
  }

  void popupHasOnlyCopy() {
    DesktopRig r;
    r.exec("load g = test.src");
    History h(r);
    auto* p = h.w->findChild<Popup*>();
    QVERIFY(p);
    const QStringList captions = {"Cu&t", "&Copy", "&Paste", "&Undo"};
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(p->EntryCaption(i), captions[i]);
      QVERIFY(!p->EntryEnabled(i));
    }
    h.box->selectAll();
    QVERIFY(p->EntryEnabled(1));
    for (int i : {0, 2, 3}) QVERIFY(!p->EntryEnabled(i));
  }

  // Unload ends the subscription: later notices change nothing. A history destroyed without
  // Unload ends it too (a notice after that would reach freed memory).
  void goingEndsTheSubscription() {
    DesktopRig r;
    r.exec("load g = test.src");
    History h(r);
    QVERIFY(h.gui());
    h.gui()->Unload();
    const QString before = h.box->toPlainText();
    r.exec("load f = test.pass");
    QCoreApplication::processEvents();
    QCOMPARE(h.box->toPlainText(), before);

    for (bool unload : {true, false}) {
      QWidget* other = r.main->Controls().Create("KvPlugins.CmdHistory", nullptr);
      QVERIFY(other);
      auto* gui = dynamic_cast<IKvGui*>(other);
      QVERIFY(gui);
      IApp* app = r.main->App();
      std::string label = "History";
      gui->Load(&app, nullptr, &label);
      QVERIFY(other->findChild<QPlainTextEdit*>()->toPlainText().contains("load f=test.pass"));
      if (unload) gui->Unload();
      delete other;
      r.exec(unload ? "load d = test.sink" : "unload d");
      QCoreApplication::processEvents();
    }
  }
};

KV_QTEST(HistoryTests)
#include "HistoryTests.moc"
