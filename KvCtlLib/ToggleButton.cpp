#include "KvCtlLib/ToggleButton.h"

ToggleButton::ToggleButton(QWidget* parent) : QPushButton(parent) {
  setCheckable(true);
  connect(this, &QPushButton::toggled, this, [this](bool) {
    refresh();
    if (!settingFromCode) emit Change(Value());
  });
  refresh();
}

void ToggleButton::SetValue(int v) {
  settingFromCode = true;
  setChecked(v != 0);
  settingFromCode = false;
  refresh();
}

// A state's own caption when it has one, else the common caption.
void ToggleButton::refresh() {
  const bool on = isChecked();
  const QString& own = on ? captionOn : captionOff;
  setText(own.isEmpty() ? caption : own);
  const QColor& colour = on ? colourOn : colourOff;
  QPalette p = palette();
  if (colour.isValid()) p.setColor(QPalette::ButtonText, colour);
  setPalette(p);
}
