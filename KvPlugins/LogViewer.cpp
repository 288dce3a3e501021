#include "KvPlugins/LogViewer.h"

#include <QFont>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <algorithm>
#include <vector>

#include "desktop/QtWnd.h"

namespace {

constexpr int kLocDetach = 5;

// The loaded viewers, oldest first: the last one is where the log goes.
std::vector<LogViewer*>& viewers() {
  static std::vector<LogViewer*> list;
  return list;
}

// The log's face where it exists, else the system's sans-serif face at the same size.
QFont logFont() {
  QFont f;
  f.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans", "Liberation Sans", "Sans Serif"});
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  return f;
}

}  // namespace

KV_PLUGIN("KvPlugins.LogViewer", LogViewer)

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

LogViewer::LogViewer(QWidget* parent)
    : CToolWnd(parent, Traits{"Log", "Log", "Log", 4200, 2400, nullptr, 6, true}), area(new KvQtParent(this)) {
  // The engine's rich-text window takes its font from here; it sets only the size itself.
  area->setFont(logFont());
}

// A viewer destroyed without Unload lets go of the log all the same, before its window goes.
LogViewer::~LogViewer() {
  if (attached) detach();
}

// ---------------------------------------------------------------------------------------
// The log's window
// ---------------------------------------------------------------------------------------

KvWnd LogViewer::LogWindow() const { return area->wnd(); }

bool LogViewer::ShowsLog() const { return !area->Children("RichEdit").empty(); }

std::string LogViewer::Text() const {
  const std::vector<KvWnd> rich = area->Children("RichEdit");
  return rich.empty() ? std::string() : area->ChildText(rich.back());
}

// Load, after the captions: the engine's log comes here, with what it showed elsewhere.
void LogViewer::beforeSize() {
  auto& list = viewers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.push_back(this);
  attached = true;
  if (!utils) return;
  utils->SetHwndLog(area->wnd());
  utils->HoldLog(false);
  for (LogViewer* v : list) v->showLiveText();
}

void LogViewer::ended() { detach(); }

// The log leaves this viewer for the newest one left; with none, the engine holds its lines
// until the next viewer loads.
void LogViewer::detach() {
  auto& list = viewers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  attached = false;
  guarded(kLocDetach, [&] {
    if (!utils) return;
    if (!list.empty()) {
      utils->SetHwndLog(list.back()->area->wnd());
      utils->HoldLog(false);
    } else {
      utils->SetHwndLog(0);
      utils->HoldLog(true);
    }
    for (LogViewer* v : list) v->showLiveText();
  });
}

// A text window the log left stays behind until the runtime sweeps it; it is hidden so the
// viewer does not show lines that are no longer written.
void LogViewer::showLiveText() {
  const std::vector<KvWnd> rich = area->Children("RichEdit");
  QWidget* live = rich.empty() ? nullptr : area->ChildWidget(rich.back());
  for (QPlainTextEdit* w : area->findChildren<QPlainTextEdit*>(Qt::FindDirectChildrenOnly))
    if (w != live) w->hide();
}

void LogViewer::layOut() { area->setGeometry(rect()); }

// The size the host gave back when the minimum was raised arrives while the base class is
// still raising and is not laid out there; the log's text must fill it all the same.
void LogViewer::resizeEvent(QResizeEvent* e) {
  CToolWnd::resizeEvent(e);
  layOut();
}

// F1 shows no help here: it is taken before any shortcut sees it.
bool LogViewer::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
    if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
      e->accept();
      return true;
    }
  }
  return CToolWnd::event(e);
}
