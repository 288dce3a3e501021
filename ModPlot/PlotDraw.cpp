// Drawing one frame of the plot component from its store: the 10 x 8 division graticule, the
// waveforms (time, trend) or the active waveform's histogram, the cursors and their readings.
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ModPlot/Plot.h"

namespace {

constexpr double kDivX = 10, kDivY = 8;
// Pixel co-ordinates are kept well inside what the painter's integer paths take.
constexpr double kFar = 1e6;

double clampPx(double p) { return std::clamp(p, -kFar, kFar); }

QString text(const std::string& s) { return QString::fromUtf8(s.c_str(), static_cast<int>(s.size())); }

std::string num(double v) {
  CStr s;
  return s.Num2Str(v, 6).GetBfr();
}

QColor colourOf(int32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

void graticule(QPainter& p, int w, int h) {
  QPen grid(QColor(70, 70, 70));
  grid.setStyle(Qt::DotLine);
  p.setPen(grid);
  for (int i = 1; i < kDivX; ++i) {
    const double x = i * w / kDivX;
    p.drawLine(QLineF(x, 0, x, h));
  }
  for (int j = 1; j < kDivY; ++j) {
    const double y = j * h / kDivY;
    p.drawLine(QLineF(0, y, w, y));
  }
  p.setPen(QColor(110, 110, 110));
  p.drawRect(QRectF(0, 0, w - 1, h - 1));
}

// The value-to-pixel map of one waveform.
struct YMap {
  double h, vposition, voffset, vscale;
  double operator()(double v) const { return clampPx(h / 2 - (vposition + (v - voffset) / vscale) * h / kDivY); }
};

// Columns of extremes as vertical strokes, each joined to the one before so a steep edge
// stays one line; a column without a value breaks the line.
void strokeColumns(QPainter& p, const std::vector<double>& lo, const std::vector<double>& hi, const YMap& y,
                   const QColor& colour) {
  double plo = NAN, phi = NAN;
  for (size_t c = 0; c < lo.size(); ++c) {
    if (std::isnan(lo[c])) {
      plo = phi = NAN;
      continue;
    }
    double a = lo[c], b = hi[c];
    if (!std::isnan(plo)) a = std::min(a, phi), b = std::max(b, plo);
    // A one-pixel rectangle: a pen's line may land half a pixel off, in the next column.
    const long top = std::lround(y(b)), bottom = std::lround(y(a));
    p.fillRect(QRect(static_cast<int>(c), static_cast<int>(top), 1, static_cast<int>(bottom - top + 1)), colour);
    plo = lo[c], phi = hi[c];
  }
}

void polyline(QPainter& p, const std::vector<QPointF>& pts) {
  if (pts.size() == 1) p.drawPoint(pts[0]);
  if (pts.size() >= 2) p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
}

}  // namespace

void CPlot::drawLocked(QImage& image) {
  const int w = image.width(), h = image.height();
  image.fill(Qt::black);
  QPainter p(&image);
  graticule(p, w, h);
  QFont f = p.font();
  f.setPixelSize(std::clamp(h / 40, 9, 14));
  p.setFont(f);
  const double lineH = f.pixelSize() + 4;

  if (mode == 2) {
    // The active waveform's histogram: bins over [min, max] across the screen.
    const Port* a = active >= 0 && active < Inputs() ? &ports[static_cast<size_t>(active)] : nullptr;
    const std::vector<int64_t> hist = a ? PlotHistogram(a->rec, bins) : std::vector<int64_t>{};
    p.setPen(Qt::white);
    if (hist.empty()) {
      p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, "No data");
      return;
    }
    const PlotStats s = PlotComputeStats(a->rec);
    const int64_t top = *std::max_element(hist.begin(), hist.end());
    const QColor c = colourOf(a->color);
    const double bw = static_cast<double>(w) / static_cast<double>(hist.size());
    for (size_t k = 0; k < hist.size(); ++k) {
      const double bh = static_cast<double>(hist[k]) / static_cast<double>(top) * h * 0.9;
      p.fillRect(QRectF(k * bw, h - bh, std::max(bw - (bw > 3 ? 1 : 0), 1.0), bh), c);
    }
    const double span = s.max - s.min;
    auto xOf = [&](double v) { return span > 0 ? clampPx((v - s.min) / span * w) : w / 2.0; };
    QPen mean(Qt::white);
    QPen dev(Qt::white);
    dev.setStyle(Qt::DashLine);
    p.setPen(mean);
    p.drawLine(QLineF(xOf(s.mean), 0, xOf(s.mean), h));
    p.drawText(QPointF(xOf(s.mean) + 3, lineH), "mean");
    p.setPen(dev);
    for (const double v : {s.mean - s.stddev, s.mean + s.stddev}) {
      p.drawLine(QLineF(xOf(v), 0, xOf(v), h));
      p.drawText(QPointF(xOf(v) + 3, 2 * lineH), "std-dev");
    }
    // The figures sit on a dark plate: over the bars they would be lost in the waveform's colour.
    const QString figures[] = {text("mean " + num(s.mean) + "V"), text("std-dev " + num(s.stddev) + "V"),
                               text("count " + std::to_string(s.count))};
    int widest = 0;
    for (const QString& f : figures) widest = std::max(widest, p.fontMetrics().horizontalAdvance(f));
    p.fillRect(QRectF(2, h - 3 * lineH - 2, widest + 8, 3 * lineH), QColor(0, 0, 0, 190));
    p.setPen(Qt::white);
    for (int k = 0; k < 3; ++k) p.drawText(QPointF(6, h - (3 - k) * lineH + 10), figures[k]);
    return;
  }

  // Waveforms: time (mode 0) or values against their index (mode 1).
  std::vector<double> lo, hi;
  std::vector<QPointF> pts;
  const double xPerSecond = w / (kDivX * hscale);
  for (size_t i = 0; i < ports.size(); ++i) {
    const Port& port = ports[i];
    const PlotRecord& r = port.rec;
    if (!port.visible || r.Empty()) continue;
    const YMap y{static_cast<double>(h), port.vposition, port.voffset, port.vscale};
    p.setPen(colourOf(port.color));
    const bool byIndex = mode == 1 || (r.type != bfrXY && r.type != bfrIntervals);
    if (byIndex) {
      const double n = static_cast<double>(r.count);
      const double a = mode == 1 ? w / n : r.interval * xPerSecond;
      const double b = mode == 1 ? 0.0 : -hoffset * xPerSecond;
      if (!(a > 0) || !std::isfinite(a) || !std::isfinite(b)) continue;
      if (a >= 0.5) {
        // Fewer samples than two a column: the samples themselves, joined.
        pts.clear();
        const double i0 = std::max(0.0, std::floor((-1 - b) / a)), i1 = std::min(n - 1, std::ceil((w + 1 - b) / a));
        for (double k = i0; k <= i1; ++k) {
          const double v = r.Value(static_cast<size_t>(k));
          if (!std::isfinite(v)) {
            polyline(p, pts);
            pts.clear();
            continue;
          }
          pts.emplace_back(clampPx(a * k + b + (mode == 1 ? a / 2 : 0)), y(v));
        }
        polyline(p, pts);
      } else {
        PlotColumnsByIndex(r, a, b, w, lo, hi);
        strokeColumns(p, lo, hi, y, colourOf(port.color));
      }
      continue;
    }
    // Points at their x (75), intervals from start to end (76).
    const double k = r.type == bfrIntervals ? r.interval * xPerSecond : xPerSecond;
    const double b = -hoffset * xPerSecond;
    if (r.count > static_cast<size_t>(2 * w)) {
      PlotColumnsByPosition(r, r.x, k, b, w, lo, hi);
      strokeColumns(p, lo, hi, y, colourOf(port.color));
      continue;
    }
    pts.clear();
    for (size_t j = 0; j < r.count; ++j) {
      const double v = r.Value(j);
      if (!std::isfinite(v)) {
        polyline(p, pts);
        pts.clear();
        continue;
      }
      pts.emplace_back(clampPx(k * r.x[j] + b), y(v));
      if (r.type == bfrIntervals) pts.emplace_back(clampPx(k * r.x2[j] + b), y(v));
    }
    polyline(p, pts);
  }

  // Cursors and their readings, top left.
  std::vector<std::string> lines;
  const Port* a = active >= 0 && active < Inputs() ? &ports[static_cast<size_t>(active)] : nullptr;
  QPen cur(QColor(255, 255, 255));
  cur.setStyle(Qt::DashLine);
  QPen sel(QColor(255, 80, 80));
  sel.setStyle(Qt::DashLine);
  if (mode == 0 && (cursortype & 1)) {
    for (int k = 0; k < 2; ++k) {
      p.setPen(k == cursorSel ? sel : cur);
      const double x = clampPx((cursorX[k] - hoffset) * xPerSecond);
      p.drawLine(QLineF(x, 0, x, h));
    }
    const double d = cursorX[1] - cursorX[0];
    lines.push_back("\xCE\x94: " + num(d) + "s");
    lines.push_back("1/\xCE\x94: " + (d != 0 ? num(1 / d) + "Hz" : std::string("-")));
  }
  if ((cursortype & 2) && a) {
    const YMap y{static_cast<double>(h), a->vposition, a->voffset, a->vscale};
    for (int k = 0; k < 2; ++k) {
      p.setPen(k == cursorSel ? sel : cur);
      p.drawLine(QLineF(0, y(cursorY[k]), w, y(cursorY[k])));
    }
    lines.push_back("\xCE\x94: " + num(cursorY[1] - cursorY[0]) + "V");
  }
  if (mode == 0 && (cursortype & 4) && a) {
    const YMap y{static_cast<double>(h), a->vposition, a->voffset, a->vscale};
    for (int k = 0; k < 2; ++k) {
      const double v = pairValue(cursorX[k]);
      if (!std::isfinite(v)) continue;
      p.setPen(k == cursorSel ? QColor(255, 80, 80) : QColor(255, 255, 255));
      const QPointF at(clampPx((cursorX[k] - hoffset) * xPerSecond), y(v));
      p.drawEllipse(at, 4, 4);
      p.drawLine(QLineF(at.x() - 7, at.y(), at.x() + 7, at.y()));
      p.drawLine(QLineF(at.x(), at.y() - 7, at.x(), at.y() + 7));
    }
    lines.push_back("\xCE\x94x: " + num(cursorX[1] - cursorX[0]) + "s");
    const double dy = cursorDy();
    lines.push_back("\xCE\x94y: " + (std::isfinite(dy) ? num(dy) + "V" : std::string("-")));
  }
  p.setPen(Qt::white);
  for (size_t k = 0; k < lines.size(); ++k) p.drawText(QPointF(6, (k + 1) * lineH), text(lines[k]));

  // Scales, bottom: each shown waveform's, then the horizontal one.
  double x = 6;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (!ports[i].visible || ports[i].rec.Empty()) continue;
    p.setPen(colourOf(ports[i].color));
    const QString s = text("CH" + std::to_string(i + 1) + " " + num(ports[i].vscale) + "V/div");
    p.drawText(QPointF(x, h - 6), s);
    x += p.fontMetrics().horizontalAdvance(s) + 12;
  }
  if (mode == 0) {
    p.setPen(Qt::white);
    const QString s = text(num(hscale) + "s/div");
    p.drawText(QPointF(w - 6 - p.fontMetrics().horizontalAdvance(s), h - 6), s);
  }
}
