// Qt widgets as runtime windows: what the log and the status strip read back is what they
// wrote, through the same messages the engine sends, from this thread and from a worker.

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QtTest>
#include <thread>

#include "desktop/Dialogs.h"
#include "desktop/QtWnd.h"
#include "desktop/tests/DesktopRig.h"

namespace {

std::string textOf(KvWnd w) {
  const long len = SendMessage(w, KV_WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(len) + 1, '\0');
  const long got = SendMessage(w, KV_WM_GETTEXT, static_cast<intptr_t>(text.size()), reinterpret_cast<intptr_t>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

long appendLine(KvWnd w, const char* text, intptr_t flags = KV_TXT_NEWLINE, uint32_t colour = 0) {
  const KvTextRun run{text, static_cast<int32_t>(std::strlen(text)), 0, colour};
  return SendMessage(w, KV_TXT_APPEND, reinterpret_cast<intptr_t>(&run), 1 | flags);
}

}  // namespace

class QtWndTests : public QObject {
  Q_OBJECT

 private slots:
  void childrenAreMadeByClass_data() {
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("widget");
    QTest::newRow("rich text") << "RichEdit" << "QPlainTextEdit";
    QTest::newRow("any case") << "richedit" << "QPlainTextEdit";
    QTest::newRow("static") << "STATIC" << "QLabel";
    QTest::newRow("progress") << "msctls_progress32" << "QProgressBar";
    QTest::newRow("unknown is a label") << "Button" << "QLabel";
  }
  void childrenAreMadeByClass() {
    QFETCH(QString, cls);
    QFETCH(QString, widget);
    KvQtParent parent;
    const KvWnd child = KvCreateChildWindow(parent.wnd(), cls.toUtf8().constData(), "hi", KV_WS_VISIBLE);
    QVERIFY(child != 0);
    QCOMPARE(parent.ChildWidget(child)->metaObject()->className(), widget);
    QCOMPARE(parent.Children().size(), size_t{1});
  }

  void richTextReadsBackWhatWasAdded() {
    KvQtParent parent;
    const KvWnd rich = KvCreateChildWindow(parent.wnd(), "RichEdit", "", KV_WS_VISIBLE | KV_ES_READONLY);
    QCOMPARE(appendLine(rich, "first"), 5L);
    QCOMPARE(appendLine(rich, "second"), 7L);  // the line break counts
    QCOMPARE(appendLine(rich, " more", 0), 5L);
    const KvTextRun crlf{"\r\n", 2, 0, 0};
    SendMessage(rich, KV_TXT_APPEND, reinterpret_cast<intptr_t>(&crlf), 1);
    appendLine(rich, "third", 0);
    QCOMPARE(textOf(rich), std::string("first\nsecond more\nthird"));
    // Put back in front, as after a hold: whole lines.
    appendLine(rich, "earlier", KV_TXT_ATSTART);
    QCOMPARE(textOf(rich), std::string("earlier\nfirst\nsecond more\nthird"));
    SendMessage(rich, KV_TXT_CLEAR, 0, 0);
    QCOMPARE(textOf(rich), std::string());
    // A short buffer gets what fits, ended.
    appendLine(rich, "abcdef");
    char small[4] = {'x', 'x', 'x', 'x'};
    QCOMPARE(SendMessage(rich, KV_WM_GETTEXT, 4, reinterpret_cast<intptr_t>(small)), 3L);
    QCOMPARE(std::string(small), std::string("abc"));
  }

  void linesFromAWorkerArriveWholeAndInOrder() {
    KvQtParent parent;
    const KvWnd rich = KvCreateChildWindow(parent.wnd(), "RichEdit", "", KV_WS_VISIBLE);
    std::thread worker([&] {
      for (int i = 0; i < 200; ++i) appendLine(rich, std::to_string(i).c_str());
    });
    // The worker's sends are served here through the Qt loop's pump.
    while (textOf(rich).size() < std::string("0\n1").size() || textOf(rich).find("199") == std::string::npos)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    std::string expected;
    for (int i = 0; i < 200; ++i) expected += (i ? "\n" : "") + std::to_string(i);
    QCOMPARE(textOf(rich), expected);
  }

  void staticAndProgressAnswerAsTheRuntimeExpects() {
    KvQtParent parent;
    parent.resize(300, 20);
    const KvWnd label = KvCreateChildWindow(parent.wnd(), "STATIC", "Status", KV_WS_STATICEDGE);
    const KvWnd bar = KvCreateChildWindow(parent.wnd(), "msctls_progress32", "", 0);
    QCOMPARE(textOf(label), std::string("Status"));
    KvSetWindowText(label, "Loading");
    QCOMPARE(static_cast<QLabel*>(parent.ChildWidget(label))->text(), "Loading");
    QVERIFY(KvMoveWindow(label, 10, 2, 100, 16));
    QCOMPARE(KvGetWindowRect(label), (KvRect{10, 2, 100, 16}));
    QCOMPARE(KvGetClientRect(parent.wnd()), (KvRect{0, 0, 300, 20}));
    SendMessage(bar, KV_PBM_SETRANGE, 0, 1000);
    QCOMPARE(SendMessage(bar, KV_PBM_SETPOS, 250, 0), 0L);
    QCOMPARE(SendMessage(bar, KV_PBM_SETPOS, 500, 0), 250L);
    QCOMPARE(static_cast<QProgressBar*>(parent.ChildWidget(bar))->maximum(), 1000);
    KvShowWindow(label, true);
    QVERIFY(parent.ChildWidget(label)->isVisibleTo(&parent));
  }

  void destroyedChildrenGoWithTheirWindows() {
    auto* parent = new KvQtParent;
    const KvWnd first = KvCreateChildWindow(parent->wnd(), "RichEdit", "", 0);
    DestroyWindow(first);  // as the log does when it is held
    const KvWnd second = KvCreateChildWindow(parent->wnd(), "RichEdit", "", 0);
    QCOMPARE(parent->Children("RichEdit"), std::vector<KvWnd>{second});
    QCOMPARE(parent->findChildren<QPlainTextEdit*>().size(), 1);
    const KvWnd self = parent->wnd();
    delete parent;
    QVERIFY(!IsWindow(self));
    QVERIFY(!IsWindow(second));
    QCOMPARE(SendMessage(second, KV_WM_GETTEXTLENGTH, 0, 0), 0L);
  }

  // The dialogs a run without a person meets take their defaults; tests answer them.
  void dialogsAnswerWithoutAPerson_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("scripted");
    QTest::addColumn<int>("answer");
    QTest::newRow("default is the first button") << 1 << QString() << int(dlgYes);
    QTest::newRow("scripted no") << 2 << "no" << int(dlgNo);
    QTest::newRow("scripted cancel") << 2 << "Cancel" << int(dlgCancel);
    QTest::newRow("a button not offered falls back") << 2 << "OK" << int(dlgYes);
    QTest::newRow("script used up") << 2 << QString() << int(dlgYes);
  }
  void dialogsAnswerWithoutAPerson() {
    QFETCH(int, mode);
    QFETCH(QString, scripted);
    QFETCH(int, answer);
    CDialogs& d = CDialogs::Get();
    d.ClearScript();
    d.SetMode(static_cast<CDialogs::Mode>(mode));
    if (!scripted.isNull()) d.Script({scripted.toStdString()});
    QCOMPARE(d.MsgBox("Go on?", DlgButtons::yesNoCancel, DlgIcon::question, "Kelvane"), answer);
    std::string typed;
    d.Script({"typed"});
    QVERIFY(d.InputBox("Name?", "Kelvane", "default", &typed));
    QCOMPARE(typed, mode == 2 ? std::string("typed") : std::string("default"));
    d.Script({"\x1b"});
    QCOMPARE(d.InputBox("Name?", "Kelvane", "default", &typed), mode != 2);
    d.SetMode(CDialogs::Mode::scripted);
    d.ClearScript();
  }
};

#include "QtWndTests.moc"
KV_QTEST(QtWndTests)
