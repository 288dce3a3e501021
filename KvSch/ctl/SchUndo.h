#pragma once
// CSchUndo: undo and redo of the editor's actions. One command per placing, wire (with its
// corners, splits and clean-ups), move and delete: Begin and End bracket the action; the
// command keeps the drawing's state text before and after and the engine lines the action
// sent with their inverses (CSchAppPort's journal).
//
// Undo runs the inverse lines last to first (a component placed keeps the settings it had
// then, for its redo), then rebuilds the drawing from its text before, adopting the components
// the engine holds under the same names and libraries (their symbols are asked again; no load,
// unload or link is sent). Redo runs the lines again in order and rebuilds from the text
// after. A refused line stops the step and is logged; the drawing is then rebuilt from what
// the engine holds, and the stack is emptied, since its lines no longer fit the network.
// While the network may not change, undo and redo of a step that sends engine lines are
// refused like any edit (a move alone undoes at any time). Undo and redo go through Undo()
// and Redo(), never through the stack's own slots, which know nothing of that refusal.
//
// User-interface thread only.

#include <QString>
#include <memory>

class QUndoStack;
class CSchDoc;
class CSchAppPort;

class CSchUndo {
 public:
  CSchUndo(CSchDoc& doc, CSchAppPort& port);
  ~CSchUndo();
  CSchUndo(const CSchUndo&) = delete;
  CSchUndo& operator=(const CSchUndo&) = delete;

  QUndoStack* Stack() const { return stack_.get(); }

  // Begin snapshots the drawing and starts the journal; a second Begin before End is ignored.
  void Begin();
  // Pushes one command with text when the drawing or the network changed; else nothing.
  void End(const QString& text);
  bool Open() const { return open_; }

  // False when refused (the network may not change) or there is nothing to do.
  bool Undo();
  bool Redo();
  // LoadState, ClearState: nothing before them can be undone.
  void Clear();

 private:
  struct Pending;
  class Command;
  static constexpr int kLimit = 200;
  bool Apply(Command& c, bool forward);
  // After a step: false (and the stack emptied) when a line of it was refused.
  bool Settle();

  CSchDoc& doc_;
  CSchAppPort& port_;
  std::unique_ptr<QUndoStack> stack_;
  std::unique_ptr<Pending> pending_;
  bool open_ = false;
  bool ok_ = true;  // whether the last step undone or redone ran every line
};
