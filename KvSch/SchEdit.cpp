#include "KvSch/SchEdit.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace {
SchPoint Add(SchPoint a, SchPoint d) {
  return {SchClampCoord(int64_t{a.x} + d.x), SchClampCoord(int64_t{a.y} + d.y)};
}
SchPoint Sub(SchPoint a, SchPoint d) {
  return {SchClampCoord(int64_t{a.x} - d.x), SchClampCoord(int64_t{a.y} - d.y)};
}

// Whether o can take one more connection: a wire needs an open end, anything else a free
// slot below its capacity. Joining a full object would connect one side only.
bool HasRoom(const CSchObj* o) {
  if (o->Kind() == skWire) {
    const auto* w = static_cast<const CSchWire*>(o);
    return !w->Start() || !w->End();
  }
  return o->ConnectionCount() < o->Capacity();
}

// Moves one end of w (slot 0 its start, 1 its end) by d; the orientation stays as it was.
void MoveEnd(CSchWire* w, int slot, SchPoint d) {
  if (slot == 0) w->SetP1(Add(w->P1(), d));
  else if (slot == 1) w->SetP2(Add(w->P2(), d));
}

// The two segments of a wire being drawn, both of length 0 at p, drawn on from from.
void BeginSegments(CSchDoc::WireInProgress& wip, SchPoint p, CSchObj* from) {
  for (auto& seg : wip.seg) {
    seg = std::make_unique<CSchWire>();
    seg->SetPoints(p, p);
  }
  wip.start = p;
  wip.startObj = from;
}

// Whether s lies on the straight wire w (a diagonal wire has no straight points but its ends).
bool OnWire(const CSchWire& w, SchPoint s) {
  const SchPoint a = w.AbsP1(), b = w.AbsP2();
  if (s == a || s == b) return true;
  if (a.y == b.y) return s.y == a.y && s.x >= std::min(a.x, b.x) && s.x <= std::max(a.x, b.x);
  if (a.x == b.x) return s.x == a.x && s.y >= std::min(a.y, b.y) && s.y <= std::max(a.y, b.y);
  return false;
}
}  // namespace

// ---------------------------------------------------------------------------------------
// Placing
// ---------------------------------------------------------------------------------------

CSchMod* CSchEdit::Place(const char* func, SchPoint p) {
  ISchEngine* eng = doc_.Engine();
  if (!func || !*func || !eng || !eng->MayChange()) return nullptr;
  // A name the engine already holds (loaded in the console, say) would make the load fail or
  // the drawing take over a component it did not create.
  CStr name;
  for (;;) {
    const int32_t before = doc_.LastCompNumber();
    const int32_t n = doc_.NextCompNumber();
    name = CStr("m") + CStr(static_cast<long>(n));
    if (n == before || !eng->Exists(name)) break;  // at the largest number there is no next
  }
  auto m = std::make_unique<CSchMod>();
  m->SetNames(func, name.GetBfr());
  m->SetPosition(CSchDoc::Snap(p));
  if (!doc_.CreateMod(*m)) return nullptr;
  CSchMod* raw = m.get();
  if (!doc_.Add(std::move(m))) {
    // Not in the drawing, so not in the engine either.
    CSchMod gone;
    gone.SetNames(func, name.GetBfr());
    eng->UnloadMod(gone);
    return nullptr;
  }
  if (doc_.View()) doc_.View()->Redraw(raw);
  return raw;
}

// ---------------------------------------------------------------------------------------
// Splitting
// ---------------------------------------------------------------------------------------

SchPoint CSchEdit::NearestOn(const CSchWire& w, SchPoint q) {
  const SchPoint a = w.AbsP1(), b = w.AbsP2();
  if (a == b) return CSchDoc::Snap(a);
  if (a.y == b.y) {
    // Snapped, then kept on the wire, so a wire off the grid can still be split.
    const int32_t x = std::clamp(CSchDoc::Snap(std::clamp(q.x, std::min(a.x, b.x), std::max(a.x, b.x))),
                                 std::min(a.x, b.x), std::max(a.x, b.x));
    return {x, a.y};
  }
  if (a.x == b.x) {
    const int32_t y = std::clamp(CSchDoc::Snap(std::clamp(q.y, std::min(a.y, b.y), std::max(a.y, b.y))),
                                 std::min(a.y, b.y), std::max(a.y, b.y));
    return {a.x, y};
  }
  // A diagonal wire (drawn as a staircase until the clean-ups replace it): its nearer end.
  const int64_t da = SchRect{a.x, a.y, a.x, a.y}.Distance(q), db = SchRect{b.x, b.y, b.x, b.y}.Distance(q);
  return da <= db ? a : b;
}

CSchJun* CSchEdit::Split(CSchWire* w, SchPoint s) {
  if (!w || doc_.IndexOf(w) < 0 || !OnWire(*w, s)) return nullptr;
  const SchPoint a = w->AbsP1(), b = w->AbsP2();
  auto jun = std::make_unique<CSchJun>();
  jun->SetPosition(s);
  CSchJun* j = jun.get();
  if (s == a || s == b) {
    // At an end point no piece of length 0 is made: a junction already there is the split,
    // else a new one goes between that end and what was connected there.
    const int slot = s == b ? 1 : 0;
    CSchObj* old = w->Connection(slot);
    if (old && old->Kind() == skJun) return static_cast<CSchJun*>(old);
    if (old) {
      j->Connect(old);
      old->ReplaceConnection(j, w);
    }
    w->SetConnectionAt(slot, j, old);
    j->Connect(w);
    if (!doc_.Add(std::move(jun))) {
      // Undo the insertion: the old neighbour takes the wire back.
      w->SetConnectionAt(slot, old, j);
      if (old) old->ReplaceConnection(w, j);
      return nullptr;
    }
    if (doc_.View()) doc_.View()->Redraw(j);
    return j;
  }
  auto piece = std::make_unique<CSchWire>();
  piece->SetPoints(s, b);
  piece->SetOrientation(w->Orientation());
  CSchWire* nw = piece.get();
  CSchObj* old = w->End();
  // The new piece takes over the old end's connection; the junction joins both pieces.
  w->SetP2(Sub(s, w->Origin()));
  w->SetConnectionAt(1, j, old);
  j->Connect(w);
  j->Connect(nw);
  nw->SetConnectionAt(0, j, nullptr);
  if (old) {
    nw->SetConnectionAt(1, old, nullptr);
    old->ReplaceConnection(nw, w);
  }
  const bool added = doc_.Add(std::move(jun));
  if (!added || !doc_.Add(std::move(piece))) {
    // Put the wire back as it was; what was made goes without a trace.
    if (old) old->ReplaceConnection(w, nw);
    nw->SetConnectionAt(1, nullptr, old);
    nw->SetConnectionAt(0, nullptr, j);
    w->SetConnectionAt(1, old, j);
    w->SetP2(Sub(b, w->Origin()));
    if (added) doc_.Remove(j).reset();
    return nullptr;
  }
  if (doc_.View()) {
    doc_.View()->Redraw(w);
    doc_.View()->Redraw(j);
    doc_.View()->Redraw(nw);
  }
  return j;
}

// ---------------------------------------------------------------------------------------
// The wire tool
// ---------------------------------------------------------------------------------------

bool CSchEdit::StartWire(SchPoint q) {
  EndWire();
  CSchObj* hit = doc_.Nearest(q);
  if (!hit) return false;
  CSchObj* startObj = nullptr;
  SchPoint start;
  switch (hit->Kind()) {
    case skMod: {
      CSchPin* pin = static_cast<CSchMod*>(hit)->PinAt(q, doc_.Tolerance());
      if (!pin || !HasRoom(pin)) return false;
      startObj = pin;
      start = pin->ConnectionPoint();  // exact: the wire meets the pin where it is
      break;
    }
    case skJun:
      if (!HasRoom(hit)) return false;
      startObj = hit;
      start = CSchDoc::Snap(hit->Position());
      break;
    case skWire: {
      auto* w = static_cast<CSchWire*>(hit);
      start = NearestOn(*w, q);
      startObj = Split(w, start);
      if (!startObj || !HasRoom(startObj)) return false;  // a full junction at the wire's end
      break;
    }
    default: return false;
  }
  BeginSegments(doc_.Wip(), start, startObj);
  return true;
}

void CSchEdit::StretchWire(SchPoint q) {
  CSchDoc::WireInProgress& wip = doc_.Wip();
  if (!wip.Active()) return;
  const SchPoint m = CSchDoc::Snap(q);
  const SchPoint bend{m.x, wip.start.y};
  wip.seg[0]->SetPoints(wip.start, bend);
  wip.seg[1]->SetPoints(bend, m);
  if (doc_.View()) {
    doc_.View()->Redraw(wip.seg[0].get());
    doc_.View()->Redraw(wip.seg[1].get());
  }
}

namespace {
// Start object, first segment, second segment and (when given) the end object in series;
// both sides of each link or none of them.
bool JoinSeries(CSchObj* start, CSchWire* s0, CSchWire* s1, CSchObj* end) {
  if (!CSchDoc::Join(start, s0)) return false;
  if (!CSchDoc::Join(s0, s1)) {
    CSchDoc::Unjoin(start, s0);
    return false;
  }
  if (end && !CSchDoc::Join(s1, end)) {
    CSchDoc::Unjoin(s0, s1);
    CSchDoc::Unjoin(start, s0);
    return false;
  }
  return true;
}
}  // namespace

CSchEdit::Click CSchEdit::ClickWire(SchPoint q) {
  CSchDoc::WireInProgress& wip = doc_.Wip();
  if (!wip.Active()) return clIgnored;
  CSchObj* hit = doc_.Nearest(q);
  ISchEngine* eng = doc_.Engine();
  auto mayChange = [&] { return !eng || eng->MayChange(); };

  if (!hit) {
    // A corner: what is drawn so far is committed and drawing goes on from its end.
    if (!mayChange()) return clIgnored;
    StretchWire(q);
    CSchWire* s0 = wip.seg[0].get();
    CSchWire* s1 = wip.seg[1].get();
    if (!JoinSeries(wip.startObj, s0, s1, nullptr)) return clIgnored;
    doc_.Add(std::move(wip.seg[0]));
    if (!doc_.Add(std::move(wip.seg[1]))) {
      EndWire();  // the second segment is gone; the first stays with an open end
      return clFailed;
    }
    if (!doc_.LinkUpdate(s0)) {
      EndWire();
      if (eng) eng->ReportLinkRefusal();
      return clFailed;
    }
    BeginSegments(wip, CSchDoc::Snap(q), s1);
    return clCorner;
  }

  // The end object and the point the segments are brought to.
  CSchObj* end = nullptr;
  CSchWire* toSplit = nullptr;
  SchPoint at;
  switch (hit->Kind()) {
    case skMod: {
      CSchPin* pin = static_cast<CSchMod*>(hit)->PinAt(q, doc_.Tolerance());
      if (!pin) return clIgnored;
      end = pin;
      at = CSchDoc::Snap(pin->ConnectionPoint());
      break;
    }
    case skJun:
      end = hit;
      at = CSchDoc::Snap(hit->Position());
      break;
    case skWire:
      toSplit = static_cast<CSchWire*>(hit);
      if (doc_.Reaches(wip.startObj, toSplit)) return clIgnored;
      end = toSplit;  // the junction that splits it joins the same net
      at = NearestOn(*toSplit, q);
      break;
    default: return clIgnored;
  }
  // The connection rule, and room on the end object (a split's junction always has room).
  if (!doc_.CanJoin(wip.startObj, end) || (!toSplit && !HasRoom(end))) return clIgnored;
  if (!mayChange()) return clIgnored;
  if (toSplit) {
    end = Split(toSplit, at);
    if (!end) return clIgnored;
  }
  StretchWire(at);
  CSchWire* s0 = wip.seg[0].get();
  CSchWire* s1 = wip.seg[1].get();
  if (!JoinSeries(wip.startObj, s0, s1, end)) return clIgnored;
  doc_.Add(std::move(wip.seg[0]));
  const bool added = doc_.Add(std::move(wip.seg[1]));
  EndWire();
  if (!added) return clFailed;
  if (!doc_.LinkUpdate(end)) {
    // The joined segments stay in the drawing; the tool has ended, so nothing refers to them
    // twice. The engine's refusal is what the user needs to see.
    if (eng) eng->ReportLinkRefusal();
    CleanUp();
    return clFailed;
  }
  CleanUp();
  return clDone;
}

// ---------------------------------------------------------------------------------------
// Clean-ups
// ---------------------------------------------------------------------------------------

void CSchEdit::CleanUp() {
  // The clean-ups remove wires; a wire being drawn must not keep one as its start.
  EndWire();
  bool changed = false;

  // Diagonal wires become three orthogonal pieces (the staircase they are drawn as).
  const int32_t n = doc_.Count();
  for (int32_t i = 0; i < n; ++i) {
    CSchObj* o = doc_.At(i);
    if (o->Kind() != skWire || !static_cast<CSchWire*>(o)->IsDiagonal()) continue;
    auto* w = static_cast<CSchWire*>(o);
    const std::vector<SchPoint> pts = w->Staircase();
    if (pts.size() != 4) continue;
    auto mid = std::make_unique<CSchWire>();
    auto last = std::make_unique<CSchWire>();
    mid->SetPoints(pts[1], pts[2]);
    last->SetPoints(pts[2], pts[3]);
    CSchWire* m = mid.get();
    CSchWire* l = last.get();
    if (!doc_.Add(std::move(mid))) continue;
    if (!doc_.Add(std::move(last))) {
      doc_.Remove(m).reset();
      continue;
    }
    CSchObj* old = w->End();
    w->SetPosition({0, 0});
    w->SetPoints(pts[0], pts[1]);  // now straight: its orientation is what it looks like
    w->SetConnectionAt(1, m, old);
    m->SetConnectionAt(0, w, nullptr);
    m->SetConnectionAt(1, l, nullptr);
    l->SetConnectionAt(0, m, nullptr);
    if (old) {
      l->SetConnectionAt(1, old, nullptr);
      old->ReplaceConnection(l, w);
    }
    changed = true;
  }

  // Wires of length 0 are bypassed and removed.
  for (int32_t i = doc_.Count() - 1; i >= 0; --i) {
    CSchObj* o = doc_.At(i);
    if (!o || o->Kind() != skWire) continue;
    auto* w = static_cast<CSchWire*>(o);
    if (!(w->AbsP1() == w->AbsP2())) continue;
    CSchObj* a = w->Start();
    CSchObj* b = w->End();
    if (a && b && a != b && !a->IsConnected(b)) {
      a->ReplaceConnection(b, w);
      b->ReplaceConnection(a, w);
    } else {
      if (a) a->RemoveConnection(w);
      if (b) b->RemoveConnection(w);
    }
    w->RemoveConnection(a);
    w->RemoveConnection(b);
    doc_.Remove(w).reset();
    i = std::min(i, doc_.Count());
    changed = true;
  }

  // Collinear wires connected end to start are merged into the first.
  for (bool merged = true; merged;) {
    merged = false;
    for (int32_t i = 0; i < doc_.Count() && !merged; ++i) {
      CSchObj* o = doc_.At(i);
      if (o->Kind() != skWire) continue;
      auto* w1 = static_cast<CSchWire*>(o);
      if (w1->IsDiagonal()) continue;
      for (int slot = 0; slot < 2 && !merged; ++slot) {
        CSchObj* c = w1->Connection(slot);
        if (!c || c->Kind() != skWire) continue;
        auto* w2 = static_cast<CSchWire*>(c);
        // slot 1: w1's end on w2's start; slot 0: w1's start on w2's end.
        const int other = 1 - slot;
        if (w2->Connection(other) != w1 || w2->IsDiagonal()) continue;
        const SchPoint e1 = slot == 1 ? w1->AbsP2() : w1->AbsP1();
        const SchPoint e2 = slot == 1 ? w2->AbsP1() : w2->AbsP2();
        if (!(e1 == e2)) continue;
        const SchPoint a1 = w1->AbsP1(), b1 = w1->AbsP2(), a2 = w2->AbsP1(), b2 = w2->AbsP2();
        const bool horizontal = a1.y == b1.y && a2.y == b2.y && a1.y == a2.y;
        const bool vertical = a1.x == b1.x && a2.x == b2.x && a1.x == a2.x;
        if (!horizontal && !vertical) continue;
        CSchObj* far = w2->Connection(slot);
        if (far == w1 || (far && w1->IsConnected(far))) continue;  // would close a loop
        const SchPoint farPt = slot == 1 ? b2 : a2;
        const SchPoint org = w1->Origin();
        if (slot == 1) w1->SetP2(Sub(farPt, org));
        else w1->SetP1(Sub(farPt, org));
        w1->SetConnectionAt(slot, far, w2);
        if (far) far->ReplaceConnection(w1, w2);
        w2->SetConnectionAt(other, nullptr, w1);
        w2->SetConnectionAt(slot, nullptr, far);
        doc_.Remove(w2).reset();
        merged = changed = true;
      }
    }
  }
  if (changed && doc_.View()) doc_.View()->Redraw(nullptr);
}

// ---------------------------------------------------------------------------------------
// Moving
// ---------------------------------------------------------------------------------------

void CSchEdit::MoveSelection(SchPoint d) {
  if (d.x == 0 && d.y == 0) return;
  ISchView* view = doc_.View();
  auto touched = [&](CSchObj* o) {
    if (view) view->Redraw(o);
  };
  const SchPoint back{-d.x, -d.y};
  for (int32_t i = 0; i < doc_.Count(); ++i) {
    CSchObj* o = doc_.At(i);
    if (!o->IsSelected()) continue;
    touched(o);  // where it was, and below where it is
    o->MoveBy(d);
    touched(o);
    switch (o->Kind()) {
      case skMod: {
        auto* m = static_cast<CSchMod*>(o);
        for (int32_t k = 1; k <= m->PinCount(); ++k) {
          CSchPin* pin = m->Pin(k);
          CSchObj* c = pin ? pin->Connection(0) : nullptr;
          if (!c || c->Kind() != skWire || c->IsSelected()) continue;
          touched(c);
          MoveEnd(static_cast<CSchWire*>(c), static_cast<CSchWire*>(c)->SlotOf(pin), d);
          touched(c);
        }
        break;
      }
      case skJun:
        for (int32_t k = 0; k < o->ConnectionCount(); ++k) {
          CSchObj* c = o->Connection(k);
          if (!c || c->Kind() != skWire || c->IsSelected()) continue;
          touched(c);
          MoveEnd(static_cast<CSchWire*>(c), static_cast<CSchWire*>(c)->SlotOf(o), d);
          touched(c);
        }
        break;
      case skWire: {
        auto* w = static_cast<CSchWire*>(o);
        for (int s = 0; s < 2; ++s) {
          CSchObj* c = w->Connection(s);
          if (!c || c->IsSelected()) continue;
          if (c->Kind() == skPin || c->Kind() == skJun) {
            MoveEnd(w, s, back);  // that end stays where the object is
          } else if (c->Kind() == skWire) {
            touched(c);
            MoveEnd(static_cast<CSchWire*>(c), static_cast<CSchWire*>(c)->SlotOf(w), d);
            touched(c);
          }
        }
        touched(w);
        break;
      }
      default: break;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Deleting and panels
// ---------------------------------------------------------------------------------------

bool CSchEdit::DeleteSelection() {
  EndWire();
  bool any = false;
  for (int32_t i = 0; i < doc_.Count() && !any; ++i) any = doc_.At(i)->IsSelected();
  if (!any) return true;
  if (doc_.Engine() && !doc_.Engine()->MayChange()) return false;
  doc_.DeleteSelection(false);
  if (doc_.View()) doc_.View()->Redraw(nullptr);
  return true;
}

void CSchEdit::OpenPanels(CSchObj* o) {
  doc_.SelectAll(false);
  if (o && doc_.IndexOf(o) >= 0) o->Select(true);
  if (doc_.View()) doc_.View()->Redraw(nullptr);
  if (!o || o->Kind() != skMod || !doc_.Engine()) return;
  auto* m = static_cast<CSchMod*>(o);
  // One whose creation failed has no instance; its name might be another component's.
  if (m->IsLoaded()) doc_.Engine()->OpenPanels(*m);
}
