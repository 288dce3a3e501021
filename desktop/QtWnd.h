#pragma once
// Qt widgets as windows of the runtime. A KvQtParent is a plain widget that owns one runtime
// window; the log and the status strip ask it for the children they need by class name
// ("RichEdit", "STATIC", "msctls_progress32") and then drive them only through the runtime's
// messages, so the engine never touches a widget. Children are placed where the runtime
// says (pixels in the parent's client area); a resize of the parent is passed on as
// KV_WM_SIZE, which the log and the status strip answer by laying out their children.
//
// User-interface thread only: the widgets and their windows belong to the thread that made
// them, and messages from the engine's worker arrive through that thread's queue.

#include <QWidget>
#include <string>
#include <vector>

#include "KvDll/WndMsg.h"

class KvQtParent : public QWidget {
  Q_OBJECT

 public:
  explicit KvQtParent(QWidget* parent = nullptr);
  ~KvQtParent() override;

  KvWnd wnd() const { return wnd_; }
  // The live children in creation order; "" = any class.
  std::vector<KvWnd> Children(const char* cls = "") const;
  // The widget that shows a child window; null for another window.
  QWidget* ChildWidget(KvWnd child) const;
  // A child's text as the runtime reads it (UTF-8, lines parted by "\n").
  std::string ChildText(KvWnd child) const;

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  KvWnd wnd_ = 0;
 public:
  struct Child;

 private:
  std::vector<Child*> children_;

  friend void KvQtFlushText();
  static long parentProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);
  static long childProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);
  KvWnd createChild(const KvCreateChild& c);
  long append(Child* c, const KvTextRun* runs, intptr_t lp);
  void flush(Child* c);
  void sweep();
};

// Shows now the text still waiting to be drawn in every rich-text child of this thread (before
// a picture of the window is taken, say).
void KvQtFlushText();

// Has the calling (user-interface) thread's runtime queue worked off on the Qt event loop
// whenever a message is queued for it, so the engine's worker reaches the windows and event
// sinks of this thread while Qt runs. Installed once per thread; Remove undoes it.
void KvQtInstallPump();
void KvQtRemovePump();
