// The engine's "show" text comes from scripts and setup files: any bytes must parse without
// a fault, and a position read must be a finite number.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "desktop/ShowRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ShowRequest r = ParseShowRequest(std::string(reinterpret_cast<const char*>(data), size));
  if ((r.left && !std::isfinite(*r.left)) || (r.top && !std::isfinite(*r.top))) std::abort();
  if (r.comp.empty() != r.panel.empty()) std::abort();
  return 0;
}
