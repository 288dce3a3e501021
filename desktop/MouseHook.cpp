#include "desktop/MouseHook.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include "desktop/frmHost.h"

PanelMouseHook::PanelMouseHook(QObject* parent) : QObject(parent), popup([](frmHost* h) { h->showPopup(); }) {}

bool PanelMouseHook::eventFilter(QObject* watched, QEvent* e) {
  const QEvent::Type t = e->type();
  if (inside || (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonRelease && t != QEvent::MouseMove))
    return QObject::eventFilter(watched, e);
  // Only the window itself: its frame and title bar. Its controls get their own clicks.
  auto* host = qobject_cast<frmHost*>(watched);
  if (!host) return QObject::eventFilter(watched, e);
  inside = true;
  bool swallow = false;
  const auto* m = static_cast<QMouseEvent*>(e);
  const QPoint at = m->position().toPoint();
  if (t == QEvent::MouseButtonRelease && m->button() == Qt::RightButton) {
    if (popup) popup(host);
    swallow = true;
  } else if (!host->Resizable() && (t == QEvent::MouseMove || m->button() == Qt::LeftButton)) {
    // The sizing border: outside the inner area and below the title bar.
    QStyleOptionTitleBar option;
    option.initFrom(host);
    const int title = host->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, host);
    const QWidget* inner = host->widget();
    swallow = at.y() >= title && inner && !inner->geometry().contains(at);
  }
  inside = false;
  return swallow || QObject::eventFilter(watched, e);
}
