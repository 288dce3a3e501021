// Plot.bin: the module library's entry point; the variant is the number of inputs.
#include "KvLib/Module.h"
#include "ModPlot/Plot.h"

namespace {

// "plot" has 4 inputs, "plot.N" N (1 to 16); any other variant makes nothing.
CLocalData* create(const KvCreateBlock& block) {
  const int n = CPlot::InputsOf(block.variant);
  return n ? new CPlot(block, n) : nullptr;
}

}  // namespace

KV_MODULE_ENTRY(create(block))
