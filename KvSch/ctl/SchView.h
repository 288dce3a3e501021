#pragma once
// CSchView: the scrolling, zooming view of a schematic drawing. It maps device pixels to the
// drawing's logical units (a window of 10000 by 10000 on a viewport of zoom by zoom, zoom
// 1500 at scale 1), paints the grid, the page frame and the objects through a QPainter, and
// turns mouse and keys into the editing operations of CSchEdit, bracketed for undo.
//
// Mouse states: 0 idle, 1 moving the selection, 2 zoom band, 3 selection band, 4 drawing a
// wire, 5 waiting for the start of a wire. The band and the wire being drawn are painted with
// everything else on each repaint.
//
// User-interface thread only.

#include <QAbstractScrollArea>
#include <QString>

#include "KvSch/SchDoc.h"

class QPainter;
class CSchEdit;
class CSchAppPort;
class CSchUndo;
class IUtils;

class CSchView final : public QAbstractScrollArea, public ISchView {
  Q_OBJECT

 public:
  enum Tool { tlSelect = 0, tlComponent, tlWire, tlZoomWindow };
  enum State { msIdle = 0, msMove, msZoomBand, msSelectBand, msWire, msWireStart };

  static constexpr double kZoom = 1500;     // zoom at scale 1
  static constexpr double kWindow = 10000;  // window extent
  static constexpr double kZoomMin = 15, kZoomMax = 150000;
  static constexpr int kDocWidth = 1200, kDocHeight = 900;  // pixels at scale 1

  // port and undo may be null (a view without an engine, as a benchmark draws).
  CSchView(CSchEdit& edit, CSchAppPort* port, CSchUndo* undo, QWidget* parent = nullptr);
  ~CSchView() override;

  CSchDoc& Doc() const;
  double Zoom() const { return zoom_; }
  double Scale() const { return zoom_ / kZoom; }
  // zoom x f within the limits, keeping the point at the view's centre there; f must be > 0.
  void ZoomBy(double f);
  void ZoomIn() { ZoomBy(1.5); }
  void ZoomOut() { ZoomBy(2.0 / 3.0); }

  int CurrentTool() const { return tool_; }
  // Ends a wire being drawn first.
  void SetTool(int tool);
  int MouseState() const { return state_; }

  // Device pixel of the viewport to logical units: (pos + scroll) x 10000 / zoom, truncated.
  SchPoint ToLogical(QPoint pos) const;
  // The viewport pixel nearest to a logical point.
  QPoint ToDevice(SchPoint p) const;
  // The viewport's size in logical units.
  SchPoint ClientLogical() const;
  // The scroll area: the document size times the scale.
  QSize ScrollArea() const;

  // Ends what the mouse was doing (a wire being drawn with its committed corners kept, a
  // band, a move); state 0.
  void EndAction();
  // Delete Selected Object: not forced; a wire being drawn ends first.
  void DeleteSelected();
  void Refresh();

  // Paints the given area (viewport pixels): grid, page frame, objects, band.
  void PaintTo(QPainter& p, const QRect& area) const;

  // ISchView
  void Redraw(const CSchObj* o) override;

 signals:
  void toolChanged(int tool);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  CSchEdit& edit_;
  CSchAppPort* port_;
  CSchUndo* undo_;
  double zoom_ = kZoom;
  int tool_ = tlSelect;
  int state_ = msIdle;
  SchPoint down_, last_, up_;  // logical
  uint32_t bandColour_ = 0;

  IUtils* utils() const;
  void begin();
  void end(const QString& text);
  void zoomAt(double f, double cx, double cy);
  void updateScrollBars();
  void leftDown(SchPoint p);
  void leftUp(SchPoint p);
  void endWire();
  void placeComponent(SchPoint p);
  void selectNearestOnly(SchPoint p);
};
