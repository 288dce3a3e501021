#pragma once
// CGui: the position, size and labels of one panel a module shows, exposed as settings
// ("<handle>.left", "<handle>.title", ...) and as the panel functions move and size.
// Every name the panel serves starts with its handle and a '.'; the handle is matched
// ignoring case, the key after it exactly. Not synchronised: one thread at a time.

#include <cstdint>

#include "KvDll/Str.h"
#include "KvDll/VParam.h"

class CGui {
 public:
  CStr title;
  float width = -1;  // -1 in a position or size: not set
  float height = -1;
  CStr wnd;
  CStr cls;     // the "class" key
  CStr handle;  // also the prefix of every name the panel serves
  float left = -1;
  float top = -1;
  int32_t more = 0;

  CGui() = default;
  CGui(const CGui&) = default;
  CGui& operator=(const CGui&) = default;
  virtual ~CGui();

  // Null arguments leave the field empty.
  void init(const char* handle, const char* wnd, const char* cls);

  // True when name is "<handle>.<anything>" (handle ignoring case); false for a null name
  // or an empty handle.
  bool isHandle(const char* name) const;

  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v);
  // Replaces a.params (shared heap) with the argument records of "move" or "size".
  CMDERR FunInfo(const char* name, VPARAMS& a);
  CMDERR Fun(const char* name, VPARAMS& a);

 private:
  // The key of a name this panel serves, or null.
  const char* keyOf(const char* name) const;
};
