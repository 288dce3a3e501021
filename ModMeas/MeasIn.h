#pragma once
// CMeasIn: a measurement component of the module Meas. Its kind (the library variant) picks
// the rows of the measurement table it carries; it holds the clock, data and control channels,
// the measurements, the two panels and the analysed sample range, and answers the engine's
// requests and messages.

#include <memory>
#include <vector>

#include "KvDll/Gui.h"
#include "ModMeas/Channel.h"
#include "ModMeas/Main.h"

class CMeasIn final : public CLocalData {
 public:
  explicit CMeasIn(const KvCreateBlock& block);
  // Whether a kind names something this module offers: "" or "all", "ck", "dt", "chch", or a
  // measurement. Another name makes no component: taking it for "all" would answer a typing
  // error with success.
  static bool KnownKind(const char* kind);
  ~CMeasIn() override;

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override;
  CMDERR FunInfo(const char* name, VPARAMS& a) override;

  // Evaluates every measurement that is on.
  void RunAll();
  CMeasurement* Find(const char* name) const;
  int32_t FirstRow() const { return first; }
  int32_t LastRow() const { return last; }
  bool ClockUsed() const { return clockUsed; }
  bool DataUsed() const { return dataUsed; }
  CStr SettingsText() const;
  CStr SymbolText() const;

  int32_t start = -1, stop = -1;
  CStatus status;
  CChannel ck, dt, ctl;
  CGui igui, ogui;
  double unitInterval = 0;  // the data unit-interval estimate of this acquisition

 private:
  int32_t first = 0, last = kMeasCount - 1;
  bool clockUsed = true, dataUsed = true;
  MeasContext ctx;
  std::vector<std::unique_ptr<CMeasurement>> meas;  // the rows first .. last
  // Pass bookkeeping for measurements nobody links: the pass number (counted at each
  // acquisition start), the inputs announced ready in it (1 ck, 2 dt, 4 ctl) and the pass
  // in which each measurement was last evaluated.
  long pass = 0;
  unsigned arrived = 0;
  std::vector<long> evaluatedIn;

  unsigned needs(const CMeasurement& x) const;
  void EvaluateUnlinked();

  CMDERR measSetting(CMeasurement& m, const char* key, GETPARCMD cmd, VPARAM& v);
};
