#include "KvSch/ctl/SchView.h"

#include <QAction>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "KvSch/SchEdit.h"
#include "KvSch/ctl/SchDialog.h"
#include "KvSch/ctl/SchPort.h"
#include "KvSch/ctl/SchUndo.h"
#include "desktop/Guard.h"

namespace {
// Fixed locations of the view's handlers in the error report.
constexpr long kLocPaint = 430101, kLocPress = 430102, kLocMove = 430103, kLocRelease = 430104, kLocDouble = 430105,
               kLocKey = 430106, kLocWheel = 430107, kLocCommand = 430108;

const uint32_t kGrid = SchRgb(119, 119, 119);
const uint32_t kPage = SchRgb(192, 192, 0);
const uint32_t kZoomBand = SchRgb(0, 255, 255);

QColor toColor(uint32_t c) { return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }

SchRect normalized(SchPoint a, SchPoint b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// Draws the objects' logical coordinates on a QPainter in viewport pixels, with one-pixel
// pens; whatever lies wholly outside the area being painted is skipped.
class CPainterDevice final : public ISchDevice {
 public:
  CPainterDevice(QPainter& p, double k, QPoint scroll, const QRect& area) : p_(p), k_(k), scroll_(scroll), area_(area) {
    // Texts are drawn on white; solid pens and fills do not use the background.
    p_.setBackgroundMode(Qt::OpaqueMode);
    p_.setBackground(Qt::white);
    p_.setBrush(Qt::NoBrush);
  }

  int X(int32_t x) const { return static_cast<int>(std::floor(x * k_ + 0.5)) - scroll_.x(); }
  int Y(int32_t y) const { return static_cast<int>(std::floor(y * k_ + 0.5)) - scroll_.y(); }
  QRect Box(const SchRect& r) const {
    const SchRect n = r.Normalized();
    return QRect(QPoint(X(n.l), Y(n.t)), QPoint(X(n.r), Y(n.b)));
  }

  void Line(SchPoint a, SchPoint b, uint32_t colour) override {
    const QPoint pa(X(a.x), Y(a.y)), pb(X(b.x), Y(b.y));
    if (!visible(QRect(pa, pb).normalized())) return;
    pen(colour);
    p_.drawLine(pa, pb);
  }
  void Frame(const SchRect& r, uint32_t colour) override {
    const QRect b = Box(r);
    if (!visible(b)) return;
    pen(colour);
    p_.drawRect(b.left(), b.top(), b.width() - 1, b.height() - 1);
  }
  void Fill(const SchRect& r, uint32_t colour) override {
    const QRect b = Box(r);
    if (!visible(b)) return;
    p_.fillRect(b, toColor(colour));
  }
  void Text(const SchRect& r, const char* text, int32_t align, uint32_t colour) override {
    const QRect b = Box(r);
    const int h = b.height() - 1;
    // Text too small to read is not drawn; a long caption may reach past its rectangle.
    if (h < 2 || !text || !*text || !visible(b.adjusted(-b.width() - h, 0, b.width() + h, 0))) return;
    int flags = Qt::TextSingleLine | Qt::TextDontClip;
    flags |= (align & saRight) ? Qt::AlignRight : (align & saCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    flags |= (align & saBottom) ? Qt::AlignBottom : (align & saVCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    if (h != fontPixels_) {
      p_.setFont(font(h));
      fontPixels_ = h;
    }
    pen(colour);
    p_.drawText(b, flags, QString::fromUtf8(text));
  }

 private:
  QPainter& p_;
  double k_;
  QPoint scroll_;
  QRect area_;
  uint32_t pen_ = 0xffffffffu;
  bool penSet_ = false;
  int fontPixels_ = 0;
  std::unordered_map<int, QFont> fonts_;

  bool visible(const QRect& r) const { return r.adjusted(-1, -1, 1, 1).intersects(area_); }
  void pen(uint32_t colour) {
    if (penSet_ && colour == pen_) return;
    QPen p(toColor(colour));
    p.setWidth(0);
    p.setCosmetic(true);
    p_.setPen(p);
    pen_ = colour;
    penSet_ = true;
  }
  const QFont& font(int pixels) {
    auto it = fonts_.find(pixels);
    if (it == fonts_.end()) {
      QFont f("Arial");
      f.setPixelSize(pixels);
      it = fonts_.emplace(pixels, f).first;
    }
    return it->second;
  }
};
}  // namespace

CSchView::CSchView(CSchEdit& edit, CSchAppPort* port, CSchUndo* undo, QWidget* parent)
    : QAbstractScrollArea(parent), edit_(edit), port_(port), undo_(undo) {
  setObjectName("SchView");
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);  // the wire being drawn follows the mouse
  viewport()->setAutoFillBackground(true);
  QPalette pal = viewport()->palette();
  pal.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(pal);
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(20);

  // The zoom commands are the view's own: keys, and the view's context menu.
  struct Cmd {
    const char* text;
    QKeySequence key;
    void (CSchView::*fn)();
  };
  const Cmd cmds[] = {{"Zoom In", QKeySequence(Qt::Key_Plus), &CSchView::ZoomIn},
                      {"Zoom Out", QKeySequence(Qt::Key_Minus), &CSchView::ZoomOut}};
  for (const Cmd& c : cmds) {
    auto* a = new QAction(c.text, this);
    a->setShortcut(c.key);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(a, &QAction::triggered, this,
            [this, fn = c.fn] { KvGuarded(utils(), kLocCommand, [&] { (this->*fn)(); }); });
    addAction(a);
  }
  auto* zw = new QAction("Zoom Window", this);
  zw->setShortcut(QKeySequence(Qt::Key_Z));
  zw->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(zw, &QAction::triggered, this, [this] { KvGuarded(utils(), kLocCommand, [&] { SetTool(tlZoomWindow); }); });
  addAction(zw);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  Doc().SetView(this);
  updateScrollBars();
}

CSchView::~CSchView() {
  if (Doc().View() == this) Doc().SetView(nullptr);
}

CSchDoc& CSchView::Doc() const { return edit_.Doc(); }
IUtils* CSchView::utils() const { return port_ ? port_->Utils() : nullptr; }

void CSchView::begin() {
  if (undo_) undo_->Begin();
}
void CSchView::end(const QString& text) {
  if (undo_ && undo_->Open()) undo_->End(text);
}

// ---------------------------------------------------------------------------------------
// Mapping and zoom
// ---------------------------------------------------------------------------------------

SchPoint CSchView::ToLogical(QPoint pos) const {
  const double x = (pos.x() + horizontalScrollBar()->value()) * kWindow / zoom_;
  const double y = (pos.y() + verticalScrollBar()->value()) * kWindow / zoom_;
  return {SchToInt(std::trunc(x)), SchToInt(std::trunc(y))};
}

QPoint CSchView::ToDevice(SchPoint p) const {
  const double k = zoom_ / kWindow;
  return QPoint(static_cast<int>(std::floor(p.x * k + 0.5)) - horizontalScrollBar()->value(),
                static_cast<int>(std::floor(p.y * k + 0.5)) - verticalScrollBar()->value());
}

SchPoint CSchView::ClientLogical() const {
  const QSize s = viewport()->size();
  return {SchToInt(s.width() * kWindow / zoom_), SchToInt(s.height() * kWindow / zoom_)};
}

QSize CSchView::ScrollArea() const {
  return QSize(static_cast<int>(std::lround(kDocWidth * Scale())), static_cast<int>(std::lround(kDocHeight * Scale())));
}

void CSchView::updateScrollBars() {
  const QSize area = ScrollArea(), vp = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, area.width() - vp.width()));
  horizontalScrollBar()->setPageStep(vp.width());
  verticalScrollBar()->setRange(0, std::max(0, area.height() - vp.height()));
  verticalScrollBar()->setPageStep(vp.height());
}

void CSchView::ZoomBy(double f) {
  const QSize vp = viewport()->size();
  const double cx = (horizontalScrollBar()->value() + vp.width() / 2.0) * kWindow / zoom_;
  const double cy = (verticalScrollBar()->value() + vp.height() / 2.0) * kWindow / zoom_;
  zoomAt(f, cx, cy);
}

// Zooms by f and scrolls so that the logical point (cx, cy) is at the view's centre, as far
// as the scroll area lets it.
void CSchView::zoomAt(double f, double cx, double cy) {
  if (!(f > 0) || !std::isfinite(f)) return;
  zoom_ = std::clamp(zoom_ * f, kZoomMin, kZoomMax);
  updateScrollBars();
  const QSize vp = viewport()->size();
  const double k = zoom_ / kWindow;
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(cx * k - vp.width() / 2.0)));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(cy * k - vp.height() / 2.0)));
  viewport()->update();
}

// ---------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------

void CSchView::PaintTo(QPainter& p, const QRect& area) const {
  const double k = zoom_ / kWindow;
  const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  CPainterDevice dev(p, k, scroll, area);

  // Grid dots at every multiple of 100 in the area, from scale 0.5 up.
  if (Scale() >= 0.5) {
    const auto first = [&](int px, int s) { return static_cast<int64_t>(std::ceil((px + s) / k / 100.0)) * 100; };
    const auto last = [&](int px, int s) { return static_cast<int64_t>(std::floor((px + s) / k / 100.0)) * 100; };
    std::vector<QPoint> dots;
    const int64_t x0 = first(area.left(), scroll.x()), x1 = last(area.right(), scroll.x());
    const int64_t y0 = first(area.top(), scroll.y()), y1 = last(area.bottom(), scroll.y());
    if (x1 >= x0 && y1 >= y0)
      dots.reserve(static_cast<size_t>((x1 - x0) / 100 + 1) * static_cast<size_t>((y1 - y0) / 100 + 1));
    for (int64_t y = y0; y <= y1; y += 100)
      for (int64_t x = x0; x <= x1; x += 100)
        dots.emplace_back(dev.X(static_cast<int32_t>(x)), dev.Y(static_cast<int32_t>(y)));
    QPen pen(toColor(kGrid));
    pen.setWidth(0);
    pen.setCosmetic(true);
    p.setPen(pen);
    if (!dots.empty()) p.drawPoints(dots.data(), static_cast<int>(dots.size()));
  }

  // The page frame, edges on the grid, and one 100 inside it.
  const int32_t w = SchToInt(kDocWidth * kWindow / kZoom), h = SchToInt(kDocHeight * kWindow / kZoom);
  const SchRect page{0, 0, CSchDoc::Snap(w - 1), CSchDoc::Snap(h - 1)};
  dev.Frame(page, kPage);
  dev.Frame({page.l + 100, page.t + 100, page.r - 100, page.b - 100}, kPage);

  Doc().Draw(dev);

  if (state_ == msZoomBand || state_ == msSelectBand) dev.Frame(normalized(down_, last_), bandColour_);
}

void CSchView::paintEvent(QPaintEvent* e) {
  KvGuarded(utils(), kLocPaint, [&] {
    QPainter p(viewport());
    PaintTo(p, e->rect());
  });
}

void CSchView::Redraw(const CSchObj*) { viewport()->update(); }
void CSchView::Refresh() { viewport()->update(); }

void CSchView::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  updateScrollBars();
}

void CSchView::scrollContentsBy(int, int) { viewport()->update(); }

// ---------------------------------------------------------------------------------------
// Tools and commands
// ---------------------------------------------------------------------------------------

void CSchView::SetTool(int tool) {
  EndAction();
  tool_ = (tool >= tlSelect && tool <= tlZoomWindow) ? tool : tlSelect;
  viewport()->setCursor(tool_ == tlSelect ? Qt::ArrowCursor : Qt::CrossCursor);
  emit toolChanged(tool_);
}

void CSchView::endWire() {
  if (edit_.Drawing()) edit_.EndWire();
  end("Add Wire");
}

void CSchView::EndAction() {
  switch (state_) {
    case msWire:
    case msWireStart:
      endWire();
      break;
    case msMove:
      // The move is over: what it made diagonal is straightened as after a release.
      edit_.CleanUp();
      end("Move");
      break;
    default:
      break;
  }
  if (edit_.Drawing()) edit_.EndWire();
  state_ = msIdle;
  viewport()->update();
}

void CSchView::DeleteSelected() {
  EndAction();
  begin();
  edit_.DeleteSelection();
  end("Delete Selected Object");
  viewport()->update();
}

// ---------------------------------------------------------------------------------------
// Mouse and keys
// ---------------------------------------------------------------------------------------

void CSchView::placeComponent(SchPoint p) {
  const QString func = CSchAddDialog::Run(utils(), this);
  if (func.isEmpty()) {
    SetTool(tlSelect);
    return;
  }
  begin();
  edit_.Place(func.toUtf8().constData(), p);
  end("Add Component");
  viewport()->update();
}

void CSchView::selectNearestOnly(SchPoint p) {
  CSchObj* o = Doc().Nearest(p);
  Doc().SelectAll(false);
  if (o) o->Select(true);
}

void CSchView::leftDown(SchPoint p) {
  down_ = last_ = p;
  if (state_ == msWire) return;  // the release acts
  switch (tool_) {
    case tlComponent:
      placeComponent(p);
      return;
    case tlZoomWindow:
      state_ = msZoomBand;
      bandColour_ = kZoomBand;
      return;
    case tlWire:
      Doc().SelectAll(false);
      viewport()->update();
      state_ = msWireStart;
      return;
    default:
      break;
  }
  if (tool_ != tlSelect) SetTool(tlSelect);
  CSchObj* o = Doc().Nearest(p);
  if (o && o->IsSelected()) {
    state_ = msMove;
    begin();
  } else {
    state_ = msSelectBand;
    bandColour_ = kSchBlack;
  }
}

void CSchView::leftUp(SchPoint p) {
  up_ = p;
  switch (state_) {
    case msMove: {
      const SchPoint a = CSchDoc::Snap(last_), b = CSchDoc::Snap(p);
      if (!(a == b)) edit_.MoveSelection({b.x - a.x, b.y - a.y});
      last_ = p;
      edit_.CleanUp();
      state_ = msIdle;
      end("Move");
      break;
    }
    case msZoomBand: {
      state_ = msIdle;
      const double bw = std::abs(static_cast<double>(p.x) - down_.x), bh = std::abs(static_cast<double>(p.y) - down_.y);
      // A band without width or height shows nothing to zoom to.
      if (bw > 0 && bh > 0) {
        const SchPoint c = ClientLogical();
        zoomAt(std::min(c.x / bw, c.y / bh), (static_cast<double>(p.x) + down_.x) / 2,
               (static_cast<double>(p.y) + down_.y) / 2);
      }
      break;
    }
    case msSelectBand: {
      state_ = msIdle;
      const SchRect band = normalized(down_, p);
      if (band.r - band.l < 6 && band.b - band.t < 6) {
        selectNearestOnly(p);
      } else {
        for (int32_t i = 0; i < Doc().Count(); ++i) {
          CSchObj* o = Doc().At(i);
          o->Select(o->IntersectsRect(band));
        }
      }
      break;
    }
    case msWire: {
      const CSchEdit::Click c = edit_.ClickWire(p);
      if (c == CSchEdit::clDone || c == CSchEdit::clFailed) {
        state_ = msIdle;
        end("Add Wire");
      }
      break;
    }
    case msWireStart:
      begin();
      if (edit_.StartWire(p)) {
        state_ = msWire;
      } else {
        state_ = msIdle;
        end("Add Wire");
      }
      break;
    default:
      break;
  }
  viewport()->update();
}

void CSchView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(e);
  KvGuarded(utils(), kLocPress, [&] { leftDown(ToLogical(e->position().toPoint())); });
}

void CSchView::mouseMoveEvent(QMouseEvent* e) {
  KvGuarded(utils(), kLocMove, [&] {
    const SchPoint p = ToLogical(e->position().toPoint());
    switch (state_) {
      case msMove: {
        const SchPoint a = CSchDoc::Snap(last_), b = CSchDoc::Snap(p);
        last_ = p;
        if (!(a == b)) {
          edit_.MoveSelection({b.x - a.x, b.y - a.y});
          viewport()->update();
        }
        break;
      }
      case msZoomBand:
      case msSelectBand:
        last_ = p;
        viewport()->update();
        break;
      case msWire:
        last_ = p;
        edit_.StretchWire(p);
        viewport()->update();
        break;
      default:
        last_ = p;
        break;
    }
  });
}

void CSchView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(e);
  KvGuarded(utils(), kLocRelease, [&] { leftUp(ToLogical(e->position().toPoint())); });
}

void CSchView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mouseDoubleClickEvent(e);
  KvGuarded(utils(), kLocDouble, [&] {
    if (state_ == msWire) return;
    // The second press of the pair may have begun a band or a move: that ends here.
    if (state_ != msIdle) EndAction();
    const SchPoint p = ToLogical(e->position().toPoint());
    CSchObj* o = Doc().Nearest(p);
    if (o) {
      edit_.OpenPanels(o);
    } else {
      Doc().SelectAll(false);
    }
    viewport()->update();
  });
}

void CSchView::keyPressEvent(QKeyEvent* e) {
  bool handled = true;
  KvGuarded(utils(), kLocKey, [&] {
    switch (e->key()) {
      case Qt::Key_Escape:
        EndAction();
        break;
      case Qt::Key_Plus:
        ZoomIn();
        break;
      case Qt::Key_Minus:
        ZoomOut();
        break;
      case Qt::Key_Z:
        if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
          handled = false;
        } else {
          SetTool(tlZoomWindow);
        }
        break;
      default:
        handled = false;
    }
  });
  if (!handled) QAbstractScrollArea::keyPressEvent(e);
}

void CSchView::wheelEvent(QWheelEvent* e) {
  if (!(e->modifiers() & Qt::ControlModifier)) return QAbstractScrollArea::wheelEvent(e);
  KvGuarded(utils(), kLocWheel, [&] {
    const int d = e->angleDelta().y();
    if (d > 0) ZoomIn();
    if (d < 0) ZoomOut();
  });
  e->accept();
}
