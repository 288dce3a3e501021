// The code editor loading a large workspace text in the real main window: opening the
// window on it (mode 0), a refresh of a clean editor (1), and of a dirty one (2, the reload
// kept as one undoable edit).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "desktop/bench/QtBenchMain.h"
#include "KvDll/GlobalData.h"
#include "desktop/Dialogs.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"

namespace {

enum Mode { openWindow, refreshClean, refreshDirty };

QWidget* editorOf(frmMain& w) { return w.ToolControl("Code"); }

void closeEditor(frmMain& w) {
  for (const cCtrl* c : w.Shell().ctrls)
    if (c->compName == "Code") {
      frmHost* h = c->host;
      h->DelCtrl(h->FindCtrl("Code"));
      return;
    }
}

void EditorLoad(benchmark::State& state) {
  QTemporaryDir config;
  setenv("KELVANE_CONFIG_DIR", config.path().toUtf8().constData(), 1);
  frmMainOptions o;
  o.lib = KV_TEST_LIB_DIR;
  o.ctl = KV_RIG_CTL_DIR;
  frmMain w(o);
  if (!w.Load()) {
    state.SkipWithError("no engine");
    return;
  }
  KvGlobal()->minSeverity = 7;
  const long lines = state.range(0);
  const auto mode = static_cast<Mode>(state.range(1));
  std::string script;
  script.reserve(static_cast<size_t>(lines) * 48);
  for (long i = 0; i < lines; ++i) script += "// m" + std::to_string(i) + ".period = 0.25  ' a setting line\n";
  KvPtr<IWrkSpc> ws;
  w.App()->get_WrkSpc(ws.put());
  ws->put_Buffer(script);
  if (mode != openWindow) w.ShowToolWindow("Code", "KvPlugins.CodeEditor");
  CDialogs::Get().SetMode(CDialogs::Mode::scripted);
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* editor = editorOf(w);
    if (mode == refreshDirty) {
      auto* text = editor->findChild<QPlainTextEdit*>("txtCode");
      text->moveCursor(QTextCursor::End);
      text->insertPlainText("// mine");
      CDialogs::Get().Script({"Yes"});
    }
    state.ResumeTiming();
    if (mode == openWindow)
      w.ShowToolWindow("Code", "KvPlugins.CodeEditor");
    else
      editor->findChild<QPushButton*>("cmdRefresh")->click();
    QCoreApplication::processEvents();
    state.PauseTiming();
    if (mode == openWindow) closeEditor(w);
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
  ws.reset();
  w.close();
}

BENCHMARK(EditorLoad)
    ->ArgsProduct({{100000}, {openWindow, refreshClean, refreshDirty}})
    ->ArgNames({"lines", "mode"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

KV_QT_BENCH_MAIN()
