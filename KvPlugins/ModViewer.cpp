#include "KvPlugins/ModViewer.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "KvCtlLib/Popup.h"

namespace {

constexpr int kLocRebuild = 5;
constexpr int kLocEvent = 6;
constexpr int kLocMenu = 7;
constexpr int kLocDoubleClick = 8;

const CToolWnd::Traits kTraits{"Module List", "Modules", "Comp", 3600, 3900, "Wnd\\ModViewer", 5, false};

}  // namespace

KV_PLUGIN("KvPlugins.ModViewer", CModViewer)

CModViewer::CModViewer(QWidget* parent)
    : CToolWnd(parent, kTraits),
      list(new QTreeWidget(this)),
      menu(new Popup(this)),
      watch([this](const std::string&, const std::string& var) {
        guarded(kLocEvent, [&] {
          if (KvNet::IsEvent(var, {"loaded", "unloaded"})) Rebuild();
        });
      }) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list);
  list->setObjectName("lstModules");
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);  // a large network lays its rows out at once
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHeaderLabels({"Mod Name", "Mod Type"});
  list->viewport()->installEventFilter(this);
  menu->SetEntry(0, "&Refresh");
  connect(menu, &Popup::Click, this, [this](int) { guarded(kLocMenu, [&] { Rebuild(); }); });
  // A double click reads the row and does nothing further.
  connect(list, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { guarded(kLocDoubleClick, [&] { (void)(item ? item->text(0) : QString()); }); });
}

CModViewer::~CModViewer() { watch.End(); }

void CModViewer::started() {
  guarded(kLocRebuild, [&] { Rebuild(); });
  watch.Begin(app.get());
}

void CModViewer::ended() { watch.End(); }

void CModViewer::Rebuild() {
  list->clear();
  list->setHeaderLabels({"Mod Name", "Mod Type"});
  if (!app) return;
  const std::vector<KvNet::Component> comps = KvNet::Components(app.get());
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(comps.size()));
  for (const KvNet::Component& c : comps)
    rows.append(new QTreeWidgetItem(
        QStringList{QString::fromStdString(c.label), QString::fromStdString(KvNet::TypeOf(c.name))}));
  list->addTopLevelItems(rows);
}

bool CModViewer::eventFilter(QObject* watched, QEvent* e) {
  if (watched == list->viewport() && e->type() == QEvent::ContextMenu) {
    menu->ShowAt(static_cast<QContextMenuEvent*>(e)->globalPos());
    return true;
  }
  return CToolWnd::eventFilter(watched, e);
}
