#pragma once
// The panel contract for controls the shell makes itself: a widget that is also an IKvGui.
// Qt owns the widget (its tab's frame deletes it), so the reference count only answers the
// contract and never deletes.

#include <QWidget>
#include <atomic>
#include <string>

#include "KvCore/KvApi.h"

class KvGuiWidget : public QWidget, public IKvGui {
 public:
  explicit KvGuiWidget(QWidget* parent = nullptr) : QWidget(parent) {}

  long AddRef() override { return ++refs; }
  long Release() override { return --refs; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }

  HRESULT Load(IApp** a, IKvHost** h, std::string* label) override {
    app = a ? KvPtr<IApp>(*a) : KvPtr<IApp>();
    host = h ? *h : nullptr;
    compName = label ? *label : std::string();
    return S_OK;
  }
  HRESULT Unload() override {
    app.reset();
    host = nullptr;
    return S_OK;
  }
  HRESULT GetStyle(GuiStyle* out) override {
    if (!out) return E_POINTER;
    *out = GuiStyle{1, 0, 0, 1, 1, 1};
    return S_OK;
  }
  HRESULT QueryUnload(int16_t*, long* out) override {
    if (out) *out = 0;
    return S_OK;
  }
  HRESULT get_TabCaption(std::string* out) override {
    if (out) *out = compName;
    return S_OK;
  }
  HRESULT get_Caption(std::string* out) override {
    if (out) *out = compName;
    return S_OK;
  }

 protected:
  KvPtr<IApp> app;
  IKvHost* host = nullptr;  // the panel window, alive while this control is in it
  std::string compName;

 private:
  std::atomic<long> refs{1};
};
