#include "desktop/frmHost.h"

#include <strings.h>

#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/Twips.h"

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

frmHost::frmHost(KvShellState& s, const std::string& name, QWidget* parent)
    : QMdiSubWindow(parent), shell(s), wndName(name), body(new QWidget(this)), tabs(new QTabBar(body)),
      frame(new QStackedWidget(body)) {
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tabs);
  layout->addWidget(frame, 1);
  tabs->setExpanding(false);
  setWidget(body);
  setWindowTitle(QString::fromStdString(name));
  connect(tabs, &QTabBar::currentChanged, frame, &QStackedWidget::setCurrentIndex);
  shell.hosts.push_back(this);
}

frmHost::~frmHost() {
  UnloadCtrls(1);
  shell.hosts.erase(std::remove(shell.hosts.begin(), shell.hosts.end(), this), shell.hosts.end());
}

// ---------------------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------------------

bool frmHost::AddCtrl(const std::string& compName, const std::string& compType, bool bInternal, bool bGui,
                      bool select) {
  auto* c = new cCtrl;
  c->id = shell.nextId++;
  c->host = this;
  c->compName = compName;
  c->compType = compType;
  c->bInternal = bInternal;
  c->bGui = bGui;
  shell.ctrls.push_back(c);
  ctrls.push_back(c);
  LoadCtrl(c, select);
  return c->ctrl != nullptr;
}

void frmHost::LoadCtrl(cCtrl* c, bool select) {
  QWidget* w = shell.make ? shell.make(c->compType, frame) : nullptr;
  QString tab = QString::fromStdString(c->compName);
  if (w) {
    c->ctrl = w;
    c->iGui = dynamic_cast<IKvGui*>(w);
    if (c->iGui) {
      IApp* app = shell.app;
      IKvHost* self = this;
      std::string label = c->compName;
      c->iGui->Load(&app, &self, &label);
      std::string caption;
      if (c->iGui->get_TabCaption(&caption) == S_OK && !caption.empty()) tab = QString::fromStdString(caption);
    }
  } else {
    // The tab stays, so the user sees what is missing where it was asked for.
    w = new QLabel(QString::fromStdString("ERROR -  " + c->compType + " not installed."), frame);
    w->setObjectName("errorLabel");
  }
  frame->addWidget(w);
  const int index = tabs->addTab(tab);
  if (select || tabs->count() == 1) {
    tabs->setCurrentIndex(index);
    frame->setCurrentIndex(index);
  }
}

int frmHost::FindCtrl(const std::string& compName, const std::string& compType) const {
  for (size_t i = 0; i < ctrls.size(); ++i) {
    if (strcasecmp(ctrls[i]->compName.c_str(), compName.c_str()) != 0) continue;
    if (!compType.empty() && strcasecmp(ctrls[i]->compType.c_str(), compType.c_str()) != 0) continue;
    return static_cast<int>(i);
  }
  return -1;
}

void frmHost::SelectTab(int index) {
  if (index < 0 || index >= tabs->count()) return;
  tabs->setCurrentIndex(index);
}

int frmHost::SelectedTab() const { return tabs->currentIndex(); }

void frmHost::Caption2(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

void frmHost::UnloadCtrls(int16_t unloadMode) {
  for (cCtrl* c : ctrls) {
    if (c->iGui) {
      int16_t mode = unloadMode;
      long cancel = 0;
      c->iGui->QueryUnload(&mode, &cancel);
      c->iGui->Unload();
    }
    shell.ctrls.erase(std::remove(shell.ctrls.begin(), shell.ctrls.end(), c), shell.ctrls.end());
    delete c;
  }
  ctrls.clear();
}

// ---------------------------------------------------------------------------------------
// IKvHost
// ---------------------------------------------------------------------------------------

HRESULT frmHost::Caption(std::string* val) {
  if (!val) return E_POINTER;
  Caption2(*val);
  return S_OK;
}

HRESULT frmHost::Unload() {
  close();
  return S_OK;
}

HRESULT frmHost::Size(float width, float height) {
  // The inner area fits a control of that size (twips) below the tab strip.
  const int w = KvTwipsToPixels(width), h = KvTwipsToPixels(height);
  const QMargins m = contentsMargins();
  resize(w + m.left() + m.right(), h + tabs->sizeHint().height() + m.top() + m.bottom());
  return S_OK;
}

HRESULT frmHost::TabCaption(std::string* val) {
  if (!val) return E_POINTER;
  if (tabs->currentIndex() >= 0) tabs->setTabText(tabs->currentIndex(), QString::fromStdString(*val));
  return S_OK;
}

HRESULT frmHost::MoveWnd(float left, float top) {
  move(KvTwipsToPixels(left), KvTwipsToPixels(top));
  return S_OK;
}
