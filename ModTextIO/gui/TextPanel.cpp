#include "ModTextIO/gui/TextPanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "KvCtlLib/TextUpdown.h"
#include "desktop/Dialogs.h"

namespace {

// Error numbers of the handlers (125xxx): the reader's panel from 125001, the writer's from
// 125101, the same offsets in both.
enum : long {
  kCaption = 1, kLoad = 2, kValueChanged = 3, kTabCaption = 9, kUnload = 10,
  kFileName = 11, kBrowse = 12, kXAxis = 13, kDataOrg = 14, kSepCol = 15,
  kSkipLines = 16, kSkipValues = 17, kXIncr = 18, kOffset = 19, kAdditive = 20, kMore = 21,
};

long base(CTextPanel::Kind k) { return k == CTextPanel::Kind::import ? 125000 : 125100; }

CPanel::Traits traitsOf(CTextPanel::Kind k) {
  const long b = base(k);
  return CPanel::Traits{"gui", k == CTextPanel::Kind::import ? "Import" : "Export", nullptr, false,
                        {b + kCaption, b + kLoad, b + kValueChanged, b + kTabCaption, b + kUnload}};
}

// Lay-out, pixels.
constexpr int kMargin = 6, kWidth = 318, kRowH = 28, kFieldH = 22, kFrameW = 156, kFrameH = 62;

// A caption as wide as its text (at least w), so no font cuts it short.
QLabel* caption(QWidget* parent, const char* text, int x, int y, int w = 0) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);  // none holds an "&"
  l->setGeometry(x, y + 3, std::max(w, l->sizeHint().width()), kFieldH - 4);
  return l;
}

// Where the next control of a row begins.
int after(const QWidget* w, int gap = 4) { return w->geometry().right() + 1 + gap; }

QLineEdit* box(QWidget* parent, const char* name, int x, int y, int w) {
  auto* b = new QLineEdit(parent);
  b->setObjectName(name);
  b->setGeometry(x, y, w, kFieldH);
  return b;
}

QGroupBox* optionFrame(QWidget* parent, const char* caption, const char* name, const char* first, const char* second,
                       const char* firstName, const char* secondName, int x, int y, QRadioButton** a, QRadioButton** b) {
  auto* f = new QGroupBox(caption, parent);
  f->setObjectName(name);
  f->setGeometry(x, y, kFrameW, kFrameH);
  *a = new QRadioButton(first, f);
  *b = new QRadioButton(second, f);
  (*a)->setObjectName(firstName);
  (*b)->setObjectName(secondName);
  (*a)->setGeometry(10, 18, kFrameW - 16, 20);
  (*b)->setGeometry(10, 38, kFrameW - 16, 20);
  (*a)->setChecked(true);
  return f;
}

// A whole number as the box shows it, or nothing when the text is no number or out of range.
bool wholeOf(const QString& text, int32_t& out) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  const double r = std::nearbyint(v);  // to the nearest, halves to even
  if (r < INT32_MIN || r > INT32_MAX) return false;
  out = static_cast<int32_t>(r);
  return true;
}

}  // namespace

const char* const CTextPanel::kFilter = "Text File (*.txt);;Comma Seperated Values (*.csv);;All (*.*)";

CTextPanel::CTextPanel(QWidget* parent, Kind k) : CPanel(parent, traitsOf(k)), kind(k) {
  const long b = base(k);
  const bool reader = k == Kind::import;
  int y = kMargin;
  fileName = box(this, "txtFileName", kMargin, y + 1, kWidth - 80);
  fileName->setToolTip(Literal("Enter file path && name or click on browse to select one"));
  BindText(fileName, "filename", b + kFileName);
  browseButton = new QPushButton("Browse", this);
  browseButton->setObjectName("cmdBrowse");
  browseButton->setGeometry(kMargin + kWidth - 74, y, 74, kFieldH + 2);
  connect(browseButton, &QPushButton::clicked, this, [this, b] { Guarded(b + kBrowse, [&] { browse(); }); });

  y += kRowH + 2;
  xaxis = {"xaxis.on", nullptr, nullptr, b + kXAxis};
  dataorg = {"dataorg", nullptr, nullptr, b + kDataOrg};
  optionFrame(this, reader ? "File Contains:" : "Save Axis:", "fraXAxis", "Y-Axis only", "Both X && Y-Axis", "optXAxis0",
              "optXAxis1", kMargin, y, &xaxis.first, &xaxis.second);
  optionFrame(this, reader ? "Each Axis is in:" : "Save Each Axis In:", "fraDataOrg", "Column", "Row", "optDataOrg0",
              "optDataOrg1", kMargin + kWidth - kFrameW, y, &dataorg.first, &dataorg.second);
  bindOption(xaxis);
  bindOption(dataorg);

  y += kFrameH + 6;
  QWidget* w = caption(this, "Column Seperator:", kMargin, y);
  sepCol = box(this, "txtSepCol", after(w), y, 44);
  sepCol->setText(",");
  BindText(sepCol, "sep.col", b + kSepCol);
  w = caption(this, "Row Seperator:", after(sepCol, 16), y);
  caption(this, "NewLine", after(w), y)->setObjectName("lblRowSep");

  if (reader) {
    y += kRowH;
    w = caption(this, "Skip first ", kMargin, y);
    skipLines = {"nskiplines", box(this, "txtSkipLines", after(w), y, 44), b + kSkipLines};
    w = caption(this, "Lines and", after(skipLines.box), y);
    skipValues = {"nskipvalues", box(this, "txtSkipValues", after(w), y, 44), b + kSkipValues};
    caption(this, "Values", after(skipValues.box), y);
    bindSkip(skipLines);
    bindSkip(skipValues);

    y += kRowH;
    w = caption(this, "Horizontal Multiplier:", kMargin, y);
    xincr = new TextUpdown(this);
    xincr->setObjectName("txtXIncr");
    xincr->setGeometry(after(w), y, 130, kFieldH);
    BindNumber(xincr, "xincr", Offset(), b + kXIncr);

    y += kRowH;
    more = new QCheckBox("More", this);
    more->setObjectName("chkMore");
    more->move(kMargin, y);
    more->adjustSize();
    BindMore(more, b + kMore);

    y += kRowH - 4;
    offsetFrame = new QGroupBox("Horizontal Offset (s)", this);
    offsetFrame->setObjectName("fraHorOffset");
    offsetFrame->setGeometry(kMargin, y, kWidth, 52);
    offset = new TextUpdown(offsetFrame);
    offset->setObjectName("txtHorOffset");
    offset->setGeometry(10, 20, 130, kFieldH);
    BindNumber(offset, "hor.offset", Offset(), b + kOffset);
    additive = new QCheckBox("Additive", offsetFrame);
    additive->setObjectName("chkAdditive");
    additive->move(156, 22);
    additive->adjustSize();
    BindCheck(additive, "hor.offset.additive", b + kAdditive);
  }
  FitToContents();
}

void CTextPanel::Fill() {
  RefreshAll();  // file name, separator, numbers, "Additive", "More" and the lay-out
  showOption(xaxis);
  showOption(dataorg);
  if (kind == Kind::import) {
    showSkip(skipLines);
    showSkip(skipValues);
  } else {
    FitToContents();  // no "More" to size it: the host learns the fixed size here
  }
}

void CTextPanel::OnValue(const std::string& key) {
  if (key == xaxis.key) return showOption(xaxis);
  if (key == dataorg.key) return showOption(dataorg);
  if (kind == Kind::import) {
    if (key == skipLines.key) return showSkip(skipLines);
    if (key == skipValues.key) return showSkip(skipValues);
  }
  Refresh(key);  // a key this panel does not show changes nothing
}

void CTextPanel::LayOut() {
  if (offsetFrame) offsetFrame->setVisible(more->isChecked());
}

void CTextPanel::ReportWithoutUtils(long number, const PanelError& e) {
  CDialogs::Get().MsgBox(FaultText(number, e), DlgButtons::ok, DlgIcon::critical, Label());
}

// ---- option pairs ----

void CTextPanel::bindOption(Option& o) {
  // clicked: the user's choice only; a refresh that checks an option raises nothing.
  connect(o.first, &QRadioButton::clicked, this, [this, &o] {
    Guarded(o.handler, [&] { chooseOption(o, 0); });
  });
  connect(o.second, &QRadioButton::clicked, this, [this, &o] {
    Guarded(o.handler, [&] { chooseOption(o, 1); });
  });
}

void CTextPanel::showOption(Option& o) { (Lng(o.key) != 0 ? o.second : o.first)->setChecked(true); }

void CTextPanel::chooseOption(Option& o, int32_t value) {
  if (Loading()) return;
  if (Lng(o.key) != value) PutLng(o.key, value);
  showOption(o);  // a refused choice shows the engine's again
}

// ---- skip boxes ----

void CTextPanel::bindSkip(Skip& s) {
  s.box->setText("0");
  // textEdited: typed by the user; the refresh's setText raises nothing.
  connect(s.box, &QLineEdit::textEdited, this, [this, &s] { Guarded(s.handler, [&] { skipEdited(s); }); });
  // Done typing: "2." or "05" is shown as the engine keeps it.
  connect(s.box, &QLineEdit::editingFinished, this, [this, &s] {
    Guarded(s.handler, [&] {
      if (!Loading()) s.box->setText(QString::number(Lng(s.key)));
    });
  });
}

void CTextPanel::showSkip(Skip& s) {
  const int32_t v = Lng(s.key);
  // A text that already stands for the value is kept: the user may be typing "2." of "2.5",
  // and a refresh in between would turn it into "2" and the next digit into "25".
  int32_t typed = 0;
  if (wholeOf(s.box->text(), typed) && typed == v) return;
  s.box->setText(QString::number(v));
}

void CTextPanel::skipEdited(Skip& s) {
  if (Loading()) return;
  int32_t n = 0;
  if (!wholeOf(s.box->text(), n)) {
    // No number: the box starts again from "0", and so does the setting.
    s.box->setText("0");
    n = 0;
  }
  if (Lng(s.key) != n) PutLng(s.key, n);
  showSkip(s);
}

// ---- the file dialog ----

void CTextPanel::browse() {
  IUtils* utils = Utils();
  if (!utils) throw PanelError{E_POINTER, __LINE__, "Utils.WorkspacePath: no object"};
  std::string folder;
  if (HRESULT h = utils->get_WorkspacePath(&folder); h < 0)
    throw PanelError{static_cast<long>(h), __LINE__, "Utils.WorkspacePath: failed"};
  // The dialog starts in the workspace with the current name; a full path names its own folder.
  const std::string current = fileName->text().toStdString();
  std::string start = folder;
  if (!current.empty()) {
    if (current[0] == '/' || folder.empty())
      start = current;
    else
      start = folder + (folder.back() == '/' ? "" : "/") + current;
  }
  std::string chosen;
  const bool reader = kind == Kind::import;
  // The writer asks for a name to save as, and the dialog asks before overwriting a file.
  if (!CDialogs::Get().FileDialog(reader ? FileDlg::open : FileDlg::saveAs, reader ? "Open" : "Save As", kFilter, start,
                                  &chosen))
    return;  // cancelled: the box keeps its name
  fileName->setText(QString::fromStdString(chosen));
  if (Str("filename") != chosen) PutStr("filename", chosen);
  if (Binding* b = FindBinding(fileName)) Show(*b);
}
