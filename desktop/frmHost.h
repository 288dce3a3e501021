#pragma once
// frmHost: a panel window. It holds hosted controls, one per tab, shows the selected one in
// its frame and is the host (IKvHost) its controls talk to. With one control the tab strip
// is hidden. The shell-wide lists of panel windows and hosted controls live in KvShellState,
// which the main window owns.
//
// User-interface thread only.

#include <QMdiSubWindow>
#include <QPoint>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"

class QLabel;
class QMimeData;
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
  QSize last;  // the control's size when it was last shown (pixels)
  // The host this control talks to: its window, knowing which control calls, so a control
  // behind another tab sizes and names only itself.
  std::shared_ptr<IKvHost> site;
};

// Makes the control of a ProgID, or null when none is installed.
using KvControlMaker = std::function<QWidget*(const std::string& progId, QWidget* parent)>;

// What the shell keeps for its whole life, shared by the main window and its panel windows.
struct KvShellState {
  IApp* app = nullptr;
  IUtils* utils = nullptr;
  KvControlMaker make;
  // Moves control id into target (null: a new window of its own) at a point of the MDI
  // area; false when the control refused or is gone.
  std::function<bool(long id, frmHost* target, QPoint at)> move;
  bool dragging = false;  // a tab is being dragged
  bool logHeld = false;   // the engine holds its log lines while the log viewer moves
  std::vector<frmHost*> hosts;  // in creation order; the first is the log's window
  std::vector<cCtrl*> ctrls;    // every hosted control, in creation order
  long nextId = 1;
  long created = 0;  // controls made so far, for their names in the frame
};

class frmHost final : public QMdiSubWindow, public IKvHost {
  Q_OBJECT

 public:
  frmHost(KvShellState& shell, const std::string& wndName, QWidget* parent = nullptr);
  ~frmHost() override;

  const std::string& WndName() const { return wndName; }
  const std::vector<cCtrl*>& Ctrls() const { return ctrls; }
  // Appends a control and its tab; select brings the tab to the front (the first tab always
  // is). left and top (twips) move the window there.
  bool AddCtrl(const std::string& compName, const std::string& compType, bool bInternal, bool bGui, bool select = true,
               std::optional<double> left = {}, std::optional<double> top = {});
  // Removes control index unless it refuses; the window closes with its last control.
  bool DelCtrl(int index);
  // The index of the control with this name (and type, when given), ignoring case, or -1.
  int FindCtrl(const std::string& compName, const std::string& compType = "") const;
  void SelectTab(int index);
  int SelectedTab() const;
  bool TabsVisible() const;
  void Caption2(const std::string& text);
  // The window stays above the main window while on.
  void stayOnTop2(bool on);
  bool OnTop() const { return onTop; }
  void SetTabsOnTop(bool top);
  bool TabsOnTop() const { return tabsOnTop; }
  // The user may resize the window (from the selected control's style).
  bool Resizable() const { return resizable; }
  bool ToolFrame() const { return toolFrame; }
  // The pop-up menu's entries as shown now ("-" a separator).
  std::vector<std::string> PopupEntries() const;
  void showPopup();
  // Acts on the pop-up entry of that caption.
  void PopupChoose(const std::string& caption);
  // A component went: its module panels go with it.
  void ComponentUnloaded(const std::string& compName);
  // Asks every control (QueryUnload), then unloads them all; false when one refused.
  bool QueryUnloadAll(int16_t unloadMode);
  void UnloadCtrls(int16_t unloadMode);
  // Leaves the shell's list of panel windows (a closed window is gone from it at once).
  void DelForm();

  // Whether a drop of this data may land here: our own payload, from this process, naming a
  // control of another window.
  bool AcceptsDrop(const QMimeData* data, bool fromThisProcess) const;

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
  bool eventFilter(QObject* watched, QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  KvShellState& shell;
  std::string wndName;
  std::vector<cCtrl*> ctrls;
  QWidget* body;
  QTabBar* tabs;
  QStackedWidget* frame;
  bool tabsOnTop = true;
  bool resizable = true;
  bool toolFrame = false;
  bool onTop = false;
  bool sizing = false;
  cCtrl* shown = nullptr;  // the control whose tab was selected last
  bool unloading = false;
  bool loading = false;  // a control's Load is running
  std::string loadTab;   // the tab caption that Load sent, for the tab made after it
  cCtrl* loadingCtrl = nullptr;  // the control whose Load is running
  // A press on a tab arms a drag; it starts after 0.1 s and 60 twips of movement.
  int dragTab = -1;
  QPoint dragFrom;
  double dragPressedAt = 0;

  void startDrag(int index);
  friend class CCtrlSite;
  // A control's own host calls: the shown or loading one acts on the window, one behind
  // another tab only on what is kept for it.
  HRESULT sizeFor(cCtrl* c, float width, float height);
  HRESULT captionFor(cCtrl* c, std::string* val);
  HRESULT tabCaptionFor(cCtrl* c, std::string* val);

  void LoadCtrl(cCtrl* c, bool select);
  void createControl(cCtrl* c, int index);
  void tabChanged(int index);
  void applyStyle(const GuiStyle& s);
  void layoutBody();
  QSize ctrlArea() const;  // the shown control's share of the inner area (pixels)
  bool first() const;
  void logError(const std::string& text);
};
