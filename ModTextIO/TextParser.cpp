#include "ModTextIO/TextParser.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

struct Field {
  const char* b = nullptr;
  const char* e = nullptr;
};

bool blank(char c, char sep) { return (c == ' ' || c == '\t') && c != sep; }

// Splits fields off the front of [p, e). `more` tells whether a field remains: after a
// trailing separator one empty field does.
class Fields {
 public:
  Fields(const char* b, const char* e, char sep) : p(b), end(e), sep(sep) {
    if (sep == ' ') skipBlanks();
    more = p < end;
  }
  bool next(Field& f) {
    if (!more) return false;
    if (sep == ' ') {
      f.b = p;
      while (p < end && *p != ' ' && *p != '\t') ++p;
      f.e = p;
      skipBlanks();
      more = p < end;
      return true;
    }
    while (p < end && blank(*p, sep)) ++p;
    if (p < end && *p == '"') {
      // Quoted: up to the closing quote ("" stands for one quote), then on to the separator.
      const char* q = p + 1;
      while (q < end && !(*q == '"' && (q + 1 >= end || q[1] != '"'))) q += *q == '"' ? 2 : 1;
      f.b = p + 1;
      f.e = q < end ? q : end;
      p = q < end ? q + 1 : end;
      const void* s = p < end ? std::memchr(p, sep, static_cast<size_t>(end - p)) : nullptr;
      p = s ? static_cast<const char*>(s) + 1 : end;
      more = s != nullptr;
      return true;
    }
    const void* s = p < end ? std::memchr(p, sep, static_cast<size_t>(end - p)) : nullptr;
    f.b = p;
    f.e = s ? static_cast<const char*>(s) : end;
    while (f.e > f.b && blank(f.e[-1], sep)) --f.e;
    p = s ? static_cast<const char*>(s) + 1 : end;
    more = s != nullptr;
    return true;
  }

 private:
  const char* p;
  const char* end;
  char sep;
  bool more = false;
  void skipBlanks() {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
  }
};

// A number as C writes it (no locale), with an optional '+'; with decimalComma a ',' may
// stand for the decimal point.
bool toNumber(const char* b, const char* e, bool decimalComma, double& out) {
  if (b < e && *b == '+') ++b;
  if (b == e) return false;
  const auto r = std::from_chars(b, e, out);
  if (r.ec == std::errc() && r.ptr == e) return true;
  if (!decimalComma || e - b > 64) return false;
  char tmp[64];
  const size_t n = static_cast<size_t>(e - b);
  bool comma = false;
  for (size_t i = 0; i < n; ++i) {
    tmp[i] = b[i] == ',' ? '.' : b[i];
    comma = comma || b[i] == ',';
  }
  if (!comma) return false;
  const auto r2 = std::from_chars(tmp, tmp + n, out);
  return r2.ec == std::errc() && r2.ptr == tmp + n;
}

bool blankLine(const char* b, const char* e) {
  for (; b < e; ++b)
    if (*b != ' ' && *b != '\t') return false;
  return true;
}

// The text of a field as an error shows it: at most 40 bytes, control bytes as '?'.
std::string shown(const char* b, const char* e) {
  std::string s(b, static_cast<size_t>(std::min<ptrdiff_t>(e - b, 40)));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (e - b > 40) s += "...";
  return s;
}

}  // namespace

CTextParser::CTextParser(const TextLayout& l, std::string src) : layout(l), source(std::move(src)) {
  if (layout.ycolumn < 1) layout.ycolumn = 1;
  if (layout.skipValues < 0) layout.skipValues = 0;
  if (layout.skipLines < 0) layout.skipLines = 0;
}

bool CTextParser::fail(long column, const char* what, const char* b, const char* e) {
  if (!error.empty()) return false;
  error = "\"" + source + "\" line " + std::to_string(line);
  if (column > 0) error += ", column " + std::to_string(column);
  error += std::string(": ") + what;
  if (b) error += " \"" + shown(b, e) + "\"";
  return false;
}

bool CTextParser::Feed(const char* text, size_t size) {
  if (!error.empty()) return false;
  const char* p = text;
  const char* end = text + size;
  while (p < end && !done && error.empty()) {
    if (pendingCR) {
      pendingCR = false;
      if (*p == '\n') {
        ++p;
        continue;
      }
    }
    const size_t left = static_cast<size_t>(end - p);
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', left));
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', nl ? static_cast<size_t>(nl - p) : left));
    const char* q = cr ? cr : nl;
    if (!q) {
      if (carry.size() + left > (size_t{1} << 30)) return fail(0, "line longer than 1 GB");
      carry.append(p, left);
      return true;
    }
    if (carry.empty()) {
      takeLine(p, q);
    } else {
      carry.append(p, static_cast<size_t>(q - p));
      takeLine(carry.data(), carry.data() + carry.size());
      carry.clear();
    }
    if (*q == '\r') {
      if (q + 1 < end) {
        if (q[1] == '\n') ++q;
      } else {
        pendingCR = true;
      }
    }
    p = q + 1;
  }
  return error.empty();
}

bool CTextParser::Finish() {
  if (!error.empty()) return false;
  if (!carry.empty() && !done) {
    takeLine(carry.data(), carry.data() + carry.size());
    carry.clear();
  }
  if (!error.empty()) return false;
  if (y.empty()) {
    error = "\"" + source + "\": no data after " + std::to_string(layout.skipLines) + " skipped lines";
    return false;
  }
  return true;
}

// The named column's place in the header line, counted as ycolumn counts.
bool CTextParser::findNamedColumn() {
  named = true;
  if (layout.byRow) return fail(0, ("a column name (\"" + layout.ycolumnName + "\") needs the column layout").c_str());
  if (headers.empty())
    return fail(0, ("no header line to find the column \"" + layout.ycolumnName + "\" in").c_str());
  // The nearest header line that holds the name: exports often put a units line under the names.
  const long first = layout.skipValues + (layout.xaxis ? 1 : 0);
  std::string found;
  for (size_t h = headers.size(); h-- > 0;) {
    const std::string& header = headers[h].second;
    Fields fields(header.data(), header.data() + header.size(), layout.sep);
    Field f;
    long col = 0;
    while (fields.next(f)) {
      ++col;
      const std::string name(f.b, f.e);
      if (col > first && name.size() == layout.ycolumnName.size() &&
          strncasecmp(name.data(), layout.ycolumnName.data(), name.size()) == 0) {
        layout.ycolumn = col - first;
        headers.clear();
        return true;
      }
      if (h + 1 == headers.size() && col > first && !name.empty()) found += (found.empty() ? "" : ", ") + shown(f.b, f.e);
    }
  }
  line = headers.back().first;
  return fail(0, ("no column \"" + shown(layout.ycolumnName.data(), layout.ycolumnName.data() + layout.ycolumnName.size()) +
                  "\"; the columns are: " + (found.empty() ? std::string("none") : found)).c_str());
}

void CTextParser::takeLine(const char* b, const char* e) {
  ++line;
  if (line == 1 && e - b >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0) b += 3;  // a UTF-8 byte-order mark
  if (blankLine(b, e)) return;
  if (line <= layout.skipLines) {
    // Only the last header line is kept, and only while a column name needs it.
    if (!layout.ycolumnName.empty() && !named) {
      if (headers.size() == 16) headers.erase(headers.begin());
      headers.emplace_back(line, std::string(b, std::min<size_t>(static_cast<size_t>(e - b), 1 << 16)));
    }
    return;
  }
  if (!layout.ycolumnName.empty() && !named && !findNamedColumn()) return;
  if (layout.byRow)
    rowLine(b, e);
  else
    columnLine(b, e);
}

void CTextParser::columnLine(const char* b, const char* e) {
  const long xcol = layout.xaxis ? layout.skipValues + 1 : 0;
  const long ycol = layout.skipValues + (layout.xaxis ? 1 : 0) + layout.ycolumn;
  const bool decimalComma = layout.sep != ',';
  Fields fields(b, e, layout.sep);
  Field f;
  double xv = 0, yv = 0;
  long col = 0;
  while (col < ycol && fields.next(f)) {
    ++col;
    if (col == xcol) {
      if (!toNumber(f.b, f.e, decimalComma, xv)) return void(fail(col, "not a number", f.b, f.e));
      if (!std::isfinite(xv)) return void(fail(col, "X value not finite", f.b, f.e));
    } else if (col == ycol) {
      if (!toNumber(f.b, f.e, decimalComma, yv)) return void(fail(col, "not a number", f.b, f.e));
      if (!std::isfinite(yv) && nonFinite++ == 0) firstNonFiniteLine = line;
    }
  }
  if (col < ycol) return void(fail(col + 1, "value missing"));
  if (y.size() >= kMaxValues) return void(fail(0, "more values than a record can hold"));
  if (layout.xaxis) x.push_back(xv);
  y.push_back(yv);
}

void CTextParser::rowLine(const char* b, const char* e) {
  // Rows in order: X (when there is one), then the Y row ycolumn rows further on.
  ++row;
  const bool isX = layout.xaxis && row == 1;
  const int yrow = (layout.xaxis ? 1 : 0) + static_cast<int>(layout.ycolumn);
  if (!isX && row != yrow) return;
  std::vector<double>& into = isX ? x : y;
  const bool decimalComma = layout.sep != ',';
  Fields fields(b, e, layout.sep);
  Field f;
  long col = 0;
  long emptyAt = 0;  // an empty field is allowed only at the end of the row
  while (fields.next(f)) {
    ++col;
    if (col <= layout.skipValues) continue;
    if (f.b == f.e) {
      if (!emptyAt) emptyAt = col;
      continue;
    }
    if (emptyAt) return void(fail(emptyAt, "not a number", f.b, f.b));
    double v = 0;
    if (!toNumber(f.b, f.e, decimalComma, v)) return void(fail(col, "not a number", f.b, f.e));
    if (isX && !std::isfinite(v)) return void(fail(col, "X value not finite", f.b, f.e));
    if (!isX && !std::isfinite(v) && nonFinite++ == 0) firstNonFiniteLine = line;
    if (into.size() >= kMaxValues) return void(fail(0, "more values than a record can hold"));
    into.push_back(v);
  }
  if (!isX) {
    done = true;
    if (layout.xaxis && x.size() != y.size())
      fail(0, ("the X row has " + std::to_string(x.size()) + " values, the Y row " + std::to_string(y.size())).c_str());
  }
}

bool ReadTextFile(const std::string& path, const TextLayout& layout, std::vector<double>& x, std::vector<double>& y,
                  std::string& error, const std::function<bool(double)>& progress, TextReadInfo* info) {
  x.clear(), y.clear(), error.clear();
  if (path.empty()) return error = "No file name", false;
  // Opened without waiting, so that a FIFO without a writer cannot hold the pass for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = errno == ENOENT ? "File not found \"" + path + "\"" : "Cannot open \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "Cannot read \"" + path + "\": " + (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const double total = st.st_size > 0 ? static_cast<double>(st.st_size) : 0;
  CTextParser parser(layout, path);
  // A first guess of the values, so that long files do not regrow the arrays many times.
  if (total > 0) {
    const size_t guess = static_cast<size_t>(std::min(total / 20, 1e8));
    parser.y.reserve(guess);
    if (layout.xaxis) parser.x.reserve(guess);
  }
  std::vector<char> chunk(size_t{1} << 20);
  double done = 0;
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "Cannot read \"" + path + "\": " + std::strerror(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!parser.Feed(chunk.data(), static_cast<size_t>(n))) {
      error = parser.Error();
      ok = false;
      break;
    }
    done += static_cast<double>(n);
    if (progress && !progress(total > 0 ? std::min(done / total, 1.0) : 0.0)) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (ok && !parser.Finish()) error = parser.Error(), ok = false;
  if (!ok) return false;
  x = std::move(parser.x);
  y = std::move(parser.y);
  if (info) info->nonFinite = parser.nonFinite, info->firstNonFiniteLine = parser.firstNonFiniteLine, info->ycolumn = parser.YColumn();
  return true;
}
