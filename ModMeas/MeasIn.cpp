#include "ModMeas/MeasIn.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "KvLib/Setting.h"

namespace {

const char* const kUnit = "ModMeas/MeasIn";

void setText(VPARAM& v, const std::string& t) {
  if (v.value.str) *v.value.str = CStr(t.data(), static_cast<long>(t.size()));
}

CMDERR readOnlyText(GETPARCMD cmd, VPARAM& v, const std::string& value, const char* label = "") {
  switch (cmd) {
    case parRead: setText(v, value); return cmdDone;
    case parWrite: return cmdBadValue;
    case parDescribe: v.kind = kindSetting, v.vt = vtStr; return cmdDone;
    case parLabel: setText(v, label); return cmdDone;
    default: return cmdDone;
  }
}

template <class T>
CMDERR number(GETPARCMD cmd, VPARAM& v, T& field, const char* label, const char* unit = "") {
  constexpr bool isInt = std::is_same_v<T, int32_t>;
  switch (cmd) {
    case parRead:
      if constexpr (isInt)
        v.vt = vtI4, v.value.i4 = field;
      else
        v.vt = vtR8, v.value.r8 = field;
      return cmdDone;
    case parWrite:
      if constexpr (isInt)
        field = v.value.i4;
      else
        field = v.value.r8;
      return cmdDone;
    case parDescribe: v.kind = kindSetting, v.vt = isInt ? vtI4 : vtR8; return cmdDone;
    case parLabel: setText(v, label); return cmdDone;
    case parUnit: setText(v, unit); return cmdDone;
    default: return cmdDone;
  }
}

}  // namespace

CMeasIn::CMeasIn(const KvCreateBlock& block)
    : CLocalData(block),
      ck(*this, status, &start, &stop, "Clock", "ck", false),
      dt(*this, status, &start, &stop, "Data", "dt", false),
      ctl(*this, status, &start, &stop, "Control", "ctl", true),
      ctx{*this, status, ck, dt, ctl, unitInterval} {
  const char* kind = variant.GetBfr();
  if (strcasecmp(kind, "ck") == 0) {
    first = 0, last = 16;
  } else if (strcasecmp(kind, "dt") == 0) {
    first = 17, last = 23;
  } else if (strcasecmp(kind, "chch") == 0) {
    first = 24, last = 27;
  } else {
    for (int32_t i = 0; i < kMeasCount; ++i)
      if (strcasecmp(kind, kMeasTable[i].name) == 0) first = last = i;
  }
  clockUsed = dataUsed = false;
  for (int32_t i = first; i <= last; ++i) {
    clockUsed = clockUsed || (kMeasTable[i].mask & 0xF);
    dataUsed = dataUsed || kMeasTable[i].mask > 15;
    meas.push_back(std::make_unique<CMeasurement>(ctx, i));
  }
  evaluatedIn.assign(meas.size(), -1);
  igui.init("igui", "", "KvMeas.Inputs");
  ogui.init("ogui", "", "KvMeas.Outputs");
}

CMeasIn::~CMeasIn() { StopTrigger(); }

bool CMeasIn::KnownKind(const char* kind) {
  if (!kind || !*kind) return true;
  for (const char* k : {"all", "ck", "dt", "chch"})
    if (strcasecmp(kind, k) == 0) return true;
  for (int32_t i = 0; i < kMeasCount; ++i)
    if (strcasecmp(kind, kMeasTable[i].name) == 0) return true;
  return false;
}

CMeasurement* CMeasIn::Find(const char* name) const {
  for (const auto& m : meas)
    if (name && strcasecmp(m->row().name, name) == 0) return m.get();
  return nullptr;
}

void CMeasIn::RunAll() {
  for (const auto& m : meas) m->Evaluate();
}

void CMeasIn::ActMsg(const char* msg) {
  const std::string m = msg ? msg : "";
  if (m == "#acq.end" || m == "#acq.abort") return;
  if (m == "#acq.start") {
    unitInterval = 0;  // estimated again in this acquisition
    ++pass;
    arrived = 0;
    for (CChannel* c : {&ck, &dt, &ctl}) c->NewPass();
    // A pass that ends before a measurement is evaluated leaves it without results, never
    // with an earlier pass's; a measurement that is off keeps its output untouched.
    for (const auto& x : meas)
      if (x->on) x->output.count = x->output.valid = 0;
    return;
  }
  const size_t dot = m.find('.');
  if (dot == std::string::npos) {
    if (m.empty() || m[0] != '#') KvErrReport(1, __LINE__, (m + " not found").c_str(), kUnit);
    return;
  }
  const std::string name = m.substr(0, dot);
  if (m.compare(dot, std::string::npos, ".out") == 0) {
    for (size_t i = 0; i < meas.size(); ++i) {
      if (name != meas[i]->row().name) continue;
      meas[i]->Evaluate();
      evaluatedIn[i] = pass;
      arrived |= needs(*meas[i]);  // the engine asks for an output once its inputs are ready
      break;
    }
  } else if (name == "ck" || name == "dt" || name == "ctl") {
    arrived |= name == "ck" ? 1u : name == "dt" ? 2u : 4u;
  } else {
    return;
  }
  EvaluateUnlinked();
}

unsigned CMeasIn::needs(const CMeasurement& x) const {
  unsigned n = 0;
  if ((x.row().mask & 0xF) && ck.input) n |= 1;
  if ((x.row().mask & 0xF0) && dt.input) n |= 2;
  if (ctl.input) n |= 4;
  return n;
}

// A measurement whose output feeds nothing gets no step of its own in a pass; it is
// evaluated once in the pass, as soon as every input it reads has been announced ready.
void CMeasIn::EvaluateUnlinked() {
  for (size_t i = 0; i < meas.size(); ++i) {
    const unsigned n = needs(*meas[i]);
    if (evaluatedIn[i] == pass || meas[i]->output.users > 0 || n == 0 || (n & arrived) != n) continue;
    evaluatedIn[i] = pass;
    meas[i]->Evaluate();
  }
}

CStr CMeasIn::SettingsText() const {
  std::string s;
  auto channel = [&](const char* p, bool visible) {
    std::string t;
    for (const char* k : {"mid", "high", "low", "rise.mid", "rise.high", "rise.low", "fall.mid", "fall.high",
                          "fall.low", "hysteresis", "skew", "edgetype", "levels.auto"})
      t += std::string(t.empty() ? "" : ",") + p + "." + k;
    if (visible) t += std::string(",") + p + ".visible";
    return t;
  };
  if (clockUsed) s += channel("ck", false);
  // Appended piece by piece: g++ 12 warns falsely about "," + std::string at -O3.
  if (dataUsed) {
    s += ',';
    s += channel("dt", false);
  }
  s += ',';
  s += channel("ctl", true);
  s += ",start,stop,ck.visible,dt.visible";
  for (const auto& m : meas) {
    const std::string n = m->row().name;
    s += "," + n + ".minlmt," + n + ".maxlmt," + n + ".on";
    if (m->index == mCkJNC) s += ",ckjnc.start,ckjnc.n";
    if (m->index == mDtPeriod) s += ",dtperiod.freq,dtperiod.freq.auto";
    if (m->index == mDtFreq) s += ",dtfreq.freq,dtfreq.freq.auto";
    if (m->index == mDtTIE) s += ",dttie.freq,dttie.freq.auto";
  }
  return CStr(s.data(), static_cast<long>(s.size()));
}

CStr CMeasIn::SymbolText() const {
  const auto str = [](long x) { return std::to_string(x); };
  std::string ins, outs;
  long k = 0;
  if (dataUsed) {
    k = 1;
    ins = "ipin,0,200,100,,1,dt.in;text,120,160,300,80,Dt,left,center;";
  }
  auto pin = [&](const char* port, const char* text) {
    k += 1;
    ins += "ipin,0," + str((k * 5 + 5) * 20) + ",100,," + str(k) + "," + port + ";";
    ins += "text,120," + str(k * 100 + 60) + ",300,80," + text + ",left,center;";
  };
  if (clockUsed) pin("ck.in", "Ck");
  if (meas.size() > 1) pin("ctl.in", "Ctl");
  long j = 0;
  for (const auto& m : meas) {
    ++j;
    const long p = k + j, y = 60 + 100 * j;
    outs += "opin,600," + str(y + 40) + ",100,," + str(p) + "," + m->row().name + ".out;";
    outs += "text,180," + str(y) + ",400,80," + m->row().name + ",right,center;";
  }
  const long r = std::max<long>(k, static_cast<long>(meas.size()));
  const std::string s = "box,100,0,500," + str((r * 5 + 10) * 20) + ";text,100,10,500,100,Meas,center,center;" + ins + outs;
  return CStr(s.data(), static_cast<long>(s.size()));
}

CMDERR CMeasIn::measSetting(CMeasurement& m, const char* key, GETPARCMD cmd, VPARAM& v) {
  const std::string k = key;
  if (k == "on") {
    if (cmd == parWrite) {
      m.on = v.value.i4 ? 1 : 0;
      return cmdDone;
    }
    return number(cmd, v, m.on, "Measurement on/off");
  }
  if (k == "minlmt" || k == "maxlmt") {
    // Infinite limits mean no limit (the defaults, and what a saved setup replays); NaN
    // would drop every value.
    if (cmd == parWrite && std::isnan(v.value.r8)) return cmdBadValue;
    return k == "minlmt" ? number(cmd, v, m.minlmt, "Minimum limit", m.row().unit)
                         : number(cmd, v, m.maxlmt, "Maximum limit", m.row().unit);
  }
  if (k == "out") {
    switch (cmd) {
      case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
      case parEvaluate: m.Evaluate(); [[fallthrough]];
      case parRead: v.value.p = &m.output; return cmdDone;
      case parLabel: setText(v, "Signal Out"); return cmdDone;
      case parUnit: setText(v, m.row().unit); return cmdDone;
      case parPortDep: {
        std::string deps;
        if (m.row().mask & 0xF) deps = "ck.in";
        if (m.row().mask & 0xF0) deps += std::string(deps.empty() ? "" : ",") + "dt.in";
        deps += std::string(deps.empty() ? "" : ",") + "ctl.in";
        setText(v, deps);
        return cmdDone;
      }
      default: return cmdWrongKind;
    }
  }
  // Statistics of the last evaluation's accepted values, in the measurement's unit.
  if (k == "count?" || k == "mean?" || k == "stddev?" || k == "min?" || k == "max?") {
    if (cmd == parWrite) return cmdBadValue;
    if (cmd == parDescribe) {
      v.kind = kindSetting, v.vt = k == "count?" ? vtI4 : vtR8;
      return cmdDone;
    }
    if (cmd == parLabel) {
      setText(v, k == "count?" ? "Result count" : k == "mean?" ? "Mean" : k == "stddev?" ? "Standard deviation"
                                                 : k == "min?"  ? "Minimum" : "Maximum");
      return cmdDone;
    }
    if (cmd == parUnit) {
      setText(v, k == "count?" ? "" : m.row().unit);
      return cmdDone;
    }
    if (cmd != parRead) return cmdDone;
    const CBfr& o = m.output;
    const long n = o.data ? o.count : 0;
    if (k == "count?") {
      v.vt = vtI4, v.value.i4 = static_cast<int32_t>(n);
      return cmdDone;
    }
    const double* x = static_cast<const double*>(o.data);
    double mean = 0, lo = HUGE_VAL, hi = -HUGE_VAL;
    for (long i = 0; i < n; ++i) mean += x[i], lo = std::min(lo, x[i]), hi = std::max(hi, x[i]);
    mean = n ? mean / n : NAN;
    double var = 0;
    for (long i = 0; i < n; ++i) var += (x[i] - mean) * (x[i] - mean);
    const double sd = n ? std::sqrt(var / n) : NAN;  // about the mean, as an rms jitter is quoted
    double r = k == "mean?" ? mean : k == "stddev?" ? sd : k == "min?" ? (n ? lo : NAN) : (n ? hi : NAN);
    // The output's scale turns raw values into the unit (a spread scales by its size).
    r = k == "stddev?" ? r * std::fabs(o.scale) : r * o.scale + (k == "stddev?" ? 0 : o.offset);
    if (o.scale < 0 && (k == "min?" || k == "max?")) r = (k == "min?" ? hi : lo) * o.scale + o.offset;
    v.vt = vtR8, v.value.r8 = r;
    return cmdDone;
  }
  // Cycles count from 1; a count below 1 measures nothing.
  if (m.index == mCkJNC && k == "start") return kvsetting::Whole(cmd, v, m.jncStart, "Start Cycle", 1);
  if (m.index == mCkJNC && k == "n") return kvsetting::Whole(cmd, v, m.jncN, "N", 1);
  if (m.index == mDtPeriod || m.index == mDtFreq || m.index == mDtTIE) {
    if (k == "freq") return kvsetting::Real(cmd, v, m.freq, "Frequency", "Hz");
    if (k == "freq.auto") {
      if (cmd == parWrite) {
        m.freqAuto = v.value.i4 ? 1 : 0;
        return cmdDone;
      }
      return number(cmd, v, m.freqAuto, "Auto calc frequency");
    }
  }
  return cmdNotServed;
}

CMDERR CMeasIn::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  if (!name) return cmdNotServed;
  if (igui.isHandle(name)) return igui.Settings(cmd, name, v);
  if (ogui.isHandle(name)) return ogui.Settings(cmd, name, v);
  for (CChannel* c : {&ck, &dt, &ctl})
    if (c->Serves(name)) return c->Settings(cmd, name, v);
  const std::string n = name;
  if (n == "start" || n == "stop") {
    // -1 is the whole record; a new range makes every edge list stale.
    const CMDERR r = kvsetting::Whole(cmd, v, n == "start" ? start : stop, n == "start" ? "Start Index" : "Stop Index", -1);
    if (cmd == parWrite && r == cmdDone)
      for (CChannel* c : {&ck, &dt, &ctl}) c->Invalidate();
    return r;
  }
  if (n == "meas.names?" || n == "meas.labels?") {
    std::string t;
    for (const auto& m : meas) t += std::string(t.empty() ? "" : ",") + (n == "meas.names?" ? m->row().name : m->row().label);
    return readOnlyText(cmd, v, t, n == "meas.names?" ? "All measurement names" : "All measurement labels");
  }
  if (n == "settings") return readOnlyText(cmd, v, SettingsText().GetBfr());
  if (n == "symbol") return readOnlyText(cmd, v, SymbolText().GetBfr());
  if (n == "iports") return readOnlyText(cmd, v, "ck.in,dt.in,ctl.in");
  if (n == "oports") {
    std::string t;
    for (const auto& m : meas) t += std::string(t.empty() ? "" : ",") + m->row().name + ".out";
    return readOnlyText(cmd, v, t);
  }
  if (n == "functions") return readOnlyText(cmd, v, "run");
  if (n == "gui.names") return readOnlyText(cmd, v, "igui,ogui");
  if (n == "version") return readOnlyText(cmd, v, "1.1.4");
  const size_t dot = n.find('.');
  if (dot == std::string::npos) return cmdNotServed;
  const std::string head = n.substr(0, dot);
  if (head == "ckjnc" || head == "dtperiod" || head == "dtfreq" || head == "dttie" || Find(head.c_str())) {
    CMeasurement* m = Find(head.c_str());
    if (!m) return cmdNotServed;
    return measSetting(*m, name + dot + 1, cmd, v);
  }
  return cmdNotServed;
}

CMDERR CMeasIn::FunInfo(const char* name, VPARAMS& a) {
  if (igui.isHandle(name)) return igui.FunInfo(name, a);
  if (ogui.isHandle(name)) return ogui.FunInfo(name, a);
  if (!name || strcasecmp(name, "run") != 0) return cmdNotServed;
  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = vtEmpty;
  return cmdDone;
}

CMDERR CMeasIn::Fun(const char* name, VPARAMS& a) {
  if (igui.isHandle(name)) return igui.Fun(name, a);
  if (ogui.isHandle(name)) return ogui.Fun(name, a);
  if (!name || strcasecmp(name, "run") != 0) return cmdNotServed;
  RunAll();
  return cmdDone;
}
