#include "KvCore/Netlist.h"

#include "KvCore/Message.h"

namespace {

// The inputs a component lists, and the engine's own trigger input.
void inputsOf(CModList& comps, int c, CObjArr<CStr>& out) {
  comps.List(c, "iports", out);
  for (int i = 0; i < out.count; ++i)
    if (out.items[i]->Compare("trigin", false)) return;
  out.Add(new CStr("trigin"));
}

}  // namespace

bool CNetlist::setInput(int component, const char* port, CBfr* b) {
  VPARAM v;
  v.kind = kindInPort;
  v.vt = b ? vtBfr : vtEmpty;
  v.value.p = b;
  return comps.Set(component, port, v) == cmdDone;
}

int CNetlist::Link(const PortRef& in, const PortRef& out, CStr& message) {
  CBfr* b = comps.OutBuffer(out.component, out.port);
  if (!b) return KvFail(message, "Port not found", out.text);
  CBfr** slot = comps.InSlot(in.component, in.port);
  if (!slot) return KvFail(message, "Port not found", in.text);
  CBfr* old = *slot;
  // The port is set first: a port that refuses the buffer (a trigger input offered a data
  // buffer) leaves every count as it was.
  if (!setInput(in.component, in.port, b)) return KvFail(message, "Value not accepted", in.text);
  if (old) --old->users;
  ++b->users;
  cmds.Record("link", in.text, out.text);
  return 0;
}

int CNetlist::Unlink(const PortRef& in, CStr& message) {
  CBfr** slot = comps.InSlot(in.component, in.port);
  if (!slot) return KvFail(message, "Port not found", in.text);
  CBfr* old = *slot;
  if (old) {
    if (!setInput(in.component, in.port, nullptr) && *slot) return KvFail(message, "Value not accepted", in.text);
    --old->users;
  }
  cmds.Record("link", in.text, "");
  return 0;
}

void CNetlist::RemoveLinks(int c) {
  const CStr label = comps.Label(c);
  CObjArr<CStr> iports;
  inputsOf(comps, c, iports);
  for (int p = 0; p < iports.count; ++p) {
    CBfr** slot = comps.InSlot(c, *iports.items[p]);
    if (iports.items[p]->Compare("trigin", false) && !(slot && *slot)) continue;
    const CStr text = label + "." + *iports.items[p];
    CStr ignored;
    Unlink({c, iports.items[p]->GetBfr(), text.GetBfr()}, ignored);
  }
  // Whatever the inputs answered: no consumer may keep a buffer of a component about to go.
  CObjArr<CStr> oports;
  comps.List(c, "oports", oports);
  for (int p = 0; p < oports.count; ++p) {
    CBfr* b = comps.PortBuffer(c, *oports.items[p]);
    if (!b) continue;
    for (int d = 0; d < comps.Count() && b->users > 0; ++d) {
      if (d == c) continue;
      CObjArr<CStr> dports;
      inputsOf(comps, d, dports);
      for (int q = 0; q < dports.count; ++q) {
        CBfr** slot = comps.InSlot(d, *dports.items[q]);
        if (!slot || *slot != b) continue;
        --b->users;
        setInput(d, *dports.items[q], nullptr);
        cmds.Record("link", CStr(comps.Label(d)) + "." + *dports.items[q], "");
      }
    }
  }
}

CStr CNetlist::InputSource(int component, const char* port) {
  CBfr** slot = comps.InSlot(component, port);
  if (!slot || !*slot) return CStr();
  for (int c = 0; c < comps.Count(); ++c) {
    CObjArr<CStr> oports;
    comps.List(c, "oports", oports);
    for (int p = 0; p < oports.count; ++p)
      if (comps.PortBuffer(c, *oports.items[p]) == *slot) return CStr(comps.Label(c)) + "." + *oports.items[p];
  }
  return CStr();
}
