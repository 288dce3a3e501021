#include "KvLib/Setting.h"

#include <strings.h>

#include "KvDll/Str.h"

namespace kvsetting {

void SetText(VPARAM& v, std::string_view text) {
  if (v.value.str) *v.value.str = CStr(text.data(), static_cast<long>(text.size()));
}

namespace {

// The requests every kind answers alike; cmdNotServed when the caller must answer.
CMDERR common(GETPARCMD cmd, VPARAM& v, int32_t vt, const char* label, const char* unit) {
  switch (cmd) {
    case parDescribe: v.kind = kindSetting, v.vt = vt; return cmdDone;
    case parLabel: SetText(v, label ? label : ""); return cmdDone;
    case parUnit: SetText(v, unit ? unit : ""); return cmdDone;
    case parRead:
    case parWrite: return cmdNotServed;
    default: return cmdDone;
  }
}

}  // namespace

CMDERR Real(GETPARCMD cmd, VPARAM& v, double& field, const char* label, const char* unit, double lo, double hi) {
  if (cmd == parRead) {
    v.vt = vtR8, v.value.r8 = field;
    return cmdDone;
  }
  if (cmd == parWrite) {
    const double x = v.value.r8;
    if (!std::isfinite(x) || x < lo || x > hi) return cmdBadValue;
    field = x;
    return cmdDone;
  }
  return common(cmd, v, vtR8, label, unit);
}

CMDERR Whole(GETPARCMD cmd, VPARAM& v, int32_t& field, const char* label, int32_t lo, int32_t hi, const char* unit) {
  if (cmd == parRead) {
    v.vt = vtI4, v.value.i4 = field;
    return cmdDone;
  }
  if (cmd == parWrite) {
    if (v.value.i4 < lo || v.value.i4 > hi) return cmdBadValue;
    field = v.value.i4;
    return cmdDone;
  }
  return common(cmd, v, vtI4, label, unit);
}

CMDERR Text(GETPARCMD cmd, VPARAM& v, std::string& field, const char* label) {
  if (cmd == parRead) {
    SetText(v, field);
    return cmdDone;
  }
  if (cmd == parWrite) {
    field = v.value.s ? v.value.s : "";
    return cmdDone;
  }
  return common(cmd, v, vtStr, label, "");
}

CMDERR Choice(GETPARCMD cmd, VPARAM& v, std::string& field, const char* label, std::initializer_list<const char*> words) {
  if (cmd == parWrite) {
    const char* w = v.value.s ? v.value.s : "";
    for (const char* word : words)
      if (strcasecmp(word, w) == 0) {
        field = word;
        return cmdDone;
      }
    return cmdBadValue;
  }
  return Text(cmd, v, field, label);
}

CMDERR ReadOnlyText(GETPARCMD cmd, VPARAM& v, std::string_view value, const char* label) {
  if (cmd == parWrite) return cmdBadValue;
  if (cmd == parRead) {
    SetText(v, value);
    return cmdDone;
  }
  return common(cmd, v, vtStr, label, "");
}

}  // namespace kvsetting
