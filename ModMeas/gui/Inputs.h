#pragma once
// KvMeas.Inputs: the threshold settings of a measurement component's three input channels
// (clock, data, control), one frame per channel, with the falling-edge offsets under "More".

#include <QString>
#include <array>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMimeData;
class TextUpdown;

class CMeasInputs final : public CPanel {
 public:
  explicit CMeasInputs(QWidget* parent);

  static constexpr const char* kDragText = "SRC:INPUT;SYS:";
  // What a drag from the panel carries.
  static QMimeData* DragData();

  // Per channel: 0 clock, 1 data, 2 control.
  struct Channel {
    const char* prefix;  // "ck.", "dt.", "ctl."
    QGroupBox* frame;
    QGroupBox* offsets;  // "Falling Edge Threshold Offsets:"
    QComboBox* edge;
    TextUpdown* rise[3];  // high, mid, low
    TextUpdown* hysteresis;
    TextUpdown* fall[3];
    bool visible = true;
  };
  const Channel& channel(int c) const { return channels[static_cast<size_t>(c)]; }
  QCheckBox* More() const { return more; }
  QLabel* Help() const { return help; }

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  std::array<Channel, 3> channels;
  QCheckBox* more;
  QLabel* help;
  QPoint pressedAt;
  bool pressed = false;
};
