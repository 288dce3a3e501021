#pragma once
// CSchMod: a placed component. It owns its child items (pins, boxes, texts), built from the
// symbol text its module answers, and is drawn and hit through them. The function name is
// what the engine instantiates, the component name ("m" + N) the instance's name there.
//
// Symbol language: items separated by ";", fields by ","; tabs and line feeds count as
// blanks, carriage returns are kept; fields are trimmed, the keyword is lower-cased, numbers
// are truncated (empty is 0). Items: ipin/opin/bpin x,y,dx,dy,number,name;
// box x,y,w,h; text x,y,w,h,string[,halign[,valign]]. Others are ignored.

#include <cstdint>
#include <memory>
#include <vector>

#include "KvSch/SchObj.h"

class CSchMod final : public CSchObj {
 public:
  CSchMod() : CSchObj(skMod, kSchBlack, 0) {}
  ~CSchMod() override;

  const CStr& FuncName() const { return func_; }
  const CStr& CompName() const { return comp_; }
  void SetNames(const char* func, const char* comp);
  // The N of a component name "m" + N: the number after its first character, 0 when the
  // name is shorter than two characters.
  static int32_t CompNumber(const char* compName);
  // Whether a name read from outside text may go into an engine command as a component's
  // name: a letter, then letters, digits and "_"; never the load keyword "library".
  static bool IsSafeCompName(const char* name);
  // The same for a function name, which may also hold ".".
  static bool IsSafeFuncName(const char* name);

  // True once the engine holds the instance (so deleting it sends an unload).
  bool IsLoaded() const { return loaded_; }
  void SetLoaded(bool on) { loaded_ = on; }

  // Builds the child items from a symbol text, replacing any there were. False when the pin
  // numbering is wrong; bad is then "Invalid pin number in line: " + the item, and the
  // component is left without items.
  bool ParseSymbol(const char* symbol, CStr* bad = nullptr);
  void ClearItems();

  int32_t ItemCount() const { return static_cast<int32_t>(items_.size()); }
  CSchObj* Item(int32_t i) const;
  int32_t PinCount() const { return pins_; }
  // Pin by number (from 1); null when there is none.
  CSchPin* Pin(int32_t number) const;
  // The first pin, in symbol order, whose rectangle meets the square of half-width tol
  // around p; null when none does.
  CSchPin* PinAt(SchPoint p, int32_t tol) const;

  void Draw(ISchDevice& dev, int mode) const override;
  bool PtInside(SchPoint p) const override;
  bool IntersectsRect(const SchRect& r) const override;
  // The smallest distance of its items; with no items it is never hit.
  int64_t Distance(SchPoint p) const override;
  void Select(bool on) override;
  void Serialize(CSchArchive& ar) override;

 private:
  std::vector<std::unique_ptr<CSchObj>> items_;
  CStr func_, comp_;
  int32_t pins_ = 0;
  bool loaded_ = false;
};
