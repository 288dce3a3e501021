#include "ModSound/Alsa.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// ALSA's configuration is global to the process; opening and listing from two components
// at once go through one lock.
std::mutex& configLock() {
  static std::mutex m;
  return m;
}

thread_local std::vector<std::string> caught;

void onAlsaError(const char* file, int line, const char* function, int err, const char* fmt, ...) {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt ? fmt : "", ap);
  va_end(ap);
  std::string s = "ALSA ";
  s += function ? function : "";
  s += ": ";
  s += text;
  if (err) s += std::string(" (") + snd_strerror(err) + ")";
  (void)file, (void)line;
  if (caught.size() < 100) caught.push_back(std::move(s));
}

void installHandler() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(onAlsaError); });
}

snd_pcm_t* handle(void* p) { return static_cast<snd_pcm_t*>(p); }

bool raised(const std::atomic<uint8_t>* const flags[], int n) {
  for (int i = 0; i < n; ++i)
    if (flags[i] && flags[i]->load(std::memory_order_relaxed)) return true;
  return false;
}

}  // namespace

std::vector<std::string> TakeAlsaMessages() {
  std::vector<std::string> out;
  out.swap(caught);
  return out;
}

std::vector<SoundDevice> ListSoundDevices(bool capture) {
  installHandler();
  std::vector<SoundDevice> list;
  std::lock_guard<std::mutex> hold(configLock());
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return list;
  const char* want = capture ? "Input" : "Output";
  for (void** h = hints; *h; ++h) {
    char* name = snd_device_name_get_hint(*h, "NAME");
    char* desc = snd_device_name_get_hint(*h, "DESC");
    char* ioid = snd_device_name_get_hint(*h, "IOID");  // null: both directions
    if (name && std::string(name) != "null" && (!ioid || std::string(ioid) == want)) {
      SoundDevice d;
      d.name = name;
      std::string first = desc ? desc : "";
      first = first.substr(0, first.find('\n'));
      d.entry = first.empty() ? d.name : d.name + " (" + first + ")";
      std::replace(d.entry.begin(), d.entry.end(), ',', ';');
      list.push_back(std::move(d));
    }
    std::free(name);
    std::free(desc);
    std::free(ioid);
  }
  snd_device_name_free_hint(hints);
  return list;
}

std::string JoinSoundDevices(const std::vector<SoundDevice>& devices) {
  std::string s;
  for (const SoundDevice& d : devices) {
    if (!s.empty()) s += ',';
    s += d.entry;
  }
  return s;
}

CPcm::~CPcm() { Close(); }

void CPcm::Close() {
  if (pcm) snd_pcm_close(handle(pcm));
  pcm = nullptr;
  openName.clear();
  openChannels = 0;
  requestedRate = actualRate = 0;
}

std::string CPcm::Open(const std::string& name, bool capture, int channels, unsigned rate) {
  installHandler();
  Close();
  std::lock_guard<std::mutex> hold(configLock());
  snd_pcm_t* p = nullptr;
  // Non-blocking: a busy device answers at once, and transfers wait in slices of our own.
  int e = snd_pcm_open(&p, name.c_str(), capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (e < 0) return snd_strerror(e);
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  unsigned got = rate;
  unsigned bufferUs = 200000, periodUs = 50000;
  if ((e = snd_pcm_hw_params_any(p, hw)) < 0 || (e = snd_pcm_hw_params_set_rate_resample(p, hw, 1)) < 0 ||
      (e = snd_pcm_hw_params_set_access(p, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
      (e = snd_pcm_hw_params_set_format(p, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
      (e = snd_pcm_hw_params_set_channels(p, hw, static_cast<unsigned>(channels))) < 0 ||
      (e = snd_pcm_hw_params_set_rate_near(p, hw, &got, nullptr)) < 0 ||
      (e = snd_pcm_hw_params_set_buffer_time_near(p, hw, &bufferUs, nullptr)) < 0 ||
      (e = snd_pcm_hw_params_set_period_time_near(p, hw, &periodUs, nullptr)) < 0 || (e = snd_pcm_hw_params(p, hw)) < 0) {
    snd_pcm_close(p);
    return snd_strerror(e);
  }
  pcm = p;
  openName = name;
  openCapture = capture;
  openChannels = channels;
  requestedRate = rate;
  actualRate = got;
  return "";
}

void CPcm::Halt() {
  if (pcm && openCapture) snd_pcm_drop(handle(pcm));
}

CPcm::Result CPcm::Read(int16_t* to, long frames, const std::atomic<uint8_t>* const flags[], int nflags) {
  return transfer(to, frames, flags, nflags);
}

CPcm::Result CPcm::Write(const int16_t* from, long frames, const std::atomic<uint8_t>* const flags[], int nflags) {
  return transfer(const_cast<int16_t*>(from), frames, flags, nflags);
}

CPcm::Result CPcm::transfer(void* buf, long frames, const std::atomic<uint8_t>* const flags[], int nflags) {
  Result r;
  snd_pcm_t* p = handle(pcm);
  if (!p) {
    r.end = End::Failed;
    r.error = "the device is not open";
    return r;
  }
  if (openCapture) {
    const snd_pcm_state_t s = snd_pcm_state(p);
    if (s != SND_PCM_STATE_PREPARED && s != SND_PCM_STATE_RUNNING) snd_pcm_prepare(p);
    if (snd_pcm_state(p) == SND_PCM_STATE_PREPARED) snd_pcm_start(p);
  }
  const long slice = std::max<long>(1, static_cast<long>(actualRate / 10));  // 100 ms
  int16_t* at = static_cast<int16_t*>(buf);
  int idle = 0;
  while (r.frames < frames) {
    if (raised(flags, nflags)) {
      r.end = End::Stopped;
      break;
    }
    const long want = std::min(slice, frames - r.frames);
    int16_t* here = at + r.frames * openChannels;
    const snd_pcm_sframes_t n = openCapture ? snd_pcm_readi(p, here, static_cast<snd_pcm_uframes_t>(want))
                                            : snd_pcm_writei(p, here, static_cast<snd_pcm_uframes_t>(want));
    if (n > 0) {
      r.frames += n;
      idle = 0;
      continue;
    }
    if (n == 0 || n == -EAGAIN) {
      // Nothing to move yet: wait for the device at most one slice, then look at the flags.
      if (snd_pcm_wait(p, 100) == 0 && ++idle > 50) {
        r.end = End::Failed;
        r.error = "the device has not moved data for 5 seconds";
        break;
      }
      continue;
    }
    if (n == -EPIPE) {
      ++r.overruns;
      if (snd_pcm_prepare(p) < 0) {
        r.end = End::Failed;
        r.error = snd_strerror(static_cast<int>(n));
        break;
      }
      if (openCapture) snd_pcm_start(p);
      continue;
    }
    if (snd_pcm_recover(p, static_cast<int>(n), 1) < 0) {
      r.end = End::Failed;
      r.error = snd_strerror(static_cast<int>(n));
      break;
    }
  }
  // A short record would not start playing by itself below the start threshold.
  if (!openCapture && snd_pcm_state(p) == SND_PCM_STATE_PREPARED && r.frames > 0) snd_pcm_start(p);
  return r;
}
