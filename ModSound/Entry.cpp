// Sound.bin: the module library's entry point; the variant picks recording or playing.
#include <strings.h>

#include "KvLib/Module.h"
#include "ModSound/Sound.h"

namespace {

// Any other variant makes nothing: the engine refuses the load.
CLocalData* create(const KvCreateBlock& block) {
  const char* kind = block.variant ? block.variant : "";
  if (strcasecmp(kind, "in") == 0) return new CSoundIn(block);
  if (strcasecmp(kind, "out") == 0) return new CSoundOut(block);
  return nullptr;
}

}  // namespace

KV_MODULE_ENTRY(create(block))
