#pragma once
// An engine on the test's thread with the project's Test.bin on its library path, a headless
// log window that keeps every line, and the engine's events recorded.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"

class EngineRig {
 public:
  CEngine engine;
  KvWnd logParent = 0;
  std::vector<std::string> events;  // "loaded g", "BeforeAcq", "AcqIdle", ...
  KvEvent idle{true, false};

  explicit EngineRig(const char* lib = KV_TEST_LIB_DIR) {
    engine.SetPathLib(CStr(lib));
    logParent = KvCreateHeadlessParent(400, 300);
    engine.SetLogWindow(logParent);
    engine.onValueChanged = [this](const char* c, const char* n) { events.push_back(std::string(n) + " " + c); };
    engine.onBeforeAcq = [this](long) { events.push_back("BeforeAcq"); };
    engine.onAfterAcq = [this](long) { events.push_back("AfterAcq"); };
    engine.onAcqAborted = [this](long) { events.push_back("AcqAborted"); };
    engine.onAcqIdle = [this] {
      events.push_back("AcqIdle");
      idle.Set();
    };
  }
  ~EngineRig() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }

  // Runs a line that must succeed; returns its answer.
  std::string ok(const std::string& line) {
    CStr answer;
    const int r = engine.Execute(line.c_str(), answer);
    EXPECT_EQ(r, 0) << line << " -> " << answer.GetBfr();
    return answer.GetBfr();
  }
  // Runs a line that must fail; returns the message.
  std::string bad(const std::string& line) {
    CStr answer;
    const int r = engine.Execute(line.c_str(), answer);
    EXPECT_EQ(r, -1) << line << " -> " << answer.GetBfr();
    return answer.GetBfr();
  }
  std::string cmdList() const { return engine.GetCmdList().GetBfr(); }
  std::string logText() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
  CBfr* out(const char* comp, const char* port) {
    return engine.Components().OutBuffer(engine.Components().Find(comp), port);
  }
  CBfr* in(const char* comp, const char* port) {
    CBfr** slot = engine.Components().InSlot(engine.Components().Find(comp), port);
    return slot ? *slot : nullptr;
  }
  // Runs n passes on the worker and serves its events until it is idle; false on time-out.
  bool runPasses(long n, long ms = 20000) {
    idle.Reset();
    engine.Acq().run(n);
    KvWaitable* w = &idle;
    return WaitPumping(&w, 1, ms) == 0;
  }
};
