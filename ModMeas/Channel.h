#pragma once
// CChannel: one input of a measurement component (clock, data or control) with its
// thresholds and edge settings, and the edge detector that turns the linked input buffer into
// edge lists: fractional sample positions of threshold crossings, found by a sentinel-bounded
// scan and refined by linear interpolation. Lists are computed when a measurement asks for
// one and reused until the input carries a newer tag.
//
// Thread: the one that evaluates the component (the acquisition worker, or the caller of its
// run() function); settings are written from the user-interface thread between passes.

#include <cmath>
#include <cstdint>

#include "KvDll/JStatus.h"
#include "KvLib/LocalData.h"

enum : int32_t {
  kEdgeMid = 3,   // mid crossings, one entry per edge
  kEdgeRise = 5,  // rising edges: low crossing, high crossing
  kEdgeFall = 6,  // falling edges: high crossing, low crossing
};

class CChannel {
 public:
  CStr name;    // "Clock", "Data", "Control"
  CStr prefix;  // "ck", "dt", "ctl"
  double mid = 0.0, high = 1.0, low = -1.0;
  double fallMidOffset = 0.0, fallHighOffset = 0.0, fallLowOffset = 0.0;
  double hysteresis = 0.1;
  double skew = 0.0;
  int32_t edgetype = 1;
  CBfr* input = nullptr;
  CBfr* midEdges = nullptr;
  CBfr* riseEdges = nullptr;
  CBfr* fallEdges = nullptr;
  int32_t visible = 1;
  int32_t start = -1, stop = -1;
  int32_t risingCount = 0, fallingCount = 0;
  // Automatic levels: each new record sets the thresholds from its top and base.
  int32_t levelsAuto = 0;
  double top = NAN, base = NAN;

  // owner: for the log and the notifications; status: the component's progress reporter;
  // range: the component's start and stop indices (negative: the whole record).
  CChannel(CLocalData& owner, CStatus& status, const int32_t* rangeStart, const int32_t* rangeStop,
           const char* name, const char* prefix, bool control);
  CChannel(const CChannel&) = delete;
  CChannel& operator=(const CChannel&) = delete;
  ~CChannel();

  // True when name is prefix + "." + something.
  bool Serves(const char* name) const;
  // name is the whole setting name (prefix included). cmdNotServed for a name not of ours.
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v);

  // The edge list of a kind, computed again when not ready or older than the input; null
  // only for an unknown kind or when the list cannot be made.
  CBfr* GetEdges(int32_t kind);
  // Marks every list to be computed again.
  void Invalidate();
  // Physical minimum and maximum of the input's analysed range, NaN left out; false without
  // a sample to tell.
  bool Extremes(double& lo, double& hi) const;
  // An acquisition pass starts: its input's faults are told again.
  void NewPass();
  // NaN and infinite samples in the range of the last scan.
  long NonFinite() const { return nonFinite; }

  static const char* EdgeTypeText(int32_t edgetype, bool control);
  // -1 for a word that selects nothing.
  static int32_t ParseEdgeType(const char* word);

 private:
  CLocalData& owner;
  CStatus& status;
  const int32_t* rangeStart;
  const int32_t* rangeStop;
  bool control;
  long nonFinite = 0;  // NaN or infinite samples in the range of the last scan
  long countedNonFinite = 0, countedFirst = -1, countedLast = -1;
  int32_t countedTag = 0;
  const void* countedData = nullptr;
  long passes = 0, warnedPass = -1;
  int32_t warnedTag = 0;

  CBfr*& listOf(int32_t kind);
  void scan(CBfr& list, int32_t kind);
  // The count of a record's NaN and infinite samples is made as the scan goes, while the
  // samples are still in the cache, and finished after it; the lists of one record share it.
  void startCount(long first, long last);
  void countTo(long end);  // counts up to end (exclusive) at most
  void tookCount(long end, long found);  // counted up to end, found more
  long countAt = 0, countEnd = 0;
  void applyAutoLevels();
  int32_t autoTag = 0;
  bool autoDone = false;  // for the record of autoTag and the present range
  void warnNonFinite();
  template <class T>
  void scanTyped(CBfr& list, int32_t kind, long first, long last);
};
