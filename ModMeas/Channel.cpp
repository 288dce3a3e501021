#include "ModMeas/Channel.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "KvLib/Setting.h"
#include "ModMeas/EdgeSearch.h"

namespace {

const char* const kUnit = "ModMeas/Channel";

bool isKind(int32_t k) { return k == kEdgeMid || k == kEdgeRise || k == kEdgeFall; }

void setText(VPARAM& v, const char* t) {
  if (v.value.str) *v.value.str = t ? t : "";
}

// The appended entries of one scan, growing the list by the observed edge density.
class Appender {
 public:
  Appender(CBfr& list, long recordLength) : list_(list), length_(recordLength) {
    BfrEdgeHeader* h = list.Edges();
    data_ = h ? h->edges : nullptr;
  }
  // False when the list cannot grow (reported by the caller).
  bool add(double x, long position) {
    if (n_ + 1 > list_.capacity && !grow(position)) return false;
    data_[n_++] = x;
    return true;
  }
  // Room for one entry more at least; position: how far the scan has come, in samples.
  bool grow(long position) {
    const double perSample = position > 0 ? static_cast<double>(n_ + 1) / static_cast<double>(position) : 1.0;
    long want = static_cast<long>(static_cast<double>(length_) * 1.1 * perSample);
    if (want < n_ + 16) want = n_ + 16;
    if (!list_.Resize(want)) return false;
    list_.capacity = static_cast<int32_t>(want);  // Resize counts the spare elements in
    data_ = list_.Edges()->edges;
    return true;
  }
  // For a writer that fills the array itself: where, how much room, and what it wrote.
  double* data() { return data_; }
  long room() const { return list_.capacity; }
  void took(long n) { n_ = n; }
  long count() const { return n_; }

 private:
  CBfr& list_;
  long length_;
  double* data_;
  long n_ = 0;
};

// Largest and smallest value of a sample type: the sentinels after the scanned range.
template <class T>
constexpr T hiSentinel() {
  return std::numeric_limits<T>::max();
}
template <class T>
constexpr T loSentinel() {
  return std::numeric_limits<T>::lowest();
}

// A threshold band edge the scan may use: strictly inside the sample type's range, so that a
// sentinel always ends a search, and a number.
template <class T>
bool inRange(double level) {
  return level > static_cast<double>(loSentinel<T>()) && level < static_cast<double>(hiSentinel<T>());
}

}  // namespace

CChannel::CChannel(CLocalData& o, CStatus& st, const int32_t* rs, const int32_t* re, const char* n, const char* p,
                   bool ctl)
    : name(n), prefix(p), owner(o), status(st), rangeStart(rs), rangeStop(re), control(ctl) {}

CChannel::~CChannel() {
  delete midEdges;
  delete riseEdges;
  delete fallEdges;
}

const char* CChannel::EdgeTypeText(int32_t e, bool ctl) {
  switch (e) {
    case 0: return "Off";
    case 1: return ctl ? "High" : "Rise";
    case 2: return ctl ? "Low" : "Fall";
    case 3: return "Both";
    case 5: return "rise+fall";
    case 6: return "fall+rise";
    default: return "";
  }
}

int32_t CChannel::ParseEdgeType(const char* w) {
  if (!w) return -1;
  struct Word {
    const char* text;
    int32_t value;
  };
  static const Word words[] = {{"off", 0}, {"rise", 1}, {"high", 1},      {"fall", 2},
                               {"low", 2}, {"both", 3}, {"rise+fall", 5}, {"fall+rise", 6}};
  std::string t(w);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
  size_t b = 0;
  while (b < t.size() && (t[b] == ' ' || t[b] == '\t')) ++b;
  t = t.substr(b);
  for (const Word& x : words)
    if (strcasecmp(x.text, t.c_str()) == 0) return x.value;
  return -1;
}

bool CChannel::Serves(const char* n) const {
  const size_t len = static_cast<size_t>(prefix.GetLength());
  return n && std::strlen(n) > len && strncasecmp(n, prefix.GetBfr(), len) == 0 && n[len] == '.';
}

void CChannel::Invalidate() {
  for (CBfr* b : {midEdges, riseEdges, fallEdges})
    if (b) b->ready = 0;
  autoDone = false;
}

CBfr*& CChannel::listOf(int32_t kind) { return kind == kEdgeMid ? midEdges : kind == kEdgeRise ? riseEdges : fallEdges; }

// ---------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------

CMDERR CChannel::Settings(GETPARCMD cmd, const char* full, VPARAM& v) {
  if (!Serves(full)) return cmdNotServed;
  const std::string key = full + prefix.GetLength() + 1;

  struct Number {
    const char* key;
    const char* label;
    double* field;
    double* resetOffset;  // a write of the plain threshold also clears its fall offset
    int32_t kinds;        // lists marked not ready by a write: bit per kind
  };
  const Number numbers[] = {
      {"mid", "Mid threshold", &mid, &fallMidOffset, 1 << kEdgeMid},
      {"high", "", &high, &fallHighOffset, (1 << kEdgeRise) | (1 << kEdgeFall)},
      {"low", "", &low, &fallLowOffset, (1 << kEdgeRise) | (1 << kEdgeFall)},
      {"rise.mid", "Rise mid threshold", &mid, nullptr, 1 << kEdgeMid},
      {"rise.high", "", &high, nullptr, 1 << kEdgeRise},
      {"rise.low", "", &low, nullptr, 1 << kEdgeRise},
      {"fall.mid", "Fall mid threshold", &fallMidOffset, nullptr, 1 << kEdgeMid},
      {"fall.high", "", &fallHighOffset, nullptr, 1 << kEdgeFall},
      {"fall.low", "", &fallLowOffset, nullptr, 1 << kEdgeFall},
      {"hysteresis", "Hysteresis", &hysteresis, nullptr, 1 << kEdgeMid},
      {"skew", "Channel skew", &skew, nullptr, 0},
  };
  for (const Number& n : numbers) {
    if (key != n.key) continue;
    switch (cmd) {
      case parRead: v.vt = vtR8, v.value.r8 = *n.field; break;
      case parWrite: {
        // Finite only; the hysteresis is a band width, never negative. The order of the
        // levels is not checked here: a saved setup replays them one by one.
        const double lo = n.field == &hysteresis ? 0.0 : -HUGE_VAL;
        if (kvsetting::Real(cmd, v, *n.field, n.label, "", lo) != cmdDone) return cmdBadValue;
        if (n.resetOffset) *n.resetOffset = 0.0;
        for (int32_t k : {kEdgeMid, kEdgeRise, kEdgeFall})
          if ((n.kinds & (1 << k)) && listOf(k)) listOf(k)->ready = 0;
        break;
      }
      case parDescribe: v.kind = kindSetting, v.vt = vtR8; break;
      case parLabel: setText(v, n.label); break;
      case parUnit: setText(v, n.field == &skew ? "s" : "V"); break;
      default: break;
    }
    return cmdDone;
  }

  struct Count {
    const char* key;
    const char* label;
    int32_t which;  // 0 both, 1 rising, 2 falling
  };
  const Count counts[] = {{"edges", "Total edges found", 0},
                          {"rise.edges", "Total rising edges found", 1},
                          {"fall.edges", "Total falling edges found", 2}};
  for (const Count& c : counts) {
    if (key != c.key) continue;
    switch (cmd) {
      case parRead:
        v.vt = vtI4;
        v.value.i4 = c.which == 0 ? risingCount + fallingCount : c.which == 1 ? risingCount : fallingCount;
        break;
      case parWrite: return cmdBadValue;  // read only
      case parDescribe: v.kind = kindSetting, v.vt = vtI4; break;
      case parLabel: setText(v, c.label); break;
      default: break;
    }
    return cmdDone;
  }

  if (key == "edgetype") {
    switch (cmd) {
      case parRead: setText(v, EdgeTypeText(edgetype, control)); break;
      case parWrite: {
        const int32_t e = ParseEdgeType(v.value.s);
        if (e < 0) return cmdBadValue;
        edgetype = e;
        if (midEdges) {
          midEdges->Edges()->selection = e;
          midEdges->ready = 0;
        }
        break;
      }
      case parDescribe: v.kind = kindSetting, v.vt = vtStr; break;
      case parLabel: setText(v, "Detect Edge: rise,fall,both"); break;
      default: break;
    }
    return cmdDone;
  }
  if (key == "levels.auto") {
    const CMDERR r = kvsetting::Whole(cmd, v, levelsAuto, "Automatic levels", 0, 1);
    if (cmd == parWrite && r == cmdDone) autoDone = false;
    return r;
  }
  if (key == "top?" || key == "base?") {
    if (cmd == parWrite) return cmdBadValue;
    double value = key == "top?" ? top : base;
    return kvsetting::Real(cmd, v, value, key == "top?" ? "Top level" : "Base level", "V");
  }
  if (key == "visible") {
    switch (cmd) {
      case parRead: v.vt = vtI4, v.value.i4 = visible; break;
      case parWrite: visible = v.value.i4 ? 1 : 0; break;
      case parDescribe: v.kind = kindSetting, v.vt = vtI4; break;
      case parLabel: setText(v, "Channel settings visibility"); break;
      default: break;
    }
    return cmdDone;
  }
  if (key == "in.connection") {
    switch (cmd) {
      case parRead: setText(v, input ? input->name.GetBfr() : ""); break;
      case parWrite: return cmdBadValue;
      case parDescribe: v.kind = kindSetting, v.vt = vtStr; break;
      case parLabel: setText(v, "Input port connection"); break;
      default: break;
    }
    return cmdDone;
  }
  if (key == "in") {
    switch (cmd) {
      case parRead: v.value.p = &input; break;
      case parWrite: {
        input = static_cast<CBfr*>(v.value.p);
        Invalidate();
        if (owner.pgd && owner.pgd->notify) owner.pgd->notify(owner.name, (prefix + ".in.connection").GetBfr());
        break;
      }
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; break;
      case parLabel: setText(v, "Signal In"); break;
      default: break;
    }
    return cmdDone;
  }
  if (key == "out") {
    switch (cmd) {
      case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
      case parLabel: setText(v, "Signal Out"); return cmdDone;
      case parRead:
      case parEvaluate: setText(v, "out-not implemented yet"); return cmdNotServed;
      default: return cmdNotServed;
    }
  }
  return cmdNotServed;
}

// ---------------------------------------------------------------------------------------
// Edge lists
// ---------------------------------------------------------------------------------------

CBfr* CChannel::GetEdges(int32_t kind) {
  if (!isKind(kind)) {
    KvErrReport(1, __LINE__, "Unknown edge bfr type", kUnit);
    return nullptr;
  }
  CBfr*& list = listOf(kind);
  if (!list) {
    list = new CBfr;
    list->SetBfrType(bfrEdges);
    if (!list->Edges()) {
      owner.logErrAbort("Insufficient memory");
      delete list;
      list = nullptr;
      return nullptr;
    }
    list->Edges()->selection = edgetype;
  }
  if (levelsAuto && input && (!autoDone || autoTag != input->tag)) applyAutoLevels();
  if (!list->ready || (input && list->tag != input->tag)) scan(*list, kind);
  warnNonFinite();
  return list;
}

void CChannel::scan(CBfr& list, int32_t kind) {
  BfrEdgeHeader* h = list.Edges();
  list.valid = list.count = 0;
  list.ready = 1;  // whatever happens below, this content stands until something changes
  list.maxCache = list.minCache = CBfr::kNoCache;
  h->selection = edgetype;
  h->kind = kind == kEdgeMid ? kEdgeMid : 0;
  if (kind == kEdgeMid) risingCount = fallingCount = 0;
  nonFinite = 0;

  // Within a measurement's evaluation the operation is already open and stays its own.
  const bool ownOperation = status.oper == 0;
  if (ownOperation) status.OperLabel("Processing");
  CStr what = name + " " + CStr(static_cast<long>(kind));
  status.OperInit(what);
  struct Closer {
    CStatus& s;
    bool own;
    ~Closer() {
      if (own) s.OperEnd();
    }
  } closer{status, ownOperation};

  if (!input) {
    owner.logErr((CStr("Input port ") + prefix + ".in is not connected and is required").GetBfr());
    return;
  }
  list.tag = input->tag;
  list.interval = input->interval;
  list.stamp[0] = input->stamp[0];
  list.stamp[1] = input->stamp[1];
  list.xstart = input->xstart;
  list.scale = 1.0;
  list.offset = 0.0;

  long first = rangeStart && *rangeStart >= 0 ? *rangeStart : 0;
  long last = rangeStop && *rangeStop >= 0 ? *rangeStop : static_cast<long>(input->count) - 1;
  if (last > static_cast<long>(input->count) - 1) last = static_cast<long>(input->count) - 1;
  start = static_cast<int32_t>(first);
  stop = static_cast<int32_t>(last);
  if (last - first + 1 < 1 || !input->data) {
    owner.logErr("Input record length is 0.");
    return;
  }
  list.span = static_cast<double>(last - first + 1) * input->interval;

  const long estimate = (last - first + 1) / 64 + 16;
  if (!list.SetSize(estimate + 1)) {
    owner.logErrAbort("Insufficient memory");
    return;
  }
  list.ready = 1;  // SetSize cleared it
  status.OperStart(first, last, 99999);

  startCount(first, last);
  switch (input->type) {
    case bfrI2: scanTyped<int16_t>(list, kind, first, last); break;
    case bfrR4: scanTyped<float>(list, kind, first, last); break;
    case bfrR8: scanTyped<double>(list, kind, first, last); break;
    default: owner.logErr("Input format not supported"); break;
  }
  countTo(last + 1);
}

// NaN and infinite samples make no crossing: counted with each scan of the record.
void CChannel::startCount(long first, long last) {
  countEnd = last + 1;
  if (countedNonFinite >= 0 && input->tag == countedTag && first == countedFirst && last == countedLast &&
      input->data == countedData) {
    nonFinite = countedNonFinite;
    countAt = countEnd;
    return;
  }
  nonFinite = 0;
  countAt = input->type == bfrR4 || input->type == bfrR8 ? first : countEnd;  // integers are all finite
  countedTag = input->tag, countedFirst = first, countedLast = last, countedData = input->data;
  countedNonFinite = -1;  // not known until the count is finished
  if (countAt == countEnd) countedNonFinite = 0;
}

void CChannel::countTo(long end) {
  end = std::min(end, countEnd);
  if (countAt >= end) return;
  long found = 0;
  if (input->type == bfrR4) found = edgesearch::CountNonFinite(static_cast<const float*>(input->data) + countAt, end - countAt);
  if (input->type == bfrR8) found = edgesearch::CountNonFinite(static_cast<const double*>(input->data) + countAt, end - countAt);
  tookCount(end, found);
}

void CChannel::tookCount(long end, long found) {
  nonFinite += found;
  countAt = end;
  if (countAt == countEnd) countedNonFinite = nonFinite;
}

// The user hears of them once per pass and record, however many lists are asked for.
void CChannel::warnNonFinite() {
  if (nonFinite == 0 || !input || (warnedPass == passes && warnedTag == input->tag)) return;
  warnedPass = passes;
  warnedTag = input->tag;
  const CStr text = prefix + ".in holds " + CStr(nonFinite) + " non-finite samples (NaN or infinite); they are not measured";
  owner.logWarn(text.GetBfr());
}

void CChannel::NewPass() { ++passes; }

// Top and base: the most common level of the upper and of the lower half of the record's
// histogram; where no level stands out (a sine), the 95th and 5th percentiles.
void CChannel::applyAutoLevels() {
  autoDone = true;
  autoTag = input->tag;
  const long count = input->count;
  start = rangeStart && *rangeStart >= 0 ? *rangeStart : 0;
  stop = static_cast<int32_t>(rangeStop && *rangeStop >= 0 ? std::min<long>(*rangeStop, count - 1) : count - 1);
  double lo = 0, hi = 0;
  if (!Extremes(lo, hi)) return;
  if (!(hi - lo > 0) || !std::isfinite(hi - lo)) {
    top = base = NAN;
    CStr f;
    const std::string text = std::string(prefix.GetBfr()) + ".in has no swing for automatic levels: it lies between " +
                             f.Num2Str(lo, 6).GetBfr() + " and " + f.Num2Str(hi, 6).GetBfr();
    owner.logWarn(text.c_str());
    return;
  }
  constexpr int kBins = 200;
  std::vector<long> bins(kBins, 0);
  long total = 0;
  for (long i = start; i <= stop; ++i) {
    double x = 0;
    switch (input->type) {
      case bfrI2: x = static_cast<const int16_t*>(input->data)[i]; break;
      case bfrR4: x = static_cast<const float*>(input->data)[i]; break;
      default: x = static_cast<const double*>(input->data)[i]; break;
    }
    x = x * input->scale + input->offset;
    if (!std::isfinite(x)) continue;
    const int b = std::min(kBins - 1, static_cast<int>((x - lo) / (hi - lo) * kBins));
    ++bins[static_cast<size_t>(b)], ++total;
  }
  auto binLevel = [&](int b) { return lo + (b + 0.5) * (hi - lo) / kBins; };
  auto percentile = [&](double q) {
    long want = static_cast<long>(q * static_cast<double>(total)), seen = 0;
    for (int b = 0; b < kBins; ++b)
      if ((seen += bins[static_cast<size_t>(b)]) > want) return binLevel(b);
    return hi;
  };
  // A level stands out when its bin holds several times the share of an even spread.
  auto mode = [&](int from, int to, double& level) {
    int best = from;
    long sum = 0;
    for (int b = from; b < to; ++b) {
      sum += bins[static_cast<size_t>(b)];
      if (bins[static_cast<size_t>(b)] > bins[static_cast<size_t>(best)]) best = b;
    }
    level = binLevel(best);
    return sum > 0 && bins[static_cast<size_t>(best)] * (to - from) > 5 * sum;
  };
  double t = 0, b = 0;
  if (!mode(kBins / 2, kBins, t)) t = percentile(0.95);
  if (!mode(0, kBins / 2, b)) b = percentile(0.05);
  top = t, base = b;
  const double swing = t - b;
  struct Level {
    const char* key;
    double* field;
    double value;
  } levels[] = {{"mid", &mid, b + 0.5 * swing},          {"high", &high, b + 0.9 * swing},
                {"low", &low, b + 0.1 * swing},          {"fall.mid", &fallMidOffset, 0.0},
                {"fall.high", &fallHighOffset, 0.0},     {"fall.low", &fallLowOffset, 0.0},
                {"hysteresis", &hysteresis, 0.05 * swing}};
  for (Level& l : levels) {
    if (*l.field == l.value) continue;
    *l.field = l.value;
    Invalidate();
    autoDone = true;
    if (owner.pgd && owner.pgd->notify) owner.pgd->notify(owner.name, (prefix + "." + l.key).GetBfr());
  }
}

bool CChannel::Extremes(double& lo, double& hi) const {
  if (!input || !input->data || stop < start || start < 0 || stop >= input->count) return false;
  lo = HUGE_VAL, hi = -HUGE_VAL;
  auto take = [&](double x) {
    if (std::isnan(x)) return;
    lo = std::min(lo, x), hi = std::max(hi, x);
  };
  for (long i = start; i <= stop; ++i) {
    switch (input->type) {
      case bfrI2: take(static_cast<const int16_t*>(input->data)[i]); break;
      case bfrR4: take(static_cast<const float*>(input->data)[i]); break;
      case bfrR8: take(static_cast<const double*>(input->data)[i]); break;
      default: return false;
    }
  }
  if (lo > hi) return false;
  const double a = lo * input->scale + input->offset, b = hi * input->scale + input->offset;
  lo = std::min(a, b), hi = std::max(a, b);
  return true;
}

template <class T>
void CChannel::scanTyped(CBfr& list, int32_t kind, long first, long last) {
  BfrEdgeHeader* h = list.Edges();
  T* s = static_cast<T*>(input->data);
  const double scale = input->scale != 0 && std::isfinite(input->scale) ? input->scale : 1.0;
  const double offset = std::isfinite(input->offset) ? input->offset : 0.0;
  auto raw = [&](double level) { return (level - offset) / scale; };
  // A negative band would let the step back leave the record; the band is its width.
  const double hys = std::fabs(hysteresis / scale);

  double riseMid = raw(mid), fallMid = raw(mid + fallMidOffset);
  double riseHigh = raw(high), riseLow = raw(low);
  double fallHigh = raw(high + fallHighOffset), fallLow = raw(low + fallLowOffset);

  // Every band edge used must lie strictly inside the sample type's range (or a search could
  // run past its sentinel); 16-bit records are where this usually bites.
  if (kind == kEdgeMid) {
    const struct {
      double level;
      const char* message;
    } bands[] = {{riseMid + hys, "Rise (Mid + hys) out of range"},
                 {riseMid - hys, "Rise (Mid - hys) out of range"},
                 {fallMid + hys, "Fall (Mid + hys) out of range"},
                 {fallMid - hys, "Fall (Mid - hys) out of range"}};
    for (const auto& b : bands)
      if (!inRange<T>(b.level)) {
        owner.logWarn(b.message);
        return;
      }
  } else {
    const double up = kind == kEdgeRise ? riseHigh : fallHigh, down = kind == kEdgeRise ? riseLow : fallLow;
    if (!inRange<T>(up) || !inRange<T>(up + hys)) {
      owner.logWarn("Upper threshold out of range");
      return;
    }
    if (!inRange<T>(down) || !inRange<T>(down - hys)) {
      owner.logWarn("Lower threshold out of range");
      return;
    }
  }

  // Sentinels after the range, restored however the scan ends.
  struct Sentinels {
    T* at;
    T saved[2];
    Sentinels(T* p) : at(p) {
      saved[0] = at[0], saved[1] = at[1];
      at[0] = hiSentinel<T>();
      at[1] = loSentinel<T>();
    }
    ~Sentinels() { at[0] = saved[0], at[1] = saved[1]; }
  } sentinels(s + last + 1);

  CGlobalData* g = owner.pgd;
  Appender out(list, last - first + 1);
  bool cut = false;
  auto aborted = [&](long p) {
    cut = (g && g->abort.load(std::memory_order_relaxed)) || (p >= status.next && status.OperUpdate(p) != 0);
    return cut;
  };
  auto append = [&](double x, long p) {
    if (!out.add(x, p - first + 1)) {
      owner.logErrAbort("Insufficient memory");
      return false;
    }
    return true;
  };
  auto v = [&](long i) { return static_cast<double>(s[i]); };

  using edgesearch::Make;
  const long end = last + 3;  // the two sentinels end every unbounded search
  if (kind == kEdgeRise || kind == kEdgeFall) {
    const bool rise = kind == kEdgeRise;
    const double a = rise ? riseLow : fallHigh;   // first crossing
    const double b = rise ? riseHigh : fallLow;   // second crossing
    h->code = kind;
    h->level1 = rise ? high : high + fallHighOffset;
    h->level2 = rise ? low : low + fallLowOffset;
    if (!(rise ? b > a : a > b)) {
      owner.logWarn(rise ? "Rise high threshold is not above rise low threshold"
                         : "Fall high threshold is not above fall low threshold");
      list.valid = list.count = 0;
      return;
    }
    // Rising: on or above the start level, below it, below the end level; falling mirrored.
    const auto onStartSide = Make<T>(rise ? whileAtOrAbove : whileAtOrBelow, a);
    const auto beforeStart = Make<T>(rise ? whileBelow : whileAbove, a);
    const auto beforeEnd = Make<T>(rise ? whileBelow : whileAbove, b);
    long p = first, previousHigh = -1;
    while (p <= last) {
      // Before the first threshold, then across it. A sample exactly on the threshold while
      // the signal goes the other way is passed over, so it cannot pass for a crossing.
      p = onStartSide(s, p, end);
      if (p > last) break;
      long pa = beforeStart(s, p, end);
      if (pa > last) break;
      long pb = beforeEnd(s, pa, end);
      // A fall back past the start level before the end level restarts the transition at
      // its next crossing: noise on a slope must not open a transition that the next edge
      // closes.
      for (long back; (back = onStartSide(s, pa, pb)) < pb;) {
        pa = beforeStart(s, back + 1, end);
        if (pa > pb) pb = beforeEnd(s, pa, end);
      }
      if (pa > last || pb > last) break;
      if (pb == previousHigh) {
        KvErrReport(2, __LINE__, "Unable to find edges", kUnit);
        break;
      }
      previousHigh = pb;
      if (pa > first && pb > first) {
        const double xa = pa + (a - v(pa)) / (v(pa) - v(pa - 1));
        const double xb = pb + (b - v(pb)) / (v(pb) - v(pb - 1));
        // A NaN sample or a flat step gives no usable crossing: skip it, never stall.
        if (std::isfinite(xa) && std::isfinite(xb)) {
          if (!append(xa, pb) || !append(xb, pb)) break;
        }
        const double next = std::isfinite(xb) ? std::trunc(xb) + 1 : static_cast<double>(pb + 1);
        p = next > static_cast<double>(pb) ? static_cast<long>(next) : pb + 1;
      } else {
        p = pb + 1;
      }
      if (aborted(p)) break;
    }
  } else {
    const int32_t sel = edgetype;
    // The control channel's 1 and 2 choose the level measured during: windows open at one
    // edge and close at the next, so both polarities are found, the chosen one first.
    const bool alternate = control || (sel != 1 && sel != 2);
    h->level1 = mid;
    h->level2 = mid + fallMidOffset;
    const double riseArm = riseMid - hys, riseFire = riseMid + hys;
    const double fallArm = fallMid + hys, fallFire = fallMid - hys;
    const auto toRiseArm = Make<T>(whileAbove, riseArm), toRiseFire = Make<T>(whileBelow, riseFire);
    const auto toFallArm = Make<T>(whileBelow, fallArm), toFallFire = Make<T>(whileAbove, fallFire);
    long p = first;
    bool seekRising = true;
    if (sel == 0) {
      h->code = 0;
      p = last + 1;
    } else if (sel == 1 || sel == 2) {
      seekRising = sel == 1;
      h->code = sel;
    } else {
      // The first sample clearly on one side decides which edge comes first.
      while (!(v(p) <= riseArm) && !(v(p) >= fallArm)) ++p;
      seekRising = v(p) <= riseArm;
      h->code = seekRising ? 3 : 4;
    }
    if (const edgesearch::WalkFn<T> walk = edgesearch::MidWalker<T>()) {
      edgesearch::MidWalk<T> w{};
      w.s = s, w.last = last, w.end = end;
      w.level[0] = toRiseArm.level, w.level[1] = toRiseFire.level;
      w.level[2] = toFallArm.level, w.level[3] = toFallFire.level;
      w.riseMid = riseMid, w.fallMid = fallMid;
      w.risingOnly = !alternate && sel == 1, w.fallingOnly = !alternate && sel == 2;
      w.abort = g ? &g->abort : nullptr;
      w.p = p, w.seekRising = seekRising;
      for (;;) {
        w.next = status.next;
        w.out = out.data(), w.count = out.count(), w.capacity = out.room();
        w.counted = countAt, w.nonFinite = 0;  // the walk counts as it reads
        const edgesearch::WalkStop why = walk(w);
        out.took(w.count);
        tookCount(w.counted, w.nonFinite);
        if (why == edgesearch::WalkStop::Done) break;
        if (why == edgesearch::WalkStop::Full ? !out.grow(w.p - first + 1) : aborted(w.p)) {
          if (why == edgesearch::WalkStop::Full) owner.logErrAbort("Insufficient memory");
          break;
        }
      }
      risingCount += w.rising, fallingCount += w.falling;
      p = last + 1;  // the walk has covered the range
    }
    while (p <= last) {
      if (seekRising) {
        p = toRiseArm(s, p, end);
        if (p > last) break;
        const long armed = p;
        p = toRiseFire(s, p + 1, end);
        if (p > last) break;
        long q = p;
        while (q > armed && v(q) >= riseMid) --q;
        const double x = q + (riseMid - v(q)) / (v(q + 1) - v(q));
        if (std::isfinite(x)) {  // a NaN sample gives no crossing; the search goes on
          if (!append(x, p)) break;
          ++risingCount;
          if (alternate || sel != 1) seekRising = false;
        }
      } else {
        p = toFallArm(s, p, end);
        if (p > last) break;
        const long armed = p;
        p = toFallFire(s, p + 1, end);
        if (p > last) break;
        long q = p;
        while (q > armed && v(q) <= fallMid) --q;
        const double x = q + (fallMid - v(q)) / (v(q + 1) - v(q));
        if (std::isfinite(x)) {
          if (!append(x, p)) break;
          ++fallingCount;
          if (alternate || sel != 2) seekRising = true;
        }
      }
      if (aborted(p)) break;
    }
  }
  // A list that could not grow has lost its array: it ends empty, never half there.
  const bool lost = !list.Edges()->edges;
  list.valid = list.count = lost ? 0 : static_cast<int32_t>(out.count());
  // A scan an abort cut short holds what it found but is scanned again when asked next.
  list.ready = cut ? 0 : 1;
}
