// Any sequence of editing steps (placing, the wire tool, splitting, moving, clean-ups,
// deleting, the engine refusing network changes) on a real engine: every connection stays
// mutual and points into the drawing, nets stay trees with at most one output, the wire
// tool never starts from an object that is gone, and clearing leaves no component behind.
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "KvSch/SchEdit.h"
#include "KvSch/fuzz/FuzzPort.h"

namespace {
using Port = CFuzzPort;

int Find(std::vector<int>& up, int i) {
  while (up[static_cast<size_t>(i)] != i) i = up[static_cast<size_t>(i)] = up[static_cast<size_t>(up[static_cast<size_t>(i)])];
  return i;
}

void Check(const CSchDoc& doc) {
  // Every object that may be connected: top-level ones and the pins of components.
  std::unordered_map<const CSchObj*, int> id;
  std::vector<const CSchObj*> objs;
  for (int32_t i = 0; i < doc.Count(); ++i) {
    const CSchObj* o = doc.At(i);
    objs.push_back(o);
    if (o->Kind() == skMod)
      for (int32_t k = 0; k < static_cast<const CSchMod*>(o)->ItemCount(); ++k) objs.push_back(static_cast<const CSchMod*>(o)->Item(k));
  }
  for (const CSchObj* o : objs) id.emplace(o, static_cast<int>(id.size()));
  std::vector<int> up(objs.size());
  std::iota(up.begin(), up.end(), 0);
  for (const CSchObj* o : objs)
    for (int32_t k = 0; k < o->ConnectionCount(); ++k) {
      const CSchObj* p = o->Connection(k);
      if (!p) continue;
      if (!id.count(p) || !p->IsConnected(o) || p == o) __builtin_trap();
      if (id[o] < id[p]) {
        // Each edge once: joining two objects already in one net would close a loop.
        const int a = Find(up, id[o]), b = Find(up, id[p]);
        if (a == b) __builtin_trap();
        up[static_cast<size_t>(a)] = b;
      }
    }
  std::vector<int> outs(objs.size(), 0);
  for (const CSchObj* o : objs)
    if (o->Kind() == skPin && static_cast<const CSchPin*>(o)->Direction() == CSchPin::pdOut && ++outs[static_cast<size_t>(Find(up, id[o]))] > 1)
      __builtin_trap();
  CSchObj* start = const_cast<CSchDoc&>(doc).Wip().startObj;
  if (start && !id.count(start)) __builtin_trap();
}
}  // namespace

Port* port = nullptr;  // one engine for the whole run, as in a session

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Made before the first input. Its log window is held by handle only, so the leak check at
  // the end of a run (not of an input) counts it: run with ASAN_OPTIONS=detect_leaks=0.
  port = new Port();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSchDoc doc;
  doc.SetEngine(port);
  CSchEdit edit(doc);
  int placed = 0;
  for (size_t i = 0; i + 2 < size && i < 3 * 200; i += 3) {
    const int op = data[i] % 11;
    const SchPoint p{data[i + 1] * 25, data[i + 2] * 25};
    switch (op) {
      case 0:
        if (placed < 6) edit.Place(data[i + 1] & 1 ? "meas.ckperiod" : "meas.all", p), ++placed;
        break;
      case 1: edit.StartWire(p); break;
      case 2: edit.StretchWire(p); break;
      case 3: edit.ClickWire(p); break;
      case 4: edit.EndWire(); break;
      case 5:
        if (CSchObj* o = doc.Nearest(p)) o->Select(!o->IsSelected());
        break;
      case 6: edit.MoveSelection({(data[i + 1] % 5 - 2) * 100, (data[i + 2] % 5 - 2) * 100}); break;
      case 7: edit.CleanUp(); break;
      case 8: edit.DeleteSelection(); break;
      case 9:
        if (CSchObj* o = doc.Nearest(p); o && o->Kind() == skWire && !edit.Drawing())
          edit.Split(static_cast<CSchWire*>(o), CSchEdit::NearestOn(*static_cast<CSchWire*>(o), p));
        break;
      case 10:
        // The engine refuses (or again accepts) network changes, as during an acquisition.
        port->engine.busyMarked = data[i + 1] & 1 ? std::function<bool()>([] { return true; }) : nullptr;
        break;
    }
    Check(doc);
  }
  port->engine.busyMarked = nullptr;
  doc.Clear();
  if (port->engine.Components().Count() != 0) __builtin_trap();
  return 0;
}
