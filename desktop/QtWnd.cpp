#include "desktop/QtWnd.h"

#include <strings.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QPlainTextEdit>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

// ---------------------------------------------------------------------------------------
// Children
// ---------------------------------------------------------------------------------------

// Text added to a rich-text child waits here until the next flush, so a burst of log lines
// is laid out and drawn once instead of once per line.
struct PendingRun {
  QString text;
  bool bold;
  uint32_t colour;
};

struct KvQtParent::Child {
  KvWnd wnd = 0;
  std::vector<PendingRun> pending;
  bool flushScheduled = false;
  QWidget* widget = nullptr;  // owned by the parent widget
  QPlainTextEdit* rich = nullptr;
  QLabel* label = nullptr;
  QProgressBar* progress = nullptr;
  KvQtParent* parent = nullptr;
};

namespace {

// The windows made here on this thread, so a procedure finds its widget.
thread_local std::unordered_map<KvWnd, KvQtParent*> t_parents;
thread_local std::unordered_map<KvWnd, void*> t_children;

QColor colourOf(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

std::string utf8(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// The answer to a rectangle query: 0 without a place to put it.
long answerRect(intptr_t wp, const KvRect& r) {
  if (!wp) return 0;
  *reinterpret_cast<KvRect*>(wp) = r;
  return 1;
}

long copyText(const std::string& text, intptr_t size, intptr_t buffer) {
  if (size <= 0 || !buffer) return 0;
  const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
  reinterpret_cast<char*>(buffer)[n] = 0;
  return static_cast<long>(n);
}

QTextCharFormat formatOf(bool bold, uint32_t colour) {
  QTextCharFormat f;
  f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  f.setForeground(colourOf(colour));
  return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

KvQtParent::KvQtParent(QWidget* parent) : QWidget(parent) {
  wnd_ = CreateWindow(parentProc, this);
  t_parents[wnd_] = this;
}

KvQtParent::~KvQtParent() {
  for (Child* c : children_) {
    t_children.erase(c->wnd);
    DestroyWindow(c->wnd);
    delete c;
  }
  t_parents.erase(wnd_);
  DestroyWindow(wnd_);
}

// ---------------------------------------------------------------------------------------
// Accessors
// ---------------------------------------------------------------------------------------

std::vector<KvWnd> KvQtParent::Children(const char* cls) const {
  std::vector<KvWnd> out;
  for (const Child* c : children_) {
    if (!IsWindow(c->wnd)) continue;
    const bool match = !cls || !*cls || (strcasecmp(cls, "RichEdit") == 0 && c->rich) ||
                       (strcasecmp(cls, "STATIC") == 0 && c->label) ||
                       (strcasecmp(cls, "msctls_progress32") == 0 && c->progress);
    if (match) out.push_back(c->wnd);
  }
  return out;
}

QWidget* KvQtParent::ChildWidget(KvWnd child) const {
  for (const Child* c : children_)
    if (c->wnd == child) return c->widget;
  return nullptr;
}

void KvQtParent::flush(Child* c) {
  c->flushScheduled = false;
  if (!c->rich || c->pending.empty()) return;
  QTextCursor cursor(c->rich->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const PendingRun& r : c->pending) cursor.insertText(r.text, formatOf(r.bold, r.colour));
  cursor.endEditBlock();
  c->pending.clear();
  c->rich->verticalScrollBar()->setValue(c->rich->verticalScrollBar()->maximum());
}

// Runs of one line added as one piece; the answer is the characters added, as the runtime
// counts them (the line break included).
long KvQtParent::append(Child* c, const KvTextRun* runs, intptr_t lp) {
  const int n = static_cast<int>(lp & KV_TXT_COUNTMASK);
  const bool atStart = (lp & KV_TXT_ATSTART) != 0;
  const bool empty = c->rich->document()->isEmpty() && c->pending.empty();
  long added = 0;
  std::vector<PendingRun> line;
  if ((lp & KV_TXT_NEWLINE) && !empty && !atStart) {
    line.push_back({"\n", false, 0});
    ++added;
  }
  for (int i = 0; i < n; ++i) {
    if (!runs[i].text || runs[i].len <= 0) continue;
    // A CR LF pair is one line break on screen.
    QString text = QString::fromUtf8(runs[i].text, runs[i].len);
    text.replace("\r\n", "\n");
    line.push_back({text, runs[i].bold != 0, runs[i].colour});
    added += runs[i].len;
  }
  if (atStart) {
    // Text put back in front (after a hold): whole lines, parted from what is there.
    flush(c);
    QTextCursor cursor(c->rich->document());
    cursor.movePosition(QTextCursor::Start);
    for (const PendingRun& r : line) cursor.insertText(r.text, formatOf(r.bold, r.colour));
    if (added > 0 && !empty) cursor.insertText("\n");
    return added;
  }
  for (PendingRun& r : line) c->pending.push_back(std::move(r));
  if (!c->flushScheduled) {
    c->flushScheduled = true;
    const KvWnd wnd = c->wnd;
    QTimer::singleShot(30, this, [this, wnd] {
      for (Child* x : children_)
        if (x->wnd == wnd) flush(x);
    });
  }
  return added;
}

std::string KvQtParent::ChildText(KvWnd child) const {
  for (Child* c : children_) {
    if (c->wnd != child) continue;
    const_cast<KvQtParent*>(this)->flush(c);
    if (c->rich) return utf8(c->rich->toPlainText());
    if (c->label) return utf8(c->label->text());
  }
  return {};
}

void KvQtFlushText() {
  for (auto& [wnd, parent] : t_parents)
    for (KvQtParent::Child* c : parent->children_) parent->flush(c);
}

void KvQtParent::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  SendMessage(wnd_, KV_WM_SIZE, 0, static_cast<intptr_t>((width() & 0xFFFF) | ((height() & 0xFFFF) << 16)));
}

// ---------------------------------------------------------------------------------------
// Window procedures
// ---------------------------------------------------------------------------------------

// Children whose window the runtime destroyed (a log ended for a hold) go with it.
void KvQtParent::sweep() {
  auto dead = std::remove_if(children_.begin(), children_.end(), [](Child* c) {
    if (IsWindow(c->wnd)) return false;
    t_children.erase(c->wnd);
    delete c->widget;
    delete c;
    return true;
  });
  children_.erase(dead, children_.end());
}

KvWnd KvQtParent::createChild(const KvCreateChild& spec) {
  sweep();
  auto* c = new Child;
  c->parent = this;
  const char* cls = spec.cls ? spec.cls : "";
  const QString text = QString::fromUtf8(spec.text ? spec.text : "");
  if (strcasecmp(cls, "RichEdit") == 0) {
    c->rich = new QPlainTextEdit(this);
    c->rich->setReadOnly(spec.style & KV_ES_READONLY);
    c->rich->setPlainText(text);
    c->widget = c->rich;
  } else if (strcasecmp(cls, "msctls_progress32") == 0) {
    c->progress = new QProgressBar(this);
    c->progress->setTextVisible(false);
    c->progress->setValue(0);
    c->widget = c->progress;
  } else {
    c->label = new QLabel(text, this);
    if (spec.style & (KV_WS_STATICEDGE | KV_WS_SUNKEN)) c->label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    c->widget = c->label;
  }
  c->widget->setVisible(spec.style & KV_WS_VISIBLE);
  c->wnd = CreateWindow(childProc, c);
  t_children[c->wnd] = c;
  children_.push_back(c);
  return c->wnd;
}

long KvQtParent::parentProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t) {
  auto i = t_parents.find(wnd);
  if (i == t_parents.end()) return 0;
  KvQtParent* p = i->second;
  switch (msg) {
    case KV_WM_CREATECHILD: return wp ? static_cast<long>(p->createChild(*reinterpret_cast<const KvCreateChild*>(wp))) : 0;
    case KV_WM_GETCLIENTRECT: return answerRect(wp, KvRect{0, 0, p->width(), p->height()});
    case KV_WM_GETWINDOWRECT: return answerRect(wp, KvRect{p->x(), p->y(), p->width(), p->height()});
    default: return 0;
  }
}

long KvQtParent::childProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  auto i = t_children.find(wnd);
  if (i == t_children.end()) return 0;
  Child* c = static_cast<Child*>(i->second);
  QWidget* w = c->widget;
  switch (msg) {
    case KV_WM_MOVEWINDOW: {
      if (!wp) return 0;
      const KvRect& r = *reinterpret_cast<const KvRect*>(wp);
      w->setGeometry(r.x, r.y, std::max(0, r.width), std::max(0, r.height));
      return 1;
    }
    case KV_WM_GETCLIENTRECT: return answerRect(wp, KvRect{0, 0, w->width(), w->height()});
    case KV_WM_GETWINDOWRECT: return answerRect(wp, KvRect{w->x(), w->y(), w->width(), w->height()});
    case KV_WM_SHOWWINDOW: w->setVisible(wp != 0); return 1;
    case KV_WM_SETTEXT: {
      c->pending.clear();
      const QString text = QString::fromUtf8(lp ? reinterpret_cast<const char*>(lp) : "");
      if (c->rich) c->rich->setPlainText(text);
      if (c->label) c->label->setText(text);
      return 1;
    }
    case KV_WM_GETTEXTLENGTH: return static_cast<long>(c->parent->ChildText(wnd).size());
    case KV_WM_GETTEXT: return copyText(c->parent->ChildText(wnd), wp, lp);
    case KV_WM_SETFONT:
      if (wp) {
        const auto* f = reinterpret_cast<const KvFont*>(wp);
        QFont font = w->font();
        if (f->size > 0) font.setPointSize(f->size);
        font.setBold(f->bold != 0);
        w->setFont(font);
      }
      return 1;
    case KV_WM_PAINT: w->update(); return 1;
    case KV_PBM_SETRANGE:
      if (c->progress) c->progress->setRange(static_cast<int>(wp), static_cast<int>(lp));
      return 1;
    case KV_PBM_SETPOS: {
      if (!c->progress) return 0;
      const long old = c->progress->value();
      c->progress->setValue(static_cast<int>(wp));
      return old;
    }
    case KV_PBM_SETSTEP: return 1;
    case KV_TXT_APPEND: return c->rich && wp ? c->parent->append(c, reinterpret_cast<const KvTextRun*>(wp), lp) : 0;
    case KV_TXT_CLEAR:
      c->pending.clear();
      if (c->rich) c->rich->clear();
      return 1;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------
// The pump on the Qt loop
// ---------------------------------------------------------------------------------------

namespace {

// One pump scheduled at a time: the wake-up comes once per queued message.
std::atomic<bool> g_pumpScheduled{false};

void wake(void*) {
  if (g_pumpScheduled.exchange(true)) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app,
      [] {
        g_pumpScheduled.store(false);
        PumpMessages();
      },
      Qt::QueuedConnection);
}

}  // namespace

void KvQtInstallPump() {
  SetWakeCallback(wake, nullptr);
  // Anything already queued is worked off on the loop's next turn.
  g_pumpScheduled.store(false);
  wake(nullptr);
}

void KvQtRemovePump() { SetWakeCallback(nullptr, nullptr); }
