#include "KvCore/NoComponents.h"

#include "KvCore/Message.h"

int CNoComponents::Create(const char*, const char* library, CStr& message) {
  return KvFail(message, "Mod not found", library);
}

VPARAM CNoComponents::Get(int, const char*, int32_t) {
  VPARAM v;
  v.vt = vtError;
  v.value.i4 = cmdNotServed;
  return v;
}
