#include "ModFilter/Chain.h"

#include <algorithm>
#include <cstring>
#include <new>

void CFilterChain::Configure(const std::vector<double>& b, const std::vector<double>& a, int32_t stages) {
  stages_ = std::max<int32_t>(stages, 1);
  prepared_ = false;
  if (a.empty()) {
    b_ = b.empty() ? std::vector<double>{1.0} : b;
    a_.clear();
    order_ = static_cast<long>(b_.size()) - 1;
    return;
  }
  const double a0 = a[0] != 0 ? a[0] : 1.0;  // the component refuses a0 = 0 before it gets here
  order_ = static_cast<long>(std::max(b.size(), a.size())) - 1;
  b_.assign(static_cast<size_t>(order_) + 1, 0.0);
  a_.assign(static_cast<size_t>(order_) + 1, 0.0);
  for (size_t i = 0; i < b.size(); ++i) b_[i] = b[i] / a0;
  for (size_t i = 0; i < a.size(); ++i) a_[i] = a[i] / a0;
}

bool CFilterChain::Prepare(std::string& error) {
  if (prepared_) return true;
  const long need = static_cast<long>(stages_) * order_;
  if (need > kMaxState) {
    error = "The filter state (" + std::to_string(stages_) + " stages of " + std::to_string(order_) +
            " values) is larger than " + std::to_string(kMaxState) + " values.";
    return false;
  }
  try {
    std::vector<double>().swap(state_);  // no peak of old and new together
    state_.assign(static_cast<size_t>(need), 0.0);
    work_[0].assign(static_cast<size_t>((IsFir() ? order_ : 0) + kBlock), 0.0);
    if (IsFir())
      work_[1].assign(work_[0].size(), 0.0);
    else
      std::vector<double>().swap(work_[1]);
  } catch (const std::bad_alloc&) {
    state_.clear();
    error = "Insufficient memory for the filter state.";
    return false;
  }
  skip_ = 0;
  prepared_ = true;
  return true;
}

void CFilterChain::Reset() {
  std::fill(state_.begin(), state_.end(), 0.0);
  skip_ = 0;
}

long CFilterChain::OutputCount(long n) const { return skip_ >= n ? 0 : (n - 1 - skip_) / decimation_ + 1; }

void CFilterChain::Load(const ChainInput& in, long first, long n, double* dst) {
  const double s = in.scale, o = in.offset;
  switch (in.type) {
    case SampleType::F64: {
      const double* x = static_cast<const double*>(in.data) + first;
      if (s == 1 && o == 0)
        std::memcpy(dst, x, static_cast<size_t>(n) * sizeof(double));
      else
        for (long j = 0; j < n; ++j) dst[j] = x[j] * s + o;
      break;
    }
    case SampleType::F32: {
      const float* x = static_cast<const float*>(in.data) + first;
      for (long j = 0; j < n; ++j) dst[j] = static_cast<double>(x[j]) * s + o;
      break;
    }
    case SampleType::I16: {
      const int16_t* x = static_cast<const int16_t*>(in.data) + first;
      for (long j = 0; j < n; ++j) dst[j] = static_cast<double>(x[j]) * s + o;
      break;
    }
  }
}

// ext holds the stage's history (order_ samples) followed by n new samples.
void CFilterChain::firStage(double* history, double* ext, double* __restrict dst, long n) const {
  const long h = order_;
  std::copy(history, history + h, ext);
  const double* x = ext + h;
  const double* b = b_.data();
  // Tap by tap over the block: the inner loop is a plain multiply-add along the block, and
  // every output sample still sums its products in the same order.
  for (long j = 0; j < n; ++j) dst[j] = b[0] * x[j];
  for (long k = 1; k <= h; ++k) {
    const double bk = b[k];
    const double* __restrict xk = x - k;
    for (long j = 0; j < n; ++j) dst[j] += bk * xk[j];
  }
  if (stageGain_ != 1)
    for (long j = 0; j < n; ++j) dst[j] *= stageGain_;
  std::copy(ext + n, ext + n + h, history);
}

void CFilterChain::iirStage(double* z, double* x, long n) const {
  const long m = order_;
  const double* b = b_.data();
  const double* a = a_.data();
  const double g = stageGain_;
  if (m == 1) {  // the common low orders keep their state in registers
    double z0 = z[0];
    for (long j = 0; j < n; ++j) {
      const double xin = x[j], y = b[0] * xin + z0;
      z0 = b[1] * xin - a[1] * y;
      x[j] = y * g;
    }
    z[0] = z0;
  } else if (m == 2) {
    double z0 = z[0], z1 = z[1];
    for (long j = 0; j < n; ++j) {
      const double xin = x[j], y = b[0] * xin + z0;
      z0 = b[1] * xin - a[1] * y + z1;
      z1 = b[2] * xin - a[2] * y;
      x[j] = y * g;
    }
    z[0] = z0, z[1] = z1;
  } else if (m == 0) {
    for (long j = 0; j < n; ++j) x[j] = b[0] * x[j] * g;
  } else {
    for (long j = 0; j < n; ++j) {
      const double xin = x[j], y = b[0] * xin + z[0];
      for (long k = 0; k + 1 < m; ++k) z[k] = b[k + 1] * xin - a[k + 1] * y + z[k + 1];
      z[m - 1] = b[m] * xin - a[m] * y;
      x[j] = y * g;
    }
  }
}

bool CFilterChain::Process(const ChainInput& in, double* out, const std::atomic<uint8_t>* abort) {
  if (!prepared_) return false;
  const long h = IsFir() ? order_ : 0;
  long k = 0;
  for (long first = 0; first < in.count; first += kBlock) {
    const long n = std::min(kBlock, in.count - first);
    int cur = 0;
    Load(in, first, n, work_[0].data() + h);
    for (int32_t s = 0; s < stages_; ++s) {
      if (abort && abort->load(std::memory_order_relaxed)) return false;
      double* state = state_.data() + static_cast<long>(s) * order_;
      if (IsFir()) {
        firStage(state, work_[cur].data(), work_[1 - cur].data() + h, n);
        cur = 1 - cur;
      } else {
        iirStage(state, work_[0].data(), n);
      }
    }
    const double* r = work_[cur].data() + h;
    long j = skip_;
    if (gain_ == 1)
      for (; j < n; j += decimation_) out[k++] = r[j];
    else
      for (; j < n; j += decimation_) out[k++] = r[j] * gain_;
    skip_ = j - n;
  }
  return true;
}
