#pragma once
// The batch report of kvsh: what each measurement component measured, with the context a
// reader needs to trust it (where the samples came from, how many, how far apart, and the
// levels each channel used), as a table for people or as CSV or JSON for programs.

#include <cstdint>
#include <string>
#include <vector>

struct ReportChannel {
  std::string channel;  // "ck", "dt", "ctl"
  std::string source;   // the producer's port, with the file and column when it reads one
  int64_t samples = -1;  // -1: not known
  double interval = 0, start = 0;  // valid with samples >= 0
  double mid = 0, hysteresis = 0, low = 0, high = 0;
};

struct ReportRow {
  std::string measurement, unit;
  int64_t count = 0;
  double mean = 0, stddev = 0, min = 0, max = 0;  // NaN where a statistic has no result
};

struct ReportComponent {
  std::string name;
  std::vector<ReportChannel> channels;
  std::vector<ReportRow> rows;
};

enum class ReportFormat { text, csv, json };

// Four significant digits with an SI prefix from f to T ("500.0µ", "1.000M", "0", "-" for
// NaN); beyond the prefixes, four digits in exponent form.
std::string ReportNumber(double x);
// Four significant digits without a prefix, for percentages ("49.97", "0.02494").
std::string ReportPlain(double x);
// True for measurements whose spread is a jitter figure (it needs at least 3 results).
bool ReportIsJitter(const std::string& measurement);

class IApp;
// What every measurement component of the engine measured in its last pass, with the
// context of each linked channel.
std::vector<ReportComponent> ReportCollect(IApp* app);

std::string ReportWrite(const std::vector<ReportComponent>& report, ReportFormat format);
