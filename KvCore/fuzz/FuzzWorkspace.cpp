// Any file reads as a workspace without crashing: at most 10 sections plus the engine's, an
// engine section that is there, no text invented, no header left inside a section's text
// (it would run as a script line), and every problem reported once at most per header.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "KvCore/WrkSpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const KvWorkspaceText w = KvParseWorkspace(text);
  if (w.names.size() != w.contents.size() || w.names.empty() || w.names.size() > 11) __builtin_trap();
  if (w.engine < 0 || static_cast<size_t>(w.engine) >= w.names.size()) __builtin_trap();
  size_t total = 0;
  for (size_t i = 0; i < w.names.size(); ++i) total += w.names[i].size() + w.contents[i].size();
  if (total > size + 7) __builtin_trap();  // "Kelvane" may be added
  for (const std::string& c : w.contents)
    if (c.find("\n[") != std::string::npos) __builtin_trap();
  if (w.problems.size() > 11) __builtin_trap();
  return 0;
}
