#include "KvDll/Str.h"

#include "KvDll/Utf.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <strings.h>

std::atomic<int32_t> CStr::activecnt{0};
std::atomic<int32_t> CStr::count{0};

namespace {

const char* const kUnit = "KvDll/Str";

void outOfMemory(long site, long line) { KvErrReport(site, line, "Insufficient memory", kUnit); }

int32_t clampLength(long n) {
  if (n < 0) return 0;
  if (n > std::numeric_limits<int32_t>::max() - 1) return std::numeric_limits<int32_t>::max() - 1;
  return static_cast<int32_t>(n);
}

// The engineering prefixes; index 8 is "no prefix", index 10 micro.
const char* const kPrefixText[15] = {"Y", "Z", "E", "P", "T", "G", "M", "K", "", "m", "\xC2\xB5", "n", "p", "f", "a"};

}  // namespace

char* CStr::emptyText() {
  static char empty[1] = {0};
  empty[0] = 0;
  return empty;
}

// ---------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------

void CStr::dbg() {
  serial = count.fetch_add(1, std::memory_order_relaxed);
  activecnt.fetch_add(1, std::memory_order_relaxed);
}

CStr::CStr() {
  dbg();
  AllocBuffer(0);
}

CStr::CStr(const char* s) {
  dbg();
  AssignCopy(s ? s : "", s ? static_cast<int>(std::strlen(s)) : 0);
}

CStr::CStr(char c) {
  dbg();
  AllocBuffer(c ? 1 : 0);
  if (c && buffer) buffer[0] = c, buffer[1] = 0;
}

CStr::CStr(unsigned short* w) {
  dbg();
  const std::string out = KvUtf16ToUtf8(w);
  AssignCopy(out.data(), static_cast<int>(out.size()));
}

CStr::CStr(long n) {
  dbg();
  char text[32];
  const int len = std::snprintf(text, sizeof text, "%ld", n);
  AssignCopy(text, len);
}

CStr::CStr(int n) {
  dbg();
  char text[32];
  const int len = std::snprintf(text, sizeof text, "%d", n);
  AssignCopy(text, len);
}

CStr::CStr(double d) {
  dbg();
  char text[64];
  if (std::isinf(d)) {
    // The texts Str2Num reads back; the C library's "inf" would read as 0 with femto.
    std::snprintf(text, sizeof text, "%s", d > 0 ? "1.#INF" : "-1.#INF");
  } else if (std::isnan(d)) {
    std::snprintf(text, sizeof text, "1.#QNAN");
  } else {
    std::snprintf(text, sizeof text, "%.16g", d);
    if (char* e = std::strchr(text, 'e'); e && e[1] == '+') {
      char* digits = e + 2;
      while (*digits == '0' && digits[1]) ++digits;
      std::memmove(e + 1, digits, std::strlen(digits) + 1);
    }
    const size_t n = std::strlen(text);
    if (n > 1 && text[n - 1] == '.') text[n - 1] = 0;
  }
  AssignCopy(text, static_cast<int>(std::strlen(text)));
}

CStr::CStr(const char* s, long n) {
  dbg();
  const int32_t len = clampLength(n);
  AllocBuffer(s ? len : 0);
  if (!s || !buffer) return;
  const size_t have = strnlen(s, static_cast<size_t>(len));
  std::memcpy(buffer, s, have);
  std::memset(buffer + have, 0, static_cast<size_t>(len) - have + 1);
}

CStr::CStr(void* p, long n) {
  dbg();
  const int32_t len = p ? clampLength(n) : 0;
  AllocBuffer(len);
  if (buffer && len) std::memcpy(buffer, p, static_cast<size_t>(len));
}

CStr::CStr(const CStr& s) {
  dbg();
  AssignCopy(s.GetBfr(), s.length);
}

CStr::~CStr() {
  KV_FREE(buffer);
  buffer = nullptr;
  length = 0;
  activecnt.fetch_sub(1, std::memory_order_relaxed);
}

int32_t CStr::SafeStrlen(const char* p) { return p ? static_cast<int32_t>(std::strlen(p)) : 0; }

// ---------------------------------------------------------------------------------------
// Buffer management
// ---------------------------------------------------------------------------------------

void CStr::AllocBuffer(int n) {
  KV_FREE(buffer);
  buffer = nullptr;
  length = 0;
  if (n < 0) n = 0;
  buffer = static_cast<char*>(KV_MALLOC(static_cast<size_t>(n) + 1));
  if (!buffer) {
    outOfMemory(1, __LINE__);
    return;
  }
  buffer[0] = 0;
  buffer[n] = 0;
  length = n;
}

void CStr::AssignCopy(const char* p, int n) {
  // p may point into our own buffer: copy before freeing it.
  char* fresh = static_cast<char*>(KV_MALLOC(static_cast<size_t>(n < 0 ? 0 : n) + 1));
  if (!fresh) {
    outOfMemory(2, __LINE__);
    KV_FREE(buffer);
    buffer = nullptr;
    length = 0;
    return;
  }
  if (n > 0) std::memcpy(fresh, p, static_cast<size_t>(n));
  fresh[n < 0 ? 0 : n] = 0;
  KV_FREE(buffer);
  buffer = fresh;
  length = n < 0 ? 0 : n;
}

void CStr::ConcatCopy(const char* a, int na, const char* b, int nb) {
  if (na + nb <= 0) return;
  char* fresh = static_cast<char*>(KV_MALLOC(static_cast<size_t>(na) + static_cast<size_t>(nb) + 1));
  if (!fresh) {
    outOfMemory(3, __LINE__);
    KV_FREE(buffer);
    buffer = nullptr;
    length = 0;
    return;
  }
  if (na) std::memcpy(fresh, a, static_cast<size_t>(na));
  if (nb) std::memcpy(fresh + na, b, static_cast<size_t>(nb));
  fresh[na + nb] = 0;
  KV_FREE(buffer);
  buffer = fresh;
  length = na + nb;
}

void CStr::appendRaw(const char* p, int n) {
  if (n <= 0) return;
  ConcatCopy(GetBfr(), length, p, n);
}

CStr& CStr::operator=(const CStr& s) {
  if (this != &s) AssignCopy(s.GetBfr(), s.length);
  return *this;
}

CStr& CStr::operator=(const char* s) {
  if (!s) {
    length = 0;
    if (buffer) buffer[0] = 0;
    return *this;
  }
  AssignCopy(s, static_cast<int>(std::strlen(s)));
  return *this;
}

CStr& CStr::operator=(char c) {
  AllocBuffer(1);
  if (buffer) buffer[0] = c, buffer[1] = 0;
  return *this;
}

void CStr::copy(const CStr* s) {
  if (s)
    *this = *s;
  else
    AssignCopy("", 0);
}
void CStr::copy(const CStr& s) { *this = s; }
void CStr::copy(const char* s) { AssignCopy(s ? s : "", s ? static_cast<int>(std::strlen(s)) : 0); }

void CStr::SetBfr(char* p) { SetBfr(p, p ? static_cast<long>(std::strlen(p)) : 0); }

void CStr::SetBfr(char* p, long n) {
  if (!p) {
    length = 0;
    if (buffer) buffer[0] = 0;
    return;
  }
  if (p != buffer) KV_FREE(buffer);
  buffer = p;
  length = clampLength(n);
}

void CStr::clrBfr() { length = 0; }

void CStr::freeBfr() {
  KV_FREE(buffer);
  buffer = nullptr;
  length = 0;
}

void CStr::Space(long n) {
  AllocBuffer(clampLength(n));
  if (buffer) std::memset(buffer, ' ', static_cast<size_t>(length));
}

// ---------------------------------------------------------------------------------------
// Concatenation and comparison
// ---------------------------------------------------------------------------------------

CStr& CStr::operator+=(const CStr& s) {
  appendRaw(s.GetBfr(), s.length);
  return *this;
}
CStr& CStr::operator+=(const char* s) {
  if (s) appendRaw(s, static_cast<int>(std::strlen(s)));
  return *this;
}
CStr& CStr::operator+=(char c) {
  appendRaw(&c, 1);
  return *this;
}

CStr operator+(const CStr& a, const CStr& b) {
  CStr r(a);
  r += b;
  return r;
}
CStr operator+(const CStr& a, const char* b) {
  CStr r(a);
  r += b;
  return r;
}
CStr operator+(const char* a, const CStr& b) {
  CStr r(a);
  r += b;
  return r;
}
CStr operator+(const CStr& a, char b) {
  CStr r(a);
  r += b;
  return r;
}
CStr operator+(char a, const CStr& b) {
  CStr r(a);
  r += b;
  return r;
}

bool operator==(const CStr& a, const CStr& b) { return std::strcmp(a.GetBfr(), b.GetBfr()) == 0; }
bool operator==(const CStr& a, const char* b) { return std::strcmp(a.GetBfr(), b ? b : "") == 0; }
bool operator==(const char* a, const CStr& b) { return b == a; }
bool operator!=(const CStr& a, const CStr& b) { return !(a == b); }
bool operator!=(const CStr& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CStr& b) { return !(b == a); }

bool CStr::Compare(const char* s, bool ignoreCase) const {
  if (!s) return false;
  return ignoreCase ? strcasecmp(GetBfr(), s) == 0 : std::strcmp(GetBfr(), s) == 0;
}

bool CStr::Compare(const char* s, long n, bool ignoreCase) const {
  if (!s) return false;
  if (n <= 0) return true;
  const size_t k = static_cast<size_t>(n);
  return ignoreCase ? strncasecmp(GetBfr(), s, k) == 0 : std::strncmp(GetBfr(), s, k) == 0;
}

// ---------------------------------------------------------------------------------------
// Editing in place
// ---------------------------------------------------------------------------------------

void CStr::trim() {
  ltrim();
  rtrim();
}

void CStr::ltrim() {
  if (!buffer) return;
  int32_t i = 0;
  while (i < length && (buffer[i] == ' ' || buffer[i] == '\t')) ++i;
  if (i == 0) return;
  std::memmove(buffer, buffer + i, static_cast<size_t>(length - i) + 1);
  length -= i;
}

void CStr::rtrim() {
  if (!buffer) return;
  while (length > 0 && (buffer[length - 1] == ' ' || buffer[length - 1] == '\t')) --length;
  buffer[length] = 0;
}

void CStr::CompressSpace() {
  if (!buffer) return;
  bool quoted = false;
  int32_t out = 0;
  for (int32_t i = 0; i < length; ++i) {
    char c = buffer[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '\t') c = ' ';
    if (!quoted && c == ' ' && out > 0 && buffer[out - 1] == ' ') {
      // The character written last cannot be a quoted space here: leaving quotes writes '"'.
      continue;
    }
    buffer[out++] = c;
  }
  buffer[out] = 0;
  length = out;
}

void CStr::RipQuotes() {
  if (!buffer || length == 0) return;
  if (buffer[0] == '"') {
    std::memmove(buffer, buffer + 1, static_cast<size_t>(length));
    --length;
  }
  if (length > 0 && buffer[length - 1] == '"') buffer[--length] = 0;
}

void CStr::lcase() {
  for (int32_t i = 0; buffer && i < length; ++i)
    buffer[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(buffer[i])));
}

void CStr::ucase() {
  for (int32_t i = 0; buffer && i < length; ++i)
    buffer[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer[i])));
}

void CStr::lcase2() {
  bool quoted = false;
  for (int32_t i = 0; buffer && i < length; ++i) {
    if (buffer[i] == '"') quoted = !quoted;
    if (!quoted && buffer[i] >= 'A' && buffer[i] <= 'Z') buffer[i] = static_cast<char>(buffer[i] - 'A' + 'a');
  }
}

// The bounds are checked here, not left to the caller: script text reaches these.
void CStr::left(long n) { mid(0, n); }

void CStr::right(long n) {
  const int32_t k = n < 0 ? 0 : (n > length ? length : static_cast<int32_t>(n));
  mid(length - k, k);
}

void CStr::mid(long start, long n) {
  if (!buffer) return;
  const int32_t s = start < 0 ? 0 : (start > length ? length : static_cast<int32_t>(start));
  const int32_t k = n < 0 ? 0 : (n > length - s ? length - s : static_cast<int32_t>(n));
  std::memmove(buffer, buffer + s, static_cast<size_t>(k));
  buffer[k] = 0;
  length = k;
}

CStr CStr::getLeft(long n) const {
  CStr r(*this);
  r.left(n);
  return r;
}
CStr CStr::getRight(long n) const {
  CStr r(*this);
  r.right(n);
  return r;
}
CStr CStr::getMid(long start, long n) const {
  CStr r(*this);
  r.mid(start, n);
  return r;
}

long CStr::Replace(const char* find, const char* repl) {
  if (!find || !*find || !buffer) return 0;  // an empty find would match forever
  const size_t nf = std::strlen(find), nr = repl ? std::strlen(repl) : 0;
  std::string out;
  long replaced = 0;
  const char* p = buffer;
  const char* end = buffer + length;
  while (p < end) {
    const char* hit = static_cast<const char*>(memmem(p, static_cast<size_t>(end - p), find, nf));
    if (!hit) break;
    out.append(p, static_cast<size_t>(hit - p));
    if (nr) out.append(repl, nr);
    p = hit + nf;
    ++replaced;
  }
  if (!replaced) return 0;
  out.append(p, static_cast<size_t>(end - p));
  AssignCopy(out.data(), static_cast<int>(out.size()));
  return replaced;
}

// ---------------------------------------------------------------------------------------
// Searching
// ---------------------------------------------------------------------------------------

char* CStr::FindChar2(char c) {
  bool quoted = false;
  for (int32_t i = 0; buffer && i < length; ++i) {
    if (buffer[i] == '"') quoted = !quoted;
    if (!quoted && buffer[i] == c) return buffer + i;
  }
  return nullptr;
}

char* CStr::FindStr2(const char* s, bool ignoreCase) {
  if (!s || !buffer) return nullptr;
  const size_t n = std::strlen(s);
  if (n == 0) return nullptr;
  bool quoted = false;
  for (int32_t i = 0; i < length; ++i) {
    if (buffer[i] == '"') quoted = !quoted;
    if (quoted || static_cast<size_t>(length - i) < n) continue;
    const bool same = ignoreCase ? strncasecmp(buffer + i, s, n) == 0 : std::strncmp(buffer + i, s, n) == 0;
    if (same) return buffer + i;
  }
  return nullptr;
}

bool CStr::Search(const char* pattern) const { return Match(pattern, buffer ? buffer : nullptr); }

// The text position just after the literal run of pattern (up to '*' or its end) matched at
// text, or null when it does not match there. '?' matches any one character.
const char* CStr::Scan(const char* pattern, const char* text) {
  for (; *pattern && *pattern != '*'; ++pattern, ++text)
    if (!*text || (*pattern != '?' && *pattern != *text)) return nullptr;
  return text;
}

// Greedy match with one backtrack point (the last '*'): linear in practice, never exponential.
bool CStr::Match(const char* pattern, const char* text) {
  if (!pattern || !text) return false;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text) {
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      if (!*pattern) return true;
      star = pattern;
      resume = text;
    } else if (*pattern && (*pattern == '?' || *pattern == *text)) {
      ++pattern;
      ++text;
    } else if (star) {
      pattern = star;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

// ---------------------------------------------------------------------------------------
// Splitting
// ---------------------------------------------------------------------------------------

void CStr::split(CObjArr<CStr>* a, char sep) const {
  const char s[2] = {sep, 0};
  if (sep) split(a, s);
  else if (a && length) a->Add(new CStr(*this));
}

void CStr::split(CObjArr<CStr>* a, const char* sep) const {
  if (!a) return;
  if (!sep || !*sep) {
    a->Add(new CStr(*this));
    return;
  }
  if (length == 0) return;
  const size_t n = std::strlen(sep);
  const char* p = GetBfr();
  const char* end = p + length;
  for (;;) {
    const char* hit = static_cast<const char*>(memmem(p, static_cast<size_t>(end - p), sep, n));
    if (!hit) {
      if (p < end) a->Add(new CStr(p, static_cast<long>(end - p)));
      return;
    }
    a->Add(new CStr(p, static_cast<long>(hit - p)));
    p = hit + n;
    if (p >= end) return;  // a separator at the end adds no empty last piece
  }
}

int32_t CStr::CountSplit2(char sep) const {
  const char* text = GetBfr();
  int32_t cuts = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] == '"') {
      const char* close = static_cast<const char*>(std::memchr(text + i + 1, '"', static_cast<size_t>(length - i - 1)));
      if (close) i = static_cast<int32_t>(close - text);
      continue;
    }
    if (text[i] == sep) ++cuts;
  }
  return cuts;
}

void CStr::split2(CObjArr<CStr>* a, char sep) const {
  if (!a || length == 0) return;
  const char* text = GetBfr();
  int32_t start = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] == '"') {
      // A quote protects up to its partner; an unclosed one protects nothing.
      const char* close = static_cast<const char*>(std::memchr(text + i + 1, '"', static_cast<size_t>(length - i - 1)));
      if (close) i = static_cast<int32_t>(close - text);
      continue;
    }
    if (text[i] == sep) {
      a->Add(new CStr(text + start, i - start));
      start = i + 1;
    }
  }
  if (start < length) a->Add(new CStr(text + start, length - start));
}

// ---------------------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------------------

namespace {

// The power of ten of the SI prefix at p, and in used the bytes it takes (0: no prefix).
// "k" is kilo like "K"; micro is "u", UTF-8 "µ" or its lone byte 0xB5 (older files).
int prefixExponent(const char* p, const char* end, int& used) {
  used = 1;
  switch (*p) {
    case 'Y': return 24;
    case 'Z': return 21;
    case 'E': return 18;
    case 'P': return 15;
    case 'T': return 12;
    case 'G': return 9;
    case 'M': return 6;
    case 'K':
    case 'k': return 3;
    case 'm': return -3;
    case 'u':
    case '\xB5': return -6;
    case 'n': return -9;
    case 'p': return -12;
    case 'f': return -15;
    case 'a': return -18;
    case '\xC2':
      if (end - p >= 2 && p[1] == '\xB5') return used = 2, -6;
      break;
    default: break;
  }
  used = 0;
  return 0;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number, an optional exponent, then optionally (after blanks) a prefix letter,
// which may be followed by a unit ("1KHz", "5ms"); anything after that is ignored. The
// mantissa and the prefix are read as one decimal text, so "9.5n" is exactly 9.5e-9.
bool readNumber(const char* text, const char* end, double& value) {
  const char* p = text;
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
  const char* start = p;
  if (p < end && (*p == '+' || *p == '-')) ++p;
  // What strtod reads by itself: a signed hexadecimal number, infinity and NaN.
  if ((end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) ||
      (end - p >= 3 && (strncasecmp(p, "inf", 3) == 0 || strncasecmp(p, "nan", 3) == 0))) {
    char* stop = nullptr;
    value = std::strtod(start, &stop);
    if (stop == start || (*stop && *stop != ' ' && *stop != '\t')) return value = 0, false;  // "info", "nancy"
    return true;
  }
  size_t digits = 0;
  while (p < end && isDigit(*p)) ++p, ++digits;
  if (p < end && *p == '.') {
    ++p;
    while (p < end && isDigit(*p)) ++p, ++digits;
  }
  if (digits == 0) return false;
  const char* mantissaEnd = p;
  long long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q < end && isDigit(*q)) {
      // Far beyond any double's range the exponent stops growing: the result is 0 or inf.
      for (; q < end && isDigit(*q); ++q)
        if (exponent < 1000000000) exponent = exponent * 10 + (*q - '0');
      if (negative) exponent = -exponent;
      p = q;
    }
  }
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  int used = 0;
  if (p < end) exponent += prefixExponent(p, end, used);

  char local[96];
  std::string big;
  const size_t n = static_cast<size_t>(mantissaEnd - start);
  char* rewritten = local;
  if (n + 24 > sizeof local) {
    big.resize(n + 24);
    rewritten = big.data();
  }
  std::memcpy(rewritten, start, n);
  char* at = rewritten + n;
  *at++ = 'e';
  if (exponent < 0) *at++ = '-', exponent = -exponent;
  char digitsOut[24];
  int k = 0;
  do digitsOut[k++] = static_cast<char>('0' + exponent % 10);
  while ((exponent /= 10) > 0);
  while (k > 0) *at++ = digitsOut[--k];
  *at = 0;
  value = std::strtod(rewritten, nullptr);
  return true;
}

}  // namespace

bool CStr::Str2Num(double& value) const {
  value = 0;
  const char* text = GetBfr();
  if ((text[0] == '0') && (text[1] == 'x' || text[1] == 'X')) {
    uint32_t v = 0;
    for (const char* p = text + 2; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
      const int d = std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : (std::tolower(*p) - 'a' + 10);
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value = static_cast<int32_t>(v);
    return true;
  }
  if (strcasecmp(text, "1.#INF") == 0 || strcasecmp(text, "INF") == 0) {
    value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (strcasecmp(text, "-1.#INF") == 0 || strcasecmp(text, "-INF") == 0) {
    value = -std::numeric_limits<double>::infinity();
    return true;
  }
  if (strcasecmp(text, "NAN") == 0 || strcasecmp(text, "1.#QNAN") == 0 || strcasecmp(text, "-1.#IND") == 0) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return readNumber(text, text + length, value);
}

double CStr::Str2Num() const {
  double value = 0;
  Str2Num(value);
  return value;
}

CStr CStr::Num2Str(double x, long digits) {
  // Outside this range the formats below would be invalid or overflow the buffer.
  if (digits < 1) digits = 1;
  if (digits > 40) digits = 40;
  char out[128];
  if (x == 0) {
    std::snprintf(out, sizeof out, "0");
  } else if (std::isnan(x)) {
    std::snprintf(out, sizeof out, "NAN");
  } else if (std::isinf(x)) {
    std::snprintf(out, sizeof out, "%s", x > 0 ? "INF" : "-INF");
  } else if (std::fabs(x) < 1e-18 || std::fabs(x) >= 1e27) {
    char format[32];
    std::snprintf(format, sizeof format, "%%%ld.%ldlg", digits + 1, digits - 1);
    std::snprintf(out, sizeof out, format, x);
  } else {
    const bool negative = x < 0;
    x = std::fabs(x);
    const long e = static_cast<long>(std::trunc(std::log10(x)));
    const long k = digits - e;
    const double p = std::pow(10.0, static_cast<double>(k));
    const double rounded = std::floor(x * p + 0.5) / p;
    if (std::isfinite(rounded)) x = rounded;
    int i = 8;
    while (x != 0 && x + 1e-8 < 1) x *= 1000, ++i;
    while (x != 0 && x + 1e-8 > 1000) x *= 0.001, --i;
    const int ni = x > 0 ? static_cast<int>(std::trunc(std::log10(x))) + 1 : 1;
    double f = std::trunc((x - std::trunc(x)) * 1e9 + 0.5) * 1e-9;
    int nf = 0;
    for (int j = 1; j <= digits - ni; ++j) {
      f *= 10;
      if (std::trunc(f) != 10 * std::trunc(f / 10)) nf = j;
    }
    const int width = nf > 0 ? ni + nf + 1 : ni + 1;
    const int precision = nf > 0 ? nf : ni;
    int n = std::snprintf(out, sizeof out, "%s%*.*f", negative ? "-" : "", width, precision, x);
    if (n < 0) n = 0;
    if (n > static_cast<int>(sizeof out) - 16) n = static_cast<int>(sizeof out) - 16;
    if (i >= 0 && i <= 14)
      std::snprintf(out + n, sizeof out - static_cast<size_t>(n), "%s", kPrefixText[i]);
    else
      std::snprintf(out + n, sizeof out - static_cast<size_t>(n), "E%d", (8 - i) * 3);
  }
  AssignCopy(out, static_cast<int>(std::strlen(out)));
  return *this;
}
