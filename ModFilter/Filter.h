#pragma once
// CFilter: the digital filter component of Filter.bin. Each pass it filters its input "in"
// (64-bit, 32-bit float or 16-bit records, scaled to physical values) into "out": an FIR or
// IIR filter given by coefficient lists, or an FIR designed from a frequency response,
// cascaded in identical stages with gains, then decimated. In continuous mode the filter
// state carries from pass to pass; otherwise every pass starts from rest.
//
// Settings and passes may come from different threads (console and acquisition), so both
// run under one lock; log lines and change notifications, which wait for the user-interface
// thread, are sent only after it is released.

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "KvDll/Gui.h"
#include "KvLib/LocalData.h"
#include "ModFilter/Chain.h"
#include "ModFilter/Design.h"

class CFilter final : public CLocalData {
 public:
  explicit CFilter(const KvCreateBlock& block);
  ~CFilter() override;

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override;
  CMDERR FunInfo(const char* name, VPARAMS& a) override;

  // Filters the input into the output, as the pass's "out" step does.
  void Compute();
  // Clears the delay lines and the decimation phase.
  void ResetState();

  // The settings (read them only while no other thread uses the component).
  std::string filterType = "FIR";
  std::string coeffsText = "1", yCoeffsText = "1";
  std::vector<double> coeffs{1.0}, yCoeffs{1.0};
  std::string delimiter = "Space";  // "Line" would put line breaks into the state listing
  int32_t freqMode = 0;
  FirSpec fir;
  int32_t freqType = 0;  // 0: band edges as fractions of the sample rate; 1: in Hz
  int32_t stagesCount = 1;
  double stagesGain = 1, gain = 1;
  int32_t decimation = 1;
  int32_t continuous = 0, bypass = 0;
  CBfr out;
  CBfr* in = nullptr;
  CGui gui;

 private:
  // What a call has to tell once the lock is released.
  struct Notes {
    std::vector<std::pair<int, std::string>> lines;  // 0 warning, 1 error, 2 aborting error
    bool coeffsChanged = false;
  };

  std::mutex lock;
  CFilterChain chain;
  bool chainDirty = true;
  // An analog design waits for the input's sample interval: made at the next pass when
  // pending, or when the interval differs from the one designed for.
  bool designPending = false;
  double designedInterval = 0;

  CMDERR settingsLocked(GETPARCMD cmd, const char* name, VPARAM& v, Notes& notes);
  void computeLocked(Notes& notes);
  void redesign(Notes& notes, double interval);
  void firChanged(Notes& notes);
  void flush(Notes& notes);
  std::string separator() const;
};
