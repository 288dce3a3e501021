#pragma once
// CodeEditor: the workspace's script text, editable, written back to the workspace on
// Apply (which makes the engine apply it and reload the workspace). It follows the
// workspace: a new text from the engine reloads it, a new name renames it. A busy flag is
// set while the editor itself writes the text box or the workspace, so its own writes are
// neither edits nor reasons to reload.
//
// User-interface thread only. Destroying the control performs Unload.

#include <string>

#include "KvPlugins/ToolWnd.h"

class Popup;
class QPlainTextEdit;
class QPushButton;

class CodeEditor final : public CToolWnd {
 public:
  explicit CodeEditor(QWidget* parent = nullptr);
  ~CodeEditor() override;

 protected:
  std::string initialCaption() override;
  void beforeSize() override;
  void started() override;
  void ended() override;
  void layOut() override;

 private:
  class Sink;

  QPlainTextEdit* text;
  QPushButton* cmdApply;
  QPushButton* cmdRefresh;
  Popup* popup;
  KvPtr<IWrkSpc> wrkspc;
  Sink* sink = nullptr;  // the workspace's events, while subscribed
  long cookie = 0;
  bool busy = false;

  void apply();
  void refresh();
  // The text box from the workspace, clean afterwards; a dirty one is replaced as one edit,
  // so Undo brings the user's text back.
  void reload();
  void bufferChanged();
  void nameChanged();
  void edited();
  void setApply(bool on);
  void showPopup(const QPoint& at);
  void choose(int pos);
  void subscribe();
  void unsubscribe();
  std::string captionOf(const std::string& name) const;
};
