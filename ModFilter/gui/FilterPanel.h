#pragma once
// KvFilter.Filter: the panel of a digital filter. The filter type (FIR or IIR); on the first tab
// the coefficient lists, edited and then applied or cancelled; on the second an FIR design from
// a frequency response; behind "More" cascading, gains, decimation, continuity, bypass and a
// reset of the filter's state.

#include <string>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TextUpdown;
class ToggleButton;

class CFilterPanel final : public CPanel {
 public:
  explicit CFilterPanel(QWidget* parent);

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;

 private:
  QComboBox *type, *delimiter, *response, *window, *freqType;
  QTabWidget* tabs;
  QPlainTextEdit *coeffs, *yCoeffs;
  QLabel *coeffsCaption, *yCoeffsCaption, *freq2Caption;
  QPushButton *apply, *cancel, *reset;
  TextUpdown *order, *freq1, *freq2, *stages, *stageGain, *gain, *decimation;
  QCheckBox *continuous, *more;
  ToggleButton* bypass;
  QWidget* moreArea;
  bool iir = false;
  bool filling = false;  // boxes, tabs and lists set from code: not the user's edits

  // What the type decides: the second box and the boxes' tips; never writes.
  void applyType();
  // The boxes from the engine, unless unapplied edits are kept.
  void showCoeffs(bool keepEdits);
  void showCounts();
  void showFreqType();
  void showFreqMode();
  // The second band edge is for responses between two edges.
  void applyResponse();
  void setEdited(bool edited);
  void applyCoeffs();
};
