#include "KvCore/App.h"

#include <strings.h>

#include <cmath>
#include <limits>

#include "KvDll/JMisc.h"

namespace {

const char* const kUnit = "KvCore/App";
CApp* g_app = nullptr;  // the App whose shell window is subclassed

std::string text(const CStr& s) { return std::string(s.GetBfr(), static_cast<size_t>(s.GetLength())); }

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool nameIn(const std::string& n, std::initializer_list<const char*> names) {
  for (const char* m : names)
    if (strcasecmp(m, n.c_str()) == 0) return true;
  return false;
}

}  // namespace

HRESULT KvCreateObject(const char* name, IApp** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!name || (strcasecmp(name, "KvCore.App") != 0 && strcasecmp(name, "KvCore.App.1") != 0))
    return REGDB_E_CLASSNOTREG;
  *out = new CApp;
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// App
// ---------------------------------------------------------------------------------------

CApp::CApp() : engine(std::make_unique<CEngine>()) {
  CEngine& e = *engine;
  e.onValueChanged = [this](const char* c, const char* n) {
    const std::string comp = c ? c : "", var = n ? n : "";
    raise([&](IAppEvents* s) { s->ValueChanged(comp, var); });
  };
  e.onShowGui = [this](const char* c, long& show) {
    const std::string comp = c ? c : "";
    raise([&](IAppEvents* s) { s->ShowGui(comp, show); });
  };
  e.onBeforeAcq = [this](long id) { raise([&](IAppEvents* s) { s->BeforeAcq(id); }); };
  e.onAfterAcq = [this](long id) { raise([&](IAppEvents* s) { s->AfterAcq(id); }); };
  e.onAcqAborted = [this](long id) { raise([&](IAppEvents* s) { s->AcqAborted(id); }); };
  e.onAcqIdle = [this] { raise([&](IAppEvents* s) { s->AcqIdle(); }); };
  e.busyMarked = [this] { return busy.load() > 0; };
  // Until the error-report entry of Utils is installed, reports have nowhere to go.
  e.Global().SetErrReport(nullptr);
  g_app = this;
}

CApp::~CApp() {
  if (shellWnd) Init(0);
  // The objects handed out may outlive the App; they answer E_UNEXPECTED from now on.
  if (utils) {
    if (utils->Refs() > 1) KvDebugReport(1, __LINE__, "IUtils in use", kUnit);
    utils->Detach();
    utils->Release();
  }
  if (wrkspc) {
    if (wrkspc->Refs() > 1) KvDebugReport(2, __LINE__, "IWrkSpc in use", kUnit);
    wrkspc->Detach();
    wrkspc->Release();
  }
  engine.reset();
  if (g_app == this) g_app = nullptr;
}

HRESULT CApp::GetIDOfName(const std::string& n) {
  return nameIn(n, {"Execute", "str", "dbl", "lng", "flt", "unit", "run", "isLoaded", "GetCmdList", "LoadNetlist",
                    "isBusy", "Utils", "WrkSpc", "UnloadNetlist", "kill", "Init", "CompCount", "CompLabel",
                    "CompName", "CompRunOrder", "runstatus", "bStop", "bAbort", "hwnd", "Data", "SetBusy",
                    "SetBusyNot"})
             ? S_OK
             : DISP_E_UNKNOWNNAME;
}

void CApp::raise(const std::function<void(IAppEvents*)>& f) {
  for (auto [cookie, s] : std::vector(sinks)) f(s);  // a handler may unadvise
}

HRESULT CApp::Advise(IAppEvents* sink, long* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = nextCookie++;
  sinks.emplace_back(*cookie, sink);
  return S_OK;
}

HRESULT CApp::Unadvise(long cookie) {
  for (auto i = sinks.begin(); i != sinks.end(); ++i)
    if (i->first == cookie) {
      sinks.erase(i);
      return S_OK;
    }
  return E_INVALIDARG;
}

HRESULT CApp::Execute(const std::string& cmd, std::string* msg, long* result) {
  CStr answer;
  const int r = engine->Execute(std::string_view(cmd), answer);
  if (msg) *msg = text(answer);
  if (result) *result = r;
  return S_OK;
}

// ---- the mod/par accessors ----

HRESULT CApp::resolve(const std::string& mod, const std::string& par, Target& t) {
  if (mod.empty() || par.empty()) return DISP_E_PARAMNOTOPTIONAL;
  t.comp = engine->Components().Find(mod.c_str());
  if (t.comp < 0) return DISP_E_MEMBERNOTFOUND;
  t.par = lower(par).c_str();
  t.desc = engine->Components().Describe(t.comp, t.par);
  if (t.desc.kind == kindNone || t.desc.vt == vtEmpty) return DISP_E_PARAMNOTFOUND;
  return S_OK;
}

void CApp::recordPut(const std::string& mod, const Target& t, const CStr& shown) {
  if (t.desc.kind != kindSysVar) engine->CmdList().Record("set", (CStr(mod.c_str()) + "." + t.par).GetBfr(), shown);
  engine->ValueChanged(mod.c_str(), t.par);
}

HRESULT CApp::get_str(const std::string& mod, const std::string& par, std::string* out) {
  if (!out) return E_POINTER;
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  CModList& c = engine->Components();
  if (t.desc.kind == kindOutPort) {
    // An output whose buffer holds text (signed 8-bit characters).
    CBfr* b = c.OutBuffer(t.comp, t.par);
    if (!b || b->type != bfrI1) return DISP_E_TYPEMISMATCH;
    *out = b->data && b->count > 0 ? std::string(static_cast<const char*>(b->data), static_cast<size_t>(b->count)) : "";
    return S_OK;
  }
  if (t.desc.kind != kindSetting || t.desc.vt != vtStr) return DISP_E_TYPEMISMATCH;
  CStr value;
  if (c.GetText(t.comp, t.par, value) != cmdDone) return DISP_E_PARAMNOTFOUND;
  *out = text(value);
  return S_OK;
}

HRESULT CApp::put_str(const std::string& mod, const std::string& par, const std::string& value) {
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  if ((t.desc.kind != kindSetting && t.desc.kind != kindSysVar) || t.desc.vt != vtStr) return DISP_E_TYPEMISMATCH;
  VPARAM v;
  v.kind = kindSetting;
  v.vt = vtStr;
  v.value.s = value.c_str();
  if (engine->Components().Set(t.comp, t.par, v) != cmdDone) return S_OK;  // refused: no event, nothing kept
  recordPut(mod, t, CStr("\"") + value.c_str() + "\"");
  return S_OK;
}

HRESULT CApp::getNumber(const std::string& mod, const std::string& par, int32_t vt, VPARAM& v) {
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  if ((t.desc.kind != kindSetting && t.desc.kind != kindSysVar) || t.desc.vt != vt) return DISP_E_TYPEMISMATCH;
  v = engine->Components().Get(t.comp, t.par, vt);
  if (v.vt == vtError) return DISP_E_PARAMNOTFOUND;
  return S_OK;
}

HRESULT CApp::putNumber(const std::string& mod, const std::string& par, int32_t vt, VPARAM v, double shown) {
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  if ((t.desc.kind != kindSetting && t.desc.kind != kindSysVar) || t.desc.vt != vt) return DISP_E_TYPEMISMATCH;
  v.kind = kindSetting;
  v.vt = vt;
  if (engine->Components().Set(t.comp, t.par, v) != cmdDone) return S_OK;
  CStr formatted;
  formatted = formatted.Num2Str(shown, 14);
  recordPut(mod, t, formatted);
  return S_OK;
}

HRESULT CApp::get_dbl(const std::string& mod, const std::string& par, double* out) {
  if (!out) return E_POINTER;
  VPARAM v;
  if (HRESULT h = getNumber(mod, par, vtR8, v)) return h;
  *out = v.value.r8;
  return S_OK;
}

HRESULT CApp::put_dbl(const std::string& mod, const std::string& par, double value) {
  VPARAM v;
  v.value.r8 = value;
  return putNumber(mod, par, vtR8, v, value);
}

HRESULT CApp::get_lng(const std::string& mod, const std::string& par, int32_t* out) {
  if (!out) return E_POINTER;
  VPARAM v;
  if (HRESULT h = getNumber(mod, par, vtI4, v)) return h;
  *out = v.value.i4;
  return S_OK;
}

HRESULT CApp::put_lng(const std::string& mod, const std::string& par, int32_t value) {
  VPARAM v;
  v.value.i4 = value;
  return putNumber(mod, par, vtI4, v, value);
}

HRESULT CApp::get_flt(const std::string& mod, const std::string& par, float* out) {
  if (!out) return E_POINTER;
  VPARAM v;
  if (HRESULT h = getNumber(mod, par, vtR4, v)) return h;
  *out = v.value.r4;
  return S_OK;
}

HRESULT CApp::put_flt(const std::string& mod, const std::string& par, float value) {
  VPARAM v;
  v.value.r4 = value;
  return putNumber(mod, par, vtR4, v, value);
}

HRESULT CApp::get_unit(const std::string& mod, const std::string& par, std::string* out) {
  if (!out) return E_POINTER;
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  *out = text(engine->Components().Unit(t.comp, t.par));
  return S_OK;
}

HRESULT CApp::get_Data(const std::string& mod, const std::string& par, std::string* out) {
  if (!out) return E_POINTER;
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  if (t.desc.kind != kindOutPort) return DISP_E_TYPEMISMATCH;
  out->clear();
  return S_OK;
}

HRESULT CApp::put_Data(const std::string& mod, const std::string& par, const std::string&) {
  Target t;
  if (HRESULT h = resolve(mod, par, t)) return h;
  return t.desc.kind == kindOutPort ? S_OK : DISP_E_TYPEMISMATCH;
}

// ---- the network ----

HRESULT CApp::run(long count, long* out) {
  const long r = engine->Acq().run(count);
  if (out) *out = r;
  return S_OK;
}

HRESULT CApp::isLoaded(const std::string& comp, bool* out) {
  if (!out) return E_POINTER;
  *out = false;
  CModList& c = engine->Components();
  for (int i = 0; i < c.Count(); ++i)
    if (comp == c.Label(i)) *out = true;
  return S_OK;
}

HRESULT CApp::GetCmdList(std::string* out) {
  if (!out) return E_POINTER;
  *out = text(engine->GetCmdList());
  return S_OK;
}

HRESULT CApp::LoadNetlist(long* out) {
  long failures = 0;
  if (wrkspc) {
    // What the reading of the file found wrong (already logged) counts as failing lines do.
    failures += wrkspc->TakeReadProblems();
    const std::string all = wrkspc->Buffer();
    // A setup is someone else's text: its lines may not load code from where they please.
    struct Replay {
      CEngine& e;
      bool was;
      explicit Replay(CEngine& e) : e(e), was(e.Replaying()) { e.SetReplaying(true); }
      ~Replay() { e.SetReplaying(was); }
    } replay(*engine);
    size_t start = 0;
    for (long n = 0; start <= all.size(); ++n) {
      size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      std::string line = all.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      CStr answer;
      if (engine->Execute(std::string_view(line), answer) < 0) {
        ++failures;
        CStr msg = CStr("Line ") + CStr(n) + ": " + answer;
        engine->Global().log.Add(msg, LogSysErr);
      }
      start = end + 1;
    }
  }
  if (out) *out = failures;
  return S_OK;
}

HRESULT CApp::get_isBusy(bool* out) {
  if (!out) return E_POINTER;
  *out = engine->Acq().isBusy() || busy.load() > 0;
  return S_OK;
}

HRESULT CApp::SetBusy(long* handle) {
  const long n = ++busy;
  if (handle) *handle = n;
  return S_OK;
}

HRESULT CApp::SetBusyNot(long) {
  --busy;
  return S_OK;
}

HRESULT CApp::get_Utils(IUtils** out) {
  if (!out) return E_POINTER;
  if (!utils) {
    utils = new CUtils(this);
    // Reports of the library and the modules now reach the log, as ErrMsg writes them.
    engine->Global().SetErrReport([](long site, long vbErr, long line, const char* message, const char* unit) {
      if (g_app && g_app->utils) g_app->utils->ErrMsg(site, vbErr, line, message ? message : "", unit ? unit : "");
    });
  }
  utils->AddRef();
  *out = utils;
  return S_OK;
}

HRESULT CApp::get_WrkSpc(IWrkSpc** out) {
  if (!out) return E_POINTER;
  if (!wrkspc) {
    CWrkSpc::Host host;
    host.loadNetlist = [this] {
      long n = 0;
      LoadNetlist(&n);
      return n;
    };
    host.log = [this](const char* msg, long sev) { engine->Global().log.Add(msg, static_cast<lgSeverity>(sev)); };
    wrkspc = new CWrkSpc(std::move(host));
  }
  wrkspc->AddRef();
  *out = wrkspc;
  return S_OK;
}

HRESULT CApp::UnloadNetlist(long* out) {
  if (engine->NetworkLocked()) {
    engine->Global().log.Add("The network cannot be changed while an acquisition runs", LogSysErr);
    if (out) *out = -1;
    return S_OK;
  }
  engine->Components().DestroyAll();
  engine->CmdList().Clear();
  engine->RunOrder().Clear();
  if (out) *out = 0;
  return S_OK;
}

HRESULT CApp::kill(long mSecs, long* out) {
  const long r = engine->Acq().kill(mSecs);
  if (out) *out = r;
  return S_OK;
}

HRESULT CApp::clampIndex(long& idx) {
  const long n = engine->Components().Count();
  if (n == 0) return DISP_E_BADINDEX;
  idx = idx < 0 ? 0 : idx >= n ? n - 1 : idx;
  return S_OK;
}

HRESULT CApp::get_CompCount(long* out) {
  if (!out) return E_POINTER;
  // While passes run the worker owns the run-order tables; it rebuilds them every pass.
  if (!engine->PassesActive()) engine->RunOrder().Compute(engine->Components());
  *out = engine->Components().Count();
  return S_OK;
}

HRESULT CApp::get_CompLabel(long idx, std::string* out) {
  if (!out) return E_POINTER;
  if (HRESULT h = clampIndex(idx)) return h;
  *out = text(engine->Components().Rec(idx)->name);
  return S_OK;
}

HRESULT CApp::get_CompName(long idx, std::string* out) {
  if (!out) return E_POINTER;
  if (HRESULT h = clampIndex(idx)) return h;
  *out = text(engine->Components().Rec(idx)->file);
  return S_OK;
}

HRESULT CApp::get_CompRunOrder(long idx, long* out) {
  if (!out) return E_POINTER;
  if (HRESULT h = clampIndex(idx)) return h;
  *out = engine->Components().Rec(idx)->runOrder;
  return S_OK;
}

// ---- acquisition state ----

HRESULT CApp::get_runstatus(long* out) {
  if (!out) return E_POINTER;
  *out = engine->Acq().runstatus();
  return S_OK;
}

HRESULT CApp::get_bStop(bool* out) {
  if (!out) return E_POINTER;
  *out = engine->Acq().stopFlag();
  return S_OK;
}

HRESULT CApp::put_bStop(bool v) {
  if (v)
    engine->Acq().stop();
  else
    engine->Acq().clearStop();
  return S_OK;
}

HRESULT CApp::get_bAbort(bool* out) {
  if (!out) return E_POINTER;
  *out = engine->Global().abort.load() != 0;
  return S_OK;
}

HRESULT CApp::put_bAbort(bool v) {
  if (v)
    engine->Acq().abort();
  else
    engine->Acq().clearAbort();
  return S_OK;
}

HRESULT CApp::get_hwnd(KvWnd* out) {
  if (!out) return E_POINTER;
  *out = shellWnd;
  return S_OK;
}

// ---- start-up and shut-down ----

long CApp::shellWndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  if (msg >= 2024 && msg <= 2034) return CEngine::DispatchEvent(msg, wp, lp);
  return CallWindowProc(g_app && g_app->shellWnd == wnd ? g_app->shellProc : nullptr, wnd, msg, wp, lp);
}

HRESULT CApp::Init(intptr_t record) {
  CGlobalData& g = engine->Global();
  if (!record) {
    if (shellWnd && GetWindowProc(shellWnd) == shellWndProc) SetWindowProc(shellWnd, shellProc);
    shellWnd = 0;
    shellProc = nullptr;
    engine->SetEventWindow(0);
    g.InitFuns(0);
    return S_OK;
  }
  g.InitFuns(record);
  const auto* entries = reinterpret_cast<const intptr_t*>(record);
  const KvWnd wnd = static_cast<KvWnd>(entries[kStartMainWnd]);
  if (IsWindow(wnd)) {
    shellWnd = wnd;
    shellProc = SetWindowProc(wnd, shellWndProc);
    engine->SetEventWindow(wnd);
  }
  if (const KvWnd logParent = static_cast<KvWnd>(entries[kStartLogWnd])) {
    CStatusBar2::Init(static_cast<KvWnd>(entries[kStartStatusWnd]), entries[kStartInstance]);
    CLog::Init(logParent, entries[kStartInstance]);
  }
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// Utils
// ---------------------------------------------------------------------------------------

#define KV_NEED_APP \
  if (!app) return E_UNEXPECTED
#define KV_NEED_OUT \
  if (!out) return E_POINTER

HRESULT CUtils::GetIDOfName(const std::string& n) {
  return nameIn(n, {"AddLog", "AppendLog", "scale125", "Str2Num", "Num2Str", "SaveSetting", "GetSetting", "Step",
                    "safeadd", "LibraryPath", "WorkspacePath", "LastUsedPath", "StatusBar", "ErrMsg", "AppTitle",
                    "OperStart", "OperEnd", "OperUpdate", "guiWidth", "guiHeight", "Version", "InstalledModList",
                    "GetInstalledModList", "DBLPINF", "DBLNINF", "IsMember", "HoldLog", "SetHwndLog", "call",
                    "GetGapp"})
             ? S_OK
             : DISP_E_UNKNOWNNAME;
}

HRESULT CUtils::AddLog(const std::string& msg, LogSeverity severity) {
  KV_NEED_APP;
  CStr m(msg.c_str());
  app->Engine().Global().log.Add(m, static_cast<lgSeverity>(severity));
  return S_OK;
}

HRESULT CUtils::AppendLog(const std::string& msg, LogSeverity severity) {
  KV_NEED_APP;
  CStr m(msg.c_str());
  app->Engine().Global().log.Append(m, static_cast<lgSeverity>(severity));
  return S_OK;
}

HRESULT CUtils::scale125(double val, bool up, double* out) {
  KV_NEED_OUT;
  *out = ::scale125(val, up ? 1 : 0);
  return S_OK;
}

HRESULT CUtils::Str2Num(const std::string& val, double* out) {
  KV_NEED_OUT;
  *out = CStr(val.c_str()).Str2Num();
  return S_OK;
}

HRESULT CUtils::Num2Str(double val, long digits, std::string* out) {
  KV_NEED_OUT;
  CStr s;
  *out = text(s.Num2Str(val, digits));
  return S_OK;
}

HRESULT CUtils::SaveSetting(const std::string& section, const std::string& key, const std::string& setting) {
  CStr v(setting.c_str());
  ::SaveSetting(section.c_str(), key.c_str(), v);
  return S_OK;
}

HRESULT CUtils::GetSetting(const std::string& section, const std::string& key, const std::string& def, std::string* out) {
  KV_NEED_OUT;
  *out = text(::GetSetting(section.c_str(), key.c_str(), def.c_str()));
  return S_OK;
}

HRESULT CUtils::Step(double* variable, double stepSize, double minStep) {
  if (!variable) return E_POINTER;
  double& x = *variable;
  if (x == 0) {
    x = stepSize < 0 ? -minStep : minStep;
    return S_OK;
  }
  const double a = std::fabs(x);
  double e = std::trunc(std::log(a * 1.00000000000001) / std::log(10.0));
  if (a < 1) e -= 1;
  if (std::fabs(std::pow(10.0, e) - a) <= 1e-14 && stepSize < 0) e -= 1;
  double step = std::fabs(stepSize) * std::pow(10.0, e);
  if (step < minStep) step = minStep;
  if (stepSize < 0) step = -step;
  x += step;
  return S_OK;
}

HRESULT CUtils::safeadd(double* variable, double offset) {
  if (!variable) return E_POINTER;
  double& x = *variable;
  if (x != 0 && std::fabs((x + offset) / x) < 1e-14)
    x = 0;
  else
    x += offset;
  return S_OK;
}

HRESULT CUtils::get_LibraryPath(std::string* out) {
  KV_NEED_APP;
  KV_NEED_OUT;
  *out = text(app->Engine().GetPathLib());
  return S_OK;
}

HRESULT CUtils::put_LibraryPath(const std::string& path) {
  KV_NEED_APP;
  // The program's own choice (kvsh --lib, the desktop's settings): a setup may use it too.
  app->Engine().TrustLibrary(CStr(path.c_str()));
  app->Engine().SetPathLib(CStr(path.c_str()));
  return S_OK;
}

HRESULT CUtils::get_WorkspacePath(std::string* out) {
  KV_NEED_APP;
  KV_NEED_OUT;
  *out = workspacePath.empty() ? text(app->Engine().Global().appPath) : workspacePath;
  return S_OK;
}

HRESULT CUtils::put_WorkspacePath(const std::string& path) {
  workspacePath = path;
  return S_OK;
}

HRESULT CUtils::get_LastUsedPath(std::string* out) {
  KV_NEED_OUT;
  *out = lastUsedPath;
  return S_OK;
}

HRESULT CUtils::put_LastUsedPath(const std::string& path) {
  lastUsedPath = path;
  return S_OK;
}

HRESULT CUtils::get_StatusBar(std::string* out) {
  KV_NEED_OUT;
  *out = statusText;
  return S_OK;
}

HRESULT CUtils::put_StatusBar(const std::string& t) {
  KV_NEED_APP;
  statusText = t;
  app->Engine().Global().StatusBar(t.c_str());
  return S_OK;
}

HRESULT CUtils::ErrMsg(long modErrNum, long vbErrNum, long line, const std::string& desc, const std::string& comp) {
  KV_NEED_APP;
  CStr m = CStr(comp.c_str()) + ": Error " + CStr(modErrNum) + "/" + CStr(vbErrNum) + " in line " + CStr(line) + ": " +
           desc.c_str();
  app->Engine().Global().log.Add(m, LogErr);
  return S_OK;
}

HRESULT CUtils::get_AppTitle(std::string* out) {
  KV_NEED_APP;
  KV_NEED_OUT;
  *out = text(app->Engine().Global().appName);
  return S_OK;
}

HRESULT CUtils::OperStart(const std::string& label, long* id) {
  KV_NEED_APP;
  const long r = app->Engine().Global().StartOper(label.c_str(), 1);
  if (id) *id = r;
  return S_OK;
}

HRESULT CUtils::OperEnd(long statusId, long* out) {
  KV_NEED_APP;
  const bool ok = app->Engine().Global().CloseStatus(statusId);
  if (out) *out = ok ? 1 : 0;
  return S_OK;
}

HRESULT CUtils::OperUpdate(long statusId, float percent, long* out) {
  KV_NEED_APP;
  const long r = app->Engine().Global().UpdateOper(percent, statusId);
  if (out) *out = r;
  return S_OK;
}

HRESULT CUtils::get_guiWidth(float* out) {
  KV_NEED_OUT;
  *out = guiWidth;
  return S_OK;
}
HRESULT CUtils::put_guiWidth(float v) {
  guiWidth = v;
  return S_OK;
}
HRESULT CUtils::get_guiHeight(float* out) {
  KV_NEED_OUT;
  *out = guiHeight;
  return S_OK;
}
HRESULT CUtils::put_guiHeight(float v) {
  guiHeight = v;
  return S_OK;
}

HRESULT CUtils::get_Version(std::string* out) {
  KV_NEED_APP;
  KV_NEED_OUT;
  *out = "KvCore, 1.0.7, Linux\r\nKvDll, " + text(app->Engine().Global().version) + ", C++20";
  return S_OK;
}

HRESULT CUtils::get_InstalledModList(std::string* out) {
  KV_NEED_APP;
  KV_NEED_OUT;
  const CObjArr<CStr>& names = *app->Engine().Global().modNames;
  out->clear();
  for (int i = 0; i < names.count; ++i) {
    if (i) *out += ",";
    *out += text(*names.items[i]);
  }
  return S_OK;
}

HRESULT CUtils::GetInstalledModList(std::string* out) { return get_InstalledModList(out); }

HRESULT CUtils::get_DBLPINF(double* out) {
  KV_NEED_OUT;
  *out = std::numeric_limits<double>::infinity();
  return S_OK;
}

HRESULT CUtils::get_DBLNINF(double* out) {
  KV_NEED_OUT;
  *out = -std::numeric_limits<double>::infinity();
  return S_OK;
}

HRESULT CUtils::IsMember(IKvUnknown* obj, const std::string& var, long* out) {
  KV_NEED_OUT;
  *out = obj ? obj->GetIDOfName(var) : -1;
  return S_OK;
}

HRESULT CUtils::HoldLog(bool hold) {
  KV_NEED_APP;
  app->Engine().Global().log.Hold(hold);
  return S_OK;
}

HRESULT CUtils::SetHwndLog(KvWnd hwnd) {
  KV_NEED_APP;
  if (intptr_t* funs = app->Engine().Global().funs) funs[kStartLogWnd] = hwnd;
  return S_OK;
}

HRESULT CUtils::call(intptr_t addr, intptr_t arg1, intptr_t arg2, long* out) {
  KV_NEED_APP;
  // Only a function the process registered; any other number is not code to jump to.
  CWrkSpc* w = app->WrkSpcIfMade();
  if (!w || !w->IsCallback(addr)) return E_INVALIDARG;
  const long r = reinterpret_cast<KvCallbackFn>(addr)(arg1, arg2);
  if (out) *out = r;
  return S_OK;
}

HRESULT CUtils::GetGapp() { return S_OK; }
