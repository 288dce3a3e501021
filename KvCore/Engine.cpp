#include "KvCore/Engine.h"

CEngine::CEngine() : parser(components, nullptr, *this) {}

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
  libPath = path;
  return 0;
}
