#pragma once
// The shell's mouse hook over its panel windows, as an application event filter: a
// right-button release on a panel window's frame or title bar shows its pop-up menu, and a
// left-button press or a move on the sizing border of a window that may not be resized is
// swallowed. Everything else passes on. It never re-enters itself.
//
// User-interface thread only.

#include <QObject>
#include <functional>

class frmHost;

class PanelMouseHook final : public QObject {
  Q_OBJECT

 public:
  explicit PanelMouseHook(QObject* parent = nullptr);
  // What a right-button release on the frame does (the window's pop-up menu by default).
  std::function<void(frmHost*)> popup;

  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  bool inside = false;
};
