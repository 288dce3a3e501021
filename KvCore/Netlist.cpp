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

void CNetlist::tell(int component, const char* what) {
  if (comps.notify) comps.notify(comps.Label(component), what);
}

bool CNetlist::sourceOf(CBfr* b, int& component, CStr& port) {
  if (!b) return false;
  for (int c = 0; c < comps.Count(); ++c) {
    CObjArr<CStr> oports;
    comps.List(c, "oports", oports);
    for (int p = 0; p < oports.count; ++p)
      if (comps.PortBuffer(c, *oports.items[p]) == b) {
        component = c;
        port = *oports.items[p];
        return true;
      }
  }
  return false;
}

bool CNetlist::dependsOn(int oc, const CStr& op, int ic, const char* ip, std::vector<std::pair<int, CStr>>& seen,
                         CStr& path) {
  CStr key = op;
  key.lcase();
  for (const auto& [c, p] : seen)
    if (c == oc && p.Compare(key, false)) return false;
  seen.emplace_back(oc, key);
  CObjArr<CStr> reads;
  CStr list = comps.PortInputs(oc, op);
  if (!list.IsEmpty()) list.split(&reads, ',');
  for (int k = 0; k < reads.count; ++k) {
    CStr& d = *reads.items[k];
    d.trim();
    if (oc == ic && d.Compare(ip, true)) return true;
    CBfr** slot = comps.InSlot(oc, d);
    int sc = -1;
    CStr sp;
    if (!slot || !sourceOf(*slot, sc, sp)) continue;
    if (dependsOn(sc, sp, ic, ip, seen, path)) {
      path += CStr(", ") + comps.Label(sc) + "." + sp + " -> " + comps.Label(oc) + "." + d;
      return true;
    }
  }
  return false;
}

int CNetlist::Link(const PortRef& in, const PortRef& out, CStr& message) {
  owner.Check("CNetlist::Link");
  CBfr* b = comps.OutBuffer(out.component, out.port);
  if (!b) return KvFail(message, "Port not found", out.text);
  CBfr** slot = comps.InSlot(in.component, in.port);
  if (!slot) return KvFail(message, "Port not found", in.text);
  // A link whose output already depends on the input would make a network no pass can
  // order: it is refused before anything changes.
  std::vector<std::pair<int, CStr>> seen;
  CStr path;
  if (dependsOn(out.component, CStr(out.port), in.component, in.port, seen, path)) {
    message = CStr("Cycle in the links: ") + comps.Label(out.component) + "." + out.port + " -> " +
              comps.Label(in.component) + "." + in.port + path;
    return -1;
  }
  // Consumers show where their data comes from: the buffer carries its port's label.
  CStr portName(out.port);
  int sc = -1;
  if (sourceOf(b, sc, portName) && sc == out.component) b->name = CStr(comps.Label(sc)) + "." + portName;
  CBfr* old = *slot;
  // The port is set first: a port that refuses the buffer (a trigger input offered a data
  // buffer) leaves every count as it was.
  if (!setInput(in.component, in.port, b)) return KvFail(message, "Value not accepted", in.text);
  if (old) --old->users;
  ++b->users;
  cmds.Record("link", in.text, out.text);
  tell(in.component, "linked");
  return 0;
}

int CNetlist::Unlink(const PortRef& in, CStr& message) {
  owner.Check("CNetlist::Unlink");
  return unlink(in, message, true);
}

int CNetlist::unlink(const PortRef& in, CStr& message, bool tellAlways) {
  CBfr** slot = comps.InSlot(in.component, in.port);
  if (!slot) return KvFail(message, "Port not found", in.text);
  CBfr* old = *slot;
  if (old) {
    if (!setInput(in.component, in.port, nullptr) && *slot) return KvFail(message, "Value not accepted", in.text);
    --old->users;
  }
  cmds.Record("link", in.text, "");
  if (old || tellAlways) tell(in.component, "unlinked");
  return 0;
}

void CNetlist::RemoveLinks(int c) {
  owner.Check("CNetlist::RemoveLinks");
  const CStr label = comps.Label(c);
  CObjArr<CStr> iports;
  inputsOf(comps, c, iports);
  for (int p = 0; p < iports.count; ++p) {
    CBfr** slot = comps.InSlot(c, *iports.items[p]);
    if (iports.items[p]->Compare("trigin", false) && !(slot && *slot)) continue;
    const CStr text = label + "." + *iports.items[p];
    CStr ignored;
    unlink({c, iports.items[p]->GetBfr(), text.GetBfr()}, ignored, false);
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
        tell(d, "unlinked");
      }
    }
  }
}

CStr CNetlist::InputSource(int component, const char* port) {
  owner.Check("CNetlist::InputSource");
  CBfr** slot = comps.InSlot(component, port);
  int c = -1;
  CStr p;
  if (!slot || !sourceOf(*slot, c, p)) return CStr();
  return CStr(comps.Label(c)) + "." + p;
}
