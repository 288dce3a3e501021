#include "KvSch/SchObj.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "KvSch/SchArchive.h"

// ---------------------------------------------------------------------------------------
// Geometry and kinds
// ---------------------------------------------------------------------------------------

SchRect SchRect::Normalized() const { return {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)}; }

SchRect SchRect::Offset(SchPoint p) const {
  return {SchClampCoord(int64_t{l} + p.x), SchClampCoord(int64_t{t} + p.y), SchClampCoord(int64_t{r} + p.x),
          SchClampCoord(int64_t{b} + p.y)};
}

bool SchRect::Contains(SchPoint p) const { return p.x >= l && p.x <= r && p.y >= t && p.y <= b; }

bool SchRect::Intersects(const SchRect& o) const { return l <= o.r && o.l <= r && t <= o.b && o.t <= b; }

int64_t SchRect::Distance(SchPoint p) const {
  const int64_t dx = p.x < l ? int64_t{l} - p.x : (p.x > r ? int64_t{p.x} - r : 0);
  const int64_t dy = p.y < t ? int64_t{t} - p.y : (p.y > b ? int64_t{p.y} - b : 0);
  return std::max(dx, dy);
}

const char* SchTypeName(int32_t kind) {
  static const char* const names[] = {"None", "Obj",   "Box",   "Mod",  "Line", "Net", "Pin",
                                      "Text", "Wire",  "Label", "Line2", "Rect", "Jun"};
  return kind >= 0 && kind <= skJun ? names[kind] : "Unknown";
}

const char* SchTag(int32_t kind) {
  switch (kind) {
    case skMod: return "M";
    case skPin: return "P";
    case skWire: return "W";
    case skJun: return "J";
    default: return "";
  }
}

int32_t SchClampCoord(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -kSchCoordMax, kSchCoordMax)); }

int32_t SchToInt(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(v, lo, hi));
}

// ---------------------------------------------------------------------------------------
// CSchObj
// ---------------------------------------------------------------------------------------

namespace {
std::atomic<int32_t> g_serial{0};

// The next serial; the counter stops at the largest value rather than wrapping.
int32_t TakeSerial() {
  int32_t cur = g_serial.load(std::memory_order_relaxed);
  for (;;) {
    const int32_t next = cur < std::numeric_limits<int32_t>::max() ? cur + 1 : cur;
    if (g_serial.compare_exchange_weak(cur, next, std::memory_order_relaxed)) return next;
  }
}
}  // namespace

int32_t CSchObj::LastSerial() { return g_serial.load(std::memory_order_relaxed); }

void CSchObj::RaiseSerial(int32_t v) {
  int32_t cur = g_serial.load(std::memory_order_relaxed);
  while (cur < v && !g_serial.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}

CSchObj::CSchObj(int32_t kind, uint32_t colour, int32_t capacity)
    : kind_(kind), colour_(colour), capacity_(capacity), serial_(TakeSerial()) {
  name_ = CStr("#") + CStr(static_cast<long>(serial_));
}

CSchObj::~CSchObj() {
  // Copy first: each partner's RemoveConnection may call back into this list.
  const std::vector<CSchObj*> partners = conn_;
  for (CSchObj* o : partners)
    if (o && o != this) o->RemoveConnection(this);
}

void CSchObj::Draw(ISchDevice&, int) const {}
bool CSchObj::PtInside(SchPoint) const { return false; }
bool CSchObj::IntersectsRect(const SchRect&) const { return false; }
int64_t CSchObj::Distance(SchPoint) const { return std::numeric_limits<int64_t>::max(); }

void CSchObj::Serialize(CSchArchive& ar) {
  if (ar.IsStoring()) {
    ar.Put(TypeName());
    ar.Put(name_.GetBfr());
    ar.Put(pos_);
    ar.Put(selected_ ? 1 : 0);
  } else {
    ar.GetStr();  // the type name, written for readers; the header's tag decides the kind
    ar.GetStr();  // the name, already taken from the header
    SetPosition(ar.GetPoint());
    Select(ar.GetInt() != 0);
  }
}

bool CSchObj::SetParent(CSchObj* parent) {
  if (parent_) return false;
  parent_ = parent;
  return true;
}

void CSchObj::SetPosition(SchPoint p) { pos_ = {SchClampCoord(p.x), SchClampCoord(p.y)}; }

void CSchObj::MoveBy(int32_t dx, int32_t dy) {
  pos_ = {SchClampCoord(int64_t{pos_.x} + dx), SchClampCoord(int64_t{pos_.y} + dy)};
}

SchPoint CSchObj::Origin() const {
  if (!parent_) return pos_;
  const SchPoint o = parent_->Origin();
  return {SchClampCoord(int64_t{o.x} + pos_.x), SchClampCoord(int64_t{o.y} + pos_.y)};
}

uint32_t CSchObj::DrawColour(int mode) const {
  if (mode == dmErase) return kSchWhite;
  return selected_ ? kSchBlack : colour_;
}

int CSchObj::Connect(CSchObj* o) {
  if (!o) return cnRefused;
  if (IsConnected(o)) return cnAlready;
  if (ConnectionCount() >= capacity_) return cnRefused;
  conn_.push_back(o);
  return cnDone;
}

void CSchObj::ReplaceConnection(CSchObj* nw, CSchObj* old) {
  for (CSchObj*& c : conn_)
    if (c == old) c = nw;
}

void CSchObj::RemoveConnection(CSchObj* o) { conn_.erase(std::remove(conn_.begin(), conn_.end(), o), conn_.end()); }

CSchObj* CSchObj::Connection(int32_t index) const {
  return index >= 0 && index < ConnectionCount() ? conn_[static_cast<size_t>(index)] : nullptr;
}

bool CSchObj::SetConnectionAt(int32_t index, CSchObj* nw, CSchObj* expectedOld) {
  if (index < 0 || index >= ConnectionCount() || conn_[static_cast<size_t>(index)] != expectedOld) return false;
  conn_[static_cast<size_t>(index)] = nw;
  return true;
}

bool CSchObj::IsConnected(const CSchObj* o) const {
  return o && std::find(conn_.begin(), conn_.end(), o) != conn_.end();
}

// ---------------------------------------------------------------------------------------
// Rectangles, boxes, junctions
// ---------------------------------------------------------------------------------------

void CSchRect::SetRect(const SchRect& r) {
  rect_ = {SchClampCoord(r.l), SchClampCoord(r.t), SchClampCoord(r.r), SchClampCoord(r.b)};
}

void CSchRect::Draw(ISchDevice& dev, int mode) const { dev.Frame(Placed(), DrawColour(mode)); }

CSchJun::CSchJun() : CSchRect(skJun, SchRgb(192, 0, 0), 8) { rect_ = {-16, -16, 16, 16}; }

void CSchJun::Draw(ISchDevice& dev, int mode) const { dev.Fill(Placed(), DrawColour(mode)); }

void CSchJun::Serialize(CSchArchive& ar) {
  CSchObj::Serialize(ar);
  if (ar.IsStoring()) ar.EndRecord();
}

// ---------------------------------------------------------------------------------------
// Lines and pins
// ---------------------------------------------------------------------------------------

void CSchLine::SetPoints(SchPoint a, SchPoint b) {
  SetP1(a);
  SetP2(b);
}

void CSchLine::SetP1(SchPoint a) { p1_ = {SchClampCoord(a.x), SchClampCoord(a.y)}; }
void CSchLine::SetP2(SchPoint b) { p2_ = {SchClampCoord(b.x), SchClampCoord(b.y)}; }

SchPoint CSchLine::AbsP1() const {
  const SchPoint o = Origin();
  return {SchClampCoord(int64_t{o.x} + p1_.x), SchClampCoord(int64_t{o.y} + p1_.y)};
}

SchPoint CSchLine::AbsP2() const {
  const SchPoint o = Origin();
  return {SchClampCoord(int64_t{o.x} + p2_.x), SchClampCoord(int64_t{o.y} + p2_.y)};
}

SchRect CSchLine::Placed() const {
  const SchPoint a = AbsP1(), b = AbsP2();
  return SchRect{a.x, a.y, b.x, b.y}.Normalized();
}

void CSchLine::Draw(ISchDevice& dev, int mode) const { dev.Line(AbsP1(), AbsP2(), DrawColour(mode)); }

void CSchLine2::SetOrientation(int32_t o) { orient_ = (o == orHorizontal || o == orVertical) ? o : orNone; }

void CSchLine2::SetPoints(SchPoint a, SchPoint b) {
  CSchLine::SetPoints(a, b);
  if (p1_.y == p2_.y) orient_ = orHorizontal;
  else if (p1_.x == p2_.x) orient_ = orVertical;
  else orient_ = orNone;
}

void CSchPin::SetPin(int32_t number, const char* name, int32_t dir) {
  number_ = number;
  pinName_ = name;
  dir_ = dir;
}

SchPoint CSchPin::ConnectionPoint() const {
  const SchPoint a = AbsP1(), b = AbsP2();
  if (a.x == b.x) return b;
  const bool larger = dir_ == pdOut;
  return (a.x < b.x) != larger ? a : b;
}

CStr CSchPin::RefName() const {
  const CStr comp = Parent() ? Parent()->Name() : CStr();
  return comp + "." + CStr(static_cast<long>(number_));
}

// ---------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------

void CSchText::Set(const SchRect& r, const char* text, int32_t halign, int32_t valign) {
  rect_ = {SchClampCoord(r.l), SchClampCoord(r.t), SchClampCoord(r.r), SchClampCoord(r.b)};
  text_ = text;
  halign_ = halign;
  valign_ = valign;
}

void CSchText::Draw(ISchDevice& dev, int mode) const {
  dev.Text(Placed(), text_.GetBfr(), Align(), DrawColour(mode));
}

// ---------------------------------------------------------------------------------------
// Wires
// ---------------------------------------------------------------------------------------

CSchWire::CSchWire() : CSchLine2(skWire, SchRgb(192, 0, 0), 2) { conn_.assign(2, nullptr); }

int CSchWire::Connect(CSchObj* o) {
  if (!o) return cnRefused;
  if (IsConnected(o)) return cnAlready;
  for (size_t s = 0; s < conn_.size(); ++s)
    if (!conn_[s]) {
      conn_[s] = o;
      kept_[s] = "";  // a connected end names its object
      return cnDone;
    }
  return cnRefused;
}

void CSchWire::RemoveConnection(CSchObj* o) {
  if (!o) return;
  for (CSchObj*& c : conn_)
    if (c == o) c = nullptr;
}

int CSchWire::SlotOf(const CSchObj* o) const {
  if (!o) return -1;
  return conn_[0] == o ? 0 : (conn_[1] == o ? 1 : -1);
}

CStr CSchWire::EndRef(int slot) const {
  const CSchObj* o = conn_[static_cast<size_t>(slot & 1)];
  if (o) return SchRefName(o);
  return kept_[slot & 1].IsEmpty() ? CStr("#") : kept_[slot & 1];
}

bool CSchWire::IsDiagonal() const { return p1_.x != p2_.x && p1_.y != p2_.y; }

namespace {
int32_t SnapMid(int64_t a, int64_t b) {
  const double v = static_cast<double>((a + b) / 2);
  return SchClampCoord(static_cast<int64_t>(std::trunc(v / 100 + 0.5)) * 100);
}
}  // namespace

std::vector<SchPoint> CSchWire::Staircase() const {
  const SchPoint a = AbsP1(), b = AbsP2();
  if (a.x == b.x || a.y == b.y) return {a, b};
  if (Orientation() == orHorizontal) {
    const int32_t m = SnapMid(a.x, b.x);
    return {a, {m, a.y}, {m, b.y}, b};
  }
  const int32_t m = SnapMid(a.y, b.y);
  return {a, {a.x, m}, {b.x, m}, b};
}

void CSchWire::Draw(ISchDevice& dev, int mode) const {
  const std::vector<SchPoint> pts = Staircase();
  const uint32_t c = DrawColour(mode);
  for (size_t i = 1; i < pts.size(); ++i) dev.Line(pts[i - 1], pts[i], c);
}

void CSchWire::Serialize(CSchArchive& ar) {
  CSchObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar.Put(EndRef(0).GetBfr());
    ar.Put(EndRef(1).GetBfr());
    ar.Put(p1_);
    ar.Put(p2_);
    ar.Put(Orientation());
    ar.EndRecord();
    return;
  }
  kept_[0] = ar.GetStr();
  kept_[1] = ar.GetStr();
  const SchPoint a = ar.GetPoint();
  const SchPoint b = ar.GetPoint();
  SetPoints(a, b);
  SetOrientation(ar.GetInt());  // as stored, not recomputed
}

CStr SchRefName(const CSchObj* o) {
  if (!o) return CStr("#");
  if (o->Kind() == skPin) return static_cast<const CSchPin*>(o)->RefName();
  return o->Name();
}
