#include "KvCore/Mod.h"

#include <strings.h>

#include <cstring>

#include "KvCore/Message.h"
#include "KvDll/DynLib.h"

namespace {

const char* const kUnit = "KvCore/Mod";

// Names whose description the engine gives itself; compared exactly.
bool isEngineText(const char* n) {
  static const char* const names[] = {"settings", "gui.names", "iports", "oports", "functions",
                                      "version",  "debug",     "symbol", "state"};
  for (const char* s : names)
    if (std::strcmp(n, s) == 0) return true;
  return false;
}

}  // namespace

CModList::~CModList() {
  for (int i = comps.count - 1; i >= 0; --i) release(comps.items[i]);
}

int CModList::Find(const char* name) const {
  for (int i = 0; i < comps.count; ++i)
    if (comps.items[i]->name.Compare(name ? name : "", true)) return i;
  return -1;
}

const char* CModList::Label(int index) const {
  const CCompRec* r = Rec(index);
  return r ? r->name.GetBfr() : "";
}

// Ends the instance and lets go of its library.
void CModList::release(CCompRec* r) {
  if (r->inst) {
    // The trigger thread calls into the instance; it must be gone before the instance is.
    r->inst->StopTrigger();
    { CStepGuard drain(r->inst); }  // a call still in flight on another thread ends first
    if (KvModEntryFn entry = KvModEntryOf(r->module)) entry(r->module, kModDestroy, r->inst);
    r->inst = nullptr;
  }
  if (r->module) {
    KvFreeLibrary(r->module);
    r->module = nullptr;
  }
}

int CModList::Create(const char* name, const char* library, CStr& message) {
  owner.Check("CModList::Create");
  if (Find(name) >= 0) return KvFail(message, "Component already exists", name);
  auto* r = new CCompRec;
  r->name = name;

  CStr lib(library ? library : "");
  for (int i = 0; i < g.modNames->count && i < g.modTexts->count; ++i) {
    if (g.modNames->items[i]->Compare(lib, true)) {
      lib = *g.modTexts->items[i];
      break;
    }
  }
  const char* dot = std::strchr(lib.GetBfr(), '.');
  r->file = dot ? CStr(lib.GetBfr(), static_cast<long>(dot - lib.GetBfr())) : lib;
  r->variant = dot ? CStr(dot + 1) : CStr();

  const std::string folder(g.libPath.GetBfr(), static_cast<size_t>(g.libPath.GetLength()));
  // Module files come from the library folder itself: a name with a folder part in it would
  // load (and so run) code from anywhere.
  const bool plainName = !r->file.IsEmpty() && !std::strpbrk(r->file.GetBfr(), "/\\");
  const std::string path = plainName ? KvFindFileNoCase(folder, std::string(r->file.GetBfr()) + ".bin") : std::string();
  if (!path.empty()) r->module = KvLoadLibrary(path);
  if (KvModEntryFn entry = KvModEntryOf(r->module)) {
    KvCreateBlock block{r->name.GetBfr(), &g, &r->inst, r->variant.GetBfr()};
    entry(r->module, kModCreate, &block);
  }
  if (!r->module || !r->inst) {
    release(r);
    delete r;
    return KvFail(message, "Mod not found", library ? library : "");
  }
  comps.Add(r);
  if (notify) notify(r->name, "loaded");
  return 0;
}

void CModList::removeAt(int index) {
  for (int i = index; i + 1 < comps.count; ++i) comps.items[i] = comps.items[i + 1];
  --comps.count;
}

void CModList::Destroy(int index) {
  owner.Check("CModList::Destroy");
  CCompRec* r = Rec(index);
  if (!r) return;
  const CStr name = r->name;
  release(r);
  removeAt(index);
  delete r;
  if (notify) notify(name, "unloaded");
}

void CModList::DestroyAll() {
  owner.Check("CModList::DestroyAll");
  for (int i = comps.count - 1; i >= 0; --i) Destroy(i);
}

// ---------------------------------------------------------------------------------------
// Settings, ports and functions
// ---------------------------------------------------------------------------------------

VPARAM CModList::Describe(int index, const char* name) {
  VPARAM v;
  CCompRec* r = Rec(index);
  if (!r || !name) return v;
  if (isEngineText(name)) {
    v.kind = kindSetting, v.vt = vtStr;
  } else if (std::strcmp(name, "visible") == 0 || std::strcmp(name, "test") == 0) {
    v.kind = kindSetting, v.vt = vtI4;
  } else if (std::strcmp(name, "run") == 0) {
    v.kind = kindAction, v.vt = vtEmpty;
  } else if (std::strcmp(name, "trigin") == 0) {
    r->inst->TrigIn(parDescribe, v);
  } else {
    CStepGuard lock(r->inst);
    if (r->inst->Settings(parDescribe, name, v) != cmdDone) v = VPARAM();
  }
  return v;
}

VPARAM CModList::Get(int index, const char* name, int32_t expectedVt) {
  VPARAM v;
  CCompRec* r = Rec(index);
  if (!r || !name) {
    v.vt = vtError;
    return v;
  }
  if (std::strcmp(name, "visible") == 0) {
    v.vt = vtI4;
    v.value.i4 = g.visibleGet ? static_cast<int32_t>(g.visibleGet(r->name)) : 0;
    return v;
  }
  if (std::strcmp(name, "test") == 0) {
    v.vt = vtI4;
    return v;
  }
  if (std::strcmp(name, "trigin") == 0) {
    r->inst->TrigIn(parRead, v);
    return v;
  }
  if (expectedVt == vtStr) {
    KvDebugReport(1, __LINE__, "Invalid execution path", kUnit);
    v.vt = vtError;
    return v;
  }
  v.vt = expectedVt;
  CStepGuard lock(r->inst);
  const CMDERR res = r->inst->Settings(parRead, name, v);
  if (res != cmdDone) {
    v.vt = vtError;
    v.value.raw = 0;
    v.value.i4 = res;
  }
  return v;
}

CMDERR CModList::Set(int index, const char* name, VPARAM& value) {
  owner.Check("CModList::Set");
  CCompRec* r = Rec(index);
  if (!r || !name) return cmdNotServed;
  if (std::strcmp(name, "visible") == 0) {
    if (g.visibleSet) g.visibleSet(r->name, value.value.i4 ? 1 : 0);
    return cmdDone;
  }
  // The test pulse and the trigger input wait for the trigger thread, which may itself be
  // waiting for the step lock: neither holds it here.
  if (std::strcmp(name, "test") == 0) {
    if (value.value.i4) r->inst->FireTestPulse();
    return cmdDone;
  }
  if (std::strcmp(name, "trigin") == 0) return r->inst->TrigIn(parWrite, value);
  CStepGuard lock(r->inst);
  return r->inst->Settings(parWrite, name, value);
}

CMDERR CModList::GetText(int index, const char* name, CStr& text) {
  CCompRec* r = Rec(index);
  if (!r || !name) return cmdNotServed;
  VPARAM v;
  v.vt = vtStr;
  v.value.str = &text;
  CStepGuard lock(r->inst);
  return r->inst->Settings(parRead, name, v);
}

CMDERR CModList::FunInfo(int index, const char* function, VPARAMS& args) {
  owner.Check("CModList::FunInfo");
  CCompRec* r = Rec(index);
  if (!r) return cmdNotServed;
  CStepGuard lock(r->inst);
  return r->inst->FunInfo(function, args);
}

CMDERR CModList::Fun(int index, const char* function, VPARAMS& args) {
  owner.Check("CModList::Fun");
  CCompRec* r = Rec(index);
  if (!r) return cmdNotServed;
  CStepGuard lock(r->inst);
  return r->inst->Fun(function, args);
}

// A request whose answer is a text (unit, port dependency); empty when not served.
CStr CModList::textRequest(int index, GETPARCMD cmd, const char* name) {
  CStr text;
  CCompRec* r = Rec(index);
  if (!r) return text;
  VPARAM v;
  v.vt = vtStr;
  v.value.str = &text;
  CStepGuard lock(r->inst);
  if (r->inst->Settings(cmd, name, v) != cmdDone) text = "";
  return text;
}

CStr CModList::Unit(int index, const char* name) { return textRequest(index, parUnit, name); }
CStr CModList::PortInputs(int index, const char* port) { return textRequest(index, parPortDep, port); }

CBfr* CModList::OutBuffer(int index, const char* port) {
  const bool outside = !(passActive && passActive());
  const bool wasAborted = g.abort.load(std::memory_order_relaxed) != 0;
  CBfr* b = portRequest(index, parEvaluate, port);
  if (outside && !wasAborted) g.abort.store(0, std::memory_order_relaxed);
  return b;
}
CBfr* CModList::PortBuffer(int index, const char* port) {
  // A read of an input port answers its slot, not a buffer.
  if (Describe(index, port).kind != kindOutPort) return nullptr;
  return portRequest(index, parRead, port);
}

CBfr* CModList::portRequest(int index, GETPARCMD cmd, const char* port) {
  CCompRec* r = Rec(index);
  if (!r) return nullptr;
  VPARAM v;
  CStepGuard lock(r->inst);
  if (r->inst->Settings(cmd, port, v) != cmdDone) return nullptr;
  return static_cast<CBfr*>(v.value.p);
}

CBfr** CModList::InSlot(int index, const char* port) {
  CCompRec* r = Rec(index);
  if (!r || !port) return nullptr;
  VPARAM v;
  if (std::strcmp(port, "trigin") == 0) {
    r->inst->TrigIn(parRead, v);
    // The trigger input is an atomic pointer with the layout of a plain one.
    return reinterpret_cast<CBfr**>(v.value.p);
  }
  if (Describe(index, port).kind != kindInPort) return nullptr;
  CStepGuard lock(r->inst);
  if (r->inst->Settings(parRead, port, v) != cmdDone) return nullptr;
  return static_cast<CBfr**>(v.value.p);
}

bool CModList::List(int index, const char* name, CObjArr<CStr>& out) {
  CStr text;
  if (GetText(index, name, text) != cmdDone) return false;
  if (text.IsEmpty()) return true;
  text.split(&out, ',');
  for (int i = 0; i < out.count; ++i) out.items[i]->trim();
  return true;
}

void CModList::ActMsg(int index, const char* msg) {
  CCompRec* r = Rec(index);
  if (!r || !r->inst || r->inst->TriggerConnected()) return;
  CStepGuard lock(r->inst);
  r->inst->ActMsg(msg);
}
