#include "ModFilter/Filter.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "KvLib/Setting.h"
#include "ModFilter/Coeffs.h"

namespace {

// Order matters: a replayed state listing writes them in this order, so the band edges and
// the frequency type are in place before freqmode designs from them.
const char* const kSettings =
    "filtertype,coeffs,y.coeffs,delimiter,fir.response,fir.window,fir.kaiser.beta,fir.freqtype,fir.order,"
    "fir.freq1,fir.freq2,freqmode,stages.count,stages.gain,gain,decimation,continuous,bypass,gui.more";

using kvsetting::SetText;

std::string num(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", x);
  return b;
}

}  // namespace

CFilter::CFilter(const KvCreateBlock& block) : CLocalData(block) {
  out.SetBfrType(bfrR8);
  gui.init("gui", "", "KvFilter.Filter");
}

CFilter::~CFilter() { StopTrigger(); }

void CFilter::flush(Notes& notes) {
  for (const auto& [kind, text] : notes.lines) {
    if (kind == 0)
      logWarn(text.c_str());
    else if (kind == 1)
      logErr(text.c_str());
    else
      logErrAbort(text.c_str());
  }
  if (notes.coeffsChanged && pgd && pgd->notify) pgd->notify(name.GetBfr(), "coeffs");
}

std::string CFilter::separator() const {
  if (strcasecmp(delimiter.c_str(), "Tab") == 0) return "\t";
  if (strcasecmp(delimiter.c_str(), "Space") == 0) return " ";
  return "\n";
}

void CFilter::ResetState() {
  std::lock_guard<std::mutex> hold(lock);
  chain.Reset();
}

// Designs the FIR from the fir.* settings; interval is the input's sample interval, used
// only for band edges in Hz. A design that fails keeps the coefficients in force.
void CFilter::redesign(Notes& notes, double interval) {
  FirSpec s = fir;
  const bool band = FirIsBand(s.response);
  if (freqType == 1) {
    designPending = false;
    designedInterval = interval;
    if (!(interval > 0 && std::isfinite(interval))) {
      notes.lines.push_back({1, "The input's sample interval (" + num(interval) +
                                    " s) is not valid for band edges in Hz. The coefficients are unchanged."});
      return;
    }
    const double nyquist = 0.5 / interval;
    for (const double f : {s.freq1, s.freq2}) {
      if (f == s.freq2 && !band) break;
      if (!(f > 0 && f < nyquist)) {
        notes.lines.push_back({1, "Band edge " + num(f) + " Hz is outside 0 to " + num(nyquist) +
                                      " Hz (half the sample rate). The coefficients are unchanged."});
        return;
      }
    }
    s.freq1 *= interval;
    s.freq2 *= interval;
  }
  FirDesign d = DesignFir(s);
  if (!d.error.empty()) {
    notes.lines.push_back({1, d.error + " The coefficients are unchanged."});
    return;
  }
  if (!d.warning.empty()) notes.lines.push_back({0, d.warning});
  coeffs = std::move(d.taps);
  coeffsText = FormatCoeffs(coeffs, separator());
  chainDirty = true;
  notes.coeffsChanged = true;
}

void CFilter::firChanged(Notes& notes) {
  if (freqMode != 1) return;
  if (freqType == 0)
    redesign(notes, 0);
  else
    designPending = true;  // the sample interval is known at the next pass
}

void CFilter::Compute() {
  Notes notes;
  {
    std::lock_guard<std::mutex> hold(lock);
    computeLocked(notes);
  }
  flush(notes);
}

void CFilter::computeLocked(Notes& notes) {
  auto fail = [&](const std::string& text) {
    out.count = out.valid = 0;  // nothing stale may pass for this pass's result
    notes.lines.push_back({2, text});
  };
  if (!in) return fail("Input \"in\" is not linked.");
  const CBfr& src = *in;
  if (!src.data || src.count <= 0) return fail("Input record length is 0.");
  SampleType type;
  switch (src.type) {
    case bfrR8: type = SampleType::F64; break;
    case bfrR4: type = SampleType::F32; break;
    case bfrI2: type = SampleType::I16; break;
    default: return fail("Input format not supported.");
  }
  if (src.capacity > 0 && src.count > src.capacity) return fail("Input record length exceeds its buffer.");
  const ChainInput input{src.data, type, src.count, src.scale, src.offset};
  const double interval = src.interval;
  long n = src.count;
  double outInterval = interval;
  if (bypass) {
    if (!out.SetSize(n)) return fail("Insufficient memory");
    CFilterChain::Load(input, 0, n, static_cast<double*>(out.data));
  } else {
    if (freqMode == 1 && freqType == 1 && (designPending || interval != designedInterval)) redesign(notes, interval);
    if (chainDirty) {
      const bool isFir = freqMode == 1 || filterType == "FIR";  // a design is always an FIR
      chain.Configure(coeffs, isFir ? std::vector<double>{} : yCoeffs, stagesCount);
      chainDirty = false;
    }
    chain.SetGains(stagesGain, gain);
    chain.SetDecimation(decimation);
    std::string error;
    if (!chain.Prepare(error)) return fail(error);
    if (!continuous) chain.Reset();
    n = chain.OutputCount(n);
    if (!out.SetSize(n)) return fail("Insufficient memory");
    if (!chain.Process(input, static_cast<double*>(out.data), pgd ? &pgd->abort : nullptr)) {
      chain.Reset();  // part-way through a record: no state to continue from
      out.count = out.valid = 0;
      return;
    }
    outInterval = interval * decimation;
  }
  out.count = out.valid = static_cast<int32_t>(n);
  out.interval = outInterval;
  out.span = n * outInterval;
  out.scale = 1.0;
  out.offset = 0.0;
  out.maxCache = out.minCache = CBfr::kNoCache;
  ++out.tag;
  out.ready = 1;
  if (n > 0 && !std::isfinite(static_cast<double*>(out.data)[n - 1]))
    notes.lines.push_back({0, "The output is not finite: the input is not, or the filter is unstable. "
                              "\"reset\" clears the filter state."});
}

void CFilter::ActMsg(const char* msg) {
  if (msg && std::strcmp(msg, "out") == 0) Compute();
}

CMDERR CFilter::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  Notes notes;
  CMDERR r;
  {
    std::lock_guard<std::mutex> hold(lock);
    r = settingsLocked(cmd, name, v, notes);
  }
  flush(notes);
  return r;
}

CMDERR CFilter::settingsLocked(GETPARCMD cmd, const char* name, VPARAM& v, Notes& notes) {
  if (!name) return cmdNotServed;
  if (gui.isHandle(name) && strcasecmp(name, "gui.names") != 0 && strcasecmp(name, "gui.more") != 0)
    return gui.Settings(cmd, name, v);
  const std::string n = name;
  auto choice = [&](std::string& field, const char* label, std::initializer_list<const char*> allowed) {
    return kvsetting::Choice(cmd, v, field, label, allowed);
  };
  auto real = [&](double& field, const char* label, const char* unit, double lo, double hi, bool openLow = false) {
    if (cmd == parWrite && openLow && v.value.r8 == lo) return cmdBadValue;
    return kvsetting::Real(cmd, v, field, label, unit, lo, hi);
  };
  auto whole = [&](int32_t& field, const char* label, int32_t lo, int32_t hi) {
    return kvsetting::Whole(cmd, v, field, label, lo, hi);
  };
  auto flag = [&](int32_t& field, const char* label) -> CMDERR {
    if (cmd == parWrite) {
      field = v.value.i4 ? 1 : 0;
      return cmdDone;
    }
    return whole(field, label, 0, 1);
  };
  auto readOnly = [&](const std::string& value) { return kvsetting::ReadOnlyText(cmd, v, value); };
  auto count = [&](size_t c, const char* label) -> CMDERR {
    int32_t x = static_cast<int32_t>(c);
    if (cmd == parWrite) return cmdBadValue;
    return whole(x, label, 0, 0);
  };
  auto list = [&](std::string& text, std::vector<double>& values, const char* label, bool denominator) -> CMDERR {
    switch (cmd) {
      case parRead: SetText(v, text); return cmdDone;
      case parWrite: {
        const char* w = v.value.s ? v.value.s : "";
        std::vector<double> parsed;
        std::string error;
        if (!ParseCoeffs(w, parsed, error)) {
          notes.lines.push_back({1, (denominator ? "Denominator: " : "") + error});
          return cmdBadValue;
        }
        if (denominator && parsed[0] == 0) {
          notes.lines.push_back({1, "The first denominator coefficient (a0) must not be 0."});
          return cmdBadValue;
        }
        text = w;
        values = std::move(parsed);
        chainDirty = true;
        return cmdDone;
      }
      case parDescribe: v.kind = kindSetting, v.vt = vtStr; return cmdDone;
      case parLabel: SetText(v, label); return cmdDone;
      default: return cmdDone;
    }
  };
  // A setting the design reads: after a successful write, a new design in frequency mode.
  auto design = [&](CMDERR r) {
    if (cmd == parWrite && r == cmdDone) firChanged(notes);
    return r;
  };

  if (n == "filtertype") {
    const CMDERR r = choice(filterType, "Filter Type", {"FIR", "IIR"});
    if (cmd == parWrite && r == cmdDone) chainDirty = true;
    return r;
  }
  if (n == "coeffs") return list(coeffsText, coeffs, "Coefficients", false);
  if (n == "y.coeffs") return list(yCoeffsText, yCoeffs, "Denominator Coefficients", true);
  if (n == "count") return count(coeffs.size(), "Coefficient Count");
  if (n == "y.count") return count(yCoeffs.size(), "Denominator Coefficient Count");
  if (n == "delimiter") {
    const CMDERR r = choice(delimiter, "Delimiter", {"Tab", "Line", "Space"});
    if (cmd == parWrite && r == cmdDone && freqMode == 1) {  // the designed list in the new delimiter
      coeffsText = FormatCoeffs(coeffs, separator());
      notes.coeffsChanged = true;
    }
    return r;
  }
  if (n == "freqmode") {
    const CMDERR r = whole(freqMode, "Frequency Mode", 0, 1);
    if (cmd == parWrite && r == cmdDone) chainDirty = true, firChanged(notes);
    return r;
  }
  if (n == "fir.response" || n == "fir.window") {
    const bool response = n == "fir.response";
    std::string text = response ? FirResponseName(fir.response) : FirWindowName(fir.window);
    const CMDERR r = response ? choice(text, "Response Type", {"lowpass", "highpass", "bandpass", "bandstop"})
                              : choice(text, "Window", {"rectangular", "hann", "hamming", "blackman", "kaiser"});
    if (cmd == parWrite && r == cmdDone) {
      if (response)
        FirResponseOf(text.c_str(), fir.response);
      else
        FirWindowOf(text.c_str(), fir.window);
    }
    return design(r);
  }
  if (n == "fir.response.all") return readOnly(kFirResponseNames);
  if (n == "fir.window.all") return readOnly(kFirWindowNames);
  if (n == "fir.kaiser.beta") return design(real(fir.beta, "Kaiser Beta", "", 0, kMaxKaiserBeta));
  if (n == "fir.freqtype") return design(whole(freqType, "Frequency Type", 0, 1));
  if (n == "fir.order") return design(whole(fir.order, "Filter Order", 1, kMaxFirOrder));
  if (n == "fir.freq1" || n == "fir.freq2") {
    // Digital edges lie inside (0, 0.5) of the sample rate; edges in Hz are checked against
    // the sample rate when the design is made.
    double& f = n == "fir.freq1" ? fir.freq1 : fir.freq2;
    const double hi = freqType == 0 ? std::nextafter(0.5, 0.0) : HUGE_VAL;
    return design(real(f, n == "fir.freq1" ? "Band Edge 1" : "Band Edge 2", freqType ? "Hz" : "", 0, hi, true));
  }
  if (n == "stages.count") {
    const CMDERR r = whole(stagesCount, "Stages", 1, 1000000);
    if (cmd == parWrite && r == cmdDone) chainDirty = true;
    return r;
  }
  if (n == "stages.gain") return real(stagesGain, "Stage Gain", "", -HUGE_VAL, HUGE_VAL);
  if (n == "gain") return real(gain, "Filter Gain", "", -HUGE_VAL, HUGE_VAL);
  if (n == "decimation") return whole(decimation, "Decimation", 1, INT32_MAX);
  if (n == "continuous") return flag(continuous, "Continuous Mode");
  if (n == "bypass") return flag(bypass, "ByPass Filter");
  if (n == "reset") {
    // The panel's "Reset State" runs "label.reset", which the engine answers as a query: the
    // read is the reset. Not in "settings", so a state listing does not reset the filter.
    if (cmd == parWrite) return cmdBadValue;
    if (cmd == parRead) chain.Reset();
    int32_t zero = 0;
    return whole(zero, "Reset State", 0, 0);
  }
  if (n == "gui.more") return whole(gui.more, "More", INT32_MIN, INT32_MAX);
  if (n == "gui.names") return readOnly("gui");
  if (n == "settings") return readOnly(kSettings);
  if (n == "iports") return readOnly("in");
  if (n == "oports") return readOnly("out");
  if (n == "functions") return readOnly("reset");
  if (n == "version") return readOnly("1.0");
  if (n == "symbol")
    return readOnly("box,100,0,500,300;text,100,10,500,100,Filter,center,center;ipin,0,200,100,,1,in;"
                    "text,120,160,300,80,In,left,center;opin,600,200,100,,2,out;text,180,160,400,80,Out,right,center;");
  if (n == "out") {
    switch (cmd) {
      case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
      case parRead:
      case parEvaluate: v.value.p = &out; return cmdDone;
      case parPortDep: SetText(v, "in"); return cmdDone;
      case parLabel: SetText(v, "Filter Out"); return cmdDone;
      default: return cmdWrongKind;
    }
  }
  if (n == "in") {
    switch (cmd) {
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
      case parRead: v.value.p = &in; return cmdDone;
      case parWrite:
        in = static_cast<CBfr*>(v.value.p);
        chain.Reset();  // a state left by another source is no history of this one
        return cmdDone;
      case parLabel: SetText(v, "Signal In"); return cmdDone;
      default: return cmdDone;
    }
  }
  return cmdNotServed;
}

CMDERR CFilter::FunInfo(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.FunInfo(name, a);
  if (!name || strcasecmp(name, "reset") != 0) return cmdNotServed;
  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = vtEmpty;
  return cmdDone;
}

CMDERR CFilter::Fun(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.Fun(name, a);
  if (!name || strcasecmp(name, "reset") != 0) return cmdNotServed;
  ResetState();
  return cmdDone;
}
