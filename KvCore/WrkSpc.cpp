#include "KvCore/WrkSpc.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>

#include "KvDll/FileRead.h"

namespace {

constexpr int kMaxSections = 10;

// A regular file of bounded size, in text mode: a CR before a line feed is not part of the text.
bool readTextFile(const std::string& path, std::string& out, std::string& error) {
  std::string raw;
  if (!KvReadFile(path, kMaxSetupFile, raw, error)) return false;
  out.clear();
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i)
    if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) out += raw[i];
  return true;
}

size_t lineOf(std::string_view text, size_t at) {
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

}  // namespace

KvWorkspaceText KvParseWorkspace(std::string_view text) {
  KvWorkspaceText w;
  // Section starts: the file start, then every "[" that follows a line feed, up to 10 in all.
  std::vector<size_t> starts{0};
  size_t at = text.find("\n[");
  for (; at != std::string_view::npos && starts.size() < kMaxSections; at = text.find("\n[", at + 1))
    starts.push_back(at + 1);
  if (at != std::string_view::npos) {
    // The rest would have run as script lines of the tenth section, its headers included.
    w.problems.push_back("setup has more than " + std::to_string(kMaxSections) + " sections; the sections from line " +
                         std::to_string(lineOf(text, at + 1)) + " on are ignored");
    text = text.substr(0, at);
  }
  w.engine = -1;
  if (starts.size() == 1 && (text.empty() || text[0] != '[')) {
    w.names.emplace_back("Kelvane");
    w.contents.emplace_back(text);
    w.engine = 0;
    return w;
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t start = starts[k];
    const size_t end = k + 1 < starts.size() ? starts[k + 1] - 1 : text.size();  // the LF before the next "["
    std::string_view part = text.substr(start, end - start);
    std::string name;
    size_t body = 0;
    if (!part.empty() && part[0] == '[') {
      // The name ends on its header's line: a "]" further down is part of the section's text.
      const size_t close = part.substr(0, part.find('\n')).find(']');
      if (close != std::string_view::npos) {
        name = std::string(part.substr(1, close - 1));
        body = close + 1;
      } else {
        body = 0;  // no name, and the text is kept whole
        const std::string_view header = part.substr(0, std::min<size_t>(part.find('\n'), 40));
        w.problems.push_back("section header without \"]\" on line " + std::to_string(lineOf(text, start)) + ": " +
                             std::string(header));
      }
    }
    w.names.push_back(name);
    w.contents.emplace_back(part.substr(body));
    if (w.engine < 0 && strcasecmp(name.c_str(), "kelvane") == 0) w.engine = static_cast<int>(k);
  }
  if (w.engine < 0) {
    w.names.emplace_back("Kelvane");
    w.contents.emplace_back();
    w.engine = static_cast<int>(w.names.size()) - 1;
  }
  return w;
}

CWrkSpc::CWrkSpc(Host h) : host(std::move(h)) { reset(); }

void CWrkSpc::reset() {
  name.clear();
  readProblems = 0;
  text = KvWorkspaceText{{"Kelvane"}, {""}, 0, {}};
}

bool CWrkSpc::IsCallback(intptr_t addr) const {
  return addr && (addr == reinterpret_cast<intptr_t>(cbOpen) || addr == reinterpret_cast<intptr_t>(cbSave) ||
                  addr == reinterpret_cast<intptr_t>(cbClose));
}

HRESULT CWrkSpc::GetIDOfName(const std::string& n) {
  static const char* const names[] = {"Init", "Open", "Close", "Save", "SaveAs", "Name", "Buffer",
                                      "GetSectionCount", "GetSectionName", "GetSection"};
  for (const char* m : names)
    if (strcasecmp(m, n.c_str()) == 0) return S_OK;
  return DISP_E_UNKNOWNNAME;
}

void CWrkSpc::nameChanged() {
  for (auto [cookie, s] : std::vector(sinks)) s->NameChanged();
}

void CWrkSpc::bufferChanged() {
  for (auto [cookie, s] : std::vector(sinks)) s->BufferChanged();
}

HRESULT CWrkSpc::Init(KvCallbackFn open, KvCallbackFn save, KvCallbackFn close) {
  cbOpen = open, cbSave = save, cbClose = close;
  return S_OK;
}

HRESULT CWrkSpc::Open(const std::string& fileName, long* out) {
  long r = -1;
  if (!name.empty() || !Buffer().empty()) {
    if (host.log) host.log("Close the Workspace first", 6);
  } else {
    std::string all, error;
    if (!readTextFile(fileName, all, error)) {
      const std::string why = "Workspace not found: \"" + fileName + "\": " + error;
      if (host.log) host.log(errno == ENOENT ? "Workspace not found" : why.c_str(), 6);
    } else {
      text = KvParseWorkspace(all);
      readProblems = static_cast<long>(text.problems.size());
      for (const std::string& p : text.problems)
        if (host.log) host.log(p.c_str(), 6);
      r = cbOpen ? cbOpen(reinterpret_cast<intptr_t>(fileName.c_str()), 0) : -1;
      name = fileName;
      nameChanged();
      bufferChanged();
    }
  }
  if (out) *out = r;
  return S_OK;
}

HRESULT CWrkSpc::Close(long* out) {
  const long r = cbClose ? cbClose(0, 0) : -1;
  reset();
  nameChanged();
  bufferChanged();
  if (out) *out = r;
  return S_OK;
}

HRESULT CWrkSpc::Save(long* out) {
  const long r = cbSave ? cbSave(reinterpret_cast<intptr_t>(name.c_str()), 0) : -1;
  if (out) *out = r;
  return S_OK;
}

HRESULT CWrkSpc::SaveAs(const std::string& fileName, long* out) {
  name = fileName;
  const long r = cbSave ? cbSave(reinterpret_cast<intptr_t>(name.c_str()), 0) : -1;
  nameChanged();
  if (out) *out = r;
  return S_OK;
}

HRESULT CWrkSpc::get_Name(std::string* out) {
  if (!out) return E_POINTER;
  *out = name;
  return S_OK;
}

HRESULT CWrkSpc::get_Buffer(std::string* out) {
  if (!out) return E_POINTER;
  *out = Buffer();
  return S_OK;
}

HRESULT CWrkSpc::put_Buffer(const std::string& t) {
  text.contents[static_cast<size_t>(text.engine)] = t;
  if (host.loadNetlist) host.loadNetlist();
  bufferChanged();
  return S_OK;
}

HRESULT CWrkSpc::GetSectionCount(long* out) {
  if (!out) return E_POINTER;
  *out = static_cast<long>(text.names.size());
  return S_OK;
}

HRESULT CWrkSpc::GetSectionName(long idx, std::string* out) {
  if (idx < 0 || idx >= static_cast<long>(text.names.size())) return DISP_E_BADINDEX;
  if (!out) return E_POINTER;
  *out = text.names[static_cast<size_t>(idx)];
  return S_OK;
}

HRESULT CWrkSpc::GetSection(long idx, std::string* out) {
  if (idx < 0 || idx >= static_cast<long>(text.contents.size())) return DISP_E_BADINDEX;
  if (!out) return E_POINTER;
  *out = text.contents[static_cast<size_t>(idx)];
  return S_OK;
}

HRESULT CWrkSpc::Advise(IWrkSpcEvents* sink, long* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = nextCookie++;
  sinks.emplace_back(*cookie, sink);
  return S_OK;
}

HRESULT CWrkSpc::Unadvise(long cookie) {
  for (auto i = sinks.begin(); i != sinks.end(); ++i)
    if (i->first == cookie) {
      sinks.erase(i);
      return S_OK;
    }
  return E_INVALIDARG;
}
