#pragma once
// frmSch: the schematic window, an MDI sub-window holding the schematic editor control
// ("SchCtrl1") when a control library offers one. It forwards the drawing's state calls to
// the control and remembers its placement under Wnd\Sch. Without an editor installed the
// state calls do nothing and showing it says so.
//
// User-interface thread only.

#include <QMdiSubWindow>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "desktop/Placement.h"

class IKvSchematic;
struct KvShellState;

class frmSch final : public QMdiSubWindow, public IKvHost {
  Q_OBJECT

 public:
  // Made hidden; the control is made and loaded at once when one is installed.
  explicit frmSch(KvShellState& shell, QWidget* parent = nullptr);
  ~frmSch() override;

  bool HasEditor() const { return editor != nullptr; }
  // The control was unloaded (the window closed): a new window is needed for a drawing.
  bool Closed() const { return unloaded; }
  QWidget* Control() const { return ctrl; }
  // Shows the window; without an editor it says the editor is coming and closes (false).
  bool Load();
  long SaveState(std::string* state);
  long LoadState(const std::string& state);
  long ClearState();
  std::vector<std::string> Components() const;
  // Clears the drawing and closes the window.
  void UnloadFrm();

  // IKvHost
  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Caption(std::string* val) override;
  HRESULT Unload() override;
  HRESULT Size(float width, float height) override;
  HRESULT TabCaption(std::string* val) override;
  HRESULT MoveWnd(float left, float top) override;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  KvShellState& shell;
  QWidget* ctrl = nullptr;
  IKvGui* gui = nullptr;
  IKvSchematic* editor = nullptr;
  CWindowPlacement placement;
  bool unloaded = false;
  bool placed = false;  // placed from the settings (at its first showing)

  void unloadControl();
};
