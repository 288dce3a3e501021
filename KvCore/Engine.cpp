#include "KvCore/Engine.h"

#include <stdlib.h>

#include <algorithm>

#include "KvCore/Message.h"
#include "KvDll/DynLib.h"

namespace {

// The error-report entry of the engine: every report of the shared library and the modules
// becomes a log line with severity 3.
void logReport(long site, long, long line, const char* message, const char* unit) {
  if (CGlobalData* g = KvGlobal()) {
    CStr text = CStr(unit) + "(" + CStr(line) + "): " + message + " [" + CStr(site) + "]";
    g->log.Add(text, LogErr);
  }
}

struct NameValue {
  const char* name;
  const char* value;
};
struct NameShow {
  const char* name;
  long show;
};

CEngine* engineOf(CGlobalData* g) { return g ? static_cast<CEngine*>(g->app) : nullptr; }

// Marks a ValueChanged message whose names wait in the engine's queue rather than in lp.
constexpr intptr_t kQueued = 1;

// Entries for the modules: whatever thread calls them, the event is raised on the engine's.
// From another thread the notification is queued and raised later: the caller holds its
// instance's step lock, and a handler on the engine's thread (a panel re-reading the value)
// may be waiting for that very lock.
void notifyEntry(const char* name, const char* value) {
  CGlobalData* g = KvGlobal();
  if (!g) return;
  if (IsWindowThread(g->eventWnd)) {
    NameValue nv{name, value};
    SendMessage(g->eventWnd, kMsgValueChanged, 0, reinterpret_cast<intptr_t>(&nv));
  } else if (CEngine* e = engineOf(g)) {
    e->QueueValueChanged(name, value);
  }
}

void visibleSetEntry(const char* name, long show) {
  if (CGlobalData* g = KvGlobal()) {
    NameShow ns{name, show ? 1 : 0};
    SendMessage(g->eventWnd, kMsgShowGui, 0, reinterpret_cast<intptr_t>(&ns));
  }
}

long visibleGetEntry(const char* name) {
  NameShow ns{name, 2};
  if (CGlobalData* g = KvGlobal()) SendMessage(g->eventWnd, kMsgShowGui, 0, reinterpret_cast<intptr_t>(&ns));
  return ns.show;
}

void releaseEntry(void* slot) {
  if (CEngine* e = engineOf(KvGlobal())) e->RunOrder().Release(slot);
}

}  // namespace

void CEngine::QueueValueChanged(const char* component, const char* name) {
  {
    std::lock_guard lk(queuedLock);
    queued.emplace_back(component ? component : "", name ? name : "");
  }
  PostMessage(global.eventWnd, kMsgValueChanged, kQueued, 0);
}

void CEngine::RaiseQueued() {
  for (;;) {
    std::pair<std::string, std::string> nv;
    {
      std::lock_guard lk(queuedLock);
      if (queued.empty()) return;
      nv = std::move(queued.front());
      queued.pop_front();
    }
    ValueChanged(nv.first.c_str(), nv.second.c_str());
  }
}

long CEngine::DispatchEvent(unsigned msg, intptr_t wp, intptr_t lp) {
  CEngine* e = engineOf(KvGlobal());
  // While the engine goes, its worker's last messages are served but raise nothing: the
  // handlers' owners may be gone already.
  if (!e || e->closing.load()) return 0;
  switch (msg) {
    case kMsgBeforeAcq:
      if (e->onBeforeAcq) e->onBeforeAcq(static_cast<long>(lp));
      break;
    case kMsgAfterAcq:
      if (e->onAfterAcq) e->onAfterAcq(static_cast<long>(lp));
      break;
    case kMsgAcqAborted:
      if (e->onAcqAborted) e->onAcqAborted(static_cast<long>(lp));
      break;
    case kMsgAcqIdle:
      if (e->onAcqIdle) e->onAcqIdle();
      break;
    case kMsgValueChanged:
      if (wp == kQueued)
        e->RaiseQueued();
      else if (auto* nv = reinterpret_cast<NameValue*>(lp))
        e->ValueChanged(nv->name, nv->value);
      break;
    case kMsgShowGui:
      if (auto* ns = reinterpret_cast<NameShow*>(lp); ns && e->onShowGui) e->onShowGui(ns->name, ns->show);
      break;
    default: break;
  }
  return 0;
}

CEngine::CEngine() : comps(global), order(global), parser(comps, &net, *this), net(comps, parser.CmdList()) {
  global.app = this;
  eventWnd = CreateWindow(eventProc);
  global.eventWnd = eventWnd;
  global.notify = notifyEntry;
  global.visibleSet = visibleSetEntry;
  global.visibleGet = visibleGetEntry;
  global.release = releaseEntry;
  global.SetErrReport(logReport);
  comps.notify = [this](const char* name, const char* what) { ValueChanged(name, what); };
  comps.passActive = [this] { return acq && acq->Active(); };
  acq = std::make_unique<CAcq>(global, comps, order);
}

CEngine::~CEngine() {
  closing.store(true);
  acq.reset();  // the worker ends before anything it uses
  comps.notify = nullptr;
  if (KvGetErrReport() == logReport) global.SetErrReport(nullptr);
  DestroyWindow(eventWnd);
  global.eventWnd = 0;
}

int CEngine::Execute(const char* line, CStr& answer) {
  CStr processed(line);
  CStr message;
  const int result = parser.Execute(processed, message);
  answer = message.IsEmpty() ? processed : message;
  return result;
}

int CEngine::Execute(std::string_view line, CStr& answer) {
  const size_t nul = line.find('\0');
  if (nul == std::string_view::npos) return Execute(std::string(line).c_str(), answer);
  const std::string before(line.substr(0, std::min<size_t>(nul, 40)));
  return KvFail(answer, "Line holds a NUL character", before.c_str());
}

namespace {

// The folder a path names, links and ".." resolved; empty when it does not exist.
std::string resolvedFolder(const std::string& path) {
  if (path.empty()) return {};
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  ::free(real);
  return out;
}

}  // namespace

void CEngine::TrustLibrary(const CStr& folder) {
  if (!folder.IsEmpty()) trusted.emplace_back(folder.GetBfr(), static_cast<size_t>(folder.GetLength()));
}

bool CEngine::LibraryAllowed(const CStr& folder) {
  if (!replaying) return true;
  const std::string wanted = resolvedFolder(std::string(folder.GetBfr(), static_cast<size_t>(folder.GetLength())));
  if (wanted.empty()) return false;
  std::vector<std::string> candidates = trusted;
  candidates.emplace_back(KvJoinPath(AppPath(), "Lib").GetBfr());
  candidates.emplace_back(KvProgramFolder() + "/Lib");
  const CStr listed = GetSetting("Settings", "Libraries", "");
  const std::string list(listed.GetBfr(), static_cast<size_t>(listed.GetLength()));
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find(':', at);
    if (end == std::string::npos) end = list.size();
    if (end > at) candidates.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  for (const std::string& c : candidates)
    if (resolvedFolder(c) == wanted) return true;
  return false;
}

void CEngine::ValueChanged(const char* component, const char* name) {
  if (onValueChanged) onValueChanged(component, name);
}

CStr CEngine::AppPath() {
  if (!appPath.IsEmpty()) return appPath;
  if (!global.appPath.IsEmpty()) return global.appPath;
  return CStr(KvProgramFolder().c_str());
}

long CEngine::SetPathLib(const CStr& path) {
  CStr p = path;
  return global.SetPathLib(p);
}
