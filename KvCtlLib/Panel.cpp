#include "KvCtlLib/Panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QtDebug>
#include <algorithm>
#include <cmath>
#include <strings.h>

#include "KvCtlLib/TextUpdown.h"

namespace {

bool sameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string describe(HRESULT h, const char* what) {
  const char* why = h == DISP_E_PARAMNOTFOUND    ? "setting not found"
                    : h == DISP_E_MEMBERNOTFOUND ? "component not found"
                    : h == DISP_E_TYPEMISMATCH   ? "type mismatch"
                    : h == E_POINTER             ? "no object"
                                                 : "failed";
  return std::string(what) + ": " + why;
}

void check(HRESULT h, const KvWhere& at, const char* what, const std::string& key) {
  if (h < 0) throw PanelError{static_cast<long>(h), static_cast<long>(at.line()), describe(h, what) + " (" + key + ")"};
}

// Twips per pixel in each direction, at the screen's logical resolution.
double twipsPerPixel(bool x) {
  const QScreen* s = QGuiApplication::primaryScreen();
  const double dpi = s ? (x ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

}  // namespace

class CPanel::Relay final : public QObject, public IAppEvents {
 public:
  explicit Relay(CPanel* p) : panel(p) {}
  CPanel* panel;
  void ValueChanged(const std::string& c, const std::string& v) override {
    if (panel) panel->ValueChanged(c, v);
  }
  void BeforeAcq(long id) override {
    if (panel) panel->BeforeAcq(id);
  }
  void AfterAcq(long id) override {
    if (panel) panel->AfterAcq(id);
  }
  void ShowGui(const std::string& c, long& show) override {
    if (panel) panel->ShowGui(c, show);
  }
  void AcqAborted(long id) override {
    if (panel) panel->AcqAborted(id);
  }
  void AcqIdle() override {
    if (panel) panel->AcqIdle();
  }
};

CPanel::CPanel(QWidget* parent, const Traits& t) : QWidget(parent), traits(t) {}

CPanel::~CPanel() {
  if (relay) {
    if (app) app->Unadvise(cookie);
    relay->panel = nullptr;
    relay->deleteLater();
  }
  for (Binding* b : bindings) delete b;
}

HRESULT CPanel::Load(IApp** a, IKvHost** h, std::string* l) {
  loading = true;
  Guarded(traits.handlers.load, [&] {
    app = a ? KvPtr<IApp>(*a) : KvPtr<IApp>();
    host = h ? *h : nullptr;
    label = l ? *l : std::string();
    if (!app) throw PanelError{E_POINTER, __LINE__, "no engine"};
    if (!relay) relay = new Relay(this);
    check(app->Advise(relay, &cookie), KvWhere::current(), "App.Advise", label);
    utils.reset();
    check(app->get_Utils(utils.put()), KvWhere::current(), "App.Utils", label);

    const std::string prefix = traits.prefix;
    title = Str(prefix + ".title");
    if (title.empty()) title = label + ": " + traits.titleSuffix;
    setWindowTitle(QString::fromStdString(title));
    if (host) {
      std::string c = title;
      host->Caption(&c);
      if (traits.tabSuffix) {
        std::string tab = label + traits.tabSuffix;
        host->TabCaption(&tab);
      }
    }
    const double left = Flt(prefix + ".left") * twipsPerPixel(true);
    const double top = Flt(prefix + ".top") * twipsPerPixel(false);
    if (host && left >= 0 && top >= 0) host->MoveWnd(static_cast<float>(left), static_cast<float>(top));
    Fill();
  });
  loading = false;
  return S_OK;
}

HRESULT CPanel::Unload() {
  Guarded(traits.handlers.unload, [&] {
    utils.reset();
    if (app && relay) app->Unadvise(cookie);
    cookie = 0;
    if (relay) {
      relay->panel = nullptr;
      relay->deleteLater();
      relay = nullptr;
    }
    app.reset();
    host = nullptr;
  });
  return S_OK;
}

HRESULT CPanel::GetStyle(GuiStyle* out) {
  if (!out) return E_POINTER;
  *out = GuiStyle{static_cast<int16_t>(traits.resizeable ? 1 : 0), 1, 0, 0, 0, 1};
  return S_OK;
}

HRESULT CPanel::QueryUnload(int16_t*, long* out) {
  if (out) *out = 0;
  return S_OK;
}

HRESULT CPanel::get_TabCaption(std::string* out) {
  if (!out) return E_POINTER;
  Guarded(traits.handlers.tabCaption, [&] { *out = label; });
  return S_OK;
}

HRESULT CPanel::get_Caption(std::string* out) {
  if (!out) return E_POINTER;
  Guarded(traits.handlers.caption, [&] { *out = title; });
  return S_OK;
}

void CPanel::ValueChanged(const std::string& compName, const std::string& varName) {
  if (!app || executing || !sameText(compName, label)) return;
  if (sameText(varName, "loaded") || sameText(varName, "unloaded")) return;
  Guarded(traits.handlers.valueChanged, [&] { OnValue(Lowered(varName)); });
}

void CPanel::report(long number, const PanelError& e) {
  if (utils)
    utils->ErrMsg(number, e.code, e.line, e.desc, label);
  else
    ReportWithoutUtils(number, e);
}

void CPanel::ReportWithoutUtils(long number, const PanelError& e) { qWarning("%s", FaultText(number, e).c_str()); }

std::string CPanel::FaultText(long number, const PanelError& e) {
  return std::to_string(number) + ":" + std::to_string(e.code) + ":" + std::to_string(e.line) + ":" + e.desc;
}

// ---- the engine's settings ----

std::string CPanel::Str(const std::string& key, Where at) {
  std::string v;
  check(app ? app->get_str(label, key, &v) : E_POINTER, at, "App.str", key);
  return v;
}

double CPanel::Dbl(const std::string& key, Where at) {
  double v = 0;
  check(app ? app->get_dbl(label, key, &v) : E_POINTER, at, "App.dbl", key);
  return v;
}

int32_t CPanel::Lng(const std::string& key, Where at) {
  int32_t v = 0;
  check(app ? app->get_lng(label, key, &v) : E_POINTER, at, "App.lng", key);
  return v;
}

float CPanel::Flt(const std::string& key, Where at) {
  float v = 0;
  check(app ? app->get_flt(label, key, &v) : E_POINTER, at, "App.flt", key);
  return v;
}

std::string CPanel::Unit(const std::string& key, Where at) {
  std::string v;
  check(app ? app->get_unit(label, key, &v) : E_POINTER, at, "App.unit", key);
  return v;
}

void CPanel::PutStr(const std::string& key, const std::string& v, Where at) {
  check(app ? app->put_str(label, key, v) : E_POINTER, at, "App.str", key);
}

void CPanel::PutDbl(const std::string& key, double v, Where at) {
  check(app ? app->put_dbl(label, key, v) : E_POINTER, at, "App.dbl", key);
}

void CPanel::PutLng(const std::string& key, int32_t v, Where at) {
  check(app ? app->put_lng(label, key, v) : E_POINTER, at, "App.lng", key);
}

std::string CPanel::Num(double v, Where at) {
  std::string s;
  check(utils ? utils->Num2Str(v, 6, &s) : E_POINTER, at, "Utils.Num2Str", "");
  return s;
}

double CPanel::Parse(const std::string& text, Where at) {
  double v = 0;
  check(utils ? utils->Str2Num(text, &v) : E_POINTER, at, "Utils.Str2Num", text);
  return v;
}

std::optional<std::string> CPanel::Execute(const std::string& command, Where at) {
  std::string msg;
  long r = -1;
  ++executing;
  const HRESULT h = app ? app->Execute(label + command, &msg, &r) : E_POINTER;
  --executing;
  check(h, at, "App.Execute", label + command);
  if (r < 0) return std::nullopt;
  return msg;
}

std::vector<std::string> CPanel::List(const std::string& command, Where at) {
  std::vector<std::string> out;
  const std::optional<std::string> text = Execute(command, at);
  if (!text || text->empty()) return out;  // a refusal's text is no list
  // A command that answers nothing comes back as the line itself: no entries either.
  if (strcasecmp(text->c_str(), (label + command).c_str()) == 0) return out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text->find(',', start);
    out.push_back(text->substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// ---- bound controls ----

CPanel::Binding& CPanel::BindNumber(TextUpdown* field, const std::string& key, Step step, long handler, bool whole) {
  auto* b = new Binding{Binding::number, field, key, handler, std::move(step), whole, {}, {}};
  bindings.push_back(b);
  connect(field, &TextUpdown::Change, this, [this, b](int action, int) {
    Guarded(b->handler, [&] { numberChanged(*b, action); });
  });
  return *b;
}

CPanel::Binding& CPanel::BindCheck(QCheckBox* box, const std::string& key, long handler) {
  auto* b = new Binding{Binding::check, box, key, handler, {}, true, {}, {}};
  bindings.push_back(b);
  // clicked: the user's act only, never a state set from code.
  connect(box, &QCheckBox::clicked, this, [this, b](bool on) {
    Guarded(b->handler, [&] {
      if (loading) return;
      PutLng(b->key, on ? 1 : 0);
      Show(*b);  // a refused write shows the engine's value again
    });
  });
  return *b;
}

CPanel::Binding& CPanel::BindList(QComboBox* list, const std::string& key, long handler) {
  auto* b = new Binding{Binding::list, list, key, handler, {}, false, {}, {}};
  bindings.push_back(b);
  // A value the list does not hold is shown as its placeholder: in the text's own colour, as
  // a value, not greyed as a hint.
  QPalette pal = list->palette();
  pal.setColor(QPalette::PlaceholderText, pal.color(QPalette::Text));
  list->setPalette(pal);
  connect(list, &QComboBox::activated, this, [this, b](int) { Guarded(b->handler, [&] { listChosen(*b); }); });
  return *b;
}

CPanel::Binding& CPanel::BindText(QLineEdit* field, const std::string& key, long handler) {
  auto* b = new Binding{Binding::text, field, key, handler, {}, false, {}, {}};
  bindings.push_back(b);
  // editingFinished: Enter or focus lost; a text set from code raises nothing.
  connect(field, &QLineEdit::editingFinished, this, [this, b, field] {
    Guarded(b->handler, [&] {
      if (loading) return;
      const std::string t = field->text().toStdString();
      if (Str(b->key) != t) PutStr(b->key, t);
      Show(*b);
    });
  });
  return *b;
}

CPanel::Binding& CPanel::BindMore(QCheckBox* more, long handler) {
  auto* b = new Binding{Binding::more, more, std::string(traits.prefix) + ".more", handler, {}, true, {}, {}};
  bindings.push_back(b);
  connect(more, &QCheckBox::clicked, this, [this, b, more] { Guarded(b->handler, [&] { MoreClicked(more); }); });
  return *b;
}

CPanel::Binding* CPanel::FindBinding(QWidget* w) {
  for (Binding* b : bindings)
    if (b->widget == w) return b;
  return nullptr;
}

void CPanel::listChosen(Binding& b) {
  if (loading) return;
  auto* list = static_cast<QComboBox*>(b.widget);
  const std::string chosen = list->currentText().toStdString();
  if (!sameText(Str(b.key), chosen)) PutStr(b.key, chosen);
  Show(b);
}

void CPanel::numberChanged(Binding& b, int action) {
  auto* field = static_cast<TextUpdown*>(b.widget);
  const std::string text = field->Text().trimmed().toStdString();
  if (action == TextUpdown::revert) return Show(b);
  double v = b.empty && text.empty() ? *b.empty : Parse(text);
  if (action == TextUpdown::stepUp || action == TextUpdown::stepDown) {
    const bool up = action == TextUpdown::stepUp;
    if (b.empty && text.empty()) v = 0;  // stepping from no value starts at zero
    switch (b.step.kind) {
      case Step::scale125: check(utils->scale125(v, up, &v), Where::current(), "Utils.scale125", b.key); break;
      case Step::offset: check(utils->Step(&v, up ? 0.001 : -0.001, 1e-12), Where::current(), "Utils.Step", b.key); break;
      case Step::fixed: check(utils->safeadd(&v, up ? b.step.size : -b.step.size), Where::current(), "Utils.safeadd", b.key); break;
      case Step::custom: v = b.step.rule(v, up); break;
    }
  }
  if (b.whole) {
    const double r = std::round(v);
    // Only a whole number in range is written (a count of 0 would never advance).
    if (std::isfinite(r) && r >= INT32_MIN && r <= INT32_MAX && (!b.atLeast || r >= *b.atLeast))
      PutLng(b.key, static_cast<int32_t>(r));
  } else {
    PutDbl(b.key, v);
  }
  Show(b);  // the engine's value: a refused write shows what is kept
}

void CPanel::Show(Binding& b) {
  switch (b.kind) {
    case Binding::number: {
      auto* field = static_cast<TextUpdown*>(b.widget);
      if (b.whole) {
        field->SetText(QString::number(Lng(b.key)));
      } else {
        const double v = Dbl(b.key);
        field->SetText(b.empty && v == *b.empty ? QString() : QString::fromStdString(Num(v)));
      }
      break;
    }
    case Binding::check: static_cast<QCheckBox*>(b.widget)->setChecked(Lng(b.key) != 0); break;
    case Binding::list: SetListText(static_cast<QComboBox*>(b.widget), QString::fromStdString(Str(b.key))); break;
    case Binding::text: static_cast<QLineEdit*>(b.widget)->setText(QString::fromStdString(Str(b.key))); break;
    case Binding::more:
      static_cast<QCheckBox*>(b.widget)->setChecked(Lng(b.key) != 0);
      FitToContents();
      break;
  }
}

bool CPanel::Refresh(const std::string& key) {
  bool any = false;
  for (Binding* b : bindings)
    if (sameText(b->key, key)) Show(*b), any = true;
  return any;
}

void CPanel::RefreshAll() {
  for (Binding* b : bindings) Show(*b);
}

QString CPanel::ListText(const QComboBox* list) {
  return list->currentIndex() < 0 ? list->placeholderText() : list->currentText();
}

void CPanel::SetListText(QComboBox* list, const QString& text) {
  const int i = list->findText(text, Qt::MatchFixedString);  // ignoring case
  list->setCurrentIndex(i);
  // A word the list does not hold is shown as it is; choosing an entry replaces it.
  list->setPlaceholderText(i < 0 ? text : QString());
}

QString CPanel::Literal(const char* text) { return QString::fromUtf8(text).replace("&&", "&"); }

// ---- lay-out ----

void CPanel::FitToContents() {
  LayOut();
  int right = 0, bottom = 0;
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (w->isWindow() || !w->isVisibleTo(this)) continue;
    right = std::max(right, w->geometry().right() + 1);
    bottom = std::max(bottom, w->geometry().bottom() + 1);
  }
  const QSize want(right + 6, bottom + 6);
  if (want != size()) {
    setFixedSize(want);
    resize(want);
  }
  if (host)
    host->Size(static_cast<float>(want.width() * twipsPerPixel(true)), static_cast<float>(want.height() * twipsPerPixel(false)));
}

void CPanel::MoreClicked(QCheckBox* more) {
  FitToContents();
  if (!loading) PutLng(std::string(traits.prefix) + ".more", more->isChecked() ? 1 : 0);
}

void CPanel::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) {
    e->accept();  // help is not offered from a panel
    return;
  }
  QWidget::keyPressEvent(e);
}

std::string CPanel::Lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
