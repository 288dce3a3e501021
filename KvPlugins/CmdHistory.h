#pragma once
// CCmdHistory: the engine's command history, read only, with "Refresh" in a strip below it.
// The text follows IApp.GetCmdList: read at Load, on "Refresh" and after the engine's value
// notices. Notices come in bursts (a script, a run), so each one only asks for a refresh and
// one refresh per turn of the event loop reads the list.
//
// User-interface thread only.

#include <string>

#include "KvPlugins/ToolWnd.h"

class Popup;
class QPlainTextEdit;
class QPoint;
class QPushButton;
class QTimer;

class CCmdHistory final : public CToolWnd, public IAppEvents {
 public:
  explicit CCmdHistory(QWidget* parent);
  ~CCmdHistory() override;

  void ValueChanged(const std::string& compName, const std::string& varName) override;
  void BeforeAcq(long) override {}
  void AfterAcq(long) override {}
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override {}

 protected:
  void started() override;
  void ended() override;
  void layOut() override;

 private:
  QPlainTextEdit* box;
  QPushButton* refreshButton;
  Popup* popup;
  QTimer* pending;  // a refresh asked for and not yet done
  long cookie = 0;  // the App's events, while advised
  std::string shown;  // the command list as last read

  void refresh();
  void unadvise();
  void refreshPopup();
  void showPopup(const QPoint& global);
};
