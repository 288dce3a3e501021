// Execute of typical script lines against a registry with a generator and a scope.

#include <benchmark/benchmark.h>

#include "../tests/FakeEngine.h"

namespace {

void executeLine(benchmark::State& state, const char* line) {
  ParserRig rig;
  for (auto _ : state) {
    CStr l(line), m;
    benchmark::DoNotOptimize(rig.parser.Execute(l, m));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ExecuteAssignment(benchmark::State& s) { executeLine(s, "gen.freq = 1.25K   // carrier"); }
void BM_ExecuteQuotedAssignment(benchmark::State& s) { executeLine(s, "gen.type = \"square wave\""); }
void BM_ExecuteQuery(benchmark::State& s) { executeLine(s, "gen.freq"); }
void BM_ExecuteCall(benchmark::State& s) { executeLine(s, "gen.scale(2.5m, 3)"); }
void BM_ExecuteLink(benchmark::State& s) { executeLine(s, "link scope.in = gen.out"); }
void BM_ExecuteError(benchmark::State& s) { executeLine(s, "nobody.freq = 5"); }
void BM_ExecuteStateListing(benchmark::State& s) { executeLine(s, "sys.state"); }

}  // namespace

BENCHMARK(BM_ExecuteAssignment);
BENCHMARK(BM_ExecuteQuotedAssignment);
BENCHMARK(BM_ExecuteQuery);
BENCHMARK(BM_ExecuteCall);
BENCHMARK(BM_ExecuteLink);
BENCHMARK(BM_ExecuteError);
BENCHMARK(BM_ExecuteStateListing);
BENCHMARK_MAIN();
