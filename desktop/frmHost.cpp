#include "desktop/frmHost.h"

#include <strings.h>

#include <QCloseEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <chrono>
#include <QLabel>
#include <QMdiArea>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "KvCtlLib/Popup.h"
#include "desktop/Dialogs.h"
#include "desktop/Guard.h"
#include "desktop/LogView.h"
#include "desktop/ShowRequest.h"
#include "desktop/Twips.h"

namespace {

double nowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

constexpr long kLocDrag = 300170, kLocAdd = 300110, kLocDel = 300120, kLocClose = 300130, kLocTab = 300140, kLocPopup = 300150,
               kLocUnloaded = 300160;

bool same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// The margin around the frame, in twips; with several controls, the gap on the tabs' side.
constexpr double kMargin = 30;

const char* const kTabsOnTop = "Tabs on Top";
const char* const kTabsOnBottom = "Tabs on Bottom";
const char* const kOnTop = "Stay on Top";
const char* const kClose = "Close";
const char* const kDragAway = "Drag to Another Window";

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

frmHost::frmHost(KvShellState& s, const std::string& name, QWidget* parent)
    : QMdiSubWindow(parent), shell(s), wndName(name), body(new QWidget(this)), tabs(new QTabBar(body)),
      frame(new QStackedWidget(body)) {
  setObjectName(QString::fromStdString("frmHost:" + name));
  tabs->setExpanding(false);
  tabs->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tabs, &QTabBar::customContextMenuRequested, this, [this] { showPopup(); });
  setWidget(body);
  setWindowTitle(QString::fromStdString(name));
  connect(tabs, &QTabBar::currentChanged, this, &frmHost::tabChanged);
  tabs->installEventFilter(this);
  setAcceptDrops(true);
  layoutBody();
  shell.hosts.push_back(this);
}

frmHost::~frmHost() {
  UnloadCtrls(1);
  DelForm();
}

bool frmHost::first() const { return !shell.hosts.empty() && shell.hosts.front() == this; }

void frmHost::logError(const std::string& text) {
  if (shell.utils) shell.utils->AddLog(text, sevSysErr);
}

// ---------------------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------------------

bool frmHost::AddCtrl(const std::string& compName, const std::string& compType, bool bInternal, bool bGui,
                      bool select, std::optional<double> left, std::optional<double> top) {
  bool made = false;
  KvGuarded(shell.utils, kLocAdd, [&] {
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
    if (left || top) move(KvTwipsToPixels(left.value_or(KvPixelsToTwips(x()))), KvTwipsToPixels(top.value_or(KvPixelsToTwips(y()))));
    made = c->ctrl != nullptr;
  });
  return made;
}

void frmHost::LoadCtrl(cCtrl* c, bool select) {
  // A module panel remembers its window, so a saved setup groups it the same way again.
  if (c->bGui && !c->bInternal && shell.app) shell.app->put_str(c->compName, c->compType + ".wnd", wndName);
  const int index = static_cast<int>(ctrls.size()) - 1;
  createControl(c, index);
  const QSignalBlocker quiet(tabs);
  // A module panel without a control of its own is named by its panel.
  tabs->addTab(QString::fromStdString(c->ctrl || c->bInternal ? c->compName : c->compType));
  // The tab caption the control sent while loading names its tab; without one, its answer.
  std::string caption = loadTab;
  loadTab.clear();
  if (caption.empty() && c->iGui && c->iGui->get_TabCaption(&caption) != S_OK) caption.clear();
  if (!caption.empty()) tabs->setTabText(index, QString::fromStdString(caption));
  layoutBody();
  if (select || index == 0) {
    tabs->setCurrentIndex(index);
    tabChanged(index);
  }
}

// The host a control is loaded with: its window, on behalf of that one control.
class CCtrlSite final : public IKvHost {
 public:
  CCtrlSite(frmHost& h, cCtrl* c) : host(h), ctrl(c) {}
  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Caption(std::string* val) override { return host.captionFor(ctrl, val); }
  HRESULT Unload() override { return host.Unload(); }
  HRESULT Size(float width, float height) override { return host.sizeFor(ctrl, width, height); }
  HRESULT TabCaption(std::string* val) override { return host.tabCaptionFor(ctrl, val); }
  HRESULT MoveWnd(float left, float top) override { return host.MoveWnd(left, top); }

 private:
  frmHost& host;
  cCtrl* ctrl;
};

HRESULT frmHost::sizeFor(cCtrl* c, float width, float height) {
  if (c == loadingCtrl || c == shown || !shown) return Size(width, height);
  // Behind another tab: the size waits for its tab, and the window stays as it is.
  c->last = QSize(KvTwipsToPixels(width), KvTwipsToPixels(height));
  return S_OK;
}

HRESULT frmHost::captionFor(cCtrl* c, std::string* val) {
  if (!val) return E_POINTER;
  // Behind another tab the caption is read from the control when its tab is selected.
  if (!loading && shown && c != shown) return S_OK;
  return Caption(val);
}

HRESULT frmHost::tabCaptionFor(cCtrl* c, std::string* val) {
  if (!val) return E_POINTER;
  if (loading) return TabCaption(val);
  const auto at = std::find(ctrls.begin(), ctrls.end(), c);
  if (at != ctrls.end()) tabs->setTabText(static_cast<int>(at - ctrls.begin()), QString::fromStdString(*val));
  return S_OK;
}

void frmHost::createControl(cCtrl* c, int index) {
  std::string type = c->compType;
  if (type.empty() && c->bGui && shell.app) shell.app->get_str(c->compName, "gui.name", &type);
  std::string progId = type;
  if (!c->bInternal && shell.app) {
    progId.clear();
    shell.app->get_str(c->compName, type + ".class", &progId);
  }
  QWidget* w = shell.make && !progId.empty() ? shell.make(progId, frame) : nullptr;
  if (!w) {
    if (!c->bInternal) logError("Module=" + c->compName + ", GUI=" + progId + " not installed");
    auto* label = new QLabel(QString::fromStdString("ERROR -  " + progId + " not installed."), frame);
    label->setObjectName("errorLabel");
    QFont f = label->font();
    f.setPointSize(10);
    label->setFont(f);
    label->setContentsMargins(KvTwipsToPixels(150), KvTwipsToPixels(300), 0, 0);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frame->insertWidget(index, label);
    // The window shows the whole message.
    const QSize text = label->sizeHint();
    const QSize decorations = size() - body->size();
    resize(text.width() + KvTwipsToPixels(300) + std::max(0, decorations.width()),
           text.height() + KvTwipsToPixels(600) + std::max(0, decorations.height()));
    return;
  }
  w->setObjectName(QString::number(++shell.created) + "dyn");
  c->ctrl = w;
  c->iGui = dynamic_cast<IKvGui*>(w);
  frame->insertWidget(index, w);
  if (c->iGui) {
    IApp* app = shell.app;
    c->site = std::make_shared<CCtrlSite>(*this, c);
    IKvHost* self = c->site.get();
    std::string label = c->compName;
    loading = true;
    loadingCtrl = c;
    loadTab.clear();
    c->iGui->Load(&app, &self, &label);
    loading = false;
    loadingCtrl = nullptr;
  }
  // The log viewer is back: the lines held while it moved go into it.
  if (dynamic_cast<IKvLogView*>(w) && shell.logHeld && shell.utils) {
    shell.utils->HoldLog(false);
    shell.logHeld = false;
  }
}

void frmHost::tabChanged(int index) {
  KvGuarded(shell.utils, kLocTab, [&] {
    if (index < 0 || index >= static_cast<int>(ctrls.size())) return;
    cCtrl* c = ctrls[static_cast<size_t>(index)];
    // Each control keeps the size it was shown at, so switching tabs gives each its own.
    shown = c;
    frame->setCurrentIndex(index);
    // A control shown for the first time keeps the size it asked for itself when it loaded.
    if (c->ctrl && c->last.isValid() && c->last != ctrlArea())
      Size(static_cast<float>(KvPixelsToTwips(c->last.width())), static_cast<float>(KvPixelsToTwips(c->last.height())));
    if (!c->iGui) return;
    GuiStyle style{};
    if (c->iGui->GetStyle(&style) == S_OK) applyStyle(style);
    std::string caption;
    if (c->iGui->get_Caption(&caption) == S_OK && !caption.empty()) Caption2(caption);
  });
}

bool frmHost::DelCtrl(int index) {
  bool removed = false;
  KvGuarded(shell.utils, kLocDel, [&] {
    if (index < 0 || index >= static_cast<int>(ctrls.size())) return;
    cCtrl* c = ctrls[static_cast<size_t>(index)];
    if (c->iGui) {
      int16_t mode = 10;
      long refuse = 0;
      c->iGui->QueryUnload(&mode, &refuse);
      if (refuse != 0) {
        CDialogs::Get().MsgBox("Can't delete/move the control to new window. The control may be busy or fixed.",
                               DlgButtons::ok, DlgIcon::warning, "Kelvane");
        return;
      }
      // A log viewer on its way to another window: the engine keeps its lines meanwhile.
      if (shell.dragging && dynamic_cast<IKvLogView*>(c->ctrl) && shell.utils && !shell.logHeld) {
        shell.utils->HoldLog(true);
        shell.logHeld = true;
      }
      c->iGui->Unload();
    }
    {
      const QSignalBlocker quiet(tabs);
      tabs->removeTab(index);
    }
    QWidget* page = frame->widget(index);
    frame->removeWidget(page);
    delete page;
    if (shown == c) shown = nullptr;
    ctrls.erase(ctrls.begin() + index);
    shell.ctrls.erase(std::remove(shell.ctrls.begin(), shell.ctrls.end(), c), shell.ctrls.end());
    delete c;
    removed = true;
    layoutBody();
    if (ctrls.empty()) {
      unloading = true;
      close();
      return;
    }
    tabs->setCurrentIndex(0);
    tabChanged(0);
  });
  return removed;
}

int frmHost::FindCtrl(const std::string& compName, const std::string& compType) const {
  for (size_t i = 0; i < ctrls.size(); ++i) {
    if (!same(ctrls[i]->compName, compName)) continue;
    if (!compType.empty() && !same(ctrls[i]->compType, compType)) continue;
    return static_cast<int>(i);
  }
  return -1;
}

void frmHost::SelectTab(int index) {
  if (index < 0 || index >= tabs->count()) return;
  if (tabs->currentIndex() == index) return tabChanged(index);
  tabs->setCurrentIndex(index);
}

int frmHost::SelectedTab() const { return tabs->currentIndex(); }

bool frmHost::TabsVisible() const { return !tabs->isHidden(); }

void frmHost::Caption2(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

void frmHost::ComponentUnloaded(const std::string& compName) {
  KvGuarded(shell.utils, kLocUnloaded, [&] {
    // Module panels only: a tool window's label may well match a component's name.
    for (int i = static_cast<int>(ctrls.size()) - 1; i >= 0; --i) {
      const cCtrl* c = ctrls[static_cast<size_t>(i)];
      if (!c->bInternal && same(c->compName, compName)) DelCtrl(i);
      if (unloading) return;
    }
  });
}

bool frmHost::QueryUnloadAll(int16_t unloadMode) {
  for (cCtrl* c : ctrls) {
    if (!c->iGui) continue;
    int16_t mode = unloadMode;
    long refuse = 0;
    c->iGui->QueryUnload(&mode, &refuse);
    if (refuse != 0) return false;
  }
  return true;
}

void frmHost::UnloadCtrls(int16_t) {
  for (cCtrl* c : ctrls) {
    if (c->iGui) c->iGui->Unload();
    c->iGui = nullptr;
    c->ctrl = nullptr;
    shell.ctrls.erase(std::remove(shell.ctrls.begin(), shell.ctrls.end(), c), shell.ctrls.end());
    delete c;
  }
  ctrls.clear();
}

// ---------------------------------------------------------------------------------------
// Window: style, layout, pop-up, close
// ---------------------------------------------------------------------------------------

void frmHost::applyStyle(const GuiStyle& s) {
  resizable = s.bResizeable != 0;
  toolFrame = s.bToolwnd != 0;
  // Customised, so the frame shows only the buttons the style asks for.
  Qt::WindowFlags f = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
  if (s.bMaximize) f |= Qt::WindowMaximizeButtonHint;
  if (s.bMinimize) f |= Qt::WindowMinimizeButtonHint;
  if (s.bCloseable) f |= Qt::WindowCloseButtonHint;
  if (onTop) f |= Qt::WindowStaysOnTopHint;
  if (f != windowFlags()) {
    const bool shown = isVisible();
    setWindowFlags(f);
    if (shown) show();
  }
}

void frmHost::layoutBody() {
  delete body->layout();
  auto* layout = new QVBoxLayout(body);
  layout->setSpacing(0);
  const int m = KvTwipsToPixels(kMargin);
  if (ctrls.size() <= 1) {
    tabs->hide();
    layout->setContentsMargins(m, m, m, m);
    layout->addWidget(frame, 1);
    return;
  }
  tabs->show();
  tabs->setShape(tabsOnTop ? QTabBar::RoundedNorth : QTabBar::RoundedSouth);
  layout->setContentsMargins(0, 0, 0, 0);
  if (tabsOnTop) {
    layout->addWidget(tabs);
    layout->addSpacing(m);
    layout->addWidget(frame, 1);
  } else {
    layout->addWidget(frame, 1);
    layout->addSpacing(m);
    layout->addWidget(tabs);
  }
}

void frmHost::SetTabsOnTop(bool top) {
  tabsOnTop = top;
  layoutBody();
}

void frmHost::stayOnTop2(bool on) {
  onTop = on;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) show();
}

std::vector<std::string> frmHost::PopupEntries() const {
  std::vector<std::string> e;
  if (ctrls.size() > 1) e = {kTabsOnTop, kTabsOnBottom, "-"};
  e.push_back(kOnTop);
  e.push_back(kClose);
  if (ctrls.size() == 1) e.push_back(kDragAway);
  return e;
}

void frmHost::PopupChoose(const std::string& caption) {
  KvGuarded(shell.utils, kLocPopup, [&] {
    if (caption == kTabsOnTop) SetTabsOnTop(true);
    if (caption == kTabsOnBottom) SetTabsOnTop(false);
    if (caption == kOnTop) stayOnTop2(!onTop);
    if (caption == kClose) DelCtrl(SelectedTab());
    if (caption == kDragAway) startDrag(SelectedTab());
  });
}

void frmHost::showPopup() {
  Popup popup(this);
  const std::vector<std::string> entries = PopupEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    popup.SetEntry(static_cast<int>(i), QString::fromStdString(entries[i]));
    if (entries[i] == kOnTop) popup.SetEntry(static_cast<int>(i), QString::fromStdString(entries[i]) + (onTop ? " \u2713" : ""));
  }
  connect(&popup, &Popup::Click, this, [this, entries](int pos) { PopupChoose(entries[static_cast<size_t>(pos)]); });
  popup.Show();
}

void frmHost::closeEvent(QCloseEvent* e) {
  KvGuarded(shell.utils, kLocClose, [&] {
    if (unloading) {
      DelForm();
      return e->accept();
    }
    // The log's window is only hidden; "&Log" brings it back.
    if (first()) {
      hide();
      return e->ignore();
    }
    if (!QueryUnloadAll(0)) {
      CDialogs::Get().MsgBox("The software is busy right now, please try closing again later", DlgButtons::ok,
                             DlgIcon::information, "Kelvane");
      return e->ignore();
    }
    UnloadCtrls(0);
    DelForm();
    e->accept();
  });
}

void frmHost::DelForm() {
  shell.hosts.erase(std::remove(shell.hosts.begin(), shell.hosts.end(), this), shell.hosts.end());
}

void frmHost::resizeEvent(QResizeEvent* e) {
  QMdiSubWindow::resizeEvent(e);
  if (!sizing && shown) shown->last = ctrlArea();
}

// ---------------------------------------------------------------------------------------
// Dragging a tab to another window
// ---------------------------------------------------------------------------------------

bool frmHost::eventFilter(QObject* watched, QEvent* e) {
  const QEvent::Type t = e->type();
  if (watched != tabs || (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonRelease && t != QEvent::MouseMove))
    return QMdiSubWindow::eventFilter(watched, e);
  auto* m = static_cast<QMouseEvent*>(e);
  if (e->type() == QEvent::MouseButtonPress && m->button() == Qt::LeftButton) {
    dragTab = tabs->tabAt(m->position().toPoint());
    dragFrom = m->position().toPoint();
    dragPressedAt = nowSeconds();
  } else if (e->type() == QEvent::MouseButtonRelease) {
    dragTab = -1;
  } else if (e->type() == QEvent::MouseMove && dragTab >= 0 && (m->buttons() & Qt::LeftButton)) {
    const QPoint moved = m->position().toPoint() - dragFrom;
    const int far = KvTwipsToPixels(60);
    if (nowSeconds() - dragPressedAt >= 0.1 && (std::abs(moved.x()) >= far || std::abs(moved.y()) >= far)) {
      const int index = dragTab;
      dragTab = -1;
      startDrag(index);
      return true;
    }
  }
  return QMdiSubWindow::eventFilter(watched, e);
}

void frmHost::startDrag(int index) {
  KvGuarded(shell.utils, kLocDrag, [&] {
    if (index < 0 || index >= static_cast<int>(ctrls.size())) return;
    auto* data = new QMimeData;
    data->setData(kDragMime, QByteArray::fromStdString(DragPayload(ctrls[static_cast<size_t>(index)]->id)));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    shell.dragging = true;
    drag->exec(Qt::MoveAction);
  });
  // However the drag ended, a held log is given back.
  shell.dragging = false;
  if (shell.logHeld && shell.utils) shell.utils->HoldLog(false);
  shell.logHeld = false;
}

bool frmHost::AcceptsDrop(const QMimeData* data, bool fromThisProcess) const {
  if (!data || !fromThisProcess || !data->hasFormat(kDragMime)) return false;
  const long id = ParseDragPayload(data->data(kDragMime).toStdString());
  if (id < 0) return false;
  for (const cCtrl* c : shell.ctrls)
    if (c->id == id) return c->host != this;
  return false;
}

void frmHost::dragEnterEvent(QDragEnterEvent* e) {
  if (AcceptsDrop(e->mimeData(), e->source() != nullptr)) e->acceptProposedAction();
  else e->ignore();
}

void frmHost::dragMoveEvent(QDragMoveEvent* e) {
  if (AcceptsDrop(e->mimeData(), e->source() != nullptr)) e->acceptProposedAction();
  else e->ignore();
}

void frmHost::dropEvent(QDropEvent* e) {
  if (!AcceptsDrop(e->mimeData(), e->source() != nullptr) || !shell.move) return e->ignore();
  const long id = ParseDragPayload(e->mimeData()->data(kDragMime).toStdString());
  const QPoint at = mapToParent(e->position().toPoint());
  if (shell.move(id, this, at)) e->acceptProposedAction();
}

// ---------------------------------------------------------------------------------------
// IKvHost
// ---------------------------------------------------------------------------------------

HRESULT frmHost::Caption(std::string* val) {
  if (!val) return E_POINTER;
  if (loading) return S_OK;  // its tab, once selected, asks the control for its caption
  Caption2(*val);
  return S_OK;
}

HRESULT frmHost::Unload() {
  close();
  return S_OK;
}

QSize frmHost::ctrlArea() const {
  // What Size adds to a control's size, taken off the inner area again; the inner area is
  // resized at once, while the frame follows only when the layout next runs.
  const int m = KvTwipsToPixels(kMargin);
  const QSize in = body->size();
  if (ctrls.size() <= 1) return {in.width() - 2 * m, in.height() - 2 * m};
  return {in.width(), in.height() - tabs->sizeHint().height() - m};
}

HRESULT frmHost::Size(float width, float height) {
  // The inner area fits a control of that size (twips) with the margins, and the tab strip
  // when there are several controls.
  if (sizing) return S_OK;
  sizing = true;
  const int m = KvTwipsToPixels(kMargin);
  int w = KvTwipsToPixels(width), h = KvTwipsToPixels(height);
  // A control loading is not in front yet: its size waits for its tab to be selected.
  if (loadingCtrl) {
    loadingCtrl->last = QSize(w, h);
    sizing = false;
    return S_OK;
  }
  if (shown) shown->last = QSize(w, h);
  if (ctrls.size() <= 1) {
    w += 2 * m, h += 2 * m;
  } else {
    h += tabs->sizeHint().height() + m;
  }
  const QSize decorations = size() - body->size();
  resize(w + std::max(0, decorations.width()), h + std::max(0, decorations.height()));
  sizing = false;
  return S_OK;
}

HRESULT frmHost::TabCaption(std::string* val) {
  if (!val) return E_POINTER;
  // A control loading has no tab yet: the current tab is another control's, which keeps its
  // name, and the caption goes to the loading control's tab once it is made.
  if (loading) {
    loadTab = *val;
    return S_OK;
  }
  if (tabs->currentIndex() >= 0) tabs->setTabText(tabs->currentIndex(), QString::fromStdString(*val));
  return S_OK;
}

HRESULT frmHost::MoveWnd(float left, float top) {
  move(KvTwipsToPixels(left), KvTwipsToPixels(top));
  return S_OK;
}
