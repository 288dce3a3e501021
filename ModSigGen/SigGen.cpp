#include "ModSigGen/SigGen.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "KvLib/Setting.h"

namespace {

using kvsetting::SetText;

uint64_t mix(uint64_t x) {  // splitmix64: a repeatable random number per key
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// PRBS7 (x^7 + x^6 + 1): bit n of the repeating 127-bit pattern.
int prbs7(uint64_t n) {
  static int bits[127];
  static bool made = false;
  if (!made) {
    unsigned s = 0x7F;
    for (int i = 0; i < 127; ++i) {
      const unsigned b = ((s >> 6) ^ (s >> 5)) & 1;
      s = ((s << 1) | b) & 0x7F;
      bits[i] = static_cast<int>(b);
    }
    made = true;
  }
  return bits[n % 127];
}

// Rates (frequency, sample rate) from one cycle in 30 years to a petahertz, times within
// 30 years: beyond them no record says anything, and the arithmetic stays well inside a double.
constexpr double kMinRate = 1e-9, kMaxRate = 1e15, kMaxTime = 1e9;

bool oneOf(const std::string& w, std::initializer_list<const char*> words) {
  for (const char* x : words)
    if (strcasecmp(w.c_str(), x) == 0) return true;
  return false;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

CSigGen::CSigGen(const KvCreateBlock& block) : CLocalData(block) {
  out.SetBfrType(bfrR8);
  gui.init("gui", "", "KvSigGen.SigGen");
}

CSigGen::~CSigGen() { StopTrigger(); }

double CSigGen::uniform(uint64_t key) const {
  return (mix(key ^ (static_cast<uint64_t>(seed) << 40)) >> 11) * (1.0 / 9007199254740992.0);
}

double CSigGen::gaussian(uint64_t key) const {
  const double u1 = std::max(uniform(2 * key), 1e-300), u2 = uniform(2 * key + 1);
  return std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
}

// The time error of an edge: random (rms jitter.rj) and sinusoidal (amplitude jitter.pj).
double CSigGen::jitterOf(uint64_t edge, double nominal) const {
  double j = 0;
  if (jitterRj > 0) j += jitterRj * gaussian(edge + 0x1000000000ull);
  if (jitterPj > 0) j += jitterPj * std::sin(2 * M_PI * jitterPjFreq * nominal);
  return j;
}

// 0 ... 1 at time t for the edge waveforms: the level after the edge nearest to t, with a
// linear ramp centred on the edge whose 10-90 % time is the rise time.
double CSigGen::edgeLevel(double t) const {
  const bool prbs = lower(type) == "prbs";
  const double period = 1.0 / freq;
  const double high = prbs ? period : lower(type) == "pulse" ? std::clamp(width, 0.0, period) : period * std::clamp(duty, 0.0, 100.0) / 100;
  // Edge c: for square and pulse, 2k rising at k T and 2k+1 falling at k T + high; for prbs,
  // edge n at n T into bit n.
  auto nominal = [&](int64_t c) { return prbs ? c * period : (c >> 1) * period + ((c & 1) ? high : 0); };
  auto levelAfter = [&](int64_t c) { return prbs ? prbs7(static_cast<uint64_t>(c < 0 ? 0 : c)) : ((c & 1) ? 0 : 1); };
  // Far from the start a double no longer tells one period from the next (and the edge
  // count would not fit its integer): the signal there rests at its low level.
  const double cycles = std::floor(t / period);
  if (!(std::fabs(cycles) < 1e18)) return 0;
  const int64_t guess = static_cast<int64_t>(cycles) * (prbs ? 1 : 2);
  double bestDist = HUGE_VAL, edgeTime = 0;
  int64_t best = guess;
  for (int64_t c = guess - 3; c <= guess + 3; ++c) {
    if (c < 0) continue;
    const double e = nominal(c) + jitterOf(static_cast<uint64_t>(c), nominal(c));
    const double d = std::fabs(t - e);
    if (d < bestDist) bestDist = d, best = c, edgeTime = e;
  }
  const double before = best > 0 ? levelAfter(best - 1) : 0;
  const double after = levelAfter(best);
  const double w = risetime > 0 ? risetime / 0.8 : 0;
  double f;
  if (w > 0)
    f = std::clamp((t - edgeTime) / w + 0.5, 0.0, 1.0);
  else  // a sample on the edge takes the new level, whatever the rounding of the two times
    f = t >= edgeTime - 1e-6 / (samplerate > 0 ? samplerate : 1.0) ? 1.0 : 0.0;
  return before + (after - before) * f;
}

void CSigGen::Generate() {
  if (freeze && out.count > 0) return;
  const long n = std::max<int32_t>(reclen, 0);
  const double fs = samplerate > 0 ? samplerate : 1.0;
  if (!out.SetSize(n)) {
    logErrAbort("Insufficient memory");
    return;
  }
  double* s = static_cast<double*>(out.data);
  const std::string t = lower(type);
  const double amp = pk2pk / 2;
  const bool edges = t == "square" || t == "pulse" || t == "prbs";
  const int mod = oneOf(modType, {"AM"}) ? 1 : oneOf(modType, {"FM"}) ? 2 : oneOf(modType, {"PM"}) ? 3 : 0;
  if (horOffsetAdditive)
    delay += horOffset;
  else
    delay = horOffset;
  for (long i = 0; i < n; ++i) {
    double m = 0;
    if (mod && modIn && modIn->data && modIn->count > 0 && modIn->type == bfrR8)
      m = static_cast<double*>(modIn->data)[std::min<long>(i, modIn->count - 1)] * modIn->scale + modIn->offset;
    const double f = mod == 2 ? freq * (1 + modGain * m) : freq;
    const double phase = angle + (mod == 3 ? modGain * m / (2 * M_PI) : 0) - delay * freq;
    double v;
    if (t == "sine") {
      v = std::sin(2 * M_PI * phase);
    } else if (t == "triangle") {
      const double p = phase - std::floor(phase), sym = std::clamp(symmetry, 0.1, 99.9) / 100;
      v = p < sym ? -1 + 2 * p / sym : 1 - 2 * (p - sym) / (1 - sym);
    } else if (t == "noise") {
      // Uniform over the peak-to-peak range, or gaussian with the range as six sigma.
      v = lower(noiseType) == "uniform" ? 2 * uniform(noiseCounter) - 1 : gaussian(noiseCounter) / 3;
      ++noiseCounter;
    } else if (t == "dc") {
      v = 0;
    } else if (edges) {
      v = 2 * edgeLevel(time0 + i / fs - delay) - 1;
    } else {
      v = 0;
    }
    double a = amp;
    if (mod == 1) a *= 1 + modGain * m;
    s[i] = offset + a * v + (noiseRms > 0 ? noiseRms * gaussian(0x2000000000ull + noiseCounter++) : 0);
    angle += f / fs;
    if (angle > 1e6) angle -= std::floor(angle);
  }
  time0 += n / fs;
  out.count = out.valid = static_cast<int32_t>(n);
  out.interval = 1.0 / fs;
  out.span = n / fs;
  out.scale = 1.0;
  out.offset = 0.0;
  out.maxCache = out.minCache = CBfr::kNoCache;
  ++out.tag;
  out.ready = 1;
}

void CSigGen::ActMsg(const char* msg) {
  if (msg && std::strcmp(msg, "out") == 0) Generate();
}

CMDERR CSigGen::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  if (!name) return cmdNotServed;
  if (gui.isHandle(name) && strcasecmp(name, "gui.names") != 0 && strcasecmp(name, "gui.more") != 0)
    return gui.Settings(cmd, name, v);
  const std::string n = name;
  auto text = [&](std::string& field, const char* label, std::initializer_list<const char*> allowed) {
    return kvsetting::Choice(cmd, v, field, label, allowed);
  };
  auto real = [&](double& field, const char* label, const char* unit, double lo = -HUGE_VAL, double hi = HUGE_VAL) {
    return kvsetting::Real(cmd, v, field, label, unit, lo, hi);
  };
  auto whole = [&](int32_t& field, const char* label, int32_t lo, int32_t hi) {
    return kvsetting::Whole(cmd, v, field, label, lo, hi);
  };
  auto list = [&](const char* value) { return kvsetting::ReadOnlyText(cmd, v, value); };
  if (n == "type") return text(type, "Signal Type", {"sine", "square", "triangle", "pulse", "noise", "dc", "prbs"});
  if (n == "freq") return real(freq, "Frequency", "Hz", kMinRate, kMaxRate);
  if (n == "pk2pk") return real(pk2pk, "Peak-peak", "V");
  if (n == "offset") return real(offset, "DC Offset", "V");
  if (n == "samplerate") return real(samplerate, "Sample Rate", "S/s", kMinRate, kMaxRate);
  if (n == "reclen") return whole(reclen, "Rec. Length", 0, 100000000);
  if (n == "duty") return real(duty, "Duty Cycle", "%", 0, 100);
  if (n == "symmetry") return real(symmetry, "Symmetry", "%", 0, 100);
  if (n == "width") return real(width, "Width", "s", 0);
  if (n == "noise.type") return text(noiseType, "Noise Type", {"gaussian", "uniform"});
  if (n == "freeze") return whole(freeze, "Freeze Signal", 0, 1);
  if (n == "angle") {
    const CMDERR r = real(angle, "Angle", "cycles");
    if (cmd == parWrite && r == cmdDone && angle == 0) time0 = 0, delay = 0, noiseCounter = 0;  // back to the start
    return r;
  }
  if (n == "mod.type") return text(modType, "Modulation Type", {"Off", "AM", "FM", "PM"});
  if (n == "mod.gain") {
    const char* unit = oneOf(modType, {"AM"}) ? "V/V" : oneOf(modType, {"FM"}) ? "1/V" : oneOf(modType, {"PM"}) ? "rad/V" : "V/V";
    return real(modGain, "Modulation Gain", unit);
  }
  if (n == "hor.offset") return real(horOffset, "Horizontal Offset", "s", -kMaxTime, kMaxTime);
  if (n == "hor.offset.additive") return whole(horOffsetAdditive, "Additive", 0, 1);
  if (n == "risetime") return real(risetime, "Rise Time (10-90 %)", "s", 0);
  if (n == "jitter.rj") return real(jitterRj, "Random Jitter (rms)", "s", 0);
  if (n == "jitter.pj") return real(jitterPj, "Periodic Jitter (amplitude)", "s", 0);
  if (n == "jitter.pj.freq") return real(jitterPjFreq, "Periodic Jitter Frequency", "Hz", 0);
  if (n == "noise.rms") return real(noiseRms, "Added Noise (rms)", "V", 0);
  if (n == "seed") return whole(seed, "Random Seed", INT32_MIN, INT32_MAX);
  if (n == "gui.more") return whole(gui.more, "More", INT32_MIN, INT32_MAX);
  if (n == "gui.names") return list("gui");
  if (n == "settings")
    return list("type,freq,pk2pk,offset,samplerate,reclen,duty,symmetry,width,noise.type,freeze,mod.type,mod.gain,"
                "hor.offset,hor.offset.additive,risetime,jitter.rj,jitter.pj,jitter.pj.freq,noise.rms,seed,gui.more");
  if (n == "iports") return list("mod.in");
  if (n == "oports") return list("out");
  if (n == "functions") return list("wfm.types,mod.types,noise.types");
  if (n == "version") return list("1.0");
  if (n == "symbol")
    return list("box,100,0,500,300;text,100,10,500,100,SigGen,center,center;ipin,0,200,100,,1,mod.in;"
                "text,120,160,300,80,Mod,left,center;opin,600,200,100,,2,out;text,180,160,400,80,Out,right,center;");
  if (n == "out") {
    switch (cmd) {
      case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
      case parRead:
      case parEvaluate: v.value.p = &out; return cmdDone;
      case parPortDep: SetText(v, modType == "Off" ? "" : "mod.in"); return cmdDone;
      case parLabel: SetText(v, "Signal Out"); return cmdDone;
      default: return cmdWrongKind;
    }
  }
  if (n == "mod.in") {
    switch (cmd) {
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
      case parRead: v.value.p = &modIn; return cmdDone;
      case parWrite: modIn = static_cast<CBfr*>(v.value.p); return cmdDone;
      case parLabel: SetText(v, "Modulation In"); return cmdDone;
      default: return cmdDone;
    }
  }
  return cmdNotServed;
}

CMDERR CSigGen::FunInfo(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.FunInfo(name, a);
  if (!name || !oneOf(name, {"wfm.types", "mod.types", "noise.types"})) return cmdNotServed;
  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = vtStr;
  return cmdDone;
}

CMDERR CSigGen::Fun(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.Fun(name, a);
  if (!name) return cmdNotServed;
  const char* answer = strcasecmp(name, "wfm.types") == 0   ? "sine,square,triangle,pulse,noise,dc,prbs"
                       : strcasecmp(name, "mod.types") == 0 ? "Off,AM,FM,PM"
                       : strcasecmp(name, "noise.types") == 0 ? "gaussian,uniform"
                                                              : nullptr;
  if (!answer) return cmdNotServed;
  if (a.result.value.str) *a.result.value.str = answer;
  return cmdDone;
}
