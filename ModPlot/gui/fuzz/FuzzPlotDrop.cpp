// Any bytes as a text dropped on the plot display: both readings of it must stay within the
// text and give only what the rules allow.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ModPlot/gui/PlotDrop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const KvPlotDrop::Assignment& a : KvPlotDrop::ParseSettings(text)) {
    if (a.key != "main.hoffset" && a.key != "main.hscale") std::abort();
    // A value never reaches past its item.
    if (a.value.find(';') != std::string::npos || a.value.find('=') != std::string::npos) std::abort();
  }
  if (const auto m = KvPlotDrop::ParseMeasurements(text)) {
    if (m->comp.find(';') != std::string::npos) std::abort();
    for (const int32_t p : m->positions)
      if (p < 1 || p > 1000000) std::abort();
  }
  return 0;
}
