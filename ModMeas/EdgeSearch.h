#pragma once
// The one search seam of the edge detector: from a position on, the first sample at which
// "sample <op> level" stops holding (a NaN sample always stops it). Every search loop of the
// scan goes through it. The machine's widest instruction set is used (SSE2, AVX2, AVX-512);
// the plain scalar loop, comparing in double as the scan always did, is the reference and
// can be forced like every other target, so tests compare them.

#include <atomic>
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

// The mid-crossing walk of a scan, run whole by a vector target: the same crossings, the same
// step back to the last sample before the mid level and the same interpolation as the scan's
// own loop, without a call per search. Where the arm and fire levels of both polarities are
// two levels (one mid for both, a band), the walk is a latch over 64 samples at a time;
// otherwise, and around NaN samples, it searches as the loop does. It returns to the scan when its list is full (the
// edge under way is found again on the next call), when the position reaches the progress
// mark or an abort is asked for, and at the end of the range.
template <class T>
struct MidWalk {
  const T* s;
  long last, end;  // the range ends at last; the sentinels end every search before end
  // Rise arm (above), rise fire (below), fall arm (below), fall fire (above): the levels of
  // the four searches as Make gives them.
  T level[4];
  double riseMid, fallMid;  // the raw mid levels that interpolate
  bool risingOnly, fallingOnly;  // one polarity sought, the other never
  const std::atomic<uint8_t>* abort;  // may be null
  long next;                          // the progress mark
  double* out;
  long count, capacity;
  long p;  // where the walk goes on
  bool seekRising;
  int32_t rising, falling;
  // The non-finite samples before `counted` are counted; the walk counts on from there as it
  // reads (never before counted, never past last), adding to nonFinite.
  long counted, nonFinite;
};

enum class WalkStop : int32_t { Done, Full, Check };

template <class T>
using WalkFn = WalkStop (*)(MidWalk<T>& w);

// The walk of the current target; null for the scalar reference, which the scan runs itself.
template <class T>
WalkFn<T> MidWalker();

// NaN and infinite samples among s[0 .. n-1].
template <class T>
long CountNonFinite(const T* s, long n);

}  // namespace edgesearch
