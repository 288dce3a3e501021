#pragma once
// The one way the shell asks the user something: message boxes and input boxes. A test
// scripts the answers; a run that ends by itself (--quit) gives each dialog its default
// answer and prints its text on standard error, so nothing waits for a person.
//
// User-interface thread only.

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

enum class DlgButtons { ok, yesNoCancel, yesNo, okCancel };
enum class DlgIcon { none, information, warning, critical, question };
// The answers, numbered as message boxes number them.
enum DlgAnswer : int { dlgOk = 1, dlgCancel = 2, dlgYes = 6, dlgNo = 7 };
// A file dialog: an existing file to open, or a name to save as (asks before overwriting).
enum class FileDlg { open, saveAs };

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
  // false when cancelled; otherwise *name holds the chosen file. filter is Qt's form
  // ("Kelvane Script Files (*.kvs)"), start a folder or a file name to begin with.
  // Scripted: the next answer is the name, "\x1b" cancels; Shown() gets title, filter and
  // start, each on its own line. Defaults: cancelled.
  bool FileDialog(FileDlg kind, const std::string& title, const std::string& filter, const std::string& start,
                  std::string* name);
  // Shows a dialog of the caller's modally: QDialog::Accepted or QDialog::Rejected. Scripted:
  // the modal hook decides when set (it may fill the dialog in first), else the next answer
  // ("OK" accepts). Defaults: rejected. Shown() gets the dialog's window title.
  int Exec(QDialog& dialog);
  void SetModalHook(std::function<int(QDialog&)> hook) { modalHook_ = std::move(hook); }

 private:
  Mode mode_ = Mode::interactive;
  QWidget* parent_ = nullptr;
  std::deque<std::string> script_;
  std::vector<std::string> shown_;
  std::function<int(QDialog&)> modalHook_;

  bool nextScripted(std::string* answer);
};
