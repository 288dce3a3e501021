#include "desktop/ShowRequest.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

std::string trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::optional<double> number(const std::string& text) {
  const std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

ShowRequest ParseShowRequest(const std::string& text) {
  ShowRequest r;
  const size_t c1 = text.find(',');
  const std::string name = trimmed(text.substr(0, c1));
  if (c1 != std::string::npos) {
    const size_t c2 = text.find(',', c1 + 1);
    r.left = number(text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1));
    if (c2 != std::string::npos) r.top = number(text.substr(c2 + 1, text.find(',', c2 + 1) - c2 - 1));
  }
  const size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= name.size()) return ShowRequest{};
  r.comp = name.substr(0, dot);
  r.panel = name.substr(dot + 1);
  return r;
}

std::string DragPayload(long id) { return "drag.ctl.id=" + std::to_string(id) + ";"; }

long ParseDragPayload(const std::string& text) {
  // Exactly one "=", the name before it, a ";" after it, and a whole number before that.
  const size_t eq = text.find('=');
  if (eq == std::string::npos || text.find('=', eq + 1) != std::string::npos) return -1;
  if (text.compare(0, eq, "drag.ctl.id") != 0 || eq != 11) return -1;
  const size_t semi = text.find(';', eq + 1);
  if (semi == std::string::npos) return -1;
  const std::string digits = text.substr(eq + 1, semi - eq - 1);
  if (digits.empty() || digits.size() > 9) return -1;
  for (char ch : digits)
    if (ch < '0' || ch > '9') return -1;
  return std::strtol(digits.c_str(), nullptr, 10);
}
