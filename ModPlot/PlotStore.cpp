#include "ModPlot/PlotStore.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "KvDll/JMisc.h"

namespace {

size_t elementSize(enumBfrType t) {
  switch (t) {
    case bfrI2: return 2;
    case bfrI4: return 4;
    case bfrR4: return 4;
    case bfrR8: return 8;
    case bfrI1: return 1;
    case bfrU1: return 1;
    case bfrXY:
    case bfrIntervals: return 8;
    default: return 0;
  }
}

// Calls f with the typed element array of r.
template <class F>
void visit(const PlotRecord& r, F&& f) {
  const void* p = r.raw.data();
  switch (r.type) {
    case bfrI2: f(static_cast<const int16_t*>(p)); break;
    case bfrI4: f(static_cast<const int32_t*>(p)); break;
    case bfrR4: f(static_cast<const float*>(p)); break;
    case bfrR8:
    case bfrXY:
    case bfrIntervals: f(static_cast<const double*>(p)); break;
    case bfrI1: f(static_cast<const int8_t*>(p)); break;
    case bfrU1: f(static_cast<const uint8_t*>(p)); break;
    default: break;
  }
}

// Every finite physical value, in order.
template <class F>
void forEachValue(const PlotRecord& r, F&& f) {
  const double s = r.scale, o = r.offset;
  visit(r, [&](const auto* p) {
    for (size_t i = 0; i < r.count; ++i) {
      const double v = static_cast<double>(p[i]) * s + o;
      if (std::isfinite(v)) f(v);
    }
  });
}

#if defined(__SSE2__)
// The finite extremes of doubles or floats, two or four lanes at a time: the compiler keeps a
// floating-point min/max reduction scalar (NaN rules), and a long record is scanned per frame.
template <class T>
size_t simdRange(const T* p, size_t i, size_t i1, T& mn, T& mx) {
  size_t n = 0;
  if constexpr (std::is_same_v<T, double>) {
    const __m128d abs = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL)), big = _mm_set1_pd(DBL_MAX);
    const __m128d pinf = _mm_set1_pd(HUGE_VAL), ninf = _mm_set1_pd(-HUGE_VAL);
    __m128d lo = pinf, hi = ninf, lo2 = pinf, hi2 = ninf;
    // Two chains of accumulators: each min waits for the one before it.
    for (; i + 4 <= i1; i += 4) {
      const __m128d v = _mm_loadu_pd(p + i), w = _mm_loadu_pd(p + i + 2);
      const __m128d ok = _mm_cmple_pd(_mm_and_pd(v, abs), big);  // false for NaN and both infinities
      const __m128d ok2 = _mm_cmple_pd(_mm_and_pd(w, abs), big);
      lo = _mm_min_pd(lo, _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, pinf)));
      hi = _mm_max_pd(hi, _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, ninf)));
      lo2 = _mm_min_pd(lo2, _mm_or_pd(_mm_and_pd(ok2, w), _mm_andnot_pd(ok2, pinf)));
      hi2 = _mm_max_pd(hi2, _mm_or_pd(_mm_and_pd(ok2, w), _mm_andnot_pd(ok2, ninf)));
      n += static_cast<size_t>(__builtin_popcount(_mm_movemask_pd(ok) | _mm_movemask_pd(ok2) << 2));
    }
    for (; i + 2 <= i1; i += 2) {
      const __m128d v = _mm_loadu_pd(p + i);
      const __m128d ok = _mm_cmple_pd(_mm_and_pd(v, abs), big);
      lo = _mm_min_pd(lo, _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, pinf)));
      hi = _mm_max_pd(hi, _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, ninf)));
      n += static_cast<size_t>(__builtin_popcount(_mm_movemask_pd(ok)));
    }
    lo = _mm_min_pd(lo, lo2);
    hi = _mm_max_pd(hi, hi2);
    alignas(16) double l[2], h[2];
    _mm_store_pd(l, lo);
    _mm_store_pd(h, hi);
    mn = std::min({mn, l[0], l[1]});
    mx = std::max({mx, h[0], h[1]});
  } else {
    const __m128 abs = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)), big = _mm_set1_ps(FLT_MAX);
    const __m128 pinf = _mm_set1_ps(HUGE_VALF), ninf = _mm_set1_ps(-HUGE_VALF);
    __m128 lo = pinf, hi = ninf;
    for (; i + 4 <= i1; i += 4) {
      const __m128 v = _mm_loadu_ps(p + i);
      const __m128 ok = _mm_cmple_ps(_mm_and_ps(v, abs), big);
      lo = _mm_min_ps(lo, _mm_or_ps(_mm_and_ps(ok, v), _mm_andnot_ps(ok, pinf)));
      hi = _mm_max_ps(hi, _mm_or_ps(_mm_and_ps(ok, v), _mm_andnot_ps(ok, ninf)));
      n += static_cast<size_t>(__builtin_popcount(_mm_movemask_ps(ok)));
    }
    alignas(16) float l[4], h[4];
    _mm_store_ps(l, lo);
    _mm_store_ps(h, hi);
    mn = std::min({mn, l[0], l[1], l[2], l[3]});
    mx = std::max({mx, h[0], h[1], h[2], h[3]});
  }
  return n;
}
#endif

// The raw extremes of p[i0, i1); false when no element is finite. This is the loop a frame of
// a long record spends its time in: integers vectorise as written, floating point above.
// With `finite`, also counts the finite elements.
template <class T>
bool rawRange(const T* p, size_t i0, size_t i1, double& lo, double& hi, size_t* finite = nullptr) {
  if constexpr (std::is_floating_point_v<T>) {
    T mn = std::numeric_limits<T>::infinity(), mx = -std::numeric_limits<T>::infinity();
    constexpr T big = std::numeric_limits<T>::max();
    size_t n = 0, i = i0;
#if defined(__SSE2__)
    if (i1 > i0) {
      const size_t lanes = 16 / sizeof(T);
      n = simdRange(p, i, i0 + (i1 - i0) / lanes * lanes, mn, mx);
      i = i0 + (i1 - i0) / lanes * lanes;
    }
#endif
    for (; i < i1; ++i) {
      const T v = p[i];
      const bool ok = std::fabs(v) <= big;  // false for NaN and both infinities
      mn = ok && v < mn ? v : mn;
      mx = ok && v > mx ? v : mx;
      n += ok;
    }
    if (finite) *finite = n;
    if (!(mn <= mx)) return false;
    lo = mn, hi = mx;
  } else {
    if (finite) *finite = i1 > i0 ? i1 - i0 : 0;
    if (i0 >= i1) return false;
    T mn = std::numeric_limits<T>::max(), mx = std::numeric_limits<T>::lowest();
    for (size_t i = i0; i < i1; ++i) {
      const T v = p[i];
      mn = v < mn ? v : mn;
      mx = v > mx ? v : mx;
    }
    lo = mn, hi = mx;
  }
  return true;
}

// Raw extremes to physical ones (a negative scale swaps them); false when not finite.
bool physical(const PlotRecord& r, double rlo, double rhi, double& lo, double& hi) {
  double a = rlo * r.scale + r.offset, b = rhi * r.scale + r.offset;
  if (a > b) std::swap(a, b);
  if (!std::isfinite(a) || !std::isfinite(b)) return false;
  lo = a, hi = b;
  return true;
}

// The first index whose position a x i + b is not below px, within [0, n].
size_t firstIndexAt(double px, double a, double b, size_t n) {
  const double i = std::ceil((px - b) / a);
  if (!(i > 0)) return 0;  // also NaN
  return i >= static_cast<double>(n) ? n : static_cast<size_t>(i);
}

}  // namespace

void PlotRecord::Clear() {
  type = bfrEmpty;
  count = 0;
  scale = 1, offset = 0, interval = 1;
  // The storage stays: the next record of a similar size needs no new allocation.
}

double PlotRecord::Value(size_t i) const {
  if (i >= count) return NAN;
  double v = NAN;
  visit(*this, [&](const auto* p) { v = static_cast<double>(p[i]) * scale + offset; });
  return v;
}

bool PlotRecord::TimeSpan(double& first, double& last) const {
  if (Empty()) return false;
  if (type == bfrXY) {
    first = x.front(), last = x[count - 1];
  } else if (type == bfrIntervals) {
    first = x.front() * interval, last = x2[count - 1] * interval;
  } else {
    first = 0, last = static_cast<double>(count) * interval;
  }
  return std::isfinite(first) && std::isfinite(last);
}

bool PlotTypeSupported(enumBfrType t) { return elementSize(t) != 0; }

bool PlotCopyRecord(const CBfr& b, PlotRecord& r) {
  r.Clear();
  const size_t size = elementSize(b.type);
  if (!size) return false;
  // A record that claims samples without storage holds none, and never more than its storage
  // was sized for: what lies past it is not the producer's to give.
  size_t n = b.count > 0 && b.data && (b.type != bfrXY || b.data2) && (b.type != bfrIntervals || (b.data2 && b.data3))
                 ? static_cast<size_t>(b.count)
                 : 0;
  if (b.capacity > 0) n = std::min(n, static_cast<size_t>(b.capacity));
  r.raw.resize(n * size);
  if (n) std::memcpy(r.raw.data(), b.data, n * size);
  if (b.type == bfrXY || b.type == bfrIntervals) {
    r.x.assign(static_cast<const double*>(b.data2), static_cast<const double*>(b.data2) + n);
    if (b.type == bfrIntervals) r.x2.assign(static_cast<const double*>(b.data3), static_cast<const double*>(b.data3) + n);
  }
  r.type = b.type;
  r.count = n;
  r.scale = b.scale;
  r.offset = b.offset;
  r.interval = b.interval;
  return true;
}

PlotStats PlotComputeRange(const PlotRecord& r) {
  PlotStats s;
  double lo = 0, hi = 0;
  bool any = false;
  size_t finite = 0;
  visit(r, [&](const auto* p) { any = rawRange(p, 0, r.count, lo, hi, &finite); });
  // A finite raw value stays finite once scaled unless the scale or the extremes overflow.
  if (any && std::isfinite(r.scale) && std::isfinite(r.offset) && physical(r, lo, hi, s.min, s.max)) {
    s.count = finite;
  } else if (any) {
    // The raw extremes overflow once scaled: find the finite physical ones the slow way.
    s.min = HUGE_VAL, s.max = -HUGE_VAL;
    forEachValue(r, [&](double v) {
      ++s.count;
      s.min = std::min(s.min, v), s.max = std::max(s.max, v);
    });
  }
  if (!s.count) s.min = s.max = 0;
  return s;
}

PlotStats PlotComputeStats(const PlotRecord& r) {
  PlotStats s;
  double sum = 0;
  s.min = HUGE_VAL, s.max = -HUGE_VAL;
  forEachValue(r, [&](double v) {
    ++s.count;
    sum += v;
    s.min = std::min(s.min, v), s.max = std::max(s.max, v);
  });
  if (!s.count) return PlotStats{};
  s.mean = sum / static_cast<double>(s.count);
  // About the mean, in a second pass: one pass of squares loses the spread of a large offset.
  double sq = 0;
  forEachValue(r, [&](double v) { sq += (v - s.mean) * (v - s.mean); });
  s.stddev = std::sqrt(sq / static_cast<double>(s.count));
  return s;
}

std::vector<int64_t> PlotHistogram(const PlotRecord& r, int bins) {
  const PlotStats s = PlotComputeRange(r);
  if (!s.count || bins < 1) return {};
  if (!(s.max > s.min)) return {static_cast<int64_t>(s.count)};
  std::vector<int64_t> h(static_cast<size_t>(bins), 0);
  const double k = bins / (s.max - s.min);
  const size_t last = static_cast<size_t>(bins) - 1;
  forEachValue(r, [&](double v) {
    const double at = (v - s.min) * k;
    const size_t bin = at >= static_cast<double>(last) ? last : at > 0 ? static_cast<size_t>(at) : 0;
    ++h[bin];
  });
  return h;
}

void PlotColumnsByIndex(const PlotRecord& r, double a, double b, int width, std::vector<double>& lo,
                        std::vector<double>& hi) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  lo.assign(w, NAN);
  hi.assign(w, NAN);
  if (r.Empty() || !(a > 0) || !std::isfinite(a) || !std::isfinite(b)) return;
  visit(r, [&](const auto* p) {
    size_t i0 = firstIndexAt(0, a, b, r.count);
    for (size_t c = 0; c < w && i0 < r.count; ++c) {
      const size_t i1 = firstIndexAt(static_cast<double>(c + 1), a, b, r.count);
      double rl, rh;
      if (i1 > i0 && rawRange(p, i0, i1, rl, rh)) physical(r, rl, rh, lo[c], hi[c]);
      i0 = std::max(i0, i1);
    }
  });
}

void PlotColumnsByPosition(const PlotRecord& r, const std::vector<double>& pos, double a, double b, int width,
                           std::vector<double>& lo, std::vector<double>& hi) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  lo.assign(w, NAN);
  hi.assign(w, NAN);
  const size_t n = std::min(r.count, pos.size());
  for (size_t i = 0; i < n; ++i) {
    const double px = a * pos[i] + b;
    if (!(px >= 0) || px >= static_cast<double>(w)) continue;
    const double v = r.Value(i);
    if (!std::isfinite(v)) continue;
    const size_t c = static_cast<size_t>(px);
    if (!(lo[c] <= v)) lo[c] = v;
    if (!(hi[c] >= v)) hi[c] = v;
  }
}

double PlotCeil125(double x) {
  if (!(x > 0) || !std::isfinite(x)) return 1;
  // A power of ten is on the sequence; step up from the one below x.
  double d = std::pow(10.0, std::floor(std::log10(x)));
  for (int k = 0; k < 4 && d < x * (1 - 1e-9); ++k) d = scale125(d, 1);
  return d;
}
