#include "KvPlugins/CodeEditor.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <algorithm>
#include <memory>
#include <vector>
#include <stdexcept>

#include "KvCtlLib/Popup.h"
#include "desktop/Dialogs.h"
#include "desktop/Twips.h"

namespace {

// Handlers after the contract's 001-004.
constexpr int kLocApply = 5, kLocRefresh = 6, kLocBufferChanged = 7, kLocNameChanged = 8, kLocEdit = 9,
              kLocPopup = 10, kLocChoose = 11, kLocDestroy = 12;

const char* const kApplyAsk =
    "This will apply your changes to the workspace and reload it.\r\n\r\nDo you want to continue?";
const char* const kRefreshAsk =
    "This will refresh the code window and will cancel any changes done by you.\r\n\r\nDo you want to continue?";
const char* const kNetworkLocked = "The network cannot be changed while an acquisition runs";

// Pop-up positions.
enum : int { popApply = 0, popCancel = 1, popCut = 3, popCopy = 4, popPaste = 5, popDelete = 6, popUndo = 8, popRefresh = 9 };

std::string withLf(std::string t) {
  size_t to = 0;
  for (size_t from = 0; from < t.size(); ++from) {
    if (t[from] == '\r' && from + 1 < t.size() && t[from + 1] == '\n') continue;
    t[to++] = t[from];
  }
  t.resize(to);
  return t;
}

}  // namespace

KV_PLUGIN("KvPlugins.CodeEditor", CodeEditor)

// The workspace's events reach the editor through this object.
class CodeEditor::Sink final : public IWrkSpcEvents {
 public:
  explicit Sink(CodeEditor* editor) : owner(editor) {}
  CodeEditor* owner;  // null once the editor let go

  void NameChanged() override {
    if (owner) owner->nameChanged();
  }
  void BufferChanged() override {
    if (owner) owner->bufferChanged();
  }
};

namespace {

// Sinks let go of stay here, silent, until the library unloads: the workspace calls its
// sinks from a copy of its list, so a sink unsubscribed during that call (its editor closed
// by another sink) is still called afterwards. A few bytes per editor closed; nothing that
// runs later (a posted deletion) could outlive the library's code.
std::vector<std::unique_ptr<IWrkSpcEvents>>& retired() {
  static std::vector<std::unique_ptr<IWrkSpcEvents>> sinks;
  return sinks;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

CodeEditor::CodeEditor(QWidget* parent)
    : CToolWnd(parent, Traits{"Code Editor", "Code", "Code", 3600, 3900, "Wnd\\CodeEditor", 3, true}),
      text(new QPlainTextEdit(this)),
      cmdApply(new QPushButton("&Apply", this)),
      cmdRefresh(new QPushButton("&Refresh", this)),
      popup(new Popup(this)) {
  text->setObjectName("txtCode");
  text->setLineWrapMode(QPlainTextEdit::NoWrap);  // a script line stays one line on screen
  // A scroll bar that came and went with the text would change the width, and every line
  // would be laid out again.
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setContextMenuPolicy(Qt::CustomContextMenu);
  cmdApply->setObjectName("cmdApply");
  cmdApply->setToolTip("Applies the changes to the workspace and reloads the workspace");
  cmdApply->setEnabled(false);
  cmdRefresh->setObjectName("cmdRefresh");
  cmdRefresh->setToolTip("Refreshes the code window. Any recent changes will be lost.");
  popup->setObjectName("popup");

  connect(text, &QPlainTextEdit::textChanged, this, [this] { edited(); });
  connect(text, &QPlainTextEdit::undoAvailable, this, [this](bool on) { popup->SetEntry(popUndo, "&Undo", on); });
  connect(text, &QPlainTextEdit::customContextMenuRequested, this, [this](const QPoint& at) { showPopup(at); });
  connect(cmdApply, &QPushButton::clicked, this, [this] { guarded(kLocApply, [&] { apply(); }); });
  connect(cmdRefresh, &QPushButton::clicked, this, [this] { guarded(kLocRefresh, [&] { refresh(); }); });
  connect(popup, &Popup::Click, this, [this](int pos) { choose(pos); });
}

CodeEditor::~CodeEditor() {
  if (app || wrkspc) Unload();
  guarded(kLocDestroy, [&] { unsubscribe(); });
}

// ---------------------------------------------------------------------------------------
// Load and Unload
// ---------------------------------------------------------------------------------------

// Load, before the captions: the workspace, its events, and the caption from its name.
std::string CodeEditor::initialCaption() {
  unsubscribe();
  wrkspc.reset();
  if (app) app->get_WrkSpc(wrkspc.put());
  subscribe();
  std::string name;
  if (wrkspc) wrkspc->get_Name(&name);
  return captionOf(name);
}

void CodeEditor::beforeSize() {
  const char* const entries[] = {"&Apply Changes", "Ca&ncel Changes", "-",     "Cu&t",  "&Copy",
                                 "&Paste",         "&Delete",         "-",     "&Undo", "&Refresh"};
  popup->Clear();
  for (int i = 0; i < 10; ++i) popup->SetEntry(i, entries[i]);
  popup->SetEntry(popApply, entries[popApply], cmdApply->isEnabled());
  popup->SetEntry(popUndo, entries[popUndo], text->document()->isUndoAvailable());
}

void CodeEditor::started() {
  // Laid out before the text goes in: a text box whose width changes lays out every line again.
  layOut();
  reload();
  setApply(false);
}

void CodeEditor::ended() {
  unsubscribe();
  wrkspc.reset();
}

void CodeEditor::subscribe() {
  if (!wrkspc) return;
  sink = new Sink(this);
  if (wrkspc->Advise(sink, &cookie) != S_OK) {
    delete sink;
    sink = nullptr;
  }
}

void CodeEditor::unsubscribe() {
  if (!sink) return;
  if (wrkspc) wrkspc->Unadvise(cookie);
  sink->owner = nullptr;
  retired().emplace_back(sink);
  sink = nullptr;
  cookie = 0;
}

std::string CodeEditor::captionOf(const std::string& name) const {
  if (name.empty()) return "Code Editor";
  const size_t cut = name.find_last_of("/\\");
  return "Code Editor: " + (cut == std::string::npos ? name : name.substr(cut + 1));
}

// ---------------------------------------------------------------------------------------
// Apply and refresh
// ---------------------------------------------------------------------------------------

// The busy flag for one write of the editor's own; left alone if the editor went meanwhile.
namespace {
template <class Editor>
struct BusyScope {
  QPointer<Editor> editor;
  bool& flag;
  BusyScope(Editor* e, bool& f) : editor(e), flag(f) { flag = true; }
  ~BusyScope() {
    if (editor) flag = false;
  }
};
}  // namespace

void CodeEditor::apply() {
  // A box, or the engine reloading the workspace, may run other handlers that close this
  // window; after each, nothing of it is touched unless it is still there.
  const QPointer<CodeEditor> alive(this);
  const int answer = CDialogs::Get().MsgBox(kApplyAsk, DlgButtons::yesNo, DlgIcon::question, caption);
  if (!alive || answer != dlgYes) return;
  bool running = false;
  if (app) app->get_isBusy(&running);
  if (running) {
    // The engine would refuse every line of the network; the edits stay for a later Apply.
    if (utils) utils->AddLog(kNetworkLocked, sevWarn);
    return;
  }
  const KvPtr<IWrkSpc> ws = wrkspc;
  if (!ws) throw std::runtime_error("No workspace");
  const std::string script = withLf(text->toPlainText().toStdString());
  HRESULT hr;
  {
    BusyScope<CodeEditor> scope(this, busy);
    hr = ws->put_Buffer(script);
  }
  if (!alive) return;
  if (hr != S_OK) throw std::runtime_error("The workspace did not take the text");
  setApply(false);
}

void CodeEditor::refresh() {
  const QPointer<CodeEditor> alive(this);
  if (cmdApply->isEnabled() && !text->document()->isEmpty()) {
    const int answer = CDialogs::Get().MsgBox(kRefreshAsk, DlgButtons::yesNo, DlgIcon::question, caption);
    if (!alive || answer != dlgYes) return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct Restore {
    ~Restore() { QApplication::restoreOverrideCursor(); }
  } restore;
  QCoreApplication::processEvents();
  if (!alive) return;
  reload();
}

void CodeEditor::reload() {
  const KvPtr<IWrkSpc> ws = wrkspc;
  if (!ws) return;
  std::string script;
  if (ws->get_Buffer(&script) != S_OK) throw std::runtime_error("The workspace gave no text");
  const QString shown = QString::fromUtf8(script.data(), static_cast<qsizetype>(script.size()));
  {
    BusyScope<CodeEditor> scope(this, busy);
    if (cmdApply->isEnabled()) {
      QTextCursor all(text->document());
      all.beginEditBlock();
      all.select(QTextCursor::Document);
      all.insertText(shown);
      all.endEditBlock();
    } else {
      text->setPlainText(shown);
    }
  }
  setApply(false);
}

// ---------------------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------------------

void CodeEditor::bufferChanged() {
  guarded(kLocBufferChanged, [&] {
    if (!busy) reload();
  });
}

void CodeEditor::nameChanged() {
  guarded(kLocNameChanged, [&] {
    std::string name;
    if (wrkspc) wrkspc->get_Name(&name);
    SetCaption(captionOf(name));
  });
}

void CodeEditor::edited() {
  guarded(kLocEdit, [&] {
    if (!busy) setApply(true);
  });
}

void CodeEditor::setApply(bool on) {
  cmdApply->setEnabled(on);
  popup->SetEntry(popApply, "&Apply Changes", on);
}

void CodeEditor::showPopup(const QPoint& at) {
  guarded(kLocPopup, [&] {
    popup->SetEntry(popApply, "&Apply Changes", cmdApply->isEnabled());
    popup->SetEntry(popUndo, "&Undo", text->document()->isUndoAvailable());
    popup->ShowAt(text->viewport()->mapToGlobal(at));
  });
}

void CodeEditor::choose(int pos) {
  switch (pos) {
    case popApply: guarded(kLocApply, [&] { apply(); }); return;
    case popCancel:
    case popRefresh: guarded(kLocRefresh, [&] { refresh(); }); return;
    default: break;
  }
  guarded(kLocChoose, [&] {
    switch (pos) {
      case popCut: text->cut(); break;
      case popCopy: text->copy(); break;
      case popPaste: text->paste(); break;
      case popDelete: text->textCursor().removeSelectedText(); break;
      case popUndo: text->undo(); break;
      default: break;
    }
  });
}

// ---------------------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------------------

// The text fills the window but for a strip at the bottom with the two buttons.
void CodeEditor::layOut() {
  const int gap = KvTwipsToPixels(60);
  const QSize button = cmdApply->sizeHint().expandedTo(cmdRefresh->sizeHint()).expandedTo(QSize(KvTwipsToPixels(1125), 0));
  const int strip = button.height() + 2 * gap;
  const int top = std::max(0, height() - strip);
  text->setGeometry(0, 0, width(), top);
  cmdApply->setGeometry(gap, top + gap, button.width(), button.height());
  cmdRefresh->setGeometry(2 * gap + button.width(), top + gap, button.width(), button.height());
}

