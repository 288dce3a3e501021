// Any text through the number reader: the checked and the plain reading agree, a text
// without a number reads 0, and numbers the program writes (state listing and engineering
// texts) or that carry a prefix read exactly as the C library reads the same decimal text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KvDll/Str.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CStr text(const_cast<uint8_t*>(data), static_cast<long>(size));
  double checked = 1;
  const bool found = text.Str2Num(checked);
  if (!sameBits(checked, text.Str2Num())) __builtin_trap();
  if (!found && checked != 0) __builtin_trap();

  if (size < 9) return 0;
  double x;
  std::memcpy(&x, data, sizeof x);
  if (!std::isfinite(x)) return 0;

  // The state listing's text of x reads as strtod reads it.
  const CStr listed(x);
  if (!sameBits(listed.Str2Num(), std::strtod(listed.GetBfr(), nullptr))) __builtin_trap();

  // x with a prefix letter and a unit: exactly the decimal text with the exponent moved.
  static const char* const prefixes[] = {"Y", "Z", "E", "P", "T", "G", "M", "K", "k", "",
                                         "m", "u", "\xC2\xB5", "n", "p", "f", "a"};
  static const int shifts[] = {24, 21, 18, 15, 12, 9, 6, 3, 3, 0, -3, -6, -6, -9, -12, -15, -18};
  const unsigned pick = data[8] % 17;
  char mantissa[64];
  std::snprintf(mantissa, sizeof mantissa, "%.17e", x);
  char* e = std::strchr(mantissa, 'e');
  const long exponent = std::strtol(e + 1, nullptr, 10);
  *e = 0;
  const std::string typed = std::string(mantissa) + "e" + std::to_string(exponent) + prefixes[pick] + "Hz";
  const std::string plain = std::string(mantissa) + "e" + std::to_string(exponent + shifts[pick]);
  if (!sameBits(CStr(typed.c_str()).Str2Num(), std::strtod(plain.c_str(), nullptr))) __builtin_trap();

  // Engineering text: within the digits it keeps (at most about ten survive).
  const long digits = 1 + data[8] % 14;
  CStr engineering;
  engineering.Num2Str(x, digits);
  const double back = engineering.Str2Num();
  const double kept = static_cast<double>(digits < 10 ? digits : 10);
  if (std::fabs(x) >= 1e-18 && std::fabs(x) < 1e27 && !(std::fabs(back - x) <= std::fabs(x) * 1.5 * std::pow(10.0, 1 - kept)))
    __builtin_trap();
  return 0;
}
