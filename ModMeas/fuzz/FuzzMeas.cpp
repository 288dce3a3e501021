// Arbitrary records and settings through every edge kind and every measurement: no crash, no
// hang, no access outside the record, and the vector edge search finds exactly what the
// scalar reference finds. The input: a type byte (its upper bits pick the search's
// instruction set), three edge selections, eight thresholds, a range, then the samples.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <string>
#include <vector>

#include "ModMeas/EdgeSearch.h"
#include "ModMeas/MeasIn.h"

namespace {

template <class T>
T take(const uint8_t*& p, size_t& n) {
  T x{};
  if (n >= sizeof x) {
    std::memcpy(&x, p, sizeof x);
    p += sizeof x, n -= sizeof x;
  }
  return x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CGlobalData* g = new CGlobalData;
  g->abort = 0;
  const uint8_t* p = data;
  size_t n = size;
  const uint8_t head = take<uint8_t>(p, n);
  const uint8_t type = head % 3;
  const SearchTarget targets[] = {SearchTarget::Sse2, SearchTarget::Avx2, SearchTarget::Avx512};
  const SearchTarget target = targets[(head >> 2) % 3];
  if (!edgesearch::Force(target)) edgesearch::Force(SearchTarget::Sse2);
  KvCreateBlock block{"f", g, nullptr, "all"};
  CMeasIn m(block);
  const char* words[] = {"off", "rise", "fall", "both", "rise+fall", "fall+rise"};
  const char* prefixes[] = {"ck", "dt", "ctl"};
  for (const char* pre : prefixes) {
    VPARAM v;
    v.value.s = words[take<uint8_t>(p, n) % 6];
    m.Settings(parWrite, (std::string(pre) + ".edgetype").c_str(), v);
  }
  const char* keys[] = {"mid", "high", "low", "fall.mid", "fall.high", "fall.low", "hysteresis"};
  for (const char* k : keys) {
    VPARAM v;
    v.value.r8 = take<double>(p, n);
    m.Settings(parWrite, (std::string("ck.") + k).c_str(), v);
    m.Settings(parWrite, (std::string("dt.") + k).c_str(), v);
  }
  VPARAM jn;
  jn.value.i4 = take<uint8_t>(p, n) % 9;
  m.Settings(parWrite, "ckjnc.n", jn);
  m.start = take<int16_t>(p, n);
  m.stop = take<int16_t>(p, n);
  const double scale = take<double>(p, n);

  CBfr in;
  const size_t element = type == 0 ? 2 : type == 1 ? 4 : 8;
  const long count = static_cast<long>(n / element);
  in.SetBfrType(type == 0 ? bfrI2 : type == 1 ? bfrR4 : bfrR8);
  if (!in.SetSize(count) && count > 0) return 0;
  if (count > 0) std::memcpy(in.data, p, static_cast<size_t>(count) * element);
  in.count = in.valid = static_cast<int32_t>(count);
  in.scale = scale;
  in.tag = 1;
  for (const char* port : {"ck.in", "dt.in"}) {
    VPARAM v;
    v.value.p = &in;
    m.Settings(parWrite, port, v);
  }
  if (size % 2) {
    VPARAM v;
    v.value.p = &in;
    m.Settings(parWrite, "ctl.in", v);
  }
  m.RunAll();

  // Every list again, vector and scalar, each from a record the channel has not seen: the
  // same entries, bit for bit, and the same count of non-finite samples.
  for (int32_t kind : {kEdgeMid, kEdgeRise, kEdgeFall}) {
    std::vector<double> lists[2];
    long nonFinite[2] = {-1, -1};
    for (int pass = 0; pass < 2; ++pass) {
      edgesearch::Force(pass == 0 ? target : SearchTarget::Scalar);
      g->abort = 0;
      ++in.tag;
      const CBfr* list = m.ck.GetEdges(kind);
      if (list && list->Edges() && list->Edges()->edges)
        lists[pass].assign(list->Edges()->edges, list->Edges()->edges + list->valid);
      nonFinite[pass] = m.ck.NonFinite();
    }
    if (nonFinite[0] != nonFinite[1]) __builtin_trap();
    if (lists[0].size() != lists[1].size() ||
        (!lists[0].empty() && std::memcmp(lists[0].data(), lists[1].data(), lists[0].size() * sizeof(double)) != 0))
      __builtin_trap();
  }
  return 0;
}
