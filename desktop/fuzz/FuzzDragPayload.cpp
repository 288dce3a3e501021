// A drop may carry anything another program puts there: any bytes must parse without a
// fault, and an id read back must write the same payload again.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "desktop/ShowRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const long id = ParseDragPayload(text);
  if (id < -1) std::abort();
  if (id >= 0 && ParseDragPayload(DragPayload(id)) != id) std::abort();
  return 0;
}
