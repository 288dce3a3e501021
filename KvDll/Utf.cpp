#include "KvDll/Utf.h"

#include <cstdint>

namespace {

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Length of the valid sequence at s[i] and its code point; 0 when it is not valid.
size_t decodeUtf8(std::string_view s, size_t i, uint32_t& c) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
  const uint8_t b0 = b(0);
  size_t n;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF are not valid UTF-8.
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string KvUtf16ToUtf8(const unsigned short* w) {
  std::string out;
  if (!w) return out;
  for (size_t i = 0; w[i]; ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::u16string KvUtf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint32_t c = 0;
    size_t n = decodeUtf8(s, i, c);
    if (n == 0) c = static_cast<uint8_t>(s[i]), n = 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}
