#pragma once
// CCmdConsole: the engine's command line as a tool window. One text box holds the whole
// dialogue; the text after the current prompt ">" is the input, everything before it is
// fixed. Enter runs every line of the input (a pasted block line by line, each answered),
// either as one of the console's own listings or through IApp.Execute, and appends the
// answer and a new prompt; appends cannot be undone.
//
// Positions are those of the dialogue written with CR LF line ends (what the status bar shows
// and the properties below answer); the text box keeps one character per line break, so
// every position crossing between the two is converted.
//
// User-interface thread only.

#include <QString>
#include <string>

#include "KvPlugins/ToolWnd.h"

class Popup;
class QKeyEvent;
class QPlainTextEdit;
class QTextCursor;

class CCmdConsole final : public CToolWnd {
  Q_OBJECT
  // The dialogue with CR LF line ends.
  Q_PROPERTY(QString text READ Text)
  // K: the caret, counted from 0 in the dialogue.
  Q_PROPERTY(int caret READ Caret WRITE SetCaret)
  // L: the current prompt's line break, counted from 1 (0: the prompt opens the dialogue).
  Q_PROPERTY(int prompt READ Prompt)
  // The dialogue's length, for TextFrom.
  Q_PROPERTY(int length READ Length)

 public:
  explicit CCmdConsole(QWidget* parent);

  QString Text() const;
  int Caret() const;
  void SetCaret(int k);
  int Prompt() const;
  int Length() const;
  // The dialogue from position k on (what was appended since the length was k).
  Q_INVOKABLE QString TextFrom(int k) const;

  // The text box's hooks (see CmdConsole.cpp): true when the key is consumed here.
  bool KeyPress(QKeyEvent* e);
  void KeyDone(QKeyEvent* e, int before);
  // Plain text put at the caret, when the caret is in the input.
  void Paste(const QString& text);
  bool CaretEditable() const;
  void ShowPopup(const QPoint& global);

 protected:
  void beforeSize() override;
  void layOut() override;

 private:
  QPlainTextEdit* box;
  Popup* popup;
  int inputAt = 1;  // text box position just after the current prompt

  void refreshPopup();
  void popupClick(int pos);
  void enter();
  void answer(const std::string& line);
  void appendText(const QString& text);
  void removeTrailingBreaks(QTextCursor& c);
  bool selectionEditable() const;
  void deleteSelection();

  std::string libraryListing(bool detailed);
  std::string moduleCheck();
  std::string exec(const std::string& line, long* result = nullptr);
  bool labelInUse(const std::string& label);
  std::string freeLabel(const std::string& name);

  int toDialogue(int boxPos) const;
  int toBox(int k) const;
};
