// The search kernel for SSE2; this file's compiler flags select the set.
#define KV_SEARCH_NS edgesearch_sse2
#include "ModMeas/EdgeSearchKernel.inl"
