// Example.bin: the smallest whole module, to copy when writing a new one. A component
// "example" multiplies its input record by "gain": one input port, one output port, one
// setting that refuses what it cannot use.
#include <string>

#include "KvLib/Module.h"
#include "KvLib/Setting.h"

namespace {

class CExample final : public CModule {
 public:
  explicit CExample(const KvCreateBlock& block) : CModule(block) { out.SetBfrType(bfrR8); }

  // Acquisition thread: the engine asks for "out" once the input is ready.
  void ActMsg(const char* msg) override {
    if (!msg || std::string(msg) != "out") return;
    if (!in || !in->data || in->count < 1) return logErrAbort("in: no record to scale");
    if (!out.SetSize(in->count)) return logErrAbort("Insufficient memory");
    const long n = in->CopyTo(static_cast<double*>(out.data), true);
    for (long i = 0; i < n; ++i) static_cast<double*>(out.data)[i] *= gain;
    out.count = out.valid = static_cast<int32_t>(n);
    out.interval = in->interval, out.span = in->span, out.xstart = in->xstart;
    out.maxCache = out.minCache = CBfr::kNoCache;
    ++out.tag;
    out.ready = 1;
  }

  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override {
    using namespace kvsetting;
    static const Texts texts{"gain", "in", "out", "", "1.0",
                             "box,100,0,500,300;text,100,10,500,100,Example,center,center;ipin,0,200,100,,1,in;"
                             "opin,600,200,100,,2,out;",
                             ""};
    if (CMDERR r = StandardText(cmd, name, v, texts)) return r;
    const std::string n = name ? name : "";
    // Finite and at most a million: what a script writes cannot overflow the record.
    if (n == "gain") return Real(cmd, v, gain, "Gain", "", -1e6, 1e6);
    if (n == "in") {
      switch (cmd) {
        case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
        case parRead: v.value.p = &in; return cmdDone;
        case parWrite: in = static_cast<CBfr*>(v.value.p); return cmdDone;
        case parLabel: SetText(v, "Signal In"); return cmdDone;
        default: return cmdDone;
      }
    }
    if (n == "out") {
      switch (cmd) {
        case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
        case parRead:
        case parEvaluate: v.value.p = &out; return cmdDone;
        case parPortDep: SetText(v, "in"); return cmdDone;
        case parLabel: SetText(v, "Signal Out"); return cmdDone;
        default: return cmdWrongKind;
      }
    }
    return cmdNotServed;
  }

 private:
  CBfr* in = nullptr;
  CBfr out;
  double gain = 1;
};

}  // namespace

KV_MODULE_ENTRY(new CExample(block))
