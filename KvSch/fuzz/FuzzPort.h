#pragma once
// The engine side of the fuzz targets: one engine for the whole run, as in a session.

#include <dlfcn.h>

#include <string>

#include "KvSch/tests/EngineScript.h"

class CFuzzPort : public CEngineScript {
 public:
  CFuzzPort() : CEngineScript(KV_FUZZ_LIB_DIR) {
    // The modules stay mapped for the whole run: the engine unloads a module with its last
    // component, and the fuzzer goes on reading the coverage counters of every library.
    for (const char* m : {"Meas.bin", "Test.bin"})
      dlopen((std::string(KV_FUZZ_LIB_DIR) + "/" + m).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    engine.SetLogLevel(7);  // the log would grow by every input's errors for the whole run
  }
};
