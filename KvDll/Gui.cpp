#include "KvDll/Gui.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "KvDll/dbg.h"

namespace {

constexpr float kLimit = 1e6f;

// Keeps a position or size within +-1e6; NaN carries no position, so it means "not set".
float clampCoord(float x) {
  if (std::isnan(x)) return -1;
  if (x > kLimit) return kLimit;
  if (x < -kLimit) return -kLimit;
  return x;
}

void describe(VPARAM& v, int32_t vt) {
  v.kind = kindSetting;
  v.vt = vt;
}

CMDERR floatSetting(GETPARCMD cmd, float& field, VPARAM& v) {
  switch (cmd) {
    case parRead: v.value.r4 = field; break;
    case parWrite: field = clampCoord(v.value.r4); break;
    case parDescribe: describe(v, vtR4); break;
    default: break;  // other requests: accepted, nothing to answer
  }
  return cmdDone;
}

// readOnly: a write is accepted but changes nothing (the panel's identity is set by init).
CMDERR textSetting(GETPARCMD cmd, CStr& field, VPARAM& v, bool readOnly) {
  switch (cmd) {
    case parRead:
      if (v.value.str) *v.value.str = field;
      break;
    case parWrite:
      if (!readOnly) field = v.value.s ? v.value.s : "";
      break;
    case parDescribe: describe(v, vtStr); break;
    default: break;
  }
  return cmdDone;
}

// Record i of a as a float, or false where it is missing or not a float.
bool floatArg(const VPARAMS& a, int32_t i, float& out) {
  if (!a.params || i >= a.count) return false;
  const VPARAM& p = a.params[i];
  if (p.vt != vtR4) return false;
  out = clampCoord(p.value.r4);
  return true;
}

}  // namespace

CGui::~CGui() = default;

void CGui::init(const char* h, const char* w, const char* c) {
  handle = h;
  wnd = w;
  cls = c;
}

bool CGui::isHandle(const char* name) const {
  if (!name) return false;
  const int32_t n = handle.GetLength();
  if (n <= 0) return false;
  const char* h = handle.GetBfr();
  // Character by character so that a name shorter than the handle ends the loop at its NUL.
  for (int32_t i = 0; i < n; ++i) {
    const unsigned char a = static_cast<unsigned char>(name[i]);
    const unsigned char b = static_cast<unsigned char>(h[i]);
    if (a == 0 || tolower(a) != tolower(b)) return false;
  }
  return name[n] == '.';
}

const char* CGui::keyOf(const char* name) const {
  return isHandle(name) ? name + handle.GetLength() + 1 : nullptr;
}

CMDERR CGui::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  const char* key = keyOf(name);
  if (!key) return cmdNotServed;
  if (!std::strcmp(key, "left")) return floatSetting(cmd, left, v);
  if (!std::strcmp(key, "top")) return floatSetting(cmd, top, v);
  if (!std::strcmp(key, "width")) return floatSetting(cmd, width, v);
  if (!std::strcmp(key, "height")) return floatSetting(cmd, height, v);
  if (!std::strcmp(key, "more")) {
    switch (cmd) {
      case parRead: v.value.i4 = more; break;
      case parWrite: more = v.value.i4; break;
      case parDescribe: describe(v, vtI4); break;
      default: break;
    }
    return cmdDone;
  }
  if (!std::strcmp(key, "title")) return textSetting(cmd, title, v, false);
  if (!std::strcmp(key, "wnd")) return textSetting(cmd, wnd, v, false);
  if (!std::strcmp(key, "class")) return textSetting(cmd, cls, v, true);
  if (!std::strcmp(key, "handle")) return textSetting(cmd, handle, v, true);
  return cmdNotServed;
}

CMDERR CGui::FunInfo(const char* name, VPARAMS& a) {
  const char* key = keyOf(name);
  if (!key) return cmdNotServed;
  int32_t n;
  if (!std::strcmp(key, "move"))
    n = 4;  // left, top, then optional width, height
  else if (!std::strcmp(key, "size"))
    n = 2;  // width, height
  else
    return cmdNotServed;

  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = vtEmpty;
  auto* p = static_cast<VPARAM*>(KV_MALLOC(sizeof(VPARAM) * static_cast<size_t>(n)));
  if (!p) {
    KvErrReport(1, __LINE__, "Insufficient memory", "KvDll/Gui");
    return cmdNotServed;
  }
  for (int32_t i = 0; i < n; ++i) {
    p[i] = VPARAM{};
    p[i].vt = vtR4;
    p[i].kind = (n == 4 && i >= 2) ? kindOptional : kindNone;
  }
  a.params = p;
  a.count = n;
  return cmdDone;
}

CMDERR CGui::Fun(const char* name, VPARAMS& a) {
  const char* key = keyOf(name);
  if (!key) return cmdNotServed;
  float x;
  if (!std::strcmp(key, "move")) {
    if (floatArg(a, 0, x)) left = x;
    if (floatArg(a, 1, x)) top = x;
    if (floatArg(a, 2, x)) width = x;
    if (floatArg(a, 3, x)) height = x;
    return cmdDone;
  }
  if (!std::strcmp(key, "size")) {
    if (floatArg(a, 0, x)) width = x;
    if (floatArg(a, 1, x)) height = x;
    return cmdDone;
  }
  return cmdNotServed;
}
