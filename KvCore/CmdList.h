#pragma once
// The command list: the engine's memory of the current network, as entries {type, arguments}.
// Its text form is a script that rebuilds the network. Owned by the parser; the netlist
// records its "link" entries here too. User-interface thread.

#include <string>
#include <unordered_map>

#include "KvDll/Str.h"

struct CCmdEntry {
  CStr type;    // "set", "link", "load", "//", "newline", "call" (or "unlink")
  CStr first;
  CStr second;
};

class CCmdList {
 public:
  // Two-argument entries ("set", "link", "load", "call"): an entry with the same type and
  // first argument (exact comparison) gets the new second argument in place; otherwise a
  // new entry is appended.
  void Record(const char* type, const char* first, const char* second);
  // "//" and "newline" entries are always appended.
  void Append(const char* type, const char* first = "");
  void Clear();

  int Count() const { return entries.count; }
  const CCmdEntry& Entry(int i) const { return *entries.items[i]; }

  // One line per entry, each followed by CR LF.
  CStr Text() const;

 private:
  CObjArr<CCmdEntry> entries;
  // Where each two-argument entry is, by type and first argument: a setup of thousands of
  // settings would otherwise search the whole list for each line it assigns.
  std::unordered_map<std::string, int> recorded;
};
