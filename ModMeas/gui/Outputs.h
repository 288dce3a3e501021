#pragma once
// KvMeas.Outputs: the measurements of a component, the valid range of the selected one and
// its options (the unit interval's frequency of the data measurements, the start cycle and
// count of the N-cycle jitter); a selection can be dragged to a plot as its measurement list.

#include <QListWidget>
#include <string>
#include <vector>

#include "KvCtlLib/Panel.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class TextUpdown;

// The list of measurements: a drag carries the selected positions as text.
class CMeasList final : public QListWidget {
 public:
  explicit CMeasList(QWidget* parent) : QListWidget(parent) {}
  std::string comp;
  // "SRC:MEAS;COMP:" + comp + ";TYPE:" + each selected 1-based position + " "; empty when
  // nothing is selected.
  QString DragText() const;

 protected:
  QStringList mimeTypes() const override { return {"text/plain"}; }
  // A copy only: a target taking the drag as a move would have the view remove the entries.
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
  QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
};

class CMeasOutputs final : public CPanel {
 public:
  explicit CMeasOutputs(QWidget* parent);

  CMeasList* List() const { return list; }
  QGroupBox* Range() const { return range; }
  QGroupBox* DataOptions() const { return dataOptions; }
  QGroupBox* JncOptions() const { return jncOptions; }
  TextUpdown* Max() const { return max; }
  TextUpdown* Min() const { return min; }
  QLabel* MaxCaption() const { return maxCaption; }
  QLabel* MinCaption() const { return minCaption; }
  TextUpdown* Freq() const { return freq; }
  QCheckBox* Auto() const { return autoFreq; }
  TextUpdown* Start() const { return start; }
  TextUpdown* Cycles() const { return cycles; }
  // The name of the selected measurement ("" before Load).
  const std::string& Selected() const { return selected; }
  // The smallest step of the range fields, from the selected measurement's unit.
  double MinStep() const { return minStep; }

 protected:
  void Fill() override;
  void OnValue(const std::string& key) override;
  void LayOut() override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  CMeasList* list;
  QGroupBox *range, *dataOptions, *jncOptions;
  TextUpdown *max, *min, *freq, *start, *cycles;
  QLabel *maxCaption, *minCaption;
  QCheckBox* autoFreq;
  std::vector<std::string> labels, names;
  std::string selected;
  double minStep = 0.001;
  bool hasJnc = false;

  void select(int row);
};
