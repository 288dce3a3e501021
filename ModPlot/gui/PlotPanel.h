#pragma once
// KvPlot.Plot: the display panel of a plot component. The display fills the panel; the
// component draws into it through the window named by its "hwnd" setting, which Load writes.
// Keys pressed in the display go to "keydown"; texts dropped on it set the horizontal scale
// and offset, or link dragged measurements to the plot's free inputs.

#include <string>
#include <vector>

#include "KvCtlLib/Panel.h"

class CPlotDisplay;

class CPlotPanel final : public CPanel {
 public:
  explicit CPlotPanel(QWidget* parent);

  CPlotDisplay* Display() const { return display; }

  HRESULT GetStyle(GuiStyle* out) override;

  // A dropped text, as the display hands it over: a measurement list links the measurements
  // to free inputs, any other text is read as settings. False when it ended in a fault (which
  // is reported).
  bool Drop(const std::string& text);

  // The size limit of the panel and its image: the screen, and never above 16384 pixels.
  static QSize Limit();

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  CPlotDisplay* display;

  static int pixelsX(double twips);
  static int pixelsY(double twips);
  void dropSettings(const std::string& text);
  void dropMeasurements(const std::string& comp, const std::vector<int32_t>& positions);
  void warn(const std::string& text);
};
