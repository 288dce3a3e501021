// The plot panels' control library: registers the display and settings panels with the shell.

#include "KvCtlLib/Registry.h"
#include "ModPlot/gui/PlotPanel.h"
#include "ModPlot/gui/SetupPanel.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvPlot.Plot", [](QWidget* parent) -> QWidget* { return new CPlotPanel(parent); });
  registry->Add("KvPlot.Setup", [](QWidget* parent) -> QWidget* { return new CPlotSetup(parent); });
}
