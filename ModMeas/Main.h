#pragma once
// The 28 measurements of a measurement component: the fixed table, and CMeasurement, which
// evaluates one row on the component's channels and writes every accepted value with the two
// edge times that define it into its output (a buffer of values, start and end times).
// Values are kept in raw edge units (samples, or their inverse); the output's scale turns
// them into the measurement's unit.

#include <cstdint>
#include <vector>

#include "ModMeas/Channel.h"

class MeasEvaluation;

struct MeasRow {
  const char* name;
  const char* label;
  const char* unit;
  int32_t group;
  int32_t mask;  // edge lists needed: 0x2/0x4/0x8 clock kinds 3/5/6, 0x20/0x40/0x80 data, 0x10 data used
  // The family of measurements the row belongs to, and which one of the family it is
  // (the family's own flags); false when nothing could be measured.
  bool (*measure)(MeasEvaluation& e);
  int32_t variant;
};

enum MeasIndex : int32_t {
  mCkPeriod, mCkFreq, mCkPWidth, mCkNWidth, mCkPDuty, mCkNDuty, mCkTIE, mCkJCC, mCkJNC, mCkPWdCC, mCkNWdCC,
  mCkPDutyCC, mCkNDutyCC, mCkRiseTime, mCkFallTime, mCkRiseRate, mCkFallRate, mDtPeriod, mDtFreq, mDtTIE,
  mDtRiseTime, mDtFallTime, mDtRiseRate, mDtFallRate, mSetupTime, mHoldTime, mChSkew, mXLevel, kMeasCount
};

extern const MeasRow kMeasTable[kMeasCount];

// What a measurement needs of its component.
struct MeasContext {
  CLocalData& owner;
  CStatus& status;
  CChannel& clock;
  CChannel& data;
  CChannel& control;
  double& unitInterval;  // the data unit-interval estimate shared in one acquisition; <= 0: none
};

class CMeasurement {
 public:
  CBfr output;
  int32_t index;
  double maxlmt;
  double minlmt;
  int32_t on = 1;
  int32_t jncStart = 1, jncN = 6;      // CkJNC
  int32_t freqAuto = 1;                // DtPeriod, DtFreq, DtTIE
  double freq = 1e9;

  CMeasurement(MeasContext& ctx, int32_t index);
  CMeasurement(const CMeasurement&) = delete;
  CMeasurement& operator=(const CMeasurement&) = delete;

  const MeasRow& row() const { return kMeasTable[index]; }
  // Evaluates the measurement when it is on; the output then holds this run's results.
  void Evaluate();

 private:
  friend class MeasEvaluation;
  MeasContext& c;
  // Kept from one evaluation to the next, so that an evaluation does not allocate.
  struct Window {
    double start, end;
  };
  std::vector<Window> windows;
  std::vector<double> selected[2];  // selected edges, when they are not the list itself
  std::vector<double> work;         // gaps, unit-interval numbers
  std::vector<long> used;
};
