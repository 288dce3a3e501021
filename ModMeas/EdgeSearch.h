#pragma once
// The one search seam of the edge detector: from a position on, the first sample at which
// "sample <op> level" stops holding (a NaN sample always stops it). Every search loop of the
// scan goes through it. The machine's widest instruction set is used (SSE2, AVX2, AVX-512);
// the plain scalar loop, comparing in double as the scan always did, is the reference and
// can be forced like every other target, so tests compare them.

#include <cstdint>

enum class SearchTarget : int32_t { Scalar, Sse2, Avx2, Avx512 };

enum SearchOp : int32_t {
  whileAbove,      // sample > level
  whileBelow,      // sample < level
  whileAtOrAbove,  // sample >= level
  whileAtOrBelow,  // sample <= level
};

namespace edgesearch {

bool Supported(SearchTarget t);
// The target new searches use; Force picks one (false, and no change, when unsupported).
SearchTarget Current();
bool Force(SearchTarget t);
const char* Name(SearchTarget t);

template <class T>
using FindFn = long (*)(const T* s, long from, long end, T level, double raw);

// One condition with its level converted once to the sample type.
template <class T>
struct Search {
  FindFn<T> fn;
  T level;
  double raw;
  // The first position in [from, end) where the condition fails; end when it holds throughout.
  long operator()(const T* s, long from, long end) const { return fn(s, from, end, level, raw); }
};

// raw: the level in raw sample units, strictly inside the sample type's range.
template <class T>
Search<T> Make(SearchOp op, double raw);

// NaN and infinite samples among s[0 .. n-1].
template <class T>
long CountNonFinite(const T* s, long n);

}  // namespace edgesearch
