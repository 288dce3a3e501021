#include "ModPlot/gui/PlotPanel.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <strings.h>

#include "ModPlot/gui/PlotDisplay.h"
#include "ModPlot/gui/PlotDrop.h"

namespace {

// Error numbers of the panel's handlers (129xxx).
constexpr long kCaption = 129001, kLoad = 129002, kValueChanged = 129003, kKey = 129004, kDrop = 129005,
               kResize = 129006, kTabCaption = 129009, kUnload = 129010;

// The size of a panel whose component gives none, twips.
constexpr double kDefaultWidth = 6000, kDefaultHeight = 4000;

double twipsPerPixel(bool x) {
  const QScreen* s = QGuiApplication::primaryScreen();
  const double dpi = s ? (x ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) out.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

bool sameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

CPlotPanel::CPlotPanel(QWidget* parent)
    : CPanel(parent, Traits{"plot", "Plot", nullptr, true, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  display = new CPlotDisplay(this);
  display->setObjectName("picDisplay");
  setMaximumSize(Limit());
  resize(pixelsX(kDefaultWidth), pixelsY(kDefaultHeight));
  connect(display, &CPlotDisplay::KeyDown, this, [this](int32_t code) {
    Guarded(kKey, [&] {
      if (App()) PutLng("keydown", code);
    });
  });
  connect(display, &CPlotDisplay::Dropped, this, [this](const QString& text) { Drop(text.toStdString()); });
  // A new size wants a frame of that size: the component renders for its display again when
  // it is told the display once more.
  connect(display, &CPlotDisplay::FrameWanted, this, [this] {
    Guarded(kResize, [&] {
      if (App() && !Loading()) PutLng("hwnd", static_cast<int32_t>(display->Wnd()));
    });
  });
}

int CPlotPanel::pixelsX(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixel(true))); }
int CPlotPanel::pixelsY(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixel(false))); }

QSize CPlotPanel::Limit() {
  QSize s(CPlotDisplay::kMaxSide, CPlotDisplay::kMaxSide);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) s = s.boundedTo(screen->geometry().size());
  return s.expandedTo(QSize(16, 16));
}

HRESULT CPlotPanel::GetStyle(GuiStyle* out) {
  if (!out) return E_POINTER;
  *out = GuiStyle{1, 0, 0, 1, 1, 1};
  return S_OK;
}

void CPlotPanel::Fill() {
  PutLng("hwnd", static_cast<int32_t>(display->Wnd()));
  // Pixels to twips; no size (or none that makes sense) gives the default one.
  double w = Flt("plot.width") * twipsPerPixel(true);
  double h = Flt("plot.height") * twipsPerPixel(false);
  if (!(w > 0) || !std::isfinite(w)) w = kDefaultWidth;
  if (!(h > 0) || !std::isfinite(h)) h = kDefaultHeight;
  // Never larger than the screen, whose size also bounds the image the component allocates.
  const QSize limit = Limit();
  const QSize px(std::clamp(pixelsX(w), 16, limit.width()), std::clamp(pixelsY(h), 16, limit.height()));
  resize(px);
  if (Host())
    Host()->Size(static_cast<float>(px.width() * twipsPerPixel(true)), static_cast<float>(px.height() * twipsPerPixel(false)));
}

void CPlotPanel::OnValue(const std::string& key) {
  if (key == "gui.move" || key == "gui.size") update();
}

void CPlotPanel::resizeEvent(QResizeEvent* e) {
  CPanel::resizeEvent(e);
  display->setGeometry(rect());
}

bool CPlotPanel::Drop(const std::string& text) {
  return Guarded(kDrop, [&] {
    if (!App()) return;
    if (const auto m = KvPlotDrop::ParseMeasurements(text)) {
      bool busy = false;
      App()->get_isBusy(&busy);
      if (busy) return warn("The network cannot be changed while an acquisition runs");
      return dropMeasurements(m->comp, m->positions);
    }
    dropSettings(text);
  });
}

void CPlotPanel::dropSettings(const std::string& text) {
  for (const KvPlotDrop::Assignment& a : KvPlotDrop::ParseSettings(text)) {
    const double v = Parse(a.value);
    // A scale must be a positive number and an offset a finite one: others would leave the
    // plot with nothing to draw.
    if (!std::isfinite(v) || (a.key == "main.hscale" && v <= 0)) continue;
    PutDbl(a.key, v);
  }
}

void CPlotPanel::dropMeasurements(const std::string& comp, const std::vector<int32_t>& positions) {
  std::string namesText;
  if (comp.empty() || App()->get_str(comp, "meas.names?", &namesText) != S_OK) return;
  const std::vector<std::string> names = split(namesText);
  // The free inputs, in the plot's order: those whose source query answers no source.
  std::vector<std::string> free;
  bool empty = true;
  for (const std::string& port : split(Str("iports"))) {
    const std::string query = Label() + "." + port;
    std::string answer;
    long r = -1;
    App()->Execute(query, &answer, &r);
    if (r < 0 || answer.empty() || sameText(answer, query))
      free.push_back(port);
    else
      empty = false;
  }
  bool linked = false;
  size_t next = 0;
  for (const int32_t p : positions) {
    if (p < 1 || static_cast<size_t>(p) > names.size()) continue;
    const std::string& name = names[static_cast<size_t>(p) - 1];
    if (next >= free.size()) {
      warn("No free plot input for " + name);
      continue;
    }
    std::string msg;
    long r = -1;
    App()->Execute("link " + Label() + "." + free[next] + "=" + comp + "." + name + ".out", &msg, &r);
    if (r < 0) {
      warn(msg);
      continue;
    }
    ++next;
    linked = true;
  }
  // Measurement values are shown against their index.
  if (empty && linked) PutLng("mode", 1);
}

void CPlotPanel::warn(const std::string& text) {
  if (Utils()) Utils()->AddLog(text, sevWarn);
}
