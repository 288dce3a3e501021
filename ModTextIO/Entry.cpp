// TextIO.bin: the module library's entry point; the variant picks the reader or the writer.
#include <strings.h>

#include "ModTextIO/TextReader.h"
#include "ModTextIO/TextWriter.h"

extern "C" __attribute__((visibility("default"))) int KvModEntry(void*, int msg, void* param) {
  if (msg == kModCreate && param) {
    auto* block = static_cast<KvCreateBlock*>(param);
    const char* kind = block->variant ? block->variant : "";
    if (!block->instance) return 1;
    // Any other variant leaves the instance null: the engine refuses the load.
    if (strcasecmp(kind, "writer") == 0)
      *block->instance = new CTextWriter(*block);
    else if (strcasecmp(kind, "reader") == 0 || *kind == '\0')
      *block->instance = new CTextReader(*block);
  } else if (msg == kModDestroy && param) {
    delete static_cast<CLocalData*>(param);
  }
  return 1;
}
