#pragma once
// KvText.Import and KvText.Export: the panels of the text-file reader and writer. Both name
// the file and say how the samples lie in it (X axis or not, by column or by row, the column
// separator); the reader's panel adds the lines and values to skip, the horizontal
// multiplier and, under "More", the horizontal offset.
//
// The file name and the separator are written when editing ends (Enter, leaving the box) or
// when "Browse" picks a file, never per keystroke: a running writer would otherwise write a
// file for every typed prefix, and a separator word ("Tab") would be refused letter by letter.
// Faults before the panel has the engine go to a critical message box titled with the label.

#include <string>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TextUpdown;

class CTextPanel final : public CPanel {
 public:
  enum class Kind { import, exportFile };
  CTextPanel(QWidget* parent, Kind kind);

  Kind PanelKind() const { return kind; }

  // The filter of the file dialog, in the dialog service's form.
  static const char* const kFilter;

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;
  void ReportWithoutUtils(long number, const PanelError& e) override;

 private:
  // A pair of options for a flag: the first stands for 0, the second for 1.
  struct Option {
    std::string key;
    QRadioButton* first;
    QRadioButton* second;
    long handler;
  };
  // A whole-number box written as it is typed: a text that is no number turns back to "0".
  struct Skip {
    std::string key;
    QLineEdit* box;
    long handler;
  };

  void bindOption(Option& o);
  void showOption(Option& o);
  void chooseOption(Option& o, int32_t value);
  void bindSkip(Skip& s);
  void showSkip(Skip& s);
  void skipEdited(Skip& s);
  void browse();

  Kind kind;
  QLineEdit* fileName;
  QPushButton* browseButton;
  Option xaxis, dataorg;
  QLineEdit* sepCol;
  // The reader's only (null in the writer's panel).
  Skip skipLines{}, skipValues{};
  TextUpdown* xincr = nullptr;
  QGroupBox* offsetFrame = nullptr;
  TextUpdown* offset = nullptr;
  QCheckBox* additive = nullptr;
  QCheckBox* more = nullptr;
};
