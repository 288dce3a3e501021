#pragma once
// CConnViewer ("KvPlugins.ConnViewer"): every linked input of the network with its source,
// one row each ("Input" label.port, "Output" label.port), kept current by the engine's
// load and link notices. The selected row stays selected across a refresh while its input
// is still listed.
//
// User-interface thread only.

#include "KvPlugins/Network.h"
#include "KvPlugins/ToolWnd.h"

class QTreeWidget;
class Popup;

class CConnViewer final : public CToolWnd {
 public:
  explicit CConnViewer(QWidget* parent = nullptr);
  ~CConnViewer() override;

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
