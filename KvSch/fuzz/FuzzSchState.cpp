// Any saved-state text loads without crashing into a drawing whose connections are mutual;
// what that drawing saves loads back into a drawing that saves the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "KvSch/SchDoc.h"

namespace {
void CheckMutual(const CSchDoc& doc) {
  for (int32_t i = 0; i < doc.Count(); ++i) {
    const CSchObj* o = doc.At(i);
    for (int32_t k = 0; k < o->ConnectionCount(); ++k) {
      const CSchObj* p = o->Connection(k);
      if (p && (!p->IsConnected(o) || doc.IndexOf(p) < 0)) __builtin_trap();
    }
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSchDoc doc;
  doc.LoadState(reinterpret_cast<const char*>(data), size);
  CheckMutual(doc);
  const CStr first = doc.SaveState();
  doc.LoadState(first);
  CheckMutual(doc);
  const CStr second = doc.SaveState();
  if (first != second) __builtin_trap();
  return 0;
}
