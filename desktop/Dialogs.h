#pragma once
// The one way the shell asks the user something: message boxes and input boxes. A test
// scripts the answers; a run that ends by itself (--quit) gives each dialog its default
// answer and prints its text on standard error, so nothing waits for a person.
//
// User-interface thread only.

#include <deque>
#include <string>
#include <vector>

class QWidget;

enum class DlgButtons { ok, yesNoCancel, yesNo, okCancel };
enum class DlgIcon { none, information, warning, critical, question };
// The answers, numbered as message boxes number them.
enum DlgAnswer : int { dlgOk = 1, dlgCancel = 2, dlgYes = 6, dlgNo = 7 };

class CDialogs {
 public:
  enum class Mode {
    interactive,  // real dialogs
    defaults,     // each takes its default answer; its text goes to standard error
    scripted,     // answers from Script, then defaults; nothing is printed
  };

  static CDialogs& Get();

  void SetMode(Mode m) { mode_ = m; }
  Mode GetMode() const { return mode_; }
  void SetParent(QWidget* parent) { parent_ = parent; }
  // Answers for the next dialogs, in order: "Yes", "No", "Cancel", "OK" for a message box
  // (any case); for an input box the text typed, or "\x1b" for Cancel.
  void Script(std::vector<std::string> answers);
  void ClearScript() { script_.clear(); }
  // The texts of the dialogs shown so far (prompt or message), oldest first.
  const std::vector<std::string>& Shown() const { return shown_; }
  void ClearShown() { shown_.clear(); }

  // The button pressed. The default is the first button unless given. Details, when given,
  // are a read-only text the user can open below the message.
  int MsgBox(const std::string& text, DlgButtons buttons, DlgIcon icon, const std::string& title, int defaultAnswer = 0,
             const std::string& details = {});
  // false when cancelled; otherwise *answer holds the text (the default unless changed).
  bool InputBox(const std::string& prompt, const std::string& title, const std::string& def, std::string* answer);

 private:
  Mode mode_ = Mode::interactive;
  QWidget* parent_ = nullptr;
  std::deque<std::string> script_;
  std::vector<std::string> shown_;

  bool nextScripted(std::string* answer);
};
