#pragma once
// CSchFrame: the schematic control's frame: a toolbar at the top (Select Object, Add
// Component, Add Wire as one exclusive group showing the current tool; Refresh; Delete
// Selected Object; Undo and Redo) over the view.
//
// User-interface thread only.

#include <QWidget>

class QAction;
class QActionGroup;
class QToolBar;
class CSchEdit;
class CSchAppPort;
class CSchUndo;
class CSchView;

class CSchFrame final : public QWidget {
  Q_OBJECT

 public:
  CSchFrame(CSchEdit& edit, CSchAppPort* port, CSchUndo* undo, QWidget* parent = nullptr);

  CSchView* View() const { return view_; }
  QToolBar* ToolBar() const { return bar_; }
  // The toolbar's action whose tool tip is tip, or null.
  QAction* Action(const QString& tip) const;

  // Undo and Redo: a wire being drawn (or any other mouse action) ends first.
  bool Undo();
  bool Redo();

 private:
  CSchView* view_;
  QToolBar* bar_;
  QActionGroup* tools_;
  CSchUndo* undo_;
  CSchAppPort* port_;

  void showTool(int tool);
};
