#pragma once
// Windowed-sinc FIR design: lowpass, highpass, bandpass and bandstop responses under five
// windows. Band edges are fractions of the sample rate (0 to 0.5). The taps are exactly
// symmetric (linear phase) and scaled to unit gain where the response passes: DC for
// lowpass and bandstop, Nyquist for highpass, the band centre for bandpass.

#include <cstdint>
#include <string>
#include <vector>

enum class FirResponse { Lowpass, Highpass, Bandpass, Bandstop };
enum class FirWindow { Rectangular, Hann, Hamming, Blackman, Kaiser };

inline constexpr const char* kFirResponseNames = "lowpass,highpass,bandpass,bandstop";
inline constexpr const char* kFirWindowNames = "rectangular,hann,hamming,blackman,kaiser";

struct FirSpec {
  FirResponse response = FirResponse::Lowpass;
  FirWindow window = FirWindow::Hamming;
  int32_t order = 32;  // taps = order + 1
  double freq1 = 0.1;  // the cutoff, or the lower band edge
  double freq2 = 0.2;  // the upper band edge (bandpass, bandstop)
  double beta = 6;     // Kaiser window shape
};

struct FirDesign {
  std::vector<double> taps;  // empty when error is set
  std::string error;
  std::string warning;  // set when the order had to be raised
};

// Highest order accepted: the taps stay within the coefficient cap when an odd order of a
// highpass or bandstop is raised by one.
inline constexpr int32_t kMaxFirOrder = 999998;
inline constexpr double kMaxKaiserBeta = 100;

FirDesign DesignFir(const FirSpec& spec);

// Names as the settings take them, matched ignoring case.
bool FirResponseOf(const char* name, FirResponse& r);
bool FirWindowOf(const char* name, FirWindow& w);
const char* FirResponseName(FirResponse r);
const char* FirWindowName(FirWindow w);
bool FirIsBand(FirResponse r);  // uses both band edges
