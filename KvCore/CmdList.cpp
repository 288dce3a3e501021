#include "KvCore/CmdList.h"

#include <string>

void CCmdList::Record(const char* type, const char* first, const char* second) {
  std::string key = type;
  key += '\0';
  key += first;
  const auto found = recorded.find(key);
  if (found != recorded.end()) {
    entries.items[found->second]->second = second;
    return;
  }
  auto* e = new CCmdEntry;
  e->type = type;
  e->first = first;
  e->second = second;
  recorded.emplace(std::move(key), entries.count);
  entries.Add(e);
}

void CCmdList::Append(const char* type, const char* first) {
  auto* e = new CCmdEntry;
  e->type = type;
  e->first = first;
  entries.Add(e);
}

void CCmdList::Clear() {
  entries.RemoveAll();
  recorded.clear();
}

CStr CCmdList::Text() const {
  // Built in one growing buffer: a long setup would make repeated CStr appends quadratic.
  std::string text;
  auto put = [&text](const CStr& s) { text.append(s.GetBfr(), static_cast<size_t>(s.GetLength())); };
  for (int i = 0; i < entries.count; ++i) {
    const CCmdEntry* e = entries.items[i];
    if (!e) continue;
    if (e->type == "set") {
      put(e->first), text += '=', put(e->second);
    } else if (e->type == "link") {
      if (e->second.IsEmpty()) continue;  // an unlinked input leaves no line
      text += "link ", put(e->first), text += '=', put(e->second);
    } else if (e->type == "load") {
      text += "load ", put(e->first), text += '=', put(e->second);
    } else if (e->type == "//") {
      put(e->first);
    } else if (e->type == "newline") {
    } else if (e->type == "unlink") {
      text += "unlink ", put(e->first);
    } else if (e->type == "call") {
      put(e->first), text += '(', put(e->second), text += ')';
    } else {
      KvDebugReport(1, __LINE__, "Unknown command", "KvCore/Parser");
      continue;
    }
    text += "\r\n";
  }
  return CStr(text.data(), static_cast<long>(text.size()));
}
