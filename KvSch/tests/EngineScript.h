#pragma once
// CEngineScript: the document's engine side run straight on a CEngine, without an App: the
// tests, the benchmark and the fuzz targets drive the document through it. Messages and
// warnings go nowhere unless a derived class keeps them; the network may always change.

#include <string>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"
#include "KvDll/Log.h"
#include "KvSch/SchScript.h"

class CEngineScript : public CSchScript {
 public:
  CEngine engine;
  KvWnd logParent = 0;

  explicit CEngineScript(const char* libDir) {
    engine.SetPathLib(CStr(libDir));
    logParent = KvCreateHeadlessParent(400, 300);
    engine.SetLogWindow(logParent);
  }
  ~CEngineScript() override {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }

  bool Send(const std::string& cmd, CStr* answer) override {
    CStr a;
    const bool ok = engine.Execute(cmd.c_str(), a) == 0;
    if (answer) *answer = a;
    return ok;
  }
  bool Exists(const CStr& name) override { return engine.Components().Find(name) >= 0; }
  bool MayChange() override { return true; }
  void Message(const std::string&) override {}
  void Warn(const std::string&) override {}
};
