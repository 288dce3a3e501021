// Any saved-state text loads on a real engine (the project's modules on its library path)
// without crashing; every connection is mutual, and clearing the drawing leaves no
// component behind in the engine, whatever failed while loading.
#include <cstddef>
#include <cstdint>
#include <string>

#include "KvSch/SchDoc.h"
#include "KvSch/fuzz/FuzzPort.h"

namespace {
using Port = CFuzzPort;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Port* port = new Port();  // one engine for the whole run, as in a session
  CSchDoc doc;
  doc.SetEngine(port);
  doc.LoadState(reinterpret_cast<const char*>(data), size);
  for (int32_t i = 0; i < doc.Count(); ++i) {
    const CSchObj* o = doc.At(i);
    for (int32_t k = 0; k < o->ConnectionCount(); ++k) {
      const CSchObj* p = o->Connection(k);
      if (p && !p->IsConnected(o)) __builtin_trap();
    }
  }
  doc.Clear();
  if (port->engine.Components().Count() != 0) __builtin_trap();
  return 0;
}
