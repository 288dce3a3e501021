#include "desktop/frmMain.h"

#include <strings.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <cmath>

#include "KvDll/DynLib.h"
#include "desktop/Dialogs.h"
#include "desktop/Document.h"
#include "desktop/Guard.h"
#include "desktop/LogView.h"
#include "desktop/MouseHook.h"
#include "desktop/PrintSettings.h"
#include "desktop/QtWnd.h"
#include "desktop/RunControl.h"
#include "desktop/ShowRequest.h"
#include "desktop/Twips.h"
#include "desktop/frmSch.h"

namespace {

const char* const kTitle = "Kelvane";
const char* const kVersion = "0.1.0";
const char* const kHelpUrl = "https://kelvane.org/help";
const char* const kLogViewer = "KvPlugins.LogViewer";

// Fixed error-report locations of the handlers here.
constexpr long kLocLoad = 100110, kLocClose = 100120, kLocUnload = 100130, kLocMenu = 100140,
               kLocValueChanged = 100150, kLocResize = 100160;

// The tool windows restored at start-up: settings key, label, ProgID.
struct ToolWindow {
  const char* key;
  const char* label;
  const char* progId;
};
constexpr ToolWindow kToolWindows[] = {
    {"Wnd\\CodeEditor", "Code", "KvPlugins.CodeEditor"},   {"Wnd\\CmdConsole", "Console", "KvPlugins.CmdConsole"},
    {"Wnd\\ModViewer", "Modules", "KvPlugins.ModViewer"},  {"Wnd\\ConnEditor", "ConnEd", "KvPlugins.ConnEditor"},
    {"Wnd\\ConnViewer", "ConnLst", "KvPlugins.ConnViewer"}, {"Wnd\\History", "History", "KvPlugins.CmdHistory"},
};

double seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::u16string u16(const std::string& s) { return QString::fromStdString(s).toStdU16String(); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

frmMain::frmMain(const frmMainOptions& o, QWidget* parent)
    : QMainWindow(parent), options(o), placement("Wnd\\Main", {1000, 1000, 6500, 6500}, true) {
  setObjectName("frmMain");
  document = std::make_unique<CDocument>(*this);
  mdi = new QMdiArea(this);
  mdi->setObjectName("mdi");
  setCentralWidget(mdi);
  status = new KvQtParent(this);
  status->setObjectName("statusStrip");
  status->setMinimumHeight(20);
  statusBar()->addWidget(status, 1);
  statusBar()->setSizeGripEnabled(false);
  buildMenus();
  buildToolbars();
  eventWnd = CreateWindow(nullptr, this);
  clientWnd = CreateWindow(nullptr, this);
  shell.make = [this](const std::string& progId, QWidget* p) { return makeControl(progId, p); };
  shell.move = [this](long id, frmHost* target, QPoint at) { return MoveControl(id, target, at); };
  // The empty area takes a dropped tab as a window of its own.
  mdi->viewport()->setAcceptDrops(true);
  mdi->viewport()->installEventFilter(this);
  CDialogs::Get().SetParent(this);
}

frmMain::~frmMain() {
  removeMouseHook();
  if (app) {
    unloadForms();
    releaseEngine();
  }
  CDialogs::Get().SetParent(nullptr);
  DestroyWindow(clientWnd);
  DestroyWindow(eventWnd);
}

// ---------------------------------------------------------------------------------------
// Menus and toolbars
// ---------------------------------------------------------------------------------------

QAction* frmMain::FindAction(const QString& key) const { return findChild<QAction*>(key); }

void frmMain::buildMenus() {
  auto add = [this](QMenu* menu, const char* caption, const char* key, std::function<void()> fn) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(key);
    connect(a, &QAction::triggered, this, [this, fn] { KvGuarded(utils.get(), kLocMenu, fn); });
    return a;
  };
  auto nothing = [] {};

  QMenu* file = menuBar()->addMenu("&File");
  add(file, "&New", "mnuNew", [this] { document->New(); });
  add(file, "&Open...", "mnuOpen", [this] { document->Open(); });
  add(file, "&Close", "mnuClose", [this] { document->Close(); });
  add(file, "&Save", "mnuSave", [this] { document->Save(); });
  add(file, "Save &As...", "mnuSaveAs", [this] { document->SaveAs(); });
  file->addSeparator();
  add(file, "Page Set&up...", "mnuPageSetup", [this] { print->PageSetup(this); });
  add(file, "Print Pre&view", "mnuPrintPreview", nothing);
  add(file, "&Print...", "mnuPrint", [this] { print->PrintDialog(this); });
  // The recent files, under a separator shown with them.
  file->addSeparator()->setObjectName("mnuRecentBar");
  for (int i = 0; i < 4; ++i)
    add(file, "", ("mnuRecent" + std::to_string(i)).c_str(), [this, i] { document->OpenRecent(i); })->setVisible(false);
  FindAction("mnuRecentBar")->setVisible(false);
  file->addSeparator();
  add(file, "E&xit", "mnuExit", [this] { close(); });

  QMenu* view = menuBar()->addMenu("&View");
  const struct {
    const char* caption;
    const char* key;
    const char* label;
    const char* progId;
  } tools[] = {
      {"Co&de Editor", "mnuCodeEditor", "Code", "KvPlugins.CodeEditor"},
      {"&Command Console", "mnuCmdConsole", "Console", "KvPlugins.CmdConsole"},
      {"Command &History", "mnuHistory", "History", "KvPlugins.CmdHistory"},
      {"Co&nnection Editor", "mnuConnEditor", "ConnEd", "KvPlugins.ConnEditor"},
      {"Connection &List", "mnuConnViewer", "ConnLst", "KvPlugins.ConnViewer"},
      {"&Log", "mnuLog", "Log", kLogViewer},
      {"&Module List", "mnuModViewer", "Modules", "KvPlugins.ModViewer"},
  };
  for (const auto& t : tools) {
    const std::string label = t.label, progId = t.progId;
    add(view, t.caption, t.key, [this, label, progId] { ShowToolWindow(label, progId); });
  }
  add(view, "&Schematic Editor", "mnuSchematic", [this] { Schematic()->Load(); });
  add(view, "&User Control", "mnuUserControl", [this] {
    std::string name, label;
    std::string defName, defLabel;
    utils->GetSetting("Misc", "UserControlName", "DemoCtl.UserControl1", &defName);
    utils->GetSetting("Misc", "UserControlLabel", "myctl", &defLabel);
    CDialogs& d = CDialogs::Get();
    if (!d.InputBox("Enter the full control name. For example: DemoCtl.UserControl1", kTitle, defName, &name)) return;
    if (!d.InputBox("Enter the label for this control. For example: myctl", kTitle, defLabel, &label)) return;
    if (name.empty() || label.empty()) return;
    ShowToolWindow(label, name);
    utils->SaveSetting("Misc", "UserControlName", name);
    utils->SaveSetting("Misc", "UserControlLabel", label);
  });
  view->addSeparator();
  QAction* toolbar = add(view, "&Toolbar", "mnuToolbar", nothing);
  toolbar->setCheckable(true);
  toolbar->setChecked(true);
  connect(toolbar, &QAction::toggled, this, [this](bool on) {
    if (fileBar) fileBar->setVisible(on);
    if (runBar) runBar->setVisible(on);
  });
  QAction* statusBarEntry = add(view, "Status &Bar", "mnuStatusBar", nothing);
  statusBarEntry->setCheckable(true);
  statusBarEntry->setChecked(true);
  connect(statusBarEntry, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  view->addSeparator();
  add(view, "&Options...", "mnuOptions", nothing);

  QMenu* tools2 = menuBar()->addMenu("&Tools");
  add(tools2, "&Run", "mnuRun", [this] {
    if (control) control->Run();
  });
  add(tools2, "&Stop", "mnuStop", [this] {
    if (control) control->halt(false);
  });
  add(tools2, "&Abort", "mnuAbort", [this] {
    if (control) control->halt(true);
  });

  QMenu* window = menuBar()->addMenu("&Window");
  add(window, "&Cascade", "mnuCascade", [this] { mdi->cascadeSubWindows(); });
  add(window, "Tile &Horizontal", "mnuTileHorizontal", [this] { tile(true); });
  add(window, "Tile &Vertical", "mnuTileVertical", [this] { tile(false); });
  add(window, "&Arrange Icons", "mnuArrange", [this] { mdi->tileSubWindows(); });

  QMenu* help = menuBar()->addMenu("&Help");
  add(help, "&Contents", "mnuContents", [] { QDesktopServices::openUrl(QUrl(kHelpUrl)); });
  add(help, "&Search For Help On...", "mnuSearch", [] {
    CDialogs::Get().MsgBox("Unable to display Help Contents. There is no Help associated with this project.",
                           DlgButtons::ok, DlgIcon::information, kTitle);
  });
  add(help, "&About ", "mnuAbout", [this] {
    std::string detailed;
    const std::string brief = AboutText(&detailed);
    CDialogs::Get().MsgBox(std::string(kTitle) + "\nVersion " + kVersion + "\n\n" + brief, DlgButtons::ok,
                           DlgIcon::information, std::string("About ") + kTitle, 0, detailed);
  });
}

void frmMain::buildToolbars() {
  fileBar = addToolBar("File");
  fileBar->setObjectName("fileBar");
  const struct {
    const char* key;
    const char* menu;
  } files[] = {{"New", "mnuNew"}, {"Open", "mnuOpen"}, {"Save", "mnuSave"}, {"Print", "mnuPrint"}};
  for (const auto& f : files) {
    QAction* a = fileBar->addAction(f.key);
    a->setObjectName(f.key);
    a->setToolTip(f.key);
    QAction* entry = FindAction(f.menu);
    connect(a, &QAction::triggered, entry, &QAction::trigger);
  }

  runBar = addToolBar("Run");
  runBar->setObjectName("runBar");
  RunToolbar bar;
  bar.run = runBar->addAction("Run");
  bar.run->setObjectName("Run");
  bar.run->setToolTip("Starts Running");
  bar.stop = runBar->addAction("Stop");
  bar.stop->setObjectName("Stop");
  bar.stop->setToolTip("Stops after current cycle");
  bar.abort = runBar->addAction("Abort");
  bar.abort->setObjectName("Abort");
  bar.abort->setToolTip("Aborts current cycle");
  bar.mode = new QComboBox(runBar);
  bar.mode->setObjectName("cmbMode");
  bar.mode->setToolTip("Select Acquisition Mode");
  runBar->addWidget(bar.mode);
  bar.caption = new QLabel(runBar);
  bar.caption->setObjectName("lblCaption");
  bar.caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar.captionAction = runBar->addWidget(bar.caption);
  bar.count = new QLineEdit(runBar);
  bar.count->setObjectName("txtCount");
  bar.count->setToolTip("Enter maximum count/time");
  bar.count->setFixedWidth(KvTwipsToPixels(900));
  bar.countAction = runBar->addWidget(bar.count);
  // The control binds to these once the engine is there; until then nothing runs.
  bar.run->setEnabled(false);
  bar.stop->setEnabled(false);
  bar.abort->setEnabled(false);
  runBarWidgets = bar;
}

// ---------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------

bool frmMain::Load() {
  bool ready = false;
  KvGuarded(utils.get(), kLocLoad, [&] {
    KvPtr<IApp> made;
    if (KvCreateObject("KvCore.App", made.put()) != S_OK || !made) return;
    made->get_Utils(utils.put());
    made->Advise(this, &appCookie);
    document->Bind(made.get(), utils.get());
    print = std::make_unique<CPrintSettings>(utils.get());

    std::string version;
    utils->get_Version(&version);
    if (version.empty()) {
      app = made;  // kept, so the close lets go of it in order
      return;
    }
    app = made;
    shell.app = app.get();
    shell.utils = utils.get();

    const std::string folder = options.programFolder.empty() ? KvProgramFolder() : options.programFolder;
    appName = u16(kTitle);
    appFolder = u16(folder);
    record[kStartMainWnd] = eventWnd;
    record[kStartAppName] = reinterpret_cast<intptr_t>(appName.c_str());
    record[kStartStatusWnd] = status->wnd();
    record[kStartThread] = static_cast<intptr_t>(gettid());
    record[kStartAppPath] = reinterpret_cast<intptr_t>(appFolder.c_str());
    app->Init(reinterpret_cast<intptr_t>(record));

    restorePlacement();
    setWindowTitle(kTitle);
    show();
    document->RefreshRecent();

    const std::string ctl = options.ctl.empty() ? folder + "/Ctl" : options.ctl;
    registry.LoadFolder(ctl, [this](const std::string& m) { utils->AddLog(m, sevSysErr); });

    // The log is always the first panel window; the tool windows join it as tabs.
    ShowToolWindow("Log", kLogViewer);
    for (const ToolWindow& t : kToolWindows) {
      std::string load;
      utils->GetSetting(t.key, "Load", "0", &load);
      double v = 0;
      utils->Str2Num(load, &v);
      if (v != 0 && v != 10) ShowToolWindow(t.label, t.progId, false);
    }

    // Now with the panel windows' parent and, once the log view registered, the log's.
    record[kStartClientWnd] = clientWnd;
    app->Init(reinterpret_cast<intptr_t>(record));
    hasController = record[kStartLogWnd] != 0;
    // Each Init sets the library path from the program's folder; a chosen one goes after.
    if (!options.lib.empty()) utils->put_LibraryPath(options.lib);

    utils->put_StatusBar("Loading workspace");
    utils->AddLog(std::string("Help for ") + kTitle + ": " + kHelpUrl, sevSys);
    if (chdir(folder.c_str()) != 0) utils->AddLog("Cannot change to the program folder " + folder, sevWarn);
    utils->put_StatusBar("");
    mouseHook = new PanelMouseHook(this);
    qApp->installEventFilter(mouseHook);
    control = std::make_unique<cControl>(app.get(), utils.get(), runBarWidgets, hasController);
    ready = true;
  });
  return ready;
}

void frmMain::restorePlacement() {
  placement.Restore(utils.get(), this);
  std::string state;
  utils->GetSetting("Wnd\\Main", "State", "2", &state);
  double v = 2;
  utils->Str2Num(state, &v);
  switch (static_cast<int>(v)) {
    case 1: setWindowState(Qt::WindowMinimized); break;
    case 2: setWindowState(Qt::WindowMaximized); break;
    default: setWindowState(Qt::WindowNoState); break;
  }
}

void frmMain::savePlacement() {
  const Qt::WindowStates s = windowState();
  if (s & Qt::WindowMinimized) return;
  const bool maximised = (s & Qt::WindowMaximized) != 0;
  utils->SaveSetting("Wnd\\Main", "State", maximised ? "2" : "0");
  // A maximised window keeps the last normal placement.
  if (maximised || (s & Qt::WindowFullScreen)) return;
  placement.Save(utils.get(), this);
}

// ---------------------------------------------------------------------------------------
// Tool windows and panel windows
// ---------------------------------------------------------------------------------------

QWidget* frmMain::makeControl(const std::string& progId, QWidget* parent) {
  if (QWidget* w = registry.Create(progId, parent)) return w;
  // Until a control library offers the log viewer, the shell shows the log itself.
  if (strcasecmp(progId.c_str(), kLogViewer) == 0) return new LogView(parent);
  return nullptr;
}

bool frmMain::MoveControl(long id, frmHost* target, QPoint at) {
  cCtrl* c = nullptr;
  for (cCtrl* x : shell.ctrls)
    if (x->id == id) c = x;
  if (!c || c->host == target) return false;
  frmHost* source = c->host;
  const cCtrl moved = *c;
  const auto& list = source->Ctrls();
  const int index = static_cast<int>(std::find(list.begin(), list.end(), c) - list.begin());
  if (!source->DelCtrl(index)) return false;
  if (!target) target = NewPanelWindow(moved.compName, KvPixelsToTwips(at.x()), KvPixelsToTwips(at.y()));
  target->show();
  target->AddCtrl(moved.compName, moved.compType, moved.bInternal, moved.bGui, true);
  return true;
}

bool frmMain::eventFilter(QObject* watched, QEvent* e) {
  if (watched != mdi->viewport()) return QMainWindow::eventFilter(watched, e);
  const QEvent::Type t = e->type();
  if (t != QEvent::DragEnter && t != QEvent::DragMove && t != QEvent::Drop) return QMainWindow::eventFilter(watched, e);
  auto* d = static_cast<QDropEvent*>(e);
  long id = -1;
  if (d->source() && d->mimeData()->hasFormat(kDragMime)) id = ParseDragPayload(d->mimeData()->data(kDragMime).toStdString());
  const bool hosted = std::any_of(shell.ctrls.begin(), shell.ctrls.end(), [id](const cCtrl* c) { return c->id == id; });
  if (!hosted) {
    e->ignore();
    return true;
  }
  d->acceptProposedAction();
  if (t == QEvent::Drop) MoveControl(id, nullptr, d->position().toPoint());
  return true;
}

frmHost* frmMain::FindPanelWindow(const std::string& name) const {
  for (frmHost* h : shell.hosts)
    if (strcasecmp(h->WndName().c_str(), name.c_str()) == 0) return h;
  return nullptr;
}

void frmMain::ShowPanel(const std::string& text) { showPanel(text, false); }

void frmMain::showPanel(const std::string& text, bool listed) {
  if (!app) {
    std::fprintf(stderr, "kelvane: no engine: cannot show %s\n", text.c_str());
    return;
  }
  const ShowRequest r = ParseShowRequest(text);
  if (r.comp.empty()) return;
  // A panel of no component would stay behind as an error tab that nothing removes, and
  // would stand in the way of the real panel once the component comes.
  if (!listed && !hasComponent(r.comp)) {
    utils->AddLog("Cannot show " + r.comp + "." + r.panel + ": no component " + r.comp, sevErr);
    return;
  }
  // Shown already: its window comes up with its tab in front.
  for (frmHost* h : shell.hosts) {
    const int at = h->FindCtrl(r.comp, r.panel);
    if (at < 0 || h->Ctrls()[static_cast<size_t>(at)]->bInternal) continue;
    h->show();
    if (h->Ctrls().size() > 1) h->SelectTab(at);
    return;
  }
  std::string name;
  app->get_str(r.comp, r.panel + ".wnd", &name);
  // A panel that names no window gets its component's.
  if (name.empty()) name = r.comp;
  if (frmHost* h = FindPanelWindow(name)) {
    h->show();
    h->AddCtrl(r.comp, r.panel, false, true, true);
    return;
  }
  NewPanelWindow(name, r.left, r.top)->AddCtrl(r.comp, r.panel, false, true, true, r.left, r.top);
}

bool frmMain::hasComponent(const std::string& name) const {
  long count = 0;
  app->get_CompCount(&count);
  for (long i = 0; i < count; ++i) {
    std::string label;
    app->get_CompLabel(i, &label);
    if (strcasecmp(label.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

void frmMain::ShowAll() {
  if (!app) {
    std::fprintf(stderr, "kelvane: no engine: cannot show the panels\n");
    return;
  }
  long count = 0;
  app->get_CompCount(&count);
  for (long i = 0; i < count; ++i) {
    std::string label, names;
    app->get_CompLabel(i, &label);
    if (app->get_str(label, "gui.names", &names) != S_OK) continue;
    size_t at = 0;
    while (at <= names.size()) {
      size_t end = names.find(',', at);
      if (end == std::string::npos) end = names.size();
      std::string panel = names.substr(at, end - at);
      panel.erase(0, panel.find_first_not_of(" \t"));
      panel.erase(panel.find_last_not_of(" \t") + 1);
      at = end + 1;
      if (panel.empty()) continue;
      // The engine has just listed the component: asking again would work out the run
      // order once more for every panel.
      showPanel(label + "." + panel, true);
    }
  }
}

IKvLogView* frmMain::Log() const {
  // The one the log is in, whichever library made it; else the newest.
  IKvLogView* newest = nullptr;
  for (auto c = shell.ctrls.rbegin(); c != shell.ctrls.rend(); ++c)
    if (auto* v = dynamic_cast<IKvLogView*>((*c)->ctrl)) {
      if (v->ShowsLog()) return v;
      if (!newest) newest = v;
    }
  return newest;
}

frmHost* frmMain::NewPanelWindow(const std::string& name, std::optional<double> left, std::optional<double> top) {
  frmHost* previous = shell.hosts.empty() ? nullptr : shell.hosts.back();
  auto* host = new frmHost(shell, name);
  host->setAttribute(Qt::WA_DeleteOnClose);
  mdi->addSubWindow(host);
  host->resize(KvTwipsToPixels(6000), KvTwipsToPixels(3000));
  if (left || top) {
    host->move(KvTwipsToPixels(left.value_or(0)), KvTwipsToPixels(top.value_or(0)));
  } else if (previous && previous->x() + previous->width() <= 0.8 * mdi->width()) {
    host->move(previous->x() + previous->width(), previous->y());
  } else {
    host->move(0, 0);
  }
  host->show();
  return host;
}

frmSch* frmMain::Schematic() {
  if (sch && sch->Closed()) {
    delete sch;
    sch = nullptr;
  }
  if (!sch) {
    sch = new frmSch(shell);
    mdi->addSubWindow(sch);
    sch->hide();  // shown by its Load
  }
  return sch;
}

std::string frmMain::PlacementBlock() const {
  std::string block;
  for (const frmHost* h : shell.hosts)
    for (const cCtrl* c : h->Ctrls()) {
      if (c->bInternal) continue;
      const std::string panel = c->compName + "." + c->compType;
      block += panel + ".wnd=\"" + h->WndName() + "\"\r\n";
      block += "show(" + panel + "," + std::to_string(std::lround(KvPixelsToTwips(h->x()))) + "," +
               std::to_string(std::lround(KvPixelsToTwips(h->y()))) + ")\r\n";
    }
  return block;
}

frmHost* frmMain::firstPanelWindow() { return shell.hosts.empty() ? nullptr : shell.hosts.front(); }

QWidget* frmMain::ToolControl(const std::string& label) const {
  for (const cCtrl* c : shell.ctrls)
    if (c->bInternal && c->compName == label) return c->ctrl;
  return nullptr;
}

void frmMain::ShowToolWindow(const std::string& label, const std::string& progIdIn, bool select) {
  std::string progId = progIdIn;
  if (progId.find('.') == std::string::npos) progId = std::string(kTitle) + "." + progId;
  frmHost* first = firstPanelWindow();
  if (!first) {
    first = NewPanelWindow(label);
    first->AddCtrl(label, progId, true, false, true);
    return;
  }
  first->show();
  const int at = first->FindCtrl(label);
  if (at >= 0) {
    first->SelectTab(at);
    return;
  }
  first->AddCtrl(label, progId, true, false, select);
}

void frmMain::tile(bool horizontal) {
  const QList<QMdiSubWindow*> windows = mdi->subWindowList();
  QList<QMdiSubWindow*> shown;
  for (QMdiSubWindow* w : windows)
    if (w->isVisible() && !w->isMinimized()) shown.push_back(w);
  if (shown.isEmpty()) return;
  const QRect area = mdi->viewport()->rect();
  const int n = static_cast<int>(shown.size());
  for (int i = 0; i < n; ++i) {
    shown[i]->showNormal();
    if (horizontal) {
      // One above the other, each the whole width.
      const int h = area.height() / n;
      shown[i]->setGeometry(0, i * h, area.width(), h);
    } else {
      // Side by side, each the whole height.
      const int w = area.width() / n;
      shown[i]->setGeometry(i * w, 0, w, area.height());
    }
  }
}

std::string frmMain::AboutText(std::string* detailed) {
  std::string text = std::string(kTitle) + " " + kVersion;
  if (detailed) *detailed = text;
  if (!app) return text;
  std::string version, folder;
  utils->get_Version(&version);
  text += "\r\n" + version;
  if (detailed) *detailed += "\r\n" + version;
  utils->get_LibraryPath(&folder);
  QDir dir(QString::fromStdString(folder));
  const QStringList files = dir.entryList({"*.bin"}, QDir::Files, QDir::Name);
  long count = 0;
  app->get_CompCount(&count);
  // One line per library in both listings; the detailed one lines the names up in a column
  // and adds the library's debug setting.
  auto line = [&](const std::string& name, const std::string& debug, const std::string& what) {
    text += "\r\n" + name + " " + what;
    if (!detailed) return;
    std::string padded = name;
    if (padded.size() < 15) padded.resize(15, ' ');
    *detailed += "\r\n" + padded + "\t" + debug + " " + what;
  };
  for (const QString& file : files) {
    const std::string name = file.left(file.size() - 4).toStdString();
    bool inUse = false;
    for (long i = 0; i < count && !inUse; ++i) {
      std::string label;
      app->get_CompLabel(i, &label);
      inUse = strcasecmp(label.c_str(), name.c_str()) == 0;
    }
    if (inUse) {
      line(name, "", "(in use)");
      continue;
    }
    std::string answer;
    long r = -1;
    app->Execute("load " + name + "=" + name, &answer, &r);
    if (r != 0) {
      line(name, "", answer);
      continue;
    }
    std::string debug;
    if (detailed) app->get_str(name, "debug", &debug);
    app->Execute(name + ".version", &answer, &r);
    line(name, debug, answer);
    app->Execute("Unload " + name, &answer, &r);
  }
  return text;
}

// ---------------------------------------------------------------------------------------
// Engine events and resizing
// ---------------------------------------------------------------------------------------

void frmMain::ValueChanged(const std::string& compName, const std::string& varName) {
  KvGuarded(utils.get(), kLocValueChanged, [&] {
    // A component may itself be called "show" or "showall": its unload is taken first (no
    // panel is named "unloaded"), and only the request comes without a value name.
    if (varName == "unloaded") {
      // Copied: a window that loses its last panel leaves the list.
      const std::vector<frmHost*> hosts = shell.hosts;
      for (frmHost* h : hosts) h->ComponentUnloaded(compName);
      return;
    }
    if (compName == "show") return ShowPanel(varName);
    if (compName == "showall" && varName.empty()) return ShowAll();
  });
}

void frmMain::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (!utils) return;
  KvGuarded(utils.get(), kLocResize, [&] {
    utils->put_guiWidth(static_cast<float>(KvPixelsToTwips(mdi->width())));
    utils->put_guiHeight(static_cast<float>(KvPixelsToTwips(mdi->height())));
  });
}

// ---------------------------------------------------------------------------------------
// Waiting
// ---------------------------------------------------------------------------------------

void frmMain::WaitWhile(const std::function<bool()>& busy, double limit) {
  const double start = seconds();
  while (busy() && seconds() - start < limit) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    PumpMessages();
    WaitMessage(2);
  }
}

bool frmMain::engineBusy() const {
  bool b = false;
  if (app) app->get_isBusy(&b);
  return b;
}

void frmMain::WaitIdle() {
  WaitWhile([this] { return engineBusy() || (control && control->Running()); }, 1e9);
  QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------------------
// Close
// ---------------------------------------------------------------------------------------

bool frmMain::queryClose() {
  if (!engineBusy()) return true;
  const int answer = CDialogs::Get().MsgBox(
      "The application is currently busy\nPress Yes to immediately close the application\n"
      "Press No to first stop the current process\nPress Cancel if you don't want to close the application",
      DlgButtons::yesNoCancel, DlgIcon::question, kTitle);
  if (answer == dlgCancel) return false;
  if (answer == dlgYes) {
    long r = 0;
    app->kill(1000, &r);
    closeSteps.push_back("kill(1000)");
    return true;
  }
  app->put_bAbort(true);
  closeSteps.push_back("abort");
  WaitWhile([this] { return engineBusy(); }, 2.0);
  return true;
}

void frmMain::closeEvent(QCloseEvent* e) {
  if (closing) return e->accept();
  if (!app || !utils) return e->accept();
  bool go = true;
  KvGuarded(utils.get(), kLocClose, [&] { go = queryClose(); });
  if (!go) {
    closeSteps.push_back("cancelled");
    return e->ignore();
  }
  closing = true;
  KvGuarded(utils.get(), kLocUnload, [&] {
    WaitWhile([this] { return engineBusy(); }, 1.1);
    savePlacement();
    closeSteps.push_back("placement");
  });
  removeMouseHook();
  unloadForms();
  releaseEngine();
  e->accept();
}

void frmMain::removeMouseHook() {
  if (!mouseHook) return;
  qApp->removeEventFilter(mouseHook);
  delete mouseHook;
  mouseHook = nullptr;
}

void frmMain::unloadForms() {
  control.reset();
  // The schematic first: its drawing's components are the engine's until the engine goes.
  if (sch) {
    sch->close();
    delete sch;
    sch = nullptr;
  }
  // Each panel window unloads its controls as it goes.
  while (!shell.hosts.empty()) {
    frmHost* h = shell.hosts.back();
    // Asked only to be told (the close is decided): a tool window remembers that the program
    // closed it, so the next start opens it again.
    h->QueryUnloadAll(4);
    h->UnloadCtrls(4);
    delete h;
  }
  closeSteps.push_back("forms");
}

void frmMain::releaseEngine() {
  if (!app) return;
  long r = 0;
  app->Unadvise(appCookie);
  app->UnloadNetlist(&r);
  closeSteps.push_back("UnloadNetlist");
  app->kill(1000, &r);
  closeSteps.push_back("kill");
  app->Init(0);
  closeSteps.push_back("Init(0)");
  document->Unbind();
  shell.app = nullptr;
  shell.utils = nullptr;
  utils.reset();
  closeSteps.push_back("Utils released");
  app.reset();
  closeSteps.push_back("App released");
}
