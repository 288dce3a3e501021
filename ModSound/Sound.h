#pragma once
// The sound-card components of Sound.bin: CSoundIn records "reclen" frames a pass from an ALSA
// capture device into "ch1.out" and "ch2.out" (volts = raw / 32768 x gain / 2 + offset);
// CSoundOut plays up to "reclen" samples a pass of "ch1.in" and "ch2.in" on a playback device
// (the inverse, clipped to 16 bits). Both pick the device by its index in the direction's list
// that devices() answers.
//
// Threads: the engine serialises every call into an instance, so the settings and the
// device are used by one thread at a time. The device is opened, used and closed only in the
// pass steps (the acquisition worker) and the destructor. stop() only raises a flag that the
// worker reads between two slices of a transfer and at its next step.

#include <atomic>
#include <cstdint>
#include <string>

#include "KvDll/Gui.h"
#include "KvLib/LocalData.h"
#include "ModSound/Alsa.h"

class CSound : public CLocalData {
 public:
  CSound(const KvCreateBlock& block, bool capture);
  ~CSound() override;

  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override;
  CMDERR FunInfo(const char* name, VPARAMS& a) override;

  // The same settings for both directions.
  int32_t device = 0, stereo = 0;
  double gain[2] = {2, 2}, offset[2] = {0, 0};
  int32_t samplerate = 44100, reclen = 1024;
  std::string caption;
  CGui gui;
  std::atomic<uint8_t> stopRequest{0};

 protected:
  const bool capture;
  CPcm pcm;

  // Settings of one direction only; cmdNotServed for names the base answers.
  virtual CMDERR ownSettings(GETPARCMD cmd, const std::string& n, VPARAM& v) = 0;
  virtual std::string settingsList() const = 0;
  virtual std::string portList(bool inputs) const = 0;
  virtual const char* symbol() const = 0;
  // Makes sure the device of "device" is open with these channels and rate; false after an
  // aborting error.
  bool openDevice(int channels, unsigned rate, std::string& entry);
  // Closes the device when stop() was asked for; true when it was.
  bool takeStop();
  void logAlsa();

 private:
  int32_t openIndex = -1;
  std::string openEntry;
};

class CSoundIn final : public CSound {
 public:
  explicit CSoundIn(const KvCreateBlock& block) : CSound(block, true) {
    gui.init("gui", "", "KvSound.Import");
    out[0].SetBfrType(bfrR8);
    out[1].SetBfrType(bfrR8);
  }

  void ActMsg(const char* msg) override;
  // Records one record into the outputs (or keeps the last while frozen).
  void Record();

  int32_t freeze = 0, horOffsetAdditive = 0;
  double horOffset = 0;
  CBfr out[2];

 protected:
  CMDERR ownSettings(GETPARCMD cmd, const std::string& n, VPARAM& v) override;
  std::string settingsList() const override;
  std::string portList(bool inputs) const override { return inputs ? "" : "ch1.out,ch2.out"; }
  const char* symbol() const override;

 private:
  bool recorded = false;  // this pass's record is made (both outputs come from one)
  double delay = 0;       // the horizontal offset in force
};

class CSoundOut final : public CSound {
 public:
  explicit CSoundOut(const KvCreateBlock& block) : CSound(block, false) { gui.init("gui", "", "KvSound.Export"); }

  void ActMsg(const char* msg) override;
  // Plays the linked inputs.
  void Play();

  int32_t rateOverride = 0;
  CBfr* in[2] = {nullptr, nullptr};

 protected:
  CMDERR ownSettings(GETPARCMD cmd, const std::string& n, VPARAM& v) override;
  std::string settingsList() const override;
  std::string portList(bool inputs) const override { return inputs ? "ch1.in,ch2.in" : ""; }
  const char* symbol() const override;
};
