#include "KvSch/ctl/SchDialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

#include "KvCore/KvApi.h"
#include "desktop/Dialogs.h"

CSchAddDialog::CSchAddDialog(const std::string& modList, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle("Dialog");
  setObjectName("SchAddDialog");
  QStringList entries;
  for (const QString& s : QString::fromStdString(modList).split(',', Qt::SkipEmptyParts)) entries << s;
  // A list box sorts without regard to case; equal entries keep their order.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  list_->addItems(entries);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    list_->setCurrentItem(item);
    accept();
  });
}

QString CSchAddDialog::Choice() const {
  const QList<QListWidgetItem*> sel = list_->selectedItems();
  return sel.isEmpty() ? QString() : sel.front()->text();
}

QString CSchAddDialog::Run(IUtils* utils, QWidget* parent) {
  std::string list;
  if (utils) utils->get_InstalledModList(&list);
  CSchAddDialog dlg(list, parent);
  if (CDialogs::Get().Exec(dlg) != QDialog::Accepted) return QString();
  return dlg.Choice();
}
