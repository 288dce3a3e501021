#include "desktop/frmSch.h"

#include <QCloseEvent>

#include "desktop/Dialogs.h"
#include "desktop/Schematic.h"
#include "desktop/Twips.h"
#include "desktop/frmHost.h"

namespace {
const char* const kEditor = "KvSch.KvSchCtrl.1";
}

frmSch::frmSch(KvShellState& s, QWidget* parent)
    : QMdiSubWindow(parent), shell(s), placement("Wnd\\Sch", {1000, 4000, 9000, 5000}, false) {
  setObjectName("frmSch");
  setWindowTitle("Schematic");
  // Not an error here: the window then says so when it is shown.
  if (shell.make) ctrl = shell.make(kEditor, this);
  if (!ctrl) return;
  ctrl->setObjectName("SchCtrl1");
  gui = dynamic_cast<IKvGui*>(ctrl);
  editor = dynamic_cast<IKvSchematic*>(ctrl);
  setWidget(ctrl);  // the control fills the inner area as the window resizes
  ctrl->setVisible(true);
  if (gui) {
    IApp* app = shell.app;
    IKvHost* host = this;
    std::string label = "abc";
    gui->Load(&app, &host, &label);
    // The engine stays the shell's: a control cannot hand it another one.
  }
}

frmSch::~frmSch() { unloadControl(); }

bool frmSch::Load() {
  if (!ctrl) {
    hide();
    CDialogs::Get().MsgBox("Schematic Editor coming soon ...", DlgButtons::ok, DlgIcon::critical, "Kelvane");
    close();
    return false;
  }
  // Placed once it is in the MDI area (which places a new window itself on its first show).
  if (!placed) placement.Restore(shell.utils, this);
  placed = true;
  show();
  raise();
  return true;
}

long frmSch::SaveState(std::string* state) { return editor ? editor->SaveState(state) : 0; }
long frmSch::LoadState(const std::string& state) { return editor ? editor->LoadState(state) : 0; }
long frmSch::ClearState() { return editor ? editor->ClearState() : 0; }
std::vector<std::string> frmSch::Components() const { return editor ? editor->Components() : std::vector<std::string>(); }

void frmSch::UnloadFrm() {
  ClearState();
  close();
}

void frmSch::closeEvent(QCloseEvent* e) {
  unloadControl();
  QMdiSubWindow::closeEvent(e);
}

void frmSch::unloadControl() {
  if (unloaded || !ctrl) return;
  unloaded = true;
  if (gui) gui->Unload();
  if (placed && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) placement.Save(shell.utils, this);
  setWidget(nullptr);
  delete ctrl;
  ctrl = nullptr;
  gui = nullptr;
  editor = nullptr;
}

HRESULT frmSch::Caption(std::string* val) {
  if (val) setWindowTitle(QString::fromStdString(*val));
  return S_OK;
}
HRESULT frmSch::Unload() {
  close();
  return S_OK;
}
HRESULT frmSch::Size(float width, float height) {
  resize(KvTwipsToPixels(width), KvTwipsToPixels(height));
  return S_OK;
}
HRESULT frmSch::TabCaption(std::string*) { return S_OK; }
HRESULT frmSch::MoveWnd(float left, float top) {
  move(KvTwipsToPixels(left), KvTwipsToPixels(top));
  return S_OK;
}
