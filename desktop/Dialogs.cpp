#include "desktop/Dialogs.h"

#include <strings.h>

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <cstdio>

namespace {

int firstButton(DlgButtons b) { return b == DlgButtons::ok || b == DlgButtons::okCancel ? dlgOk : dlgYes; }

bool offers(DlgButtons b, int answer) {
  switch (b) {
    case DlgButtons::ok: return answer == dlgOk;
    case DlgButtons::okCancel: return answer == dlgOk || answer == dlgCancel;
    case DlgButtons::yesNo: return answer == dlgYes || answer == dlgNo;
    case DlgButtons::yesNoCancel: return answer == dlgYes || answer == dlgNo || answer == dlgCancel;
  }
  return false;
}

int parseAnswer(const std::string& a) {
  if (strcasecmp(a.c_str(), "yes") == 0) return dlgYes;
  if (strcasecmp(a.c_str(), "no") == 0) return dlgNo;
  if (strcasecmp(a.c_str(), "cancel") == 0) return dlgCancel;
  if (strcasecmp(a.c_str(), "ok") == 0) return dlgOk;
  return 0;
}

const char* answerName(int a) {
  switch (a) {
    case dlgYes: return "Yes";
    case dlgNo: return "No";
    case dlgCancel: return "Cancel";
    default: return "OK";
  }
}

}  // namespace

CDialogs& CDialogs::Get() {
  static CDialogs dialogs;
  return dialogs;
}

void CDialogs::Script(std::vector<std::string> answers) {
  for (std::string& a : answers) script_.push_back(std::move(a));
}

bool CDialogs::nextScripted(std::string* answer) {
  if (mode_ != Mode::scripted || script_.empty()) return false;
  *answer = script_.front();
  script_.pop_front();
  return true;
}

int CDialogs::MsgBox(const std::string& text, DlgButtons buttons, DlgIcon icon, const std::string& title,
                     int defaultAnswer, const std::string& details) {
  shown_.push_back(text);
  const int def = offers(buttons, defaultAnswer) ? defaultAnswer : firstButton(buttons);
  if (mode_ != Mode::interactive) {
    std::string scripted;
    int answer = def;
    if (nextScripted(&scripted) && offers(buttons, parseAnswer(scripted))) answer = parseAnswer(scripted);
    if (mode_ == Mode::defaults) std::fprintf(stderr, "kelvane: %s: %s [%s]\n", title.c_str(), text.c_str(), answerName(answer));
    return answer;
  }
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  switch (icon) {
    case DlgIcon::information: box.setIcon(QMessageBox::Information); break;
    case DlgIcon::warning: box.setIcon(QMessageBox::Warning); break;
    case DlgIcon::critical: box.setIcon(QMessageBox::Critical); break;
    case DlgIcon::question: box.setIcon(QMessageBox::Question); break;
    case DlgIcon::none: break;
  }
  const struct {
    int answer;
    QMessageBox::StandardButton button;
  } map[] = {{dlgYes, QMessageBox::Yes}, {dlgNo, QMessageBox::No}, {dlgOk, QMessageBox::Ok}, {dlgCancel, QMessageBox::Cancel}};
  for (const auto& m : map)
    if (offers(buttons, m.answer)) box.addButton(m.button);
  for (const auto& m : map)
    if (m.answer == def) box.setDefaultButton(m.button);
  const int pressed = box.exec();
  for (const auto& m : map)
    if (m.button == pressed) return m.answer;
  return offers(buttons, dlgCancel) ? dlgCancel : def;
}

bool CDialogs::InputBox(const std::string& prompt, const std::string& title, const std::string& def,
                        std::string* answer) {
  shown_.push_back(prompt);
  if (mode_ != Mode::interactive) {
    std::string scripted;
    const bool has = nextScripted(&scripted);
    if (mode_ == Mode::defaults) std::fprintf(stderr, "kelvane: %s: %s [%s]\n", title.c_str(), prompt.c_str(), def.c_str());
    if (has && scripted == "\x1b") return false;
    if (answer) *answer = has ? scripted : def;
    return true;
  }
  bool ok = false;
  const QString text = QInputDialog::getText(parent_, QString::fromStdString(title), QString::fromStdString(prompt),
                                             QLineEdit::Normal, QString::fromStdString(def), &ok);
  if (ok && answer) *answer = text.toStdString();
  return ok;
}

bool CDialogs::FileDialog(FileDlg kind, const std::string& title, const std::string& filter, const std::string& start,
                          std::string* name) {
  shown_.push_back(title + "\n" + filter + "\n" + start);
  if (mode_ != Mode::interactive) {
    std::string scripted;
    const bool has = nextScripted(&scripted);
    if (mode_ == Mode::defaults) std::fprintf(stderr, "kelvane: %s: [Cancel]\n", title.c_str());
    if (!has || scripted == "\x1b") return false;
    if (name) *name = scripted;
    return true;
  }
  QFileDialog box(parent_, QString::fromStdString(title), QString::fromStdString(start), QString::fromStdString(filter));
  if (kind == FileDlg::open) {
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
  } else {
    // The folder must exist; an existing file is overwritten only when the user agrees.
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
  }
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
  if (name) *name = box.selectedFiles().front().toStdString();
  return true;
}

int CDialogs::Exec(QDialog& dialog) {
  shown_.push_back(dialog.windowTitle().toStdString());
  if (mode_ == Mode::interactive) return dialog.exec();
  if (mode_ == Mode::scripted && modalHook_) return modalHook_(dialog);
  std::string scripted;
  const bool has = nextScripted(&scripted);
  if (mode_ == Mode::defaults)
    std::fprintf(stderr, "kelvane: %s: [Cancel]\n", dialog.windowTitle().toStdString().c_str());
  return has && parseAnswer(scripted) == dlgOk ? QDialog::Accepted : QDialog::Rejected;
}
