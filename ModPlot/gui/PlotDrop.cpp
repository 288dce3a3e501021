#include "ModPlot/gui/PlotDrop.h"

#include <strings.h>

namespace KvPlotDrop {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool same(std::string_view a, const char* b) {
  const std::string_view bv(b);
  return a.size() == bv.size() && strncasecmp(a.data(), bv.data(), a.size()) == 0;
}

bool startsWith(std::string_view s, const char* prefix) {
  const std::string_view p(prefix);
  return s.size() >= p.size() && strncasecmp(s.data(), p.data(), p.size()) == 0;
}

// A plain whole number from 1 to 1000000, else 0.
int32_t position(std::string_view token) {
  if (token.empty() || token.size() > 7) return 0;
  int32_t n = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= 1000000 ? n : 0;
}

}  // namespace

std::vector<Assignment> ParseSettings(std::string_view text) {
  std::vector<Assignment> out;
  size_t start = 0;
  for (size_t end; (end = text.find(';', start)) != std::string_view::npos; start = end + 1) {
    const std::string_view item = text.substr(start, end - start);
    const size_t eq = item.find('=');
    // Exactly two parts: one "=" and no second one.
    if (eq == std::string_view::npos || item.find('=', eq + 1) != std::string_view::npos) break;
    const std::string_view name = trimmed(item.substr(0, eq));
    const std::string_view value = trimmed(item.substr(eq + 1));
    if (same(name, "HorOff"))
      out.push_back({"main.hoffset", std::string(value)});
    else if (same(name, "HorSpan1"))
      out.push_back({"main.hscale", std::string(value)});
  }
  return out;
}

std::optional<Measurements> ParseMeasurements(std::string_view text) {
  if (!startsWith(text, "SRC:MEAS;")) return std::nullopt;
  Measurements m;
  std::string_view rest = text.substr(9);
  while (!rest.empty()) {
    const size_t semi = rest.find(';');
    const std::string_view item = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    if (startsWith(item, "COMP:")) {
      m.comp = std::string(trimmed(item.substr(5)));
    } else if (startsWith(item, "TYPE:")) {
      std::string_view list = item.substr(5);
      while (!list.empty()) {
        size_t i = 0;
        while (i < list.size() && !blank(list[i])) ++i;
        if (const int32_t n = position(list.substr(0, i))) m.positions.push_back(n);
        while (i < list.size() && blank(list[i])) ++i;
        list.remove_prefix(i);
      }
    }
  }
  return m;
}

}  // namespace KvPlotDrop
