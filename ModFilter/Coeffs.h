#pragma once
// Coefficient lists as text: the parser behind "coeffs" and "y.coeffs", and the writer of a
// designed list. Pasted lists come from spreadsheets, other tools and hand editing, so any run
// of tabs, spaces, line breaks, commas or semicolons separates two numbers. Numbers are read
// the same way in every locale (a '.' is always the decimal point) and may end in one of the
// project's engineering suffixes (1.5m = 0.0015, 2K = 2000). No dependency on the component,
// so the parser can be fuzzed alone.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Lists longer than this are refused: the direct-form filter would be unusably slow anyway.
inline constexpr size_t kMaxCoeffs = 1000000;

// Reads the list in text into out. On failure out is left as it was and error names the
// first bad item and its position (1-based), e.g. Coefficient 3 is not a number: "abc".
// Empty lists, non-finite values and lists longer than maxCount are refused.
bool ParseCoeffs(std::string_view text, std::vector<double>& out, std::string& error,
                 size_t maxCount = kMaxCoeffs);

// The list as text, items joined by separator, each written with the fewest digits that read
// back to the same double.
std::string FormatCoeffs(const std::vector<double>& c, std::string_view separator);
