#include "KvCore/NoComponents.h"

int CNoComponents::Create(const char*, const char* library, CStr& message) {
  message = "Mod not found \"";
  message += library;
  message += '"';
  return -1;
}

VPARAM CNoComponents::Get(int, const char*, int32_t) {
  VPARAM v;
  v.vt = vtError;
  v.value.i4 = cmdNotServed;
  return v;
}
