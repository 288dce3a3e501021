// The sound-card panels on the real shell and engine: how long Load takes (the device list
// included, from an ALSA configuration of the benchmark's own), how many script assignments a
// shown panel keeps up with, and what open panels add to assignments to other components.

#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "desktop/bench/PanelBench.h"

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

void load(benchmark::State& state, const char* progId, const char* comp) {
  auto r = rig();
  KvBenchPanelLoad(state, *r, progId, comp);
}

void BM_ImportLoad(benchmark::State& state) { load(state, "KvSound.Import", "s"); }
void BM_ExportLoad(benchmark::State& state) { load(state, "KvSound.Export", "o"); }

// Assignments to a component whose panel is shown (each refreshes a field and the sweep).
void BM_AssignToShown(benchmark::State& state) {
  auto r = rig();
  r->main->ShowPanel("s.gui");
  KvBenchAssign(state, *r, {"s.reclen = 2048", "s.ch1.gain = 5", "s.reclen = 1024", "s.ch1.gain = 2"});
}

// Assignments to a component without a panel while range(0) other components show theirs.
void BM_AssignToOthers(benchmark::State& state) {
  auto r = rig();
  KvBenchAssignBesidePanels(state, *r, [](int k) { return k % 2 ? "sound.out" : "sound.in"; }, "gui", {"s.ch1.gain = 5"});
}

}  // namespace

BENCHMARK(BM_ImportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignToShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignToOthers)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

KV_QT_BENCH_MAIN()
