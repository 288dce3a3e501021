#include "KvCore/Engine.h"

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

// Entries for the modules: whatever thread calls them, the event is raised on the engine's.
void notifyEntry(const char* name, const char* value) {
  if (CGlobalData* g = KvGlobal()) {
    NameValue nv{name, value};
    SendMessage(g->eventWnd, kMsgValueChanged, 0, reinterpret_cast<intptr_t>(&nv));
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

long CEngine::DispatchEvent(unsigned msg, intptr_t lp) {
  CEngine* e = engineOf(KvGlobal());
  if (!e) return 0;
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
      if (auto* nv = reinterpret_cast<NameValue*>(lp)) e->ValueChanged(nv->name, nv->value);
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
  acq = std::make_unique<CAcq>(global, comps, order);
}

CEngine::~CEngine() {
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

void CEngine::ValueChanged(const char* component, const char* name) {
  if (onValueChanged) onValueChanged(component, name);
}

long CEngine::SetPathLib(const CStr& path) {
  CStr p = path;
  return global.SetPathLib(p);
}
