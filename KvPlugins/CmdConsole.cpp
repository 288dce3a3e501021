#include "KvPlugins/CmdConsole.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <strings.h>
#include <vector>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/Network.h"

KV_PLUGIN("KvPlugins.CmdConsole", CCmdConsole)

namespace {

// Handlers in the console's error codes (104HHH).
constexpr int kLocPopupShow = 5, kLocPopupClick = 6, kLocKeys = 9, kLocPaste = 10, kLocListing = 12,
              kLocModules = 13;

const CToolWnd::Traits kTraits{"Command Console", "Console", "Console", 3600, 3900, "Wnd\\CmdConsole", 4, true};

// Line breaks of any kind as the text box's one character.
QString boxText(QString text) {
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  text.replace(QChar::LineSeparator, '\n');
  text.replace(QChar::ParagraphSeparator, '\n');
  return text;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = s.find(sep, from);
    parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

// "size(*,*)": the pattern's stars match any text, the comma the first one between them.
bool sizeCommand(const QString& lower, QString* first, QString* second) {
  if (!lower.startsWith("size(") || !lower.endsWith(')') || lower.size() < 7) return false;
  const QString inside = lower.mid(5, lower.size() - 6);
  const qsizetype comma = inside.indexOf(',');
  if (comma < 0) return false;
  *first = inside.left(comma);
  *second = inside.mid(comma + 1);
  return true;
}

// The leading integer of a value, 0 when there is none; never fails.
long readInteger(const QString& text) {
  const std::string s = text.trimmed().toStdString();
  errno = 0;
  const long v = std::strtol(s.c_str(), nullptr, 10);
  return errno ? 0 : v;
}

// A library's debug setting as a whole number, "?" when it has none.
std::string debugText(const std::string& value) {
  const std::string v = KvNet::Trimmed(value);
  if (v.empty()) return "?";
  char* end = nullptr;
  const double d = std::strtod(v.c_str(), &end);
  if (end == v.c_str() || *end || !std::isfinite(d) || std::fabs(d) > 2147483647.0) return "?";
  return std::to_string(std::lround(d));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The text box: keys, pastes and the pop-up go through the console, which keeps the text
// before the input as it is.
// ---------------------------------------------------------------------------------------

namespace {

class CConsoleText final : public QPlainTextEdit {
 public:
  explicit CConsoleText(CCmdConsole* owner) : QPlainTextEdit(owner), owner(owner) {
    // A drag inside the box would move text out of the fixed part.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (owner->KeyPress(e)) {
      e->accept();
      return;
    }
    const int before = textCursor().position();
    QPlainTextEdit::keyPressEvent(e);
    owner->KeyDone(e, before);
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      e->accept();
      return;
    }
    QPlainTextEdit::keyReleaseEvent(e);
  }
  void contextMenuEvent(QContextMenuEvent* e) override {
    e->accept();
    owner->ShowPopup(e->globalPos());
  }
  bool canInsertFromMimeData(const QMimeData* source) const override { return source->hasText(); }
  void insertFromMimeData(const QMimeData* source) override {
    if (source->hasText()) owner->Paste(source->text());
  }
  void inputMethodEvent(QInputMethodEvent* e) override {
    if (!owner->CaretEditable()) {
      e->accept();
      return;
    }
    QPlainTextEdit::inputMethodEvent(e);
  }
  void dragEnterEvent(QDragEnterEvent* e) override { e->ignore(); }
  void dropEvent(QDropEvent* e) override { e->ignore(); }

 private:
  CCmdConsole* owner;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and start-up
// ---------------------------------------------------------------------------------------

CCmdConsole::CCmdConsole(QWidget* parent) : CToolWnd(parent, kTraits), box(new CConsoleText(this)), popup(new Popup(this)) {
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box->setGeometry(rect());
  connect(box, &QPlainTextEdit::cursorPositionChanged, this, [this] { refreshPopup(); });
  connect(box, &QPlainTextEdit::selectionChanged, this, [this] { refreshPopup(); });
  connect(box, &QPlainTextEdit::undoAvailable, this, [this] { refreshPopup(); });
  connect(popup, &Popup::Click, this, [this](int pos) { guarded(kLocPopupClick, [&] { popupClick(pos); }); });
  refreshPopup();
}

void CCmdConsole::beforeSize() {
  QTextDocument* doc = box->document();
  doc->setUndoRedoEnabled(false);
  box->setPlainText(">");
  doc->setUndoRedoEnabled(true);
  inputAt = 1;
  box->moveCursor(QTextCursor::End);
  refreshPopup();
}

void CCmdConsole::layOut() { box->setGeometry(rect()); }

// ---------------------------------------------------------------------------------------
// Positions: the dialogue (CR LF) and the text box (one character per break)
// ---------------------------------------------------------------------------------------

int CCmdConsole::toDialogue(int boxPos) const { return boxPos + box->document()->findBlock(boxPos).blockNumber(); }

int CCmdConsole::toBox(int k) const {
  const QTextDocument* doc = box->document();
  if (k <= 0) return 0;
  // The last block whose dialogue start (its position plus one for every break before it)
  // is at or before k; a position between CR and LF belongs to the end of its line.
  int lo = 0, hi = doc->blockCount() - 1;
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (doc->findBlockByNumber(mid).position() + mid <= k)
      lo = mid;
    else
      hi = mid - 1;
  }
  const QTextBlock b = doc->findBlockByNumber(lo);
  return b.position() + std::min(k - (b.position() + lo), b.length() - 1);
}

QString CCmdConsole::Text() const { return box->toPlainText().replace('\n', "\r\n"); }

int CCmdConsole::Length() const {
  const QTextDocument* doc = box->document();
  return doc->characterCount() - 1 + doc->blockCount() - 1;
}

QString CCmdConsole::TextFrom(int k) const {
  QTextCursor c(box->document());
  c.setPosition(toBox(k));
  c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  QString tail = c.selectedText();
  tail.replace(QChar::ParagraphSeparator, "\r\n");
  // k inside a line break: the LF is all that is left of it.
  if (toDialogue(toBox(k)) < k && tail.startsWith("\r\n")) tail.remove(0, 1);
  return tail;
}

int CCmdConsole::Caret() const { return toDialogue(box->textCursor().position()); }

void CCmdConsole::SetCaret(int k) {
  QTextCursor c = box->textCursor();
  c.setPosition(toBox(k));
  box->setTextCursor(c);
}

int CCmdConsole::Prompt() const {
  const int at = inputAt - 1;  // the prompt's own character
  return at > 0 ? toDialogue(at) - 1 : 0;
}

bool CCmdConsole::CaretEditable() const { return box->textCursor().selectionStart() >= inputAt; }

bool CCmdConsole::selectionEditable() const {
  const QTextCursor c = box->textCursor();
  return c.hasSelection() && c.selectionStart() >= inputAt;
}

// ---------------------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------------------

bool CCmdConsole::KeyPress(QKeyEvent* e) {
  bool consumed = true;
  guarded(kLocKeys, [&] {
    const QTextCursor c = box->textCursor();
    const int k = c.position();
    const bool selection = c.hasSelection();
    const int key = e->key();
    auto status = [&] {
      if (utils) utils->put_StatusBar(std::to_string(Caret()) + ", " + std::to_string(Prompt()));
    };
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return enter();
    if (key == Qt::Key_Up || key == Qt::Key_Down) return;
    if (e->matches(QKeySequence::Cut)) {
      if (selectionEditable()) box->cut();
      return;
    }
    if (e->matches(QKeySequence::Paste)) return Paste(QGuiApplication::clipboard()->text());
    if (e->matches(QKeySequence::DeleteStartOfWord)) {
      if (selection ? !selectionEditable() : k <= inputAt) return;
      QTextCursor w = c;
      if (!selection) {
        w.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        if (w.position() < inputAt) w.setPosition(inputAt, QTextCursor::KeepAnchor);
      }
      w.removeSelectedText();
      return;
    }
    if (e->matches(QKeySequence::DeleteCompleteLine)) return;  // the line holds the prompt
    if (e->matches(QKeySequence::DeleteEndOfWord) || e->matches(QKeySequence::DeleteEndOfLine)) {
      consumed = selection ? !selectionEditable() : k < inputAt;
      return;
    }
    switch (key) {
      case Qt::Key_Backspace: consumed = selection ? !selectionEditable() : k <= inputAt; return;
      case Qt::Key_Delete:
        status();
        consumed = selection ? !selectionEditable() : k < inputAt;
        return;
      case Qt::Key_Left: consumed = k <= inputAt; return;
      case Qt::Key_Right:
        status();
        consumed = false;
        return;
      default: break;
    }
    const QString text = e->text();
    if (!text.isEmpty() && (text[0].isPrint() || text[0] == '\t')) {
      consumed = selection ? !selectionEditable() : k < inputAt;
      return;
    }
    consumed = false;
  });
  return consumed;
}

// After the text box moved the caret: Left and Home stop at the prompt when they start in
// the input.
void CCmdConsole::KeyDone(QKeyEvent* e, int before) {
  guarded(kLocKeys, [&] {
    if (e->key() != Qt::Key_Left && e->key() != Qt::Key_Home) return;
    if (e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::SelectStartOfDocument)) return;
    QTextCursor c = box->textCursor();
    if (before < inputAt || c.position() >= inputAt) return;
    c.setPosition(inputAt, e->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    box->setTextCursor(c);
  });
}

// ---------------------------------------------------------------------------------------
// Paste and the pop-up
// ---------------------------------------------------------------------------------------

void CCmdConsole::Paste(const QString& text) {
  guarded(kLocPaste, [&] {
    if (!CaretEditable() || text.isEmpty()) return;
    QTextCursor c = box->textCursor();
    c.beginEditBlock();
    c.insertText(boxText(text));
    removeTrailingBreaks(c);
    c.endEditBlock();
    box->setTextCursor(c);
    box->ensureCursorVisible();
  });
}

// A dialogue never ends in a line break: the next Enter would see an empty last line. Part of
// the edit that made them, so one Undo takes back both.
void CCmdConsole::removeTrailingBreaks(QTextCursor& c) {
  QTextDocument* doc = box->document();
  const int promptBlock = doc->findBlock(inputAt - 1).blockNumber();
  while (doc->lastBlock().blockNumber() > promptBlock && doc->lastBlock().length() == 1) {
    c.movePosition(QTextCursor::End);
    c.deletePreviousChar();
  }
}

void CCmdConsole::deleteSelection() {
  if (selectionEditable()) box->textCursor().removeSelectedText();
}

void CCmdConsole::refreshPopup() {
  const bool selected = box->textCursor().hasSelection();
  popup->SetEntry(0, "&Undo", box->document()->isUndoAvailable());
  popup->SetEntry(1, "-");
  popup->SetEntry(2, "Cu&t", selectionEditable());
  popup->SetEntry(3, "&Copy", selected);
  popup->SetEntry(4, "&Paste", CaretEditable());
  popup->SetEntry(5, "&Delete", selectionEditable());
}

void CCmdConsole::ShowPopup(const QPoint& global) {
  guarded(kLocPopupShow, [&] {
    refreshPopup();
    popup->ShowAt(global);
  });
}

void CCmdConsole::popupClick(int pos) {
  switch (pos) {
    case 0: box->undo(); break;
    case 2:
      if (selectionEditable()) box->cut();
      break;
    case 3: box->copy(); break;
    case 4: Paste(QGuiApplication::clipboard()->text()); break;
    case 5: deleteSelection(); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------
// Enter: each input line answered
// ---------------------------------------------------------------------------------------

void CCmdConsole::enter() {
  QTextDocument* doc = box->document();
  if (doc->isEmpty()) return;
  const int end = doc->characterCount() - 1;
  inputAt = std::min(inputAt, end);
  QTextCursor c(doc);
  c.setPosition(inputAt);
  c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  const QStringList lines = c.selectedText().split(QChar::ParagraphSeparator);
  if (lines.size() > 1) {
    // The later lines of a pasted block are typed again, one after each answer.
    c.setPosition(inputAt + static_cast<int>(lines[0].size()));
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    doc->setUndoRedoEnabled(false);
    c.removeSelectedText();
    doc->setUndoRedoEnabled(true);
  }
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    if (i > 0) {
      if (line.startsWith('>')) line.remove(0, 1);
      appendText(line);
    }
    answer(line.toStdString());
  }
}

void CCmdConsole::answer(const std::string& line) {
  const QString lower = QString::fromStdString(line).toLower();
  std::string listing, response;
  bool listed = false;
  QString first, second;
  if (lower == "list" || lower == "list.libs") {
    listed = true;
    guarded(kLocListing, [&] { listing = libraryListing(lower == "list.libs"); });
  } else if (lower == "list.mods") {
    listed = true;
    guarded(kLocModules, [&] { listing = moduleCheck(); });
  } else if (sizeCommand(lower, &first, &second)) {
    // Read and kept nowhere: the console has no size to set yet.
    [[maybe_unused]] const long width = readInteger(first), height = readInteger(second);
  } else {
    guarded(kLocKeys, [&] { response = exec(line); });
  }
  // Whatever failed above, the dialogue goes on with a new prompt.
  QString out;
  if (listed) out += "\r\n" + QString::fromStdString(listing);
  out += response.empty() ? QString("\r\n>") : "\r\n" + QString::fromStdString(response) + "\r\n>";
  appendText(out);
  inputAt = box->document()->characterCount() - 1;
  box->moveCursor(QTextCursor::End);
  box->ensureCursorVisible();
}

// Output is not the user's edit: it cannot be undone, and nothing typed before it can be
// undone across it either.
void CCmdConsole::appendText(const QString& text) {
  QTextDocument* doc = box->document();
  QTextCursor c(doc);
  c.movePosition(QTextCursor::End);
  doc->setUndoRedoEnabled(false);
  c.insertText(boxText(text));
  doc->setUndoRedoEnabled(true);
}

// ---------------------------------------------------------------------------------------
// The console's own listings. Each leaves the network as it found it: a library or module
// whose name a component already uses is loaded under a free label of its own, and only
// what the listing loaded is unloaded.
// ---------------------------------------------------------------------------------------

std::string CCmdConsole::exec(const std::string& line, long* result) {
  std::string message;
  long r = -1;
  if (app) app->Execute(line, &message, &r);
  if (result) *result = r;
  return message;
}

bool CCmdConsole::labelInUse(const std::string& label) {
  long count = 0;
  app->get_CompCount(&count);
  for (long i = 0; i < count; ++i) {
    std::string l;
    app->get_CompLabel(i, &l);
    if (strcasecmp(l.c_str(), label.c_str()) == 0) return true;
  }
  return false;
}

std::string CCmdConsole::freeLabel(const std::string& name) {
  if (KvNet::ValidLabel(name) && !labelInUse(name)) return name;
  const std::string stem = KvNet::ValidLabel(name) ? name : "tmp";
  for (long i = 1;; ++i) {
    const std::string label = stem + "_" + std::to_string(i);
    if (!labelInUse(label)) return label;
  }
}

std::string CCmdConsole::libraryListing(bool detailed) {
  if (!app || !utils) return {};
  std::vector<std::string> lines;
  if (detailed) {
    std::string version;
    utils->get_Version(&version);
    std::vector<std::string> heads = split(version, '\n');
    heads.resize(std::min<size_t>(heads.size(), 2));
    for (const std::string& head : heads) {
      std::vector<std::string> f = split(head, ',');
      f.resize(std::max<size_t>(f.size(), 3));
      lines.push_back("Bin " + KvNet::Trimmed(f[2]) + "  " + KvNet::Trimmed(f[0]) + " " + KvNet::Trimmed(f[1]));
    }
  }
  std::string folder;
  utils->get_LibraryPath(&folder);
  const QStringList files =
      QDir(QString::fromStdString(folder)).entryList({"*.bin"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
  for (const QString& file : files) {
    const std::string name = file.left(file.size() - 4).toStdString();
    std::string version = "?.?.?", debug = "?";
    if (KvNet::ValidLabel(name)) {
      const std::string label = freeLabel(name);
      long r = -1;
      const std::string loaded = exec("load " + label + "=" + name, &r);
      if (r != 0) {
        if (!loaded.empty()) version = loaded;
      } else {
        if (detailed) {
          std::string value;
          if (app->get_str(label, "debug", &value) == S_OK) debug = debugText(value);
        }
        const std::string answer = exec(label + ".version", &r);
        if (r == 0 && !answer.empty()) version = answer;
        exec("unload " + label);
      }
    }
    lines.push_back(detailed ? "Bin " + debug + "  Ocx ?  " + name + " " + version : name + " " + version);
  }
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

std::string CCmdConsole::moduleCheck() {
  if (!app || !utils) return {};
  std::string list;
  utils->GetInstalledModList(&list);
  std::string text;
  for (const std::string& e : KvNet::SplitList(list)) {
    const std::string label = freeLabel(e);
    long r = -1;
    const std::string answer = exec("load " + label + "=" + e, &r);
    text += e + ": " + (answer.empty() ? std::string("OK") : answer) + "\r\n";
    if (r == 0) exec("unload " + label);
  }
  return text;
}
