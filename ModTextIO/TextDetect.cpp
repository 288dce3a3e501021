#include "ModTextIO/TextDetect.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxLines = 400;
constexpr size_t kMaxFields = 4096;

struct Line {
  const char* b;
  const char* e;
};

std::vector<Line> splitLines(const char* text, size_t size, bool complete) {
  std::vector<Line> lines;
  const char* p = text;
  const char* end = text + size;
  if (size >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  while (p < end && lines.size() < kMaxLines) {
    const char* q = p;
    while (q < end && *q != '\n' && *q != '\r') ++q;
    if (q == end && !complete) break;  // cut by the end of the piece
    lines.push_back({p, q});
    if (q < end && *q == '\r' && q + 1 < end && q[1] == '\n') ++q;
    p = q + 1;
  }
  return lines;
}

std::string trimmed(const char* b, const char* e) {
  while (b < e && (*b == ' ' || *b == '\t')) ++b;
  while (e > b && (e[-1] == ' ' || e[-1] == '\t')) --e;
  if (e - b >= 2 && *b == '"' && e[-1] == '"') ++b, --e;
  return std::string(b, e);
}

// Fields as the parser splits them (blank: runs of blanks and tabs).
std::vector<std::string> fieldsOf(const Line& l, char sep) {
  std::vector<std::string> f;
  if (sep == ' ') {
    const char* p = l.b;
    while (p < l.e && f.size() < kMaxFields) {
      while (p < l.e && (*p == ' ' || *p == '\t')) ++p;
      if (p == l.e) break;
      const char* s = p;
      while (p < l.e && *p != ' ' && *p != '\t') ++p;
      f.push_back(trimmed(s, p));
    }
    return f;
  }
  const char* p = l.b;
  for (;;) {
    const char* s = p;
    while (p < l.e && *p != sep) ++p;
    f.push_back(trimmed(s, p));
    if (p == l.e || f.size() >= kMaxFields) break;
    ++p;
  }
  return f;
}

bool number(const std::string& s, bool decimalComma, double& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b < e && *b == '+') ++b;
  if (b == e) return false;
  auto r = std::from_chars(b, e, v);
  if (r.ec == std::errc() && r.ptr == e) return true;
  if (!decimalComma || s.find(',') == std::string::npos || s.size() > 64) return false;
  std::string t(b, e);
  for (char& c : t)
    if (c == ',') c = '.';
  r = std::from_chars(t.data(), t.data() + t.size(), v);
  return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool blank(const Line& l) {
  for (const char* p = l.b; p < l.e; ++p)
    if (*p != ' ' && *p != '\t') return false;
  return true;
}

// What one separator makes of the lines: the block of data lines at the end and its columns.
struct Candidate {
  char sep = ',';
  long first = -1;              // index of the first data line
  std::vector<size_t> numeric;  // the numeric columns of the data lines
  long score = -1;
};

Candidate tryColumns(const std::vector<Line>& lines, char sep) {
  Candidate c;
  c.sep = sep;
  const bool comma = sep != ',';
  long last = static_cast<long>(lines.size()) - 1;
  while (last >= 0 && blank(lines[static_cast<size_t>(last)])) --last;
  if (last < 0) return c;
  // The last line sets the numeric columns; the block runs up while a line has them all.
  const std::vector<std::string> ref = fieldsOf(lines[static_cast<size_t>(last)], sep);
  long text = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    double v;
    if (number(ref[i], comma, v)) c.numeric.push_back(i);
    else if (!ref[i].empty()) ++text;
  }
  if (c.numeric.empty()) return c;
  long first = last;
  for (long i = last - 1; i >= 0; --i) {
    const Line& l = lines[static_cast<size_t>(i)];
    if (blank(l)) continue;
    const std::vector<std::string> f = fieldsOf(l, sep);
    bool all = true;
    for (size_t k : c.numeric) {
      double v;
      all = all && k < f.size() && number(f[k], comma, v);
    }
    if (!all) break;
    first = i;
  }
  c.first = first;
  c.score = (static_cast<long>(c.numeric.size()) * 2 - text) * 1000 + (last - first);
  return c;
}

// A header value: the field after "key," on one line (a "CH1:" prefix dropped), or the
// field under "key" on the next line.
bool headerValue(const std::vector<Line>& lines, long before, char sep, const char* key, double& out) {
  for (long i = 0; i < before; ++i) {
    const std::vector<std::string> f = fieldsOf(lines[static_cast<size_t>(i)], sep);
    for (size_t k = 0; k < f.size(); ++k) {
      if (strcasecmp(f[k].c_str(), key) != 0) continue;
      std::string v = k + 1 < f.size() ? f[k + 1] : "";
      const size_t colon = v.find(':');
      if (colon != std::string::npos) v = v.substr(colon + 1);
      if (number(v, sep != ',', out) && std::isfinite(out)) return true;
      if (i + 1 < before) {
        const std::vector<std::string> next = fieldsOf(lines[static_cast<size_t>(i + 1)], sep);
        if (k < next.size() && number(next[k], sep != ',', out) && std::isfinite(out)) return true;
      }
    }
  }
  return false;
}

}  // namespace

bool DetectTextLayout(const char* text, size_t size, bool complete, DetectedLayout& out) {
  out = DetectedLayout{};
  const std::vector<Line> lines = splitLines(text, size, complete);
  Candidate best;
  for (char sep : {',', ';', '\t', ' '}) {
    Candidate c = tryColumns(lines, sep);
    if (c.score > best.score) best = c;
  }
  if (best.first < 0) return false;
  TextLayout& l = out.layout;
  l.sep = best.sep;
  const bool comma = best.sep != ',';

  // The data block's values by column, to tell an index or an X column from the channels.
  long dataLines = 0;
  std::vector<std::vector<double>> columns(best.numeric.size());
  for (size_t i = static_cast<size_t>(best.first); i < lines.size(); ++i) {
    if (blank(lines[i])) continue;
    ++dataLines;
    const std::vector<std::string> f = fieldsOf(lines[i], best.sep);
    for (size_t c = 0; c < best.numeric.size(); ++c) {
      double v = 0;
      if (best.numeric[c] < f.size() && number(f[best.numeric[c]], comma, v)) columns[c].push_back(v);
    }
  }
  // Few lines of many values: one axis per row.
  if (dataLines <= 2 && best.numeric.size() >= 4) {
    l.byRow = true;
    l.skipLines = best.first;
    l.skipValues = static_cast<long>(best.numeric.front());
    std::vector<double> row;
    const std::vector<std::string> f = fieldsOf(lines[static_cast<size_t>(best.first)], best.sep);
    for (size_t k : best.numeric) {
      double v = 0;
      if (k < f.size() && number(f[k], comma, v)) row.push_back(v);
    }
    bool ascending = dataLines == 2 && row.size() > 1;
    for (size_t i = 1; ascending && i < row.size(); ++i) ascending = row[i] > row[i - 1];
    l.xaxis = ascending;
    out.channels = dataLines - (l.xaxis ? 1 : 0);
  } else {
    l.skipLines = best.first;
    size_t firstValue = 0;  // the first numeric column that is not skipped
    auto steps = [&](const std::vector<double>& v, bool whole) {
      if (v.size() < 2) return false;
      for (size_t i = 1; i < v.size(); ++i) {
        if (!std::isfinite(v[i]) || !(v[i] > v[i - 1])) return false;
        if (whole && v[i] - v[i - 1] != 1) return false;
      }
      return !whole || v[0] == std::floor(v[0]);
    };
    if (steps(columns[0], true)) {
      out.indexColumn = true;
      firstValue = 1;
    }
    l.skipValues = static_cast<long>(firstValue < best.numeric.size() ? best.numeric[firstValue] : best.numeric.back() + 1);
    if (firstValue < columns.size() && columns.size() - firstValue >= 2 && steps(columns[firstValue], false) &&
        best.numeric[firstValue + 1] == best.numeric[firstValue] + 1) {
      l.xaxis = true;
    }
    out.channels = static_cast<long>(columns.size() - firstValue) - (l.xaxis ? 1 : 0);
    // The channels must follow X (or the skipped values) without gaps for ycolumn to count them.
    if (out.channels < 1) return false;
  }
  double v = 0;
  if (headerValue(lines, best.first, best.sep, "Sample Interval", v) || headerValue(lines, best.first, best.sep, "Increment", v))
    out.interval = v > 0 ? v : 0;
  if (out.indexColumn && headerValue(lines, best.first, best.sep, "Start", v)) out.start = v;
  return true;
}
