#pragma once
// CBfr: the typed sample buffer that travels along links. Every output port owns one; the
// components linked to it read its fields directly, so the field order and widths are part
// of the contract between libraries. No lock of its own: the producer writes while no
// consumer reads (the engine orders the computations), or uses a buffer of a sync type.

#include <cstdint>

#include "KvDll/Str.h"

enum enumBfrType : int32_t {
  bfrEmpty = 0,
  bfrScalarI2 = 2,
  bfrScalarI4 = 3,
  bfrScalarR4 = 4,
  bfrScalarR8 = 5,
  bfrScalarI1 = 16,
  bfrI2 = 0x4002,  // arrays: variant element code | 0x4000
  bfrI4 = 0x4003,
  bfrR4 = 0x4004,
  bfrR8 = 0x4005,
  bfrI1 = 0x4010,
  bfrU1 = 0x4011,
  bfrXY = 75,         // values in data, ascending x positions in data2
  bfrIntervals = 76,  // values in data, interval starts in data2, ends in data3
  bfrEdges = 77,      // data: BfrEdgeHeader, edge times (in samples) under it
  bfrBlock78 = 78,    // data: one block of doubles filled by its producer
  bfrBlock79 = 79,
  bfrBlock86 = 86,
  bfrTrigger = 81,    // data: a manual-reset event
  bfrEvent = 82,      // data: a manual-reset event
  bfrAutoEvent = 83,  // data: an auto-reset event
  bfrMutex = 84,      // data: a mutex
};

// The header of an edge list: two levels (the swing of a transition list), the first-edge
// code or transition kind, the edge selection, the list kind, then the edge array.
struct BfrEdgeHeader {
  double level1;
  double level2;
  int32_t code;
  int32_t selection;
  int32_t kind;
  double* edges;
};

class CBfr {
 public:
  static constexpr uint32_t kMagic = 0x5A5A55AA;
  static constexpr double kNoCache = 1e308;

  int32_t reserved0 = 0;
  uint32_t magic = kMagic;
  int32_t reserved1 = 0;
  int32_t ready = 0;
  int32_t isStatic = 0;  // the engine keeps the data after the last consumer of a pass
  int32_t tag = 0;       // sequence number of the content
  enumBfrType type = bfrEmpty;
  int32_t users = 0;     // input ports linked to this buffer; only link operations change it
  int32_t reserved2 = 0;
  int32_t capacity = 0;
  int32_t count = 0;
  int32_t valid = 0;
  int32_t reserved3 = 0;
  double scale = 1.0;  // physical = raw * scale + offset
  double offset = 0.0;
  double reserved4[2] = {0.0, 1.0};
  double reserved5 = 0.0;
  double interval = 1.0;
  double xstart = 0.0;  // time of the first sample, seconds (the capture's origin, 0 when it has
                        // none); copied into derived buffers
  int32_t stamp[2] = {0, 0};
  int32_t reserved7[2] = {0, 0};
  int32_t reserved8[2] = {0, 0};
  double span = 1.0;
  double reserved9 = 0.0;
  void* data = nullptr;
  void* data2 = nullptr;
  void* data3 = nullptr;
  int32_t reserved10 = 0;
  double maxCache = kNoCache;
  double minCache = kNoCache;
  CStr name;

  CBfr() = default;
  // Copies every field and the name but not the storage: only one of the two may release it.
  CBfr(const CBfr&) = default;
  CBfr& operator=(const CBfr&) = default;
  virtual ~CBfr();

  void SetBfrType(enumBfrType t);
  bool SetSize(long n);  // discards the content
  bool Resize(long n);   // keeps the content
  void DeleteBfr();
  void FreeBfr();

  double GetMax();
  double GetMin();
  long InterpolateLinear(double x, double* y);
  long CopyTo(double* out, bool scaled);
  // Waits for the engine's stop event or this buffer's event or mutex (types 81 to 84; a
  // mutex is then owned by the caller): 0 when the stop event was signalled, 1 when the
  // buffer's object was, 258 after ms milliseconds (0xFFFFFFFF waits for ever).
  long WaitForObject(unsigned long ms);

  // Typed views of the arrays.
  BfrEdgeHeader* Edges() const { return type == bfrEdges ? static_cast<BfrEdgeHeader*>(data) : nullptr; }

 private:
  void clear();
  long findx(double x) const;
  bool allocArrays(long n, bool keep);
  template <class Pick>
  double extreme(double start, Pick better);
};
