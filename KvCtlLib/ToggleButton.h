#pragma once
// ToggleButton: a two-state button with a caption and a text colour per state. The state
// (0 off, non-zero on) is its value; Change fires when the user flips it, never when code
// sets it.

#include <QColor>
#include <QPushButton>

class ToggleButton : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(int value READ Value WRITE SetValue USER true)
  Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
  Q_PROPERTY(QString captionon READ CaptionOn WRITE SetCaptionOn)
  Q_PROPERTY(QString captionoff READ CaptionOff WRITE SetCaptionOff)
  Q_PROPERTY(QColor forecoloron READ ForeColorOn WRITE SetForeColorOn)
  Q_PROPERTY(QColor forecoloroff READ ForeColorOff WRITE SetForeColorOff)

 public:
  explicit ToggleButton(QWidget* parent = nullptr);

  int Value() const { return isChecked() ? 1 : 0; }
  void SetValue(int v);
  QString Caption() const { return caption; }
  void SetCaption(const QString& c) { caption = c, refresh(); }
  QString CaptionOn() const { return captionOn; }
  void SetCaptionOn(const QString& c) { captionOn = c, refresh(); }
  QString CaptionOff() const { return captionOff; }
  void SetCaptionOff(const QString& c) { captionOff = c, refresh(); }
  QColor ForeColorOn() const { return colourOn; }
  void SetForeColorOn(const QColor& c) { colourOn = c, refresh(); }
  QColor ForeColorOff() const { return colourOff; }
  void SetForeColorOff(const QColor& c) { colourOff = c, refresh(); }

 signals:
  void Change(int value);

 private:
  QString caption, captionOn, captionOff;
  QColor colourOn, colourOff;
  bool settingFromCode = false;

  void refresh();
};
