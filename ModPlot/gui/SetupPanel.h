#pragma once
// KvPlot.Setup: the settings panel of a plot component. One waveform (input port) is active;
// the panel shows and edits its vertical scale, offset and position, colour and visibility,
// and the plot's horizontal scale and offset, the automatic modes, the histogram's bins and
// the cursor type. Every per-waveform key is the active port's name + "." + the key.

#include <string>
#include <vector>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QPushButton;
class QTabWidget;
class QToolButton;
class TextUpdown;
class ToggleButton;

class CPlotSetup final : public CPanel {
 public:
  explicit CPlotSetup(QWidget* parent);

  HRESULT GetStyle(GuiStyle* out) override;
  HRESULT get_Caption(std::string* out) override;

  // 1-based; 0 while no waveform is active.
  int Active() const { return active; }
  const std::string& Port() const { return port; }
  // Makes waveform n active (limited to the ports there are) and refreshes the controls; the
  // component is told unless the panel is loading. Nothing happens without ports.
  void Select(int n);

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;

 private:
  TextUpdown *selector, *vscale, *voffset, *vposition, *hscale, *hoffset, *bins;
  QCheckBox *vscaleAuto, *voffsetAuto, *hscaleAuto, *hoffsetAuto, *autoScroll;
  QPushButton* color;
  ToggleButton* visible;
  QTabWidget* tabs;
  QWidget *histoPage, *fftPage;
  QToolButton *vcur, *hcur, *pcur;

  int active = 0;
  std::string port, prefix;
  QColor shownColor;

  // Per-waveform bindings follow the active port.
  std::vector<std::pair<Binding*, std::string>> perPort;

  void refreshControls();
  void refreshCaption();
  void showColor();
  void showVisible();
  void showCursors();
  void showHisto();
  void enableBoxes();
  void selectorChanged(int action);
  void colorClicked();
  void cursorClicked();
  std::vector<std::string> ports();
};
