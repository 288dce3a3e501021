// The search kernel for AVX2; this file's compiler flags select the set.
#define KV_SEARCH_NS edgesearch_avx2
#include "ModMeas/EdgeSearchKernel.inl"
