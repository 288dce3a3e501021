// The code editor in the real shell on the real workspace: what it loads, when it is clean or
// dirty, Apply and Refresh with their questions, the workspace's events, and windows closed
// from inside the workspace's own handlers.

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <functional>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/tests/PluginRig.h"

namespace {

constexpr const char* kProgId = "KvPlugins.CodeEditor";
const std::string kApplyAsk = "This will apply your changes to the workspace and reload it.\r\n\r\nDo you want to continue?";
const std::string kRefreshAsk =
    "This will refresh the code window and will cancel any changes done by you.\r\n\r\nDo you want to continue?";

struct Editor {
  QWidget* widget = nullptr;
  IKvGui* gui = nullptr;
  QPlainTextEdit* text = nullptr;
  QPushButton* apply = nullptr;
  QPushButton* refresh = nullptr;
  Popup* popup = nullptr;

  std::string shown() const { return text->toPlainText().toStdString(); }
  bool dirty() const { return apply->isEnabled(); }
  std::string caption() const {
    std::string c;
    gui->get_Caption(&c);
    return c;
  }
  // Typed at the end, as the user types.
  void type(const QString& s) const {
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, s);
  }
};

Editor bind(QWidget* w) {
  Editor e;
  e.widget = w;
  if (!w) return e;
  e.gui = dynamic_cast<IKvGui*>(w);
  e.text = w->findChild<QPlainTextEdit*>("txtCode");
  e.apply = w->findChild<QPushButton*>("cmdApply");
  e.refresh = w->findChild<QPushButton*>("cmdRefresh");
  e.popup = w->findChild<Popup*>("popup");
  return e;
}

Editor open(DesktopRig& r) { return bind(OpenTool<QWidget>(r, "Code", kProgId)); }

KvPtr<IWrkSpc> workspace(DesktopRig& r) {
  KvPtr<IWrkSpc> w;
  r.main->App()->get_WrkSpc(w.put());
  return w;
}

std::string buffer(DesktopRig& r) {
  std::string b;
  workspace(r)->get_Buffer(&b);
  return b;
}

// The workspace's events, handed to a test's own function.
class WrkSpcWatch final : public IWrkSpcEvents {
 public:
  explicit WrkSpcWatch(IWrkSpc* w) : ws(w) { ws->Advise(this, &cookie); }
  ~WrkSpcWatch() override { ws->Unadvise(cookie); }
  std::function<void()> onBuffer;
  void NameChanged() override {}
  void BufferChanged() override {
    if (onBuffer) onBuffer();
  }

 private:
  KvPtr<IWrkSpc> ws;
  long cookie = 0;
};

// Closes the tab; false when there is none.
bool closeTab(DesktopRig& r, const std::string& name) {
  for (const cCtrl* c : r.main->Shell().ctrls)
    if (c->compName == name) return c->host->DelCtrl(c->host->FindCtrl(name));
  return false;
}

}  // namespace

class CodeEditorTests : public QObject {
  Q_OBJECT

 private slots:
  void loadShowsTheWorkspaceClean() {
    DesktopRig r;
    workspace(r)->put_Buffer("load g = test.src\n// a comment\n");
    const Editor e = open(r);
    QVERIFY(e.text && e.apply && e.refresh && e.popup);
    QCOMPARE(e.shown(), std::string("load g = test.src\n// a comment\n"));
    QVERIFY(!e.dirty() && !e.popup->EntryEnabled(0) && !e.popup->EntryEnabled(8));
    std::string tab;
    e.gui->get_TabCaption(&tab);
    QCOMPARE(e.caption() + "/" + tab, std::string("Code Editor/Code"));
    QCOMPARE(e.apply->text() + "|" + e.apply->toolTip(),
             QString("&Apply|Applies the changes to the workspace and reloads the workspace"));
    QCOMPARE(e.refresh->text() + "|" + e.refresh->toolTip(),
             QString("&Refresh|Refreshes the code window. Any recent changes will be lost."));
    QStringList entries;
    for (int i = 0; i < e.popup->Count(); ++i) entries << e.popup->EntryCaption(i);
    QCOMPARE(entries.join("|"), QString("&Apply Changes|Ca&ncel Changes|-|Cu&t|&Copy|&Paste|&Delete|-|&Undo|&Refresh"));
    // The buttons sit in a strip just below the text, which fills the rest.
    QCOMPARE(e.text->geometry(), QRect(0, 0, e.widget->width(), e.text->height()));
    QVERIFY(e.apply->y() > e.text->geometry().bottom() && e.apply->geometry().bottom() < e.widget->height());
    QVERIFY(e.refresh->y() == e.apply->y() && e.refresh->x() > e.apply->geometry().right());
    int16_t mode = 1;
    long refuse = -1;
    e.gui->QueryUnload(&mode, &refuse);
    QCOMPARE(refuse, 0L);
    QCOMPARE(DesktopRig::Setting("Wnd\\CodeEditor", "Load"), std::string("1"));
  }

  // Opened behind the log, it names only its own tab and leaves the window's caption alone.
  void openedBehindTheLogLeavesItsTab() {
    DesktopRig r;
    frmHost* h = r.main->Shell().hosts.front();
    r.main->ShowToolWindow("Code", kProgId, false);
    auto* bar = h->findChild<QTabBar*>();
    QCOMPARE(bar->tabText(0) + "|" + bar->tabText(1) + "|" + h->windowTitle(), QString("Log|Code|Log"));
    h->SelectTab(1);
    QCOMPARE(h->windowTitle(), QString("Code Editor"));
  }

  void captionFollowsTheWorkspaceName_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("caption");
    QTest::newRow("path") << "dir/setup.kvs" << "Code Editor: setup.kvs";
    QTest::newRow("backslash") << "dir/win\\style.kvs" << "Code Editor: style.kvs";
  }
  void captionFollowsTheWorkspaceName() {
    QFETCH(QString, file);
    QFETCH(QString, caption);
    DesktopRig r;
    QDir(r.config.path()).mkpath("dir");
    const Editor e = open(r);
    long done = 0;
    workspace(r)->SaveAs((r.config.path() + "/" + file).toStdString(), &done);
    QCOMPARE(QString::fromStdString(e.caption()), caption);
    workspace(r)->Close(&done);
    QCOMPARE(e.caption(), std::string("Code Editor"));
  }

  // Edits make it dirty; Apply asks, writes LF line ends, and is off again without the
  // engine's own change event reloading the box (its undo history survives).
  void applyWritesTheEditsWithLfLineEnds() {
    DesktopRig r;
    workspace(r)->put_Buffer("// first\r\n");
    const Editor e = open(r);
    e.type("load g = test.src");
    QVERIFY(e.dirty() && e.popup->EntryEnabled(0) && e.popup->EntryEnabled(8));
    QApplication::clipboard()->setText("\r\n// pasted\r\nload f = test.pass");
    e.popup->Choose(5);
    CDialogs::Get().Script({"No", "Yes"});
    e.apply->click();
    QCOMPARE(CDialogs::Get().Shown().back(), kApplyAsk);
    QVERIFY(e.dirty());
    QCOMPARE(buffer(r), std::string("// first\r\n"));
    e.popup->Choose(0);
    QCOMPARE(buffer(r), std::string("// first\nload g = test.src\n// pasted\nload f = test.pass"));
    QVERIFY(!e.dirty() && !e.popup->EntryEnabled(0));
    bool loaded = false;
    r.main->App()->isLoaded("f", &loaded);
    QVERIFY(loaded);  // the engine applied it
    QVERIFY(e.text->document()->isUndoAvailable());
  }

  // Every way the box is loaded again: it asks only when dirty and not empty, is clean
  // afterwards, and the user's edits it replaced come back with one Undo.
  void reload_data() {
    QTest::addColumn<QString>("edit");  // typed first; "clear" empties the box
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("how");  // the button, a pop-up entry, or the workspace's event
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("reloaded");
    QTest::newRow("clean") << "" << "" << "button" << false << true;
    QTest::newRow("dirty, yes") << "// mine" << "Yes" << "button" << true << true;
    QTest::newRow("dirty, no") << "// mine" << "No" << "button" << true << false;
    QTest::newRow("dirty, emptied") << "clear" << "" << "button" << false << true;
    QTest::newRow("cancel changes") << "// mine" << "Yes" << "1" << true << true;
    QTest::newRow("menu refresh, no") << "// mine" << "No" << "9" << true << false;
    QTest::newRow("event, clean") << "" << "" << "event" << false << true;
    QTest::newRow("event, dirty") << "// mine" << "" << "event" << false << true;
  }
  void reload() {
    QFETCH(QString, edit);
    QFETCH(QString, answer);
    QFETCH(QString, how);
    QFETCH(bool, asked);
    QFETCH(bool, reloaded);
    DesktopRig r;
    workspace(r)->put_Buffer("// theirs\n");
    const Editor e = open(r);
    if (edit == "clear")
      e.text->clear();
    else if (!edit.isEmpty())
      e.type(edit);
    const std::string mine = e.shown();
    CDialogs::Get().ClearShown();
    if (!answer.isEmpty()) CDialogs::Get().Script({answer.toStdString()});
    std::string now = "// theirs\n";
    if (how == "button")
      e.refresh->click();
    else if (how == "event")
      workspace(r)->put_Buffer(now = "// from the engine\n");
    else
      e.popup->Choose(how.toInt());
    QCOMPARE(CDialogs::Get().Shown().size(), size_t{asked});
    if (asked) QCOMPARE(CDialogs::Get().Shown().back(), kRefreshAsk);
    QCOMPARE(e.shown(), reloaded ? now : mine);
    QCOMPARE(e.dirty(), !reloaded);
    QVERIFY(!QApplication::overrideCursor());
    if (!reloaded || edit != "// mine") return;
    e.popup->Choose(8);
    QCOMPARE(e.shown(), mine);
    QVERIFY(e.dirty());
  }

  // While passes run the engine refuses network changes: Apply says so and keeps the edits.
  void applyDuringARunKeepsTheEdits() {
    DesktopRig r;
    r.chain();
    const Editor e = open(r);
    e.type("load x = test.src");
    long n = 0;
    r.main->App()->run(1000000000, &n);
    QVERIFY(r.waitFor([&] { return r.busy(); }));
    CDialogs::Get().Script({"Yes"});
    e.apply->click();
    QCOMPARE(buffer(r), std::string());
    QVERIFY(e.dirty() && e.shown() == "load x = test.src");
    QVERIFY(r.log().find("The network cannot be changed while an acquisition runs") != std::string::npos);
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    CDialogs::Get().Script({"Yes"});
    e.apply->click();
    QCOMPARE(buffer(r), std::string("load x = test.src"));
    QVERIFY(!e.dirty());
  }

  // Another handler of the workspace's events closes the editor while the workspace is still
  // calling its sinks, or while the editor's own Apply is writing the workspace.
  void closedFromInsideTheWorkspacesEvents_data() {
    QTest::addColumn<bool>("byApply");
    QTest::newRow("another writer") << false;
    QTest::newRow("its own apply") << true;
  }
  void closedFromInsideTheWorkspacesEvents() {
    QFETCH(bool, byApply);
    DesktopRig r;
    KvPtr<IWrkSpc> ws = workspace(r);
    WrkSpcWatch closer(ws.get());  // called before the editor, which subscribes later
    const Editor e = open(r);
    int calls = 0;
    closer.onBuffer = [&] {
      ++calls;
      closeTab(r, "Code");
    };
    if (byApply) {
      e.type("// mine");
      CDialogs::Get().Script({"Yes"});
      e.apply->click();
    } else {
      ws->put_Buffer("// from elsewhere\n");
    }
    QCOMPARE(calls, 1);
    QVERIFY(!closeTab(r, "Code"));  // gone already
    closer.onBuffer = nullptr;
    ws->put_Buffer("// later\n");  // reaches nothing that is gone
    QCOMPARE(open(r).shown(), std::string("// later\n"));
  }

  // After Unload, and after a destruction without one, the workspace's events reach nothing.
  void unloadEndsTheSubscription() {
    DesktopRig r;
    KvPtr<IWrkSpc> ws = workspace(r);
    ws->put_Buffer("// one\n");
    IApp* app = r.main->App();
    IKvHost* none = nullptr;
    std::string label = "Code";
    QWidget* w = r.main->Controls().Create(kProgId, nullptr);
    const Editor e = bind(w);
    e.gui->Load(&app, &none, &label);
    QCOMPARE(e.shown(), std::string("// one\n"));
    e.gui->Unload();
    long done = 0;
    ws->put_Buffer("// two\n");
    ws->SaveAs(r.config.path().toStdString() + "/named.kvs", &done);
    QCOMPARE(e.shown() + e.caption(), std::string("// one\nCode Editor"));
    delete w;
    QWidget* loose = r.main->Controls().Create(kProgId, nullptr);
    bind(loose).gui->Load(&app, &none, &label);
    delete loose;  // performs Unload
    ws->put_Buffer("// three\n");
    QCOMPARE(buffer(r), std::string("// three\n"));
  }

  void popupEditsTheSelection() {
    DesktopRig r;
    workspace(r)->put_Buffer("alpha beta");
    const Editor e = open(r);
    auto select = [&](int from, int to) {
      QTextCursor c = e.text->textCursor();
      c.setPosition(from);
      c.setPosition(to, QTextCursor::KeepAnchor);
      e.text->setTextCursor(c);
    };
    select(0, 5);
    e.popup->Choose(4);  // copy
    QCOMPARE(QApplication::clipboard()->text(), QString("alpha"));
    QVERIFY(!e.dirty());
    e.popup->Choose(6);  // delete
    QCOMPARE(e.shown(), std::string(" beta"));
    e.popup->Choose(5);  // paste
    select(5, 10);
    e.popup->Choose(3);  // cut
    QCOMPARE(e.shown() + "|" + QApplication::clipboard()->text().toStdString(), std::string("alpha| beta"));
    e.popup->Choose(8);  // undo
    QCOMPARE(e.shown(), std::string("alpha beta"));
    QVERIFY(e.dirty());
  }
};

KV_QTEST(CodeEditorTests)
#include "CodeEditorTests.moc"
