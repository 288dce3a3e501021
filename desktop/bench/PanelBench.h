#pragma once
// What every module panel's benchmark measures, on a main window of the caller's: Load of a
// freshly made panel, script assignments to components whose panels are shown, and what open
// panels add to assignments that concern another component.

#include <functional>
#include <string>
#include <vector>

#include "desktop/bench/QtBenchMain.h"
#include "desktop/tests/DesktopRig.h"

// Load of a fresh panel of that ProgID for the component, without a host; making and deleting
// it is not counted.
inline void KvBenchPanelLoad(benchmark::State& state, DesktopRig& r, const char* progId, const std::string& comp) {
  for (auto _ : state) {
    state.PauseTiming();
    QWidget* w = r.main->Controls().Create(progId, nullptr);
    IKvGui* g = dynamic_cast<IKvGui*>(w);
    IApp* app = r.main->App();
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

// Each iteration runs the next of the lines, round and round.
inline void KvBenchAssign(benchmark::State& state, DesktopRig& r, const std::vector<std::string>& lines) {
  size_t i = 0;
  for (auto _ : state) r.exec(lines[i++ % lines.size()]);
  state.SetItemsProcessed(state.iterations());
}

// range(0) more components p0, p1, ... (loadedAs(k) names each one's library) with the named
// panel shown, then the lines as KvBenchAssign runs them.
inline void KvBenchAssignBesidePanels(benchmark::State& state, DesktopRig& r,
                                      const std::function<std::string(int)>& loadedAs, const std::string& panel,
                                      const std::vector<std::string>& lines) {
  for (int k = 0; k < state.range(0); ++k) {
    const std::string c = "p" + std::to_string(k);
    r.exec("load " + c + " = " + loadedAs(k));
    r.main->ShowPanel(c + "." + panel);
  }
  KvBenchAssign(state, r, lines);
}
