// The vector search kernel, compiled once per instruction set (the including file names the
// namespace and the compiler flags select the set). Nothing here may call an inline function
// of a library header: the linker could merge it with another set's copy.
#include <immintrin.h>

#include <cstdint>

#include "ModMeas/EdgeSearchKernels.h"

namespace {

using edgesearch::MidWalk;
using edgesearch::WalkStop;

// Bits of the lanes that stop a search, per vector; kLaneBits bits per lane.
#if defined(__AVX512BW__)
constexpr int kBytes = 64;
template <int Op>
inline uint64_t stopBits(const int16_t* p, __m512i level) {
  const __m512i x = _mm512_loadu_si512(p);
  const __mmask32 go = Op == 0 ? _mm512_cmpgt_epi16_mask(x, level) : _mm512_cmplt_epi16_mask(x, level);
  return static_cast<uint32_t>(~go);
}
template <int Op>
inline uint64_t stopBits(const float* p, __m512 level) {
  constexpr int pred = Op == 0 ? _CMP_GT_OQ : Op == 1 ? _CMP_LT_OQ : Op == 2 ? _CMP_GE_OQ : _CMP_LE_OQ;
  return static_cast<uint16_t>(~_mm512_cmp_ps_mask(_mm512_loadu_ps(p), level, pred));
}
template <int Op>
inline uint64_t stopBits(const double* p, __m512d level) {
  constexpr int pred = Op == 0 ? _CMP_GT_OQ : Op == 1 ? _CMP_LT_OQ : Op == 2 ? _CMP_GE_OQ : _CMP_LE_OQ;
  return static_cast<uint8_t>(~_mm512_cmp_pd_mask(_mm512_loadu_pd(p), level, pred));
}
inline __m512i splat(int16_t x) { return _mm512_set1_epi16(x); }
inline __m512 splat(float x) { return _mm512_set1_ps(x); }
inline __m512d splat(double x) { return _mm512_set1_pd(x); }
inline __m512 load(const float* p) { return _mm512_loadu_ps(p); }
inline __m512d load(const double* p) { return _mm512_loadu_pd(p); }
inline bool anyNaN(__m512 x) { return _mm512_cmp_ps_mask(x, x, _CMP_UNORD_Q) != 0; }
inline bool anyNaN(__m512d x) { return _mm512_cmp_pd_mask(x, x, _CMP_UNORD_Q) != 0; }
template <class T>
constexpr int kLaneBits = 1;
#elif defined(__AVX2__)
constexpr int kBytes = 32;
template <int Op>
inline uint64_t stopBits(const int16_t* p, __m256i level) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i go = Op == 0 ? _mm256_cmpgt_epi16(x, level) : _mm256_cmpgt_epi16(level, x);
  return static_cast<uint32_t>(~_mm256_movemask_epi8(go));
}
template <int Op>
inline uint64_t stopBits(const float* p, __m256 level) {
  constexpr int pred = Op == 0 ? _CMP_GT_OQ : Op == 1 ? _CMP_LT_OQ : Op == 2 ? _CMP_GE_OQ : _CMP_LE_OQ;
  return ~_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(p), level, pred)) & 0xFFu;
}
template <int Op>
inline uint64_t stopBits(const double* p, __m256d level) {
  constexpr int pred = Op == 0 ? _CMP_GT_OQ : Op == 1 ? _CMP_LT_OQ : Op == 2 ? _CMP_GE_OQ : _CMP_LE_OQ;
  return ~_mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(p), level, pred)) & 0xFu;
}
inline __m256i splat(int16_t x) { return _mm256_set1_epi16(x); }
inline __m256 splat(float x) { return _mm256_set1_ps(x); }
inline __m256d splat(double x) { return _mm256_set1_pd(x); }
inline __m256 load(const float* p) { return _mm256_loadu_ps(p); }
inline __m256d load(const double* p) { return _mm256_loadu_pd(p); }
inline bool anyNaN(__m256 x) { return _mm256_movemask_ps(_mm256_cmp_ps(x, x, _CMP_UNORD_Q)) != 0; }
inline bool anyNaN(__m256d x) { return _mm256_movemask_pd(_mm256_cmp_pd(x, x, _CMP_UNORD_Q)) != 0; }
template <class T>
constexpr int kLaneBits = sizeof(T) == 2 ? 2 : 1;  // movemask_epi8 gives a bit per byte
#else
constexpr int kBytes = 16;
template <int Op>
inline uint64_t stopBits(const int16_t* p, __m128i level) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i go = Op == 0 ? _mm_cmpgt_epi16(x, level) : _mm_cmplt_epi16(x, level);
  return ~_mm_movemask_epi8(go) & 0xFFFFu;
}
template <int Op>
inline uint64_t stopBits(const float* p, __m128 level) {
  const __m128 x = _mm_loadu_ps(p);
  const __m128 go = Op == 0 ? _mm_cmpgt_ps(x, level) : Op == 1 ? _mm_cmplt_ps(x, level) : Op == 2 ? _mm_cmpge_ps(x, level) : _mm_cmple_ps(x, level);
  return ~_mm_movemask_ps(go) & 0xFu;
}
template <int Op>
inline uint64_t stopBits(const double* p, __m128d level) {
  const __m128d x = _mm_loadu_pd(p);
  const __m128d go = Op == 0 ? _mm_cmpgt_pd(x, level) : Op == 1 ? _mm_cmplt_pd(x, level) : Op == 2 ? _mm_cmpge_pd(x, level) : _mm_cmple_pd(x, level);
  return ~_mm_movemask_pd(go) & 0x3u;
}
inline __m128i splat(int16_t x) { return _mm_set1_epi16(x); }
inline __m128 splat(float x) { return _mm_set1_ps(x); }
inline __m128d splat(double x) { return _mm_set1_pd(x); }
inline __m128 load(const float* p) { return _mm_loadu_ps(p); }
inline __m128d load(const double* p) { return _mm_loadu_pd(p); }
inline bool anyNaN(__m128 x) { return _mm_movemask_ps(_mm_cmpunord_ps(x, x)) != 0; }
inline bool anyNaN(__m128d x) { return _mm_movemask_pd(_mm_cmpunord_pd(x, x)) != 0; }
template <class T>
constexpr int kLaneBits = sizeof(T) == 2 ? 2 : 1;
#endif

template <class T, int Op>
inline bool holds(T x, T level) {
  return Op == 0 ? x > level : Op == 1 ? x < level : Op == 2 ? x >= level : x <= level;
}

inline long lane(uint64_t bits, int laneBits) { return static_cast<long>(__builtin_ctzll(bits)) / laneBits; }

// Four vectors a step: the comparisons are cheap, the test of their union is the cost.
template <class T, int Op>
__attribute__((always_inline)) inline long find(const T* s, long from, long end, T level, double) {
  constexpr long w = kBytes / static_cast<long>(sizeof(T));
  constexpr int b = kLaneBits<T>;
  const auto l = splat(level);
  long p = from;
  // Most searches of a clock end within a vector: that one first, alone.
  if (p + w <= end) {
    if (const uint64_t m = stopBits<Op>(s + p, l)) return p + lane(m, b);
    p += w;
  }
  for (; p + 4 * w <= end; p += 4 * w) {
    const uint64_t m0 = stopBits<Op>(s + p, l), m1 = stopBits<Op>(s + p + w, l);
    const uint64_t m2 = stopBits<Op>(s + p + 2 * w, l), m3 = stopBits<Op>(s + p + 3 * w, l);
    // The vectors' bits side by side: a bit's index over the lane width is the position.
    constexpr int vb = static_cast<int>(w) * b;  // bits per vector, 32 at most
    if constexpr (vb <= 16) {
      if (const uint64_t m = m0 | m1 << vb | m2 << (2 * vb) | m3 << (3 * vb)) return p + lane(m, b);
    } else {
      const uint64_t low = m0 | m1 << 32, high = m2 | m3 << 32;
      if ((low | high) == 0) continue;
      return low ? p + lane(low, b) : p + 2 * w + lane(high, b);
    }
  }
  for (; p + w <= end; p += w)
    if (const uint64_t m = stopBits<Op>(s + p, l)) return p + lane(m, b);
  while (p < end && holds<T, Op>(s[p], level)) ++p;
  return p;
}

// The stop bits of 64 samples from p, a bit a sample: Op 0 where a sample is not above the
// level (L), Op 1 where it is not below it (H). A NaN sample is in both.
#if defined(__AVX512BW__)
template <int Op>
inline uint64_t wordBits(const int16_t* p, int16_t level) {
  const __m512i l = splat(level);
  return stopBits<Op>(p, l) | stopBits<Op>(p + 32, l) << 32;
}
// The comparisons' masks joined in the mask registers, low half first: no move to a general
// register, shift and or per vector.
template <int Op>
inline uint64_t wordBits(const float* p, float level) {
  const __m512 l = splat(level);
  auto go = [&](int k) { return _mm512_cmp_ps_mask(_mm512_loadu_ps(p + 16 * k), l, Op == 0 ? _CMP_GT_OQ : _CMP_LT_OQ); };
  const __mmask32 low = _mm512_kunpackw(go(1), go(0)), high = _mm512_kunpackw(go(3), go(2));
  return ~static_cast<uint64_t>(_mm512_kunpackd(high, low));
}
template <int Op>
inline uint64_t wordBits(const double* p, double level) {
  const __m512d l = splat(level);
  auto go = [&](int k) { return _mm512_cmp_pd_mask(_mm512_loadu_pd(p + 8 * k), l, Op == 0 ? _CMP_GT_OQ : _CMP_LT_OQ); };
  const __mmask16 a = _mm512_kunpackb(go(1), go(0)), b = _mm512_kunpackb(go(3), go(2));
  const __mmask16 c = _mm512_kunpackb(go(5), go(4)), d = _mm512_kunpackb(go(7), go(6));
  const __mmask32 low = _mm512_kunpackw(b, a), high = _mm512_kunpackw(d, c);
  return ~static_cast<uint64_t>(_mm512_kunpackd(high, low));
}
#elif defined(__AVX2__)
// Two vectors' 16-bit comparisons packed to bytes, back in sample order: a bit a sample.
template <int Op>
inline uint64_t stopPair(const int16_t* p, __m256i level) {
  const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16));
  const __m256i g0 = Op == 0 ? _mm256_cmpgt_epi16(x0, level) : _mm256_cmpgt_epi16(level, x0);
  const __m256i g1 = Op == 0 ? _mm256_cmpgt_epi16(x1, level) : _mm256_cmpgt_epi16(level, x1);
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(g0, g1), 0xD8);
  return static_cast<uint32_t>(~_mm256_movemask_epi8(packed));
}
template <int Op>
inline uint64_t wordBits(const int16_t* p, int16_t level) {
  const __m256i l = splat(level);
  return stopPair<Op>(p, l) | stopPair<Op>(p + 32, l) << 32;
}
#else
template <int Op>
inline uint64_t stopPair(const int16_t* p, __m128i level) {
  const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
  const __m128i g0 = Op == 0 ? _mm_cmpgt_epi16(x0, level) : _mm_cmplt_epi16(x0, level);
  const __m128i g1 = Op == 0 ? _mm_cmpgt_epi16(x1, level) : _mm_cmplt_epi16(x1, level);
  return ~_mm_movemask_epi8(_mm_packs_epi16(g0, g1)) & 0xFFFFu;
}
template <int Op>
inline uint64_t wordBits(const int16_t* p, int16_t level) {
  const __m128i l = splat(level);
  uint64_t m = 0;
  for (int k = 0; k < 4; ++k) m |= stopPair<Op>(p + 16 * k, l) << (16 * k);
  return m;
}
#endif
template <int Op, class T>
inline uint64_t wordBits(const T* p, T level) {
  constexpr int w = kBytes / static_cast<int>(sizeof(T));
  const auto l = splat(level);
  uint64_t m = 0;
  for (int k = 0; k < 64 / w; ++k) m |= stopBits<Op>(p + w * k, l) << (w * k);
  return m;
}

// Whether one of the 64 samples from p is NaN or infinite: x - x is 0 for every finite x and
// NaN otherwise, and a NaN stays in the sum.
template <class T>
inline bool anyNonFinite(const T* p) {
  constexpr int w = kBytes / static_cast<int>(sizeof(T)), v = 64 / w;  // 4 vectors at least
  auto a = load(p) - load(p), b = load(p + w) - load(p + w);
  auto c = load(p + 2 * w) - load(p + 2 * w), d = load(p + 3 * w) - load(p + 3 * w);
  for (int k = 4; k < v; k += 4) {  // four sums: no addition waits on the one before
    a += load(p + w * k) - load(p + w * k), b += load(p + w * (k + 1)) - load(p + w * (k + 1));
    c += load(p + w * (k + 2)) - load(p + w * (k + 2)), d += load(p + w * (k + 3)) - load(p + w * (k + 3));
  }
  return anyNaN((a + b) + (c + d));
}

// The same bits sample by sample, for the last part of a range.
template <class T>
inline void tailMasks(const T* p, long n, T lo, T hi, uint64_t& L, uint64_t& H) {
  L = H = 0;
  for (long i = 0; i < n; ++i) {
    L |= static_cast<uint64_t>(!holds<T, 0>(p[i], lo)) << i;
    H |= static_cast<uint64_t>(!holds<T, 1>(p[i], hi)) << i;
  }
}

// The latch over one word: q[i] is 1 when the last stop at or before sample i was an H (before
// the word, `in`). That is the carry chain q[i] = H[i] | (neither[i] & q[i-1]), so one addition
// gives it; the events are where the latch changes.
inline uint64_t latchEvents(uint64_t L, uint64_t H, uint64_t& in) {
  const uint64_t a = H | ~(L | H), b = H;
  uint64_t sum = 0, sum2 = 0;
  const bool c1 = __builtin_add_overflow(a, b, &sum);
  const bool c2 = __builtin_add_overflow(sum, in, &sum2);
  const uint64_t out = (c1 || c2) ? 1 : 0;
  const uint64_t q = ((sum2 ^ a ^ b) >> 1) | out << 63;
  const uint64_t events = q ^ (q << 1 | in);
  in = out;
  return events;
}

// x - x is 0 for every finite x and NaN otherwise; written so that the loop vectorises
// (g++ does so from -O3, clang already at -O2 and knows no per-function level).
#if defined(__clang__)
#define KV_VECTORISED
#else
#define KV_VECTORISED __attribute__((optimize("O3")))
#endif
template <class T>
KV_VECTORISED long countNonFinite(const T* s, long n) {
  long c = 0;
  for (long i = 0; i < n; ++i) c += (s[i] - s[i]) == 0 ? 0 : 1;
  return c;
}

// From the fire position back to the last sample on the near side of the mid level (never
// before the arm), and the crossing between it and the next sample: possibly not finite.
template <class T>
inline double interpolate(const T* s, long fire, long armed, double midLevel, bool rising) {
  long q = fire;
  if (rising)
    while (q > armed && static_cast<double>(s[q]) >= midLevel) --q;
  else
    while (q > armed && static_cast<double>(s[q]) <= midLevel) --q;
  const double a = static_cast<double>(s[q]), b = static_cast<double>(s[q + 1]);
  return static_cast<double>(q) + (midLevel - a) / (b - a);
}

// One half of the mid walk: armed at or below the arm level, fired at or above the fire level
// (the falling half mirrored), then the crossing of the mid level.
// Returns the fire position (> last: no more crossings); x the crossing, possibly not finite.
template <class T, bool Rising>
inline long crossing(const T* s, long p, long last, long end, T arm, T fire, double midLevel, double& x) {
  constexpr int armOp = Rising ? 0 : 1, fireOp = Rising ? 1 : 0;
  p = find<T, armOp>(s, p, end, arm, 0);
  if (p > last) return p;
  const long armed = p;
  p = find<T, fireOp>(s, p + 1, end, fire, 0);
  if (p > last) return p;
  x = interpolate(s, p, armed, midLevel, Rising);
  return p;
}

// Samples a block of the latch walk covers: its masks and events stay in the first cache.
constexpr int kBlockWords = 64;
constexpr long kPrefetchAhead = 4096;  // bytes
// How far the searches count non-finite samples ahead of themselves: a stretch that stays in
// the cache until they read it. The latch counts the words it reads.
constexpr long kCountAhead = 16384;

template <class T>
WalkStop midWalk(MidWalk<T>& w) {
  // Everything in locals: the stores to the list must not make the compiler read them again.
  const T* const s = w.s;
  const long last = w.last, end = w.end, next = w.next, capacity = w.capacity;
  const T riseArm = w.level[0], riseFire = w.level[1], fallArm = w.level[2], fallFire = w.level[3];
  const double riseMid = w.riseMid, fallMid = w.fallMid;
  const bool risingOnly = w.risingOnly, fallingOnly = w.fallingOnly;
  double* const out = w.out;
  long p = w.p, n = w.count;
  int32_t risen = 0, fallen = 0;
  // The count of non-finite samples, contiguous from where it stands (integers have none).
  long counted = w.counted, nonFinite = 0;
  auto countTo = [&](long to) {
    if constexpr (sizeof(T) != 2) {
      if (to > last + 1) to = last + 1;
      if (counted >= to) return;
      nonFinite += countNonFinite(s + counted, to - counted);
      counted = to;
    }
  };
  bool rising = w.seekRising;
  WalkStop why = WalkStop::Done;
  // The flag is read as the engine writes it: relaxed, a byte.
  const uint8_t* const abort = reinterpret_cast<const uint8_t*>(w.abort);
  auto stopAsked = [&](long at) { return (abort && __atomic_load_n(abort, __ATOMIC_RELAXED)) || at >= next; };

  // When every search stops either at a sample not above lo or at one not below hi, and no
  // number is both, the walk is a latch between the two: block by block, with no search
  // waiting on the one before. Otherwise (a fall mid of its own, no band) search by search.
  const T lo = fallingOnly ? fallFire : riseArm, hi = fallingOnly ? fallArm : riseFire;
  const bool latch = lo < hi && (risingOnly || fallingOnly || (fallFire == riseArm && fallArm == riseFire));
  // The search state the latch resumes from: the search that an event at `at` arms.
  auto seekAfter = [&](uint64_t wasHigh) { return risingOnly ? true : fallingOnly ? false : wasHigh == 0; };
  long searchUntil = -1;  // a NaN or a crossing that is not finite ahead: search by search to here
  int32_t events[kBlockWords * 64 + 4];

  while (p <= last) {
    if (latch && p >= searchUntil) {
      const long armed = rising ? find<T, 0>(s, p, end, lo, 0) : find<T, 1>(s, p, end, hi, 0);
      if (armed > last) {
        p = armed;
        break;
      }
      long prev = armed;                // the last event: the arm of the crossing under way
      uint64_t high = rising ? 0 : 1;   // the latch: the last event was an H
      long base = armed + 1;
      countTo(base);  // from here on each word is counted as it is read
      bool handBack = false;            // to the searches, from (p, rising)
      while (base <= last) {
        // Masks, latch and event positions word by word, so that the loads of the next words
        // overlap the work on this one. A word with a NaN ends the block before it.
        const uint64_t highBefore = high;
        long count = 0, b = base;
        bool nan = false;
        for (int k = 0; k < kBlockWords && b <= last; ++k, b += 64) {
          uint64_t lw = 0, hw = 0;
          // The loop does more than read, so fewer reads are in flight than the memory could
          // serve: the lines some way ahead are asked for now.
          for (int l = 0; l < static_cast<int>(sizeof(T)); ++l)
            __builtin_prefetch(reinterpret_cast<const char*>(s + b) + kPrefetchAhead + 64 * l);
          if (b + 64 <= last + 1) {
            if constexpr (sizeof(T) != 2) {
              if (counted < b + 64) {  // and counted >= b: the count is contiguous
                if (anyNonFinite(s + b)) nonFinite += countNonFinite(s + counted, b + 64 - counted);
                counted = b + 64;
              }
            }
            // Waiting for an H, a word without one holds no event (nor a NaN): passed over
            // after one comparison; the same for an L.
            if (high) {
              if (!(lw = wordBits<0>(s + b, lo))) continue;
              hw = wordBits<1>(s + b, hi);
            } else {
              if (!(hw = wordBits<1>(s + b, hi))) continue;
              lw = wordBits<0>(s + b, lo);
            }
          } else {
            countTo(last + 1);
            tailMasks(s + b, last + 1 - b, lo, hi, lw, hw);
          }
          if (lw & hw) {
            nan = true;
            break;
          }
          uint64_t e = latchEvents(lw, hw, high);
          // Four positions written whatever the count (the list has room): no branch a word.
          const int c = __builtin_popcountll(e);
          int32_t* o = events + count;
          const int32_t at = k * 64;
          for (int j = 0; j < 4; ++j, e &= e - 1) o[j] = at + __builtin_ctzll(e | 1ull << 63);
          for (int j = 4; e; ++j, e &= e - 1) o[j] = at + __builtin_ctzll(e);
          count += c;
        }
        if (b > last + 1) b = last + 1;
        if (nan) {  // a NaN stops either search: the searches take its word, after the events before it
          searchUntil = b + 64;
          handBack = true;
        }
        uint64_t state = highBefore;
        // The abort flag once a block: a list ends at the first crossing after an abort is
        // seen, as theirs does, and one asked for before the scan cuts both at the same place.
        const long stopAt = abort && __atomic_load_n(abort, __ATOMIC_RELAXED) ? 0 : next;
        for (long k = 0; k < count; ++k) {
          const long e = base + events[k];
          const bool up = state == 0;  // waiting for an H: the event is one
          if (up ? !fallingOnly : !risingOnly) {
            // The event sample is beyond the mid level (an H is at or above the rise fire
            // level, an L at or below the fall fire level): the step back takes it at once.
            const double x = interpolate(s, e - 1, prev, up ? riseMid : fallMid, up);
            if (!__builtin_isfinite(x) || n >= capacity) {
              // The searches decide what follows a crossing that is not finite; a full list
              // comes back to this crossing once it has grown.
              high = state;
              if (n >= capacity) why = WalkStop::Full;
              else searchUntil = e + 1;
              handBack = true;
              break;
            }
            out[n++] = x;
            ++(up ? risen : fallen);
            if (e >= stopAt) {
              prev = e, high = state ^ 1;
              why = WalkStop::Check;
              handBack = true;
              break;
            }
          }
          prev = e;
          state ^= 1;
        }
        if (handBack) break;
        base = b;
      }
      if (!handBack) {
        p = last + 1;
        break;
      }
      p = prev;
      rising = seekAfter(high);
      if (why != WalkStop::Done) break;
      continue;
    }
    const long from = p;
    if (counted <= p) countTo(p + kCountAhead);
    double x = 0;
    p = rising ? crossing<T, true>(s, p, last, end, riseArm, riseFire, riseMid, x)
               : crossing<T, false>(s, p, last, end, fallArm, fallFire, fallMid, x);
    if (p > last) break;
    if (__builtin_isfinite(x)) {  // a NaN sample gives no crossing; the search goes on
      if (n >= capacity) {
        p = from;
        why = WalkStop::Full;
        break;
      }
      out[n++] = x;
      ++(rising ? risen : fallen);
      if (rising ? !risingOnly : !fallingOnly) rising = !rising;
    }
    if (stopAsked(p)) {
      why = WalkStop::Check;
      break;
    }
  }
  w.p = p, w.count = n, w.seekRising = rising;
  w.counted = counted, w.nonFinite += nonFinite;
  w.rising += risen, w.falling += fallen;
  return why;
}

}  // namespace

namespace KV_SEARCH_NS {

const SearchKernels kKernels = {
    {find<int16_t, 0>, find<int16_t, 1>, nullptr, nullptr},
    {find<float, 0>, find<float, 1>, find<float, 2>, find<float, 3>},
    {find<double, 0>, find<double, 1>, find<double, 2>, find<double, 3>},
    countNonFinite<float>,
    countNonFinite<double>,
    midWalk<int16_t>,
    midWalk<float>,
    midWalk<double>,
};

}  // namespace KV_SEARCH_NS
