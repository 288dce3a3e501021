// Filter.bin: the module library's entry point.
#include "ModFilter/Filter.h"

extern "C" __attribute__((visibility("default"))) int KvModEntry(void*, int msg, void* param) {
  if (msg == kModCreate && param) {
    auto* block = static_cast<KvCreateBlock*>(param);
    if (block->instance) *block->instance = new CFilter(*block);
  } else if (msg == kModDestroy && param) {
    delete static_cast<CLocalData*>(param);
  }
  return 1;
}
