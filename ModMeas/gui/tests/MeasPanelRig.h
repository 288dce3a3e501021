#pragma once
// The real shell and engine with the product's control libraries, off screen: a measurement
// component's panel is shown as the engine's "show" request shows it, and its controls are
// found by name. A sink records the engine's ValueChanged events, so a test can tell what a
// panel wrote.

#include <QtTest>
#include <string>
#include <vector>

#include "KvCtlLib/TextUpdown.h"
#include "desktop/tests/DesktopRig.h"

class ChangeLog final : public IAppEvents {
 public:
  explicit ChangeLog(IApp* a) : app(a) { app->Advise(this, &cookie); }
  ~ChangeLog() override { app->Unadvise(cookie); }
  // "comp.key" of every change since the last clear, leaving out the shell's window names.
  std::vector<std::string> seen;

  void ValueChanged(const std::string& c, const std::string& v) override {
    if (c == "show" || (v.size() >= 4 && v.compare(v.size() - 4, 4, ".wnd") == 0)) return;
    seen.push_back(c + "." + v);
  }
  void BeforeAcq(long) override {}
  void AfterAcq(long) override {}
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override {}

 private:
  IApp* app;
  long cookie = 0;
};

struct PanelRig : DesktopRig {
  // Loads comp of kind (e.g. "meas.ck") and shows its panel ("igui", "ogui").
  QWidget* show(const std::string& comp, const std::string& kind, const std::string& panel) {
    if (exec("load " + comp + " = " + kind) != 0) return nullptr;
    main->ShowPanel(comp + "." + panel);
    return find(comp, panel);
  }
  QWidget* find(const std::string& comp, const std::string& panel) const {
    for (cCtrl* c : main->Shell().ctrls)
      if (c->compName == comp && c->compType == panel) return c->ctrl;
    return nullptr;
  }
  frmHost* hostOf(QWidget* panel) const {
    for (cCtrl* c : main->Shell().ctrls)
      if (c->ctrl == panel) return c->host;
    return nullptr;
  }
  double dbl(const std::string& comp, const std::string& key) {
    double v = -12345;
    main->App()->get_dbl(comp, key, &v);
    return v;
  }
  int32_t lng(const std::string& comp, const std::string& key) {
    int32_t v = -12345;
    main->App()->get_lng(comp, key, &v);
    return v;
  }
  std::string str(const std::string& comp, const std::string& key) {
    std::string v;
    main->App()->get_str(comp, key, &v);
    return v;
  }
  QString num(double v) {
    std::string s;
    main->Utils()->Num2Str(v, 6, &s);
    return QString::fromStdString(s);
  }
  // Loads the panel again through its contract with another label, as a failing host would.
  void reload(QWidget* panel, const std::string& label) {
    IKvGui* g = dynamic_cast<IKvGui*>(panel);
    IApp* a = main->App();
    IKvHost* h = nullptr;
    std::string l = label;
    if (g) g->Load(&a, &h, &l);
  }
};

template <class T>
T* child(QWidget* panel, const QString& name) {
  return panel ? panel->findChild<T*>(name) : nullptr;
}

// Types text into a number field and acts on it as the user would: 0 up, 1 down, 2 commit, 3 revert.
inline void act(TextUpdown* f, int action, const QString& typed = QString()) {
  if (!typed.isNull()) f->SetText(typed);
  emit f->Change(action, f->Index());
}
