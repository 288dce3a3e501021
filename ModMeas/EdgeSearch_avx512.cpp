// The search kernel for AVX512; this file's compiler flags select the set.
#define KV_SEARCH_NS edgesearch_avx512
#include "ModMeas/EdgeSearchKernel.inl"
