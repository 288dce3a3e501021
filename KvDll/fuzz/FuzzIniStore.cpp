// Any text reads as a store without crashing, and what the store writes reads back as the
// same content.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "KvDll/IniStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniDoc doc = ParseIni(text);
  const std::string written = FormatIni(doc);
  if (ParseIni(written) != doc) __builtin_trap();
  if (FormatIni(ParseIni(written)) != written) __builtin_trap();
  return 0;
}
