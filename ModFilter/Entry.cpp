// Filter.bin: the module library's entry point.
#include "KvLib/Module.h"
#include "ModFilter/Filter.h"

KV_MODULE_ENTRY(new CFilter(block))
