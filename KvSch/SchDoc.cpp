#include "KvSch/SchDoc.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_set>

#include "KvDll/dbg.h"
#include "KvSch/SchArchive.h"

namespace {
const char* const kUnit = "KvSch/SchDoc";
std::atomic<CSchDoc*> g_current{nullptr};

// The number after a name's first character ("#17" gives 17); 0 for shorter names.
int32_t NameNumber(const CStr& name) {
  if (name.GetLength() < 2) return 0;
  return SchToInt(name.getMid(1, name.GetLength() - 1).Str2Num());
}
}  // namespace

CSchDoc::CSchDoc() = default;

CSchDoc::~CSchDoc() {
  EndWire();
  CSchDoc* self = this;
  g_current.compare_exchange_strong(self, nullptr);
  // Last first: each object detaches from those still present as it goes.
  while (!objs_.empty()) objs_.pop_back();
}

CSchDoc* CSchDoc::Current() { return g_current.load(); }
void CSchDoc::MakeCurrent() { g_current.store(this); }

int32_t CSchDoc::NextCompNumber() {
  if (lastComp_ < std::numeric_limits<int32_t>::max()) ++lastComp_;
  return lastComp_;
}

void CSchDoc::RaiseCompNumber(int32_t n) { lastComp_ = std::max(lastComp_, n); }

CSchObj* CSchDoc::At(int32_t i) const { return i >= 0 && i < Count() ? objs_[static_cast<size_t>(i)].get() : nullptr; }

int32_t CSchDoc::IndexOf(const CSchObj* o) const {
  for (size_t i = 0; i < objs_.size(); ++i)
    if (objs_[i].get() == o) return static_cast<int32_t>(i);
  return -1;
}

bool CSchDoc::Add(std::unique_ptr<CSchObj> o) {
  if (!o) return false;
  try {
    objs_.push_back(std::move(o));
  } catch (const std::bad_alloc&) {
    KvErrReport(1, __LINE__, "Insufficient memory", kUnit);
    return false;
  }
  return true;
}

std::unique_ptr<CSchObj> CSchDoc::Remove(CSchObj* o) {
  const int32_t i = IndexOf(o);
  if (i < 0) return nullptr;
  std::unique_ptr<CSchObj> out = std::move(objs_[static_cast<size_t>(i)]);
  objs_.erase(objs_.begin() + i);
  return out;
}

// ---------------------------------------------------------------------------------------
// Finding and hitting
// ---------------------------------------------------------------------------------------

CSchObj* CSchDoc::Find(const char* name) const {
  if (!name) return nullptr;
  const char* dot = std::strchr(name, '.');
  if (!dot) {
    for (const auto& o : objs_)
      if (o->Name() == name) return o.get();
    return nullptr;
  }
  const CStr comp(name, static_cast<long>(dot - name));
  const char* numEnd = std::strchr(dot + 1, '.');
  const CStr num = numEnd ? CStr(dot + 1, static_cast<long>(numEnd - dot - 1)) : CStr(dot + 1);
  for (const auto& o : objs_)
    if (o->Kind() == skMod && o->Name() == comp) return static_cast<CSchMod*>(o.get())->Pin(SchToInt(num.Str2Num()));
  return nullptr;
}

CSchObj* CSchDoc::Nearest(SchPoint p) const {
  constexpr int64_t far = std::numeric_limits<int64_t>::max();
  CSchObj *mod = nullptr, *wire = nullptr, *jun = nullptr;
  int64_t dMod = far, dWire = far, dJun = far;
  for (const auto& o : objs_) {
    const int64_t d = o->Distance(p);
    if (o->Kind() == skMod && d < dMod) mod = o.get(), dMod = d;
    else if (o->Kind() == skWire && d < dWire) wire = o.get(), dWire = d;
    else if (o->Kind() == skJun && d < dJun) jun = o.get(), dJun = d;
  }
  if (mod && dMod < dWire && dMod < dJun) return dMod <= tolerance_ ? mod : nullptr;
  if (jun && dJun <= tolerance_) return jun;
  if (wire && dWire <= tolerance_) return wire;
  return nullptr;
}

int32_t CSchDoc::Snap(int32_t v) {
  return SchClampCoord(static_cast<int64_t>(std::trunc(static_cast<double>(v) / 100 + 0.5)) * 100);
}

void CSchDoc::SelectAll(bool on) {
  for (const auto& o : objs_) o->Select(on);
}

// ---------------------------------------------------------------------------------------
// Components
// ---------------------------------------------------------------------------------------

bool CSchDoc::CreateMod(CSchMod& comp) {
  comp.ClearItems();
  comp.SetLoaded(false);
  if (!engine_) return false;
  if (!CSchMod::IsSafeCompName(comp.CompName()) || !CSchMod::IsSafeFuncName(comp.FuncName())) {
    // Names from outside text go into engine commands only when they cannot change them.
    KvErrReport(1, __LINE__, (CStr("Invalid component: ") + comp.CompName() + "=" + comp.FuncName()).GetBfr(), kUnit);
    return false;
  }
  CStr symbol;
  if (!engine_->LoadMod(comp, symbol)) return false;
  comp.SetLoaded(true);
  if (!comp.ParseSymbol(symbol.GetBfr())) {
    engine_->UnloadMod(comp);
    comp.SetLoaded(false);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Nets
// ---------------------------------------------------------------------------------------

void CSchDoc::Walk(const CSchObj* x, const CSchObj* target, std::vector<CSchPin*>* pins, bool* found) const {
  // Depth first in slot order, without recursion (a loaded chain may be long) and with a
  // visited set, so no text can make the walk loop.
  std::unordered_set<const CSchObj*> seen;
  std::vector<const CSchObj*> stack{x};
  bool first = true;
  while (!stack.empty()) {
    const CSchObj* o = stack.back();
    stack.pop_back();
    if (!seen.insert(o).second) continue;
    if (o == target && found) *found = true;
    if (o->Kind() == skPin && pins) pins->push_back(const_cast<CSchPin*>(static_cast<const CSchPin*>(o)));
    if (o->Kind() == skPin && !first) continue;
    first = false;
    for (int32_t i = o->ConnectionCount() - 1; i >= 0; --i) {
      const CSchObj* c = o->Connection(i);
      if (c && !seen.count(c)) stack.push_back(c);
    }
  }
}

std::vector<CSchPin*> CSchDoc::NetPins(CSchObj* x) const {
  std::vector<CSchPin*> pins;
  if (x) Walk(x, nullptr, &pins, nullptr);
  return pins;
}

bool CSchDoc::Reaches(const CSchObj* a, const CSchObj* b) const {
  if (!a || !b) return false;
  bool found = false;
  Walk(a, b, nullptr, &found);
  return found;
}

bool CSchDoc::CanJoin(CSchObj* a, CSchObj* b) const {
  if (!a || !b || a == b || Reaches(a, b)) return false;
  int outs = 0;
  for (CSchObj* x : {a, b})
    for (CSchPin* p : NetPins(x)) outs += p->Direction() == CSchPin::pdOut;
  return outs <= 1;
}

bool CSchDoc::Join(CSchObj* a, CSchObj* b) {
  if (!a || !b || a == b) return false;
  const bool hadA = a->IsConnected(b), hadB = b->IsConnected(a);
  if (hadA && hadB) return true;
  if (!hadA && a->Connect(b) != CSchObj::cnDone) return false;
  if (!hadB && b->Connect(a) != CSchObj::cnDone) {
    if (!hadA) a->RemoveConnection(b);
    return false;
  }
  return true;
}

void CSchDoc::Unjoin(CSchObj* a, CSchObj* b) {
  if (!a || !b) return;
  a->RemoveConnection(b);
  b->RemoveConnection(a);
}

bool CSchDoc::LinkUpdate(CSchObj* x) {
  const std::vector<CSchPin*> pins = NetPins(x);
  const CSchPin* out = nullptr;
  for (const CSchPin* p : pins)
    if (p->Direction() == CSchPin::pdOut) {
      if (out) return false;
      out = p;
    }
  if (!out || !engine_) return true;
  for (const CSchPin* p : pins)
    if (p != out && !engine_->Link(*p, *out)) return false;
  return true;
}

void CSchDoc::UnlinkUpdate(CSchObj* x) {
  const std::vector<CSchPin*> pins = NetPins(x);
  for (const CSchPin* p : pins)
    if (p->Direction() == CSchPin::pdOut) return;
  if (!engine_) return;
  for (const CSchPin* p : pins) engine_->Unlink(*p);
}

// ---------------------------------------------------------------------------------------
// Deleting
// ---------------------------------------------------------------------------------------

int32_t CSchDoc::DeleteMod(CSchMod* m, bool forced) {
  // One that the engine never created sends nothing: an unload would hit another
  // component of that name.
  // A refused unload keeps the component unless forced, or unless the engine no longer has
  // it (unloaded behind the drawing's back): then there is nothing left to keep it for.
  if (m->IsLoaded() && engine_ && !engine_->UnloadMod(*m) && !forced && engine_->Exists(m->CompName())) return 0;
  for (int32_t i = 0; i < m->ItemCount(); ++i) {
    CSchObj* item = m->Item(i);
    while (CSchObj* c = item->Connection(item->ConnectionCount() - 1)) Unjoin(item, c);
  }
  // Wire ends kept for this component's pins no longer refer to anything.
  const CStr prefix = m->Name() + ".";
  for (const auto& o : objs_)
    if (o->Kind() == skWire)
      for (int s = 0; s < 2; ++s) {
        auto* w = static_cast<CSchWire*>(o.get());
        if (w->KeptName(s).Compare(prefix.GetBfr(), prefix.GetLength(), false)) w->SetKeptName(s, "");
      }
  m->SetNames("", "");
  m->SetLoaded(false);
  m->ClearItems();
  Remove(m);
  return 1;
}

int32_t CSchDoc::DeleteWire(CSchWire* w) {
  for (int s = 0; s < 2; ++s) {
    CSchObj* o = w->Connection(s);
    if (!o) continue;
    Unjoin(w, o);
    UnlinkUpdate(o);
  }
  Remove(w);
  return 1;
}

int32_t CSchDoc::DeleteJun(CSchJun* j) {
  int32_t removed = 0;
  while (j->ConnectionCount() > 0) {
    CSchObj* c = j->Connection(j->ConnectionCount() - 1);
    if (c->Kind() == skWire) {
      // The wire lets go of both its ends and updates the links there.
      removed += IndexOf(c) >= 0 ? DeleteObj(c, true) : 0;
      if (j->IsConnected(c)) Unjoin(j, c);
      continue;
    }
    // Joined directly (a wire of length 0 was bypassed): let go first, so that a junction
    // next to this one does not come back to delete it again.
    Unjoin(j, c);
    if (c->Kind() == skPin) UnlinkUpdate(c);
    else removed += IndexOf(c) >= 0 ? DeleteObj(c, true) : 0;
  }
  Remove(j);
  return removed + 1;
}

int32_t CSchDoc::DeleteObj(CSchObj* o, bool forced) {
  if (!o || IndexOf(o) < 0) return 0;
  if (wip_.Active()) EndWire();
  switch (o->Kind()) {
    case skMod: return DeleteMod(static_cast<CSchMod*>(o), forced);
    case skWire: return DeleteWire(static_cast<CSchWire*>(o));
    case skJun: return DeleteJun(static_cast<CSchJun*>(o));
    default: return 0;
  }
}

void CSchDoc::DeleteSelection(bool forced) {
  EndWire();
  for (int pass = 0; pass < 2; ++pass) {
    int32_t i = Count() - 1;
    while (i >= 0) {
      CSchObj* o = At(i);
      if (o->IsSelected() && (pass == 1 || o->Kind() != skMod) && DeleteObj(o, forced) > 1) {
        i = Count() - 1;
        continue;
      }
      i = std::min(i - 1, Count() - 1);
    }
  }
}

void CSchDoc::Clear() {
  EndWire();
  SelectAll(true);
  DeleteSelection(true);
  // Only kinds that cannot be deleted are left (none that loading makes).
  while (!objs_.empty()) objs_.pop_back();
  if (view_) view_->Redraw(nullptr);
}

void CSchDoc::EndWire() {
  wip_.seg[0].reset();
  wip_.seg[1].reset();
  wip_.startObj = nullptr;
  wip_.start = {};
}

void CSchDoc::Draw(ISchDevice& dev) const {
  for (const auto& o : objs_) o->Draw(dev, CSchObj::dmNormal);
  for (const auto& s : wip_.seg)
    if (s) s->Draw(dev, CSchObj::dmNormal);
}

// ---------------------------------------------------------------------------------------
// Saved state
// ---------------------------------------------------------------------------------------

CStr CSchDoc::SaveState() const {
  // Only the kinds loading can rebuild (those with a tag) are written.
  auto saved = [](const CSchObj& o) { return *SchTag(o.Kind()) && o.Kind() != skPin; };
  CSchArchive ar;
  ar.Put(static_cast<int32_t>(std::count_if(objs_.begin(), objs_.end(), [&](const auto& o) { return saved(*o); })));
  for (const auto& o : objs_) {
    if (!saved(*o)) continue;
    ar.Put(SchTag(o->Kind()));
    ar.Put(o->Name().GetBfr());
  }
  ar.EndRecord();
  for (const auto& o : objs_)
    if (saved(*o)) o->Serialize(ar);
  return CStr(ar.Text().data(), static_cast<long>(ar.Text().size()));
}

void CSchDoc::LoadState(const char* text, size_t n) {
  Clear();
  CSchArchive ar(text, n);
  // A setup section starts with the header's own line break: blank lines are not a drawing.
  while (!ar.AtEnd() && ar.RecordBlank()) ar.NextRecord();
  if (ar.AtEnd()) return;

  // The header: every entry has its own object line, so an unknown tag costs only its line.
  const int32_t count = std::max(0, ar.GetInt());
  std::vector<CSchObj*> entries;
  int32_t largest = 0;
  while (static_cast<int32_t>(entries.size()) < count && !ar.AtRecordEnd()) {
    const CStr tag = ar.GetStr();
    const CStr name = ar.GetStr();
    std::unique_ptr<CSchObj> o;
    if (tag == "M") o = std::make_unique<CSchMod>();
    else if (tag == "J") o = std::make_unique<CSchJun>();
    else if (tag == "W") o = std::make_unique<CSchWire>();
    else KvErrReport(1, __LINE__, "Internal Error", kUnit);
    if (name.GetLength() >= 2) largest = std::max(largest, NameNumber(name));
    CSchObj* raw = o.get();
    if (o && !name.IsEmpty()) o->SetName(name.GetBfr());
    if (o && !Add(std::move(o))) raw = nullptr;
    entries.push_back(raw);
  }
  CSchObj::RaiseSerial(largest);
  ar.NextRecord();
  const size_t body = ar.Tell();

  // Components and junctions first: wires refer to pins that exist once symbols are parsed.
  for (CSchObj* o : entries) {
    if (o && o->Kind() != skWire) {
      o->Serialize(ar);
      if (o->Kind() == skMod) {
        auto* m = static_cast<CSchMod*>(o);
        if (m->CompName().GetLength() >= 2) RaiseCompNumber(CSchMod::CompNumber(m->CompName()));
        CreateMod(*m);
      }
      if (view_) view_->Redraw(o);
    }
    ar.NextRecord();
  }
  ar.Seek(body);
  std::vector<CSchWire*> wires;
  for (CSchObj* o : entries) {
    if (o && o->Kind() == skWire) {
      o->Serialize(ar);
      wires.push_back(static_cast<CSchWire*>(o));
    }
    ar.NextRecord();
  }
  ConnectLoadedWires(wires);
  if (view_) view_->Redraw(nullptr);
}

void CSchDoc::ConnectLoadedWires(const std::vector<CSchWire*>& wires) {
  // A wire is joined only when both its ends name objects other than itself.
  std::unordered_set<const CSchObj*> resolved;
  for (CSchWire* w : wires) {
    CSchObj* a = Find(w->KeptName(0));
    CSchObj* b = Find(w->KeptName(1));
    if (a && b && a != w && b != w && a != b) resolved.insert(w);
  }
  for (CSchWire* w : wires) {
    if (!resolved.count(w)) continue;
    std::vector<std::pair<CSchObj*, int>> made;  // joins of this step, to undo on refusal
    bool ok = true;
    for (int s = 0; s < 2 && ok; ++s) {
      CSchObj* t = Find(w->KeptName(s));
      if (w->Connection(s) == t) continue;  // joined from t's side already
      if (w->Connection(s) || !CanJoin(w, t)) {
        ok = false;
        break;
      }
      if (t->Kind() == skWire) {
        // The other wire must name this one at an open end of its own.
        auto* tw = static_cast<CSchWire*>(t);
        int k = -1;
        for (int j = 0; j < 2 && k < 0; ++j)
          if (!tw->Connection(j) && tw->KeptName(j) == w->Name()) k = j;
        if (!resolved.count(t) || k < 0) {
          ok = false;
          break;
        }
        w->SetConnectionAt(s, t, nullptr);
        tw->SetConnectionAt(k, w, nullptr);
      } else {
        if (t->Connect(w) != CSchObj::cnDone) {
          ok = false;
          break;
        }
        w->SetConnectionAt(s, t, nullptr);
      }
      made.emplace_back(t, s);
    }
    if (!ok) {
      for (auto& [t, s] : made) Unjoin(w, t);
      made.clear();
    }
    for (int s = 0; s < 2; ++s)
      if (w->Connection(s)) w->SetKeptName(s, "");
    if (!made.empty()) LinkUpdate(w);
  }
}
