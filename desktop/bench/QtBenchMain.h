#pragma once
// The main of a desktop benchmark program: off screen, with the engine's queue worked off on
// the Qt loop, as the program runs it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>

#include "desktop/QtWnd.h"

#define KV_QT_BENCH_MAIN()                      \
  int main(int argc, char** argv) {             \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  \
    QApplication app(argc, argv);               \
    KvQtInstallPump();                          \
    benchmark::Initialize(&argc, argv);         \
    benchmark::RunSpecifiedBenchmarks();        \
    benchmark::Shutdown();                      \
    KvQtRemovePump();                           \
    return 0;                                   \
  }
