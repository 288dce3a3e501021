#pragma once
// A real engine for a module's own tests: the tests' module folder, every log line kept in a
// headless window, lines answered, and passes run to the engine's idle event while this thread
// pumps its messages (a minute is a failure, never a race).

#include <gtest/gtest.h>

#include <string>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"
#include "KvDll/Log.h"
#include "KvDll/Sync.h"
#include "KvDll/Wnd.h"

class ModuleEngineRig {
 public:
  CEngine engine;
  KvWnd logParent = KvCreateHeadlessParent(400, 300);
  KvEvent idle{true, false};

  ModuleEngineRig() {
    engine.SetPathLib(CStr(KV_TEST_LIB_DIR));
    engine.SetLogWindow(logParent);
    engine.SetLogLevel(-1);
    engine.onAcqIdle = [this] { idle.Set(); };
  }
  ~ModuleEngineRig() {
    engine.Components().DestroyAll();
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  ModuleEngineRig(const ModuleEngineRig&) = delete;
  ModuleEngineRig& operator=(const ModuleEngineRig&) = delete;

  // The engine's answer (the line itself when it has none); the result must be want (0 or -1).
  std::string answer(const std::string& line, int want = 0) {
    CStr a;
    EXPECT_EQ(engine.Execute(line.c_str(), a), want) << line << " -> " << a.GetBfr();
    return a.GetBfr();
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
  bool run(long passes) {
    idle.Reset();
    engine.Acq().run(passes);
    KvWaitable* w = &idle;
    return WaitPumping(&w, 1, 60000) == 0;
  }
};
