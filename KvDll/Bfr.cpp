#include "KvDll/Bfr.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "KvDll/GlobalData.h"
#include "KvDll/Sync.h"

namespace {

const char* const kUnit = "KvDll/Bfr";
// Every array gets this many elements beyond what was asked for, so scans can place sentinels.
constexpr long kSpare = 3;

void report(long site, long line, const char* message) { KvErrReport(site, line, message, kUnit); }

// Element size and number of parallel arrays of the array types; 0 for the others.
size_t elementSize(enumBfrType t) {
  switch (t) {
    case bfrI2: return 2;
    case bfrI4:
    case bfrR4: return 4;
    case bfrR8:
    case bfrXY:
    case bfrIntervals:
    case bfrEdges: return 8;
    case bfrI1:
    case bfrU1: return 1;
    default: return 0;
  }
}

int arrayCount(enumBfrType t) {
  if (t == bfrXY) return 2;
  if (t == bfrIntervals) return 3;
  return elementSize(t) ? 1 : 0;
}

bool isSyncType(enumBfrType t) { return t == bfrTrigger || t == bfrEvent || t == bfrAutoEvent || t == bfrMutex; }

bool isKnownType(enumBfrType t) {
  switch (t) {
    case bfrEmpty: case bfrScalarI2: case bfrScalarI4: case bfrScalarR4: case bfrScalarR8: case bfrScalarI1:
    case bfrI2: case bfrI4: case bfrR4: case bfrR8: case bfrI1: case bfrU1:
    case bfrXY: case bfrIntervals: case bfrEdges: case bfrBlock78: case bfrBlock79: case bfrBlock86:
    case bfrTrigger: case bfrEvent: case bfrAutoEvent: case bfrMutex:
      return true;
  }
  return false;
}

// Sample i of an array type as a raw double.
double rawAt(enumBfrType t, const void* p, long i) {
  switch (t) {
    case bfrI2: return static_cast<const int16_t*>(p)[i];
    case bfrI4: return static_cast<const int32_t*>(p)[i];
    case bfrR4: return static_cast<const float*>(p)[i];
    case bfrI1: return static_cast<const int8_t*>(p)[i];
    case bfrU1: return static_cast<const uint8_t*>(p)[i];
    default: return static_cast<const double*>(p)[i];
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and storage
// ---------------------------------------------------------------------------------------

CBfr::~CBfr() {
  DeleteBfr();
  capacity = count = valid = 0;
}

void CBfr::clear() {
  data = data2 = data3 = nullptr;
  reserved10 = 0;
  capacity = count = valid = 0;
}

void CBfr::SetBfrType(enumBfrType t) {
  if (t == type) return;
  DeleteBfr();
  if (!isKnownType(t)) {
    report(1, __LINE__, "Buffer type not supported");
    clear();
    type = bfrEmpty;
    return;
  }
  type = t;
  clear();
  switch (t) {
    case bfrEdges: {
      auto* header = static_cast<BfrEdgeHeader*>(KV_MALLOC(sizeof(BfrEdgeHeader)));
      if (!header) {
        report(2, __LINE__, "Insufficient memory");
        type = bfrEmpty;
        return;
      }
      std::memset(header, 0, sizeof *header);
      data = header;
      break;
    }
    case bfrTrigger:
    case bfrEvent: data = new KvEvent(true); break;
    case bfrAutoEvent: data = new KvEvent(false); break;
    case bfrMutex: data = new KvMutex(); break;
    default: break;
  }
}

void CBfr::DeleteBfr() {
  switch (type) {
    case bfrEdges:
      if (auto* header = static_cast<BfrEdgeHeader*>(data)) KV_FREE(header->edges);
      KV_FREE(data);
      break;
    case bfrTrigger:
    case bfrEvent:
    case bfrAutoEvent: delete static_cast<KvEvent*>(data); break;
    case bfrMutex: delete static_cast<KvMutex*>(data); break;
    case bfrBlock78:
    case bfrBlock79:
    case bfrBlock86: KV_FREE(data); break;
    default:
      if (!isKnownType(type)) report(3, __LINE__, "Buffer type not supported");
      KV_FREE(data);
      KV_FREE(data2);
      KV_FREE(data3);
      break;
  }
  clear();
  type = bfrEmpty;
}

void CBfr::FreeBfr() {
  if (type == bfrEdges) {
    if (auto* header = static_cast<BfrEdgeHeader*>(data)) {
      KV_FREE(header->edges);
      header->edges = nullptr;
    }
  } else if (!isSyncType(type)) {
    KV_FREE(data);
    KV_FREE(data2);
    KV_FREE(data3);
    data = data2 = data3 = nullptr;
  }
  capacity = count = valid = 0;
}

// (Re)allocates every array of the type to n + kSpare elements; on failure all are freed.
bool CBfr::allocArrays(long n, bool keep) {
  const size_t bytes = static_cast<size_t>(n + kSpare) * elementSize(type);
  if (type == bfrEdges) {
    auto* header = static_cast<BfrEdgeHeader*>(data);
    if (!header) return false;
    void* p = keep ? KV_REALLOC(header->edges, bytes) : (KV_FREE(header->edges), KV_MALLOC(bytes));
    if (!p) {
      KV_FREE(keep ? header->edges : nullptr);
      header->edges = nullptr;
      return false;
    }
    header->edges = static_cast<double*>(p);
    return true;
  }
  void** slots[3] = {&data, &data2, &data3};
  const int arrays = arrayCount(type);
  bool ok = true;
  for (int i = 0; i < arrays; ++i) {
    void* p = nullptr;
    if (ok) {
      if (keep) {
        p = KV_REALLOC(*slots[i], bytes);
        if (!p) KV_FREE(*slots[i]);
      } else {
        KV_FREE(*slots[i]);
        p = KV_MALLOC(bytes);
      }
    } else {
      KV_FREE(*slots[i]);
    }
    *slots[i] = p;
    ok = ok && p;
  }
  if (!ok)
    for (int i = 0; i < arrays; ++i) {
      KV_FREE(*slots[i]);
      *slots[i] = nullptr;
    }
  return ok;
}

bool CBfr::SetSize(long n) {
  if (n < 0) n = 0;
  if (n != 0 && n <= capacity && n >= capacity - 1000) return true;
  capacity = 0;
  if (n == 0) return true;
  if (!elementSize(type)) {
    report(4, __LINE__, "Not an array or array type not supported");
    report(5, __LINE__, "Insufficient memory");
    return false;
  }
  if (n > INT32_MAX - kSpare || !allocArrays(n, false)) {
    report(6, __LINE__, "Insufficient memory");
    count = valid = 0;
    return false;
  }
  count = valid = ready = 0;
  capacity = static_cast<int32_t>(n);
  return true;
}

bool CBfr::Resize(long n) {
  if (n < 0) n = 0;
  if (n != 0 && n <= capacity && n >= capacity - 1000) return true;
  capacity = 0;
  if (n == 0) return true;
  const bool supported =
      type == bfrXY || type == bfrIntervals || type == bfrEdges || type == bfrI2 || type == bfrR4 || type == bfrR8;
  if (!supported) {
    report(7, __LINE__, "Not an array or array type not supported");
    report(8, __LINE__, "Insufficient memory");
    return false;
  }
  if (n > INT32_MAX - 2 * kSpare || !allocArrays(n, true)) {
    report(9, __LINE__, "Insufficient memory");
    count = valid = 0;
    return false;
  }
  count = valid = ready = 0;
  capacity = static_cast<int32_t>(n + kSpare);
  return true;
}

// ---------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------

template <class Pick>
double CBfr::extreme(double start, Pick better) {
  double best = start;
  for (long i = 0; i < count; ++i) {
    const double v = rawAt(type == bfrXY || type == bfrIntervals ? bfrR8 : type, data, i);
    if (better(v, best)) best = v;
  }
  return best;
}

double CBfr::GetMax() {
  if (maxCache < kNoCache || count <= 0) return maxCache;
  if (!elementSize(type) || type == bfrEdges || !data) {
    report(10, __LINE__, "Buffer type not fully supported");
    return maxCache;
  }
  double lowest = -DBL_MAX;
  switch (type) {
    case bfrI2: lowest = INT16_MIN; break;
    case bfrI4: lowest = INT32_MIN; break;
    case bfrR4: lowest = -FLT_MAX; break;
    case bfrI1: lowest = INT8_MIN; break;
    case bfrU1: lowest = 0; break;
    default: break;
  }
  maxCache = extreme(lowest, [](double v, double best) { return v > best; });
  return maxCache;
}

double CBfr::GetMin() {
  if (minCache < kNoCache || count <= 0) return minCache;
  if (!elementSize(type) || type == bfrEdges || !data) {
    report(11, __LINE__, "Buffer type not fully supported");
    return minCache;
  }
  double highest = DBL_MAX;
  switch (type) {
    case bfrI2: highest = INT16_MAX; break;
    case bfrI4: highest = INT32_MAX; break;
    case bfrR4: highest = FLT_MAX; break;
    case bfrI1: highest = INT8_MAX; break;
    case bfrU1: highest = UINT8_MAX; break;
    default: break;
  }
  minCache = extreme(highest, [](double v, double best) { return v < best; });
  return minCache;
}

long CBfr::findx(double x) const {
  const auto* pos = static_cast<const double*>(data2);
  if (count <= 0 || !pos || !(x >= pos[0])) return -2;
  if (x > pos[count - 1]) return -3;
  long lo = 0, hi = count;
  const long steps = static_cast<long>(std::log2(static_cast<double>(count)) + 1);
  for (long s = 0; s < steps; ++s) {
    const long mid = (lo + hi) / 2;
    if (x < pos[mid])
      hi = mid;
    else
      lo = mid;
  }
  return lo;
}

long CBfr::InterpolateLinear(double x, double* y) {
  if (magic != kMagic) return -1;
  if (!(x >= 0)) return -2;  // NaN too: no position to read
  if (x > valid - 1) return -3;
  switch (type) {
    case bfrI2: case bfrI4: case bfrR4: case bfrR8: case bfrI1: case bfrBlock79: {
      if (!data) return -1;
      const enumBfrType t = type == bfrBlock79 ? bfrR8 : type;
      const long i0 = static_cast<long>(std::floor(x)), i1 = static_cast<long>(std::ceil(x));
      const double a0 = rawAt(t, data, i0);
      *y = i0 == i1 ? a0 : a0 + (x - i0) * (rawAt(t, data, i1) - a0) / (i1 - i0);
      return 0;
    }
    case bfrXY: {
      const long i = findx(x);
      if (i < 0) return i;
      const auto* v = static_cast<const double*>(data);
      const auto* p = static_cast<const double*>(data2);
      if (i + 1 >= count || p[i + 1] == p[i]) {
        *y = v[i];
      } else if (p[i] <= x && x <= p[i + 1]) {
        *y = v[i] + (x - p[i]) * (v[i + 1] - v[i]) / (p[i + 1] - p[i]);
      }
      return 0;
    }
    case bfrIntervals: {
      const long i = findx(x);
      if (i < 0) return i;
      const auto* v = static_cast<const double*>(data);
      const auto* start = static_cast<const double*>(data2);
      const auto* end = static_cast<const double*>(data3);
      if (start[i] <= x && x <= end[i]) {
        *y = v[i];
      } else if (x > end[i] && i + 1 < count && start[i + 1] > end[i]) {
        *y = v[i] + (x - end[i]) * (v[i + 1] - v[i]) / (start[i + 1] - end[i]);
      }
      return 0;
    }
    default:
      report(12, __LINE__, "Buffer type not supported");
      return 0;
  }
}

long CBfr::CopyTo(double* out, bool scaled) {
  if (type != bfrI2 && type != bfrI4 && type != bfrR4 && type != bfrR8 && type != bfrI1) {
    report(13, __LINE__, "Operation not supported for buffer type");
    return -1;
  }
  if (!data || !out) return 0;
  for (long i = 0; i < count; ++i) {
    const double raw = rawAt(type, data, i);
    out[i] = scaled ? raw * scale + offset : raw;
  }
  return count;
}

// ---------------------------------------------------------------------------------------
// Waiting
// ---------------------------------------------------------------------------------------

long CBfr::WaitForObject(unsigned long ms) {
  KvWaitable* objects[2];
  int n = 0;
  int stopAt = -1, ownAt = -1;
  if (CGlobalData* g = KvGlobal()) stopAt = n, objects[n++] = &g->stopEvent;
  if (isSyncType(type) && data) ownAt = n, objects[n++] = static_cast<KvWaitable*>(data);
  const long timeout = ms >= 0xFFFFFFFFul ? KV_INFINITE : static_cast<long>(std::min(ms, 0x7FFFFFFFul));
  if (n == 0) {
    // Nothing could ever signal: only the time passes.
    if (timeout == KV_INFINITE) report(14, __LINE__, "Operation not supported for buffer type");
    else KvSleep(timeout);
    return KV_WAIT_TIMEOUT;
  }
  const int r = WaitForObjects(objects, n, timeout);
  if (r == stopAt) return 0;
  if (r == ownAt) return 1;
  return KV_WAIT_TIMEOUT;
}
