// Arbitrary text through the layout detector: no crash, no access outside the text, and a
// detected layout that the parser accepts as a layout (it may still refuse the text). The
// first byte picks where the text is cut and a column name to look for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ModTextIO/TextDetect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t o = data[0];
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t n = size - 1;
  const size_t cut = o & 1 ? n * (o >> 1) / 127 : n;
  DetectedLayout d;
  if (!DetectTextLayout(text, cut < n ? cut : n, cut >= n, d)) return 0;
  if (d.channels < 1 || d.layout.skipLines < 0 || d.layout.skipValues < 0 || !(d.interval >= 0)) std::abort();
  TextLayout l = d.layout;
  if (o & 2) l.ycolumnName = "CH1";
  CTextParser p(l, "f");
  p.Feed(text, n);
  p.Finish();
  return 0;
}
