#pragma once
// The New dialog: the kinds of document the workbench makes, each with a key, a caption and
// an icon. OK (or a double click on a kind) accepts only with a kind selected.

#include <QDialog>
#include <string>

class QListWidget;

class CNewDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit CNewDialog(const std::string& title, QWidget* parent = nullptr);
  // "SCHDOC", "KVDOC", or "" while none is selected.
  std::string SelectedKey() const;
  QListWidget* List() const { return list; }

 public slots:
  void accept() override;

 private:
  QListWidget* list;
};
