#include "KvDll/dbg.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<KvErrReportFn> g_errReport{nullptr};
std::atomic<long> g_failCountdown{0};

void writeDebugLine(long site, long, long line, const char* message, const char* unit) {
  std::fprintf(stderr, "%s(%ld): %s [site %ld]\n", unit, line, message, site);
}
std::atomic<KvErrReportFn> g_debugReport{writeDebugLine};

// True when the test aid says this allocation is the one to fail.
bool injectFailure() {
  long n = g_failCountdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed))
      return n == 1;
  }
  return false;
}
}  // namespace

extern "C" void* _malloc_dbg2(size_t size, int, const char*, int) {
  if (injectFailure()) return nullptr;
  return std::malloc(size ? size : 1);
}

extern "C" void* _realloc_dbg2(void* p, size_t size, int, const char*, int) {
  if (injectFailure()) return nullptr;
  return std::realloc(p, size ? size : 1);
}

extern "C" void _free_dbg2(void* p, int) { std::free(p); }

KvErrReportFn KvSetErrReport(KvErrReportFn fn) { return g_errReport.exchange(fn); }

KvErrReportFn KvGetErrReport() { return g_errReport.load(); }

void KvErrReport(long site, long line, const char* message, const char* unit) {
  if (KvErrReportFn fn = g_errReport.load()) fn(site, 0, line, message ? message : "", unit ? unit : "");
}

void KvHeapFailAfter(long n) { g_failCountdown.store(n < 0 ? 0 : n, std::memory_order_relaxed); }

KvErrReportFn KvSetDebugReport(KvErrReportFn fn) { return g_debugReport.exchange(fn ? fn : writeDebugLine); }

void KvDebugReport(long site, long line, const char* message, const char* unit) {
  g_debugReport.load()(site, 0, line, message ? message : "", unit ? unit : "");
}
