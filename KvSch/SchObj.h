#pragma once
// The graphic objects of a schematic drawing: the common base CSchObj and the simple kinds
// (rectangles, boxes, junctions, lines, pins, texts, wires). Components (CSchMod) are in
// SchMod.h, the drawing that owns them in SchDoc.h. No toolkit here: objects draw through
// ISchDevice, which the view implements. Coordinates are logical units, y grows downwards.
// Not synchronised: a drawing belongs to the user-interface thread; only the serial
// counter is process-wide and atomic.

#include <cstdint>
#include <vector>

#include "KvDll/Str.h"

struct SchPoint {
  int32_t x = 0, y = 0;
  friend bool operator==(const SchPoint&, const SchPoint&) = default;
};

// Inclusive edges; (left, top, right, bottom).
struct SchRect {
  int32_t l = 0, t = 0, r = 0, b = 0;
  friend bool operator==(const SchRect&, const SchRect&) = default;
  SchRect Normalized() const;
  SchRect Offset(SchPoint p) const;
  bool Contains(SchPoint p) const;
  bool Intersects(const SchRect& o) const;
  // 0 inside (edges included), else the larger of the horizontal and vertical distance.
  int64_t Distance(SchPoint p) const;
};

enum SchKind : int32_t {
  skNone = 0,
  skObj = 1,
  skBox = 2,
  skMod = 3,
  skLine = 4,
  skNet = 5,
  skPin = 6,
  skText = 7,
  skWire = 8,
  skLabel = 9,
  skLine2 = 10,
  skRect = 11,
  skJun = 12,
};

// "None", "Obj", ... "Jun"; "Unknown" for any other number.
const char* SchTypeName(int32_t kind);
// "M", "P", "W", "J"; empty for a kind without a tag letter.
const char* SchTag(int32_t kind);
// Red in the low byte.
constexpr uint32_t SchRgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
inline constexpr uint32_t kSchBlack = 0;
inline constexpr uint32_t kSchWhite = SchRgb(255, 255, 255);

// Text alignment codes, horizontal ored with vertical.
enum SchAlign : int32_t { saLeft = 0, saCenter = 1, saRight = 2, saTop = 0, saVCenter = 4, saBottom = 8 };

// Coordinates read from outside text or reached by moving stay within this bound, so that
// sums of a position and a point, and differences of two, never overflow.
inline constexpr int32_t kSchCoordMax = 100000000;
int32_t SchClampCoord(int64_t v);
// A number read from text: clamped to the 32-bit range (not-a-number is 0), then truncated.
int32_t SchToInt(double v);

// What objects draw on; all coordinates logical, already placed (document coordinates).
class ISchDevice {
 public:
  virtual ~ISchDevice() = default;
  virtual void Line(SchPoint a, SchPoint b, uint32_t colour) = 0;
  virtual void Frame(const SchRect& r, uint32_t colour) = 0;
  virtual void Fill(const SchRect& r, uint32_t colour) = 0;
  // Arial with character height r.b - r.t, on white, aligned by the SchAlign codes.
  virtual void Text(const SchRect& r, const char* text, int32_t align, uint32_t colour) = 0;
};

class CSchArchive;

class CSchObj {
 public:
  // Draw modes.
  enum { dmNormal = 0, dmErase = 1 };
  // Answers of Connect.
  enum { cnAlready = 0, cnDone = 1, cnRefused = -1 };

  CSchObj(const CSchObj&) = delete;
  CSchObj& operator=(const CSchObj&) = delete;
  // Every object still connected forgets this one, so no reference outlives it.
  virtual ~CSchObj();

  int32_t Kind() const { return kind_; }
  const char* TypeName() const { return SchTypeName(kind_); }
  int32_t Serial() const { return serial_; }

  virtual void Draw(ISchDevice& dev, int mode) const;
  virtual bool PtInside(SchPoint p) const;
  virtual bool IntersectsRect(const SchRect& r) const;
  virtual int64_t Distance(SchPoint p) const;
  // Writes (storing) or reads (loading) the values of this object's own state line.
  virtual void Serialize(CSchArchive& ar);

  const CStr& Name() const { return name_; }
  void SetName(const char* name) { name_ = name; }
  CSchObj* Parent() const { return parent_; }
  // Refused (false) once a parent is set.
  bool SetParent(CSchObj* parent);
  bool IsSelected() const { return selected_ != 0; }
  virtual void Select(bool on) { selected_ = on ? 1 : 0; }
  uint32_t Colour() const { return colour_; }
  void SetColour(uint32_t c) { colour_ = c; }
  SchPoint Position() const { return pos_; }
  void SetPosition(SchPoint p);
  virtual void MoveBy(int32_t dx, int32_t dy);
  void MoveBy(SchPoint d) { MoveBy(d.x, d.y); }
  // Own position plus the parent's: where the object's relative coordinates start.
  SchPoint Origin() const;

  // Connections (not owning). Connect answers cnAlready, cnRefused at capacity, or cnDone.
  // Connect fills this side only; CSchDoc::Join makes both. A destroyed object removes itself
  // from each object it holds, so an object must not outlive a one-sided link to it.
  virtual int Connect(CSchObj* o);
  // Every slot holding old takes nw.
  void ReplaceConnection(CSchObj* nw, CSchObj* old);
  virtual void RemoveConnection(CSchObj* o);
  // Null when the index is out of range (or, for a wire, the end is open).
  CSchObj* Connection(int32_t index) const;
  // Sets slot index to nw only where it holds expectedOld; false otherwise.
  bool SetConnectionAt(int32_t index, CSchObj* nw, CSchObj* expectedOld);
  int32_t ConnectionCount() const { return static_cast<int32_t>(conn_.size()); }
  int32_t Capacity() const { return capacity_; }
  bool IsConnected(const CSchObj* o) const;

  // The process-wide serial counter: the next object's serial is one more than this.
  static int32_t LastSerial();
  // Raises the counter to at least v (never lowers it).
  static void RaiseSerial(int32_t v);

 protected:
  CSchObj(int32_t kind, uint32_t colour, int32_t capacity);
  // The colour to draw with: white when erasing, black when selected, else the own colour.
  uint32_t DrawColour(int mode) const;

  std::vector<CSchObj*> conn_;

 private:
  int32_t kind_;
  uint32_t colour_;
  uint8_t selected_ = 0;
  SchPoint pos_;
  int32_t capacity_;
  CSchObj* parent_ = nullptr;
  CStr name_;
  int32_t serial_;
};

class CSchRect : public CSchObj {
 public:
  CSchRect() : CSchRect(skRect, kSchBlack) {}
  const SchRect& Rect() const { return rect_; }
  void SetRect(const SchRect& r);
  // The rectangle in document coordinates.
  SchRect Placed() const { return rect_.Normalized().Offset(Origin()); }

  void Draw(ISchDevice& dev, int mode) const override;
  bool PtInside(SchPoint p) const override { return Placed().Contains(p); }
  bool IntersectsRect(const SchRect& r) const override { return Placed().Intersects(r.Normalized()); }
  int64_t Distance(SchPoint p) const override { return Placed().Distance(p); }

 protected:
  CSchRect(int32_t kind, uint32_t colour, int32_t capacity = 0) : CSchObj(kind, colour, capacity) {}
  SchRect rect_;
};

class CSchBox final : public CSchRect {
 public:
  CSchBox() : CSchRect(skBox, SchRgb(0, 192, 192)) {}
};

// A junction: a filled square around its position, the junction point.
class CSchJun final : public CSchRect {
 public:
  CSchJun();
  void Draw(ISchDevice& dev, int mode) const override;
  void Serialize(CSchArchive& ar) override;
};

class CSchLine : public CSchObj {
 public:
  CSchLine() : CSchLine(skLine, kSchBlack) {}
  SchPoint P1() const { return p1_; }
  SchPoint P2() const { return p2_; }
  virtual void SetPoints(SchPoint a, SchPoint b);
  // Moves one end alone; the orientation of a CSchLine2 stays as it was.
  void SetP1(SchPoint a);
  void SetP2(SchPoint b);
  // Ends in document coordinates.
  SchPoint AbsP1() const;
  SchPoint AbsP2() const;
  SchRect Placed() const;

  void Draw(ISchDevice& dev, int mode) const override;
  bool PtInside(SchPoint p) const override { return Placed().Contains(p); }
  bool IntersectsRect(const SchRect& r) const override { return Placed().Intersects(r.Normalized()); }
  int64_t Distance(SchPoint p) const override { return Placed().Distance(p); }

 protected:
  CSchLine(int32_t kind, uint32_t colour, int32_t capacity = 0) : CSchObj(kind, colour, capacity) {}
  SchPoint p1_, p2_;
};

class CSchLine2 : public CSchLine {
 public:
  enum { orNone = 0, orHorizontal = 1, orVertical = 2 };
  CSchLine2() : CSchLine2(skLine2, kSchBlack) {}
  int32_t Orientation() const { return orient_; }
  // Values other than 0, 1, 2 are taken as 0.
  void SetOrientation(int32_t o);
  void SetPoints(SchPoint a, SchPoint b) override;

 protected:
  CSchLine2(int32_t kind, uint32_t colour, int32_t capacity = 0) : CSchLine(kind, colour, capacity) {}
  int32_t orient_ = orHorizontal;
};

class CSchPin final : public CSchLine2 {
 public:
  enum { pdIn = 1, pdOut = 2, pdBidi = 4 };
  CSchPin() : CSchLine2(skPin, SchRgb(0, 128, 128), 1) {}
  int32_t Number() const { return number_; }
  const CStr& PinName() const { return pinName_; }
  int32_t Direction() const { return dir_; }
  void SetPin(int32_t number, const char* name, int32_t dir);
  // Where a wire meets the pin, in document coordinates: an output at its end with the larger
  // x, an input or bidirectional pin at its end with the smaller x, a vertical pin at its
  // second end.
  SchPoint ConnectionPoint() const;
  // What a wire end records: component object name + "." + number (#4.2).
  CStr RefName() const;
  // What engine commands use: component name + "." + pin name (m3.dt.in).
  CStr LinkName() const;

 private:
  int32_t number_ = 1;
  CStr pinName_;
  int32_t dir_ = pdIn;
};

class CSchText final : public CSchObj {
 public:
  CSchText() : CSchObj(skText, SchRgb(0, 192, 0), 0) {}
  const CStr& Text() const { return text_; }
  int32_t Align() const { return halign_ | valign_; }
  int32_t HAlign() const { return halign_; }
  int32_t VAlign() const { return valign_; }
  const SchRect& Rect() const { return rect_; }
  void Set(const SchRect& r, const char* text, int32_t halign, int32_t valign);
  SchRect Placed() const { return rect_.Normalized().Offset(Origin()); }

  void Draw(ISchDevice& dev, int mode) const override;
  // Hits use the item's own rectangle, not the area its last drawing covered.
  bool PtInside(SchPoint p) const override { return Placed().Contains(p); }
  bool IntersectsRect(const SchRect& r) const override { return Placed().Intersects(r.Normalized()); }
  int64_t Distance(SchPoint p) const override { return Placed().Distance(p); }

 private:
  CStr text_;
  int32_t halign_ = saLeft, valign_ = saTop;
  SchRect rect_;
};

// A wire: start (slot 0) and end (slot 1); an empty slot is an open end.
class CSchWire final : public CSchLine2 {
 public:
  CSchWire();
  int Connect(CSchObj* o) override;
  void RemoveConnection(CSchObj* o) override;
  CSchObj* Start() const { return conn_[0]; }
  CSchObj* End() const { return conn_[1]; }
  // The end (0 or 1) at which o is connected, -1 when it is not.
  int SlotOf(const CSchObj* o) const;
  // The name a loaded end referred to when that object could not be found; saved back while
  // the end stays open, so a missing library loses no wiring.
  const CStr& KeptName(int slot) const { return kept_[slot & 1]; }
  void SetKeptName(int slot, const char* name) { kept_[slot & 1] = name; }
  // What the state line records for an end: the connected object's reference, else the kept
  // name, else "#".
  CStr EndRef(int slot) const;
  bool IsDiagonal() const;
  // The staircase a diagonal wire is drawn as (and is replaced by): up to four corner
  // points in document coordinates; a straight wire gives its two ends.
  std::vector<SchPoint> Staircase() const;

  void Draw(ISchDevice& dev, int mode) const override;
  void Serialize(CSchArchive& ar) override;

 private:
  CStr kept_[2];
};

// The name another object records for o: a pin's component reference (#4.2), else o's name.
CStr SchRefName(const CSchObj* o);
