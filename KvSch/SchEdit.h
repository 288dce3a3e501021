#pragma once
// CSchEdit: what the editor's tools do to a drawing and, through the drawing's engine side, to
// the network: placing components, drawing wires (corners, splits, joins and the link updates
// they need), the clean-ups after wiring and moving, moving the selection, deleting it and
// opening a component's panels. The view turns mouse and keys into these calls; undo brackets
// them. No toolkit here.
//
// Every operation that may send load, unload, link or unlink first asks the engine side
// MayChange(); when it answers false the operation does nothing (the engine side has said why).
// Moving, selecting and panels never ask.
//
// Not synchronised: user-interface thread only, like the document.

#include <cstdint>

#include "KvSch/SchDoc.h"

class CSchEdit {
 public:
  explicit CSchEdit(CSchDoc& doc) : doc_(doc) {}
  CSchEdit(const CSchEdit&) = delete;
  CSchEdit& operator=(const CSchEdit&) = delete;

  CSchDoc& Doc() const { return doc_; }

  // Add Component: takes the next component number (skipping "m" + N names the engine already
  // holds), creates the component from function name func at Snap(p), appends and draws it.
  // Null when refused, when func is empty (no number taken) or when creation failed (the
  // number stays used).
  CSchMod* Place(const char* func, SchPoint p);

  // The wire tool. StartWire at the click point q: true when drawing began (a pin of a
  // component, a junction, or a wire split at its nearest point; a pin or junction without a
  // free connection starts nothing). StretchWire brings the two segments to Snap(q). A click
  // on a full pin or junction is ignored like a refused join.
  bool StartWire(SchPoint q);
  void StretchWire(SchPoint q);
  enum Click {
    clIgnored,  // nothing there to end on, a refused join, or the network may not change
    clCorner,   // the segments were committed; drawing goes on from the corner
    clDone,     // joined to the end object; drawing ended and the clean-ups ran
    clFailed,   // joined, but a link was refused: drawing ended, segments kept, the refusal
                // told through ReportLinkRefusal (also after a corner)
  };
  Click ClickWire(SchPoint q);
  bool Drawing() const { return doc_.Wip().Active(); }
  // Escape, a tool change, Delete and the state calls end a wire being drawn (committed
  // corners stay).
  void EndWire() { doc_.EndWire(); }

  // Cuts w at s (a point on it): a new junction at s, a new wire from s to w's old end taking
  // over that end's connection, the junction joined to both; both added. At one of w's end
  // points no zero-length wire is made: a junction already there is the answer, else a new
  // one goes between that end and what was connected there. Null when s is not on w.
  CSchJun* Split(CSchWire* w, SchPoint s);
  // The point of w nearest q (x clamped to a horizontal wire's range, y to a vertical one's),
  // snapped and kept on the wire; for a diagonal wire its nearer end.
  static SchPoint NearestOn(const CSchWire& w, SchPoint q);

  // Diagonal wires to staircases, zero-length wires removed, collinear neighbours merged. No
  // engine commands. Ends a wire being drawn (the wires it removes could be its start).
  void CleanUp();

  // One step of dragging the selection by d (already a difference of snapped points), with
  // the neighbour rules; no orientation is recomputed.
  void MoveSelection(SchPoint d);

  // Delete Selected Object (not forced); ends a wire being drawn first. False when the network
  // may not change (nothing selected asks nothing).
  bool DeleteSelection();

  // Double click: selects only o; when it is a component the engine holds, opens its panels.
  void OpenPanels(CSchObj* o);

 private:
  CSchDoc& doc_;
};
