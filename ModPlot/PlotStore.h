#pragma once
// The plot component's own copy of one input record, and the scans it is drawn and measured
// with. A record is copied at its input's run-order step, so nothing here ever reads a
// producer's buffer after the engine may have freed it.
//
// Values are physical: raw x scale + offset. NaN and infinities are no values: every scan
// skips them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "KvDll/Bfr.h"

struct PlotRecord {
  enumBfrType type = bfrEmpty;  // bfrEmpty: nothing stored
  size_t count = 0;
  double scale = 1, offset = 0, interval = 1;
  std::vector<unsigned char> raw;  // array types: the raw elements; 75, 76: the values (doubles)
  std::vector<double> x, x2;       // 75: x positions; 76: interval starts and ends

  bool Empty() const { return count == 0 || type == bfrEmpty; }
  void Clear();
  // Sample i as a physical value (NaN past the end).
  double Value(size_t i) const;
  // The first and last x, seconds, of the record as the time view draws it; false without one.
  bool TimeSpan(double& first, double& last) const;
};

// Whether a record of this type can be stored.
bool PlotTypeSupported(enumBfrType t);
// Copies b into r (the storage is reused when it is large enough). False for a type that
// cannot be stored, leaving r cleared. Throws std::bad_alloc.
bool PlotCopyRecord(const CBfr& b, PlotRecord& r);

struct PlotStats {
  size_t count = 0;  // finite values
  double mean = 0, stddev = 0, min = 0, max = 0;
};
PlotStats PlotComputeStats(const PlotRecord& r);
// Only the extremes, in one pass; count 0 when there is no finite value.
PlotStats PlotComputeRange(const PlotRecord& r);

// Bin counts of the finite values over [min, max] in `bins` equal bins, the maximum in the last;
// a single bin when all values are equal; empty when there is no value.
std::vector<int64_t> PlotHistogram(const PlotRecord& r, int bins);

// Per pixel column c of `width`: the least and greatest physical value of the samples whose
// pixel position a x i + b falls in [c, c + 1), NaN where none does (or none is finite). a > 0.
// Array types and the value arrays of 75 and 76 alike (by index).
void PlotColumnsByIndex(const PlotRecord& r, double a, double b, int width, std::vector<double>& lo,
                        std::vector<double>& hi);
// The same with the pixel position a x pos[i] + b of each value, for 75 (x positions) and 76
// (starts x interval).
void PlotColumnsByPosition(const PlotRecord& r, const std::vector<double>& pos, double a, double b, int width,
                           std::vector<double>& lo, std::vector<double>& hi);

// The smallest value of the 1-2-5 sequence that is not below x (x > 0 and finite), else 1.
double PlotCeil125(double x);
