// TextIO.bin: the module library's entry point; the variant picks the reader or the writer.
#include <strings.h>

#include "KvLib/Module.h"
#include "ModTextIO/TextReader.h"
#include "ModTextIO/TextWriter.h"

namespace {

// Any other variant makes nothing: the engine refuses the load.
CLocalData* create(const KvCreateBlock& block) {
  const char* kind = block.variant ? block.variant : "";
  if (strcasecmp(kind, "writer") == 0) return new CTextWriter(block);
  if (strcasecmp(kind, "reader") == 0 || *kind == '\0') return new CTextReader(block);
  return nullptr;
}

}  // namespace

KV_MODULE_ENTRY(create(block))
