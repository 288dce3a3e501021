#include "KvPlugins/ConnViewer.h"

#include <QContextMenuEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "KvCtlLib/Popup.h"

namespace {

constexpr int kLocRebuild = 5;
constexpr int kLocEvent = 6;
constexpr int kLocMenu = 7;

const CToolWnd::Traits kTraits{"Connection List", "ConnLst", "Conn", 3000, 3000, "Wnd\\ConnViewer", 2, false};

}  // namespace

KV_PLUGIN("KvPlugins.ConnViewer", CConnViewer)

CConnViewer::CConnViewer(QWidget* parent)
    : CToolWnd(parent, kTraits),
      list(new QTreeWidget(this)),
      menu(new Popup(this)),
      watch([this](const std::string&, const std::string& var) {
        guarded(kLocEvent, [&] {
          if (KvNet::IsEvent(var, {"loaded", "unloaded", "linked", "unlinked"})) Rebuild();
        });
      }) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list);
  list->setObjectName("lstConnections");
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHeaderLabels({"Input", "Output"});
  list->viewport()->installEventFilter(this);
  menu->SetEntry(0, "&Refresh");
  connect(menu, &Popup::Click, this, [this](int) { guarded(kLocMenu, [&] { Rebuild(); }); });
}

CConnViewer::~CConnViewer() { watch.End(); }

void CConnViewer::started() {
  guarded(kLocRebuild, [&] { Rebuild(); });
  watch.Begin(app.get());
}

void CConnViewer::ended() { watch.End(); }

void CConnViewer::Rebuild() {
  const QTreeWidgetItem* current = list->currentItem();
  const QString selected = current && current->isSelected() ? current->text(0) : QString();
  list->clear();
  if (!app) return;
  QList<QTreeWidgetItem*> rows;
  // The port queries come after the component count, so they ask about the network it counted.
  for (const KvNet::Component& c : KvNet::Components(app.get()))
    for (const std::string& port : KvNet::Ports(app.get(), c.label, "iports"))
      if (const auto source = KvNet::InputSource(app.get(), c.label, port))
        rows.append(new QTreeWidgetItem(
            QStringList{QString::fromStdString(c.label + "." + port), QString::fromStdString(source->text())}));
  list->addTopLevelItems(rows);
  if (selected.isEmpty()) return;
  for (QTreeWidgetItem* row : rows)
    if (row->text(0) == selected) {
      list->setCurrentItem(row);
      break;
    }
}

bool CConnViewer::eventFilter(QObject* watched, QEvent* e) {
  if (watched == list->viewport() && e->type() == QEvent::ContextMenu) {
    menu->ShowAt(static_cast<QContextMenuEvent*>(e)->globalPos());
    return true;
  }
  return CToolWnd::eventFilter(watched, e);
}
