#include "ModFilter/Coeffs.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "KvDll/Str.h"

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';'; }

// The item as a log message quotes it: bounded in length, control bytes shown as '?'.
std::string quoted(std::string_view item) {
  constexpr size_t kShown = 32;
  std::string s = "\"";
  for (size_t i = 0; i < item.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(item[i]);
    s += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  if (item.size() > kShown) s += "...";
  return s + "\"";
}

// The factor of an engineering suffix (the set CStr::Str2Num knows, with the micro sign as
// Latin-1 or UTF-8 and 'u' for it), or 0 for text that is not one.
double suffixFactor(std::string_view s) {
  if (s == "\xC2\xB5") return 1e-6;
  if (s.size() != 1) return 0;
  switch (s[0]) {
    case 'Y': return 1e24;
    case 'Z': return 1e21;
    case 'E': return 1e18;
    case 'P': return 1e15;
    case 'T': return 1e12;
    case 'G': return 1e9;
    case 'M': return 1e6;
    case 'K':
    case 'k': return 1e3;
    case 'm': return 1e-3;
    case 'u':
    case '\xB5': return 1e-6;
    case 'n': return 1e-9;
    case 'p': return 1e-12;
    case 'f': return 1e-15;
    case 'a': return 1e-18;
    default: return 0;
  }
}

// One item; an empty reason means it was read into value.
std::string readItem(std::string_view item, double& value) {
  const char* first = item.data();
  const char* last = item.data() + item.size();
  // from_chars takes a '-' but not a '+'; one '+' before a digit or a '.' is allowed.
  if (first != last && *first == '+' && first + 1 != last && first[1] != '+' && first[1] != '-') ++first;
  const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return "is out of range";
  if (ec != std::errc()) return "is not a number";
  if (end != last) {
    const double f = suffixFactor(std::string_view(end, static_cast<size_t>(last - end)));
    if (f == 0) return "is not a number";
    // Read again as one decimal number, so "9.5n" is exactly 9.5e-9.
    value = CStr(std::string(item).c_str()).Str2Num();
  }
  if (!std::isfinite(value)) return "is not finite";
  return "";
}

}  // namespace

bool ParseCoeffs(std::string_view text, std::vector<double>& out, std::string& error, size_t maxCount) {
  std::vector<double> values;
  size_t at = 0;
  while (at < text.size()) {
    if (isSeparator(text[at])) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    const std::string_view item = text.substr(at, end - at);
    at = end;
    if (values.size() >= maxCount) {
      error = "More than " + std::to_string(maxCount) + " coefficients.";
      return false;
    }
    double v = 0;
    const std::string why = readItem(item, v);
    if (!why.empty()) {
      error = "Coefficient " + std::to_string(values.size() + 1) + " " + why + ": " + quoted(item);
      return false;
    }
    values.push_back(v);
  }
  if (values.empty()) {
    error = "The coefficient list is empty.";
    return false;
  }
  out = std::move(values);
  error.clear();
  return true;
}

std::string FormatCoeffs(const std::vector<double>& c, std::string_view separator) {
  std::string s;
  s.reserve(c.size() * 24);
  char buf[32];
  for (size_t i = 0; i < c.size(); ++i) {
    if (i) s += separator;
    const auto r = std::to_chars(buf, buf + sizeof buf, c[i]);
    s.append(buf, r.ptr);
  }
  return s;
}
