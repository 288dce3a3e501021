#pragma once
// CSigGen: the waveform generator component of SigGen.bin. Each pass writes one record of
// "reclen" samples at "samplerate" into its output "out", continuing the waveform's phase
// from the record before (unless frozen). Edge waveforms (square, pulse, prbs) are drawn from
// their edge times, so jitter and a finite rise time are exact and a measurement of them can be
// checked against the settings.

#include <cstdint>
#include <string>

#include "KvDll/Gui.h"
#include "KvLib/LocalData.h"

class CSigGen final : public CLocalData {
 public:
  explicit CSigGen(const KvCreateBlock& block);
  ~CSigGen() override;

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override;
  CMDERR FunInfo(const char* name, VPARAMS& a) override;

  // Writes the next record into the output (or keeps the last when frozen).
  void Generate();

  std::string type = "sine";
  double freq = 1000, pk2pk = 2, offset = 0, samplerate = 1e6;
  int32_t reclen = 1000;
  double duty = 50, symmetry = 50, width = 1e-4;
  std::string noiseType = "gaussian";
  int32_t freeze = 0;
  double angle = 0;  // phase of the next sample, in cycles
  std::string modType = "Off";
  double modGain = 1;
  double horOffset = 0;
  int32_t horOffsetAdditive = 0;
  double risetime = 0, jitterRj = 0, jitterPj = 0, jitterPjFreq = 1e3, noiseRms = 0;
  int32_t seed = 1;
  CBfr out;
  CBfr* modIn = nullptr;
  CGui gui;

 private:
  double time0 = 0;       // time of the next record's first sample, for the edge waveforms
  double delay = 0;       // the horizontal offset in force
  uint64_t noiseCounter = 0;

  double edgeLevel(double t) const;
  double jitterOf(uint64_t edge, double nominal) const;
  double gaussian(uint64_t key) const;
  double uniform(uint64_t key) const;
};
