// Test equipment for the shell's hosting: panels that call their host, a fixed style, a
// refusal to close and a factory that makes nothing. Built beside the tests, not a product.

#include <QEvent>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>
#include <cstdlib>
#include <string>

#include "KvCore/KvApi.h"
#include "KvCtlLib/Registry.h"
#include "desktop/Schematic.h"

namespace {

// A panel that shows its label; on Load it tells its host a caption and the size it wants
// (twips), as module panels do.
class TestPanel : public QWidget, public IKvGui {
 public:
  explicit TestPanel(QWidget* parent, GuiStyle style, long refuse) : QWidget(parent), style(style), refuse(refuse) {
    auto* l = new QVBoxLayout(this);
    text = new QLabel(this);
    l->addWidget(text);
  }
  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Load(IApp**, IKvHost** host, std::string* label) override {
    name = label ? *label : "";
    host_ = host ? *host : nullptr;
    text->setText(QString::fromStdString("panel " + name));
    if (host && *host) {
      std::string caption = "Panel " + name;
      (*host)->Caption(&caption);
      (*host)->Size(3000, 1500);
    }
    return S_OK;
  }
  HRESULT Unload() override {
    host_ = nullptr;
    return S_OK;
  }
  // A test makes the panel call its host later, as a panel does on an engine event: setting
  // "askSize" (a QSize in twips), "askTab" or "askCaption" (a text).
  bool event(QEvent* e) override {
    if (e->type() == QEvent::DynamicPropertyChange && host_) {
      const QByteArray key = static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName();
      std::string text = property(key.constData()).toString().toStdString();
      if (key == "askSize") host_->Size(property("askSize").toSize().width(), property("askSize").toSize().height());
      if (key == "askTab") host_->TabCaption(&text);
      if (key == "askCaption") host_->Caption(&text);
    }
    return QWidget::event(e);
  }
  HRESULT GetStyle(GuiStyle* out) override {
    *out = style;
    return S_OK;
  }
  HRESULT QueryUnload(int16_t* mode, long* cancel) override {
    lastMode = mode ? *mode : -1;
    *cancel = refuse;
    return S_OK;
  }
  HRESULT get_TabCaption(std::string* out) override {
    *out = name;
    return S_OK;
  }
  HRESULT get_Caption(std::string* out) override {
    *out = "Panel " + name;
    return S_OK;
  }

 private:
  GuiStyle style;
  long refuse;
  IKvHost* host_ = nullptr;
  QLabel* text;
  std::string name;
  int lastMode = -1;
};

// A stand-in schematic editor. Its state text is script lines: loading a state runs its
// "load" lines (each failing one is an error) and makes those components its drawing. A test
// reads and sets what it keeps through properties: "state" (what SaveState answers; unset: no
// state), "loaded" (the last 8 state texts LoadState got), "components", "cleared" (a count),
// "label" (what Load got). With KV_TEST_NO_SCHEMATIC set no editor is installed.
class TestSchematic : public QWidget, public IKvGui, public IKvSchematic {
 public:
  explicit TestSchematic(QWidget* parent) : QWidget(parent) { setProperty("cleared", 0); }
  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Load(IApp** a, IKvHost**, std::string* label) override {
    app = a ? *a : nullptr;
    setProperty("label", QString::fromStdString(label ? *label : ""));
    return S_OK;
  }
  HRESULT Unload() override {
    app = nullptr;
    return S_OK;
  }
  HRESULT GetStyle(GuiStyle* out) override {
    *out = GuiStyle{1, 0, 0, 1, 1, 1};
    return S_OK;
  }
  HRESULT QueryUnload(int16_t*, long* cancel) override {
    *cancel = 0;
    return S_OK;
  }
  HRESULT get_TabCaption(std::string* out) override {
    out->clear();
    return S_OK;
  }
  HRESULT get_Caption(std::string* out) override {
    out->clear();
    return S_OK;
  }

  long SaveState(std::string* state) override {
    if (!property("state").isValid()) return 0;
    *state = property("state").toString().toStdString();
    return 1;
  }
  long LoadState(const std::string& state) override {
    // The last few only: a long run (a fuzzer opens millions of setups) must not grow it.
    QStringList loaded = property("loaded").toStringList() << QString::fromStdString(state);
    if (loaded.size() > 8) loaded.removeFirst();
    setProperty("loaded", loaded);
    QStringList made;
    long errors = 0;
    QStringList kept;
    for (QString line : QString::fromStdString(state).split('\n')) {
      line = line.trimmed();
      if (line.isEmpty()) continue;
      kept << line;
      std::string answer;
      long r = -1;
      if (app) app->Execute(line.toStdString(), &answer, &r);
      if (r != 0) ++errors;
      if (r == 0 && line.startsWith("load ")) made << line.mid(5).section('=', 0, 0).trimmed();
    }
    setProperty("components", made);
    setProperty("state", kept.join("\r\n"));
    return errors;
  }
  long ClearState() override {
    setProperty("cleared", property("cleared").toInt() + 1);
    for (const QString& c : property("components").toStringList()) {
      std::string answer;
      long r = 0;
      if (app) app->Execute("unload " + c.toStdString(), &answer, &r);
    }
    setProperty("components", QStringList());
    return 0;
  }
  std::vector<std::string> Components() const override {
    std::vector<std::string> out;
    for (const QString& c : property("components").toStringList()) out.push_back(c.toStdString());
    return out;
  }

 private:
  IApp* app = nullptr;
};

QWidget* makeSchematic(QWidget* parent) {
  return std::getenv("KV_TEST_NO_SCHEMATIC") ? nullptr : new TestSchematic(parent);
}

QWidget* makePanel(QWidget* parent) { return new TestPanel(parent, GuiStyle{1, 0, 0, 1, 1, 1}, 0); }
QWidget* makeFixed(QWidget* parent) { return new TestPanel(parent, GuiStyle{0, 1, 0, 0, 0, 1}, 0); }
QWidget* makeRefusing(QWidget* parent) { return new TestPanel(parent, GuiStyle{1, 0, 0, 1, 1, 1}, 1); }
QWidget* makeNothing(QWidget*) { return nullptr; }

}  // namespace

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvTest.Panel", makePanel);
  registry->Add("KvTest.Fixed", makeFixed);
  registry->Add("KvTest.Refuse", makeRefusing);
  registry->Add("KvTest.Failing", makeNothing);
  // The measurement component's input panel, as a stand-in; its output panel stays missing.
  registry->Add("KvMeas.Inputs", makePanel);
  registry->Add("KvSch.KvSchCtrl.1", makeSchematic);
}
