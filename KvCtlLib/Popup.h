#pragma once
// Popup: a pop-up menu whose entries are set by position, each with a caption ("-" is a
// separator) and an enabled flag. Shown at the mouse; Click carries the chosen entry's
// position.

#include <QObject>
#include <QPoint>
#include <QString>
#include <vector>

class QMenu;
class QWidget;

class Popup : public QObject {
  Q_OBJECT

 public:
  explicit Popup(QWidget* parent = nullptr);
  ~Popup() override;

  // Entries between the last one and pos are added empty.
  void SetEntry(int pos, const QString& caption, bool enabled = true);
  int Count() const { return static_cast<int>(entries.size()); }
  QString EntryCaption(int pos) const;
  bool EntryEnabled(int pos) const;
  void Clear();
  // The menu as it will be shown (built from the entries).
  QMenu* Menu();
  // At the mouse; returns when the menu closes.
  void Show();
  void ShowAt(const QPoint& global);
  // As if the user chose the entry at pos (nothing for a separator or disabled entry).
  void Choose(int pos);

 signals:
  void Click(int pos);

 private:
  struct Entry {
    QString caption;
    bool enabled = true;
  };
  std::vector<Entry> entries;
  QMenu* menu;
};
