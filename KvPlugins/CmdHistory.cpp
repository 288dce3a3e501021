#include "KvPlugins/CmdHistory.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "KvCtlLib/Popup.h"

KV_PLUGIN("KvPlugins.CmdHistory", CCmdHistory)

namespace {

// Handlers in the history's error codes (107HHH).
constexpr int kLocRefresh = 5, kLocValueChanged = 6, kLocPopup = 7;

const CToolWnd::Traits kTraits{"Command History", "History", "History", 3600, 3900, "Wnd\\History", 7, true};

constexpr int kStripGap = 4;
constexpr qint64 kMinGapMs = 20;  // between refreshes caused by notices  // pixels between the text and the button, and below the button

QString boxText(const std::string& text) {
  QString t = QString::fromStdString(text);
  t.replace("\r\n", "\n");
  return t;
}

// A text box whose pop-up is the window's.
class CHistoryText final : public QPlainTextEdit {
 public:
  CHistoryText(QWidget* owner, std::function<void(const QPoint&)> showPopup)
      : QPlainTextEdit(owner), showPopup(std::move(showPopup)) {}

 protected:
  void contextMenuEvent(QContextMenuEvent* e) override {
    e->accept();
    showPopup(e->globalPos());
  }

 private:
  std::function<void(const QPoint&)> showPopup;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

CCmdHistory::CCmdHistory(QWidget* parent)
    : CToolWnd(parent, kTraits),
      box(new CHistoryText(this, [this](const QPoint& at) { showPopup(at); })),
      refreshButton(new QPushButton("Refresh", this)),
      popup(new Popup(this)),
      pending(new QTimer(this)) {
  box->setReadOnly(true);
  box->document()->setUndoRedoEnabled(false);  // only the program writes here
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  pending->setSingleShot(true);
  pending->setInterval(0);
  connect(pending, &QTimer::timeout, this, [this] { guarded(kLocValueChanged, [&] { refresh(); }); });
  connect(refreshButton, &QPushButton::clicked, this, [this] { guarded(kLocRefresh, [&] { refresh(); }); });
  connect(popup, &Popup::Click, this, [this](int pos) {
    guarded(kLocPopup, [&] {
      if (pos == 1) box->copy();  // the text is read only: Cut, Paste and Undo have nothing to act on
    });
  });
  connect(box, &QPlainTextEdit::copyAvailable, this, [this](bool yes) { popup->SetEntry(1, "&Copy", yes); });
  refreshPopup();
  layOut();
}

CCmdHistory::~CCmdHistory() { unadvise(); }

void CCmdHistory::started() {
  if (app) app->Advise(this, &cookie);
  refresh();
}

void CCmdHistory::ended() {
  unadvise();
  pending->stop();
}

void CCmdHistory::unadvise() {
  if (cookie && app) app->Unadvise(cookie);
  cookie = 0;
}

void CCmdHistory::layOut() {
  const QSize button = refreshButton->sizeHint();
  const int strip = button.height() + 2 * kStripGap;
  box->setGeometry(0, 0, width(), std::max(0, height() - strip));
  refreshButton->setGeometry(kStripGap, std::max(0, height() - strip) + kStripGap, button.width(), button.height());
}

// ---------------------------------------------------------------------------------------
// The engine's notices and the refresh
// ---------------------------------------------------------------------------------------

void CCmdHistory::ValueChanged(const std::string&, const std::string&) {
  guarded(kLocValueChanged, [&] {
    if (pending->isActive()) return;
    // A lone notice is shown at once; a stream of them at most every kMinGapMs.
    const qint64 since = lastRefresh.isValid() ? lastRefresh.elapsed() : kMinGapMs;
    pending->start(static_cast<int>(std::max<qint64>(0, kMinGapMs - since)));
  });
}

void CCmdHistory::refresh() {
  lastRefresh.start();
  if (!app) return;
  std::string list;
  app->GetCmdList(&list);
  if (list == shownList) return;
  const QString now = boxText(list);
  QScrollBar* bar = box->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  // Most changes touch one entry or add some at the end: only the part between the text
  // both versions begin and end with goes into the box.
  const qsizetype most = std::min(shown.size(), now.size());
  qsizetype head = std::mismatch(shown.cbegin(), shown.cbegin() + most, now.cbegin()).first - shown.cbegin();
  qsizetype tail = 0;
  while (tail < most - head && shown[shown.size() - 1 - tail] == now[now.size() - 1 - tail]) ++tail;
  QTextCursor c(box->document());
  c.setPosition(static_cast<int>(head));
  c.setPosition(static_cast<int>(shown.size() - tail), QTextCursor::KeepAnchor);
  c.insertText(now.mid(head, now.size() - tail - head));
  shown = now;
  shownList = std::move(list);
  if (atEnd) bar->setValue(bar->maximum());
}

void CCmdHistory::refreshPopup() {
  popup->SetEntry(0, "Cu&t", false);
  popup->SetEntry(1, "&Copy", box->textCursor().hasSelection());
  popup->SetEntry(2, "&Paste", false);
  popup->SetEntry(3, "&Undo", false);
}

void CCmdHistory::showPopup(const QPoint& global) {
  guarded(kLocPopup, [&] {
    refreshPopup();
    popup->ShowAt(global);
  });
}
