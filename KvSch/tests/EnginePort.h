#pragma once
// The document's engine side on a real engine (Test.bin and the product's modules on its
// library path): every line it sends is recorded, then executed. The control does the
// same through IApp.Execute.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"
#include "KvDll/Log.h"
#include "KvSch/SchScript.h"

class EnginePort : public CSchScript {
 public:
  CEngine engine;
  KvWnd logParent = 0;
  std::vector<std::string> lines;  // every command sent, in order

  EnginePort() {
    engine.SetPathLib(CStr(KV_TEST_LIB_DIR));
    logParent = KvCreateHeadlessParent(400, 300);
    engine.SetLogWindow(logParent);
  }
  ~EnginePort() override {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }

  bool Send(const std::string& cmd, CStr* answer) override {
    lines.push_back(cmd);
    CStr a;
    const bool ok = engine.Execute(cmd.c_str(), a) == 0;
    if (answer) *answer = a;
    return ok;
  }
  bool Exists(const CStr& name) override {
    CModList& c = engine.Components();
    for (int i = 0; i < c.Count(); ++i)
      if (name == c.Label(i)) return true;
    return false;
  }
  bool busy = false;  // stands for a running acquisition
  bool MayChange() override {
    if (busy) refusals.push_back("busy");
    return !busy;
  }
  std::vector<std::string> messages, refusals;  // what the user was told; refused changes
  void Message(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> warnings;  // what went to the log
  void Warn(const std::string& text) override { warnings.push_back(text); }
  // A line sent behind the document's back, as the console would; not recorded.
  std::string console(const std::string& cmd) {
    CStr a;
    engine.Execute(cmd.c_str(), a);
    return a.GetBfr();
  }
  std::string joined() const {
    std::string s;
    for (const auto& l : lines) s += (s.empty() ? "" : "|") + l;
    return s;
  }

};
