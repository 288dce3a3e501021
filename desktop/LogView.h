#pragma once
// The shell's own log view: the engine's log shown in a tab, for as long as no control
// library offers the log viewer. On Load it becomes the log's parent window, which gives
// the engine its log and status windows (and with them its acquisition controller).

#include "desktop/GuiWidget.h"
#include "desktop/QtWnd.h"

class LogView final : public KvGuiWidget {
 public:
  explicit LogView(QWidget* parent = nullptr);

  HRESULT Load(IApp** app, IKvHost** host, std::string* label) override;
  HRESULT get_TabCaption(std::string* out) override;
  HRESULT get_Caption(std::string* out) override;

  // The log's whole text as shown.
  std::string Text() const;
  KvWnd LogWindow() const { return area->wnd(); }

 private:
  KvQtParent* area;
};
