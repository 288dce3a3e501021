#pragma once
// KvSigGen.SigGen: the panel of a waveform generator. The waveform, its frequency, amplitude,
// offset, sample rate, record length and one shape value whose meaning follows the waveform
// (duty cycle, symmetry, pulse width; the noise kind for noise); behind "More" the
// modulation, freezing and the horizontal offset.

#include <string>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TextUpdown;

class CSigGenPanel final : public CPanel {
 public:
  explicit CSigGenPanel(QWidget* parent);

  // The key the shape field edits: "duty", "symmetry", "width", or "" (sine, or a waveform
  // the panel does not know that came before any of those).
  const std::string& ShapeKey() const { return shapeKey; }

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;

 private:
  QComboBox *type, *noise, *modType;
  TextUpdown *freq, *pk2pk, *offset, *rate, *reclen, *shape, *gain, *horOffset;
  QLabel *shapeCaption, *noiseCaption, *rateCaption, *reclenCaption, *gainCaption, *gainUnit;
  QCheckBox *freeze, *additive, *more;
  QPushButton* resetAngle;
  QGroupBox *modFrame, *horFrame;
  std::string shapeKey;

  // What the waveform decides: the shape field's caption, key and enabling, the noise list;
  // with "More" the modulation list. Runs on a choice, a refresh of "type" and at Load.
  void applyType();
  // What the modulation decides: the gain's unit and which of gain and rate/length is enabled.
  void applyModulation();
  void showShape();
  void shapeChanged(int action);
};
