#pragma once
// CModule: a component base for module writers. Besides its settings and ports, every
// component answers these read-only names (the engine and the panels ask for them):
//   "settings"  the settings a setup saves and sys.state lists, joined by ","
//   "iports"    the input ports, joined by ","     "oports"  the output ports
//   "functions" the functions a script may call    "version" the component's version text
//   "symbol"    the schematic symbol's drawing     "gui.names" its panels ("" for none)
// StandardText answers them from one record; NoArgumentFun describes and calls functions that
// take no argument and give no result. The thread rules of CLocalData hold: the engine
// serialises every call into one instance, so these need no lock.
//
// A module library's entry point is one line: KV_MODULE_ENTRY(new CMyComponent(block)),
// where the expression makes the instance from `block` (a KvCreateBlock), or null to refuse.

#include <initializer_list>
#include <string>

#include "KvLib/LocalData.h"

class CModule : public CLocalData {
 public:
  struct Texts {
    std::string settings, iports, oports, functions, version, symbol, guiNames;
  };

  using CLocalData::CLocalData;

 protected:
  // The standard names from t; cmdNotServed for any other name.
  static CMDERR StandardText(GETPARCMD cmd, const char* name, VPARAM& v, const Texts& t);
  // When name is one of the functions: describes it (FunInfo) or calls it (Fun). cmdNotServed
  // for any other name.
  template <class Call>
  CMDERR NoArgumentFun(const char* name, VPARAMS& a, bool describe, std::initializer_list<const char*> names,
                       Call call) {
    for (const char* n : names) {
      if (!isName(name, n)) continue;
      if (describe) return describeNoArguments(a);
      call(n);
      return cmdDone;
    }
    return cmdNotServed;
  }

 private:
  static bool isName(const char* name, const char* n);
  static CMDERR describeNoArguments(VPARAMS& a);
};

#define KV_MODULE_ENTRY(create)                                                                     \
  extern "C" __attribute__((visibility("default"))) int KvModEntry(void*, int msg, void* param) { \
    if (msg == kModCreate && param) {                                                              \
      const KvCreateBlock& block = *static_cast<KvCreateBlock*>(param);                            \
      if (block.instance) *block.instance = (create);                                              \
    } else if (msg == kModDestroy && param) {                                                      \
      delete static_cast<CLocalData*>(param);                                                      \
    }                                                                                              \
    return 1;                                                                                      \
  }
