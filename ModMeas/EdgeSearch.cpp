#include "ModMeas/EdgeSearch.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "ModMeas/EdgeSearchKernels.h"

namespace edgesearch {

namespace {

bool machineHas(SearchTarget t) {
  switch (t) {
    case SearchTarget::Scalar: return true;
    case SearchTarget::Sse2: return __builtin_cpu_supports("sse2");
    case SearchTarget::Avx2: return __builtin_cpu_supports("avx2");
    case SearchTarget::Avx512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  }
  return false;
}

SearchTarget widest() {
  for (SearchTarget t : {SearchTarget::Avx512, SearchTarget::Avx2, SearchTarget::Sse2})
    if (machineHas(t)) return t;
  return SearchTarget::Scalar;
}

std::atomic<SearchTarget>& current() {
  static std::atomic<SearchTarget> t{widest()};
  return t;
}

const SearchKernels* kernels(SearchTarget t) {
  switch (t) {
    case SearchTarget::Sse2: return &edgesearch_sse2::kKernels;
    case SearchTarget::Avx2: return &edgesearch_avx2::kKernels;
    case SearchTarget::Avx512: return &edgesearch_avx512::kKernels;
    default: return nullptr;
  }
}

// The reference: the scan's own loop, comparing the sample as a double with the raw level.
template <class T, SearchOp Op>
long scalarFind(const T* s, long from, long end, T, double raw) {
  long p = from;
  auto holds = [&](double x) {
    return Op == whileAbove ? x > raw : Op == whileBelow ? x < raw : Op == whileAtOrAbove ? x >= raw : x <= raw;
  };
  while (p < end && holds(static_cast<double>(s[p]))) ++p;
  return p;
}

template <class T>
FindFn<T> scalarFn(SearchOp op) {
  switch (op) {
    case whileAbove: return scalarFind<T, whileAbove>;
    case whileBelow: return scalarFind<T, whileBelow>;
    case whileAtOrAbove: return scalarFind<T, whileAtOrAbove>;
    default: return scalarFind<T, whileAtOrBelow>;
  }
}

// The sample-type level that makes the comparison in the sample type agree exactly with the
// comparison in double: below a level means below its upward rounding, above it above its
// downward rounding. Integer samples need only the strict conditions.
template <class T>
T rounded(double raw, bool up) {
  T x = static_cast<T>(raw);
  if (up && static_cast<double>(x) < raw) x = std::nextafter(x, std::numeric_limits<T>::infinity());
  if (!up && static_cast<double>(x) > raw) x = std::nextafter(x, -std::numeric_limits<T>::infinity());
  return x;
}

}  // namespace

bool Supported(SearchTarget t) { return machineHas(t); }
SearchTarget Current() { return current().load(std::memory_order_relaxed); }

bool Force(SearchTarget t) {
  if (!machineHas(t)) return false;
  current().store(t, std::memory_order_relaxed);
  return true;
}

const char* Name(SearchTarget t) {
  switch (t) {
    case SearchTarget::Scalar: return "scalar";
    case SearchTarget::Sse2: return "SSE2";
    case SearchTarget::Avx2: return "AVX2";
    case SearchTarget::Avx512: return "AVX-512";
  }
  return "";
}

template <>
Search<int16_t> Make<int16_t>(SearchOp op, double raw) {
  const SearchKernels* k = kernels(Current());
  if (!k) return {scalarFn<int16_t>(op), 0, raw};
  // x > r  <=>  x > floor(r);  x < r  <=>  x < ceil(r);  x >= r  <=>  x > ceil(r) - 1;
  // x <= r  <=>  x < floor(r) + 1. The level lies strictly inside the 16-bit range.
  switch (op) {
    case whileAbove: return {k->i2[0], static_cast<int16_t>(std::floor(raw)), raw};
    case whileBelow: return {k->i2[1], static_cast<int16_t>(std::ceil(raw)), raw};
    case whileAtOrAbove: return {k->i2[0], static_cast<int16_t>(std::ceil(raw) - 1), raw};
    default: return {k->i2[1], static_cast<int16_t>(std::floor(raw) + 1), raw};
  }
}

template <>
Search<float> Make<float>(SearchOp op, double raw) {
  const SearchKernels* k = kernels(Current());
  if (!k) return {scalarFn<float>(op), 0, raw};
  const bool up = op == whileBelow || op == whileAtOrAbove;
  return {k->r4[op], rounded<float>(raw, up), raw};
}

template <>
Search<double> Make<double>(SearchOp op, double raw) {
  const SearchKernels* k = kernels(Current());
  if (!k) return {scalarFn<double>(op), raw, raw};
  return {k->r8[op], raw, raw};
}

template <>
WalkFn<int16_t> MidWalker<int16_t>() {
  const SearchKernels* k = kernels(Current());
  return k ? k->walkI2 : nullptr;
}

template <>
WalkFn<float> MidWalker<float>() {
  const SearchKernels* k = kernels(Current());
  return k ? k->walkR4 : nullptr;
}

template <>
WalkFn<double> MidWalker<double>() {
  const SearchKernels* k = kernels(Current());
  return k ? k->walkR8 : nullptr;
}

template <>
long CountNonFinite<float>(const float* s, long n) {
  const SearchKernels* k = kernels(Current());
  if (k) return k->nonFiniteR4(s, n);
  long c = 0;
  for (long i = 0; i < n; ++i) c += !std::isfinite(s[i]);
  return c;
}

template <>
long CountNonFinite<double>(const double* s, long n) {
  const SearchKernels* k = kernels(Current());
  if (k) return k->nonFiniteR8(s, n);
  long c = 0;
  for (long i = 0; i < n; ++i) c += !std::isfinite(s[i]);
  return c;
}

}  // namespace edgesearch
