// The contract every tool window shares, on each window of the library.

#include "KvPlugins/ToolWnd.h"
#include "KvPlugins/tests/PluginRig.h"
#include "desktop/Twips.h"

class ToolWndTests : public QObject {
  Q_OBJECT

 private slots:
  void everyWindowIsRegistered() {
    DesktopRig r;
    for (const char* id : {"KvPlugins.CmdConsole", "KvPlugins.CmdHistory", "KvPlugins.LogViewer", "KvPlugins.CodeEditor",
                           "KvPlugins.ModViewer", "KvPlugins.ConnEditor", "KvPlugins.ConnViewer"})
      QVERIFY2(r.main->Controls().Find(id), id);
  }
};

KV_QTEST(ToolWndTests)
#include "ToolWndTests.moc"
