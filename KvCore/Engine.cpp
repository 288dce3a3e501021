#include "KvCore/Engine.h"

namespace {

// The error-report entry of the engine: every report of the shared library and the modules
// becomes a log line with severity 3.
void logReport(long site, long, long line, const char* message, const char* unit) {
  if (CGlobalData* g = KvGlobal()) {
    CStr text = CStr(unit) + "(" + CStr(line) + "): " + message + " [" + CStr(site) + "]";
    g->log.Add(text, LogErr);
  }
}

}  // namespace

CEngine::CEngine() : parser(components, nullptr, *this) { global.SetErrReport(logReport); }

CEngine::~CEngine() {
  if (KvGetErrReport() == logReport) global.SetErrReport(nullptr);
}

int CEngine::Execute(const char* line, CStr& answer) {
  CStr processed(line);
  CStr message;
  const int result = parser.Execute(processed, message);
  answer = message.IsEmpty() ? processed : message;
  return result;
}

void CEngine::ValueChanged(const char* component, const char* name) {
  if (onValueChanged) onValueChanged(component, name);
}

long CEngine::SetPathLib(const CStr& path) {
  CStr p = path;
  return global.SetPathLib(p);
}
