#include "ModMeas/Main.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

const MeasRow kMeasTable[kMeasCount] = {
    {"CkPeriod", "Ck Period", "s", 1, 0x2},
    {"CkFreq", "Ck Frequency", "Hz", 1, 0x2},
    {"CkPWidth", "Ck Pos Width", "s", 12, 0x2},
    {"CkNWidth", "Ck Neg Width", "s", 12, 0x2},
    {"CkPDuty", "Ck Pos Duty Cycle", "%", 3, 0x2},
    {"CkNDuty", "Ck Neg Duty Cycle", "%", 3, 0x2},
    {"CkTIE", "Ck Time Interval Err", "s", 1, 0x2},
    {"CkJCC", "Ck Cy-Cy Period", "s", 1, 0x2},
    {"CkJNC", "Ck N-Cycle Period", "s", 1, 0x2},
    {"CkPWdCC", "Ck Cy-Cy Pos Width", "s", 12, 0x2},
    {"CkNWdCC", "Ck Cy-Cy Neg Width", "s", 12, 0x2},
    {"CkPDutyCC", "Ck Cy-Cy Pos Duty", "%", 3, 0x2},
    {"CkNDutyCC", "Ck Cy-Cy Neg Duty", "%", 3, 0x2},
    {"CkRiseTime", "Ck Rise Time", "s", 4, 0x4},
    {"CkFallTime", "Ck Fall Time", "s", 8, 0x8},
    {"CkRiseRate", "Ck Rise Slew Rate", "V/ns", 4, 0x4},
    {"CkFallRate", "Ck Fall Slew Rate", "V/ns", 8, 0x8},
    {"DtPeriod", "Dt Period", "s", 1, 0x20},
    {"DtFreq", "Dt Frequency", "Hz", 1, 0x20},
    {"DtTIE", "Dt Time Interval Err", "s", 1, 0x20},
    {"DtRiseTime", "Dt Rise Time", "s", 4, 0x40},
    {"DtFallTime", "Dt Fall Time", "s", 8, 0x80},
    {"DtRiseRate", "Dt Rise Slew Rate", "V/ns", 4, 0x40},
    {"DtFallRate", "Dt Fall Slew Rate", "V/ns", 8, 0x80},
    {"SetupTime", "Setup Time", "s", 1, 0x22},
    {"HoldTime", "Hold Time", "s", 1, 0x22},
    {"ChSkew", "Ch-Ch Skew", "s", 1, 0x22},
    {"XLevel", "Crossing Level", "V", 1, 0x11},
};

namespace {

const char* const kUnit = "ModMeas/Main";
constexpr double kHuge = DBL_MAX;

struct Window {
  double start, end;
};

// The selected edges of a mid-crossing list: with both polarities in the list and one asked
// for ("rise+fall", "fall+rise"), every second entry, beginning with the asked polarity.
std::vector<double> selectedEdges(const CBfr* list) {
  std::vector<double> t;
  if (!list || !list->Edges() || !list->Edges()->edges) return t;
  const BfrEdgeHeader* h = list->Edges();
  const int32_t sel = h->selection;
  long step = 1, first = 0;
  if (sel == 5 || sel == 6) {
    step = 2;
    const bool risingFirst = h->code == 3;
    first = (sel == 5) == risingFirst ? 0 : 1;
  }
  t.reserve(static_cast<size_t>(list->valid / step + 1));
  for (long i = first; i < list->valid; i += step) t.push_back(h->edges[i]);
  return t;
}

// Rising and falling crossings of a mid list holding both polarities, in order; false when
// the list holds one polarity only.
bool polarities(const CBfr* list, std::vector<double>& t, bool& risingFirst) {
  if (!list || !list->Edges() || !list->Edges()->edges) return false;
  const BfrEdgeHeader* h = list->Edges();
  if (h->code != 3 && h->code != 4) return false;
  risingFirst = h->code == 3;
  t.assign(h->edges, h->edges + list->valid);
  return true;
}

long firstAtOrAfter(const std::vector<double>& t, double x, long from = 0) {
  return static_cast<long>(std::lower_bound(t.begin() + std::min<long>(from, static_cast<long>(t.size())), t.end(), x) - t.begin());
}

// The results of one evaluation, with the raw limits.
class Results {
 public:
  Results(CBfr& out, double min, double max) : out_(out), min_(min), max_(max) {}
  bool size(long n) {
    if (n < 1) n = 1;
    if (!out_.SetSize(n)) return false;
    cap_ = n;
    return true;
  }
  bool accepts(double v) const { return min_ < v && v < max_; }
  // False when the output is full (the overrun is counted).
  bool add(double v, double s, double e) {
    if (!accepts(v)) return true;
    if (n_ >= cap_) {
      ++dropped_;
      return false;
    }
    static_cast<double*>(out_.data)[n_] = v;
    static_cast<double*>(out_.data2)[n_] = s;
    static_cast<double*>(out_.data3)[n_] = e;
    ++n_;
    return true;
  }
  long count() const { return n_; }
  long dropped() const { return dropped_; }

 private:
  CBfr& out_;
  double min_, max_;
  long cap_ = 0, n_ = 0, dropped_ = 0;
};

double rawLimit(double limit, double scale) {
  if (!(std::fabs(limit) < kHuge)) return limit < 0 ? -HUGE_VAL : HUGE_VAL;
  return scale != 0 ? limit / scale : limit;
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
  CLocalData& owner = c.owner;
  CStatus& status = c.status;
  status.OperLabel("Measuring");
  CStr what(r.name);
  status.OperInit(what);
  struct Closer {
    CStatus& s;
    ~Closer() { s.OperEnd(); }
  } closer{status};

  // Every message names the measurement it comes from.
  const std::string who = std::string(r.name) + ": ";
  auto warn = [&](const char* text) { owner.logWarn((who + text).c_str()); };
  auto err = [&](const char* text) { owner.logErr((who + text).c_str()); };
  auto errAbort = [&](const char* text) { owner.logErrAbort((who + text).c_str()); };

  // Nothing of an earlier evaluation survives one that measures nothing.
  auto required = [&](const char* text) {
    output.SetBfrType(bfrIntervals);
    output.count = output.valid = 0;
    output.ready = 1;
    ++output.tag;
    err(text);
  };
  if ((r.mask & 0xF) && !c.clock.input) return required("ck.in required");
  if ((r.mask & 0xF0) && !c.data.input) return required("dt.in required");
  if ((r.mask & 0x300) && !c.control.input) return required("ctl.in required");

  // The control channel's windows; without a control input, one window over everything.
  std::vector<Window> windows;
  // A list that an abort cut short is incomplete: nothing measured on it is published.
  bool cut = false;
  auto edges = [&](CChannel& ch, int32_t kind) {
    CBfr* list = ch.GetEdges(kind);
    if (list && !list->ready) cut = true;
    return list;
  };
  if (c.control.input) {
    const std::vector<double> w = selectedEdges(edges(c.control, kEdgeMid));
    for (size_t i = 0; i < w.size(); i += 2) windows.push_back({w[i], i + 1 < w.size() ? w[i + 1] : kHuge});
  } else {
    windows.push_back({-kHuge, kHuge});
  }

  // A control input without a single window: nothing lies inside one.
  const double firstStart = windows.empty() ? kHuge : windows.front().start;

  CChannel& ch = (r.mask & 0xF) ? c.clock : c.data;
  CBfr* in = ch.input;
  const double interval = in && in->interval != 0 ? in->interval : 1.0;

  // Edge lists this row needs.
  CBfr* transition = nullptr;
  if (r.mask & 0x4) transition = edges(c.clock, kEdgeRise);
  if (r.mask & 0x8) transition = edges(c.clock, kEdgeFall);
  if (r.mask & 0x40) transition = edges(c.data, kEdgeRise);
  if (r.mask & 0x80) transition = edges(c.data, kEdgeFall);

  std::string unit = r.unit;
  double scale = interval;
  if (unit == "Hz") scale = 1.0 / interval;
  if (unit == "%") scale = 100.0;
  if (unit == "V") scale = 1.0;
  if (unit == "V/ns") {
    const BfrEdgeHeader* h = transition && transition->Edges() ? transition->Edges() : nullptr;
    scale = (h ? h->level1 - h->level2 : 1.0) / interval * 1e-9;
  }

  output.maxCache = output.minCache = CBfr::kNoCache;
  output.ready = 0;
  output.SetBfrType(bfrIntervals);
  output.count = output.valid = 0;
  output.scale = scale;
  output.offset = 0;

  Results res(output, rawLimit(minlmt, scale), rawLimit(maxlmt, scale));
  CGlobalData* g = owner.pgd;
  bool overrunReported = false;
  auto stopNow = [&](long pos) {
    // An abort from elsewhere leaves the results incomplete; our own overrun keeps them.
    if ((g && g->abort.load(std::memory_order_relaxed)) || (pos >= status.next && status.OperUpdate(pos) != 0)) {
      if (!overrunReported) cut = true;
      return true;
    }
    return false;
  };
  // Appends; on a full output reports once and tells the caller to leave the window.
  auto put = [&](double v, double s, double e) {
    if (res.add(v, s, e)) return true;
    if (!overrunReported) errAbort("Buffer overrun detected, aborting");
    overrunReported = true;
    return false;
  };
  auto sized = [&](long n, bool aborting) {
    if (res.size(n)) return true;
    if (aborting)
      errAbort("Insufficient memory.");
    else
      err("Insufficient memory.");
    return false;
  };

  // With fixed levels, an empty list most often means levels outside the signal: say where
  // the record lies beside the levels used.
  auto noEdges = [&](CChannel& ch, int32_t kind) {
    double lo = 0, hi = 0;
    if (!ch.Extremes(lo, hi)) return warn("No edges found");
    CStr f;
    std::string text = std::string("No edges found: ") + ch.prefix.GetBfr() + ".in lies between " + f.Num2Str(lo, 6).GetBfr() + " and " +
                       f.Num2Str(hi, 6).GetBfr();
    if (kind == kEdgeMid)
      text += std::string(", mid ") + f.Num2Str(ch.mid, 6).GetBfr() + ", hysteresis " + f.Num2Str(ch.hysteresis, 6).GetBfr();
    else
      text += std::string(", low ") + f.Num2Str(ch.low, 6).GetBfr() + ", high " + f.Num2Str(ch.high, 6).GetBfr();
    warn(text.c_str());
  };
  const int32_t i = index;
  bool failed = false;

  if (i == mCkPeriod || i == mCkFreq || i == mCkJCC) {
    const std::vector<double> t = selectedEdges(edges(c.clock, kEdgeMid));
    const long n = static_cast<long>(t.size());
    if (n < 1) {
      noEdges(c.clock, kEdgeMid);
      failed = true;
    } else if (sized(n, false)) {
      status.OperStart(0, n - 1, 9999);
      for (const Window& w : windows) {
        long j = firstAtOrAfter(t, w.start);
        if (j >= n || t[j] > w.end) continue;
        for (long k = j + 1; k < n && t[k] <= w.end; ++k) {
          bool ok = true;
          if (i == mCkPeriod) ok = put(t[k] - t[k - 1], t[k - 1], t[k]);
          if (i == mCkFreq) ok = put(1.0 / (t[k] - t[k - 1]), t[k - 1], t[k]);
          if (i == mCkJCC && k - 1 > j) ok = put(t[k] - 2 * t[k - 1] + t[k - 2], t[k - 1], t[k]);
          if (!ok || stopNow(k)) break;
        }
      }
    } else {
      failed = true;
    }
  } else if (i == mCkTIE) {
    const std::vector<double> t = selectedEdges(edges(c.clock, kEdgeMid));
    const long from = firstAtOrAfter(t, firstStart);
    const long n = static_cast<long>(t.size()) - from;
    if (static_cast<long>(t.size()) < 1 || n < 1) {
      noEdges(c.clock, kEdgeMid);
      failed = true;
    } else if (n == 1) {
      warn("Only 1 edge found");
      failed = true;
    } else if (sized(n + 1, false)) {
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
      status.OperStart(0, n - 1, 9999);
      for (long k = 0; k < n; ++k) {
        const double x = t[from + k];
        if (!put(x - (a + b * k), x, x) || stopNow(k)) break;
      }
    } else {
      failed = true;
    }
  } else if (i == mCkJNC) {
    const std::vector<double> t = selectedEdges(edges(c.clock, kEdgeMid));
    const long n = static_cast<long>(t.size());
    const long N = std::max<long>(jncN, 1);
    if (n < 1) {
      noEdges(c.clock, kEdgeMid);
      failed = true;
    } else if (sized(n / N + 1, false)) {
      status.OperStart(0, n - 1, 9999);
      for (const Window& w : windows) {
        long e = firstAtOrAfter(t, w.start) + std::max<long>(jncStart - 1, 0);
        for (; e + 2 * N < n && t[e + 2 * N] <= w.end; e += N) {
          if (t[e] > w.end) break;
          if (!put(t[e + 2 * N] - 2 * t[e + N] + t[e], t[e + N], t[e + 2 * N]) || stopNow(e)) break;
        }
      }
    } else {
      failed = true;
    }
  } else if (i == mCkPWidth || i == mCkNWidth || i == mCkPDuty || i == mCkNDuty || i == mCkPWdCC ||
             i == mCkNWdCC || i == mCkPDutyCC || i == mCkNDutyCC) {
    std::vector<double> t;
    bool risingFirst = true;
    if (!polarities(edges(c.clock, kEdgeMid), t, risingFirst)) {
      errAbort("Unable to calculate");
      failed = true;
    } else if (t.empty()) {
      noEdges(c.clock, kEdgeMid);
      failed = true;
    } else if (sized(static_cast<long>(t.size()) / 2 + 1, false)) {
      const bool positive = i == mCkPWidth || i == mCkPDuty || i == mCkPWdCC || i == mCkPDutyCC;
      const bool duty = i == mCkPDuty || i == mCkNDuty || i == mCkPDutyCC || i == mCkNDutyCC;
      const bool cc = i == mCkPWdCC || i == mCkNWdCC || i == mCkPDutyCC || i == mCkNDutyCC;
      const long n = static_cast<long>(t.size());
      // Index parity of the edges that open a pulse: rising ones for positive pulses.
      const long parity = (positive == risingFirst) ? 0 : 1;
      status.OperStart(0, n - 1, 9999);
      for (const Window& w : windows) {
        long j = firstAtOrAfter(t, w.start);
        if ((j & 1) != parity) ++j;
        bool havePrevious = false;
        double previous = 0, previousStart = 0;
        for (; j + (duty ? 2 : 1) < n + (duty ? 0 : 0) && j + 1 < n; j += 2) {
          const long closeAt = duty ? j + 2 : j + 1;
          if (closeAt >= n || t[closeAt] > w.end) break;
          const double width = t[j + 1] - t[j];
          const double value = duty ? width / (t[j + 2] - t[j]) : width;
          bool ok = true;
          if (!cc) {
            ok = put(value, t[j], t[closeAt]);
          } else if (havePrevious) {
            ok = put(value - previous, previousStart, t[closeAt]);
          }
          previous = value, previousStart = t[j], havePrevious = true;
          if (!ok || stopNow(j)) break;
        }
      }
    } else {
      failed = true;
    }
  } else if (i == mCkRiseTime || i == mCkFallTime || i == mDtRiseTime || i == mDtFallTime || i == mCkRiseRate ||
             i == mCkFallRate || i == mDtRiseRate || i == mDtFallRate) {
    const bool rise = i == mCkRiseTime || i == mDtRiseTime || i == mCkRiseRate || i == mDtRiseRate;
    const bool rate = i == mCkRiseRate || i == mCkFallRate || i == mDtRiseRate || i == mDtFallRate;
    const BfrEdgeHeader* h = transition && transition->Edges() ? transition->Edges() : nullptr;
    if (!h || h->code != (rise ? kEdgeRise : kEdgeFall)) {
      errAbort("Unable to calculate");
      failed = true;
    } else if (transition->valid < 2) {
      noEdges(ch, rise ? kEdgeRise : kEdgeFall);
      failed = true;
    } else if (sized(transition->valid / 2 + 1, false)) {
      const double* e = h->edges;
      const long pairs = transition->valid / 2;
      status.OperStart(0, pairs - 1, 9999);
      for (const Window& w : windows) {
        for (long p = 0; p < pairs; ++p) {
          const double a = e[2 * p], b = e[2 * p + 1];
          if (a < w.start) continue;
          if (b > w.end) break;
          const double dt = b - a;
          if (!put(rate ? 1.0 / dt : dt, a, b) || stopNow(p)) break;
        }
      }
    } else {
      failed = true;
    }
  } else if (i == mDtPeriod || i == mDtFreq || i == mDtTIE) {
    const std::vector<double> t = selectedEdges(edges(c.data, kEdgeMid));
    const long n = static_cast<long>(t.size());
    if (n < 1) {
      noEdges(c.data, kEdgeMid);
      failed = true;
    } else {
      // The unit interval, in samples.
      double u = 0;
      if (!freqAuto) {
        u = freq > 0 ? 1.0 / freq / (c.data.input->interval != 0 ? c.data.input->interval : 1.0) : 0;
      } else {
        if (c.unitInterval <= 0) {
          std::vector<double> gaps;
          for (const Window& w : windows) {
            long j = firstAtOrAfter(t, w.start);
            for (long k = j + 1; k < n && t[k] <= w.end; ++k) {
              gaps.push_back(t[k] - t[k - 1]);
              if (stopNow(k)) break;
            }
          }
          double m = kHuge;
          for (double d : gaps) m = std::min(m, d);
          if (!gaps.empty()) {
            for (double d : gaps)
              if (d > 1.5 * m && d < 1.8 * m) {
                m /= 2;
                break;
              }
            double s1 = 0, s2 = 0, s3 = 0;
            long c1 = 0, c2 = 0, c3 = 0;
            for (double d : gaps)
              if (d < 1.5 * m) s1 += d, ++c1;
            // After halving no gap is below 1.5 m: start from m itself.
            const double u1 = c1 ? s1 / c1 : m;
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
            if (u < m) u = m;
          }
          c.unitInterval = u;
        }
        u = c.unitInterval;
      }
      if (!(u > 0) || !std::isfinite(u)) {
        errAbort("Unable to calculate");
        failed = true;
      } else if (i != mDtTIE) {
        // The span in unit intervals; a unit interval absurdly short for the data could ask
        // for gigabytes, so no more than 64 results per edge are held (the rest is an overrun).
        const double span = (t[n - 1] - t[0]) / u;
        if (sized(static_cast<long>(std::min(span, 64.0 * n)) + 1, false)) {
          status.OperStart(0, n - 1, 9999);
          for (const Window& w : windows) {
            long j = firstAtOrAfter(t, w.start);
            if (j >= n || t[j] > w.end) continue;
            bool ok = true;
            for (long k = j + 1; k < n && t[k] <= w.end && ok; ++k) {
              const double d = t[k] - t[k - 1];
              // More unit intervals in one gap than the output could ever hold count as one
              // overrun, not as a loop without end.
              const double ratio = d / u + 0.5;
              const long units = ratio < 1e9 ? static_cast<long>(ratio) : 1000000000L;
              if (units > 0) {
                const double v = i == mDtPeriod ? d / units : units / d;
                for (long r2 = 0; r2 < units && ok; ++r2) ok = put(v, t[k - 1], t[k]);
              }
              if (stopNow(k)) break;
            }
          }
        } else {
          failed = true;
        }
      } else if (sized(n + 1, false)) {
        // Unit-interval numbers from the first window's start to the end of the list.
        const long from = firstAtOrAfter(t, firstStart);
        std::vector<double> number(static_cast<size_t>(n), 0.0);
        for (long k = from + 1; k < n; ++k) number[k] = number[k - 1] + std::trunc((t[k] - t[k - 1]) / u + 0.5);
        // The fit over the edges inside the windows (centred sums, as for the clock).
        std::vector<long> used;
        for (const Window& w : windows)
          for (long k = std::max(from, firstAtOrAfter(t, w.start)); k < n && t[k] <= w.end; ++k) used.push_back(k);
        if (used.size() < 2) {
          warn(used.empty() ? "No edges found" : "Only 1 edge found");
          failed = true;
        } else {
          double km = 0, tm = 0;
          for (long k : used) km += number[k], tm += t[k];
          km /= used.size(), tm /= used.size();
          double skt = 0, skk = 0;
          for (long k : used) skt += (number[k] - km) * (t[k] - tm), skk += (number[k] - km) * (number[k] - km);
          const double b = skk > 0 ? skt / skk : 0, a = tm - b * km;
          status.OperStart(0, n - 1, 9999);
          for (long k = from; k < n; ++k)
            if (!put(t[k] - (a + b * number[k]), t[k], t[k]) || stopNow(k)) break;
        }
      } else {
        failed = true;
      }
    }
  } else if (i == mSetupTime || i == mHoldTime || i == mChSkew) {
    const std::vector<double> ck = selectedEdges(edges(c.clock, kEdgeMid));
    const std::vector<double> dt = selectedEdges(edges(c.data, kEdgeMid));
    const long nc = static_cast<long>(ck.size()), nd = static_cast<long>(dt.size());
    if (i == mChSkew) {
      if (nc < 1) {
        err("No edges found in IN1");
        failed = true;
      } else if (nd < 1) {
        err("No edges found in IN2");
        failed = true;
      } else if (sized(std::min(nc, nd) + 1, true)) {
        long k = 0;
        for (const Window& w : windows) {
          for (; k < nc && k < nd; ++k) {
            if (ck[k] > w.end || dt[k] > w.end) break;
            if (!put(dt[k] - ck[k], ck[k], dt[k]) || stopNow(k)) break;
          }
        }
      } else {
        failed = true;
      }
    } else if (nc < 1) {
      err("No clock edges found");
      failed = true;
    } else if (nd < 1) {
      err("No data edges found");
      failed = true;
    } else if (c.clock.input->interval != c.data.input->interval) {
      err("Clock & data must have same sample rate");
      failed = true;
    } else {
      if (nd > nc + 1) warn("Data edge count is greater than clock edge count");
      if (sized(std::max(nc, nd) + 1, true)) {
        status.OperStart(0, std::max(nc, nd) - 1, 9999);
        long other = 0;  // the position in the other list carries over between windows
        for (const Window& w : windows) {
          if (i == mSetupTime) {
            long d = firstAtOrAfter(dt, w.start);
            while (d < nd) {
              // The first clock edge strictly after the data edge.
              other = std::max(other, static_cast<long>(std::upper_bound(ck.begin() + std::min(other, nc), ck.end(), dt[d]) - ck.begin()));
              if (other >= nc || ck[other] > w.end) break;
              // The last data edge strictly before that clock edge.
              const long used = static_cast<long>(std::lower_bound(dt.begin() + d, dt.end(), ck[other]) - dt.begin()) - 1;
              if (!put(ck[other] - dt[used], dt[used], ck[other]) || stopNow(used)) break;
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
              if (!put(dt[other] - ck[used], ck[used], dt[other]) || stopNow(used)) break;
              k = static_cast<long>(std::upper_bound(ck.begin() + used + 1, ck.end(), dt[other]) - ck.begin());
            }
          }
        }
      } else {
        failed = true;
      }
    }
  } else if (i == mXLevel) {
    res.size(1);  // no evaluation: the output stays empty
  }

  const long n = failed || cut ? 0 : res.count();
  output.count = output.valid = static_cast<int32_t>(n);
  output.ready = 1;
  ++output.tag;
  if (in) {
    output.xstart = in->xstart;
    output.interval = in->interval;
    output.stamp[0] = in->stamp[0];
    output.stamp[1] = in->stamp[1];
  }
  if (res.dropped() > 0) {
    CStr text = CStr("Buffer Overrun in meas \"") + r.label + "\" by " + CStr(res.dropped()) + ", pop=" + CStr(n);
    errAbort(text.GetBfr());
  }
}
