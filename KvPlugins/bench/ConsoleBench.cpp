// The console's Enter with a long dialogue shown, and the history under a stream of the
// engine's notices, both in the real main window off screen.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "desktop/bench/QtBenchMain.h"
#include "KvCore/KvApi.h"
#include "KvDll/GlobalData.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"

namespace {

struct Shell {
  QTemporaryDir config;
  std::unique_ptr<frmMain> w;
  bool ok = false;

  Shell() {
    setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
    frmMainOptions o;
    o.lib = KV_TEST_LIB_DIR;
    o.ctl = KV_RIG_CTL_DIR;
    w = std::make_unique<frmMain>(o);
    ok = w->Load();
    KvGlobal()->minSeverity = 7;  // the log is not what is measured
  }
  ~Shell() { w->close(); }
  void exec(const std::string& line) {
    std::string answer;
    long r = 0;
    w->App()->Execute(line, &answer, &r);
  }
  QWidget* tool(const std::string& label, const std::string& progId) {
    w->ShowToolWindow(label, progId);
    return w->ToolControl(label);
  }
};

void key(QWidget* box, int code, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
  QCoreApplication::sendEvent(box, &press);
  QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
  QCoreApplication::sendEvent(box, &release);
}

// Enter on a query with 100,000 lines of dialogue above it, drawn after each answer.
void ConsoleEnter(benchmark::State& state) {
  Shell s;
  QWidget* console = s.ok ? s.tool("Console", "KvPlugins.CmdConsole") : nullptr;
  QPlainTextEdit* box = console ? console->findChild<QPlainTextEdit*>() : nullptr;
  if (!box) {
    state.SkipWithError("no console");
    return;
  }
  s.exec("load g = test.src");
  // 50,000 pasted queries, each answered: 100,000 lines.
  QString block;
  for (int i = 0; i < 50000; ++i) block += "g.gain\n";
  block.chop(1);
  QGuiApplication::clipboard()->setText(block);
  QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
  QCoreApplication::sendEvent(box, &paste);
  key(box, Qt::Key_Return);
  QCoreApplication::processEvents();
  state.counters["lines"] = box->document()->blockCount();
  for (auto _ : state) {
    state.PauseTiming();
    key(box, Qt::Key_unknown, "g.gain");
    state.ResumeTiming();
    key(box, Qt::Key_Return);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(ConsoleEnter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(200);

struct HistoryShell : Shell {
  QPlainTextEdit* box = nullptr;
  // Without the history open, the same engine and main window: the baseline.
  HistoryShell(int entries, bool open) {
    if (!ok) return;
    exec("load g = test.src");
    for (int i = 1; i < entries; ++i) exec("// entry " + std::to_string(i));
    QWidget* history = open ? tool("History", "KvPlugins.CmdHistory") : nullptr;
    box = history ? history->findChild<QPlainTextEdit*>() : nullptr;
  }
  bool current() {
    if (!box) return true;
    std::string list;
    w->App()->GetCmdList(&list);
    return box->toPlainText() == QString::fromStdString(list).replace("\r\n", "\n");
  }
};

// One notice (a value put from a panel or script) with the loop not turning: what each costs
// the history on top of the engine and the main window.
void HistoryNotice(benchmark::State& state) {
  HistoryShell s(10000, state.range(0) != 0);
  if (!s.box && state.range(0)) {
    state.SkipWithError("no history");
    return;
  }
  double v = 0;
  for (auto _ : state) s.w->App()->put_dbl("g", "gain", ++v);
  QElapsedTimer t;
  t.start();
  while (!s.current() && t.elapsed() < 5000) QCoreApplication::processEvents();
  state.counters["current"] = s.current();
}
BENCHMARK(HistoryNotice)->ArgName("open")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The history's own share of a notice: the event handed to it directly, as the engine hands
// it, 10,000 times with the loop turning after every 10 and one real change among each 10.
void HistoryHandler(benchmark::State& state) {
  HistoryShell s(10000, true);
  auto* sink = s.box ? dynamic_cast<IAppEvents*>(s.box->parentWidget()) : nullptr;
  if (!sink) {
    state.SkipWithError("no history");
    return;
  }
  double v = 0;
  long notices = 0;
  for (auto _ : state) {
    sink->ValueChanged("g", "gain");
    if (++notices % 10 == 0) {
      state.PauseTiming();
      s.w->App()->put_dbl("g", "gain", ++v);  // the engine's own cost is not the history's
      state.ResumeTiming();
      QCoreApplication::processEvents();
    }
  }
  QElapsedTimer t;
  t.start();
  while (!s.current() && t.elapsed() < 5000) QCoreApplication::processEvents();
  state.counters["current"] = s.current();
}
BENCHMARK(HistoryHandler)->Unit(benchmark::kMicrosecond)->Iterations(10000);

// A second of notices as a run sends them: 10,000, the loop turning after every 10 (refreshes
// included); the figure is the time per notice and the text is current at the end.
void HistoryStream(benchmark::State& state) {
  HistoryShell s(10000, state.range(0) != 0);
  if (!s.box && state.range(0)) {
    state.SkipWithError("no history");
    return;
  }
  double v = 0;
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i) {
      s.w->App()->put_dbl("g", "gain", ++v);
      if (i % 10 == 9) QCoreApplication::processEvents();
    }
    QElapsedTimer t;
    t.start();
    while (!s.current() && t.elapsed() < 5000) QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * 10000);
  state.counters["current"] = s.current();
}
BENCHMARK(HistoryStream)->ArgName("open")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One refresh of 10,000 entries after one entry changed in place ("Refresh", so no wait for
// the next turn of the loop).
void HistoryRefresh(benchmark::State& state) {
  HistoryShell s(10000, true);
  QPushButton* refresh = s.box ? s.box->parentWidget()->findChild<QPushButton*>() : nullptr;
  if (!refresh) {
    state.SkipWithError("no history");
    return;
  }
  double v = 0;
  for (auto _ : state) {
    s.w->App()->put_dbl("g", "gain", ++v);
    refresh->click();
  }
  state.counters["current"] = s.current();
}
BENCHMARK(HistoryRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

KV_QT_BENCH_MAIN()
