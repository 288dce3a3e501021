// The plot display's window as the plot component reaches it: only a live display answers
// as one, frames arrive in serial order from any thread and are kept as shallow copies, the
// size it reports is bounded, and keys, drops and resizes come out as the panel needs them.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "KvDll/WndMsg.h"
#include "ModPlot/PlotFrame.h"
#include "ModPlot/gui/PlotDisplay.h"
#include "desktop/QtWnd.h"
#include "desktop/tests/DesktopRig.h"

namespace {

QImage filled(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

long sendFrame(KvWnd w, intptr_t serial, const QImage& img) {
  return SendMessage(w, KV_PLOT_WM_FRAME, serial, reinterpret_cast<intptr_t>(&img));
}

}  // namespace

class DisplayTests : public QObject {
  Q_OBJECT

 private slots:
  void onlyALiveDisplayAnswers() {
    KvWnd id = 0;
    {
      CPlotDisplay d;
      id = d.Wnd();
      QVERIFY(id != 0);
      QCOMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
      // Another window of the runtime is no display.
      const KvWnd other = CreateWindow(nullptr);
      QVERIFY(SendMessage(other, KV_PLOT_WM_IDENTIFY, 0, 0) != static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
      DestroyWindow(other);
    }
    // Gone with its widget: a stale id answers nothing and takes no frame.
    QCOMPARE(SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
    const QImage img = filled(4, 4, Qt::red);
    QCOMPARE(sendFrame(id, 1, img), 0L);
    QCOMPARE(SendMessage(0, KV_PLOT_WM_IDENTIFY, 0, 0), 0L);
  }

  void framesInSerialOrder() {
    struct Step {
      intptr_t serial;
      QRgb colour;
      long answer;
      intptr_t shown;
    };
    // A late frame (older serial) never replaces a newer one; a repeat of the serial does.
    const Step steps[] = {{5, qRgb(255, 0, 0), 1, 5}, {3, qRgb(0, 255, 0), 0, 5}, {5, qRgb(0, 0, 255), 1, 5},
                          {9, qRgb(9, 9, 9), 1, 9},   {8, qRgb(8, 8, 8), 0, 9}};
    CPlotDisplay d;
    QRgb want = 0;
    for (const Step& s : steps) {
      QImage img = filled(8, 6, QColor(s.colour));
      QCOMPARE(sendFrame(d.Wnd(), s.serial, img), s.answer);
      QCOMPARE(d.Serial(), s.shown);
      if (s.answer) want = s.colour;
      QCOMPARE(d.Frame().pixel(2, 2), want);
      // Shallow: the display shares the sender's pixels until the sender draws again, and
      // the sender's next drawing detaches without touching what the display shows.
      if (s.answer) {
        QCOMPARE(d.Frame().constBits(), img.constBits());
        img.fill(Qt::white);
        QCOMPARE(d.Frame().pixel(2, 2), want);
      }
    }
    QCOMPARE(SendMessage(d.Wnd(), KV_PLOT_WM_FRAME, 10, 0), 0L);  // no image
    QCOMPARE(d.Serial(), intptr_t{9});
  }

  void framesFromAnotherThread() {
    CPlotDisplay d;
    d.resize(320, 200);
    const KvWnd id = d.Wnd();
    std::atomic<int> done{0};
    std::atomic<long> identified{0}, answered{0};
    KvRect size;
    std::thread worker([&] {
      identified = SendMessage(id, KV_PLOT_WM_IDENTIFY, 0, 0);
      SendMessage(id, KV_WM_GETCLIENTRECT, reinterpret_cast<intptr_t>(&size), 0);
      long sum = 0;
      for (int i = 1; i <= 20; ++i) {
        const QImage img = filled(size.width, size.height, QColor(i, i, i));
        sum += sendFrame(id, i, img);
      }
      answered = sum;
      done = 1;
    });
    QVERIFY(QTest::qWaitFor([&] { return done.load() == 1; }, 20000));
    worker.join();
    QCOMPARE(identified.load(), static_cast<long>(KV_PLOT_DISPLAY_MAGIC));
    QCOMPARE(size, (KvRect{0, 0, 320, 200}));
    QCOMPARE(answered.load(), 20L);
    QCOMPARE(d.FramesTaken(), 20);
    QCOMPARE(d.Frame().pixel(0, 0), qRgb(20, 20, 20));
  }

  void sizeIsBounded() {
    struct Case {
      QSize widget, reported;
    };
    for (const Case& c : {Case{{640, 480}, {640, 480}}, Case{{20000, 300}, {16384, 300}}, Case{{50, 17000}, {50, 16384}}}) {
      CPlotDisplay d;
      d.setFixedSize(c.widget);
      KvRect r{-1, -1, -1, -1};
      QCOMPARE(SendMessage(d.Wnd(), KV_WM_GETCLIENTRECT, reinterpret_cast<intptr_t>(&r), 0), 1L);
      QCOMPARE(QSize(r.width, r.height), c.reported);
    }
  }

  void keys() {
    struct Case {
      Qt::Key key;
      Qt::KeyboardModifiers mods;
      int32_t code;  // -1: nothing reported
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::NoModifier, 65},
        {Qt::Key_Z, Qt::ShiftModifier, 65536 + 90},
        {Qt::Key_0, Qt::NoModifier, 48},
        {Qt::Key_9, Qt::ControlModifier, 2 * 65536 + 57},
        {Qt::Key_Left, Qt::NoModifier, 37},
        {Qt::Key_Up, Qt::AltModifier, 4 * 65536 + 38},
        {Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier, 3 * 65536 + 39},
        {Qt::Key_Down, Qt::NoModifier, 40},
        {Qt::Key_Tab, Qt::NoModifier, 9},
        {Qt::Key_Backtab, Qt::ShiftModifier, 65536 + 9},
        {Qt::Key_Shift, Qt::ShiftModifier, -1},
        {Qt::Key_Eacute, Qt::NoModifier, -1},
    };
    QWidget top;
    auto* d = new CPlotDisplay(&top);
    auto* after = new QWidget(&top);
    after->setFocusPolicy(Qt::StrongFocus);
    top.show();
    top.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&top));
    d->setFocus();
    QCOMPARE(QApplication::focusWidget(), d);
    QSignalSpy spy(d, &CPlotDisplay::KeyDown);
    for (const Case& c : cases) {
      spy.clear();
      QTest::keyClick(d, c.key, c.mods);
      if (c.code < 0) {
        QVERIFY2(spy.isEmpty(), qPrintable(QString::number(c.key)));
      } else {
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), c.code);
      }
    }
    // Tab stays with the display (it switches the pair cursors), focus does not move on.
    QCOMPARE(QApplication::focusWidget(), d);
  }

  void dropsNeedText() {
    CPlotDisplay d;
    QSignalSpy spy(&d, &CPlotDisplay::Dropped);
    struct Case {
      const char* text;  // null: data without a text
      bool accepted;
    };
    for (const Case& c : {Case{"HorOff=1;", true}, Case{nullptr, false}, Case{"", true}}) {
      QMimeData data;
      if (c.text)
        data.setText(c.text);
      else
        data.setData("application/x-kelvane-ctl", "drag.ctl.id=1;");
      QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&d, &enter);
      QCOMPARE(enter.isAccepted(), c.accepted);
      spy.clear();
      QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&d, &drop);
      QCOMPARE(spy.count(), c.accepted ? 1 : 0);
      if (c.accepted) QCOMPARE(spy.at(0).at(0).toString(), QString(c.text));
    }
  }

  void resizesAskForOneFrame() {
    CPlotDisplay d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QSignalSpy spy(&d, &CPlotDisplay::FrameWanted);
    QTest::qWait(100);
    spy.clear();
    for (int i = 0; i < 10; ++i) d.resize(200 + 10 * i, 150 + i);
    QVERIFY(spy.wait(1000));
    QTest::qWait(100);
    QCOMPARE(spy.count(), 1);
  }
};

KV_QTEST(DisplayTests)
#include "DisplayTests.moc"
