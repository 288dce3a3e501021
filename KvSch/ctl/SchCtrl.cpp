#include "KvSch/ctl/SchCtrl.h"

#include <strings.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "KvSch/ctl/SchFrame.h"
#include "KvSch/ctl/SchUndo.h"
#include "KvSch/ctl/SchView.h"
#include "desktop/Dialogs.h"
#include "desktop/Guard.h"

namespace {
constexpr long kLocLoadState = 430301, kLocClearState = 430302, kLocAbout = 430303;
}

CKvSchCtrl::CKvSchCtrl(QWidget* parent) : QWidget(parent), edit_(doc_) {
  setObjectName("KvSchCtrl");
  resize(200, 200);
  port_.SetDoc(&doc_);
  doc_.SetEngine(&port_);
  undo_ = std::make_unique<CSchUndo>(doc_, port_);
  frame_ = new CSchFrame(edit_, &port_, undo_.get(), this);
  // A single border around the frame.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->addWidget(frame_);
  setFocusProxy(frame_);
  frame_->show();
}

CKvSchCtrl::~CKvSchCtrl() {
  // The drawing goes without engine commands, and before the view that shows it.
  doc_.EndWire();
  doc_.SetEngine(nullptr);
  port_.Attach(nullptr);
  delete frame_;
  frame_ = nullptr;
}

CSchView* CKvSchCtrl::View() const { return frame_ ? frame_->View() : nullptr; }

HRESULT CKvSchCtrl::GetIDOfName(const std::string& name) {
  static const char* const members[] = {"Load",       "Unload",     "GetStyle",     "QueryUnload", "Caption",
                                        "TabCaption", "Dummy",      "DocumentName", "BorderStyle", "SaveState",
                                        "LoadState",  "ClearState", "AboutBox"};
  for (const char* m : members)
    if (strcasecmp(m, name.c_str()) == 0) return S_OK;
  return DISP_E_UNKNOWNNAME;
}

HRESULT CKvSchCtrl::Load(IApp** app, IKvHost**, std::string*) {
  if (!app || !*app) return -1;
  app_ = KvPtr<IApp>(*app);
  port_.Attach(app_.get());
  return S_OK;
}

HRESULT CKvSchCtrl::Unload() {
  if (CSchView* v = View()) v->EndAction();
  port_.Attach(nullptr);
  app_.reset();
  return S_OK;
}

HRESULT CKvSchCtrl::GetStyle(GuiStyle* out) {
  if (!out) return E_POINTER;
  // A window the user may resize and close; nothing else is asked of the host.
  *out = GuiStyle{1, 0, 0, 0, 0, 1};
  return S_OK;
}

HRESULT CKvSchCtrl::QueryUnload(int16_t*, long* out) {
  if (out) *out = 0;
  return S_OK;
}

HRESULT CKvSchCtrl::get_TabCaption(std::string* out) {
  if (!out) return E_POINTER;
  out->clear();
  return S_OK;
}

HRESULT CKvSchCtrl::get_Caption(std::string* out) {
  if (!out) return E_POINTER;
  out->clear();
  return S_OK;
}

void CKvSchCtrl::put_DocumentName(const std::string& name) {
  docName_ = name;
  // Only asks what the name is; the file itself is never opened.
  const QFileInfo info(QString::fromStdString(name));
  docTitle_ = !name.empty() && info.exists() && !info.isDir() ? info.fileName().toStdString() : "Untitled";
  modified_ = true;
}

void CKvSchCtrl::AboutBox() {
  KvGuarded(port_.Utils(), kLocAbout, [&] {
    QDialog dlg(this);
    dlg.setWindowTitle("About KvSch Control");
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(new QLabel("KvSch Control, Version 1.0", &dlg));
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &dlg);
    connect(ok, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    layout->addWidget(ok);
    CDialogs::Get().Exec(dlg);
  });
}

void CKvSchCtrl::prepareState() {
  doc_.MakeCurrent();
  if (CSchView* v = View()) {
    doc_.SetView(v);
    v->EndAction();
  }
  doc_.EndWire();
  undo_->Clear();
}

long CKvSchCtrl::SaveState(std::string* state) {
  if (!state) return 0;
  const CStr text = doc_.SaveState();
  state->assign(text.GetBfr() ? text.GetBfr() : "", static_cast<size_t>(text.GetLength()));
  return 1;
}

long CKvSchCtrl::LoadState(const std::string& state) {
  KvGuarded(port_.Utils(), kLocLoadState, [&] {
    prepareState();
    doc_.LoadState(state.data(), state.size());
    undo_->Clear();
    if (CSchView* v = View()) v->Refresh();
  });
  return 0;
}

long CKvSchCtrl::ClearState() {
  KvGuarded(port_.Utils(), kLocClearState, [&] {
    prepareState();
    doc_.Clear();
    undo_->Clear();
    if (CSchView* v = View()) v->Refresh();
  });
  return 0;
}

std::vector<std::string> CKvSchCtrl::Components() const {
  std::vector<std::string> names;
  for (int32_t i = 0; i < doc_.Count(); ++i) {
    const CSchObj* o = doc_.At(i);
    if (o->Kind() != skMod) continue;
    const auto* m = static_cast<const CSchMod*>(o);
    if (m->IsLoaded() && m->CompName().GetLength() > 0) names.emplace_back(m->CompName().GetBfr());
  }
  return names;
}

void CKvSchCtrl::paintEvent(QPaintEvent*) {
  if (borderStyle_ != 1) return;
  QPainter p(this);
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}
