#pragma once
// CModViewer ("KvPlugins.ModViewer"): the components loaded in the engine, one row each
// (label, type), rebuilt whenever the engine loads or unloads one.
//
// User-interface thread only.

#include "KvPlugins/Network.h"
#include "KvPlugins/ToolWnd.h"

class QTreeWidget;
class Popup;

class CModViewer final : public CToolWnd {
 public:
  explicit CModViewer(QWidget* parent = nullptr);
  ~CModViewer() override;

  // Builds the list again from the engine.
  void Rebuild();

 protected:
  void started() override;
  void ended() override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QTreeWidget* list;
  Popup* menu;
  KvNet::Watch watch;
};
