#include "ModPlot/gui/SetupPanel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <strings.h>

#include "KvCtlLib/TextUpdown.h"
#include "KvCtlLib/ToggleButton.h"
#include "desktop/Dialogs.h"

namespace {

// Error numbers of the panel's handlers (130xxx).
constexpr long kCaption = 130001, kLoad = 130002, kValueChanged = 130003, kSelector = 130004, kColor = 130005,
               kVisible = 130006, kVScale = 130007, kVOffset = 130008, kVPosition = 130009, kTabCaption = 130010,
               kUnload = 130011, kHScale = 130012, kHOffset = 130013, kVScaleAuto = 130014, kVOffsetAuto = 130015,
               kHScaleAuto = 130016, kHOffsetAuto = 130017, kCursors = 130018, kBins = 130019;

// Lay-out, pixels.
constexpr int kMargin = 6, kFieldH = 21, kRowH = 26, kCaptionW = 52, kFieldW = 96, kUnitW = 40, kCheckW = 56;
constexpr int kTabsW = 8 + kCaptionW + kFieldW + 4 + kUnitW + kCheckW + 16, kTabsH = 3 * kRowH + 44;

QLabel* caption(QWidget* parent, const char* text, int x, int y, int w = kCaptionW - 4) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(x, y + 2, w, kFieldH - 2);
  return l;
}

TextUpdown* field(QWidget* parent, const char* name, int x, int y, const char* tip, int w = kFieldW) {
  auto* f = new TextUpdown(parent);
  f->setObjectName(name);
  f->setGeometry(x, y, w, kFieldH);
  f->setToolTip(QString::fromUtf8(tip));
  return f;
}

QCheckBox* check(QWidget* parent, const char* name, const char* text, int x, int y, const char* tip, int w = kCheckW) {
  auto* c = new QCheckBox(QString::fromUtf8(text), parent);
  c->setObjectName(name);
  c->setGeometry(x, y, w, kFieldH);
  c->setToolTip(QString::fromUtf8(tip));
  return c;
}

// The cursor buttons' pictures: two vertical lines, two horizontal lines, a cross.
QIcon cursorIcon(int kind) {
  QPixmap pm(18, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(Qt::black, 1.5));
  if (kind == 1) p.drawLine(5, 1, 5, 17), p.drawLine(13, 1, 13, 17);
  if (kind == 2) p.drawLine(1, 5, 17, 5), p.drawLine(1, 13, 17, 13);
  if (kind == 4) p.drawLine(9, 1, 9, 17), p.drawLine(1, 9, 17, 9), p.drawEllipse(QPointF(9, 9), 3, 3);
  return QIcon(pm);
}

QToolButton* cursorButton(QWidget* parent, const char* name, int kind, int x, int y, const char* tip) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setCheckable(true);
  b->setIcon(cursorIcon(kind));
  b->setGeometry(x, y, 28, 24);
  b->setToolTip(QString::fromUtf8(tip));
  return b;
}

// r + 256 g + 65536 b, as the component keeps a colour.
QColor fromRgb(int32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }
int32_t toRgb(const QColor& c) { return c.red() + 256 * c.green() + 65536 * c.blue(); }

}  // namespace

CPlotSetup::CPlotSetup(QWidget* parent)
    : CPanel(parent, Traits{"setup", "Setup", nullptr, false, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  caption(this, "Waveform", kMargin, kMargin, 60);
  selector = field(this, "txtSelect", kMargin + 62, kMargin, "Select the active waveform", 56);
  color = new QPushButton("Color", this);
  color->setObjectName("cmdColor");
  color->setToolTip("Change waveform color");
  color->setGeometry(kMargin + 124, kMargin, 70, kFieldH + 2);
  visible = new ToggleButton(this);
  visible->setObjectName("tglVisible");
  visible->SetCaption("OFF");
  visible->SetCaptionOff("OFF");
  visible->SetCaptionOn("ON");
  visible->setToolTip("Hide or show the waveform");
  visible->setGeometry(kMargin + 200, kMargin, 56, kFieldH + 2);

  tabs = new QTabWidget(this);
  tabs->setObjectName("tabSetup");
  tabs->setGeometry(kMargin, kMargin + kRowH + 4, kTabsW, kTabsH);
  const int fx = 8 + kCaptionW, ux = fx + kFieldW + 4, cx = ux + kUnitW;

  auto* vertical = new QWidget;
  caption(vertical, "Scale", 8, 8);
  vscale = field(vertical, "txtVScale", fx, 8, "Shows active waveform's vertical scale");
  caption(vertical, "V/Div", ux, 8, kUnitW - 2);
  vscaleAuto = check(vertical, "chkVScaleAuto", "Auto", cx, 8, "Uncheck to manually change vertical scale");
  caption(vertical, "Offset", 8, 8 + kRowH);
  voffset = field(vertical, "txtVOffset", fx, 8 + kRowH, "Shows active waveform's vertical offset");
  voffsetAuto = check(vertical, "chkVOffsetAuto", "Auto", cx, 8 + kRowH, "Uncheck to manually change vertical offset");
  caption(vertical, "Position", 8, 8 + 2 * kRowH);
  vposition = field(vertical, "txtVPosition", fx, 8 + 2 * kRowH, "Shows active waveform's vertical position");
  tabs->addTab(vertical, "Vertical");

  auto* horizontal = new QWidget;
  caption(horizontal, "Scale", 8, 8);
  hscale = field(horizontal, "txtHScale", fx, 8, "Shows active waveform's horizontal scale");
  caption(horizontal, "S/Div", ux, 8, kUnitW - 2);
  hscaleAuto = check(horizontal, "chkHScaleAuto", "Auto", cx, 8, "Check to link to the source");
  caption(horizontal, "Offset", 8, 8 + kRowH);
  hoffset = field(horizontal, "txtHOffset", fx, 8 + kRowH, "Shows active waveform's horizontal offset");
  hoffsetAuto = check(horizontal, "chkHOffsetAuto", "Auto", cx, 8 + kRowH, "Check to link to the source");
  autoScroll = check(horizontal, "chkAutoScroll", "Auto Scroll", fx, 8 + 2 * kRowH,
                     "Check to auto scroll the waveform horizontally", kFieldW + kUnitW);
  tabs->addTab(horizontal, "Horizontal");

  histoPage = new QWidget;
  caption(histoPage, "Bins", 8, 8);
  bins = field(histoPage, "txtBins", fx, 8, "Select or enter number of histogram bins");
  tabs->addTab(histoPage, "Histo");
  fftPage = new QWidget;
  tabs->addTab(fftPage, "FFT");

  const int cy = kMargin + kRowH + 4 + kTabsH + 6;
  vcur = cursorButton(this, "vcur", 1, kMargin, cy, "Vertical cursors");
  hcur = cursorButton(this, "hcur", 2, kMargin + 32, cy, "Horizontal cursors");
  pcur = cursorButton(this, "pcur", 4, kMargin + 64, cy, "Pair cursors");

  // Per-waveform fields: their keys follow the active port (perPort holds the key's tail).
  // Offsets step by a tenth of their scale as the component holds it: the active waveform's
  // vertical scale, or the horizontal one.
  auto tenthOf = [this](bool vertical) {
    return [this, vertical](double v, bool up) {
      const double tenth = Dbl(vertical ? prefix + "vscale" : std::string("main.hscale")) / 10;
      if (Utils()) Utils()->safeadd(&v, up ? tenth : -tenth);
      return v;
    };
  };
  perPort.emplace_back(&BindNumber(vscale, "vscale", Scale125(), kVScale), "vscale");
  perPort.emplace_back(&BindNumber(voffset, "voffset", Custom(tenthOf(true)), kVOffset), "voffset");
  perPort.emplace_back(&BindNumber(vposition, "vposition", Fixed(0.2), kVPosition), "vposition");
  perPort.emplace_back(&BindCheck(vscaleAuto, "vscale.auto", kVScaleAuto), "vscale.auto");
  perPort.emplace_back(&BindCheck(voffsetAuto, "voffset.auto", kVOffsetAuto), "voffset.auto");
  BindNumber(hscale, "main.hscale", Scale125(), kHScale);
  BindNumber(hoffset, "main.hoffset", Custom(tenthOf(false)), kHOffset);
  BindCheck(hscaleAuto, "main.hscale.auto", kHScaleAuto);
  BindCheck(hoffsetAuto, "main.hoffset.auto", kHOffsetAuto);
  BindNumber(bins, "histo.bins", Scale125(), kBins, true).atLeast = 1;
  // A check writes first (its binding), then its box follows the engine's flag.
  for (QCheckBox* c : {vscaleAuto, voffsetAuto, hscaleAuto, hoffsetAuto})
    connect(c, &QCheckBox::clicked, this, [this, c] {
      Guarded(FindBinding(c)->handler, [&] { enableBoxes(); });
    });

  connect(selector, &TextUpdown::Change, this, [this](int action, int) { Guarded(kSelector, [&] { selectorChanged(action); }); });
  connect(color, &QPushButton::clicked, this, [this] { Guarded(kColor, [&] { colorClicked(); }); });
  connect(visible, &ToggleButton::Change, this, [this](int v) {
    Guarded(kVisible, [&] {
      if (Loading() || active == 0) return showVisible();
      PutLng(prefix + "visible", v ? 1 : 0);
      showVisible();
    });
  });
  for (QToolButton* b : {vcur, hcur, pcur})
    connect(b, &QToolButton::clicked, this, [this] { Guarded(kCursors, [&] { cursorClicked(); }); });

  tabs->setTabVisible(tabs->indexOf(histoPage), false);
  tabs->setTabVisible(tabs->indexOf(fftPage), false);
  FitToContents();
}

HRESULT CPlotSetup::GetStyle(GuiStyle* out) {
  if (!out) return E_POINTER;
  *out = GuiStyle{0, 1, 0, 0, 0, 1};
  return S_OK;
}

HRESULT CPlotSetup::get_Caption(std::string* out) {
  if (!out) return E_POINTER;
  Guarded(kCaption, [&] { *out = title; });
  return S_OK;
}

std::vector<std::string> CPlotSetup::ports() {
  std::vector<std::string> out;
  const std::string text = Str("iports");
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) out.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

void CPlotSetup::Fill() {
  // The Histo and FFT pages wait for their modes; the component's active waveform is shown
  // as it is (a fresh component's is the first), nothing is written.
  tabs->setTabVisible(tabs->indexOf(histoPage), false);
  tabs->setTabVisible(tabs->indexOf(fftPage), false);
  active = 0;
  port.clear(), prefix.clear();
  const std::vector<std::string> list = ports();
  int n = 1;
  if (!list.empty()) {
    const std::string first = list.front().substr(list.front().find('.') + 1);
    n = Lng(first + ".select") + 1;
  }
  Select(n);
  if (active == 0) {
    // No ports: nothing to show, but the plot-wide values.
    selector->SetText(QString());
    refreshCaption();
    for (const char* k : {"main.hscale", "main.hoffset", "main.hscale.auto", "main.hoffset.auto"}) Refresh(k);
    enableBoxes();
    showCursors();
  }
  showHisto();
  Refresh("histo.bins");
  FitToContents();
}

void CPlotSetup::Select(int n) {
  const std::vector<std::string> list = ports();
  if (list.empty()) return;
  n = std::clamp(n, 1, static_cast<int>(list.size()));
  if (n != active) {
    active = n;
    const std::string& entry = list[static_cast<size_t>(n) - 1];
    port = entry.substr(entry.find('.') + 1);  // the whole entry when it has no "."
    prefix = port.empty() ? std::string() : port + ".";
    for (auto& [binding, tail] : perPort) binding->key = prefix + tail;
    selector->SetText(QString::number(n));
    refreshCaption();
    refreshControls();
    if (!Loading()) PutLng(prefix + "select", n - 1);
  }
  selector->SetText(QString::number(active));
}

void CPlotSetup::refreshCaption() {
  const std::string own = Str("setup.title");
  title = !own.empty() ? own : Label() + ": " + (port.empty() ? std::string("Setup") : port);
  setWindowTitle(QString::fromStdString(title));
  if (Host()) {
    std::string c = title;
    Host()->Caption(&c);
  }
}

void CPlotSetup::refreshControls() {
  RefreshAll();
  enableBoxes();
  showColor();
  showVisible();
  showCursors();
}

void CPlotSetup::enableBoxes() {
  vscale->setEnabled(!vscaleAuto->isChecked());
  voffset->setEnabled(!voffsetAuto->isChecked());
  hscale->setEnabled(!hscaleAuto->isChecked());
  hoffset->setEnabled(!hoffsetAuto->isChecked());
}

void CPlotSetup::showColor() {
  if (active == 0) return;
  shownColor = fromRgb(Lng(prefix + "color"));
  QPixmap swatch(14, 14);
  swatch.fill(shownColor);
  color->setIcon(QIcon(swatch));
}

void CPlotSetup::showVisible() {
  if (active == 0) return;
  visible->SetValue(Lng(prefix + "visible") != 0 ? 1 : 0);
}

void CPlotSetup::showCursors() {
  const int32_t t = Lng("cursortype");
  vcur->setChecked((t & 1) != 0);
  hcur->setChecked((t & 2) != 0);
  pcur->setChecked((t & 4) != 0);
}

void CPlotSetup::showHisto() {
  const bool histo = Lng("mode") == 2;
  tabs->setTabVisible(tabs->indexOf(histoPage), histo);
}

void CPlotSetup::selectorChanged(int action) {
  if (action == TextUpdown::stepUp) return Select(active + 1);
  if (action == TextUpdown::stepDown) return Select(active - 1);
  if (action == TextUpdown::revert || Loading()) {
    selector->SetText(active ? QString::number(active) : QString());
    return;
  }
  const double v = std::round(Parse(selector->Text().trimmed().toStdString()));
  // Far outside any port count, a typed number is limited like any other.
  Select(std::isfinite(v) ? static_cast<int>(std::clamp(v, -1.0, 1e6)) : active);
}

void CPlotSetup::colorClicked() {
  if (Loading() || active == 0) return;
  QColorDialog dialog(shownColor, this);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  dialog.setWindowTitle("Color");
  if (CDialogs::Get().Exec(dialog) != QDialog::Accepted) return;  // cancelled: nothing to say
  const QColor chosen = dialog.currentColor();
  if (!chosen.isValid() || toRgb(chosen) == toRgb(shownColor)) return;
  PutLng(prefix + "color", toRgb(chosen));
  showColor();
}

void CPlotSetup::cursorClicked() {
  if (Loading()) return showCursors();
  PutLng("cursortype", (vcur->isChecked() ? 1 : 0) + (hcur->isChecked() ? 2 : 0) + (pcur->isChecked() ? 4 : 0));
  showCursors();
}

void CPlotSetup::OnValue(const std::string& key) {
  if (key == "src") {
    if (selector->Text().trimmed().isEmpty()) Select(1);
    return;
  }
  if (key == "cursortype") return showCursors();
  if (key == "mode") return showHisto();
  if (key == "setup.title") return refreshCaption();
  if (!prefix.empty() && key.size() > prefix.size() && key.compare(0, prefix.size(), Lowered(prefix)) == 0) {
    const std::string tail = key.substr(prefix.size());
    if (tail == "color") return showColor();
    if (tail == "visible") return showVisible();
  }
  if (Refresh(key)) enableBoxes();
}
