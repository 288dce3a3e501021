#include "KvCtlLib/TextUpdown.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

TextUpdown::TextUpdown(QWidget* parent, int i)
    : QWidget(parent), edit(new QLineEdit(this)), up(new QToolButton(this)), down(new QToolButton(this)), index(i) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(edit, 1);
  auto* buttons = new QVBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(0);
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) {
    b->setFixedSize(14, 10);
    b->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(b);
  }
  row->addLayout(buttons);
  edit->installEventFilter(this);
  connect(up, &QToolButton::clicked, this, [this] { report(stepUp); });
  connect(down, &QToolButton::clicked, this, [this] { report(stepDown); });
  connect(edit, &QLineEdit::textEdited, this, [this] { typed = true; });
}

QString TextUpdown::Text() const { return edit->text(); }

void TextUpdown::SetText(const QString& text) {
  edit->setText(text);
  typed = false;
}

void TextUpdown::report(int action) {
  if (action == commit || action == revert) typed = false;
  emit Change(action, index);
}

bool TextUpdown::eventFilter(QObject* watched, QEvent* e) {
  if (watched != edit) return QWidget::eventFilter(watched, e);
  if (e->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(e)->key()) {
      case Qt::Key_Up: report(stepUp); return true;
      case Qt::Key_Down: report(stepDown); return true;
      case Qt::Key_Escape: report(revert); return true;
      case Qt::Key_Return:
      case Qt::Key_Enter: report(commit); return true;
      default: break;
    }
  } else if (e->type() == QEvent::FocusOut && typed) {
    // Leaving the field keeps what was typed; leaving it untouched means nothing.
    report(commit);
  }
  return QWidget::eventFilter(watched, e);
}
