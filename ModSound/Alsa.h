#pragma once
// The sound module's only contact with ALSA: the device list of one direction and one open
// PCM of interleaved 16-bit samples. Reads and writes go in slices of at most 100 ms and look
// at the caller's flags between slices, so an abort or a stop is seen within that time even
// when the device delivers nothing.
//
// ALSA's own diagnostics are caught by a handler installed once per process; they are kept
// per thread and handed to the caller with TakeAlsaMessages, so that nothing is logged (a log
// line may wait for the user-interface thread) while the library lock is held.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct SoundDevice {
  std::string name;   // what snd_pcm_open takes
  // What the list shows: name + " (" + first description line + ")", with "," written ";"
  // (the list itself is separated by ",").
  std::string entry;
};

// The devices ALSA names for capture (true) or playback, in ALSA's order, without "null".
std::vector<SoundDevice> ListSoundDevices(bool capture);
// The list as devices() answers it: the entries joined by ",".
std::string JoinSoundDevices(const std::vector<SoundDevice>& devices);
// ALSA's messages caught on this thread since the last call.
std::vector<std::string> TakeAlsaMessages();

class CPcm {
 public:
  CPcm() = default;
  ~CPcm();
  CPcm(const CPcm&) = delete;
  CPcm& operator=(const CPcm&) = delete;

  // Opens and configures the device; on failure an empty text is never returned: the reason.
  std::string Open(const std::string& name, bool capture, int channels, unsigned rate);
  void Close();
  bool IsOpen() const { return pcm != nullptr; }
  const std::string& Name() const { return openName; }
  int Channels() const { return openChannels; }
  unsigned RequestedRate() const { return requestedRate; }
  unsigned Rate() const { return actualRate; }  // the rate the device really runs at

  enum class End { Done, Stopped, Failed };
  struct Result {
    End end = End::Done;
    long frames = 0;    // frames moved
    int overruns = 0;   // capture overruns recovered (underruns on playback)
    std::string error;  // with End::Failed
  };
  // Reads frames interleaved frames into to; stops early when a flag becomes non-zero.
  Result Read(int16_t* to, long frames, const std::atomic<uint8_t>* const flags[], int nflags);
  Result Write(const int16_t* from, long frames, const std::atomic<uint8_t>* const flags[], int nflags);
  // Capture: stops the stream so it cannot overrun while nobody reads.
  void Halt();

 private:
  struct Impl;
  void* pcm = nullptr;  // snd_pcm_t
  std::string openName;
  bool openCapture = false;
  int openChannels = 0;
  unsigned requestedRate = 0, actualRate = 0;
  Result transfer(void* buf, long frames, const std::atomic<uint8_t>* const flags[], int nflags);
};
