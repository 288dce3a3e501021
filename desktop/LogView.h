#pragma once
// The shell's own log view: the engine's log shown in a tab, for as long as no control
// library offers the log viewer. On Load it becomes the log's parent window, which gives
// the engine its log and status windows (and with them its acquisition controller).

#include <string>

#include "KvDll/Wnd.h"
#include "desktop/GuiWidget.h"
#include "desktop/QtWnd.h"

// What the shell asks of any log viewer, its own or a control library's: the window it
// hands the engine for the log, and the log's text as shown. Header-only, so a control
// library implements it without linking the shell, and the shell recognises a log viewer
// by this interface rather than by a class of another library.
class IKvLogView {
 public:
  virtual ~IKvLogView() = default;
  virtual KvWnd LogWindow() const = 0;
  // The engine's log is in this viewer now (it shows one viewer at a time).
  virtual bool ShowsLog() const = 0;
  // The log's whole text as shown here ("" when the log is not in this viewer).
  virtual std::string Text() const = 0;
};

class LogView final : public KvGuiWidget, public IKvLogView {
 public:
  explicit LogView(QWidget* parent = nullptr);

  HRESULT Load(IApp** app, IKvHost** host, std::string* label) override;
  HRESULT get_TabCaption(std::string* out) override;
  HRESULT get_Caption(std::string* out) override;

  std::string Text() const override;
  KvWnd LogWindow() const override { return area->wnd(); }
  bool ShowsLog() const override { return !area->Children("RichEdit").empty(); }

 private:
  KvQtParent* area;
};
