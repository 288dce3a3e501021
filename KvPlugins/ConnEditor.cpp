#include "KvPlugins/ConnEditor.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/Dialogs.h"
#include "desktop/Twips.h"

namespace {

constexpr int kLocComponents = 5;
constexpr int kLocPorts = 6;
constexpr int kLocCells = 7;
constexpr int kLocModule = 8;
constexpr int kLocPort = 9;
constexpr int kLocAdd = 10;

constexpr int kColPort = 0, kColModule = 1, kColSource = 2;

const CToolWnd::Traits kTraits{"Connection Editor", "ConnEd", "Conn", 6600, 4800, "Wnd\\ConnEditor", 2, false};
const char* const kTitle = "Connection Editor";

QString q(const std::string& s) { return QString::fromStdString(s); }

QTreeWidget* makeList(QWidget* parent, const QStringList& headings, const char* name) {
  auto* l = new QTreeWidget(parent);
  l->setObjectName(name);
  l->setRootIsDecorated(false);
  l->setUniformRowHeights(true);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->setEditTriggers(QAbstractItemView::NoEditTriggers);
  l->setHeaderLabels(headings);
  return l;
}

}  // namespace

KV_PLUGIN("KvPlugins.ConnEditor", CConnEditor)

// ---------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------

CConnEditor::CConnEditor(QWidget* parent)
    : CToolWnd(parent, kTraits),
      modulesCaption(new QLabel("Modules", this)),
      portsCaption(new QLabel("Ports", this)),
      comps(makeList(this, {"Name", "Type"}, "lstModules")),
      outputs(makeList(this, {"Output Ports"}, "lstOutputs")),
      grid(new QTableWidget(0, 3, this)),
      moduleBox(new QComboBox(grid->viewport())),
      portBox(new QComboBox(grid->viewport())),
      libraries(new QComboBox(this)),
      labelEdit(new QLineEdit(this)),
      addButton(new QPushButton("Add", this)),
      focusTimer(new QTimer(this)),
      watch([this](const std::string& comp, const std::string& var) {
        if (KvNet::IsEvent(var, {"loaded", "unloaded"})) {
          guarded(kLocComponents, [&] { RefreshComponents(); });
        } else if (KvNet::IsEvent(var, {"linked", "unlinked"}) && !gridLabel.empty() &&
                   KvNet::SameText(comp, gridLabel)) {
          // Only the sources change: the rows, and a list open over one of them, stay; so
          // does a module chosen for an unlinked input that waits for its port.
          guarded(kLocPorts, [&] {
            for (int r = 0; r < grid->rowCount(); ++r) readRow(r, true);
          });
        }
      }) {
  comps->setColumnWidth(0, KvTwipsToPixels(1200));
  comps->setColumnWidth(1, KvTwipsToPixels(1200));
  grid->setObjectName("grdInputs");
  grid->setHorizontalHeaderLabels({"Input Ports", "Source Module", "Source Port"});
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  moduleBox->setObjectName("cmbSourceModule");
  portBox->setObjectName("cmbSourcePort");
  moduleBox->hide();
  portBox->hide();
  libraries->setObjectName("cmbLibrary");
  labelEdit->setObjectName("txtLabel");
  addButton->setObjectName("cmdAdd");
  focusTimer->setObjectName("tmrFocus");
  focusTimer->setInterval(100);

  auto* add = new QGroupBox("Add Module", this);
  auto* addLayout = new QGridLayout(add);
  addLayout->addWidget(new QLabel("Module", add), 0, 0);
  addLayout->addWidget(libraries, 0, 1);
  addLayout->addWidget(new QLabel("Label", add), 1, 0);
  addLayout->addWidget(labelEdit, 1, 1);
  addLayout->addWidget(addButton, 2, 1, Qt::AlignRight);

  auto* left = new QVBoxLayout;
  left->addWidget(modulesCaption);
  left->addWidget(comps, 1);
  left->addWidget(add);
  auto* ports = new QHBoxLayout;
  ports->addWidget(outputs, 1);
  ports->addWidget(grid, 4);
  auto* right = new QVBoxLayout;
  right->addWidget(portsCaption);
  right->addLayout(ports, 1);
  auto* all = new QHBoxLayout(this);
  all->setContentsMargins(4, 4, 4, 4);
  all->addLayout(left, 5);
  all->addLayout(right, 9);

  connect(comps, &QTreeWidget::itemSelectionChanged, this, [this] { guarded(kLocPorts, [&] { RefreshPorts(); }); });
  connect(grid, &QTableWidget::cellClicked, this, [this](int r, int c) { guarded(kLocCells, [&] { ClickCell(r, c); }); });
  connect(moduleBox, &QComboBox::activated, this, [this](int i) {
    guarded(kLocModule, [&] { ChooseModule(editRow, moduleBox->itemText(i).toStdString()); });
  });
  connect(portBox, &QComboBox::activated, this, [this](int i) {
    guarded(kLocPort, [&] { ChoosePort(editRow, portBox->itemText(i).toStdString()); });
  });
  connect(addButton, &QPushButton::clicked, this, [this] { guarded(kLocAdd, [&] { Add(); }); });
  connect(focusTimer, &QTimer::timeout, this, [this] {
    guarded(kLocCells, [&] {
      focusTimer->stop();
      hideBoxes();
    });
  });
  grid->installEventFilter(this);
  moduleBox->installEventFilter(this);
  portBox->installEventFilter(this);
}

CConnEditor::~CConnEditor() { watch.End(); }

void CConnEditor::started() {
  guarded(kLocComponents, [&] {
    fillLibraries();
    RefreshComponents();
  });
  watch.Begin(app.get());
}

void CConnEditor::ended() {
  watch.End();
  focusTimer->stop();
}

void CConnEditor::fillLibraries() {
  libraries->clear();
  for (const std::string& name : KvNet::Libraries(utils.get())) libraries->addItem(q(name));
  if (libraries->count() > 0) libraries->setCurrentIndex(0);
}

// ---------------------------------------------------------------------------------------
// Refreshes
// ---------------------------------------------------------------------------------------

std::string CConnEditor::selectedLabel() const {
  const QList<QTreeWidgetItem*> s = comps->selectedItems();
  return s.isEmpty() ? std::string() : s.front()->text(0).toStdString();
}

void CConnEditor::RefreshComponents() {
  const std::string keep = selectedLabel();
  hideBoxes();
  {
    const QSignalBlocker quiet(comps);
    moduleBox->clear();
    comps->clear();
    if (app) {
      QList<QTreeWidgetItem*> rows;
      for (const KvNet::Component& c : KvNet::Components(app.get())) {
        rows.append(new QTreeWidgetItem(QStringList{q(c.label), q(c.name)}));
        moduleBox->addItem(q(c.label));
      }
      comps->addTopLevelItems(rows);
      moduleBox->setCurrentIndex(rows.isEmpty() ? -1 : 0);
      // The same component stays selected when it is still there, else the first one is.
      QTreeWidgetItem* pick = rows.isEmpty() ? nullptr : rows.front();
      for (QTreeWidgetItem* row : rows)
        if (!keep.empty() && KvNet::SameText(row->text(0).toStdString(), keep)) {
          pick = row;
          break;
        }
      if (pick) {
        comps->setCurrentItem(pick);
        pick->setSelected(true);
        comps->scrollToItem(pick);
      }
    }
  }
  RefreshPorts();
}

void CConnEditor::RefreshPorts() {
  hideBoxes();
  editRow = -1;
  outputs->clear();
  grid->clearContents();
  grid->setRowCount(0);
  gridLabel = app && comps->topLevelItemCount() > 0 ? selectedLabel() : std::string();
  if (gridLabel.empty()) return;
  long count = 0;
  bool loaded = false;
  app->get_CompCount(&count);
  app->isLoaded(gridLabel, &loaded);
  if (count == 0 || !loaded) return;
  QList<QTreeWidgetItem*> rows;
  for (const std::string& p : KvNet::Ports(app.get(), gridLabel, "oports")) rows.append(new QTreeWidgetItem(QStringList{q(p)}));
  outputs->addTopLevelItems(rows);
  const std::vector<std::string> inputs = KvNet::Ports(app.get(), gridLabel, "iports");
  grid->setRowCount(static_cast<int>(inputs.size()));
  for (int r = 0; r < grid->rowCount(); ++r) {
    setCell(r, kColPort, inputs[static_cast<size_t>(r)]);
    readRow(r);
  }
}

std::string CConnEditor::cell(int row, int column) const {
  const QTableWidgetItem* item = grid->item(row, column);
  return item ? item->text().toStdString() : std::string();
}

void CConnEditor::setCell(int row, int column, const std::string& text) {
  if (QTableWidgetItem* item = grid->item(row, column))
    item->setText(q(text));
  else
    grid->setItem(row, column, new QTableWidgetItem(q(text)));
}

void CConnEditor::readRow(int row, bool keepPending) {
  if (row < 0 || row >= grid->rowCount()) return;
  // As every reader of the network here, the count first: the query then concerns the
  // network it counted, and none is asked of an empty one.
  long count = 0;
  app->get_CompCount(&count);
  const auto source = count > 0 ? KvNet::InputSource(app.get(), gridLabel, cell(row, kColPort)) : std::nullopt;
  if (!source && keepPending && cell(row, kColSource).empty()) return;
  setCell(row, kColModule, source ? source->label : std::string());
  setCell(row, kColSource, source ? source->port : std::string());
}

// ---------------------------------------------------------------------------------------
// Cell editing
// ---------------------------------------------------------------------------------------

void CConnEditor::hideBoxes() {
  moduleBox->hide();
  portBox->hide();
}

void CConnEditor::fillPorts(QComboBox* box, const std::string& module) {
  box->clear();
  if (!module.empty())
    for (const std::string& p : KvNet::Ports(app.get(), module, "oports")) box->addItem(q(p));
  box->setCurrentIndex(-1);
}

void CConnEditor::placeBox(QComboBox* box, int row, int column) {
  const QRect r = grid->visualRect(grid->model()->index(row, column));
  box->setGeometry(r.left(), r.top(), r.width(), std::max(r.height(), box->sizeHint().height()));
  box->setCurrentIndex(box->findText(q(cell(row, column)), Qt::MatchFixedString));
  box->show();
  box->raise();
}

void CConnEditor::ClickCell(int row, int column) {
  hideBoxes();
  editRow = -1;
  if (row < 0 || row >= grid->rowCount()) return;
  int cells = 0;
  for (const QTableWidgetSelectionRange& s : grid->selectedRanges()) cells += s.rowCount() * s.columnCount();
  if (cells > 1) return;
  if (column == kColModule) {
    editRow = row;
    placeBox(moduleBox, row, column);
  } else if (column == kColSource) {
    // The ports offered are those of this row's source module, whatever was chosen elsewhere.
    editRow = row;
    fillPorts(portBox, cell(row, kColModule));
    placeBox(portBox, row, column);
  }
}

bool CConnEditor::send(const std::string& line) {
  std::string answer;
  long result = -1;
  app->Execute(line, &answer, &result);
  if (result >= 0) return true;
  CDialogs::Get().MsgBox(answer, DlgButtons::ok, DlgIcon::information, kTitle);
  return false;
}

void CConnEditor::ChooseModule(int row, const std::string& module) {
  if (!app || row < 0 || row >= grid->rowCount()) return;
  if (module == cell(row, kColModule)) return;
  const std::string input = cell(row, kColPort);
  // The engine's link, not the cell, decides whether there is something to unlink.
  if (!gridLabel.empty() && KvNet::InputSource(app.get(), gridLabel, input)) {
    if (!send("unlink " + gridLabel + "." + input)) {
      hideBoxes();
      readRow(row);
      return;
    }
  }
  setCell(row, kColModule, module);
  setCell(row, kColSource, "");
  fillPorts(portBox, module);
}

void CConnEditor::ChoosePort(int row, const std::string& port) {
  if (!app || row < 0 || row >= grid->rowCount()) return;
  setCell(row, kColSource, port);
  const std::string input = cell(row, kColPort);
  const std::string module = cell(row, kColModule);
  if (!input.empty() && !gridLabel.empty() && !module.empty() && !port.empty())
    send("link " + gridLabel + "." + input + "=" + module + "." + port);
  // Taken or refused, the row shows what the engine now has.
  readRow(row);
}

// ---------------------------------------------------------------------------------------
// Adding a component
// ---------------------------------------------------------------------------------------

void CConnEditor::Add() {
  if (!app) return;
  const std::string label = labelEdit->text().trimmed().toStdString();
  if (label.empty()) {
    CDialogs::Get().MsgBox("No label specified", DlgButtons::ok, DlgIcon::none, kTitle);
    return;
  }
  // Sent as a script line: a label must not carry more of one ("=", "//", blanks).
  if (!KvNet::ValidLabel(label)) {
    CDialogs::Get().MsgBox("Invalid component name \"" + label + "\"", DlgButtons::ok, DlgIcon::information, kTitle);
    return;
  }
  const std::string library = libraries->currentText().toStdString();
  if (library.empty()) return;
  // The lists follow from the engine's "loaded" notice.
  send("load " + label + "=" + library);
}

// ---------------------------------------------------------------------------------------
// Focus rules for the drop-down lists
// ---------------------------------------------------------------------------------------

bool CConnEditor::eventFilter(QObject* watched, QEvent* e) {
  const QEvent::Type t = e->type();
  if (t == QEvent::FocusIn || t == QEvent::FocusOut) {
    const bool popup = static_cast<QFocusEvent*>(e)->reason() == Qt::PopupFocusReason;
    guarded(kLocCells, [&] {
      if (watched == grid && t == QEvent::FocusOut && !popup) {
        focusTimer->start();
      } else if (watched == moduleBox || watched == portBox) {
        if (t == QEvent::FocusIn)
          focusTimer->stop();
        else if (!popup)
          static_cast<QWidget*>(watched)->hide();
      }
    });
  }
  return CToolWnd::eventFilter(watched, e);
}
