#pragma once
// The plot panels on the real shell, engine, plot module and measurement module, off screen.

#include <QMimeData>
#include <QtTest>
#include <string>

#include "ModMeas/gui/tests/MeasPanelRig.h"
#include "ModPlot/gui/PlotDisplay.h"
#include "ModPlot/gui/PlotPanel.h"
#include "ModPlot/gui/SetupPanel.h"

struct PlotRig : PanelRig {
  using PanelRig::PanelRig;
  // A plot component of that many inputs ("plot" or "plot.8") with a panel shown.
  template <class Panel>
  Panel* plot(const std::string& comp, const std::string& kind, const char* panel) {
    return dynamic_cast<Panel*>(show(comp, kind, panel));
  }
  CPlotPanel* display(const std::string& comp = "p", const std::string& kind = "plot") {
    return plot<CPlotPanel>(comp, kind, "plot");
  }
  CPlotSetup* setup(const std::string& comp = "p", const std::string& kind = "plot") {
    return plot<CPlotSetup>(comp, kind, "setup");
  }
  std::string answer(const std::string& line) {
    std::string a;
    long res = -1;
    main->App()->Execute(line, &a, &res);
    return a;
  }
};
