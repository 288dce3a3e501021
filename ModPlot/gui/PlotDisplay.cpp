#include "ModPlot/gui/PlotDisplay.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <algorithm>

#include "KvDll/WndMsg.h"
#include "ModPlot/PlotFrame.h"

namespace {

// How long resizes are gathered before one new frame is asked for.
constexpr int kResizeGatherMs = 40;

}  // namespace

CPlotDisplay::CPlotDisplay(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(16, 16);
  wnd = CreateWindow(&CPlotDisplay::proc, this);
  resized.setSingleShot(true);
  resized.setInterval(kResizeGatherMs);
  connect(&resized, &QTimer::timeout, this, &CPlotDisplay::FrameWanted);
}

CPlotDisplay::~CPlotDisplay() {
  // A sender still waiting for this window is released with 0; later sends find no window.
  SetWindowUser(wnd, nullptr);
  DestroyWindow(wnd);
}

long CPlotDisplay::proc(KvWnd w, unsigned msg, intptr_t wp, intptr_t lp) {
  auto* self = static_cast<CPlotDisplay*>(GetWindowUser(w));
  if (!self) return 0;
  switch (msg) {
    case KV_PLOT_WM_IDENTIFY: return static_cast<long>(KV_PLOT_DISPLAY_MAGIC);
    case KV_PLOT_WM_FRAME: return self->take(wp, reinterpret_cast<const QImage*>(lp));
    case KV_WM_GETCLIENTRECT: {
      auto* r = reinterpret_cast<KvRect*>(wp);
      if (!r) return 0;
      *r = KvRect{0, 0, std::clamp(self->width(), 0, kMaxSide), std::clamp(self->height(), 0, kMaxSide)};
      return 1;
    }
    default: return 0;
  }
}

long CPlotDisplay::take(intptr_t frameSerial, const QImage* image) {
  // A frame rendered before the one shown arrives late: the newer picture stays.
  if (!image || frameSerial < serial) return 0;
  frame = *image;  // shared, not copied: the component detaches when it draws again
  serial = frameSerial;
  ++taken;
  update();
  return 1;
}

void CPlotDisplay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (frame.isNull()) {
    p.fillRect(rect(), Qt::black);
    return;
  }
  // A frame of another size (the display was resized since) is stretched until the next one.
  if (frame.size() == size())
    p.drawImage(0, 0, frame);
  else
    p.drawImage(rect(), frame);
}

int CPlotDisplay::KeyCode(int k) {
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 65 + (k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return 48 + (k - Qt::Key_0);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return 112 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return -1;
  }
}

int CPlotDisplay::ShiftState(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

bool CPlotDisplay::event(QEvent* e) {
  // Tab switches between the pair cursors here; it must not move the focus away.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QWidget::event(e);
}

void CPlotDisplay::keyPressEvent(QKeyEvent* e) {
  const int code = KeyCode(e->key());
  if (code < 0) return QWidget::keyPressEvent(e);
  // Backtab is Shift+Tab whatever the modifiers say.
  int shift = ShiftState(e->modifiers());
  if (e->key() == Qt::Key_Backtab) shift |= 1;
  e->accept();
  emit KeyDown(shift * 65536 + code);
}

void CPlotDisplay::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  resized.start();  // restarted by each resize: one frame after the last
}

void CPlotDisplay::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData() && e->mimeData()->hasText())
    e->acceptProposedAction();
  else
    e->ignore();
}

void CPlotDisplay::dragMoveEvent(QDragMoveEvent* e) {
  if (e->mimeData() && e->mimeData()->hasText())
    e->acceptProposedAction();
  else
    e->ignore();
}

void CPlotDisplay::dropEvent(QDropEvent* e) {
  if (!e->mimeData() || !e->mimeData()->hasText()) return e->ignore();
  e->setDropAction(Qt::CopyAction);
  e->accept();
  emit Dropped(e->mimeData()->text());
}
