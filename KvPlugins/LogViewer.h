#pragma once
// LogViewer: the engine's log in a tool window. It formats nothing itself: at Load it hands
// its runtime window to the engine, whose log writes its rich-text window into it. The log
// is in one viewer at a time, the newest; when a viewer goes, the log moves to the newest
// one left, or is held by the engine until the next one comes, so no line is lost and no
// line is written into a window that is gone.
//
// User-interface thread only.

#include <string>

#include "KvPlugins/ToolWnd.h"
#include "desktop/LogView.h"

class KvQtParent;

class LogViewer final : public CToolWnd, public IKvLogView {
 public:
  explicit LogViewer(QWidget* parent = nullptr);
  ~LogViewer() override;

  // IKvLogView
  KvWnd LogWindow() const override;
  bool ShowsLog() const override;
  std::string Text() const override;

 protected:
  void beforeSize() override;
  void ended() override;
  void layOut() override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;

 private:
  KvQtParent* area;
  bool attached = false;  // between Load and Unload

  void detach();
  void showLiveText();
};
