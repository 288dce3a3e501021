#pragma once
// CSchDoc: the schematic drawing of one control. It owns the top-level objects (components,
// wires, junctions) in drawing order, finds and hits them, snaps points, walks nets, deletes
// the selection, and writes and reads the saved-state text.
//
// The document never talks to the engine itself: what must reach the engine goes through
// ISchEngine, which the control implements with script commands (and its logging). Without
// one the document edits the drawing alone, and components cannot be created.
// Not synchronised: one document belongs to the user-interface thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "KvSch/SchMod.h"
#include "KvSch/SchObj.h"

// What the document asks of the engine. Each answers false when the engine refused; the
// implementation reports refusals itself. The control sends, through IApp.Execute:
//   LoadMod    "load " + M + "=" + F, then M + ".symbol" (and "unload " + M when that fails)
//   UnloadMod  "unload " + M
//   Link       "link " + in.LinkName() + "=" + out.LinkName()   (a refusal is not logged)
//   Unlink     "unlink " + pin.LinkName()
class ISchEngine {
 public:
  virtual ~ISchEngine() = default;
  // Creates comp in the engine under its component name from its function name and gives
  // its symbol text; on failure nothing of it is left in the engine.
  virtual bool LoadMod(const CSchMod& comp, CStr& symbol) = 0;
  virtual bool UnloadMod(const CSchMod& comp) = 0;
  // Links input (or bidirectional) pin in to output pin out.
  virtual bool Link(const CSchPin& in, const CSchPin& out) = 0;
  virtual bool Unlink(const CSchPin& pin) = 0;
  // Whether the engine holds a component of that name (placing skips such names; deleting
  // removes a component the engine no longer has although its unload fails).
  virtual bool Exists(const CStr& compName) = 0;
  // Whether the network may change now; when not, the implementation has said why.
  virtual bool MayChange() = 0;
  // Opens comp's panels: gui.names, then per panel its wnd setting and show; an empty list
  // is told to the user ("Mod doesn't have any GUIs").
  virtual void OpenPanels(const CSchMod& comp) = 0;
  // Tells the user why the last link was refused (links are refused silently while a net is
  // updated; the wire tool reports the refusal once it has ended).
  virtual void ReportLinkRefusal() = 0;
};

// What the document tells the view; all of it may be ignored.
class ISchView {
 public:
  virtual ~ISchView() = default;
  // o changed or appeared (null: everything).
  virtual void Redraw(const CSchObj* o) = 0;
};

class CSchDoc {
 public:
  CSchDoc();
  CSchDoc(const CSchDoc&) = delete;
  CSchDoc& operator=(const CSchDoc&) = delete;
  // Discards the drawing without any engine command.
  ~CSchDoc();

  // The process-wide current document (the one loading looks names up in); null when none.
  static CSchDoc* Current();
  void MakeCurrent();

  void SetEngine(ISchEngine* engine) { engine_ = engine; }
  ISchEngine* Engine() const { return engine_; }
  void SetView(ISchView* view) { view_ = view; }
  ISchView* View() const { return view_; }

  int32_t Tolerance() const { return tolerance_; }
  int32_t LastCompNumber() const { return lastComp_; }
  // Takes the next component number (the last one plus one; it stops at the largest value).
  int32_t NextCompNumber();
  // Raises the last component number to at least n.
  void RaiseCompNumber(int32_t n);

  // Top-level objects, in drawing order.
  int32_t Count() const { return static_cast<int32_t>(objs_.size()); }
  CSchObj* At(int32_t i) const;
  int32_t IndexOf(const CSchObj* o) const;
  // Appends a top-level object; false (o discarded, reported) when the list cannot grow.
  bool Add(std::unique_ptr<CSchObj> o);
  // Takes o out of the drawing without destroying it; null when it is not there.
  std::unique_ptr<CSchObj> Remove(CSchObj* o);

  // "#4" is a top-level object, "#4.2" pin 2 of component object #4; null when not found.
  CSchObj* Find(const char* name) const;
  // The object a click at p hits (components, junctions and wires weighed apart); null.
  CSchObj* Nearest(SchPoint p) const;
  static int32_t Snap(int32_t v);
  static SchPoint Snap(SchPoint p) { return {Snap(p.x), Snap(p.y)}; }
  void SelectAll(bool on);

  // Component creation: the engine instance and its items from the symbol. On failure the
  // component has no items and is not loaded (the engine side has undone what it did).
  bool CreateMod(CSchMod& comp);

  // Nets. The pins of x's net, depth first from x; a pin ends the walk unless it is x.
  std::vector<CSchPin*> NetPins(CSchObj* x) const;
  // Whether b is reachable from a through connections (under the same walk).
  bool Reaches(const CSchObj* a, const CSchObj* b) const;
  // The connection rule: not the same object, not already reachable, at most one output pin.
  bool CanJoin(CSchObj* a, CSchObj* b) const;
  // Connects a and b to each other; both sides or, when either refuses, neither.
  static bool Join(CSchObj* a, CSchObj* b);
  static void Unjoin(CSchObj* a, CSchObj* b);
  // Links every other pin of x's net to its one output pin; false when the net holds more
  // than one output pin or a link is refused (the first refusal stops).
  bool LinkUpdate(CSchObj* x);
  // After a wire at x was removed: unlinks every pin of x's net unless it holds an output.
  void UnlinkUpdate(CSchObj* x);

  // Deletes one object as its kind says; returns how many objects left the drawing
  // (0: it stayed, as a component whose unload was refused when not forced).
  int32_t DeleteObj(CSchObj* o, bool forced);
  // Selected non-components last to first, then the selected components.
  void DeleteSelection(bool forced);
  // Everything, forced.
  void Clear();

  // The wire being drawn: two scratch segments (not in the drawing) and where it started.
  struct WireInProgress {
    std::unique_ptr<CSchWire> seg[2];
    SchPoint start;
    CSchObj* startObj = nullptr;
    bool Active() const { return seg[0] != nullptr; }
  };
  WireInProgress& Wip() { return wip_; }
  // Ends a wire being drawn: the scratch segments go, nothing in the drawing changes.
  void EndWire();

  // Draws every object in drawing order, then the wire being drawn.
  void Draw(ISchDevice& dev) const;

  CStr SaveState() const;
  // Clears, then rebuilds the drawing (components through the engine, then wires).
  void LoadState(const char* text, size_t n);
  void LoadState(const CStr& text) { LoadState(text.GetBfr(), static_cast<size_t>(text.GetLength())); }

 private:
  int32_t DeleteMod(CSchMod* m, bool forced);
  int32_t DeleteWire(CSchWire* w);
  int32_t DeleteJun(CSchJun* j);
  void Walk(const CSchObj* x, const CSchObj* target, std::vector<CSchPin*>* pins, bool* found) const;
  void ConnectLoadedWires(const std::vector<CSchWire*>& wires);

  std::vector<std::unique_ptr<CSchObj>> objs_;
  ISchView* view_ = nullptr;
  int32_t tolerance_ = 25;
  int32_t lastComp_ = 0;
  WireInProgress wip_;
  ISchEngine* engine_ = nullptr;
};
