#pragma once
// Answers of one component setting to the engine's requests (read, write, describe, label,
// unit), for the kinds modules keep in plain fields: a number with limits, a whole number,
// free text, a text from a fixed list, and read-only text.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "KvDll/VParam.h"

namespace kvsetting {

// Fills a text reply (the CStr the request points at, if any).
void SetText(VPARAM& v, std::string_view text);

CMDERR Real(GETPARCMD cmd, VPARAM& v, double& field, const char* label, const char* unit = "",
            double lo = -HUGE_VAL, double hi = HUGE_VAL);
CMDERR Whole(GETPARCMD cmd, VPARAM& v, int32_t& field, const char* label, int32_t lo = INT32_MIN,
             int32_t hi = INT32_MAX, const char* unit = "");
CMDERR Text(GETPARCMD cmd, VPARAM& v, std::string& field, const char* label);
// A write must match one of the words (without regard to case); the field keeps its spelling.
CMDERR Choice(GETPARCMD cmd, VPARAM& v, std::string& field, const char* label,
              std::initializer_list<const char*> words);
CMDERR ReadOnlyText(GETPARCMD cmd, VPARAM& v, std::string_view value, const char* label = "");

}  // namespace kvsetting
