// Test equipment for the shell's hosting: panels that call their host, a fixed style, a
// refusal to close and a factory that makes nothing. Built beside the tests, not a product.

#include <QLabel>
#include <QVBoxLayout>
#include <string>

#include "KvCore/KvApi.h"
#include "KvCtlLib/Registry.h"

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
    text->setText(QString::fromStdString("panel " + name));
    if (host && *host) {
      std::string caption = "Panel " + name;
      (*host)->Caption(&caption);
      (*host)->Size(3000, 1500);
    }
    return S_OK;
  }
  HRESULT Unload() override { return S_OK; }
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
  QLabel* text;
  std::string name;
  int lastMode = -1;
};

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
}
