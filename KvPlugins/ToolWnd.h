#pragma once
// What every tool window of this library shares: the panel contract. Load keeps the engine's
// objects, sends the captions and the initial size to the host, then hands over to the
// window's own start-up; QueryUnload remembers how the window was closed under its settings
// section, for the next start of the program; every handler is trapped and reported through
// the engine's error report with the window's six-digit codes.
//
// User-interface thread only. Qt owns the widget (the host's frame deletes it); the reference
// count answers the contract and never deletes.

#include <QWidget>
#include <atomic>
#include <exception>
#include <string>

#include "KvCore/KvApi.h"
#include "KvCtlLib/Registry.h"

class CToolWnd : public QWidget, public IKvGui {
 public:
  struct Traits {
    const char* caption;     // the caption set at Load
    const char* tabAtLoad;   // the tab caption sent to the host at Load
    const char* tabCaption;  // what TabCaption answers
    float width, height;     // the initial size, twips
    const char* section;     // settings section for the unload mode; null: none
    int number;              // the window's number in its error codes (1WWHHH)
    bool minimum;            // the 3000 x 1800 twips minimum size
  };
  CToolWnd(QWidget* parent, const Traits& traits);
  ~CToolWnd() override;

  long AddRef() override { return ++refs; }
  long Release() override { return --refs; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Load(IApp** app, IKvHost** host, std::string* label) final;
  HRESULT Unload() final;
  HRESULT GetStyle(GuiStyle* out) override;
  HRESULT QueryUnload(int16_t* unloadMode, long* out) override;
  HRESULT get_TabCaption(std::string* out) override;
  HRESULT get_Caption(std::string* out) override;

  // Sets the caption and tells the host (after Load).
  void SetCaption(const std::string& text);
  const Traits& traits() const { return traits_; }

 protected:
  // The window's own part of Load: beforeSize runs after the captions were sent and before
  // the size is reported; started after it. ended runs at Unload, before the engine's
  // objects are let go.
  virtual void beforeSize() {}
  virtual void started() {}
  virtual void ended() {}
  // The caption Load sets; by default the traits' one.
  virtual std::string initialCaption() { return traits_.caption; }

  // Runs fn; a fault is reported as ErrMsg(1WWHHH, 0, 0, what, caption) and swallowed.
  // Handlers 001-004 are the contract's (Caption, Load, Unload, resize); a window numbers
  // its own from 005.
  template <class Fn>
  bool guarded(int handler, Fn&& fn) {
    try {
      fn();
      return true;
    } catch (const std::exception& e) {
      report(handler, e.what());
    } catch (...) {
      report(handler, "unknown error");
    }
    return false;
  }
  long code(int handler) const { return 100000L + traits_.number * 1000L + handler; }

  void resizeEvent(QResizeEvent* e) override;
  // Lays the window's widgets out again after a resize that kept the minimum.
  virtual void layOut() {}

  KvPtr<IApp> app;
  IKvHost* host = nullptr;
  std::string label;
  KvPtr<IUtils> utils;
  std::string caption;

 private:
  void report(int handler, const std::string& what);

  Traits traits_;
  bool raising = false;  // the minimum size is being reported to the host
  std::atomic<long> refs{1};
};

// Adds a window to the library's list (from a static initialiser of its source file);
// KvRegisterControls hands the list to the shell's registry.
bool KvAddPlugin(const char* progId, KvControlFactory make);

#define KV_PLUGIN(progId, Class)                                                    \
  namespace {                                                                       \
  [[maybe_unused]] const bool kvPlugin##Class =                                     \
      KvAddPlugin(progId, [](QWidget* parent) -> QWidget* { return new Class(parent); }); \
  }
