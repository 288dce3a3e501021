// Test.bin: components that exercise the engine's side of the module contract. The variant
// picks the kind:
//   src   output "out" (a counter per pass) and "trg" (a trigger buffer, fired by fire())
//   pass  input "in", output "out" = in * gain, computed from "in"
//   sink  inputs "a" and "b", output "sum" computed from both
//   rec   no ports (also the kind of an empty variant)
//   mute  like src, but refuses to list its inputs
//   clk   output "out": a sine clock of "count" samples with a period of "gain" samples; also
//         computed on "#acq.trg" when driven by its trigger input
// Every kind keeps the action messages it receives ("history") and adds them, as
// "name:message", to one sequence shared by all components of the library ("seq"), so tests
// can check the order across components; "evals" counts the requests to compute an output.
// With "release" set, an input's data is released as soon as its message arrives; with
// "autofire" set, a src fires its trigger buffer each time it computes "out"; with
// "abortoneval" set, a request to compute an output reports an aborting error.

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "KvLib/LocalData.h"

namespace {

std::mutex g_seqLock;
std::string g_seq;  // "name:message," per message, all components

void setText(VPARAM& v, const std::string& text) {
  if (v.value.str) *v.value.str = CStr(text.data(), static_cast<long>(text.size()));
}

struct Setting {
  const char* name;
  int32_t vt;
};
const Setting kSettings[] = {
    {"i2", vtI2},  {"i4", vtI4},          {"r4", vtR4},      {"r8", vtR8},     {"text", vtStr}, {"release", vtI4},
    {"isstatic", vtI4}, {"count", vtI4}, {"gain", vtR8}, {"history", vtStr}, {"seq", vtStr},  {"pname", vtPStr},
    {"badread", vtI4}, {"evals", vtI4}, {"autofire", vtI4}, {"abortoneval", vtI4},
};

class TestComponent final : public CLocalData {
 public:
  explicit TestComponent(const KvCreateBlock& b) : CLocalData(b) {
    kind = variant.IsEmpty() ? "rec" : variant.GetBfr();
    out.SetBfrType(bfrR8);
    trg.SetBfrType(bfrTrigger);
  }
  ~TestComponent() override { StopTrigger(); }

  bool known() const { return kind == "src" || kind == "pass" || kind == "sink" || kind == "rec" || kind == "mute" || kind == "clk"; }

  void ActMsg(const char* msg) override {
    {
      std::lock_guard lk(g_seqLock);
      g_seq += std::string(name.GetBfr()) + ":" + msg + ",";
      history += std::string(msg) + ",";
    }
    const std::string m = msg;
    // Tells the engine from whatever thread delivered the message (a trigger thread here).
    if (m == "#acq.trg" && pgd && pgd->notify) pgd->notify(name.GetBfr(), "trg");
    if ((m == "out" || m == "#acq.trg") && kind == "clk") clock();
    if (m == "out" && (kind == "src" || kind == "mute")) produce(static_cast<double>(++passes));
    if (m == "out" && kind == "src" && autofire) fire();
    if (m == "out" && kind == "pass") copyFrom(in, gain);
    if (m == "sum" && kind == "sink") sum();
    if ((m == "in" && kind == "pass") || ((m == "a" || m == "b") && kind == "sink")) {
      if (release && pgd && pgd->release) pgd->release(m == "in" ? static_cast<void*>(&in) : m == "a" ? static_cast<void*>(&a) : static_cast<void*>(&b));
    }
  }

  CMDERR Settings(GETPARCMD cmd, const char* n, VPARAM& v) override {
    const std::string key = n ? n : "";
    if (key == "settings") return readOnly(cmd, v, "i2,i4,r4,r8,text,release,isstatic,count,gain");
    if (key == "iports" && kind == "mute") return cmdNotServed;
    if (key == "iports") return readOnly(cmd, v, kind == "pass" ? "in" : kind == "sink" ? "a,b" : "");
    if (key == "oports") return readOnly(cmd, v, kind == "src" ? "out,trg" : kind == "mute" || kind == "clk" ? "out" : kind == "pass" ? "out" : kind == "sink" ? "sum" : "");
    if (key == "functions") return readOnly(cmd, v, "add,echo,clear,mark,fire,abort");
    if (key == "version") return readOnly(cmd, v, "Test 1.0");
    if (key == "gui.names") return readOnly(cmd, v, "");
    if (CBfr* p = outPort(key)) return outputPort(cmd, key, p, v);
    if (CBfr** slot = inSlot(key)) return inputPort(cmd, slot, v);
    for (const Setting& s : kSettings)
      if (key == s.name) return setting(cmd, s, v);
    return cmdNotServed;
  }

  CMDERR FunInfo(const char* n, VPARAMS& a) override {
    const std::string f = n ? n : "";
    std::vector<VPARAM> params;
    VPARAM r8;
    r8.vt = vtR8;
    VPARAM text;
    text.vt = vtPStr;
    if (f == "add") {
      params = {r8, r8, r8};
      params[2].kind = kindOptional;
      a.result.vt = vtR8;
    } else if (f == "echo" || f == "mark" || f == "abort") {
      params = {text};
      a.result.vt = f == "echo" ? vtStr : vtEmpty;
    } else if (f == "clear" || f == "fire") {
      a.result.vt = vtEmpty;
    } else {
      return cmdNotServed;
    }
    KV_FREE(a.params);
    a.params = params.empty() ? nullptr : static_cast<VPARAM*>(KV_MALLOC(sizeof(VPARAM) * params.size()));
    if (a.params) std::memcpy(static_cast<void*>(a.params), params.data(), sizeof(VPARAM) * params.size());
    a.count = static_cast<int32_t>(params.size());
    return cmdDone;
  }

  CMDERR Fun(const char* n, VPARAMS& a) override {
    const std::string f = n ? n : "";
    auto arg = [&](int i) -> const VPARAM* { return a.params && i < a.count ? &a.params[i] : nullptr; };
    if (f == "add") {
      double sum = 0;
      for (int i = 0; i < 3; ++i)
        if (const VPARAM* p = arg(i); p && p->vt == vtR8) sum += p->value.r8;
      a.result.value.r8 = sum;
    } else if (f == "echo") {
      const VPARAM* p = arg(0);
      if (a.result.value.str) *a.result.value.str = CStr("echo: ") + (p && p->value.s ? p->value.s : "");
    } else if (f == "mark") {
      const VPARAM* p = arg(0);
      std::lock_guard lk(g_seqLock);
      g_seq += std::string(p && p->value.s ? p->value.s : "") + ",";
    } else if (f == "clear") {
      std::lock_guard lk(g_seqLock);
      g_seq.clear();
      history.clear();
    } else if (f == "fire") {
      fire();
    } else if (f == "abort") {
      const VPARAM* p = arg(0);
      logErrAbort(p && p->value.s ? p->value.s : "");
    } else {
      return cmdNotServed;
    }
    return cmdDone;
  }

  std::string kind;

 private:
  CBfr out, trg;
  CBfr *in = nullptr, *a = nullptr, *b = nullptr;
  int16_t i2 = 0;
  int32_t i4 = 0, release = 0, count = 4, passes = 0, evals = 0, autofire = 0, abortOnEval = 0;
  float r4 = 0;
  double r8 = 0, gain = 1;
  std::string text, history;

  static CMDERR readOnly(GETPARCMD cmd, VPARAM& v, const std::string& value) {
    if (cmd == parDescribe) {
      v.kind = kindSetting, v.vt = vtStr;
    } else if (cmd == parRead) {
      setText(v, value);
    } else if (cmd == parWrite) {
      return cmdBadValue;
    }
    return cmdDone;
  }

  CBfr* outPort(const std::string& key) {
    if (key == "out" && (kind == "src" || kind == "pass" || kind == "mute" || kind == "clk")) return &out;
    if (key == "trg" && kind == "src") return &trg;
    if (key == "sum" && kind == "sink") return &out;
    return nullptr;
  }
  CBfr** inSlot(const std::string& key) {
    if (key == "in" && kind == "pass") return &in;
    if (key == "a" && kind == "sink") return &a;
    if (key == "b" && kind == "sink") return &b;
    return nullptr;
  }

  CMDERR outputPort(GETPARCMD cmd, const std::string& key, CBfr* p, VPARAM& v) {
    switch (cmd) {
      case parDescribe: v.kind = kindOutPort, v.vt = p == &trg ? vtTrgBfr : vtBfr; return cmdDone;
      case parEvaluate:
        ++evals;
        if (abortOnEval) logErrAbort("evaluated without a pass");
        [[fallthrough]];
      case parRead: v.value.p = p; return cmdDone;
      case parPortDep: setText(v, key == "out" && kind == "pass" ? "in" : key == "sum" ? "a, b" : ""); return cmdDone;
      case parWrite: return cmdWrongKind;
      default: return cmdDone;
    }
  }

  static CMDERR inputPort(GETPARCMD cmd, CBfr** slot, VPARAM& v) {
    switch (cmd) {
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
      case parRead: v.value.p = slot; return cmdDone;
      case parWrite: *slot = static_cast<CBfr*>(v.value.p); return cmdDone;
      default: return cmdDone;
    }
  }

  CMDERR setting(GETPARCMD cmd, const Setting& s, VPARAM& v) {
    const std::string n = s.name;
    if (cmd == parDescribe) {
      v.kind = kindSetting, v.vt = s.vt;
      return cmdDone;
    }
    if (cmd == parUnit) {
      setText(v, n == "r8" ? "V" : "");
      return cmdDone;
    }
    if (cmd == parLabel) {
      setText(v, "Test setting " + n);
      return cmdDone;
    }
    if (cmd == parRead) {
      if (n == "i2") v.vt = vtI2, v.value.i2 = i2;
      else if (n == "i4") v.vt = vtI4, v.value.i4 = i4;
      else if (n == "release") v.vt = vtI4, v.value.i4 = release;
      else if (n == "isstatic") v.vt = vtI4, v.value.i4 = out.isStatic;
      else if (n == "count") v.vt = vtI4, v.value.i4 = count;
      else if (n == "evals") v.vt = vtI4, v.value.i4 = evals;
      else if (n == "autofire") v.vt = vtI4, v.value.i4 = autofire;
      else if (n == "abortoneval") v.vt = vtI4, v.value.i4 = abortOnEval;
      else if (n == "r4") v.vt = vtR4, v.value.r4 = r4;
      else if (n == "r8") v.vt = vtR8, v.value.r8 = r8;
      else if (n == "gain") v.vt = vtR8, v.value.r8 = gain;
      else if (n == "text") setText(v, text);
      else if (n == "history") {
        std::lock_guard lk(g_seqLock);  // the trigger thread adds to it
        setText(v, history);
      }
      else if (n == "pname") v.vt = vtPStr, v.value.s = name.GetBfr();
      else if (n == "seq") {
        std::lock_guard lk(g_seqLock);
        setText(v, g_seq);
      } else if (n == "badread") return cmdWrongKind;
      return cmdDone;
    }
    if (cmd != parWrite) return cmdDone;
    if (n == "i2") i2 = v.value.i2;
    else if (n == "i4") {
      if (v.value.i4 < 0) return cmdBadValue;  // lets tests see a refused write
      i4 = v.value.i4;
    } else if (n == "release") release = v.value.i4;
    else if (n == "isstatic") out.isStatic = v.value.i4;
    else if (n == "count") count = v.value.i4 < 0 ? 0 : v.value.i4;
    else if (n == "autofire") autofire = v.value.i4;
    else if (n == "abortoneval") abortOnEval = v.value.i4;
    else if (n == "r4") r4 = v.value.r4;
    else if (n == "r8") r8 = v.value.r8;
    else if (n == "gain") gain = v.value.r8;
    else if (n == "text") text = v.value.s ? v.value.s : "";
    else return cmdBadValue;  // read-only
    return cmdDone;
  }

  // The trigger thread of a consumer reads the tag while this component runs.
  void fire() {
    std::atomic_ref<int32_t>(trg.tag).fetch_add(1, std::memory_order_release);
    static_cast<KvEvent*>(trg.data)->Pulse();
  }

  void produce(double base) {
    if (!out.SetSize(count)) return;
    auto* d = static_cast<double*>(out.data);
    for (int i = 0; i < count; ++i) d[i] = base * 1000 + i;
    out.count = out.valid = count;
    out.maxCache = out.minCache = CBfr::kNoCache;
    ++out.tag;
    out.ready = 1;
  }

  void clock() {
    if (!out.SetSize(count)) return;
    const double period = gain > 0 ? gain : 1;
    for (int i = 0; i < count; ++i) static_cast<double*>(out.data)[i] = std::sin(2 * M_PI * (i + 0.5) / period);
    out.count = out.valid = count;
    ++out.tag;
    out.ready = 1;
  }

  void copyFrom(CBfr* src, double k) {
    const int n = src && src->data && (src->type == bfrR8) ? src->count : 0;
    if (!out.SetSize(n)) return;
    for (int i = 0; i < n; ++i) static_cast<double*>(out.data)[i] = static_cast<double*>(src->data)[i] * k;
    out.count = out.valid = n;
    out.tag = src ? src->tag : 0;
    out.ready = 1;
  }

  void sum() {
    const int n = a && b && a->data && b->data ? std::min(a->count, b->count) : 0;
    if (!out.SetSize(n)) return;
    for (int i = 0; i < n; ++i)
      static_cast<double*>(out.data)[i] = static_cast<double*>(a->data)[i] + static_cast<double*>(b->data)[i];
    out.count = out.valid = n;
    out.ready = 1;
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int KvModEntry(void*, int msg, void* param) {
  if (msg == kModCreate && param) {
    auto* block = static_cast<KvCreateBlock*>(param);
    auto* c = new TestComponent(*block);
    if (!c->known()) {
      delete c;  // an unknown variant creates nothing
      c = nullptr;
    }
    if (block->instance) *block->instance = c;
  } else if (msg == kModDestroy && param) {
    delete static_cast<CLocalData*>(param);
  }
  return 1;
}
