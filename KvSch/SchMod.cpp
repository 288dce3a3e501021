#include "KvSch/SchMod.h"

#include <cctype>
#include <cstring>

#include "KvDll/dbg.h"
#include "KvSch/SchArchive.h"

namespace {
const char* const kUnit = "KvSch/SchMod";

int32_t Num(const CStr& field) { return field.IsEmpty() ? 0 : SchClampCoord(SchToInt(field.Str2Num())); }

int32_t HAlignCode(CStr w) {
  w.lcase();
  if (w == "center") return saCenter;
  if (w == "right") return saRight;
  return saLeft;
}

int32_t VAlignCode(CStr w) {
  w.lcase();
  if (w == "center") return saVCenter;
  if (w == "bottom") return saBottom;
  return saTop;
}

int32_t PinDirection(const CStr& keyword) {
  if (keyword == "ipin") return CSchPin::pdIn;
  if (keyword == "opin") return CSchPin::pdOut;
  if (keyword == "bpin") return CSchPin::pdBidi;
  return 0;
}
}  // namespace

CSchMod::~CSchMod() { ClearItems(); }

void CSchMod::SetNames(const char* func, const char* comp) {
  func_ = func;
  comp_ = comp;
}

int32_t CSchMod::CompNumber(const char* compName) {
  const CStr n(compName ? compName : "");
  if (n.GetLength() < 2) return 0;
  return SchToInt(n.getMid(1, n.GetLength() - 1).Str2Num());
}

bool CSchMod::IsSafeCompName(const char* name) {
  if (!name || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  for (const char* p = name; *p; ++p)
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_') return false;
  return !CStr(name).Compare("library", true);
}

bool CSchMod::IsSafeFuncName(const char* name) {
  if (!name || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  for (const char* p = name; *p; ++p)
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_' && *p != '.') return false;
  return true;
}

void CSchMod::ClearItems() {
  // Last first, so a pin's wire is released before the next item goes.
  while (!items_.empty()) items_.pop_back();
  pins_ = 0;
}

CSchObj* CSchMod::Item(int32_t i) const {
  return i >= 0 && i < ItemCount() ? items_[static_cast<size_t>(i)].get() : nullptr;
}

CSchPin* CSchMod::Pin(int32_t number) const {
  for (const auto& it : items_)
    if (it->Kind() == skPin && static_cast<CSchPin*>(it.get())->Number() == number) return static_cast<CSchPin*>(it.get());
  return nullptr;
}

CSchPin* CSchMod::PinAt(SchPoint p, int32_t tol) const {
  const SchRect sq{SchClampCoord(int64_t{p.x} - tol), SchClampCoord(int64_t{p.y} - tol),
                   SchClampCoord(int64_t{p.x} + tol), SchClampCoord(int64_t{p.y} + tol)};
  for (const auto& it : items_)
    if (it->Kind() == skPin && it->IntersectsRect(sq)) return static_cast<CSchPin*>(it.get());
  return nullptr;
}

bool CSchMod::ParseSymbol(const char* symbol, CStr* bad) {
  ClearItems();
  CStr text(symbol ? symbol : "");
  text.Replace("\t", " ");
  text.Replace("\n", " ");
  int32_t pinCount = 0;
  // Item by item rather than one array of all of them: a long symbol costs no regrowing.
  const char* p = text.GetBfr();
  const char* end = p + text.GetLength();
  for (const char* next = p; p < end; p = next < end ? next + 1 : end) {
    next = static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
    if (!next) next = end;
    if (next == p) continue;
    const CStr item(p, static_cast<long>(next - p));
    CObjArr<CStr> f;
    item.split(&f, ',');
    if (f.count == 0) continue;
    for (int32_t k = 0; k < f.count; ++k) f.items[k]->trim();
    f.items[0]->lcase();
    const CStr& key = *f.items[0];
    std::unique_ptr<CSchObj> made;
    if (const int32_t dir = PinDirection(key)) {
      if (f.count != 7) continue;
      const int32_t number = Num(*f.items[5]);
      if (number < 1) continue;
      if (number != ++pinCount) {
        const CStr msg = CStr("Invalid pin number in line: ") + item;
        KvErrReport(1, __LINE__, msg.GetBfr(), kUnit);
        if (bad) *bad = msg;
        ClearItems();
        return false;
      }
      const SchPoint a{Num(*f.items[1]), Num(*f.items[2])};
      const int32_t dx = Num(*f.items[3]), dy = Num(*f.items[4]);
      auto pin = std::make_unique<CSchPin>();
      const SchPoint b = dx != 0 ? SchPoint{SchClampCoord(int64_t{a.x} + dx), a.y}
                                 : SchPoint{a.x, SchClampCoord(int64_t{a.y} + dy)};
      pin->SetPoints(a, b);
      pin->SetPin(number, f.items[6]->GetBfr(), dir);
      made = std::move(pin);
    } else if (key == "box") {
      if (f.count != 5) continue;
      const int32_t x = Num(*f.items[1]), y = Num(*f.items[2]);
      auto box = std::make_unique<CSchBox>();
      box->SetRect({x, y, SchClampCoord(int64_t{x} + Num(*f.items[3])), SchClampCoord(int64_t{y} + Num(*f.items[4]))});
      made = std::move(box);
    } else if (key == "text") {
      if (f.count < 6 || f.count > 8) continue;
      const int32_t x = Num(*f.items[1]), y = Num(*f.items[2]);
      auto t = std::make_unique<CSchText>();
      t->Set({x, y, SchClampCoord(int64_t{x} + Num(*f.items[3])), SchClampCoord(int64_t{y} + Num(*f.items[4]))},
             f.items[5]->GetBfr(), f.count > 6 ? HAlignCode(*f.items[6]) : saLeft,
             f.count > 7 ? VAlignCode(*f.items[7]) : saTop);
      made = std::move(t);
    } else {
      continue;
    }
    made->SetParent(this);
    made->Select(IsSelected());
    items_.push_back(std::move(made));
  }
  pins_ = pinCount;
  return true;
}

void CSchMod::Draw(ISchDevice& dev, int mode) const {
  for (const auto& it : items_) it->Draw(dev, mode);
}

bool CSchMod::PtInside(SchPoint p) const {
  for (const auto& it : items_)
    if (it->PtInside(p)) return true;
  return false;
}

bool CSchMod::IntersectsRect(const SchRect& r) const {
  for (const auto& it : items_)
    if (it->IntersectsRect(r)) return true;
  return false;
}

int64_t CSchMod::Distance(SchPoint p) const {
  int64_t best = CSchObj::Distance(p);
  for (const auto& it : items_) best = std::min(best, it->Distance(p));
  return best;
}

void CSchMod::Select(bool on) {
  CSchObj::Select(on);
  for (const auto& it : items_) it->Select(on);
}

void CSchMod::Serialize(CSchArchive& ar) {
  CSchObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar.Put(func_.GetBfr());
    ar.Put(comp_.GetBfr());
    ar.EndRecord();
    return;
  }
  func_ = ar.GetStr();
  comp_ = ar.GetStr();
}

CStr CSchPin::LinkName() const {
  const CSchObj* p = Parent();
  const CStr comp = p && p->Kind() == skMod ? static_cast<const CSchMod*>(p)->CompName() : CStr();
  return comp + "." + pinName_;
}
