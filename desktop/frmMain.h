#pragma once
// frmMain: the main window. It creates the engine and is the window through which the
// engine raises its events; it holds the menus, the file and run toolbars, the status strip
// (the engine's three status panels), and the panel windows in its MDI area. Start-up and
// close follow a fixed order, so the engine is set up before any window uses it and let go
// of only after every window that used it is gone.
//
// User-interface thread only.

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvDll/GlobalData.h"
#include "desktop/RunControl.h"
#include "KvCtlLib/Registry.h"
#include "desktop/Placement.h"
#include "desktop/frmHost.h"

class QAction;
class QMdiArea;
class QMenu;
class QToolBar;
class KvQtParent;
class IKvLogView;
class CDocument;
class CPrintSettings;
class frmSch;
class PanelMouseHook;

struct frmMainOptions {
  std::string lib;  // the module folder; empty: the program's folder + "/Lib"
  std::string ctl;  // the control libraries' folder; empty: the program's folder + "/Ctl"
  std::string programFolder;  // empty: the executable's folder
};

class frmMain final : public QMainWindow, public IAppEvents {
  Q_OBJECT

 public:
  explicit frmMain(const frmMainOptions& options, QWidget* parent = nullptr);
  ~frmMain() override;

  // Start-up: creates and sets up the engine, restores the window, makes the log window.
  // false when the engine gave no version (the window then stays without an engine).
  bool Load();

  IApp* App() const { return app.get(); }
  IUtils* Utils() const { return utils.get(); }
  cControl* Control() const { return control.get(); }
  QMdiArea* Mdi() const { return mdi; }
  KvShellState& Shell() { return shell; }
  // The log viewer that shows the log (the newest one), or null.
  IKvLogView* Log() const;
  KvQtParent* StatusStrip() const { return status; }
  QAction* FindAction(const QString& key) const;
  // The main window's event window and start-up record, as the engine sees them.
  KvWnd EventWindow() const { return eventWnd; }
  const intptr_t* StartupRecord() const { return record; }
  // What the close did, in order (for the shell's own checks).
  const std::vector<std::string>& CloseSteps() const { return closeSteps; }

  // Processes Qt events and engine messages while busy() holds, for at most seconds.
  void WaitWhile(const std::function<bool()>& busy, double seconds);
  // Waits, processing messages, until no run is under way and the engine is idle.
  void WaitIdle();

  // A tool window in the first panel window: its tab selected, or added (then selected when
  // select is true).
  void ShowToolWindow(const std::string& label, const std::string& progId, bool select = true);
  // The control of the tool window with that label, or null when none is open (or it failed).
  QWidget* ToolControl(const std::string& label) const;

  // A new, empty panel window of that name in the MDI area, at left and top (twips) when
  // given, else right of the newest window when that fits, else at the default place.
  frmHost* NewPanelWindow(const std::string& name, std::optional<double> left = {}, std::optional<double> top = {});
  // The about box's listing: the program and its version, the engine's versions, and each
  // module library's answer to "version" (libraries whose name a component uses are left
  // alone, so nothing of the user's is unloaded).
  // The about box's listing; *detailed, when given, gets the detailed one.
  std::string AboutText(std::string* detailed = nullptr);

  // The engine's "show" request: "comp.panel", optionally ",left,top".
  void ShowPanel(const std::string& request);
  // Every panel of every component, each in the window its ".wnd" setting names.
  void ShowAll();
  // Moves the control with that id into target, or into a new window named after it placed
  // at (pixels, in the MDI area) when target is null. The moved control is selected there.
  // false when it refused to go or is not hosted any more.
  bool MoveControl(long id, frmHost* target, QPoint at);
  // The panel window of that name (ignoring case), or null.
  frmHost* FindPanelWindow(const std::string& name) const;
  const CCtlRegistry& Controls() const { return registry; }
  // The current document: setup routines, File menu, caption, recent files.
  CDocument& Document() { return *document; }
  CPrintSettings& Print() { return *print; }
  // The schematic window, made (hidden) when there is none.
  frmSch* Schematic();
  // The panel placement lines of a setup file: per panel window in creation order, per
  // module panel in tab order, its ".wnd" line and its "show(" line (twips), each CR LF ended.
  std::string PlacementBlock() const;
  PanelMouseHook* MouseHook() const { return mouseHook; }

  // The engine's events.
  void ValueChanged(const std::string& compName, const std::string& varName) override;
  void BeforeAcq(long) override {}
  void AfterAcq(long) override {}
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override {}

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  frmMainOptions options;
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  long appCookie = 0;
  CCtlRegistry registry;  // before the shell's windows, which hold controls it made
  KvShellState shell;
  std::unique_ptr<cControl> control;
  QMdiArea* mdi = nullptr;
  KvQtParent* status = nullptr;
  QToolBar* fileBar = nullptr;
  QToolBar* runBar = nullptr;
  RunToolbar runBarWidgets;
  KvWnd eventWnd = 0;
  KvWnd clientWnd = 0;
  intptr_t record[kStartEntries] = {};
  std::u16string appName, appFolder;
  bool hasController = false;
  PanelMouseHook* mouseHook = nullptr;
  bool closing = false;
  std::unique_ptr<CDocument> document;
  std::unique_ptr<CPrintSettings> print;
  frmSch* sch = nullptr;
  CWindowPlacement placement;
  std::vector<std::string> closeSteps;

  void buildMenus();
  void buildToolbars();
  void restorePlacement();
  void savePlacement();
  bool queryClose();
  bool engineBusy() const;
  bool hasComponent(const std::string& name) const;  // ignoring case
  void showPanel(const std::string& request, bool listed);  // listed: the engine has the component
  void unloadForms();
  void removeMouseHook();
  void releaseEngine();
  frmHost* firstPanelWindow();
  void tile(bool horizontal);
  QWidget* makeControl(const std::string& progId, QWidget* parent);
};
