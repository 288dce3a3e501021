#include "ModPlot/PlotStore.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

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

// The raw extremes of p[i0, i1); false when no element is finite. Branch-free so that the
// compiler can vectorise it: this is the loop a frame of a long record spends its time in.
template <class T>
bool rawRange(const T* p, size_t i0, size_t i1, double& lo, double& hi) {
  if constexpr (std::is_floating_point_v<T>) {
    T mn = std::numeric_limits<T>::infinity(), mx = -std::numeric_limits<T>::infinity();
    constexpr T big = std::numeric_limits<T>::max();
    for (size_t i = i0; i < i1; ++i) {
      const T v = p[i];
      const bool ok = std::fabs(v) <= big;  // false for NaN and both infinities
      mn = ok && v < mn ? v : mn;
      mx = ok && v > mx ? v : mx;
    }
    if (!(mn <= mx)) return false;
    lo = mn, hi = mx;
  } else {
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
  // A record that claims samples without storage holds none.
  const size_t n = b.count > 0 && b.data && (b.type != bfrXY || b.data2) && (b.type != bfrIntervals || (b.data2 && b.data3))
                       ? static_cast<size_t>(b.count)
                       : 0;
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
  visit(r, [&](const auto* p) { any = rawRange(p, 0, r.count, lo, hi); });
  if (any && physical(r, lo, hi, s.min, s.max)) {
    forEachValue(r, [&](double) { ++s.count; });
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
