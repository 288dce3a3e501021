#include "KvDll/GlobalData.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "KvDll/FileRead.h"
#include "KvDll/IniStore.h"
#include "KvDll/WndMsg.h"

namespace {

const char* const kUnit = "KvDll/GlobalData";
std::atomic<CGlobalData*> g_global{nullptr};

void outOfMemory(long site, long line) { KvErrReport(site, line, "Insufficient memory", kUnit); }

// Raises a thread one step above normal. Lowering a nice value needs privileges that a
// desktop user rarely has; without them the thread keeps its priority.
void raiseThread(intptr_t tid) {
  if (tid <= 0) return;
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), now - 1);
}

// mods.lst is a short list; a FIFO or device under that name must not hold the engine.
bool readWholeFile(const CStr& path, std::string& out) {
  std::string error;
  return KvReadFile(path.GetBfr(), size_t{1} << 20, out, error);
}

}  // namespace

CGlobalData* KvGlobal() { return g_global.load(std::memory_order_acquire); }

CGlobalData::CGlobalData() : modNames(new CObjArr<CStr>), modTexts(new CObjArr<CStr>) {
  scratch = static_cast<char*>(KV_MALLOC(kScratchSize));
  if (!scratch) outOfMemory(1, __LINE__);
  g_global.store(this, std::memory_order_release);
}

CGlobalData::~CGlobalData() {
  KV_FREE(scratch);
  scratch = nullptr;
  CLog::End();
  CStatusBar2::End();
  while (depth > 0) removeInnermost();
  KV_FREE(opers);
  opers = nullptr;
  delete modNames;
  delete modTexts;
  modNames = modTexts = nullptr;
  CGlobalData* self = this;
  g_global.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void CGlobalData::InitFuns(intptr_t table) {
  funs = reinterpret_cast<intptr_t*>(table);
  if (!funs) {
    hostValues[0] = hostValues[1] = hostValues[2] = 0;
    return;
  }
  hostValues[0] = funs[kStartMainWnd];
  hostValues[1] = funs[kStartClientWnd];
  hostValues[2] = funs[kStartInstance];
  appName = CStr(reinterpret_cast<unsigned short*>(funs[kStartAppName]));
  appPath = CStr(reinterpret_cast<unsigned short*>(funs[kStartAppPath]));
  CStr lib = KvJoinPath(appPath, "Lib");
  SetPathLib(lib);
  raiseThread(funs[kStartThread]);
}

long CGlobalData::SetPathLib(CStr& path) {
  libPath = path;
  std::string text;
  if (!readWholeFile(KvJoinPath(libPath, "mods.lst"), text)) return -1;
  modNames->RemoveAll();
  modTexts->RemoveAll();
  ParseModsLst(text.data(), static_cast<long>(text.size()), modNames, modTexts);
  return 0;
}

void CGlobalData::SetErrReport(KvErrReportFn fn) {
  errReport = fn;
  KvSetErrReport(fn);
}

// ---------------------------------------------------------------------------------------
// The operation stack
// ---------------------------------------------------------------------------------------

bool CGlobalData::isOpen(long oper) const { return oper >= 1 && oper <= depth && opers[oper - 1]->number != -1; }

long CGlobalData::StartOper(const char* name, long parts) {
  if (!funs) return 1;
  return OpenStatus(name, parts);
}

long CGlobalData::OpenStatus(const char* name, long parts) {
  if (!funs) return 1;
  const int32_t n = depth + 1;
  if (n > INT16_MAX) {
    outOfMemory(2, __LINE__);
    return -1;
  }
  if (n > operCapacity) {
    auto** grown = static_cast<OperRec**>(KV_REALLOC(opers, sizeof(OperRec*) * static_cast<size_t>(n)));
    if (!grown) {
      outOfMemory(3, __LINE__);
      return -1;
    }
    opers = grown;
    operCapacity = n;
  }
  opers[n - 1] = new OperRec{n, static_cast<int32_t>(parts), 0, CStr(name ? name : ""), 0.0f, KvTickCount()};
  StatusBar(name);
  pendingOpen = n;
  dlyOpen();
  depth = static_cast<int16_t>(n);
  updateProg();
  return n;
}

void CGlobalData::dlyOpen() {
  if (pendingOpen != 1) return;
  const KvWnd bar = CStatusBar2::hwndPanel[1];
  SendMessage(bar, KV_PBM_SETRANGE, 0, 100);
  SendMessage(bar, KV_PBM_SETSTEP, 1, 0);
  SendMessage(bar, KV_PBM_SETPOS, 0, 0);
  visible(true);
}

long CGlobalData::NextOper(const char*, long, long) { return 0; }

bool CGlobalData::nextOperation(const char* name, long count, long oper) {
  if (!funs) return true;
  if (!isOpen(oper)) return false;
  OperRec* r = opers[oper - 1];
  r->name = name ? name : "";
  r->done += static_cast<int32_t>(count);
  if (oper == depth) {
    StatusBar((" " + r->name).GetBfr());
    updateProg();
  }
  return true;
}

bool CGlobalData::nextOperNum(const char* name, long count, long oper) {
  if (!funs) return true;
  if (!isOpen(oper)) return false;
  OperRec* r = opers[oper - 1];
  r->name = name ? name : "";
  r->done = static_cast<int32_t>(count);
  if (oper == depth) {
    StatusBar((" " + r->name).GetBfr());
    updateProg();
  }
  return true;
}

long CGlobalData::UpdateOper(float percent, long oper) { return update(percent, oper) ? 1 : 0; }

bool CGlobalData::update(float percent, long oper) {
  const bool aborting = abort.load(std::memory_order_relaxed) != 0;
  // Without a host there is nothing to show, but the work must still see an abort.
  if (!funs) return aborting;
  if (!isOpen(oper)) return false;
  opers[oper - 1]->percent = percent;
  if (oper == depth) updateProg();
  return aborting;
}

float CGlobalData::GetProgress() const {
  if (depth <= 0) return -1.0f;
  const OperRec* r = opers[depth - 1];
  return (static_cast<float>(r->done) * 100.0f + r->percent) / static_cast<float>(std::max(r->parts, 1));
}

void CGlobalData::updateProg() {
  if (depth <= 0) return;
  const double p = std::trunc(static_cast<double>(GetProgress()));
  const long pos = std::isnan(p) ? 0 : static_cast<long>(std::clamp(p, 0.0, 100.0));
  SendMessage(CStatusBar2::hwndPanel[1], KV_PBM_SETPOS, pos, 0);
}

void CGlobalData::EndOper(long oper) { CloseStatus(oper); }

void CGlobalData::removeInnermost() {
  delete opers[depth - 1];
  opers[depth - 1] = nullptr;
  --depth;
}

bool CGlobalData::CloseStatus(long oper) {
  if (!funs) return true;
  if (oper < 1 || oper > depth) return false;
  if (oper != depth) {
    opers[oper - 1]->number = -1;  // closed early: goes when the ones inside it have closed
    return true;
  }
  removeInnermost();
  while (depth > 0 && opers[depth - 1]->number == -1) removeInnermost();
  bool ok = true;
  if (depth == 0) {
    KV_FREE(opers);
    opers = nullptr;
    operCapacity = 0;
  } else if (auto** shrunk = static_cast<OperRec**>(KV_REALLOC(opers, sizeof(OperRec*) * static_cast<size_t>(depth)))) {
    opers = shrunk;
    operCapacity = depth;
  } else {
    outOfMemory(4, __LINE__);  // the larger array stays in use
    ok = false;
  }
  if (depth > 0) {
    StatusBar(opers[depth - 1]->name.GetBfr());
    updateProg();
  } else {
    visible(false);
    StatusBar("");
  }
  return ok;
}

bool CGlobalData::visible(bool show) {
  if (!funs) return true;
  const KvWnd text = CStatusBar2::hwndPanel[0], bar = CStatusBar2::hwndPanel[1];
  const KvRect r = KvGetWindowRect(text);
  if (show) {
    KvMoveWindow(text, r.x, r.y, KvGetWindowRect(bar).x - 2 - r.x, r.height);
  } else {
    KvMoveWindow(text, r.x, r.y, KvGetClientRect(CStatusBar2::Parent()).width - r.x, r.height);
  }
  KvShowWindow(bar, show);
  return true;
}

void CGlobalData::StatusBar(const char* text) {
  if (!funs) return;
  KvSetWindowText(CStatusBar2::hwndPanel[0], text);
}

void CGlobalData::StatusBar(CStr& text) { StatusBar(text.GetBfr()); }

CStr* CGlobalData::GetPanel(long) { return &statusPanel; }

// ---------------------------------------------------------------------------------------
// mods.lst, paths and settings
// ---------------------------------------------------------------------------------------

void ParseModsLst(const char* text, long len, CObjArr<CStr>* names, CObjArr<CStr>* texts) {
  if (!text || len <= 0) return;
  const std::string_view all(text, static_cast<size_t>(len));
  size_t at = 0;
  while (at < all.size()) {
    size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) continue;
    names->Add(new CStr(line.data(), static_cast<long>(comma)));
    texts->Add(new CStr(line.data() + comma + 1, static_cast<long>(line.size() - comma - 1)));
  }
}

CStr KvJoinPath(const CStr& folder, const char* name) {
  CStr out = folder;
  if (out.IsEmpty() || out.GetBfr()[out.GetLength() - 1] != '/') out += '/';
  out += name ? name : "";
  return out;
}

namespace {
std::string settingsApp() {
  CGlobalData* g = KvGlobal();
  return g ? std::string(g->appName.GetBfr(), static_cast<size_t>(g->appName.GetLength())) : std::string();
}
}  // namespace

CStr GetSetting(const char* section, const char* key, const char* def) {
  std::string value;
  if (IniRead(settingsApp(), section ? section : "", key ? key : "", value) && !value.empty())
    return CStr(value.data(), static_cast<long>(value.size()));
  return CStr(def ? def : "");
}

void SaveSetting(const char* section, const char* key, CStr& value) {
  IniWrite(settingsApp(), section ? section : "", key ? key : "",
           std::string(value.GetBfr(), static_cast<size_t>(value.GetLength())));
}
