// The module list on the real shell and engine: its rows follow what the engine loads and
// unloads, and it stops listening when it is unloaded or destroyed.

#include <QTreeWidget>
#include <QtTest>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/tests/PluginRig.h"

namespace {

QStringList rows(QTreeWidget* l) {
  QStringList out;
  for (int i = 0; i < l->topLevelItemCount(); ++i)
    out << l->topLevelItem(i)->text(0) + "|" + l->topLevelItem(i)->text(1);
  return out;
}

QTreeWidget* listOf(QWidget* v) { return v ? v->findChild<QTreeWidget*>("lstModules") : nullptr; }

QStringList headings(QTreeWidget* l) {
  QStringList out;
  for (int i = 0; i < l->columnCount(); ++i) out << l->headerItem()->text(i);
  return out;
}

}  // namespace

class ModViewerTests : public QObject {
  Q_OBJECT

 private slots:
  // Lines sent after the window opened, as the console sends them: the list follows by itself.
  void rowsFollowTheEngine_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing loaded") << QStringList{} << QStringList{};
    QTest::newRow("load order, type is the library") << QStringList{"load g = test.src", "load M = meas.ck", "load p = test.pass"}
                                                     << QStringList{"g|test", "M|meas", "p|test"};
    QTest::newRow("unload") << QStringList{"load a = test.pass", "load b = test.pass", "unload a"} << QStringList{"b|test"};
    QTest::newRow("refused loads add nothing")
        << QStringList{"load 1x = test.pass", "load a = nosuch", "load a = test.pass", "load A = test.src"}
        << QStringList{"a|test"};
    QTest::newRow("links are not rows") << QStringList{"load g = test.src", "load p = test.pass", "p.in = g.out", "unlink p.in"}
                                        << QStringList{"g|test", "p|test"};
  }
  void rowsFollowTheEngine() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    DesktopRig r;
    QTreeWidget* list = listOf(OpenTool<QWidget>(r, "Modules", "KvPlugins.ModViewer"));
    QVERIFY(list);
    for (const QString& l : lines) r.exec(l.toStdString());
    QCOMPARE(rows(list), expected);
    QCOMPARE(headings(list), (QStringList{"Mod Name", "Mod Type"}));
    QVERIFY(!(list->editTriggers() & ~QAbstractItemView::NoEditTriggers));
  }

  void opensOnTheNetworkThereAndRefreshesOnRequest() {
    DesktopRig r;
    r.chain();
    QTreeWidget* list = listOf(OpenTool<QWidget>(r, "Modules", "KvPlugins.ModViewer"));
    QVERIFY(list);
    QCOMPARE(rows(list), (QStringList{"g|test", "f|test", "d|test"}));
    auto* menu = list->parentWidget()->findChild<Popup*>();
    QVERIFY(menu);
    QCOMPARE(menu->Count(), 1);
    QCOMPARE(menu->EntryCaption(0), QString("&Refresh"));
    list->clear();
    menu->Choose(0);
    QCOMPARE(rows(list).size(), 3);
  }

  // A control the shell never hosted, on a network already there: once it is destroyed, the
  // engine's notices reach nothing (Unload is in the contract case of ConnTests).
  void destructionEndsTheSubscription() {
    DesktopRig r;
    r.exec("load a = test.pass");
    r.exec("load b = test.pass");
    QWidget* loose = r.main->Controls().Create("KvPlugins.ModViewer", nullptr);
    QVERIFY(loose);
    IApp* app = r.main->App();
    IKvHost* noHost = nullptr;
    std::string label = "loose";
    dynamic_cast<IKvGui*>(loose)->Load(&app, &noHost, &label);
    QCOMPARE(listOf(loose)->topLevelItemCount(), 2);
    r.exec("load c = test.pass");
    QCOMPARE(listOf(loose)->topLevelItemCount(), 3);
    delete loose;
    QCOMPARE(r.exec("load d = test.pass"), 0L);
    QCOMPARE(r.exec("unload d"), 0L);
  }
};

KV_QTEST(ModViewerTests)
#include "ModViewerTests.moc"
