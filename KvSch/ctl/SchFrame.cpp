#include "KvSch/ctl/SchFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

#include "KvSch/ctl/SchPort.h"
#include "KvSch/ctl/SchUndo.h"
#include "KvSch/ctl/SchView.h"
#include "desktop/Guard.h"

namespace {
constexpr long kLocTool = 430201, kLocRefresh = 430202, kLocDelete = 430203, kLocUndo = 430204, kLocRedo = 430205;

// Small drawn icons, so the toolbar needs no image files.
QIcon drawnIcon(int which) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  switch (which) {
    case 0: {  // an arrow
      QPainterPath a;
      a.moveTo(4, 1);
      a.lineTo(4, 14);
      a.lineTo(7, 11);
      a.lineTo(10, 15);
      a.lineTo(12, 14);
      a.lineTo(9, 10);
      a.lineTo(13, 10);
      a.closeSubpath();
      p.fillPath(a, Qt::black);
      break;
    }
    case 1:  // a box with two pins
      p.setPen(QPen(QColor(0, 128, 128), 1.5));
      p.drawLine(0, 8, 4, 8);
      p.drawLine(12, 8, 16, 8);
      p.setPen(QPen(QColor(0, 150, 150), 1.5));
      p.drawRect(4, 3, 8, 10);
      break;
    case 2:  // a wire with a corner
      p.setPen(QPen(QColor(192, 0, 0), 2));
      p.drawLine(1, 4, 9, 4);
      p.drawLine(9, 4, 9, 13);
      p.drawLine(9, 13, 15, 13);
      p.fillRect(7, 2, 5, 5, QColor(192, 0, 0));
      break;
  }
  return QIcon(pm);
}
}  // namespace

CSchFrame::CSchFrame(CSchEdit& edit, CSchAppPort* port, CSchUndo* undo, QWidget* parent)
    : QWidget(parent),
      view_(new CSchView(edit, port, undo, this)),
      bar_(new QToolBar(this)),
      tools_(new QActionGroup(this)),
      undo_(undo),
      port_(port) {
  setObjectName("SchFrame");
  bar_->setObjectName("SchToolBar");
  bar_->setIconSize(QSize(16, 16));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bar_);
  layout->addWidget(view_, 1);

  auto utils = [this] { return port_ ? port_->Utils() : nullptr; };

  // The tools: a radio group; the view says which tool is current.
  tools_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  const struct {
    const char* tip;
    int tool;
  } toolButtons[] = {
      {"Select Object", CSchView::tlSelect}, {"Add Component", CSchView::tlComponent}, {"Add Wire", CSchView::tlWire}};
  for (const auto& t : toolButtons) {
    QAction* a = bar_->addAction(drawnIcon(t.tool), t.tip);
    a->setToolTip(t.tip);
    a->setStatusTip(t.tip);
    a->setCheckable(true);
    a->setData(t.tool);
    tools_->addAction(a);
    connect(a, &QAction::triggered, this, [this, utils, tool = t.tool] {
      KvGuarded(utils(), kLocTool, [&] { view_->SetTool(tool); });
      showTool(view_->CurrentTool());
    });
  }
  connect(view_, &CSchView::toolChanged, this, &CSchFrame::showTool);
  showTool(view_->CurrentTool());

  bar_->addSeparator();
  QAction* refresh = bar_->addAction(style()->standardIcon(QStyle::SP_BrowserReload), "Refresh");
  refresh->setToolTip("Refresh");
  refresh->setStatusTip("Refresh");
  connect(refresh, &QAction::triggered, this,
          [this, utils] { KvGuarded(utils(), kLocRefresh, [&] { view_->Refresh(); }); });

  bar_->addSeparator();
  QAction* del = bar_->addAction(style()->standardIcon(QStyle::SP_DialogDiscardButton), "Delete Selected Object");
  del->setToolTip("Delete Selected Object");
  del->setStatusTip("Delete Selected Object");
  connect(del, &QAction::triggered, this,
          [this, utils] { KvGuarded(utils(), kLocDelete, [&] { view_->DeleteSelected(); }); });

  bar_->addSeparator();
  QAction* u = bar_->addAction(style()->standardIcon(QStyle::SP_ArrowBack), "Undo");
  QAction* r = bar_->addAction(style()->standardIcon(QStyle::SP_ArrowForward), "Redo");
  u->setToolTip("Undo");
  r->setToolTip("Redo");
  u->setStatusTip("Undo");
  r->setStatusTip("Redo");
  u->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  r->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  for (QAction* a : {u, r}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);  // the shortcuts work wherever the focus is inside the frame
  }
  connect(u, &QAction::triggered, this, [this, utils] { KvGuarded(utils(), kLocUndo, [&] { Undo(); }); });
  connect(r, &QAction::triggered, this, [this, utils] { KvGuarded(utils(), kLocRedo, [&] { Redo(); }); });
  if (undo_ && undo_->Stack()) {
    QUndoStack* s = undo_->Stack();
    u->setEnabled(s->canUndo());
    r->setEnabled(s->canRedo());
    connect(s, &QUndoStack::canUndoChanged, u, &QAction::setEnabled);
    connect(s, &QUndoStack::canRedoChanged, r, &QAction::setEnabled);
  } else {
    u->setEnabled(false);
    r->setEnabled(false);
  }
  setFocusProxy(view_);
}

QAction* CSchFrame::Action(const QString& tip) const {
  for (QAction* a : bar_->actions())
    if (!a->isSeparator() && a->toolTip() == tip) return a;
  return nullptr;
}

void CSchFrame::showTool(int tool) {
  for (QAction* a : tools_->actions()) a->setChecked(a->data().toInt() == tool);
}

bool CSchFrame::Undo() {
  if (!undo_) return false;
  view_->EndAction();
  const bool done = undo_->Undo();
  view_->Refresh();
  return done;
}

bool CSchFrame::Redo() {
  if (!undo_) return false;
  view_->EndAction();
  const bool done = undo_->Redo();
  view_->Refresh();
  return done;
}
