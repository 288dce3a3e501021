// The sound-card panels on the real shell and engine: how long Load takes (the device list
// included, from an ALSA configuration of the benchmark's own), how many script assignments a
// shown panel keeps up with, and what open panels add to assignments to other components.

#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "desktop/bench/QtBenchMain.h"
#include "desktop/tests/DesktopRig.h"

namespace {

// Two devices each way that go nowhere, for the whole run.
struct Devices {
  QTemporaryDir dir;
  Devices() {
    const QString path = dir.filePath("asoundrc");
    std::ofstream(path.toStdString()) << "pcm.a { type null hint { show on description \"First\" } }\n"
                                         "pcm.b { type null hint { show on description \"Second\" } }\n";
    qputenv("ALSA_CONFIG_PATH", path.toUtf8());
  }
};

std::unique_ptr<DesktopRig> rig() {
  static Devices devices;
  auto r = std::make_unique<DesktopRig>();
  r->exec("load s = sound.in");
  r->exec("load o = sound.out");
  return r;
}

// Load of a freshly made panel, without a host; making and deleting it is not counted.
void load(benchmark::State& state, const char* progId, const char* comp) {
  auto r = rig();
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* w = r->main->Controls().Create(progId, nullptr);
    IKvGui* g = dynamic_cast<IKvGui*>(w);
    IApp* app = r->main->App();
    IKvHost* host = nullptr;
    std::string label = comp;
    state.ResumeTiming();
    g->Load(&app, &host, &label);
    state.PauseTiming();
    g->Unload();
    delete w;
    state.ResumeTiming();
  }
}

void BM_ImportLoad(benchmark::State& state) { load(state, "KvSound.Import", "s"); }
void BM_ExportLoad(benchmark::State& state) { load(state, "KvSound.Export", "o"); }

// Assignments to a component whose panel is shown (each refreshes a field and the sweep).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("s.gui");
  const char* const lines[] = {"s.reclen = 2048", "s.ch1.gain = 5", "s.reclen = 1024", "s.ch1.gain = 2"};
  size_t i = 0;
  for (auto _ : state) r->exec(lines[i++ % 4]);
  state.SetItemsProcessed(state.iterations());
}

// Assignments to a component without a panel while range(0) other components show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  for (int k = 0; k < state.range(0); ++k) {
    const std::string c = "p" + std::to_string(k);
    r->exec("load " + c + (k % 2 ? " = sound.out" : " = sound.in"));
    r->main->ShowPanel(c + ".gui");
  }
  for (auto _ : state) r->exec("s.ch1.gain = 5");
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ImportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
