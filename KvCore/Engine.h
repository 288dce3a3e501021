#pragma once
// The engine as the headless shell drives it: script lines in, answers out.
// User-interface thread.

#include <functional>

#include "KvCore/NoComponents.h"
#include "KvDll/GlobalData.h"
#include "KvCore/Parser.h"

class CEngine final : public IParserHost {
 public:
  CEngine();
  ~CEngine() override;

  // Executes one script line. 0 or -1; answer is the message, or the processed line when
  // the message is empty.
  int Execute(const char* line, CStr& answer);
  CStr GetCmdList() const { return parser.GetCmdList(); }

  void SetAppPath(const char* folder) { appPath = folder; }
  CStr GetPathLib() const { return global.GetPathLib(); }
  // The log's parent window (the host's log viewer, or the headless runner's console) and the
  // lowest severity written to it.
  void SetLogWindow(KvWnd parent) { CLog::Init(parent, 0); }
  void SetLogLevel(long severity) { global.minSeverity.store(static_cast<int32_t>(severity)); }
  CGlobalData& Global() { return global; }

  // Raised for every ValueChanged (component or built-in name, setting name).
  std::function<void(const char*, const char*)> onValueChanged;

  // IParserHost
  void ValueChanged(const char* component, const char* name) override;
  void RunSinglePass() override {}  // no acquisition controller yet: nothing to run
  void RequestStop() override {}
  void RequestAbort() override {}
  long SetPathLib(const CStr& path) override;
  CStr AppPath() override { return appPath; }

 private:
  CGlobalData global;  // first: every other part reaches it through KvGlobal()
  CNoComponents components;
  CParser parser;
  CStr appPath;
};
