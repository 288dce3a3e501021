#include "shell/Report.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// ---------------------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------------------

// The four significant digits of x, correctly rounded, and the decimal exponent of the first.
void fourDigits(double x, std::string& digits, int& exponent) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3e", std::fabs(x));  // "d.ddde+XX"
  digits = {buf[0], buf[2], buf[3], buf[4]};
  exponent = std::atoi(buf + 6);
}

// digits with the decimal point after `lead` of them (lead may be <= 0 or beyond 4).
std::string placePoint(const std::string& digits, int lead) {
  if (lead <= 0) return "0." + std::string(static_cast<size_t>(-lead), '0') + digits;
  if (lead >= static_cast<int>(digits.size())) return digits + std::string(static_cast<size_t>(lead) - digits.size(), '0');
  return digits.substr(0, static_cast<size_t>(lead)) + "." + digits.substr(static_cast<size_t>(lead));
}

std::string special(double x) {
  if (std::isnan(x)) return "-";
  return x > 0 ? "inf" : "-inf";
}

// The shortest text that reads back to the same double.
std::string exact(double x) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

bool isFinite(double x) { return std::isfinite(x); }

// ---------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------

// Slew rates are shown in V/s whatever unit the measurement answers in.
void displayUnit(const std::string& unit, std::string& shown, double& factor) {
  shown = unit, factor = 1;
  if (unit == "V/ns") shown = "V/s", factor = 1e9;
  else if (unit == "V/us" || unit == "V/µs") shown = "V/s", factor = 1e6;
}

std::string cell(double x, const std::string& unit, double factor) {
  if (!isFinite(x)) return special(x);
  return unit == "%" ? ReportPlain(x * factor) : ReportNumber(x * factor);
}

std::string pad(const std::string& s, size_t width, bool right) {
  // Width in characters: "µ" is two bytes of UTF-8 but one column.
  size_t shown = 0;
  for (unsigned char c : s) shown += (c & 0xC0) != 0x80;
  if (shown >= width) return s;
  const std::string fill(width - shown, ' ');
  return right ? fill + s : s + fill;
}

std::string contextLine(const ReportChannel& c) {
  std::string t = "  " + c.channel + ": " + (c.source.empty() ? "not linked" : c.source);
  if (c.samples >= 0) {
    t += ", " + std::to_string(c.samples) + " samples";
    if (isFinite(c.interval)) t += " at " + ReportNumber(c.interval) + "s";
    if (isFinite(c.start)) t += " from " + ReportNumber(c.start) + "s";
  }
  t += "; mid " + ReportNumber(c.mid) + "V, hysteresis " + ReportNumber(c.hysteresis) + "V, low " +
       ReportNumber(c.low) + "V, high " + ReportNumber(c.high) + "V\n";
  return t;
}

std::string text(const std::vector<ReportComponent>& report) {
  std::string out;
  for (const ReportComponent& c : report) {
    out += c.name + " (Meas)\n";
    for (const ReportChannel& ch : c.channels) out += contextLine(ch);
    out += pad("measurement", 14, false) + " " + pad("unit", 5, false) + " " + pad("count", 8, true);
    for (const char* h : {"mean", "std-dev", "min", "max", "pk-pk"}) out += " " + pad(h, 10, true);
    out += "\n";
    bool few = false;
    for (const ReportRow& r : c.rows) {
      std::string unit;
      double factor = 1;
      displayUnit(r.unit, unit, factor);
      const bool some = r.count > 0;
      const bool mark = some && r.count < 3 && ReportIsJitter(r.measurement);
      few = few || mark;
      std::string count = std::to_string(r.count) + (mark ? "*" : " ");
      out += pad(r.measurement, 14, false) + " " + pad(unit, 5, false) + " " + pad(count, 9, true);
      const double nan = std::nan("");
      const double values[] = {some ? r.mean : nan, some ? r.stddev : nan, some ? r.min : nan, some ? r.max : nan,
                               some ? r.max - r.min : nan};
      for (int k = 0; k < 5; ++k) {
        // A spread is shown without the offset a percentage or a unit might carry.
        out += (k == 0 ? "" : " ") + pad(cell(values[k], r.unit, factor), 10, true);
      }
      out += "\n";
    }
    if (few) out += "  * fewer than 3 results: too few for a jitter figure\n";
    out += "\n";
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// CSV and JSON: the statistics as the engine answers them, to the last bit
// ---------------------------------------------------------------------------------------

std::string csvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char ch : s) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

std::string csvNumber(double x) { return isFinite(x) ? exact(x) : ""; }

std::string csv(const std::vector<ReportComponent>& report) {
  std::string out = "component,measurement,unit,count,mean,std-dev,min,max,pk-pk\n";
  for (const ReportComponent& c : report) {
    for (const ReportRow& r : c.rows) {
      const bool some = r.count > 0;
      out += csvField(c.name) + "," + csvField(r.measurement) + "," + csvField(r.unit) + "," + std::to_string(r.count);
      for (double x : {r.mean, r.stddev, r.min, r.max, r.max - r.min}) out += "," + (some ? csvNumber(x) : "");
      out += "\n";
    }
  }
  return out;
}

std::string jsonString(const std::string& s) {
  std::string q = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') q += '\\', q += static_cast<char>(ch);
    else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      q += buf;
    } else q += static_cast<char>(ch);
  }
  return q + "\"";
}

std::string jsonNumber(double x) { return isFinite(x) ? exact(x) : "null"; }

std::string json(const std::vector<ReportComponent>& report) {
  std::string channels, rows;
  for (const ReportComponent& c : report) {
    for (const ReportChannel& ch : c.channels) {
      channels += std::string(channels.empty() ? "\n    " : ",\n    ") + "{\"component\": " + jsonString(c.name) +
                  ", \"channel\": " + jsonString(ch.channel) + ", \"source\": " + jsonString(ch.source) +
                  ", \"samples\": " + (ch.samples >= 0 ? std::to_string(ch.samples) : "null") +
                  ", \"interval\": " + (ch.samples >= 0 ? jsonNumber(ch.interval) : "null") +
                  ", \"start\": " + (ch.samples >= 0 ? jsonNumber(ch.start) : "null") + ", \"mid\": " +
                  jsonNumber(ch.mid) + ", \"hysteresis\": " + jsonNumber(ch.hysteresis) + ", \"low\": " +
                  jsonNumber(ch.low) + ", \"high\": " + jsonNumber(ch.high) + "}";
    }
    for (const ReportRow& r : c.rows) {
      const bool some = r.count > 0;
      auto num = [&](double x) { return some ? jsonNumber(x) : std::string("null"); };
      rows += std::string(rows.empty() ? "\n    " : ",\n    ") + "{\"component\": " + jsonString(c.name) +
              ", \"measurement\": " + jsonString(r.measurement) + ", \"unit\": " + jsonString(r.unit) +
              ", \"count\": " + std::to_string(r.count) + ", \"mean\": " + num(r.mean) + ", \"std-dev\": " +
              num(r.stddev) + ", \"min\": " + num(r.min) + ", \"max\": " + num(r.max) + ", \"pk-pk\": " +
              num(r.max - r.min) + "}";
    }
  }
  return "{\n  \"channels\": [" + channels + (channels.empty() ? "" : "\n  ") + "],\n  \"measurements\": [" + rows +
         (rows.empty() ? "" : "\n  ") + "]\n}\n";
}

}  // namespace

std::string ReportNumber(double x) {
  if (!isFinite(x)) return special(x);
  if (x == 0) return "0";
  std::string digits;
  int e = 0;
  fourDigits(x, digits, e);
  const int group = e >= 0 ? e / 3 : -((2 - e) / 3);  // floor(e / 3)
  const std::string sign = x < 0 ? "-" : "";
  if (group < -5 || group > 4) return sign + digits.substr(0, 1) + "." + digits.substr(1) + "e" + (e < 0 ? "-" : "+") +
                                      (std::abs(e) < 10 ? "0" : "") + std::to_string(std::abs(e));
  static const char* const prefixes[] = {"f", "p", "n", "µ", "m", "", "k", "M", "G", "T"};
  return sign + placePoint(digits, e - group * 3 + 1) + prefixes[group + 5];
}

std::string ReportPlain(double x) {
  if (!isFinite(x)) return special(x);
  if (x == 0) return "0";
  std::string digits;
  int e = 0;
  fourDigits(x, digits, e);
  const std::string sign = x < 0 ? "-" : "";
  if (e < -5 || e > 8) return sign + digits.substr(0, 1) + "." + digits.substr(1) + "e" + (e < 0 ? "-" : "+") +
                              (std::abs(e) < 10 ? "0" : "") + std::to_string(std::abs(e));
  return sign + placePoint(digits, e + 1);
}

bool ReportIsJitter(const std::string& m) {
  const bool cycleToCycle = m.size() >= 2 && m.compare(m.size() - 2, 2, "CC") == 0;
  return cycleToCycle || m.find("TIE") != std::string::npos || m.find("JNC") != std::string::npos;
}

std::string ReportWrite(const std::vector<ReportComponent>& report, ReportFormat format) {
  switch (format) {
    case ReportFormat::csv: return csv(report);
    case ReportFormat::json: return json(report);
    default: return text(report);
  }
}
