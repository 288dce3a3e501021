#pragma once
// The document's engine side on a real engine (Test.bin and the product's modules on its
// library path): every line it sends is recorded, then executed. The control does the
// same through IApp.Execute.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvSch/tests/EngineScript.h"

class EnginePort : public CEngineScript {
 public:
  std::vector<std::string> lines;  // every command sent, in order

  EnginePort() : CEngineScript(KV_TEST_LIB_DIR) {}

  bool Send(const std::string& cmd, CStr* answer) override {
    lines.push_back(cmd);
    return CEngineScript::Send(cmd, answer);
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
