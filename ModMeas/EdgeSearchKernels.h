#pragma once
// The kernels of one instruction set, as the dispatcher sees them (private to the search).
#include <cstdint>

#include "ModMeas/EdgeSearch.h"

struct SearchKernels {
  long (*i2[4])(const int16_t*, long, long, int16_t, double);  // only the strict conditions
  long (*r4[4])(const float*, long, long, float, double);
  long (*r8[4])(const double*, long, long, double, double);
  long (*nonFiniteR4)(const float*, long);
  long (*nonFiniteR8)(const double*, long);
  edgesearch::WalkStop (*walkI2)(edgesearch::MidWalk<int16_t>&);
  edgesearch::WalkStop (*walkR4)(edgesearch::MidWalk<float>&);
  edgesearch::WalkStop (*walkR8)(edgesearch::MidWalk<double>&);
};

namespace edgesearch_sse2 { extern const SearchKernels kKernels; }
namespace edgesearch_avx2 { extern const SearchKernels kKernels; }
namespace edgesearch_avx512 { extern const SearchKernels kKernels; }
