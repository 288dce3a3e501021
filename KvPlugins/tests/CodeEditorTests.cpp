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

bool hasTab(DesktopRig& r, const std::string& name) {
  for (const cCtrl* c : r.main->Shell().ctrls)
    if (c->compName == name) return true;
  return false;
}

void closeTab(DesktopRig& r, const std::string& name) {
  for (const cCtrl* c : r.main->Shell().ctrls)
    if (c->compName == name) {
      frmHost* h = c->host;
      h->DelCtrl(h->FindCtrl(name));
      return;
    }
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
    QVERIFY(!e.dirty());
    QVERIFY(!e.text->document()->isUndoAvailable());
    QCOMPARE(e.caption(), std::string("Code Editor"));
    std::string tab;
    e.gui->get_TabCaption(&tab);
    QCOMPARE(tab, std::string("Code"));
    QCOMPARE(e.apply->text(), QString("&Apply"));
    QCOMPARE(e.apply->toolTip(), QString("Applies the changes to the workspace and reloads the workspace"));
    QCOMPARE(e.refresh->text(), QString("&Refresh"));
    QCOMPARE(e.refresh->toolTip(), QString("Refreshes the code window. Any recent changes will be lost."));
    const QStringList entries = {"&Apply Changes", "Ca&ncel Changes", "-", "Cu&t", "&Copy",
                                 "&Paste", "&Delete", "-", "&Undo", "&Refresh"};
    QCOMPARE(e.popup->Count(), entries.size());
    for (int i = 0; i < entries.size(); ++i) QCOMPARE(e.popup->EntryCaption(i), entries[i]);
    QVERIFY(!e.popup->EntryEnabled(0));
    QVERIFY(!e.popup->EntryEnabled(8));
    // The buttons sit in a strip just below the text, which fills the rest.
    e.widget->window()->show();
    QCoreApplication::processEvents();
    QCOMPARE(e.text->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(e.text->width(), e.widget->width());
    QVERIFY(e.apply->y() >= e.text->geometry().bottom());
    QVERIFY(e.apply->geometry().bottom() < e.widget->height());
    QCOMPARE(e.refresh->y(), e.apply->y());
    QVERIFY(e.refresh->x() > e.apply->geometry().right());
    // Closing remembers how, under its own section.
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
    QVERIFY(bar);
    QCOMPARE(bar->count(), 2);
    QCOMPARE(bar->tabText(0), QString("Log"));
    QCOMPARE(bar->tabText(1), QString("Code"));
    QCOMPARE(h->SelectedTab(), 0);
    QCOMPARE(h->windowTitle(), QString("Log"));
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
    QCOMPARE(e.widget->windowTitle(), caption);
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
    QVERIFY(e.dirty());
    QVERIFY(e.popup->EntryEnabled(0));
    QVERIFY(e.popup->EntryEnabled(8));
    QApplication::clipboard()->setText("\r\n// pasted\r\nload f = test.pass");
    e.popup->Choose(5);
    CDialogs::Get().Script({"No"});
    e.apply->click();
    QCOMPARE(CDialogs::Get().Shown().back(), kApplyAsk);
    QVERIFY(e.dirty());
    QCOMPARE(buffer(r), std::string("// first\r\n"));
    CDialogs::Get().Script({"Yes"});
    e.popup->Choose(0);
    QCOMPARE(buffer(r), std::string("// first\nload g = test.src\n// pasted\nload f = test.pass"));
    QVERIFY(!e.dirty());
    QVERIFY(!e.popup->EntryEnabled(0));
    bool loaded = false;
    r.main->App()->isLoaded("f", &loaded);
    QVERIFY(loaded);  // the engine applied it
    QVERIFY(e.text->document()->isUndoAvailable());
  }

  void refresh_data() {
    QTest::addColumn<QString>("edit");  // typed first; "clear" empties the box
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("entry");  // -1: the button
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("reloaded");
    QTest::newRow("clean: nothing asked") << "" << "" << -1 << false << true;
    QTest::newRow("dirty, yes") << "// mine" << "Yes" << -1 << true << true;
    QTest::newRow("dirty, no") << "// mine" << "No" << -1 << true << false;
    QTest::newRow("dirty, emptied") << "clear" << "" << -1 << false << true;
    QTest::newRow("cancel changes") << "// mine" << "Yes" << 1 << true << true;
    QTest::newRow("menu refresh") << "// mine" << "No" << 9 << true << false;
  }
  void refresh() {
    QFETCH(QString, edit);
    QFETCH(QString, answer);
    QFETCH(int, entry);
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
    if (entry < 0)
      e.refresh->click();
    else
      e.popup->Choose(entry);
    QCOMPARE(!CDialogs::Get().Shown().empty(), asked);
    if (asked) QCOMPARE(CDialogs::Get().Shown().back(), kRefreshAsk);
    QCOMPARE(e.shown(), reloaded ? std::string("// theirs\n") : mine);
    QCOMPARE(e.dirty(), !reloaded && !edit.isEmpty());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  // A new text from the engine reloads the box and leaves it clean; the user's edits it
  // replaced come back with one Undo.
  void aChangedWorkspaceReloads_data() {
    QTest::addColumn<bool>("dirty");
    QTest::newRow("clean") << false;
    QTest::newRow("dirty") << true;
  }
  void aChangedWorkspaceReloads() {
    QFETCH(bool, dirty);
    DesktopRig r;
    workspace(r)->put_Buffer("// before\n");
    const Editor e = open(r);
    if (dirty) e.type("// mine");
    const std::string mine = e.shown();
    workspace(r)->put_Buffer("// from the engine\n");
    QCOMPARE(e.shown(), std::string("// from the engine\n"));
    QVERIFY(!e.dirty());
    QCOMPARE(e.text->document()->isUndoAvailable(), dirty);
    if (!dirty) return;
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
    const std::string mine = e.shown();
    const std::string before = buffer(r);
    long n = 0;
    r.main->App()->run(1000000000, &n);
    QVERIFY(r.waitFor([&] { return r.busy(); }));
    CDialogs::Get().Script({"Yes"});
    e.apply->click();
    QCOMPARE(buffer(r), before);
    QCOMPARE(e.shown(), mine);
    QVERIFY(e.dirty());
    QVERIFY(r.log().find("The network cannot be changed while an acquisition runs") != std::string::npos);
    r.main->App()->put_bStop(true);
    QVERIFY(r.waitFor([&] { return !r.busy(); }));
    CDialogs::Get().Script({"Yes"});
    e.apply->click();
    QCOMPARE(buffer(r), mine);
    QVERIFY(!e.dirty());
  }

  // A handler of the workspace's events closes the editor while the workspace is still
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
    QVERIFY(e.widget);
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
    QVERIFY(!hasTab(r, "Code"));
    closer.onBuffer = nullptr;
    ws->put_Buffer("// later\n");  // reaches nothing that is gone
    const Editor again = open(r);
    QCOMPARE(again.shown(), std::string("// later\n"));
  }

  // After Unload, and after a destruction without one, the workspace's events reach nothing.
  void unloadEndsTheSubscription() {
    DesktopRig r;
    KvPtr<IWrkSpc> ws = workspace(r);
    ws->put_Buffer("// one\n");
    QWidget* w = r.main->Controls().Create(kProgId, nullptr);
    const Editor e = bind(w);
    IApp* app = r.main->App();
    IKvHost* none = nullptr;
    std::string label = "Code";
    e.gui->Load(&app, &none, &label);
    QCOMPARE(e.shown(), std::string("// one\n"));
    e.gui->Unload();
    long done = 0;
    ws->put_Buffer("// two\n");
    ws->SaveAs(r.config.path().toStdString() + "/named.kvs", &done);
    QCOMPARE(e.shown(), std::string("// one\n"));
    QCOMPARE(e.caption(), std::string("Code Editor"));
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
    QTextCursor c = e.text->textCursor();
    c.setPosition(0);
    c.setPosition(5, QTextCursor::KeepAnchor);
    e.text->setTextCursor(c);
    e.popup->Choose(4);  // copy
    QCOMPARE(QApplication::clipboard()->text(), QString("alpha"));
    QVERIFY(!e.dirty());
    e.popup->Choose(6);  // delete
    QCOMPARE(e.shown(), std::string(" beta"));
    QVERIFY(e.dirty());
    e.popup->Choose(5);  // paste
    QCOMPARE(e.shown(), std::string("alpha beta"));
    c = e.text->textCursor();
    c.setPosition(5);
    c.setPosition(10, QTextCursor::KeepAnchor);
    e.text->setTextCursor(c);
    e.popup->Choose(3);  // cut
    QCOMPARE(e.shown(), std::string("alpha"));
    QCOMPARE(QApplication::clipboard()->text(), QString(" beta"));
    e.popup->Choose(8);  // undo
    QCOMPARE(e.shown(), std::string("alpha beta"));
  }
};

KV_QTEST(CodeEditorTests)
#include "CodeEditorTests.moc"
