#pragma once
// The plot panels on the real shell, engine, plot module and measurement module, off screen.
// The panels live in the control library the shell loaded, so they are reached through the
// contract, their children's names and the display's properties.

#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QScreen>
#include <QtTest>
#include <string>

#include "ModMeas/gui/tests/MeasPanelRig.h"

struct PlotRig : PanelRig {
  using PanelRig::PanelRig;
  // A plot component (kind "plot" or "plot.8") with its panel ("plot", "setup") shown.
  QWidget* display(const std::string& comp = "p", const std::string& kind = "plot") { return show(comp, kind, "plot"); }
  QWidget* setup(const std::string& comp = "p", const std::string& kind = "plot") { return show(comp, kind, "setup"); }
  // The panel of a component already loaded.
  QWidget* open(const std::string& comp, const std::string& panel) {
    main->ShowPanel(comp + "." + panel);
    return find(comp, panel);
  }
  std::string answer(const std::string& line) {
    std::string a;
    long res = -1;
    main->App()->Execute(line, &a, &res);
    return a;
  }
};

// The display inside a Plot panel, and what it shows.
inline QWidget* displayOf(QWidget* panel) { return child<QWidget>(panel, "picDisplay"); }
inline QImage frameOf(QWidget* panel) { return displayOf(panel)->property("frame").value<QImage>(); }
inline KvWnd wndOf(QWidget* panel) { return displayOf(panel)->property("wnd").toUInt(); }

// The largest panel there may be: the screen, and never past 16384 pixels a side.
inline QSize panelLimit() {
  QSize s(16384, 16384);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) s = s.boundedTo(screen->geometry().size());
  return s;
}

// Drops a text on the display as the shell delivers it: the drag enters (which makes the
// display the drop's target), then drops.
inline void dropText(QWidget* panel, const QString& text) {
  QMimeData data;
  data.setText(text);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(displayOf(panel), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(displayOf(panel), &drop);
}
