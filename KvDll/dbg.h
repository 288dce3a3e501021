#pragma once
// The shared heap and the error-report channel of every native part.
//
// Memory that crosses a library boundary (string buffers, argument lists, buffers handed
// between the engine and modules) is allocated and freed through these three functions so
// that whichever library frees a block uses the heap that allocated it.
//
// Internal inconsistencies and allocation failures are reported as one record (site number,
// line, message, source unit such as "KvDll/Str") to an installable function. While none is
// installed the record is dropped; a report never ends the process. Any thread.

#include <cstddef>

extern "C" {
void* _malloc_dbg2(size_t size, int blockType, const char* file, int line);
void* _realloc_dbg2(void* p, size_t size, int blockType, const char* file, int line);
void _free_dbg2(void* p, int blockType);
}

// The error-report entry: (site, vbErr = 0, line, message, unit).
using KvErrReportFn = void (*)(long site, long vbErr, long line, const char* message, const char* unit);

// Installs fn (null removes it); returns the previous entry.
KvErrReportFn KvSetErrReport(KvErrReportFn fn);
KvErrReportFn KvGetErrReport();
// Sends one report to the installed entry, if any.
void KvErrReport(long site, long line, const char* message, const char* unit);

// The engine's own internal errors go to the debug-report sink rather than the log: by
// default one line on standard error; tests may install their own sink. Returns the previous.
KvErrReportFn KvSetDebugReport(KvErrReportFn fn);
void KvDebugReport(long site, long line, const char* message, const char* unit);

// Test aid: the n-th allocation from now on (1 = the next one) fails, as if the heap were
// exhausted; 0 switches the failure off. Lets tests reach "Insufficient memory" paths.
void KvHeapFailAfter(long n);

#define KV_MALLOC(n) _malloc_dbg2((n), 1, __FILE__, __LINE__)
#define KV_REALLOC(p, n) _realloc_dbg2((p), (n), 1, __FILE__, __LINE__)
#define KV_FREE(p) _free_dbg2((p), 1)
