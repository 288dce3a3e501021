#pragma once
// CConnEditor ("KvPlugins.ConnEditor"): loads components and edits the source of each input
// of one component. The component list picks the component; its output ports are listed
// and its inputs fill the grid, whose source cells are edited through a drop-down list
// placed over the clicked cell. Every change is a script line through IApp.Execute; a
// refusal is shown to the user and the row is read again from the engine, so the grid
// never shows a link the engine does not have.
//
// User-interface thread only.

#include <string>

#include "KvPlugins/Network.h"
#include "KvPlugins/ToolWnd.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class QTreeWidget;

class CConnEditor final : public CToolWnd {
 public:
  explicit CConnEditor(QWidget* parent = nullptr);
  ~CConnEditor() override;

  // The component list again (the selection kept by label), then the selected one's ports.
  void RefreshComponents();
  // The output ports and the input grid of the selected component.
  void RefreshPorts();
  // A click on a grid cell (row from 0; column 1 source module, 2 source port).
  void ClickCell(int row, int column);
  // The user's choices in the two drop-down lists for a grid row.
  void ChooseModule(int row, const std::string& module);
  void ChoosePort(int row, const std::string& port);
  // The "Add" button.
  void Add();

 protected:
  void started() override;
  void ended() override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QLabel* modulesCaption;
  QLabel* portsCaption;
  QTreeWidget* comps;
  QTreeWidget* outputs;
  QTableWidget* grid;
  QComboBox* moduleBox;
  QComboBox* portBox;
  QComboBox* libraries;
  QLineEdit* labelEdit;
  QPushButton* addButton;
  QTimer* focusTimer;
  KvNet::Watch watch;
  std::string gridLabel;  // the component whose ports the grid shows
  int editRow = -1;  // the grid row the drop-down lists were placed over

  std::string selectedLabel() const;
  std::string cell(int row, int column) const;
  void setCell(int row, int column, const std::string& text);
  // Columns 1 and 2 of a row from the engine's answer for its input. keepPending leaves a
  // module chosen for an input the engine has unlinked, while no port is chosen yet.
  void readRow(int row, bool keepPending = false);
  void hideBoxes();
  void placeBox(QComboBox* box, int row, int column);
  void fillPorts(QComboBox* box, const std::string& module);
  // Sends a change; a refusal is shown with its response. True when the engine took it.
  bool send(const std::string& line);
  void fillLibraries();
};
