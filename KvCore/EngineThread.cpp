#include "KvCore/EngineThread.h"

#include <cstdio>
#include <cstdlib>

void CEngineThread::fail(const char* where) {
  std::fprintf(stderr, "KvCore: %s called from a thread other than the engine's\n", where);
  std::abort();
}
