#include "ModFilter/Design.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char* const kResponses[] = {"lowpass", "highpass", "bandpass", "bandstop"};
const char* const kWindows[] = {"rectangular", "hann", "hamming", "blackman", "kaiser"};

// The ideal lowpass at cutoff fc, t samples from the centre.
double idealLowpass(double fc, double t) {
  if (t == 0) return 2 * fc;
  const double x = 2 * M_PI * fc * t;
  return std::sin(x) / (M_PI * t);
}

double besselI0(double x) {
  // Power series; converges for any x, and beta is bounded so it cannot overflow.
  double sum = 1, term = 1;
  const double q = x * x / 4;
  for (int k = 1; k < 1000; ++k) {
    term *= q / (static_cast<double>(k) * k);
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// Window value at tap n of a symmetric window of `taps` taps (taps >= 2).
double windowAt(FirWindow w, long n, long taps, double beta) {
  const double x = static_cast<double>(n) / static_cast<double>(taps - 1);  // 0 ... 1
  switch (w) {
    case FirWindow::Rectangular: return 1;
    case FirWindow::Hann: return 0.5 - 0.5 * std::cos(2 * M_PI * x);
    case FirWindow::Hamming: return 0.54 - 0.46 * std::cos(2 * M_PI * x);
    case FirWindow::Blackman: return 0.42 - 0.5 * std::cos(2 * M_PI * x) + 0.08 * std::cos(4 * M_PI * x);
    case FirWindow::Kaiser: {
      const double r = 2 * x - 1;
      return besselI0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / besselI0(beta);
    }
  }
  return 1;
}

std::string num(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", x);
  return b;
}

bool inBand(double f) { return std::isfinite(f) && f > 0 && f < 0.5; }

}  // namespace

bool FirResponseOf(const char* name, FirResponse& r) {
  for (int i = 0; i < 4; ++i)
    if (name && strcasecmp(name, kResponses[i]) == 0) return r = static_cast<FirResponse>(i), true;
  return false;
}

bool FirWindowOf(const char* name, FirWindow& w) {
  for (int i = 0; i < 5; ++i)
    if (name && strcasecmp(name, kWindows[i]) == 0) return w = static_cast<FirWindow>(i), true;
  return false;
}

const char* FirResponseName(FirResponse r) { return kResponses[static_cast<int>(r)]; }
const char* FirWindowName(FirWindow w) { return kWindows[static_cast<int>(w)]; }
bool FirIsBand(FirResponse r) { return r == FirResponse::Bandpass || r == FirResponse::Bandstop; }

FirDesign DesignFir(const FirSpec& s) {
  FirDesign d;
  const bool band = FirIsBand(s.response);
  if (s.order < 1 || s.order > kMaxFirOrder) {
    d.error = "Filter order " + std::to_string(s.order) + " is outside 1 to " + std::to_string(kMaxFirOrder) + ".";
    return d;
  }
  if (!inBand(s.freq1) || (band && !inBand(s.freq2))) {
    const double bad = inBand(s.freq1) ? s.freq2 : s.freq1;
    d.error = "Band edge " + num(bad) + " is outside 0 to 0.5 of the sample rate.";
    return d;
  }
  if (band && s.freq1 >= s.freq2) {
    d.error = std::string("The lower band edge (") + num(s.freq1) + ") must be below the upper (" + num(s.freq2) +
              ") for a " + FirResponseName(s.response) + ".";
    return d;
  }
  if (s.window == FirWindow::Kaiser && !(s.beta >= 0 && s.beta <= kMaxKaiserBeta)) {
    d.error = "Kaiser beta " + num(s.beta) + " is outside 0 to " + num(kMaxKaiserBeta) + ".";
    return d;
  }
  long order = s.order;
  // A highpass or bandstop must pass Nyquist, which an even number of taps cannot.
  if ((s.response == FirResponse::Highpass || s.response == FirResponse::Bandstop) && order % 2) {
    d.warning = "Order " + std::to_string(order) + " is odd; a " + FirResponseName(s.response) +
                " needs an even order: designed with order " + std::to_string(order + 1) + ".";
    ++order;
  }
  const long taps = order + 1;
  const double centre = order / 2.0;
  std::vector<double> h(static_cast<size_t>(taps));
  // The first half only, mirrored: exact symmetry whatever the rounding of sin and cos.
  for (long n = 0; n <= order / 2; ++n) {
    const double t = n - centre;
    double ideal = 0;
    switch (s.response) {
      case FirResponse::Lowpass: ideal = idealLowpass(s.freq1, t); break;
      case FirResponse::Highpass: ideal = (t == 0 ? 1 : 0) - idealLowpass(s.freq1, t); break;
      case FirResponse::Bandpass: ideal = idealLowpass(s.freq2, t) - idealLowpass(s.freq1, t); break;
      case FirResponse::Bandstop: ideal = (t == 0 ? 1 : 0) - idealLowpass(s.freq2, t) + idealLowpass(s.freq1, t); break;
    }
    h[static_cast<size_t>(n)] = h[static_cast<size_t>(order - n)] = ideal * windowAt(s.window, n, taps, s.beta);
  }
  // Unit gain where the response passes; the taps are symmetric, so the response there is
  // the real sum of the taps times cos(2 pi f (n - centre)).
  const double f = s.response == FirResponse::Highpass   ? 0.5
                   : s.response == FirResponse::Bandpass ? (s.freq1 + s.freq2) / 2
                                                         : 0.0;
  double gain = 0;
  for (long n = 0; n < taps; ++n) gain += h[static_cast<size_t>(n)] * (f == 0 ? 1 : std::cos(2 * M_PI * f * (n - centre)));
  if (!std::isfinite(gain) || std::fabs(gain) < 1e-12) {
    d.error = "The design has no gain in its passband; raise the order or widen the band.";
    d.warning.clear();
    return d;
  }
  for (double& x : h) x /= gain;
  d.taps = std::move(h);
  return d;
}
