#include "KvDll/JMisc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "KvDll/Utf.h"
#include "KvDll/dbg.h"

namespace {

const char* const kUnit = "KvDll/JMisc";

void outOfMemory(long site, long line) { KvErrReport(site, line, "Insufficient memory", kUnit); }

// The length (in bytes) sits in the 4 bytes before the characters, as automation strings
// keep it.
unsigned short* allocBstr(const char16_t* w, size_t n) {
  auto* block = static_cast<char*>(KV_MALLOC(4 + (n + 1) * 2));
  if (!block) return nullptr;
  const uint32_t bytes = static_cast<uint32_t>(n * 2);
  std::memcpy(block, &bytes, 4);
  auto* out = reinterpret_cast<unsigned short*>(block + 4);
  if (n) std::memcpy(out, w, n * 2);
  out[n] = 0;
  return out;
}

char* heapCopy(const char* s, size_t n) {
  auto* out = static_cast<char*>(KV_MALLOC(n + 1));
  if (!out) return nullptr;
  if (n) std::memcpy(out, s, n);
  out[n] = 0;
  return out;
}

short component(double x) { return static_cast<short>(std::min(std::trunc(x * 255.0), 255.0)); }

}  // namespace

double scale125(double x, long up) {
  if (!(x > 0)) return 1.0;
  const double d = std::pow(10.0, std::floor(std::log10(x)));
  const double r = x / d;
  if (up) {
    if (r < 1.0001) return 2 * d;
    if (r < 1.9999) return 2 * d;
    if (r < 2.0001) return 5 * d;
    if (r < 4.9999) return 5 * d;
    if (r < 5.0001) return 10 * d;
    if (r < 9.9999) return 10 * d;
    if (r < 10.0001) return 20 * d;
  } else {
    if (r < 1.0001) return 0.5 * d;
    if (r < 1.9999) return d;
    if (r < 2.0001) return d;
    if (r < 4.9999) return 2 * d;
    if (r < 5.0001) return 2 * d;
    if (r < 9.9999) return 5 * d;
    if (r < 10.0001) return 5 * d;
  }
  return x;
}

void RGBtoHSV(short r, short g, short b, double* h, double* s, double* v) {
  const double rf = r / 255.0, gf = g / 255.0, bf = b / 255.0;
  const double mx = std::max({rf, gf, bf}), mn = std::min({rf, gf, bf}), delta = mx - mn;
  double hh = 0, ss = 0;
  if (mx != 0) ss = delta / mx;
  if (ss != 0) {
    if (rf == mx)
      hh = (gf - bf) / delta;
    else if (gf == mx)
      hh = 2 + (bf - rf) / delta;
    else
      hh = 4 + (rf - gf) / delta;
    hh *= 60;
    if (hh < 0) hh += 360;
  }
  if (h) *h = hh;
  if (s) *s = ss;
  if (v) *v = mx;
}

void HSVtoRGB(double h, double s, double v, short* r, short* g, short* b) {
  double rf = v, gf = v, bf = v;
  if (s != 0) {
    const double hp = h / 60.0;
    const double ip = std::trunc(hp);
    const double f = hp - ip;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (static_cast<long>(ip)) {
      case 0: rf = v, gf = t, bf = p; break;
      case 1: rf = q, gf = v, bf = p; break;
      case 2: rf = p, gf = v, bf = t; break;
      case 3: rf = p, gf = q, bf = v; break;
      case 4: rf = t, gf = p, bf = v; break;
      case 5: rf = v, gf = p, bf = q; break;
      default: break;  // h outside 0 ... 360: grey at v, as for s = 0
    }
  }
  if (r) *r = component(rf);
  if (g) *g = component(gf);
  if (b) *b = component(bf);
}

long HSVtoRGB(double h, double s, double v) {
  short r, g, b;
  HSVtoRGB(h, s, v, &r, &g, &b);
  return (r & 0xFF) + (g & 0xFF) * 256L + (b & 0xFF) * 65536L;
}

long str2bstr(unsigned short** bstr, const char* s) {
  if (!bstr || !s) return kE_UNEXPECTED;
  const std::u16string w = KvUtf8ToUtf16(s);
  unsigned short* out = allocBstr(w.data(), w.size());
  if (!out) {
    outOfMemory(1, __LINE__);
    return kE_OUTOFMEMORY;
  }
  freeBstr(*bstr);
  *bstr = out;
  return kS_OK;
}

long bstr2str(unsigned short* w, char** s) {
  if (!s) return kE_UNEXPECTED;
  freeStr(*s);
  *s = nullptr;
  const std::string text = KvUtf16ToUtf8(w);
  *s = heapCopy(text.data(), text.size());
  if (!*s) {
    outOfMemory(2, __LINE__);
    return kE_OUTOFMEMORY;
  }
  return w ? kS_OK : kE_UNEXPECTED;
}

unsigned short* getBstr(const char* s) {
  unsigned short* out = nullptr;
  return str2bstr(&out, s) == kS_OK ? out : nullptr;
}

void freeBstr(unsigned short* w) {
  if (w) KV_FREE(reinterpret_cast<char*>(w) - 4);
}

long bstrLen(const unsigned short* w) {
  if (!w) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const char*>(w) - 4, 4);
  return static_cast<long>(bytes / 2);
}

char* getStr(const char* s) {
  if (!s) s = "";
  char* out = heapCopy(s, std::strlen(s));
  if (!out) outOfMemory(3, __LINE__);
  return out;
}

char* getStr(unsigned short* w) {
  const std::string text = KvUtf16ToUtf8(w);
  char* out = heapCopy(text.data(), text.size());
  if (!out) outOfMemory(4, __LINE__);
  return out;
}

void freeStr(const char* s) { KV_FREE(const_cast<char*>(s)); }

long aStrCpy(char** dst, const char* src) {
  if (!dst) return kE_UNEXPECTED;
  freeStr(*dst);
  *dst = getStr(src);
  return *dst ? kS_OK : kE_OUTOFMEMORY;
}
