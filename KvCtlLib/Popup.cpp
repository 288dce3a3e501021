#include "KvCtlLib/Popup.h"

#include <QCursor>
#include <QMenu>

Popup::Popup(QWidget* parent) : QObject(parent), menu(new QMenu(parent)) {}

Popup::~Popup() { delete menu; }

void Popup::SetEntry(int pos, const QString& caption, bool enabled) {
  if (pos < 0) return;
  if (pos >= Count()) entries.resize(static_cast<size_t>(pos) + 1);
  entries[static_cast<size_t>(pos)] = Entry{caption, enabled};
}

QString Popup::EntryCaption(int pos) const {
  return pos >= 0 && pos < Count() ? entries[static_cast<size_t>(pos)].caption : QString();
}

bool Popup::EntryEnabled(int pos) const { return pos >= 0 && pos < Count() && entries[static_cast<size_t>(pos)].enabled; }

void Popup::Clear() { entries.clear(); }

QMenu* Popup::Menu() {
  menu->clear();
  for (int i = 0; i < Count(); ++i) {
    const Entry& e = entries[static_cast<size_t>(i)];
    if (e.caption == "-") {
      menu->addSeparator();
      continue;
    }
    QAction* a = menu->addAction(e.caption);
    a->setEnabled(e.enabled);
    connect(a, &QAction::triggered, this, [this, i] { emit Click(i); });
  }
  return menu;
}

void Popup::Show() { ShowAt(QCursor::pos()); }

void Popup::ShowAt(const QPoint& global) { Menu()->exec(global); }

void Popup::Choose(int pos) {
  if (!EntryEnabled(pos) || entries[static_cast<size_t>(pos)].caption == "-") return;
  emit Click(pos);
}
