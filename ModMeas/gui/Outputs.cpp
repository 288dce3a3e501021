#include "ModMeas/gui/Outputs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QResizeEvent>
#include <algorithm>
#include <strings.h>

#include "KvCtlLib/TextUpdown.h"
#include "desktop/Twips.h"

namespace {

// Error numbers of the panel's handlers (123xxx).
constexpr long kCaption = 123001, kTabCaption = 123002, kLoad = 123003, kValueChanged = 123004, kUnload = 123005,
               kSelect = 123006, kMax = 123007, kMin = 123008, kFreq = 123009, kAuto = 123010, kStart = 123011,
               kCycles = 123012;

// Lay-out, pixels: the list takes what the right-hand column leaves.
constexpr int kMargin = 4, kColumnW = 132, kRowH = 22, kFieldH = 20, kFrameH = 15 + 2 * kRowH + 1;

bool same(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  if (s.empty()) return out;
  size_t start = 0;
  for (;;) {
    const size_t comma = s.find(',', start);
    out.push_back(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

QLabel* caption(QWidget* parent, const QString& text, int x, int y, int w) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(x, y + 2, w, kFieldH - 2);
  return l;
}

TextUpdown* field(QWidget* parent, int x, int y, int w) {
  auto* f = new TextUpdown(parent);
  f->setGeometry(x, y, w, kFieldH);
  return f;
}

}  // namespace

QString CMeasList::DragText() const {
  std::vector<int> rows;
  for (const QModelIndex& i : selectionModel()->selectedIndexes()) rows.push_back(i.row());
  if (rows.empty()) return {};
  std::sort(rows.begin(), rows.end());
  QString t = QString::fromStdString("SRC:MEAS;COMP:" + comp + ";TYPE:");
  for (int r : rows) t += QString::number(r + 1) + " ";
  return t;
}

QMimeData* CMeasList::mimeData(const QList<QListWidgetItem*>&) const {
  const QString t = DragText();
  if (t.isEmpty()) return nullptr;
  auto* d = new QMimeData;
  d->setText(t);
  return d;
}

CMeasOutputs::CMeasOutputs(QWidget* parent)
    : CPanel(parent, Traits{"ogui", "Measurements", ":Meas", true, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  list = new CMeasList(this);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setDragEnabled(true);
  list->setDragDropMode(QAbstractItemView::DragOnly);
  list->setDefaultDropAction(Qt::CopyAction);
  connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!Loading()) Guarded(kSelect, [&] { select(row); });
  });

  range = new QGroupBox("Valid Range", this);
  maxCaption = caption(range, "Max ()", 6, 15, 54);
  max = field(range, 60, 15, kColumnW - 66);
  minCaption = caption(range, "Min ()", 6, 15 + kRowH, 54);
  min = field(range, 60, 15 + kRowH, kColumnW - 66);
  // Limits step by a thousandth of their decade, never below the unit's resolution.
  auto limitStep = Custom([this](double v, bool up) {
    IUtils* u = Utils();
    if (u) u->Step(&v, up ? 0.001 : -0.001, minStep);
    return v;
  });
  BindNumber(max, "", limitStep, kMax);
  BindNumber(min, "", limitStep, kMin);

  dataOptions = new QGroupBox("Options", this);
  caption(dataOptions, "Freq (Hz)", 6, 15, 54);
  freq = field(dataOptions, 60, 15, kColumnW - 66);
  autoFreq = new QCheckBox("Auto", dataOptions);
  autoFreq->setGeometry(6, 15 + kRowH, 80, kFieldH);
  BindNumber(freq, "", Scale125(), kFreq);
  BindCheck(autoFreq, "", kAuto);

  jncOptions = new QGroupBox("Options", this);
  caption(jncOptions, "Start", 6, 15, 54);
  start = field(jncOptions, 60, 15, kColumnW - 66);
  caption(jncOptions, "N", 6, 15 + kRowH, 54);
  cycles = field(jncOptions, 60, 15 + kRowH, kColumnW - 66);
  // Cycles count from 1: only whole numbers from 1 are written.
  BindNumber(start, "ckjnc.start", Fixed(1), kStart, true).atLeast = 1;
  BindNumber(cycles, "ckjnc.N", Fixed(1), kCycles, true).atLeast = 1;

  list->setObjectName("lstMeas");
  range->setObjectName("fraRange");
  dataOptions->setObjectName("fraData");
  jncOptions->setObjectName("fraJnc");
  max->setObjectName("txtMax"), min->setObjectName("txtMin");
  maxCaption->setObjectName("lblMax"), minCaption->setObjectName("lblMin");
  freq->setObjectName("txtFreq"), autoFreq->setObjectName("chkAuto");
  start->setObjectName("txtStart"), cycles->setObjectName("txtCycles");
  dataOptions->hide();
  jncOptions->hide();
  LayOut();
}

void CMeasOutputs::Fill() {
  labels = split(Str("meas.labels?"));
  names = split(Str("meas.names?"));
  // Lists of unequal length: only the entries both have.
  const size_t n = std::min(labels.size(), names.size());
  labels.resize(n), names.resize(n);
  list->comp = Label();
  list->clear();
  for (const std::string& l : labels) list->addItem(QString::fromStdString(l));
  hasJnc = std::any_of(names.begin(), names.end(), [](const std::string& s) { return same(s, "CkJNC"); });
  if (hasJnc) {
    if (const std::optional<std::string> s = Execute(".ckjnc.start")) start->SetText(QString::fromStdString(*s));
    Show(*FindBinding(cycles));
  }
  dataOptions->hide();
  jncOptions->hide();
  resize(KvTwipsToPixels(4000), KvTwipsToPixels(2000));
  if (Host()) Host()->Size(4000, 2000);
  if (n) {
    list->setCurrentRow(0);
    select(0);
  }
}

void CMeasOutputs::select(int row) {
  if (row < 0 || row >= static_cast<int>(names.size())) return;
  const std::string n = names[static_cast<size_t>(row)];
  selected = n;
  // 1. The options of the measurements that have them, read again.
  const bool jnc = same(n, "CkJNC");
  const bool data = same(n, "DtPeriod") || same(n, "DtFreq") || same(n, "DtTIE");
  jncOptions->setVisible(jnc);
  dataOptions->setVisible(data);
  if (jnc) Refresh("ckjnc.start"), Refresh("ckjnc.N");
  if (data) {
    FindBinding(freq)->key = n + ".freq";
    FindBinding(autoFreq)->key = n + ".freq.auto";
    Refresh(n + ".freq");
    Refresh(n + ".freq.auto");
  }
  // 2. The range, in the measurement's unit; the steps follow the unit's resolution.
  Binding& bMax = *FindBinding(max);
  Binding& bMin = *FindBinding(min);
  bMax.key = n + ".maxlmt", bMin.key = n + ".minlmt";
  double inf = 0;
  Utils()->get_DBLPINF(&inf);
  bMax.empty = inf;
  Utils()->get_DBLNINF(&inf);
  bMin.empty = inf;
  Show(bMax);
  Show(bMin);
  const std::string unitMax = Unit(bMax.key), unitMin = Unit(bMin.key);
  maxCaption->setText(QString::fromStdString("Max (" + unitMax + ")"));
  minCaption->setText(QString::fromStdString("Min (" + unitMin + ")"));
  minStep = unitMax == "s" ? 1e-12 : unitMax == "%" || unitMax == "Hz" ? 1 : 0.001;
  // 3. The status bar names it.
  Utils()->put_StatusBar(labels[static_cast<size_t>(row)] + " configuration (" + n + ")");
  LayOut();
}

void CMeasOutputs::OnValue(const std::string& key) {
  const size_t dot = key.find('.');
  if (dot == std::string::npos) return;
  const std::string head = key.substr(0, dot);
  // The N-cycle options are refreshed whichever is selected; the rest for the selected one.
  if (head == "ckjnc" && hasJnc) {
    Refresh(key);
  } else if (!selected.empty() && same(head, selected)) {
    Refresh(key);
  }
}

void CMeasOutputs::LayOut() {
  const int w = std::max(width(), kColumnW + 3 * kMargin + 40), h = std::max(height(), kFrameH * 2 + 3 * kMargin);
  const int x = w - kColumnW - kMargin;
  list->setGeometry(kMargin, kMargin, x - 2 * kMargin, h - 2 * kMargin);
  range->setGeometry(x, kMargin, kColumnW, kFrameH);
  dataOptions->setGeometry(x, kMargin + kFrameH + kMargin, kColumnW, kFrameH);
  jncOptions->setGeometry(x, kMargin + kFrameH + kMargin, kColumnW, kFrameH);
}

void CMeasOutputs::resizeEvent(QResizeEvent* e) {
  CPanel::resizeEvent(e);
  LayOut();
}
