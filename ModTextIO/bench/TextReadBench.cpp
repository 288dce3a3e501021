// Reading long text records: a 10,000,000-line time/volts file in the layout of a scope export,
// the real Siglent export of 140,000 lines, and writing 10,000,000 samples back.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ModTextIO/TextFormat.h"
#include "ModTextIO/TextParser.h"

namespace {

constexpr long kLines = 10'000'000;

std::string tempDir() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

// Made once and kept: writing it takes longer than reading it.
const std::string& longFile() {
  static const std::string path = [] {
    const std::string p = tempDir() + "/kv_textread_10M.csv";
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && st.st_size > kLines * 20) return p;
    const std::string tmp = p + ".part";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return p;
    std::fputs("Record Length,Analog:10000000\nSecond,Volt\n", f);
    for (long i = 0; i < kLines; ++i) std::fprintf(f, "%.11e,%.5f\n", i * 2e-6, 1.6 * ((i / 250) % 2 ? 1 : -1) + (i % 7) * 0.01);
    std::fclose(f);
    std::rename(tmp.c_str(), p.c_str());
    return p;
  }();
  return path;
}

off_t sizeOf(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_size : 0;
}

void read(benchmark::State& state, const std::string& path, const TextLayout& l) {
  std::vector<double> x, y;
  std::string error;
  for (auto _ : state) {
    if (!ReadTextFile(path, l, x, y, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    benchmark::DoNotOptimize(y.data());
  }
  state.SetBytesProcessed(state.iterations() * sizeOf(path));
  state.counters["lines"] = static_cast<double>(y.size());
}

void BM_Read10MLinesXY(benchmark::State& state) {
  TextLayout l;
  l.xaxis = true, l.skipLines = 2;
  read(state, longFile(), l);
}
BENCHMARK(BM_Read10MLinesXY)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Read10MLinesYOnly(benchmark::State& state) {
  TextLayout l;
  l.skipLines = 2, l.skipValues = 1;
  read(state, longFile(), l);
}
BENCHMARK(BM_Read10MLinesYOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadSiglentExport(benchmark::State& state) {
  TextLayout l;
  l.xaxis = true, l.skipLines = 12;
  read(state, std::string(KV_SCOPE_CSV_DIR) + "/siglent-sds1202xe-1khz-sine.csv", l);
}
BENCHMARK(BM_ReadSiglentExport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Write10MSamples(benchmark::State& state) {
  std::vector<double> y(kLines);
  for (long i = 0; i < kLines; ++i) y[static_cast<size_t>(i)] = 1.6 * ((i / 250) % 2 ? 1 : -1) + (i % 7) * 0.01;
  TextSamples s;
  s.y = y.data(), s.count = y.size(), s.dx = 2e-6;
  TextLayout l;
  l.xaxis = true;
  const std::string path = tempDir() + "/kv_textwrite_10M.csv";
  std::string error;
  for (auto _ : state)
    if (!WriteTextFile(path, l, s, error)) return state.SkipWithError(error.c_str());
  state.SetBytesProcessed(state.iterations() * sizeOf(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_Write10MSamples)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
