#include "ModPlot/Plot.h"

#include <strings.h>

#include <QGuiApplication>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <new>

#include "KvDll/WndMsg.h"
#include "KvLib/Setting.h"
#include "ModPlot/PlotFrame.h"

namespace {

using kvsetting::SetText;

// Posted to the component's own window: draw the idle changes gathered so far.
constexpr unsigned kMsgIdleFrame = 0x7F80;

// Waveform colours by input, r + 256 g + 65536 b.
constexpr int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }
constexpr int32_t kColours[CPlot::kMaxInputs] = {
    rgb(255, 255, 0),   rgb(0, 255, 255),   rgb(255, 0, 255),   rgb(0, 255, 0),   rgb(255, 64, 64),   rgb(100, 149, 237),
    rgb(255, 165, 0),   rgb(255, 255, 255), rgb(255, 128, 128), rgb(128, 255, 128), rgb(128, 128, 255), rgb(255, 255, 160),
    rgb(160, 255, 255), rgb(255, 160, 255), rgb(192, 192, 192), rgb(255, 200, 0)};

constexpr int32_t kMaxColour = 0xFFFFFF;
constexpr int32_t kMaxBins = 10000;

std::string lower(const char* s) {
  std::string n(s);
  for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return n;
}

// The input of "chK.<key>" (key set to the rest) or of the port "in.chK": 0-based, or -1.
int portOf(const std::string& n, int inputs, std::string& key, bool& isPort) {
  isPort = n.compare(0, 3, "in.") == 0;
  const size_t at = isPort ? 3 : 0;
  if (n.compare(at, 2, "ch") != 0) return -1;
  size_t i = at + 2, k = 0;
  while (i < n.size() && std::isdigit(static_cast<unsigned char>(n[i])) && k <= 100) k = k * 10 + (n[i++] - '0');
  if (i == at + 2 || n[at + 2] == '0' || k < 1 || k > static_cast<size_t>(inputs)) return -1;
  if (isPort) {
    if (i != n.size()) return -1;
    key.clear();
  } else {
    if (i >= n.size() || n[i] != '.') return -1;
    key = n.substr(i + 1);
  }
  return static_cast<int>(k) - 1;
}

// A number that must be finite, and for a scale above 0.
CMDERR real(GETPARCMD cmd, VPARAM& v, double& field, const char* label, const char* unit, bool positive, bool& redraw) {
  if (cmd == parWrite) {
    const double x = v.value.r8;
    if (!std::isfinite(x) || (positive && !(x > 0))) return cmdBadValue;
    redraw = true;
  }
  return kvsetting::Real(cmd, v, field, label, unit);
}

CMDERR whole(GETPARCMD cmd, VPARAM& v, int32_t& field, const char* label, int32_t lo, int32_t hi, bool& redraw) {
  const CMDERR r = kvsetting::Whole(cmd, v, field, label, lo, hi);
  if (cmd == parWrite && r == cmdDone) redraw = true;
  return r;
}

// A query: read-only, a number (or a text for lists).
CMDERR query(GETPARCMD cmd, VPARAM& v, const char* label, const char* unit, int32_t vt) {
  switch (cmd) {
    case parWrite: return cmdBadValue;
    case parDescribe: v.kind = kindSetting, v.vt = vt; return cmdDone;
    case parLabel: SetText(v, label); return cmdDone;
    case parUnit: SetText(v, unit); return cmdDone;
    case parRead: return cmdNotServed;  // the caller answers
    default: return cmdDone;
  }
}

bool haveGui() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Life
// ---------------------------------------------------------------------------------------

int CPlot::InputsOf(const char* variant) {
  if (!variant || !*variant) return kDefaultInputs;
  int n = 0;
  for (const char* c = variant; *c; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c)) || n > kMaxInputs) return 0;
    n = n * 10 + (*c - '0');
  }
  return n >= 1 && n <= kMaxInputs && variant[0] != '0' ? n : 0;
}

CPlot::CPlot(const KvCreateBlock& block, int inputs) : CLocalData(block), ports(static_cast<size_t>(inputs)) {
  for (size_t i = 0; i < ports.size(); ++i) ports[i].color = kColours[i % kMaxInputs];
  plotGui.init("plot", "", "KvPlot.Plot");
  setupGui.init("setup", "", "KvPlot.Setup");
  self = CreateWindow(&CPlot::selfProc, this);
}

CPlot::~CPlot() {
  StopTrigger();
  SetWindowUser(self, nullptr);
  DestroyWindow(self);  // drops an idle frame still queued
}

long CPlot::selfProc(KvWnd w, unsigned msg, intptr_t, intptr_t) {
  auto* me = static_cast<CPlot*>(GetWindowUser(w));
  if (!me || msg != kMsgIdleFrame) return 0;
  {
    std::lock_guard lk(me->lock);
    me->idlePosted = false;
    if (me->inPass) return 0;  // the pass's own frame shows the change
  }
  me->RenderAndSend();
  return 0;
}

void CPlot::requestIdleFrame() {
  {
    std::lock_guard lk(lock);
    if (inPass || idlePosted) return;
    idlePosted = true;
  }
  PostMessage(self, kMsgIdleFrame, 0, 0);
}

void CPlot::notify(const std::vector<std::string>& names, bool src) {
  if (!pgd || !pgd->notify) return;
  for (const std::string& n : names) pgd->notify(name.GetBfr(), n.c_str());
  if (src) pgd->notify(name.GetBfr(), "src");
}

// ---------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------

std::string CPlot::settingsList() const {
  std::string s =
      "main.hscale,main.hoffset,main.hscale.auto,main.hoffset.auto,cursortype,mode,histo.bins,cursor.x1,cursor.x2,"
      "cursor.y1,cursor.y2";
  for (size_t i = 1; i <= ports.size(); ++i) {
    const std::string p = ",ch" + std::to_string(i) + ".";
    for (const char* k : {"vscale", "voffset", "vposition", "vscale.auto", "voffset.auto", "color", "visible"}) s += p + k;
  }
  return s;
}

std::string CPlot::symbol() const {
  const int n = Inputs();
  std::string s = "box,100,0,500," + std::to_string(std::max(400, 100 * (n + 2))) + ";text,100,10,500,100,Plot,center,center;";
  for (int k = 1; k <= n; ++k) {
    const std::string y = std::to_string(100 + 100 * k);
    s += "ipin,0," + y + ",100,," + std::to_string(k) + ",in.ch" + std::to_string(k) + ";text,120," +
         std::to_string(60 + 100 * k) + ",300,80,CH" + std::to_string(k) + ",left,center;";
  }
  return s;
}

CMDERR CPlot::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  if (!name) return cmdNotServed;
  const std::string n = lower(name);
  std::vector<std::string> notes;
  bool redraw = false, src = false;
  CMDERR r;
  {
    std::lock_guard lk(lock);
    r = settingsLocked(cmd, n, v, notes, redraw, src);
  }
  notify(notes, src);
  if (redraw && r == cmdDone) requestIdleFrame();
  return r;
}

CMDERR CPlot::Fun(const char* name, VPARAMS& a) {
  std::lock_guard lk(lock);
  if (plotGui.isHandle(name)) return plotGui.Fun(name, a);
  if (setupGui.isHandle(name)) return setupGui.Fun(name, a);
  return cmdNotServed;
}

CMDERR CPlot::FunInfo(const char* name, VPARAMS& a) {
  std::lock_guard lk(lock);
  if (plotGui.isHandle(name)) return plotGui.FunInfo(name, a);
  if (setupGui.isHandle(name)) return setupGui.FunInfo(name, a);
  return cmdNotServed;
}

CMDERR CPlot::settingsLocked(GETPARCMD cmd, const std::string& n, VPARAM& v, std::vector<std::string>& notes,
                             bool& redraw, bool& src) {
  if (n == "gui.names") return kvsetting::ReadOnlyText(cmd, v, "plot,setup");
  if (plotGui.isHandle(n.c_str())) return plotGui.Settings(cmd, n.c_str(), v);
  if (setupGui.isHandle(n.c_str())) return setupGui.Settings(cmd, n.c_str(), v);
  if (n == "hwnd") {
    // A new window (or the same one again, after a resize) wants a frame.
    const CMDERR r = kvsetting::Whole(cmd, v, hwnd, "Display Window");
    redraw = cmd == parWrite && r == cmdDone;
    return r;
  }
  if (n == "keydown") {
    const CMDERR r = kvsetting::Whole(cmd, v, keydown, "Key Down", 0, INT32_MAX);
    if (cmd == parWrite && r == cmdDone) {
      key(keydown, notes);
      redraw = true;
    }
    return r;
  }
  if (n == "main.hscale") return real(cmd, v, hscale, "Horizontal Scale", "s", true, redraw);
  if (n == "main.hoffset") return real(cmd, v, hoffset, "Horizontal Offset", "s", false, redraw);
  if (n == "main.hscale.auto" || n == "main.hoffset.auto") {
    int32_t& f = n == "main.hscale.auto" ? hscaleAuto : hoffsetAuto;
    const CMDERR r = whole(cmd, v, f, n == "main.hscale.auto" ? "Auto Horizontal Scale" : "Auto Horizontal Offset", 0, 1, redraw);
    if (cmd == parWrite && r == cmdDone && f && !inPass) applyAutos(notes);
    return r;
  }
  if (n == "cursortype") return whole(cmd, v, cursortype, "Cursor Type", 0, 7, redraw);
  if (n == "mode") return whole(cmd, v, mode, "Mode", 0, 2, redraw);
  if (n == "histo.bins") return whole(cmd, v, bins, "Histogram Bins", 1, kMaxBins, redraw);
  if (n == "cursor.x1" || n == "cursor.x2")
    return real(cmd, v, cursorX[n.back() - '1'], n == "cursor.x1" ? "Cursor X1" : "Cursor X2", "s", false, redraw);
  if (n == "cursor.y1" || n == "cursor.y2")
    return real(cmd, v, cursorY[n.back() - '1'], n == "cursor.y1" ? "Cursor Y1" : "Cursor Y2", "V", false, redraw);
  if (n == "cursor.dx?") {
    if (const CMDERR r = query(cmd, v, "Cursor Delta X", "s", vtR8); r != cmdNotServed) return r;
    v.vt = vtR8, v.value.r8 = cursorX[1] - cursorX[0];
    return cmdDone;
  }
  if (n == "cursor.dy?") {
    if (const CMDERR r = query(cmd, v, "Cursor Delta Y", "V", vtR8); r != cmdNotServed) return r;
    v.vt = vtR8, v.value.r8 = cursorDy();
    return cmdDone;
  }
  if (n == "settings") return kvsetting::ReadOnlyText(cmd, v, settingsList());
  if (n == "iports") {
    std::string s;
    for (size_t i = 1; i <= ports.size(); ++i) s += (i > 1 ? ",in.ch" : "in.ch") + std::to_string(i);
    return kvsetting::ReadOnlyText(cmd, v, s);
  }
  if (n == "oports" || n == "functions") return kvsetting::ReadOnlyText(cmd, v, "");
  if (n == "version") return kvsetting::ReadOnlyText(cmd, v, "1.0.0");
  if (n == "symbol") return kvsetting::ReadOnlyText(cmd, v, symbol());
  std::string key;
  bool isPort = false;
  const int index = portOf(n, Inputs(), key, isPort);
  if (index < 0) return cmdNotServed;
  Port& p = ports[static_cast<size_t>(index)];
  if (isPort) {
    switch (cmd) {
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
      case parRead: v.value.p = &p.slot; return cmdDone;
      case parWrite:
        // The copy belongs to the source it came from: a new or no source starts empty.
        p.slot = static_cast<CBfr*>(v.value.p);
        p.rec = PlotRecord{};
        p.haveTag = false;
        p.rangeKnown = false;
        p.warnedType = 0;
        redraw = src = true;
        return cmdDone;
      case parLabel: SetText(v, "CH" + std::to_string(index + 1)); return cmdDone;
      case parUnit: SetText(v, "V"); return cmdDone;
      default: return cmdDone;
    }
  }
  return portSetting(cmd, p, index, key, v, notes, redraw, src);
}

CMDERR CPlot::portSetting(GETPARCMD cmd, Port& p, int index, const std::string& key, VPARAM& v,
                          std::vector<std::string>& notes, bool& redraw, bool&) {
  if (key == "select") {
    // Any input's key selects: the value is the index of the waveform made active.
    const CMDERR r = kvsetting::Whole(cmd, v, active, "Select", 0, Inputs() - 1);
    redraw = cmd == parWrite && r == cmdDone;
    return r;
  }
  if (key == "vscale") return real(cmd, v, p.vscale, "Vertical Scale", "V", true, redraw);
  if (key == "voffset") return real(cmd, v, p.voffset, "Vertical Offset", "V", false, redraw);
  if (key == "vposition") return real(cmd, v, p.vposition, "Vertical Position", "Div", false, redraw);
  if (key == "vscale.auto" || key == "voffset.auto") {
    int32_t& f = key == "vscale.auto" ? p.vscaleAuto : p.voffsetAuto;
    const CMDERR r = whole(cmd, v, f, key == "vscale.auto" ? "Auto Vertical Scale" : "Auto Vertical Offset", 0, 1, redraw);
    if (cmd == parWrite && r == cmdDone && f && !inPass) applyAutos(notes);
    return r;
  }
  if (key == "color") return whole(cmd, v, p.color, "Color", 0, kMaxColour, redraw);
  if (key == "visible") return whole(cmd, v, p.visible, "Visible", 0, 1, redraw);
  const bool stat = key == "count?" || key == "mean?" || key == "stddev?" || key == "min?" || key == "max?";
  if (stat) {
    static const struct {
      const char* key;
      const char* label;
    } labels[] = {{"count?", "Sample Count"}, {"mean?", "Mean"}, {"stddev?", "Standard Deviation"},
                  {"min?", "Minimum"},        {"max?", "Maximum"}};
    const char* label = "";
    for (const auto& l : labels)
      if (key == l.key) label = l.label;
    if (const CMDERR r = query(cmd, v, label, key == "count?" ? "" : "V", key == "count?" ? vtI4 : vtR8); r != cmdNotServed)
      return r;
    if (key == "count?") {
      v.vt = vtI4, v.value.i4 = static_cast<int32_t>(std::min<size_t>(rangeOf(p).count, INT32_MAX));
      return cmdDone;
    }
    // Without a value there is no statistic: NaN rather than a number that looks like one.
    const PlotStats s = key == "min?" || key == "max?" ? rangeOf(p) : PlotComputeStats(p.rec);
    const double x = key == "mean?" ? s.mean : key == "stddev?" ? s.stddev : key == "min?" ? s.min : s.max;
    v.vt = vtR8, v.value.r8 = s.count ? x : NAN;
    return cmdDone;
  }
  if (key == "histo?") {
    if (const CMDERR r = query(cmd, v, "Histogram", "", vtStr); r != cmdNotServed) return r;
    std::string s;
    for (const int64_t c : PlotHistogram(p.rec, bins)) s += (s.empty() ? "" : ",") + std::to_string(c);
    SetText(v, s);
    return cmdDone;
  }
  (void)index;
  return cmdNotServed;
}

// ---------------------------------------------------------------------------------------
// Inputs, autos, cursors
// ---------------------------------------------------------------------------------------

void CPlot::ActMsg(const char* msg) {
  if (!msg) return;
  if (std::strcmp(msg, "#acq.start") == 0) {
    std::lock_guard lk(lock);
    inPass = true;
    return;
  }
  if (std::strcmp(msg, "#acq.abort") == 0) {
    std::lock_guard lk(lock);
    inPass = false;
    return;
  }
  if (std::strcmp(msg, "#acq.end") == 0) {
    std::vector<std::string> notes;
    {
      std::lock_guard lk(lock);
      inPass = false;
      applyAutos(notes);
    }
    notify(notes, false);
    RenderAndSend();
    return;
  }
  std::string key;
  bool isPort = false;
  const int index = portOf(lower(msg), Inputs(), key, isPort);
  if (index >= 0 && isPort) takeInput(index);
}

void CPlot::takeInput(int index) {
  Port& p = ports[static_cast<size_t>(index)];
  std::string warning;
  bool noMemory = false;
  {
    std::lock_guard lk(lock);
    if (const CBfr* b = p.slot; b && (!p.haveTag || b->tag != p.tag)) {
      p.haveTag = true;
      p.tag = b->tag;
      p.rangeKnown = false;
      try {
        if (PlotCopyRecord(*b, p.rec)) {
          p.warnedType = 0;
        } else if (p.warnedType != b->type) {
          p.warnedType = b->type;  // once per type, not every pass
          warning = "Input in.ch" + std::to_string(index + 1) + ": buffer type " + std::to_string(b->type) + " not supported";
        }
      } catch (const std::bad_alloc&) {
        p.rec = PlotRecord{};
        p.haveTag = false;
        noMemory = true;
      }
    }
  }
  if (!warning.empty()) logWarn(warning.c_str());
  if (noMemory) logErr("Insufficient memory");
  // Done with the producer's data: from here on only the copy is read.
  if (pgd && pgd->release) pgd->release(&p.slot);
}

const PlotStats& CPlot::rangeOf(Port& p) {
  if (!p.rangeKnown) {
    p.range = PlotComputeRange(p.rec);
    p.rangeKnown = true;
  }
  return p.range;
}

void CPlot::applyAutos(std::vector<std::string>& notes) {
  auto set = [&](double& field, double value, std::string note) {
    if (!std::isfinite(value) || field == value) return;
    field = value;
    notes.push_back(std::move(note));
  };
  if (hscaleAuto || hoffsetAuto) {
    for (const Port& p : ports) {
      double first, last;
      if (!p.visible || !p.rec.TimeSpan(first, last)) continue;
      if (hscaleAuto && last > first) set(hscale, (last - first) / 10, "main.hscale");
      if (hoffsetAuto) set(hoffset, p.rec.type == bfrXY || p.rec.type == bfrIntervals ? first : 0.0, "main.hoffset");
      break;
    }
  }
  for (size_t i = 0; i < ports.size(); ++i) {
    Port& p = ports[i];
    if (!(p.vscaleAuto || p.voffsetAuto) || p.rec.Empty()) continue;
    const PlotStats& r = rangeOf(p);
    if (!r.count) continue;
    const std::string pre = "ch" + std::to_string(i + 1) + ".";
    const double spread = r.max / 8 - r.min / 8;  // halves first: no overflow near the largest doubles
    if (p.vscaleAuto && std::isfinite(spread)) set(p.vscale, spread > 0 ? PlotCeil125(spread) : 1.0, pre + "vscale");
    if (p.voffsetAuto) set(p.voffset, r.max / 2 + r.min / 2, pre + "voffset");
  }
}

void CPlot::key(int32_t code, std::vector<std::string>& notes) {
  const int k = code & 0xFFFF;
  const bool shift = ((code >> 16) & 1) != 0;
  if (k == 9) {
    cursorSel ^= 1;
    return;
  }
  const Port* a = active >= 0 && active < Inputs() ? &ports[static_cast<size_t>(active)] : nullptr;
  if ((k == 37 || k == 39) && (cursortype & (1 | 4))) {
    const double step = (shift ? 1.0 : 1.0 / 50) * hscale * (k == 39 ? 1 : -1);
    const double x = cursorX[cursorSel] + step;
    if (std::isfinite(x) && x != cursorX[cursorSel]) {
      cursorX[cursorSel] = x;
      notes.push_back(cursorSel ? "cursor.x2" : "cursor.x1");
    }
  } else if ((k == 38 || k == 40) && (cursortype & 2) && a) {
    const double step = (shift ? 1.0 : 1.0 / 50) * a->vscale * (k == 38 ? 1 : -1);
    const double y = cursorY[cursorSel] + step;
    if (std::isfinite(y) && y != cursorY[cursorSel]) {
      cursorY[cursorSel] = y;
      notes.push_back(cursorSel ? "cursor.y2" : "cursor.y1");
    }
  }
}

double CPlot::pairValue(double x) const {
  if (active < 0 || active >= Inputs()) return NAN;
  const PlotRecord& r = ports[static_cast<size_t>(active)].rec;
  if (r.Empty() || !std::isfinite(x)) return NAN;
  if (r.type == bfrXY || r.type == bfrIntervals) {
    // The value in force at x: the last point (or interval) that starts at or before it.
    const double k = r.type == bfrIntervals ? r.interval : 1.0;
    const auto it = std::upper_bound(r.x.begin(), r.x.begin() + static_cast<long>(r.count), x / k);
    if (it == r.x.begin()) return NAN;
    const size_t i = static_cast<size_t>(it - r.x.begin()) - 1;
    if (r.type == bfrXY && i + 1 < r.count && r.x[i + 1] > r.x[i]) {
      const double f = (x - r.x[i]) / (r.x[i + 1] - r.x[i]);
      return r.Value(i) + f * (r.Value(i + 1) - r.Value(i));
    }
    return r.Value(i);
  }
  if (!(r.interval > 0)) return NAN;
  const double at = x / r.interval;
  if (!(at >= 0) || at > static_cast<double>(r.count - 1)) return NAN;
  const size_t i = static_cast<size_t>(at);
  if (i + 1 >= r.count) return r.Value(i);
  return r.Value(i) + (at - static_cast<double>(i)) * (r.Value(i + 1) - r.Value(i));
}

double CPlot::cursorDy() const {
  if (cursortype & 4) return pairValue(cursorX[1]) - pairValue(cursorX[0]);
  return cursorY[1] - cursorY[0];
}

int64_t CPlot::FrameSerial() const {
  std::lock_guard lk(lock);
  return serial;
}

// ---------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------

bool CPlot::Render(QImage& image, int width, int height) {
  std::lock_guard lk(lock);
  return renderLocked(image, width, height);
}

bool CPlot::renderLocked(QImage& image, int width, int height) {
  if (!haveGui() || width <= 0 || height <= 0) return false;
  width = std::min(width, kMaxSide);
  height = std::min(height, kMaxSide);
  // A frame the display still holds is left to it: a fresh image, not a copy of the old one.
  if (image.width() != width || image.height() != height || !image.isDetached())
    image = QImage(width, height, QImage::Format_RGB32);
  if (image.isNull()) return false;  // the allocation failed: nothing is drawn
  drawLocked(image);
  return true;
}

bool CPlot::RenderAndSend() {
  int32_t target;
  {
    std::lock_guard lk(lock);
    target = hwnd;
  }
  // Only a plot display gets a frame: not 0, not a stale id, not some other window.
  if (!target || !haveGui()) return false;
  const KvWnd w = static_cast<KvWnd>(target);
  if (SendMessage(w, KV_PLOT_WM_IDENTIFY, 0, 0) != static_cast<long>(KV_PLOT_DISPLAY_MAGIC)) return false;
  KvRect r;
  if (SendMessage(w, KV_WM_GETCLIENTRECT, reinterpret_cast<intptr_t>(&r), 0) != 1) return false;
  QImage copy;
  int64_t s;
  {
    std::lock_guard lk(lock);
    if (!renderLocked(frame, r.width, r.height)) return false;
    s = ++serial;
    copy = frame;  // shallow: the display keeps its own reference
  }
  return SendMessage(w, KV_PLOT_WM_FRAME, static_cast<intptr_t>(s), reinterpret_cast<intptr_t>(&copy)) == 1;
}
