// Any symbol text parses without crashing into items that belong to the component, pins
// numbered 1, 2, 3 ... in symbol order, or into no items at all when the numbering fails.
#include <cstddef>
#include <cstdint>
#include <string>

#include "KvSch/SchMod.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CSchMod m;
  m.SetPosition({kSchCoordMax, -kSchCoordMax});
  CStr bad;
  const bool ok = m.ParseSymbol(text.c_str(), &bad);
  if (ok != bad.IsEmpty()) __builtin_trap();
  if (!ok && m.ItemCount() != 0) __builtin_trap();
  int32_t pins = 0;
  for (int32_t i = 0; i < m.ItemCount(); ++i) {
    const CSchObj* o = m.Item(i);
    if (o->Parent() != &m) __builtin_trap();
    if (o->Kind() == skPin) {
      const auto* p = static_cast<const CSchPin*>(o);
      if (p->Number() != ++pins) __builtin_trap();
      const SchPoint c = p->ConnectionPoint();
      if (c.x < -kSchCoordMax || c.x > kSchCoordMax || c.y < -kSchCoordMax || c.y > kSchCoordMax) __builtin_trap();
      if (m.Pin(pins) != p) __builtin_trap();
    }
    (void)o->Distance({0, 0});
  }
  if (pins != m.PinCount()) __builtin_trap();
  return 0;
}
