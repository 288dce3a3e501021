#include "KvCore/FunOrder.h"

#include <algorithm>

namespace {
const char* const kUnit = "KvCore/FunOrder";
}

CFunOrder::~CFunOrder() { Clear(); }

void CFunOrder::Clear() {
  for (OutRec* o : outs) delete o;
  for (InRec* i : ins) delete i;
  outs.clear();
  ins.clear();
  steps.clear();
  path.clear();
  outTable = inTable = schedule = error = "";
  counter = 0;
  cycle = false;
}

bool CFunOrder::Compute(CModList& comps) {
  Clear();
  for (int c = 0; c < comps.Count(); ++c) comps.Rec(c)->runOrder = -1;

  // Output records: every output port whose buffer someone uses.
  for (int c = 0; c < comps.Count(); ++c) {
    CObjArr<CStr> oports;
    comps.List(c, "oports", oports);
    for (int p = 0; p < oports.count; ++p) {
      const CStr& port = *oports.items[p];
      if (comps.Describe(c, port).kind != kindOutPort) {
        CStr text = CStr("Output port not found!") + "\r\nComp: " + comps.Label(c) + "\r\nPort: " + port;
        KvDebugReport(1, __LINE__, text, kUnit);
      }
      CBfr* b = comps.PortBuffer(c, port);
      if (!b || b->users == 0) continue;
      auto* o = new OutRec{c, CStr(comps.Label(c)), b, port, CStr(comps.Label(c)) + "." + port, {}, {}};
      CObjArr<CStr> deps;
      const CStr depText = comps.PortInputs(c, port);
      if (!depText.IsEmpty()) depText.split(&deps, ',');
      for (int d = 0; d < deps.count; ++d) {
        deps.items[d]->trim();
        CBfr** slot = comps.InSlot(c, *deps.items[d]);
        if (slot && *slot) o->inSlots.push_back(slot);
      }
      outs.push_back(o);
    }
  }

  // Input records: every linked input whose source has an output record.
  for (int c = 0; c < comps.Count(); ++c) {
    CObjArr<CStr> iports;
    comps.List(c, "iports", iports);
    for (int p = 0; p < iports.count; ++p) {
      const CStr& port = *iports.items[p];
      CBfr** slot = comps.InSlot(c, port);
      if (!slot || !*slot) continue;
      auto src = std::find_if(outs.begin(), outs.end(), [&](OutRec* o) { return o->bfr == *slot; });
      if (src == outs.end()) continue;
      ++(*src)->nusrs;
      ins.push_back(new InRec{c, slot, *slot, CStr(comps.Label(c)) + "." + port, port, CStr(comps.Label(c)), *src});
    }
  }

  for (OutRec* o : outs)
    for (CBfr** slot : o->inSlots) {
      auto i = std::find_if(ins.begin(), ins.end(), [&](InRec* r) { return r->slot == slot; });
      if (i != ins.end()) o->inputs.push_back(*i);
    }

  for (InRec* i : ins) {
    for (OutRec* o : outs)
      if (o->funidx == i->ifunidx) i->dependants += static_cast<int>(std::count(o->inSlots.begin(), o->inSlots.end(), i->slot));
    i->blast = i->dependants == 0;
  }

  writeTables();

  counter = 0;
  schedule = "";
  for (InRec* i : ins) {
    if (cycle) break;
    if (i->blast) Schedule(i);
  }
  if (cycle) {
    steps.clear();
    return false;
  }
  // A component's run-order position: its first step.
  for (size_t k = 0; k < steps.size(); ++k)
    if (CCompRec* r = comps.Rec(steps[k].component); r && r->runOrder < 0) r->runOrder = static_cast<int32_t>(k);
  return true;
}

void CFunOrder::writeTables() {
  outTable = "obfrlbl, funname, obfrname, funidx, nusrs, ibfrcnt, ibfrs...\r\n";
  for (OutRec* o : outs) {
    outTable += o->obfrlbl + ", " + o->funname + ", " + o->obfrname + ", " + CStr(o->funidx) + ", " + CStr(o->nusrs) +
                ", " + CStr(static_cast<int>(o->inputs.size())) + ", ";
    for (InRec* i : o->inputs) outTable += i->ibfrlbl + ", ";
    outTable += "\r\n";
  }
  inTable = "ibfrlbl, ifunname, ibfrname, ifunidx, nusrs/blast, srcbfrlbl, srcfunidx\r\n";
  for (InRec* i : ins) {
    inTable += i->ibfrlbl + ", " + i->ifunname + ", " + i->ibfrname + ", " + CStr(i->ifunidx) + ", " +
               CStr(i->dependants) + "/" + CStr(i->blast ? 1 : 0) + ", " + i->src->obfrlbl + ", " +
               CStr(i->src->funidx) + ", \r\n";
  }
}

void CFunOrder::stampIn(InRec* i) {
  i->stamp = ++counter;
  schedule += i->ibfrlbl + ", ";
  steps.push_back({i->ifunidx, i->ibfrname, i->ifunname});
}

void CFunOrder::stampOut(OutRec* o) {
  o->stamp = ++counter;
  schedule += o->obfrlbl + ", ";
  steps.push_back({o->funidx, o->obfrname, o->funname});
}

void CFunOrder::Schedule(InRec* i) {
  if (cycle) return;
  OutRec* s = i->src;
  if (s->stamp && !i->stamp) {
    stampIn(i);
    return;
  }
  if (s->visiting) {
    // The computation of s needs, through the links, its own output.
    cycle = true;
    // The links of the cycle: those taken since s was entered, and the one back to it.
    error = "Cycle in the links: ";
    auto from = std::find_if(path.begin(), path.end(), [&](InRec* r) { return r->src == s; });
    std::vector<InRec*> links(from == path.end() ? path.end() : from + 1, path.end());
    links.push_back(i);
    for (size_t k = 0; k < links.size(); ++k)
      error += (k ? ", " : "") + links[k]->src->obfrlbl + " -> " + links[k]->ibfrlbl;
    return;
  }
  s->visiting = true;
  path.push_back(i);
  for (InRec* in : s->inputs) {
    Schedule(in);
    if (cycle) return;
  }
  path.pop_back();
  s->visiting = false;
  Finish(i);
}

void CFunOrder::Finish(InRec* i) {
  OutRec* s = i->src;
  if (!s->stamp) stampOut(s);
  if (!i->stamp) stampIn(i);
  for (InRec* other : ins)
    if (other != i && other->blast && other->bfr == s->bfr && !other->stamp) stampIn(other);
}

void CFunOrder::ResetReleases() {
  for (OutRec* o : outs) o->releases = 0;
  for (InRec* i : ins) i->releases = 0;
}

CStr CFunOrder::InputSource(const char* label) const {
  for (const InRec* i : ins)
    if (i->ibfrlbl.Compare(label ? label : "", true)) return i->src->obfrlbl;
  return CStr();
}

void CFunOrder::Release(void* slot) {
  auto it = std::find_if(ins.begin(), ins.end(), [&](InRec* r) { return r->slot == slot; });
  if (it == ins.end()) return;
  InRec* i = *it;
  CStr line = "Release issued for " + i->ibfrlbl;
  g.log.Add(line, LogDebug);
  if (++i->releases < i->dependants) return;
  g.log.Append(", released.", LogDebug);
  OutRec* s = i->src;
  line = "Release issued for " + s->obfrlbl;
  g.log.Add(line, LogDebug);
  if (++s->releases != s->nusrs) return;
  if (!s->bfr->isStatic) {
    s->bfr->FreeBfr();
    g.log.Append(", released.", LogDebug);
  } else {
    g.log.Append(", static buffer not released.", LogDebug);
  }
}
