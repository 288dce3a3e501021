#pragma once
// CSchAddDialog: the Add Component dialog, titled "Dialog": the installed functions in a
// sorted list, OK and Cancel; a double click on an entry is OK. Shown through the shell's
// dialog service, so a test scripts it.
//
// User-interface thread only.

#include <QDialog>
#include <QString>
#include <string>

class QListWidget;
class IUtils;

class CSchAddDialog final : public QDialog {
  Q_OBJECT

 public:
  // modList: the entries separated by "," (IUtils.InstalledModList).
  explicit CSchAddDialog(const std::string& modList, QWidget* parent = nullptr);

  QListWidget* List() const { return list_; }
  // The selected entry; empty when nothing is selected.
  QString Choice() const;

  // Runs the dialog on the engine's list: the chosen entry, or empty (cancelled, nothing
  // chosen, or no list to show).
  static QString Run(IUtils* utils, QWidget* parent);

 private:
  QListWidget* list_;
};
