// Meas.bin: the module library's entry point.
#include "KvLib/Module.h"
#include "ModMeas/MeasIn.h"

KV_MODULE_ENTRY(CMeasIn::KnownKind(block.variant) ? new CMeasIn(block) : nullptr)
