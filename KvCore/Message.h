#pragma once
// The engine's error messages: a text and, in double quotes, the item it is about.

#include "KvDll/Str.h"

// message = text + " \"" + item + "\""; returns -1, the result of the failing operation.
inline int KvFail(CStr& message, const char* text, const char* item) {
  message = text;
  message += " \"";
  message += item ? item : "";
  message += '"';
  return -1;
}
