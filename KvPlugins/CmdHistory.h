#pragma once
// CCmdHistory: the engine's command history, read only, with "Refresh" in a strip below it.
// The text follows IApp.GetCmdList: read at Load, on "Refresh" and after the engine's value
// notices. Notices come in bursts (a script, a run): each only asks for a refresh, and one
// refresh reads the list for all that came since (at most one every few hundredths of a
// second while they keep coming), changing only the part of the text that changed.
//
// User-interface thread only.

#include <QElapsedTimer>
#include <QString>
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
  QElapsedTimer lastRefresh;
  std::string shownList;  // the command list as last read
  QString shown;          // and as the box holds it

  void refresh();
  void unadvise();
  void refreshPopup();
  void showPopup(const QPoint& global);
};
