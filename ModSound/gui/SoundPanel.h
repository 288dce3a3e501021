#pragma once
// KvSound.Import and KvSound.Export: the panels of the sound-card input (recording) and
// output (playing) components. One class for both directions: the device, mono or stereo,
// the per-channel calibration, the sample rate, the record length and its sweep time; the
// input adds freeze and, behind "More", a horizontal offset; the output adds the rate
// override and "Stop Playing".

#include <array>
#include <vector>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TextUpdown;

class CSoundPanel final : public CPanel {
 public:
  CSoundPanel(QWidget* parent, bool capture);

  // The entry the device list shows when the component answers no device.
  static constexpr const char* kNoDevices = "No devices found";

  // The fixed rates the sample-rate field steps through.
  const std::vector<double>& Ladder() const;
  // The next rate of the ladder above (up) or below v; v itself when there is none.
  static double NextRate(const std::vector<double>& ladder, double v, bool up);

  bool Capture() const { return capture; }

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;

 private:
  long number(long n) const { return (capture ? 126000 : 126100) + n; }
  void fillDevices();
  void showDevice();
  void showStereo();
  void showSweep();
  void showCaption();
  void deviceChosen(int index);
  void stereoClicked();
  void sweepChanged(int action);
  void stopClicked();

  const bool capture;
  bool updating = false;  // set while a change of the engine is shown: handlers then do nothing
  QLabel* deviceCaption;
  QComboBox* devices;
  bool haveDevices = false;
  QWidget* mode;  // the "Mode" frame on the input panel, a plain holder on the output panel
  QRadioButton* mono;
  QRadioButton* stereo;
  QGroupBox* calibration;
  std::array<TextUpdown*, 2> gain{}, offset{};
  TextUpdown* rate;
  TextUpdown* recLen;
  TextUpdown* sweep;
  // input only
  QCheckBox* freeze = nullptr;
  QCheckBox* more = nullptr;
  QGroupBox* horOffset = nullptr;
  // output only
  QCheckBox* rateOverride = nullptr;
  QPushButton* stop = nullptr;
};
