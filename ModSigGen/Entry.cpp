// SigGen.bin: the module library's entry point.
#include "KvLib/Module.h"
#include "ModSigGen/SigGen.h"

KV_MODULE_ENTRY(new CSigGen(block))
