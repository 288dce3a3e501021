#pragma once
// TextUpdown: a text field for a number with up and down buttons. It reports what the user
// means and leaves the value to its owner: Change(0) step up (button or Up key), Change(1)
// step down, Change(3) revert (Escape), Change(2) commit (Enter, or leaving the field after
// typing). The owner computes the new value, writes it to the engine and sets the text;
// text set from code raises nothing. An element of a control array carries its index.

#include <QWidget>

class QLineEdit;
class QToolButton;

class TextUpdown : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString text READ Text WRITE SetText USER true)

 public:
  explicit TextUpdown(QWidget* parent = nullptr, int index = -1);

  QString Text() const;
  void SetText(const QString& text);
  int Index() const { return index; }
  QLineEdit* Edit() const { return edit; }
  QToolButton* UpButton() const { return up; }
  QToolButton* DownButton() const { return down; }

  enum Action { stepUp = 0, stepDown = 1, commit = 2, revert = 3 };

 signals:
  void Change(int action, int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QLineEdit* edit;
  QToolButton* up;
  QToolButton* down;
  int index;
  bool typed = false;  // the user changed the text since it was last set or committed

  void report(int action);
};
