#include "ModSound/Sound.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "KvLib/Setting.h"

namespace {

using kvsetting::SetText;

constexpr int32_t kMaxRate = 100000000, kMaxRecLen = 100000000;
constexpr double kMaxTime = 1e9;

bool isName(const char* name, const char* n) { return name && strcasecmp(name, n) == 0; }

// The channel index of "ch1.<key>" / "ch2.<key>", or -1.
int channelOf(const std::string& n, const char* key) {
  if (n.size() != 4 + std::strlen(key) || n.compare(0, 2, "ch") != 0 || n[3] != '.' || n.compare(4, std::string::npos, key) != 0)
    return -1;
  return n[2] == '1' ? 0 : n[2] == '2' ? 1 : -1;
}

// A record's sample i as volts.
double sampleOf(const CBfr& b, long i) {
  switch (b.type) {
    case bfrR8: return static_cast<const double*>(b.data)[i] * b.scale + b.offset;
    case bfrR4: return static_cast<const float*>(b.data)[i] * b.scale + b.offset;
    case bfrI2: return static_cast<const int16_t*>(b.data)[i] * b.scale + b.offset;
    case bfrI4: return static_cast<const int32_t*>(b.data)[i] * b.scale + b.offset;
    default: return 0;
  }
}

bool playable(const CBfr& b) { return b.type == bfrR8 || b.type == bfrR4 || b.type == bfrI2 || b.type == bfrI4; }

// Volts to the 16-bit sample that records as them again: the inverse of
// raw / 32768 x gain / 2 + offset, rounded and clipped.
int16_t rawOf(double volts, double gain, double offset) {
  const double x = (volts - offset) / gain * 2 * 32768;
  if (!(x == x)) return 0;
  return static_cast<int16_t>(std::clamp(std::nearbyint(x), -32768.0, 32767.0));
}

}  // namespace

CSound::CSound(const KvCreateBlock& block, bool capture) : CLocalData(block), capture(capture) {}

CSound::~CSound() {
  StopTrigger();
  pcm.Close();
}

void CSound::logAlsa() {
  for (const std::string& m : TakeAlsaMessages()) logDebug(m.c_str());
}

bool CSound::takeStop() {
  if (!stopRequest.exchange(0, std::memory_order_relaxed)) return false;
  pcm.Close();
  openIndex = -1;
  return true;
}

bool CSound::openDevice(int channels, unsigned rate, std::string& entry) {
  if (pcm.IsOpen() && openIndex == device && pcm.Channels() == channels && pcm.RequestedRate() == rate) {
    entry = openEntry;
    return true;
  }
  pcm.Close();
  openIndex = -1;
  const std::vector<SoundDevice> list = ListSoundDevices(capture);
  logAlsa();
  if (list.empty()) {
    logErrAbort(capture ? "No sound input device found" : "No sound output device found");
    return false;
  }
  if (device < 0 || static_cast<size_t>(device) >= list.size()) {
    logErrAbort(("Sound device " + std::to_string(device) + " not found").c_str());
    return false;
  }
  entry = list[static_cast<size_t>(device)].entry;
  const std::string reason = pcm.Open(list[static_cast<size_t>(device)].name, capture, channels, rate);
  logAlsa();
  if (!reason.empty()) {
    logErrAbort(("Cannot open sound device " + entry + ": " + reason).c_str());
    return false;
  }
  openIndex = device;
  openEntry = entry;
  if (pcm.Rate() != rate)
    logDebug(("Sample rate " + std::to_string(rate) + " asked for, " + std::to_string(pcm.Rate()) + " used").c_str());
  return true;
}

CMDERR CSound::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  if (!name) return cmdNotServed;
  // The panel's own keys beside the "gui" handle's: its list of panels and its caption.
  if (isName(name, "gui.names")) return kvsetting::ReadOnlyText(cmd, v, "gui");
  if (isName(name, "gui.caption")) return kvsetting::Text(cmd, v, caption, "Caption");
  if (gui.isHandle(name) && !isName(name, "gui.more")) return gui.Settings(cmd, name, v);
  const std::string n = name;
  if (n == "device") return kvsetting::Whole(cmd, v, device, capture ? "Sound-In Device" : "Sound-Out Device", 0, INT32_MAX);
  if (n == "stereo") return kvsetting::Whole(cmd, v, stereo, "Stereo", 0, 1);
  if (const int c = channelOf(n, "gain"); c >= 0) {
    if (cmd == parWrite && v.value.r8 == 0) return cmdBadValue;  // every sample would read 0 V, and playing divides by it
    return kvsetting::Real(cmd, v, gain[c], c ? "CHR Gain" : "CHL Gain", "V");
  }
  if (const int c = channelOf(n, "offset"); c >= 0) return kvsetting::Real(cmd, v, offset[c], c ? "CHR Offset" : "CHL Offset", "V");
  if (n == "samplerate") return kvsetting::Whole(cmd, v, samplerate, "Sample Rate", 1, kMaxRate, "S/s");
  if (n == "reclen") return kvsetting::Whole(cmd, v, reclen, "Rec. Length", 1, kMaxRecLen);
  if (const CMDERR r = ownSettings(cmd, n, v); r != cmdNotServed) return r;
  if (n == "settings") return kvsetting::ReadOnlyText(cmd, v, settingsList());
  if (n == "iports") return kvsetting::ReadOnlyText(cmd, v, portList(true));
  if (n == "oports") return kvsetting::ReadOnlyText(cmd, v, portList(false));
  if (n == "functions") return kvsetting::ReadOnlyText(cmd, v, "devices,stop");
  if (n == "version") return kvsetting::ReadOnlyText(cmd, v, "1.0.0");
  if (n == "symbol") return kvsetting::ReadOnlyText(cmd, v, symbol());
  return cmdNotServed;
}

CMDERR CSound::FunInfo(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.FunInfo(name, a);
  if (!isName(name, "devices") && !isName(name, "stop")) return cmdNotServed;
  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = isName(name, "devices") ? vtStr : vtEmpty;
  return cmdDone;
}

CMDERR CSound::Fun(const char* name, VPARAMS& a) {
  if (gui.isHandle(name)) return gui.Fun(name, a);
  if (isName(name, "devices")) {
    const std::string list = JoinSoundDevices(ListSoundDevices(capture));
    logAlsa();
    if (a.result.value.str) *a.result.value.str = CStr(list.c_str(), static_cast<long>(list.size()));
    return cmdDone;
  }
  if (isName(name, "stop")) {
    // The device belongs to the worker: it closes it when it sees the flag.
    stopRequest.store(1, std::memory_order_relaxed);
    return cmdDone;
  }
  return cmdNotServed;
}

// ---------------------------------------------------------------------------------------
// Recording
// ---------------------------------------------------------------------------------------

CMDERR CSoundIn::ownSettings(GETPARCMD cmd, const std::string& n, VPARAM& v) {
  if (n == "freeze") return kvsetting::Whole(cmd, v, freeze, "Freeze Signal", 0, 1);
  if (n == "hor.offset") return kvsetting::Real(cmd, v, horOffset, "Horizontal Offset", "s", -kMaxTime, kMaxTime);
  if (n == "hor.offset.additive") return kvsetting::Whole(cmd, v, horOffsetAdditive, "Additive", 0, 1);
  if (n == "gui.more") return kvsetting::Whole(cmd, v, gui.more, "More", INT32_MIN, INT32_MAX);
  const int c = n == "ch1.out" ? 0 : n == "ch2.out" ? 1 : -1;
  if (c < 0) return cmdNotServed;
  switch (cmd) {
    case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
    case parRead:
    case parEvaluate: v.value.p = &out[c]; return cmdDone;  // evaluating never records: linking must not wait for a device
    case parPortDep: SetText(v, ""); return cmdDone;
    case parLabel: SetText(v, c ? "CHR Out" : "CHL Out"); return cmdDone;
    case parUnit: SetText(v, "V"); return cmdDone;
    default: return cmdWrongKind;
  }
}

std::string CSoundIn::settingsList() const {
  return "device,stereo,ch1.gain,ch1.offset,ch2.gain,ch2.offset,samplerate,reclen,freeze,hor.offset.additive,hor.offset,"
         "gui.more,gui.caption";
}

const char* CSoundIn::symbol() const {
  return "box,100,0,500,400;text,100,10,500,100,Sound In,center,center;opin,600,200,100,,2,ch1.out;"
         "text,180,160,400,80,CHL,right,center;opin,600,300,100,,2,ch2.out;text,180,260,400,80,CHR,right,center;";
}

void CSoundIn::ActMsg(const char* msg) {
  if (!msg) return;
  if (std::strcmp(msg, "#acq.start") == 0 || std::strcmp(msg, "#acq.end") == 0) {
    recorded = false;
  } else if (std::strcmp(msg, "#acq.abort") == 0) {
    pcm.Close();
  } else if (std::strcmp(msg, "ch1.out") == 0 || std::strcmp(msg, "ch2.out") == 0) {
    if (!recorded) Record();
    recorded = true;
  }
}

void CSoundIn::Record() {
  takeStop();
  if (freeze && out[0].count > 0) return;  // the frozen record stays, tag and all
  const int channels = stereo ? 2 : 1;
  std::string entry;
  if (!openDevice(channels, static_cast<unsigned>(samplerate), entry)) return;
  const long n = reclen;
  std::vector<int16_t> raw;
  try {
    raw.resize(static_cast<size_t>(n) * static_cast<size_t>(channels));
  } catch (const std::bad_alloc&) {
    logErrAbort("Insufficient memory");
    return;
  }
  const std::atomic<uint8_t>* const flags[] = {pgd ? &pgd->abort : nullptr, &stopRequest};
  const CPcm::Result r = pcm.Read(raw.data(), n, flags, 2);
  pcm.Halt();  // no overrun while nobody reads between passes
  logAlsa();
  if (r.overruns) logWarn("Sound input overrun");
  if (takeStop() || r.end == CPcm::End::Stopped) return;  // a part record is not a record: the last one stays
  if (r.end == CPcm::End::Failed) {
    pcm.Close();
    logErrAbort(("Cannot read sound device " + entry + ": " + r.error).c_str());
    return;
  }
  const double interval = 1.0 / pcm.Rate();
  delay = horOffsetAdditive ? delay + horOffset : horOffset;
  for (int c = 0; c < 2; ++c) {
    CBfr& b = out[c];
    const long count = c < channels ? n : 0;
    if (!b.SetSize(count)) {
      logErrAbort("Insufficient memory");
      return;
    }
    double* s = static_cast<double*>(b.data);
    for (long i = 0; i < count; ++i) s[i] = raw[static_cast<size_t>(i * channels + c)] / 32768.0 * gain[c] / 2 + offset[c];
    b.count = b.valid = static_cast<int32_t>(count);
    b.interval = interval;
    b.span = count * interval;
    b.xstart = delay;
    b.scale = 1.0;
    b.offset = 0.0;
    b.maxCache = b.minCache = CBfr::kNoCache;
    ++b.tag;
    b.ready = 1;
  }
}

// ---------------------------------------------------------------------------------------
// Playing
// ---------------------------------------------------------------------------------------

CMDERR CSoundOut::ownSettings(GETPARCMD cmd, const std::string& n, VPARAM& v) {
  if (n == "samplerate.override") return kvsetting::Whole(cmd, v, rateOverride, "Override", 0, 1);
  const int c = n == "ch1.in" ? 0 : n == "ch2.in" ? 1 : -1;
  if (c < 0) return cmdNotServed;
  switch (cmd) {
    case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
    case parRead: v.value.p = &in[c]; return cmdDone;
    case parWrite: in[c] = static_cast<CBfr*>(v.value.p); return cmdDone;
    case parLabel: SetText(v, c ? "CHR In" : "CHL In"); return cmdDone;
    case parUnit: SetText(v, "V"); return cmdDone;
    default: return cmdDone;
  }
}

std::string CSoundOut::settingsList() const {
  return "device,stereo,ch1.gain,ch1.offset,ch2.gain,ch2.offset,samplerate,samplerate.override,reclen,gui.caption";
}

const char* CSoundOut::symbol() const {
  return "box,100,0,500,400;text,100,10,500,100,Sound Out,center,center;ipin,0,200,100,,1,ch1.in;"
         "text,120,160,300,80,CHL,left,center;ipin,0,300,100,,1,ch2.in;text,120,260,300,80,CHR,left,center;";
}

void CSoundOut::ActMsg(const char* msg) {
  if (!msg) return;
  if (std::strcmp(msg, "#acq.abort") == 0) {
    pcm.Close();
    return;
  }
  // Both channels go out together, at the step of the last input the pass delivers.
  const char* last = stereo && in[1] ? "ch2.in" : "ch1.in";
  if (std::strcmp(msg, last) == 0) Play();
}

void CSoundOut::Play() {
  takeStop();
  const CBfr* src = in[0];
  if (!src) {
    logErrAbort("Input \"ch1.in\" is not linked.");
    return;
  }
  const int channels = stereo ? 2 : 1;
  for (int c = 0; c < channels; ++c)
    if (in[c] && in[c]->count > 0 && (!in[c]->data || !playable(*in[c]))) {
      logErrAbort(c ? "Input \"ch2.in\": format not supported." : "Input \"ch1.in\": format not supported.");
      return;
    }
  const long n = std::min<long>(reclen, src->data ? src->count : 0);
  if (n <= 0) return;  // nothing to play this pass
  // The record's own rate unless the setting overrides it (or the record has none).
  unsigned rate = static_cast<unsigned>(samplerate);
  const double fromInput = src->interval > 0 ? std::nearbyint(1.0 / src->interval) : 0;
  if (!rateOverride && fromInput >= 1 && fromInput <= kMaxRate) rate = static_cast<unsigned>(fromInput);
  std::vector<int16_t> raw;
  try {
    raw.resize(static_cast<size_t>(n) * static_cast<size_t>(channels));
  } catch (const std::bad_alloc&) {
    logErrAbort("Insufficient memory");
    return;
  }
  for (int c = 0; c < channels; ++c) {
    const CBfr* b = in[c];
    const long have = b && b->data ? std::min<long>(n, b->count) : 0;  // a shorter channel ends in silence
    for (long i = 0; i < have; ++i) raw[static_cast<size_t>(i * channels + c)] = rawOf(sampleOf(*b, i), gain[c], offset[c]);
  }
  std::string entry;
  if (!openDevice(channels, rate, entry)) return;
  const std::atomic<uint8_t>* const flags[] = {pgd ? &pgd->abort : nullptr, &stopRequest};
  const CPcm::Result r = pcm.Write(raw.data(), n, flags, 2);
  logAlsa();
  if (r.overruns) logDebug("Sound output underrun (the device ran dry between passes)");
  if (takeStop()) return;  // what was queued is dropped with the device
  if (r.end == CPcm::End::Failed) {
    pcm.Close();
    logErrAbort(("Cannot write sound device " + entry + ": " + r.error).c_str());
  }
}
