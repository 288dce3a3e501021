#include "desktop/NewDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

CNewDialog::CNewDialog(const std::string& title, QWidget* parent) : QDialog(parent) {
  setObjectName("frmNew");
  setWindowTitle("New");
  auto* layout = new QVBoxLayout(this);
  list = new QListWidget(this);
  list->setObjectName("lvwNew");
  list->setViewMode(QListView::IconMode);
  list->setIconSize(QSize(32, 32));
  list->setGridSize(QSize(110, 70));
  list->setMovement(QListView::Static);
  list->setWordWrap(true);
  const struct {
    const char* key;
    std::string caption;
    QStyle::StandardPixmap icon;  // the kind's icon: 1 the drawing, 2 the script
  } kinds[] = {{"SCHDOC", "Schematic", QStyle::SP_FileDialogDetailedView},
               {"KVDOC", title + " Script", QStyle::SP_FileIcon}};
  for (const auto& k : kinds) {
    auto* item = new QListWidgetItem(style()->standardIcon(k.icon), QString::fromStdString(k.caption), list);
    item->setData(Qt::UserRole, QString::fromLatin1(k.key));
  }
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("buttons");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CNewDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CNewDialog::reject);
  connect(list, &QListWidget::itemDoubleClicked, this, &CNewDialog::accept);
  resize(300, 180);
}

std::string CNewDialog::SelectedKey() const {
  const QList<QListWidgetItem*> chosen = list->selectedItems();
  return chosen.isEmpty() ? std::string() : chosen.front()->data(Qt::UserRole).toString().toStdString();
}

void CNewDialog::accept() {
  if (SelectedKey().empty()) return;  // nothing chosen: OK does nothing
  QDialog::accept();
}
