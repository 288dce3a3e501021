#pragma once
// frmHost: a panel window. It holds hosted controls, one per tab, shows the selected one in
// its frame and is the host (IKvHost) its controls talk to. The shell-wide lists of panel
// windows and hosted controls live in KvShellState, which the main window owns.
//
// User-interface thread only.

#include <QMdiSubWindow>
#include <functional>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"

class QLabel;
class QStackedWidget;
class QTabBar;
class frmHost;

// One hosted control.
struct cCtrl {
  long id = 0;
  frmHost* host = nullptr;
  std::string compName;  // the component for a module panel, the label for a tool window
  std::string compType;  // the panel name for a module panel, the ProgID for a tool window
  bool bInternal = false;
  bool bGui = false;
  QWidget* ctrl = nullptr;  // null until created (or when creation failed)
  IKvGui* iGui = nullptr;
};

// Makes the control of a ProgID, or null when none is installed.
using KvControlMaker = std::function<QWidget*(const std::string& progId, QWidget* parent)>;

// What the shell keeps for its whole life, shared by the main window and its panel windows.
struct KvShellState {
  IApp* app = nullptr;
  IUtils* utils = nullptr;
  KvControlMaker make;
  std::vector<frmHost*> hosts;  // in creation order
  std::vector<cCtrl*> ctrls;    // every hosted control, in creation order
  long nextId = 1;
};

class frmHost final : public QMdiSubWindow, public IKvHost {
  Q_OBJECT

 public:
  frmHost(KvShellState& shell, const std::string& wndName, QWidget* parent = nullptr);
  ~frmHost() override;

  const std::string& WndName() const { return wndName; }
  const std::vector<cCtrl*>& Ctrls() const { return ctrls; }
  // Appends a control and its tab; select brings the tab to the front.
  bool AddCtrl(const std::string& compName, const std::string& compType, bool bInternal, bool bGui, bool select = true);
  // The index of the control with this name (and type, when given), or -1.
  int FindCtrl(const std::string& compName, const std::string& compType = "") const;
  void SelectTab(int index);
  int SelectedTab() const;
  void Caption2(const std::string& text);
  // Closes every control (QueryUnload, then Unload) and leaves the window empty.
  void UnloadCtrls(int16_t unloadMode);

  // IKvHost
  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Caption(std::string* val) override;
  HRESULT Unload() override;
  HRESULT Size(float width, float height) override;
  HRESULT TabCaption(std::string* val) override;
  HRESULT MoveWnd(float left, float top) override;

 private:
  KvShellState& shell;
  std::string wndName;
  std::vector<cCtrl*> ctrls;
  QWidget* body;
  QTabBar* tabs;
  QStackedWidget* frame;

  void LoadCtrl(cCtrl* c, bool select);
};
