// A drawing of 500 components and 1,000 wires: hit test, one step of moving 100 selected
// components, saving, and loading on the real engine (every component loaded, every net
// linked).
#include <benchmark/benchmark.h>

#include <string>

#include "KvSch/SchEdit.h"
#include "KvSch/tests/EngineScript.h"

namespace {

class Port : public CEngineScript {
 public:
  Port() : CEngineScript(KV_BENCH_LIB_DIR) {}
};

// 250 pairs of components, 12 pairs a row: each output feeds its partner's input over four
// wires (a corner, a junction, a corner): 500 components, 1,000 wires, 250 links. Short nets,
// as drawn by hand; a 500-long chain would time the engine's loop check instead.
std::string Drawing() {
  std::string head, body;
  int count = 0, serial = 0;
  auto entry = [&](const char* tag) {
    ++count;
    head += std::string(",") + tag + ",#" + std::to_string(++serial);
    return "#" + std::to_string(serial);
  };
  auto num = [](int v) { return std::to_string(v); };
  auto wire = [&](const std::string& w, const std::string& a, const std::string& b, int x1, int y1, int x2, int y2) {
    body += "Wire," + w + ",0,0,0," + a + "," + b + "," + num(x1) + "," + num(y1) + "," + num(x2) + "," + num(y2) + "," +
            (y1 == y2 ? "1" : "2") + "\r\n";
  };
  for (int i = 0; i < 250; ++i) {
    const int x = (i % 12) * 2000, y = (i / 12) * 600;
    const std::string m1 = entry("M"), m2 = entry("M"), j = entry("J");
    const std::string a = entry("W"), b = entry("W"), c = entry("W"), d = entry("W");
    body += "Mod," + m1 + "," + num(x) + "," + num(y) + ",0,meas.ckperiod,m" + num(2 * i + 1) + "\r\n";
    body += "Mod," + m2 + "," + num(x + 1000) + "," + num(y) + ",0,meas.ckperiod,m" + num(2 * i + 2) + "\r\n";
    body += "Jun," + j + "," + num(x + 800) + "," + num(y + 400) + ",0\r\n";
    wire(a, m1 + ".2", b, x + 700, y + 200, x + 800, y + 200);
    wire(b, a, j, x + 800, y + 200, x + 800, y + 400);
    wire(c, j, d, x + 800, y + 400, x + 1000, y + 400);
    wire(d, c, m2 + ".1", x + 1000, y + 400, x + 1000, y + 200);
  }
  return std::to_string(count) + head + "\r\n" + body;
}

struct Loaded {
  Port port;
  CSchDoc doc;
  CSchEdit edit{doc};
  std::string text = Drawing();
  Loaded() {
    doc.SetEngine(&port);
    doc.MakeCurrent();
    doc.LoadState(text.data(), text.size());
  }
  ~Loaded() {
    doc.Clear();
    doc.SetEngine(nullptr);
  }
};

void BM_Nearest(benchmark::State& state) {
  Loaded d;
  int i = 0;
  for (auto _ : state) {
    // Points over the whole drawing, on pins, wires, junctions and empty space.
    const SchPoint p{(i * 337) % 24000, (i * 211) % 12600};
    benchmark::DoNotOptimize(d.doc.Nearest(p));
    ++i;
  }
}
BENCHMARK(BM_Nearest)->Unit(benchmark::kMicrosecond);

void BM_MoveStep100(benchmark::State& state) {
  Loaded d;
  for (int k = 0; k < 100; ++k) d.doc.At(k * 5)->Select(true);
  int sign = 1;
  for (auto _ : state) {
    d.edit.MoveSelection({100 * sign, 100});
    sign = -sign;
  }
}
BENCHMARK(BM_MoveStep100)->Unit(benchmark::kMicrosecond);

void BM_SaveState(benchmark::State& state) {
  Loaded d;
  for (auto _ : state) benchmark::DoNotOptimize(d.doc.SaveState());
}
BENCHMARK(BM_SaveState)->Unit(benchmark::kMillisecond);

void BM_LoadState(benchmark::State& state) {
  Loaded d;  // each load first clears (unloads) the previous one
  for (auto _ : state) d.doc.LoadState(d.text.data(), d.text.size());
  state.counters["components"] = static_cast<double>(d.port.engine.Components().Count());
  state.counters["objects"] = static_cast<double>(d.doc.Count());
  int linked = 0;  // the drawing is really wired: every second component reads its partner
  for (int i = 0; i < 250; ++i) {
    CStr a;
    d.port.engine.Execute(("m" + std::to_string(2 * i + 2) + ".ck.in").c_str(), a);
    linked += std::string(a.GetBfr()) == "m" + std::to_string(2 * i + 1) + ".CkPeriod.out";
  }
  state.counters["linked"] = linked;
}
BENCHMARK(BM_LoadState)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
