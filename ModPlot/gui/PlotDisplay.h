#pragma once
// The plot display: the widget the plot component draws into. It owns a runtime window whose
// id the Plot panel gives the component as "hwnd"; the window answers
//
//   KV_PLOT_WM_IDENTIFY    KV_PLOT_DISPLAY_MAGIC, so the component sends frames only to a display
//   KV_PLOT_WM_FRAME       keeps a shallow copy of the image unless its serial is older than the
//                          one shown, and repaints; answers 1 when taken, 0 when not
//   KV_WM_GETCLIENTRECT    the size to render at, limited to 16384 pixels a side
//
// The window lives as long as the widget, so its id goes stale (and answers 0) once the
// widget is gone. Keys and drops are handed to the panel as signals; resizes are gathered into
// one FrameWanted a short time after the last one.
//
// User-interface thread only; the component's sends from its acquisition thread arrive through
// this thread's queue.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "KvDll/Wnd.h"

class CPlotDisplay final : public QWidget {
  Q_OBJECT
  // For those who reach the display only by name (the shell's tests).
  Q_PROPERTY(QImage frame READ Frame)
  Q_PROPERTY(qlonglong serial READ Serial)
  Q_PROPERTY(uint wnd READ Wnd)

 public:
  static constexpr int kMaxSide = 16384;

  explicit CPlotDisplay(QWidget* parent = nullptr);
  ~CPlotDisplay() override;

  KvWnd Wnd() const { return wnd; }
  const QImage& Frame() const { return frame; }
  intptr_t Serial() const { return serial; }
  int FramesTaken() const { return taken; }

  // The Windows key code of a Qt key (A-Z 65-90, 0-9 48-57, arrows 37-40, Tab 9, and the
  // usual editing and function keys); -1 for a key without one.
  static int KeyCode(int qtKey);
  // The shift state as "keydown" carries it: Shift 1, Ctrl 2, Alt 4.
  static int ShiftState(Qt::KeyboardModifiers m);

 signals:
  // shift state * 65536 + key code, for each key with a code.
  void KeyDown(int32_t code);
  // The text of a drop that carried one.
  void Dropped(const QString& text);
  // The display's size changed; a new frame of that size is wanted.
  void FrameWanted();

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  static long proc(KvWnd w, unsigned msg, intptr_t wp, intptr_t lp);
  long take(intptr_t frameSerial, const QImage* image);

  KvWnd wnd = 0;
  QImage frame;
  intptr_t serial = 0;
  int taken = 0;
  QTimer resized;
};
