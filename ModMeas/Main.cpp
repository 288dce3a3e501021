#include "ModMeas/Main.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace {

// The families of measurements and their flags (a row's variant).
bool clockIntervals(MeasEvaluation& e);
bool clockTie(MeasEvaluation& e);
bool clockNCycle(MeasEvaluation& e);
bool pulses(MeasEvaluation& e);
bool transitions(MeasEvaluation& e);
bool dataIntervals(MeasEvaluation& e);
bool dataTie(MeasEvaluation& e);
bool setupHold(MeasEvaluation& e);
bool channelSkew(MeasEvaluation& e);
bool crossingLevel(MeasEvaluation& e);

enum : int32_t { kPeriod = 0, kFrequency = 1, kCycleToCycle = 2 };  // clockIntervals, dataIntervals
enum : int32_t { kPositive = 1, kDuty = 2, kCycle = 4 };            // pulses
enum : int32_t { kRise = 1, kRate = 2 };                            // transitions
enum : int32_t { kSetup = 0, kHold = 1 };                           // setupHold

}  // namespace

const MeasRow kMeasTable[kMeasCount] = {
    {"CkPeriod", "Ck Period", "s", 1, 0x2, clockIntervals, kPeriod},
    {"CkFreq", "Ck Frequency", "Hz", 1, 0x2, clockIntervals, kFrequency},
    {"CkPWidth", "Ck Pos Width", "s", 12, 0x2, pulses, kPositive},
    {"CkNWidth", "Ck Neg Width", "s", 12, 0x2, pulses, 0},
    {"CkPDuty", "Ck Pos Duty Cycle", "%", 3, 0x2, pulses, kPositive | kDuty},
    {"CkNDuty", "Ck Neg Duty Cycle", "%", 3, 0x2, pulses, kDuty},
    {"CkTIE", "Ck Time Interval Err", "s", 1, 0x2, clockTie, 0},
    {"CkJCC", "Ck Cy-Cy Period", "s", 1, 0x2, clockIntervals, kCycleToCycle},
    {"CkJNC", "Ck N-Cycle Period", "s", 1, 0x2, clockNCycle, 0},
    {"CkPWdCC", "Ck Cy-Cy Pos Width", "s", 12, 0x2, pulses, kPositive | kCycle},
    {"CkNWdCC", "Ck Cy-Cy Neg Width", "s", 12, 0x2, pulses, kCycle},
    {"CkPDutyCC", "Ck Cy-Cy Pos Duty", "%", 3, 0x2, pulses, kPositive | kDuty | kCycle},
    {"CkNDutyCC", "Ck Cy-Cy Neg Duty", "%", 3, 0x2, pulses, kDuty | kCycle},
    {"CkRiseTime", "Ck Rise Time", "s", 4, 0x4, transitions, kRise},
    {"CkFallTime", "Ck Fall Time", "s", 8, 0x8, transitions, 0},
    {"CkRiseRate", "Ck Rise Slew Rate", "V/ns", 4, 0x4, transitions, kRise | kRate},
    {"CkFallRate", "Ck Fall Slew Rate", "V/ns", 8, 0x8, transitions, kRate},
    {"DtPeriod", "Dt Period", "s", 1, 0x20, dataIntervals, kPeriod},
    {"DtFreq", "Dt Frequency", "Hz", 1, 0x20, dataIntervals, kFrequency},
    {"DtTIE", "Dt Time Interval Err", "s", 1, 0x20, dataTie, 0},
    {"DtRiseTime", "Dt Rise Time", "s", 4, 0x40, transitions, kRise},
    {"DtFallTime", "Dt Fall Time", "s", 8, 0x80, transitions, 0},
    {"DtRiseRate", "Dt Rise Slew Rate", "V/ns", 4, 0x40, transitions, kRise | kRate},
    {"DtFallRate", "Dt Fall Slew Rate", "V/ns", 8, 0x80, transitions, kRate},
    {"SetupTime", "Setup Time", "s", 1, 0x22, setupHold, kSetup},
    {"HoldTime", "Hold Time", "s", 1, 0x22, setupHold, kHold},
    {"ChSkew", "Ch-Ch Skew", "s", 1, 0x22, channelSkew, 0},
    {"XLevel", "Crossing Level", "V", 1, 0x11, crossingLevel, 0},
};

namespace {

const char* const kUnit = "ModMeas/Main";
constexpr double kHuge = DBL_MAX;

using Edges = std::span<const double>;

// The first index in [from, n) at or after x in a sorted sequence (n when none).
long firstAtOrAfter(Edges t, double x, long from = 0) {
  const long n = static_cast<long>(t.size());
  return static_cast<long>(std::lower_bound(t.begin() + std::min(from, n), t.end(), x) - t.begin());
}

// The results of one evaluation, with the raw limits.
class Results {
 public:
  Results(CBfr& out, double min, double max) : out_(out), min_(min), max_(max) {}
  bool size(long n) {
    if (n < 1) n = 1;
    if (!out_.SetSize(n)) return false;
    cap_ = n;
    v_ = static_cast<double*>(out_.data), s_ = static_cast<double*>(out_.data2), e_ = static_cast<double*>(out_.data3);
    return true;
  }
  void limits(double min, double max) { min_ = min, max_ = max; }
  bool accepts(double v) const { return min_ < v && v < max_; }
  // False when the output is full (the overrun is counted).
  bool add(double v, double s, double e) {
    if (!accepts(v)) return true;
    if (n_ >= cap_) {
      ++dropped_;
      return false;
    }
    v_[n_] = v, s_[n_] = s, e_[n_] = e;
    ++n_;
    return true;
  }
  long count() const { return n_; }
  long dropped() const { return dropped_; }

 private:
  CBfr& out_;
  double min_, max_;
  long cap_ = 0, n_ = 0, dropped_ = 0;
  double *v_ = nullptr, *s_ = nullptr, *e_ = nullptr;  // the output's arrays once sized
};

double rawLimit(double limit, double scale) {
  if (!(std::fabs(limit) < kHuge)) return limit < 0 ? -HUGE_VAL : HUGE_VAL;
  return scale != 0 ? limit / scale : limit;
}

// The output's scale: raw edge units to the measurement's unit.
double unitScale(const char* unit, double interval, const CBfr* transition) {
  const std::string u = unit;
  if (u == "Hz") return 1.0 / interval;
  if (u == "%") return 100.0;
  if (u == "V") return 1.0;
  if (u == "V/ns") {
    const BfrEdgeHeader* h = transition && transition->Edges() ? transition->Edges() : nullptr;
    return (h ? h->level1 - h->level2 : 1.0) / interval * 1e-9;
  }
  return interval;
}

}  // namespace

// One evaluation of one measurement: its edge lists, its windows, its results and its
// messages, for the family function its row names.
class MeasEvaluation {
 public:
  using Window = CMeasurement::Window;

  CMeasurement& m;
  MeasContext& c;
  const MeasRow& r;
  CStatus& status;
  Results res;
  CBfr* transition = nullptr;  // the rise or fall list of a transition row
  double firstStart = kHuge;   // the start of the first window (kHuge: no window)
  bool cut = false;            // a list or the evaluation an abort cut short

  MeasEvaluation(CMeasurement& meas, MeasContext& ctx, const MeasRow& row)
      : m(meas), c(ctx), r(row), status(ctx.status), res(meas.output, 0, 0), who(std::string(row.name) + ": "),
        abort(ctx.owner.pgd ? &ctx.owner.pgd->abort : &kNoAbort) {}

  void warn(const char* text) { c.owner.logWarn((who + text).c_str()); }
  void err(const char* text) { c.owner.logErr((who + text).c_str()); }
  void errAbort(const char* text) { c.owner.logErrAbort((who + text).c_str()); }

  // A list that an abort cut short is incomplete: nothing measured on it is published.
  CBfr* edges(CChannel& ch, int32_t kind) {
    CBfr* list = ch.GetEdges(kind);
    if (list && !list->ready) cut = true;
    return list;
  }
  // The selected edges of a channel's mid crossings: with both polarities in the list and
  // one asked for ("rise+fall", "fall+rise"), every second entry, beginning with the asked
  // polarity, copied into scratch; else the list itself.
  Edges selected(CChannel& ch, int slot) {
    const CBfr* list = edges(ch, kEdgeMid);
    if (!list || !list->Edges() || !list->Edges()->edges) return {};
    const BfrEdgeHeader* h = list->Edges();
    const long n = list->valid;
    if (h->selection != 5 && h->selection != 6) return Edges(h->edges, static_cast<size_t>(n));
    const bool risingFirst = h->code == 3;
    std::vector<double>& t = m.selected[slot];
    t.clear();
    for (long i = (h->selection == 5) == risingFirst ? 0 : 1; i < n; i += 2) t.push_back(h->edges[i]);
    return t;
  }
  // The control channel's windows; without a control input, one window over everything.
  void openWindows() {
    std::vector<Window>& w = m.windows;
    w.clear();
    if (c.control.input) {
      const Edges t = selected(c.control, 0);
      for (size_t i = 0; i < t.size(); i += 2) w.push_back({t[i], i + 1 < t.size() ? t[i + 1] : kHuge});
    } else {
      w.push_back({-kHuge, kHuge});
    }
    firstStart = w.empty() ? kHuge : w.front().start;
  }
  const std::vector<Window>& windows() const { return m.windows; }
  std::vector<double>& work() { return m.work; }
  std::vector<long>& used() { return m.used; }

  // The walk over the windows: for each, the entries [j, end) of the sorted sequence key(0 ..
  // n-1) that lie inside it, and the window.
  template <class Key, class Fn>
  void inWindows(long n, Key key, Fn fn) {
    for (const Window& w : m.windows) {
      long j = 0, end = n;
      for (long len = n; len > 0;) {  // the first key at or after the start
        const long half = len / 2;
        if (key(j + half) < w.start) j += half + 1, len -= half + 1;
        else len = half;
      }
      end = j;
      for (long len = n - j; len > 0;) {  // the first key after the end
        const long half = len / 2;
        if (!(w.end < key(end + half))) end += half + 1, len -= half + 1;
        else len = half;
      }
      fn(j, end, w);
    }
  }
  template <class Fn>
  void inWindows(Edges t, Fn fn) {
    inWindows(static_cast<long>(t.size()), [&](long i) { return t[static_cast<size_t>(i)]; }, fn);
  }

  // The guard of every family that measures on edges: with none, says where the record lies.
  bool needEdges(long n, CChannel& ch, int32_t kind) {
    if (n >= 1) return true;
    noEdges(ch, kind);
    return false;
  }
  bool sized(long n, bool aborting) {
    if (res.size(n)) return true;
    if (aborting)
      errAbort("Insufficient memory.");
    else
      err("Insufficient memory.");
    return false;
  }
  // Appends; on a full output reports once and tells the caller to leave the window.
  bool put(double v, double s, double e) {
    if (res.add(v, s, e)) return true;
    if (!overrunReported) errAbort("Buffer overrun detected, aborting");
    overrunReported = true;
    return false;
  }
  // An abort from elsewhere leaves the results incomplete; our own overrun keeps them.
  bool stopNow(long pos) {
    if (abort->load(std::memory_order_relaxed) || (pos >= status.next && status.OperUpdate(pos) != 0)) {
      if (!overrunReported) cut = true;
      return true;
    }
    return false;
  }

 private:
  std::string who;  // every message names the measurement it comes from
  bool overrunReported = false;
  // Read with every result: one load, not a walk through the owner to its engine.
  const std::atomic<uint8_t>* abort;
  static inline const std::atomic<uint8_t> kNoAbort{0};

  // With fixed levels, an empty list most often means levels outside the signal: say where
  // the record lies beside the levels used.
  void noEdges(CChannel& ch, int32_t kind) {
    double lo = 0, hi = 0;
    if (!ch.Extremes(lo, hi)) return warn("No edges found");
    CStr f;
    std::string text = std::string("No edges found: ") + ch.prefix.GetBfr() + ".in lies between " + f.Num2Str(lo, 6).GetBfr() +
                       " and " + f.Num2Str(hi, 6).GetBfr();
    if (kind == kEdgeMid)
      text += std::string(", mid ") + f.Num2Str(ch.mid, 6).GetBfr() + ", hysteresis " + f.Num2Str(ch.hysteresis, 6).GetBfr();
    else
      text += std::string(", low ") + f.Num2Str(ch.low, 6).GetBfr() + ", high " + f.Num2Str(ch.high, 6).GetBfr();
    warn(text.c_str());
  }
};

namespace {

// CkPeriod, CkFreq and CkJCC: from one selected edge to the next inside a window.
bool clockIntervals(MeasEvaluation& e) {
  const Edges t = e.selected(e.c.clock, 0);
  const long n = static_cast<long>(t.size());
  if (!e.needEdges(n, e.c.clock, kEdgeMid) || !e.sized(n, false)) return false;
  const int32_t what = e.r.variant;
  e.status.OperStart(0, n - 1, 9999);
  e.inWindows(t, [&](long j, long end, const auto&) {
    for (long k = j + 1; k < end; ++k) {
      bool ok = true;
      if (what == kPeriod) ok = e.put(t[k] - t[k - 1], t[k - 1], t[k]);
      if (what == kFrequency) ok = e.put(1.0 / (t[k] - t[k - 1]), t[k - 1], t[k]);
      if (what == kCycleToCycle && k - 1 > j) ok = e.put(t[k] - 2 * t[k - 1] + t[k - 2], t[k - 1], t[k]);
      if (!ok || e.stopNow(k)) break;
    }
  });
  return true;
}

// CkTIE: each selected edge from the first window's start against the least-squares line.
bool clockTie(MeasEvaluation& e) {
  const Edges t = e.selected(e.c.clock, 0);
  const long from = firstAtOrAfter(t, e.firstStart);
  const long n = static_cast<long>(t.size()) - from;
  if (!e.needEdges(n, e.c.clock, kEdgeMid)) return false;
  if (n == 1) {
    e.warn("Only 1 edge found");
    return false;
  }
  if (!e.sized(n + 1, false)) return false;
  // Least squares t = a + b k, in centred sums (the edge times of a long record are large).
  double km = (n - 1) / 2.0, tm = 0;
  for (long k = 0; k < n; ++k) tm += t[from + k];
  tm /= n;
  double skt = 0, skk = 0;
  for (long k = 0; k < n; ++k) {
    skt += (k - km) * (t[from + k] - tm);
    skk += (k - km) * (k - km);
  }
  const double b = skt / skk, a = tm - b * km;
  e.status.OperStart(0, n - 1, 9999);
  for (long k = 0; k < n; ++k) {
    const double x = t[from + k];
    if (!e.put(x - (a + b * k), x, x) || e.stopNow(k)) break;
  }
  return true;
}

// CkJNC: the second difference of edges N apart, from the jncStart-th edge of a window.
bool clockNCycle(MeasEvaluation& e) {
  const Edges t = e.selected(e.c.clock, 0);
  const long n = static_cast<long>(t.size());
  const long N = std::max<long>(e.m.jncN, 1);
  if (!e.needEdges(n, e.c.clock, kEdgeMid) || !e.sized(n / N + 1, false)) return false;
  const long skip = std::max<long>(e.m.jncStart - 1, 0);
  e.status.OperStart(0, n - 1, 9999);
  e.inWindows(t, [&](long j, long end, const auto&) {
    for (long k = j + skip; k + 2 * N < end; k += N)
      if (!e.put(t[k + 2 * N] - 2 * t[k + N] + t[k], t[k + N], t[k + 2 * N]) || e.stopNow(k)) break;
  });
  return true;
}

// The widths and duty cycles of positive or negative pulses, and their cycle-to-cycle
// differences; they need both polarities in the mid list.
bool pulses(MeasEvaluation& e) {
  const CBfr* list = e.edges(e.c.clock, kEdgeMid);
  const BfrEdgeHeader* h = list ? list->Edges() : nullptr;
  if (!h || !h->edges || (h->code != 3 && h->code != 4)) {
    e.errAbort("Unable to calculate");
    return false;
  }
  const Edges t(h->edges, static_cast<size_t>(list->valid));
  const long n = static_cast<long>(t.size());
  if (!e.needEdges(n, e.c.clock, kEdgeMid) || !e.sized(n / 2 + 1, false)) return false;
  const bool positive = e.r.variant & kPositive, duty = e.r.variant & kDuty, cc = e.r.variant & kCycle;
  // Index parity of the edges that open a pulse: rising ones for positive pulses.
  const long parity = (positive == (h->code == 3)) ? 0 : 1;
  e.status.OperStart(0, n - 1, 9999);
  e.inWindows(t, [&](long j, long end, const auto&) {
    if ((j & 1) != parity) ++j;
    bool havePrevious = false;
    double previous = 0, previousStart = 0;
    for (; (duty ? j + 2 : j + 1) < end; j += 2) {
      const long closeAt = duty ? j + 2 : j + 1;
      const double width = t[j + 1] - t[j];
      const double value = duty ? width / (t[j + 2] - t[j]) : width;
      bool ok = true;
      if (!cc)
        ok = e.put(value, t[j], t[closeAt]);
      else if (havePrevious)
        ok = e.put(value - previous, previousStart, t[closeAt]);
      previous = value, previousStart = t[j], havePrevious = true;
      if (!ok || e.stopNow(j)) break;
    }
  });
  return true;
}

// Rise and fall times and slew rates: the pairs of the transition list inside a window.
bool transitions(MeasEvaluation& e) {
  const bool rise = e.r.variant & kRise, rate = e.r.variant & kRate;
  const int32_t kind = rise ? kEdgeRise : kEdgeFall;
  CChannel& ch = (e.r.mask & 0xF) ? e.c.clock : e.c.data;
  const CBfr* list = e.transition;
  const BfrEdgeHeader* h = list && list->Edges() ? list->Edges() : nullptr;
  if (!h || h->code != kind) {
    e.errAbort("Unable to calculate");
    return false;
  }
  const long pairs = list->valid / 2;
  if (!e.needEdges(pairs, ch, kind) || !e.sized(pairs + 1, false)) return false;
  const double* x = h->edges;
  e.status.OperStart(0, pairs - 1, 9999);
  e.inWindows(pairs, [&](long p) { return x[2 * p]; }, [&](long p, long, const auto& w) {
    for (; p < pairs && !(x[2 * p + 1] > w.end); ++p) {
      const double dt = x[2 * p + 1] - x[2 * p];
      if (!e.put(rate ? 1.0 / dt : dt, x[2 * p], x[2 * p + 1]) || e.stopNow(p)) break;
    }
  });
  return true;
}

// The data unit interval in samples: set by hand, or estimated once per acquisition from
// the gaps between data edges inside the windows.
double unitInterval(MeasEvaluation& e, Edges t) {
  CMeasurement& m = e.m;
  if (!m.freqAuto) return m.freq > 0 ? 1.0 / m.freq / (e.c.data.input->interval != 0 ? e.c.data.input->interval : 1.0) : 0;
  if (e.c.unitInterval > 0) return e.c.unitInterval;
  std::vector<double>& gaps = e.work();
  gaps.clear();
  e.inWindows(t, [&](long j, long end, const auto&) {
    for (long k = j + 1; k < end; ++k) {
      gaps.push_back(t[k] - t[k - 1]);
      if (e.stopNow(k)) break;
    }
  });
  double u = 0;
  double mn = kHuge;
  for (double d : gaps) mn = std::min(mn, d);
  if (!gaps.empty()) {
    for (double d : gaps)
      if (d > 1.5 * mn && d < 1.8 * mn) {
        mn /= 2;
        break;
      }
    double s1 = 0, s2 = 0, s3 = 0;
    long c1 = 0, c2 = 0, c3 = 0;
    for (double d : gaps)
      if (d < 1.5 * mn) s1 += d, ++c1;
    // After halving no gap is below 1.5 m: start from m itself.
    const double u1 = c1 ? s1 / c1 : mn;
    for (double d : gaps)
      if (d > 1.8 * u1 && d < 2.3 * u1) s2 += d, ++c2;
    const double u2 = (c1 + 2 * c2) ? (s1 + s2) / (c1 + 2 * c2) : u1;
    for (double d : gaps)
      if (d > 2.8 * u2 && d < 3.2 * u2) s3 += d, ++c3;
    u = (c1 + 2 * c2 + 3 * c3) ? (s1 + s2 + s3) / (c1 + 2 * c2 + 3 * c3) : u2;
    double all = 0;
    for (double d : gaps) all += d;
    double previousU = 0;
    for (int pass = 0; pass < 10 && u > 0; ++pass) {
      double units = 0;
      for (double d : gaps) units += std::trunc(d / u + 0.5);
      if (units <= 0) break;
      const double next = all / units;
      u = next;
      if (next == previousU) break;
      previousU = next;
    }
    if (u < mn) u = mn;
  }
  e.c.unitInterval = u;
  return u;
}

// The data edges with their unit interval; false (reported) without a usable one.
bool dataEdges(MeasEvaluation& e, Edges& t, double& u) {
  t = e.selected(e.c.data, 0);
  if (!e.needEdges(static_cast<long>(t.size()), e.c.data, kEdgeMid)) return false;
  u = unitInterval(e, t);
  if (u > 0 && std::isfinite(u)) return true;
  e.errAbort("Unable to calculate");
  return false;
}

// DtPeriod and DtFreq: each gap between data edges counts as its number of unit intervals.
bool dataIntervals(MeasEvaluation& e) {
  Edges t;
  double u = 0;
  if (!dataEdges(e, t, u)) return false;
  const long n = static_cast<long>(t.size());
  // The span in unit intervals; a unit interval absurdly short for the data could ask for
  // gigabytes, so no more than 64 results per edge are held (the rest is an overrun).
  const double span = (t[n - 1] - t[0]) / u;
  if (!e.sized(static_cast<long>(std::min(span, 64.0 * n)) + 1, false)) return false;
  e.status.OperStart(0, n - 1, 9999);
  e.inWindows(t, [&](long j, long end, const auto&) {
    bool ok = true;
    for (long k = j + 1; k < end && ok; ++k) {
      const double d = t[k] - t[k - 1];
      // More unit intervals in one gap than the output could ever hold count as one
      // overrun, not as a loop without end.
      const double ratio = d / u + 0.5;
      const long units = ratio < 1e9 ? static_cast<long>(ratio) : 1000000000L;
      if (units > 0) {
        const double v = e.r.variant == kPeriod ? d / units : units / d;
        for (long r = 0; r < units && ok; ++r) ok = e.put(v, t[k - 1], t[k]);
      }
      if (e.stopNow(k)) break;
    }
  });
  return true;
}

// DtTIE: each data edge against the line fitted to its unit-interval number.
bool dataTie(MeasEvaluation& e) {
  Edges t;
  double u = 0;
  if (!dataEdges(e, t, u)) return false;
  const long n = static_cast<long>(t.size());
  if (!e.sized(n + 1, false)) return false;
  // Unit-interval numbers from the first window's start to the end of the list.
  const long from = firstAtOrAfter(t, e.firstStart);
  std::vector<double>& number = e.work();
  number.assign(static_cast<size_t>(n), 0.0);
  for (long k = from + 1; k < n; ++k) number[k] = number[k - 1] + std::trunc((t[k] - t[k - 1]) / u + 0.5);
  // The fit over the edges inside the windows (centred sums, as for the clock).
  std::vector<long>& used = e.used();
  used.clear();
  e.inWindows(t, [&](long j, long end, const auto&) {
    for (long k = std::max(from, j); k < end; ++k) used.push_back(k);
  });
  if (used.size() < 2) {
    e.warn(used.empty() ? "No edges found" : "Only 1 edge found");
    return false;
  }
  double km = 0, tm = 0;
  for (long k : used) km += number[k], tm += t[k];
  km /= used.size(), tm /= used.size();
  double skt = 0, skk = 0;
  for (long k : used) skt += (number[k] - km) * (t[k] - tm), skk += (number[k] - km) * (number[k] - km);
  const double b = skk > 0 ? skt / skk : 0, a = tm - b * km;
  e.status.OperStart(0, n - 1, 9999);
  for (long k = from; k < n; ++k)
    if (!e.put(t[k] - (a + b * number[k]), t[k], t[k]) || e.stopNow(k)) break;
  return true;
}

// The selected edges of both channels; false (reported) when either has none.
bool bothChannels(MeasEvaluation& e, Edges& ck, Edges& dt, const char* noClock, const char* noData) {
  ck = e.selected(e.c.clock, 0);
  dt = e.selected(e.c.data, 1);
  if (ck.empty() || dt.empty()) {
    e.err(ck.empty() ? noClock : noData);
    return false;
  }
  return true;
}

// ChSkew: the data edge against the clock edge of the same number.
bool channelSkew(MeasEvaluation& e) {
  Edges ck, dt;
  if (!bothChannels(e, ck, dt, "No edges found in IN1", "No edges found in IN2")) return false;
  const long nc = static_cast<long>(ck.size()), nd = static_cast<long>(dt.size());
  if (!e.sized(std::min(nc, nd) + 1, true)) return false;
  long k = 0;
  for (const auto& w : e.windows()) {
    for (; k < nc && k < nd; ++k) {
      if (ck[k] > w.end || dt[k] > w.end) break;
      if (!e.put(dt[k] - ck[k], ck[k], dt[k]) || e.stopNow(k)) break;
    }
  }
  return true;
}

// SetupTime: from the last data edge to the clock edge after it; HoldTime: from the clock
// edge to the first data edge at or after it.
bool setupHold(MeasEvaluation& e) {
  Edges ck, dt;
  if (!bothChannels(e, ck, dt, "No clock edges found", "No data edges found")) return false;
  const long nc = static_cast<long>(ck.size()), nd = static_cast<long>(dt.size());
  if (e.c.clock.input->interval != e.c.data.input->interval) {
    e.err("Clock & data must have same sample rate");
    return false;
  }
  if (nd > nc + 1) e.warn("Data edge count is greater than clock edge count");
  if (!e.sized(std::max(nc, nd) + 1, true)) return false;
  e.status.OperStart(0, std::max(nc, nd) - 1, 9999);
  long other = 0;  // the position in the other list carries over between windows
  for (const auto& w : e.windows()) {
    if (e.r.variant == kSetup) {
      long d = firstAtOrAfter(dt, w.start);
      while (d < nd) {
        // The first clock edge strictly after the data edge.
        other = std::max(other, static_cast<long>(std::upper_bound(ck.begin() + std::min(other, nc), ck.end(), dt[d]) - ck.begin()));
        if (other >= nc || ck[other] > w.end) break;
        // The last data edge strictly before that clock edge.
        const long used = static_cast<long>(std::lower_bound(dt.begin() + d, dt.end(), ck[other]) - dt.begin()) - 1;
        if (!e.put(ck[other] - dt[used], dt[used], ck[other]) || e.stopNow(used)) break;
        d = firstAtOrAfter(dt, ck[other], used + 1);
      }
    } else {
      long k = firstAtOrAfter(ck, w.start);
      while (k < nc) {
        // The first data edge at or after the clock edge.
        other = std::max(other, firstAtOrAfter(dt, ck[k], std::min(other, nd)));
        if (other >= nd || dt[other] > w.end) break;
        // The last clock edge at or before that data edge.
        const long used = static_cast<long>(std::upper_bound(ck.begin() + k, ck.end(), dt[other]) - ck.begin()) - 1;
        if (!e.put(dt[other] - ck[used], ck[used], dt[other]) || e.stopNow(used)) break;
        k = static_cast<long>(std::upper_bound(ck.begin() + used + 1, ck.end(), dt[other]) - ck.begin());
      }
    }
  }
  return true;
}

// XLevel is not evaluated: its output stays empty.
bool crossingLevel(MeasEvaluation& e) {
  e.res.size(1);
  return true;
}

}  // namespace

CMeasurement::CMeasurement(MeasContext& ctx, int32_t i)
    : index(i), maxlmt(HUGE_VAL), minlmt(-HUGE_VAL), c(ctx) {
  output.SetBfrType(bfrIntervals);
}

void CMeasurement::Evaluate() {
  if (index < 0 || index >= kMeasCount) {
    KvErrReport(1, __LINE__, "Measurement not found", kUnit);
    return;
  }
  if (!on) return;
  const MeasRow& r = row();
  CStatus& status = c.status;
  status.OperLabel("Measuring");
  CStr what(r.name);
  status.OperInit(what);
  struct Closer {
    CStatus& s;
    ~Closer() { s.OperEnd(); }
  } closer{status};

  MeasEvaluation e(*this, c, r);
  // Nothing of an earlier evaluation survives one that measures nothing.
  auto required = [&](const char* text) {
    output.SetBfrType(bfrIntervals);
    output.count = output.valid = 0;
    output.ready = 1;
    ++output.tag;
    e.err(text);
  };
  if ((r.mask & 0xF) && !c.clock.input) return required("ck.in required");
  if ((r.mask & 0xF0) && !c.data.input) return required("dt.in required");

  e.openWindows();
  CBfr* in = ((r.mask & 0xF) ? c.clock : c.data).input;
  const double interval = in && in->interval != 0 ? in->interval : 1.0;
  // The transition list a row needs, before the scale that may depend on its levels.
  if (r.mask & 0x4) e.transition = e.edges(c.clock, kEdgeRise);
  if (r.mask & 0x8) e.transition = e.edges(c.clock, kEdgeFall);
  if (r.mask & 0x40) e.transition = e.edges(c.data, kEdgeRise);
  if (r.mask & 0x80) e.transition = e.edges(c.data, kEdgeFall);
  const double scale = unitScale(r.unit, interval, e.transition);

  output.maxCache = output.minCache = CBfr::kNoCache;
  output.ready = 0;
  output.SetBfrType(bfrIntervals);
  output.count = output.valid = 0;
  output.scale = scale;
  output.offset = 0;
  e.res.limits(rawLimit(minlmt, scale), rawLimit(maxlmt, scale));

  const bool measured = r.measure(e);

  const long n = !measured || e.cut ? 0 : e.res.count();
  output.count = output.valid = static_cast<int32_t>(n);
  output.ready = 1;
  ++output.tag;
  if (in) {
    output.xstart = in->xstart;
    output.interval = in->interval;
    output.stamp[0] = in->stamp[0];
    output.stamp[1] = in->stamp[1];
  }
  if (e.res.dropped() > 0) {
    CStr text = CStr("Buffer Overrun in meas \"") + r.label + "\" by " + CStr(e.res.dropped()) + ", pop=" + CStr(n);
    e.errAbort(text.GetBfr());
  }
}
