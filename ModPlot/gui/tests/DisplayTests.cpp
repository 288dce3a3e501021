// The plot display's window as the plot component reaches it: only a live display answers as
// one, frames arrive in serial order from any thread as shallow copies, the size it reports is
// bounded, and keys, drops and resizes come out as the panel needs them.

#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <thread>

#include "KvDll/WndMsg.h"
#include "ModPlot/PlotFrame.h"
#include "ModPlot/gui/PlotDisplay.h"
#include "desktop/tests/DesktopRig.h"

namespace {

long sendFrame(KvWnd w, intptr_t serial, const QImage* img) {
  return SendMessage(w, KV_PLOT_WM_FRAME, serial, reinterpret_cast<intptr_t>(img));
}

}  // namespace

class DisplayTests : public QObject {
  Q_OBJECT

 private slots:
  void framesFromAWorkerInSerialOrder() {
    struct Step {
      intptr_t serial;
      int grey;  // 0: no image sent
      long answer;
      intptr_t shown;
    };
    // A late frame (older serial) never replaces a newer one; a repeat of the serial does.
    const Step steps[] = {{5, 50, 1, 5}, {3, 30, 0, 5}, {5, 55, 1, 5}, {9, 90, 1, 9}, {8, 80, 0, 9}, {10, 0, 0, 9}};
    auto d = std::make_unique<CPlotDisplay>();
    d->setFixedSize(20000, 300);  // reported as at most 16384 a side
    const KvWnd id = d->Wnd();
    const KvWnd other = CreateWindow(nullptr);
    std::atomic<bool> done{false};
    long identified = 0, foreign = 0, answers[6] = {};
    KvRect size;
    bool sharedThenDetached = true;
    std::thread worker([&] {
      identified = SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0);
      foreign = SendMessage(other, KV_PLOT_WM_IDENTIFY, 0, 0);
      SendMessage(id, KV_WM_GETCLIENTRECT, reinterpret_cast<intptr_t>(&size), 0);
      for (int i = 0; i < 6; ++i) {
        QImage img(8, 6, QImage::Format_RGB32);
        img.fill(QColor(steps[i].grey, steps[i].grey, steps[i].grey));
        answers[i] = sendFrame(id, steps[i].serial, steps[i].grey ? &img : nullptr);
        // Shallow: the display shares these pixels until the sender draws again.
        if (answers[i]) sharedThenDetached &= img.isDetached() == false;
      }
      done = true;
    });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 20000));
    worker.join();
    DestroyWindow(other);
    QCOMPARE(identified, static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
    QVERIFY(foreign != static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
    QCOMPARE(QSize(size.width, size.height), QSize(16384, 300));
    QVERIFY(sharedThenDetached);
    for (int i = 0; i < 6; ++i) QCOMPARE(answers[i], steps[i].answer);
    QCOMPARE(d->Serial(), intptr_t{9});
    QCOMPARE(d->Frame().pixel(1, 1), qRgb(90, 90, 90));  // the sender's image is gone: a copy stays
    QCOMPARE(d->FramesTaken(), 3);
    // Gone with its widget: a stale id answers nothing and takes no frame, nor does id 0.
    d.reset();
    const QImage img(4, 4, QImage::Format_RGB32);
    QCOMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
    QCOMPARE(sendFrame(id, 99, &img), 0L);
    QCOMPARE(SendMessage(0, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
  }

  void keys() {
    struct Case {
      Qt::Key key;
      Qt::KeyboardModifiers mods;
      int32_t code;  // -1: nothing reported
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::NoModifier, 65},    {Qt::Key_Z, Qt::ShiftModifier, 65536 + 90}, {Qt::Key_9, Qt::ControlModifier, 2 * 65536 + 57},
        {Qt::Key_Left, Qt::NoModifier, 37}, {Qt::Key_Down, Qt::AltModifier, 4 * 65536 + 40}, {Qt::Key_Tab, Qt::NoModifier, 9},
        {Qt::Key_Backtab, Qt::ShiftModifier, 65536 + 9}, {Qt::Key_Shift, Qt::ShiftModifier, -1}, {Qt::Key_Eacute, Qt::NoModifier, -1},
    };
    QWidget top;
    auto* d = new CPlotDisplay(&top);
    (new QWidget(&top))->setFocusPolicy(Qt::StrongFocus);  // where Tab would go
    top.show();
    top.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&top));
    d->setFocus();
    QSignalSpy spy(d, &CPlotDisplay::KeyDown);
    for (const Case& c : cases) {
      spy.clear();
      QTest::keyClick(d, c.key, c.mods);
      QCOMPARE(spy.count(), c.code < 0 ? 0 : 1);
      if (c.code >= 0) QCOMPARE(spy.at(0).at(0).toInt(), c.code);
    }
    // Tab stays with the display (it switches the pair cursors).
    QCOMPARE(QApplication::focusWidget(), d);
  }

  void dropsNeedTextAndResizesAskOnce() {
    CPlotDisplay d;
    QSignalSpy dropped(&d, &CPlotDisplay::Dropped);
    for (const char* text : {"HorOff=1;", static_cast<const char*>(nullptr), ""}) {
      QMimeData data;
      if (text)
        data.setText(text);
      else
        data.setData("application/x-kelvane-ctl", "drag.ctl.id=1;");
      QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&d, &enter);
      QCOMPARE(enter.isAccepted(), text != nullptr);
      dropped.clear();
      QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&d, &drop);
      QCOMPARE(dropped.count(), text ? 1 : 0);
      if (text) QCOMPARE(dropped.at(0).at(0).toString(), QString(text));
    }
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QSignalSpy wanted(&d, &CPlotDisplay::FrameWanted);
    QTest::qWait(100);
    wanted.clear();
    for (int i = 0; i < 10; ++i) d.resize(200 + 10 * i, 150 + i);
    QVERIFY(wanted.wait(1000));
    QTest::qWait(100);
    QCOMPARE(wanted.count(), 1);
  }
};

KV_QTEST(DisplayTests)
#include "DisplayTests.moc"
