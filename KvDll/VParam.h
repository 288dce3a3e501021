#pragma once
// The value records, request codes and result codes through which every setting, port and
// function of a component is described, read, written and called.

#include <cstdint>

class CStr;

// Request codes of a component's Settings operation.
enum GETPARCMD : int32_t {
  parRead = 0,
  parWrite = 1,
  parDescribe = 2,
  parLabel = 3,
  parUnit = 4,
  parPortDep = 5,  // for an output port: the input ports its computation concerns
  parEvaluate = 6, // for an output port: compute, then answer as read
};

// Result of a request.
enum CMDERR : int32_t {
  cmdNotServed = 0,  // not found or not implemented
  cmdDone = 1,
  cmdBadValue = 2,
  cmdWrongKind = 6,
  cmdInitFailed = 7,
};

// Kinds in a describe reply (and 7 marking an optional function argument).
enum : int32_t {
  kindNone = 0,
  kindSetting = 1,
  kindInPort = 2,
  kindOutPort = 3,
  kindAction = 5,
  kindOptional = 7,
  kindSysVar = 17,
};

// Value type codes.
enum : int32_t {
  vtEmpty = 0,
  vtI2 = 2,
  vtI4 = 3,
  vtR4 = 4,
  vtR8 = 5,
  vtError = 10,  // the value holds the module's result; 0 = not implemented
  vtStr = 16390,   // text in a CStr
  vtPStr = 16400,  // pointer to NUL-terminated text
  vtBfr = 76,
  vtTrgBfr = 81,
  vtOmitted = 85,
};

// One value, 16 bytes: kind, type, and the value by type.
struct VPARAM {
  int32_t kind = 0;
  int32_t vt = 0;
  union Value {
    int16_t i2;
    int32_t i4;
    float r4;
    double r8;
    void* p;
    const char* s;  // text to write
    CStr* str;      // text to read into
    int64_t raw;
  } value{.raw = 0};
};
static_assert(sizeof(VPARAM) == 16, "VPARAM is a 16-byte record");

// An argument list; params comes from the shared heap and is replaced by a describe request.
struct VPARAMS {
  int32_t count = 0;
  int32_t reserved1 = 0;
  VPARAM* params = nullptr;
  int32_t reserved2 = 0;
  VPARAM result;
};
