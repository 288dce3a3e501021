// The schematic view redrawing a large drawing (500 components with the measurement symbol,
// 1,000 wires, half of them diagonal and drawn as staircases), at several scales: a whole
// repaint of the 1200 x 900 viewport into an image, and one zoom step (in, then out) with its repaint.
// Argument: the scale in percent (32 shows the whole drawing, without grid).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <memory>

#include "KvSch/SchDoc.h"
#include "KvSch/SchEdit.h"
#include "KvSch/ctl/SchView.h"
#include "desktop/bench/QtBenchMain.h"

namespace {

const char* const kSymbol =
    "box,100,0,500,300;text,100,10,500,100,Meas,center,center;ipin,0,200,100,,1,ck.in;"
    "text,120,160,300,80,Ck,left,center;opin,600,200,100,,2,CkPeriod.out;text,180,160,400,80,CkPeriod,right,center;";

struct Drawing {
  CSchDoc doc;
  CSchEdit edit{doc};
  std::unique_ptr<CSchView> view;

  Drawing() {
    for (int i = 0; i < 500; ++i) {
      const int32_t x = (i % 25) * 1000, y = (i / 25) * 700;
      auto m = std::make_unique<CSchMod>();
      m->SetNames("Meas.CkPeriod", ("m" + std::to_string(i + 1)).c_str());
      m->SetPosition({x, y});
      m->ParseSymbol(kSymbol);
      doc.Add(std::move(m));
      for (int k = 0; k < 2; ++k) {
        auto w = std::make_unique<CSchWire>();
        w->SetPoints({x + 700, y + 200}, {x + 1000, y + 200 + k * 700});
        doc.Add(std::move(w));
      }
    }
    view = std::make_unique<CSchView>(edit, nullptr, nullptr);
    view->viewport()->resize(1200, 900);
    view->resize(1200 + view->verticalScrollBar()->sizeHint().width(),
                 900 + view->horizontalScrollBar()->sizeHint().height());
    view->show();
    QApplication::processEvents();
  }
  ~Drawing() { view.reset(); }
  // One whole repaint, into an image like the window's backing store.
  void repaint() {
    image.fill(Qt::white);
    QPainter p(&image);
    view->PaintTo(p, image.rect());
  }
  QImage image{1200, 900, QImage::Format_ARGB32_Premultiplied};

  void scale(double s) {
    view->ZoomBy(s / view->Scale());
    view->horizontalScrollBar()->setValue(0);
    view->verticalScrollBar()->setValue(0);
  }
};

void Redraw(benchmark::State& state) {
  Drawing d;
  d.scale(state.range(0) / 100.0);
  for (auto _ : state) d.repaint();
  state.counters["scale"] = d.view->Scale();
}

void ZoomStep(benchmark::State& state) {
  Drawing d;
  d.scale(state.range(0) / 100.0);
  bool in = true;
  for (auto _ : state) {
    d.view->ZoomBy(in ? 1.5 : 2.0 / 3.0);
    d.repaint();
    in = !in;
  }
}

BENCHMARK(Redraw)->Arg(32)->Arg(50)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomStep)->Arg(32)->Arg(50)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

KV_QT_BENCH_MAIN()
