#pragma once
// CFilterChain: the numeric part of the filter. Identical stages in cascade, each with its
// own state: FIR in direct form, or IIR in transposed direct form II. Each stage's output is
// multiplied by the stage gain, the chain's by the overall gain; then every N-th sample is
// kept. State (delay lines and the decimation phase) survives from one Process call to the
// next until Reset, so consecutive records filter exactly (bit for bit) as one long record.
// Records are worked through in blocks, so the working memory does not grow with their length.
// Not synchronised: one thread at a time.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class SampleType { F64, F32, I16 };

struct ChainInput {
  const void* data = nullptr;
  SampleType type = SampleType::F64;
  long count = 0;
  double scale = 1;  // physical = raw * scale + offset
  double offset = 0;
};

class CFilterChain {
 public:
  // Most state values (stages times delay-line length) a chain may hold: 512 MB.
  static constexpr long kMaxState = 64L * 1024 * 1024;

  // A new filter: numerator b and, for an IIR, denominator a (a[0] != 0; both are divided by
  // it). An empty a is an FIR. The state is made anew by the next Prepare.
  void Configure(const std::vector<double>& b, const std::vector<double>& a, int32_t stages);
  void SetGains(double stageGain, double gain) { stageGain_ = stageGain, gain_ = gain; }
  // N >= 1; the phase carries on.
  void SetDecimation(int32_t n) { decimation_ = n < 1 ? 1 : n; }

  // Sizes the state after Configure (a filter at rest). False, with the reason, when the
  // state would exceed kMaxState or memory runs out.
  bool Prepare(std::string& error);
  // Back to rest: delay lines cleared, the next sample kept is the next one in.
  void Reset();

  // The number of samples Process writes for a record of n samples.
  long OutputCount(long n) const;
  // Filters the record into out (OutputCount(in.count) samples). Checks abort, when given,
  // between blocks; false when it was raised (the state is then part-way through the record).
  // Call Prepare first.
  bool Process(const ChainInput& in, double* out, const std::atomic<uint8_t>* abort = nullptr);

  bool IsFir() const { return a_.empty(); }

  // n samples of the input from sample first on, as physical values, into dst.
  static void Load(const ChainInput& in, long first, long n, double* dst);
  long Order() const { return order_; }

 private:
  static constexpr long kBlock = 2048;

  std::vector<double> b_, a_;  // normalised; for an IIR both padded to order_ + 1
  long order_ = 0;             // delay-line length of one stage
  int32_t stages_ = 1;
  double stageGain_ = 1, gain_ = 1;
  int32_t decimation_ = 1;
  long skip_ = 0;  // samples to drop before the next one kept
  bool prepared_ = false;
  std::vector<double> state_;     // stages_ * order_ values
  std::vector<double> work_[2];   // order_ + kBlock each (FIR), or kBlock (IIR)

  void firStage(double* history, double* ext, double* dst, long n) const;
  void iirStage(double* z, double* x, long n) const;
};
