// Arbitrary bytes as a coefficient list: no crash, no hang, no read outside the text; a list
// that is accepted reads back the same from its written form, and filters a short record
// (as an FIR, and as the denominator of an IIR when its first value allows) without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ModFilter/Chain.h"
#include "ModFilter/Coeffs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<double> c;
  std::string error;
  if (!ParseCoeffs(text, c, error, 4096)) {
    if (error.empty() || !c.empty()) std::abort();  // a refusal says why and yields nothing
    return 0;
  }
  std::vector<double> back;
  if (!ParseCoeffs(FormatCoeffs(c, ";"), back, error, 4096) || back.size() != c.size()) std::abort();
  for (size_t i = 0; i < c.size(); ++i)
    if (back[i] != c[i]) std::abort();
  if (c.size() > 64) return 0;

  std::vector<double> x(300), y(300);
  for (size_t i = 0; i < x.size(); ++i) x[i] = (i % 7) - 3.0;
  const ChainInput in{x.data(), SampleType::F64, static_cast<long>(x.size()), 1, 0};
  CFilterChain chain;
  std::string why;
  for (int iir = 0; iir < 2; ++iir) {
    if (iir && c[0] == 0) break;
    chain.Configure(iir ? std::vector<double>{0.5, 0.25} : c, iir ? c : std::vector<double>{}, 2);
    chain.SetDecimation(static_cast<int32_t>(size % 5) + 1);
    if (!chain.Prepare(why)) std::abort();
    const long n = chain.OutputCount(in.count);
    if (n < 0 || n > in.count || !chain.Process(in, y.data())) std::abort();
  }
  return 0;
}
