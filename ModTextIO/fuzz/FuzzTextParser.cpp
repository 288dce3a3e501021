// Arbitrary text through the parser with an arbitrary layout: no crash, no access outside the
// text, and the same values (or the same error) whether the text comes whole or in pieces.
// Input: a layout byte, a skip byte, a piece-size byte, then the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ModTextIO/TextParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  TextLayout l;
  const uint8_t o = data[0], k = data[1];
  static const char seps[] = {',', ';', '\t', ' ', '|', ',', ';', ' '};
  l.xaxis = o & 1;
  l.byRow = o & 2;
  l.sep = seps[(o >> 2) & 7];
  l.skipLines = k & 3;
  l.skipValues = (k >> 2) & 3;
  l.ycolumn = 1 + ((k >> 4) & 3);
  const size_t piece = 1 + data[2] % 17;
  const char* text = reinterpret_cast<const char*>(data + 3);
  const size_t n = size - 3;

  CTextParser whole(l, "f");
  const bool a = whole.Feed(text, n) && whole.Finish();
  CTextParser parts(l, "f");
  bool b = true;
  for (size_t at = 0; b && at < n; at += piece) b = parts.Feed(text + at, n - at < piece ? n - at : piece);
  b = b && parts.Finish();
  if (a != b || whole.Error() != parts.Error()) __builtin_trap();
  if (a) {
    if (whole.y.size() != parts.y.size() || whole.x.size() != parts.x.size()) __builtin_trap();
    if (std::memcmp(whole.y.data(), parts.y.data(), whole.y.size() * sizeof(double)) != 0) __builtin_trap();
    if (l.xaxis && whole.x.size() != whole.y.size() && !l.byRow) __builtin_trap();
  }
  return 0;
}
