// Any mods.lst parses without crashing, into two columns of equal length whose texts come
// from the input and hold no line feed.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "KvDll/GlobalData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  CObjArr<CStr> names, texts;
  ParseModsLst(text, static_cast<long>(size), &names, &texts);
  if (names.count != texts.count) __builtin_trap();
  size_t total = 0;
  for (int i = 0; i < names.count; ++i) {
    for (const CStr* s : {names.items[i], texts.items[i]}) {
      if (std::memchr(s->GetBfr(), '\n', static_cast<size_t>(s->GetLength()))) __builtin_trap();
      total += static_cast<size_t>(s->GetLength());
    }
    if (std::memchr(names.items[i]->GetBfr(), ',', static_cast<size_t>(names.items[i]->GetLength()))) __builtin_trap();
  }
  if (total > size) __builtin_trap();
  return 0;
}
