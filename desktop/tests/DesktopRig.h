#pragma once
// A whole main window on the real engine, off screen, with the tests' module folder and a
// settings store of its own; and a sink that counts the engine's passes.

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <string>

#include "KvDll/IniStore.h"
#include "desktop/Dialogs.h"
#include "desktop/LogView.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"

// Counts passes as the engine reports them; onBefore and onAfter run at each one's start and end.
class PassCounter final : public IAppEvents {
 public:
  explicit PassCounter(IApp* a) : app(a) { app->Advise(this, &cookie); }
  ~PassCounter() override { app->Unadvise(cookie); }
  int before = 0, after = 0, idle = 0;
  std::function<void()> onBefore, onAfter;

  void ValueChanged(const std::string&, const std::string&) override {}
  void BeforeAcq(long) override {
    ++before;
    if (onBefore) onBefore();
  }
  void AfterAcq(long) override {
    ++after;
    if (onAfter) onAfter();
  }
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override { ++idle; }

 private:
  IApp* app;
  long cookie = 0;
};

class DesktopRig {
 public:
  // setUp runs before the window loads (settings a start-up reads).
  explicit DesktopRig(const std::function<void(DesktopRig&)>& setUp = {}) {
    setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
    CDialogs::Get().SetMode(CDialogs::Mode::scripted);
    CDialogs::Get().ClearShown();
    CDialogs::Get().ClearScript();
    CDialogs::Get().SetModalHook({});
    if (setUp) setUp(*this);
    frmMainOptions o;
    o.lib = KV_TEST_LIB_DIR;
#ifdef KV_RIG_CTL_DIR
    o.ctl = KV_RIG_CTL_DIR;  // the product's control libraries
#else
    o.ctl = KV_TEST_CTL_DIR;
#endif
    main = std::make_unique<frmMain>(o);
    loaded = main->Load();
  }
  ~DesktopRig() {
    if (main) main->close();
    main.reset();
  }

  // Writes a setting into this rig's store (before the window reads it, from setUp).
  static void Preset(const std::string& section, const std::string& key, const std::string& value) {
    IniWrite("Kelvane", section, key, value);
  }
  static std::string Setting(const std::string& section, const std::string& key) {
    std::string v;
    IniRead("Kelvane", section, key, v);
    return v;
  }

  long exec(const std::string& line) {
    std::string answer;
    long r = -1;
    main->App()->Execute(line, &answer, &r);
    return r;
  }
  void chain() {
    for (const char* l : {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"})
      exec(l);
  }
  std::string log() const {
    IKvLogView* v = main->Log();
    return v ? v->Text() : std::string();
  }
  bool busy() const {
    bool b = false;
    main->App()->get_isBusy(&b);
    return b;
  }
  // Waits (serving the engine) until cond holds; a minute is a failure, never a race.
  bool waitFor(const std::function<bool()>& cond) {
    main->WaitWhile([&] { return !cond(); }, 60);
    return cond();
  }

  QTemporaryDir config;
  std::unique_ptr<frmMain> main;
  bool loaded = false;
};

// A Qt Test program off screen, with the engine's queue worked off on the Qt loop.
#define KV_QTEST(TestClass)                          \
  int main(int argc, char** argv) {                  \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);       \
    QApplication app(argc, argv);                    \
    KvQtInstallPump();                               \
    int result = 0;                                  \
    {                                                \
      TestClass tests;                               \
      result = QTest::qExec(&tests, argc, argv);     \
    }                                                \
    KvQtRemovePump();                                \
    return result;                                   \
  }
