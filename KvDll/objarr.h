#pragma once
// CObjArr<T>: the owning pointer array of the native parts (filled by CStr::split, used for
// the engine's and the schematic's lists). It grows by exactly one slot per addition and
// deletes its elements. Users read count and items directly. Not synchronised.

#include <cstdint>

#include "KvDll/dbg.h"

template <class T>
class CObjArr {
 public:
  int32_t count = 0;
  T** items = nullptr;

  CObjArr() = default;
  CObjArr(const CObjArr&) = delete;
  CObjArr& operator=(const CObjArr&) = delete;

  virtual ~CObjArr() {
    for (int32_t i = count - 1; i >= 0; --i) delete items[i];
    KV_FREE(items);
    items = nullptr;
    count = 0;
  }

  // Takes ownership of p (which may be null). When the pointer array cannot grow, the
  // failure is reported and the array ends empty; nothing it held is leaked.
  void Add(T* p) {
    T** grown = static_cast<T**>(KV_REALLOC(items, sizeof(T*) * (static_cast<size_t>(count) + 1)));
    if (!grown) {
      KvErrReport(1, __LINE__, "Insufficient memory", "KvDll/objarr");
      delete p;
      RemoveAll();
      KV_FREE(items);
      items = nullptr;
      return;
    }
    items = grown;
    items[count++] = p;
  }

  // Deletes every element, first to last; keeps the pointer array.
  void RemoveAll() {
    for (int32_t i = 0; i < count; ++i) {
      delete items[i];
      items[i] = nullptr;
    }
    count = 0;
  }

  // The last element; an empty array first gets a newly constructed one. Null only when
  // that addition failed.
  T* GetLast() {
    if (count == 0) Add(new T());
    return count ? items[count - 1] : nullptr;
  }
};
