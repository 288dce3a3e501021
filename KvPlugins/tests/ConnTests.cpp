// The connection list and the connection editor on the real shell, engine and modules: what
// they read of the network, the script lines the editor sends for each choice, what it shows
// when the engine refuses, and both while passes run.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "KvCtlLib/Popup.h"
#include "KvPlugins/tests/PluginRig.h"
#include "desktop/Twips.h"

namespace {

const char* const kLocked = "The network cannot be changed while an acquisition runs";

QStringList rows(const QTreeWidget* l) {
  QStringList out;
  for (int i = 0; i < l->topLevelItemCount(); ++i) {
    QStringList cells;
    for (int c = 0; c < l->columnCount(); ++c) cells << l->topLevelItem(i)->text(c);
    out << cells.join("|");
  }
  return out;
}

QStringList rows(const QTableWidget* g) {
  QStringList out;
  for (int r = 0; r < g->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < g->columnCount(); ++c) cells << (g->item(r, c) ? g->item(r, c)->text() : QString());
    out << cells.join("|");
  }
  return out;
}

QStringList items(const QComboBox* b) {
  QStringList out;
  for (int i = 0; i < b->count(); ++i) out << b->itemText(i);
  return out;
}

// The connection editor's widgets, found as a user sees them.
struct Editor {
  QWidget* w = nullptr;
  QTreeWidget *comps = nullptr, *outputs = nullptr;
  QTableWidget* grid = nullptr;
  QComboBox *module = nullptr, *port = nullptr, *library = nullptr;
  QLineEdit* label = nullptr;
  QPushButton* add = nullptr;
  QTimer* timer = nullptr;

  explicit Editor(DesktopRig& r) : w(OpenTool<QWidget>(r, "ConnEd", "KvPlugins.ConnEditor")) {
    if (!w) return;
    comps = w->findChild<QTreeWidget*>("lstModules");
    outputs = w->findChild<QTreeWidget*>("lstOutputs");
    grid = w->findChild<QTableWidget*>("grdInputs");
    module = w->findChild<QComboBox*>("cmbSourceModule");
    port = w->findChild<QComboBox*>("cmbSourcePort");
    library = w->findChild<QComboBox*>("cmbLibrary");
    label = w->findChild<QLineEdit*>("txtLabel");
    add = w->findChild<QPushButton*>("cmdAdd");
    timer = w->findChild<QTimer*>("tmrFocus");
  }
  bool complete() const { return comps && outputs && grid && module && port && library && label && add && timer; }
  void select(const QString& comp) {
    const QList<QTreeWidgetItem*> found = comps->findItems(comp, Qt::MatchExactly);
    if (!found.isEmpty()) comps->setCurrentItem(found.front());
  }
  QString selected() const { return comps->selectedItems().isEmpty() ? QString() : comps->selectedItems().front()->text(0); }
  void click(int row, int column) {
    grid->clearSelection();
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  }
  // A choice in a drop-down list, as the user makes it.
  static bool choose(QComboBox* box, const QString& text) {
    const int i = box->findText(text);
    if (i < 0) return false;
    box->setCurrentIndex(i);
    emit box->activated(i);
    return true;
  }
  void addComponent(const QString& lib, const QString& name) {
    library->setCurrentIndex(library->findText(lib));
    label->setText(name);
    add->click();
  }
};

std::string answer(DesktopRig& r, const std::string& line) {
  std::string a;
  long result = 0;
  r.main->App()->Execute(line, &a, &result);
  return a;
}

void startForEver(DesktopRig& r) {
  r.main->findChild<QComboBox*>("cmbMode")->setCurrentIndex(3);
  r.main->Control()->Run();
}

}  // namespace

class ConnTests : public QObject {
  Q_OBJECT

 private slots:
  void contract_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tabCaption");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("section");
    QTest::newRow("module list") << "KvPlugins.ModViewer" << "Modules" << "Module List" << "Comp" << 3600 << 3900
                                 << "Wnd\\ModViewer";
    QTest::newRow("connection list") << "KvPlugins.ConnViewer" << "ConnLst" << "Connection List" << "Conn" << 3000
                                     << 3000 << "Wnd\\ConnViewer";
    QTest::newRow("connection editor") << "KvPlugins.ConnEditor" << "ConnEd" << "Connection Editor" << "Conn" << 6600
                                       << 4800 << "Wnd\\ConnEditor";
  }
  void contract() {
    QFETCH(QString, progId);
    QFETCH(QString, tab);
    QFETCH(QString, caption);
    QFETCH(QString, tabCaption);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, section);
    DesktopRig r;
    auto* gui = dynamic_cast<IKvGui*>(OpenTool<QWidget>(r, tab.toStdString(), progId.toStdString()));
    QVERIFY(gui);
    std::string text;
    gui->get_Caption(&text);
    QCOMPARE(QString::fromStdString(text), caption);
    gui->get_TabCaption(&text);
    QCOMPARE(QString::fromStdString(text), tabCaption);
    // Never raised to a minimum: shrinking keeps what was asked.
    auto* w = dynamic_cast<QWidget*>(gui);
    QCOMPARE(w->width(), KvTwipsToPixels(width));
    QCOMPARE(w->height(), KvTwipsToPixels(height));
    w->resize(KvTwipsToPixels(1000), KvTwipsToPixels(600));
    QCOMPARE(w->width(), KvTwipsToPixels(1000));
    int16_t mode = 3;
    long refuse = -1;
    gui->QueryUnload(&mode, &refuse);
    QCOMPARE(refuse, 0L);
    QCOMPARE(DesktopRig::Setting(section.toStdString(), "Load"), std::string("3"));

    // Unloaded, the window hears nothing more of the network.
    r.exec("load a = test.src");
    r.exec("load b = test.pass");
    QStringList before;
    for (const QTreeWidget* l : w->findChildren<QTreeWidget*>()) before << rows(l);
    gui->Unload();
    r.exec("b.in = a.out");
    r.exec("load z = test.pass");
    QStringList after;
    for (const QTreeWidget* l : w->findChildren<QTreeWidget*>()) after << rows(l);
    QCOMPARE(after, before);
  }

  // Lines sent after the list opened, as the console sends them.
  void viewerListsEveryLinkedInput_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected");
    const QStringList chain{"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"};
    QTest::newRow("chain; an unlinked input is no row") << chain << QStringList{"f.in|g.out", "d.a|f.out"};
    QTest::newRow("link keyword, source in its own spelling")
        << QStringList{"load g = test.src", "load p = test.pass", "link p.in = G.out"} << QStringList{"p.in|g.out"};
    QTest::newRow("unlink") << chain + QStringList{"unlink d.a"} << QStringList{"f.in|g.out"};
    QTest::newRow("unloading the source drops its links") << chain + QStringList{"unload g"} << QStringList{"d.a|f.out"};
    QTest::newRow("relinked") << chain + QStringList{"d.a = g.out", "d.b = g.trg"}
                              << QStringList{"f.in|g.out", "d.a|g.out", "d.b|g.trg"};
    QTest::newRow("dotted input ports") << QStringList{"load g = test.src", "load m = meas.ck", "m.ck.in = g.out"}
                                        << QStringList{"m.ck.in|g.out"};
    QTest::newRow("dotted source port split at its first dot")
        << QStringList{"load g = test.src", "load m = meas.ck", "m.ck.in = g.out", "load p = test.pass", "p.in = m.CkPeriod.out"}
        << QStringList{"m.ck.in|g.out", "p.in|m.CkPeriod.out"};
    QTest::newRow("a component that lists no inputs") << QStringList{"load x = test.mute", "load p = test.pass", "p.in = x.out"}
                                                      << QStringList{"p.in|x.out"};
  }
  void viewerListsEveryLinkedInput() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    DesktopRig r;
    QWidget* v = OpenTool<QWidget>(r, "ConnLst", "KvPlugins.ConnViewer");
    QVERIFY(v);
    auto* list = v->findChild<QTreeWidget*>("lstConnections");
    QVERIFY(list);
    for (const QString& l : lines) r.exec(l.toStdString());
    QCOMPARE(rows(list), expected);
    QCOMPARE(list->headerItem()->text(0) + "|" + list->headerItem()->text(1), QString("Input|Output"));
  }

  void viewerKeepsItsSelectionAndRefreshesOnRequest() {
    DesktopRig r;
    r.chain();
    QWidget* v = OpenTool<QWidget>(r, "ConnLst", "KvPlugins.ConnViewer");
    QVERIFY(v);
    auto* list = v->findChild<QTreeWidget*>("lstConnections");
    QVERIFY(list);
    list->setCurrentItem(list->topLevelItem(1));
    r.exec("unlink f.in");
    QCOMPARE(rows(list), QStringList{"d.a|f.out"});
    QVERIFY(list->currentItem() && list->currentItem()->isSelected());
    QCOMPARE(list->currentItem()->text(0), QString("d.a"));
    list->clear();
    auto* menu = v->findChild<Popup*>();
    QCOMPARE(menu->EntryCaption(0), QString("&Refresh"));
    menu->Choose(0);
    QCOMPARE(rows(list), QStringList{"d.a|f.out"});
  }

  void editorShowsTheSelectedComponent() {
    DesktopRig r;
    r.chain();
    Editor e(r);
    QVERIFY(e.complete());
    QCOMPARE(rows(e.comps), (QStringList{"g|test", "f|test", "d|test"}));
    QCOMPARE(e.selected(), QString("g"));
    QCOMPARE(rows(e.outputs), (QStringList{"out", "trg"}));
    QCOMPARE(e.grid->rowCount(), 0);
    QCOMPARE(items(e.module), (QStringList{"g", "f", "d"}));
    QCOMPARE(e.grid->horizontalHeaderItem(1)->text(), QString("Source Module"));
    QVERIFY(items(e.library).contains("Test") && items(e.library).contains("Meas"));
    QCOMPARE(e.library->currentIndex(), 0);

    e.select("d");
    QCOMPARE(rows(e.outputs), QStringList{"sum"});
    QCOMPARE(rows(e.grid), (QStringList{"a|f|out", "b||"}));
    // A link made elsewhere shows at once; a new component keeps the selection on d.
    r.exec("d.b = g.trg");
    QCOMPARE(rows(e.grid), (QStringList{"a|f|out", "b|g|trg"}));
    r.exec("load x = test.pass");
    QCOMPARE(e.selected(), QString("d"));
    QCOMPARE(items(e.module), (QStringList{"g", "f", "d", "x"}));
    r.exec("unload d");
    QCOMPARE(e.selected(), QString("g"));
    for (const char* c : {"g", "f", "x"}) r.exec(std::string("unload ") + c);
    QCOMPARE(e.comps->topLevelItemCount(), 0);
    QCOMPARE(e.outputs->topLevelItemCount(), 0);
    QCOMPARE(e.grid->rowCount(), 0);
    QCOMPARE(e.module->count(), 0);
  }

  void editorChoicesSendTheirLines() {
    DesktopRig r;
    r.chain();
    r.exec("load q = test.pass");
    Editor e(r);
    QVERIFY(e.complete());
    e.select("d");
    QCOMPARE(rows(e.grid), (QStringList{"a|f|out", "b||"}));

    e.click(0, 1);
    QVERIFY(e.module->isVisible() && !e.port->isVisible());
    QCOMPARE(e.module->currentText(), QString("f"));
    QCOMPARE(e.module->geometry().left(), e.grid->visualRect(e.grid->model()->index(0, 1)).left());
    std::string before;
    r.main->App()->GetCmdList(&before);
    QVERIFY(Editor::choose(e.module, "f"));
    std::string after;
    r.main->App()->GetCmdList(&after);
    QCOMPARE(after, before);  // the same module again sends nothing
    QCOMPARE(answer(r, "d.a"), std::string("f.out"));

    // Another module unlinks at once; the link waits for a port.
    QVERIFY(Editor::choose(e.module, "q"));
    QCOMPARE(answer(r, "d.a"), std::string("d.a"));
    QCOMPARE(rows(e.grid), (QStringList{"a|q|", "b||"}));
    QCOMPARE(items(e.port), QStringList{"out"});

    // Row b: a module for an unlinked input sends nothing; its port box offers that module's ports.
    e.click(1, 1);
    QVERIFY(Editor::choose(e.module, "g"));
    QCOMPARE(rows(e.grid), (QStringList{"a|q|", "b|g|"}));
    // Back on row a, the ports and the link are row a's module (q), not the last chosen (g).
    e.click(0, 2);
    QVERIFY(e.port->isVisible() && !e.module->isVisible());
    QCOMPARE(items(e.port), QStringList{"out"});
    QVERIFY(Editor::choose(e.port, "out"));
    QCOMPARE(answer(r, "d.a"), std::string("q.out"));
    e.click(1, 2);
    QCOMPARE(items(e.port), (QStringList{"out", "trg"}));
    QVERIFY(Editor::choose(e.port, "trg"));
    QCOMPARE(answer(r, "d.b"), std::string("g.trg"));
    QCOMPARE(rows(e.grid), (QStringList{"a|q|out", "b|g|trg"}));

    // Other cells hide the lists; so does the focus timer once the grid lost the focus.
    e.click(0, 0);
    QVERIFY(!e.module->isVisible() && !e.port->isVisible());
    e.click(0, 1);
    QVERIFY(e.module->isVisible());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(e.grid, &out);
    QVERIFY(e.timer->isActive());
    QCOMPARE(e.timer->interval(), 100);
    QTRY_VERIFY(!e.module->isVisible());
    QVERIFY(!e.timer->isActive());
    QVERIFY(CDialogs::Get().Shown().empty());
  }

  // A refused line is shown, and the row shows what the engine has, not what was chosen.
  void editorShowsRefusalsAndRereadsTheRow() {
    DesktopRig r;
    for (const char* l : {"load a = test.pass", "load b = test.pass", "b.in = a.out"}) r.exec(l);
    Editor e(r);
    QVERIFY(e.complete());
    e.select("a");
    e.click(0, 1);
    QVERIFY(Editor::choose(e.module, "b"));
    e.click(0, 2);
    QVERIFY(Editor::choose(e.port, "out"));
    QCOMPARE(CDialogs::Get().Shown(), std::vector<std::string>{"Cycle in the links: b.out -> a.in, a.out -> b.in"});
    QCOMPARE(rows(e.grid), QStringList{"in||"});
    QCOMPARE(answer(r, "a.in"), std::string("a.in"));
  }

  void addingAComponent_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");  // empty: loaded
    QTest::newRow("plain") << "Test" << "t1" << "";
    QTest::newRow("letters digits underscore") << "Meas" << "Ck_2b" << "";
    QTest::newRow("blanks around are dropped") << "Test" << "  t " << "";
    QTest::newRow("empty") << "Test" << "" << "No label specified";
    QTest::newRow("only blanks") << "Test" << "   " << "No label specified";
    QTest::newRow("digit first") << "Test" << "1x" << "Invalid component name \"1x\"";
    QTest::newRow("underscore first") << "Test" << "_x" << "Invalid component name \"_x\"";
    QTest::newRow("blank inside") << "Test" << "a b" << "Invalid component name \"a b\"";
    QTest::newRow("more of a line") << "Test" << "x=test.pass //" << "Invalid component name \"x=test.pass //\"";
    QTest::newRow("label in use") << "Test" << "G" << "Component already exists \"G\"";
    QTest::newRow("the engine's own name") << "Test" << "Sys" << "Invalid component name \"Sys\"";
  }
  void addingAComponent() {
    QFETCH(QString, library);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    DesktopRig r;
    r.exec("load g = test.src");
    Editor e(r);
    QVERIFY(e.complete());
    e.addComponent(library, label);
    if (shown.isEmpty()) {
      QCOMPARE(CDialogs::Get().Shown().size(), size_t(0));
      QCOMPARE(rows(e.comps).size(), 2);
      QCOMPARE(e.comps->topLevelItem(1)->text(0), label.trimmed());
      QCOMPARE(e.selected(), QString("g"));
    } else {
      QCOMPARE(CDialogs::Get().Shown(), std::vector<std::string>{shown.toStdString()});
      QCOMPARE(rows(e.comps), QStringList{"g|test"});
    }
  }

  // Refreshes while passes run read the network safely and read it whole; every change is
  // refused by the engine and the refusal shown; the editor's grid keeps the engine's links.
  void duringAForEverRun() {
    DesktopRig r;
    r.chain();
    QWidget* mods = OpenTool<QWidget>(r, "Modules", "KvPlugins.ModViewer");
    QWidget* conns = OpenTool<QWidget>(r, "ConnLst", "KvPlugins.ConnViewer");
    Editor e(r);
    QVERIFY(mods && conns && e.complete());
    auto* modList = mods->findChild<QTreeWidget*>("lstModules");
    auto* connList = conns->findChild<QTreeWidget*>("lstConnections");
    const QStringList modRows = rows(modList), connRows = rows(connList);
    PassCounter c(r.main->App());
    startForEver(r);
    QVERIFY(r.waitFor([&] { return c.after >= 3; }));
    // Until passes surely ran between the refreshes, not only before them.
    const int passesBefore = c.after;
    for (int round = 0; round < 100 || (c.after < passesBefore + 20 && round < 100000); ++round) {
      mods->findChild<Popup*>()->Choose(0);
      conns->findChild<Popup*>()->Choose(0);
      e.select(round % 2 ? "d" : "f");
      QCoreApplication::processEvents();
    }
    QVERIFY(c.after >= passesBefore + 20);
    QCOMPARE(rows(modList), modRows);
    QCOMPARE(rows(connList), connRows);
    QVERIFY(r.main->Control()->Running());

    e.select("d");
    e.click(0, 1);
    QVERIFY(Editor::choose(e.module, "g"));  // would unlink d.a
    e.click(1, 1);
    QVERIFY(Editor::choose(e.module, "g"));  // d.b is not linked: sends nothing
    e.click(1, 2);
    QVERIFY(Editor::choose(e.port, "out"));  // would link d.b
    e.addComponent("Test", "late");
    QCOMPARE(CDialogs::Get().Shown(), (std::vector<std::string>{kLocked, kLocked, kLocked}));
    QCOMPARE(rows(e.grid), (QStringList{"a|f|out", "b||"}));
    QCOMPARE(rows(connList), connRows);
    QCOMPARE(e.comps->topLevelItemCount(), 3);

    r.main->Control()->halt(false);
    QVERIFY(r.waitFor([&] { return !r.main->Control()->Running() && !r.busy(); }));
    // Busy without passes (a busy mark the shell holds) keeps the network still as well.
    CDialogs::Get().ClearShown();
    long handle = 0;
    r.main->App()->SetBusy(&handle);
    e.addComponent("Test", "late");
    r.main->App()->SetBusyNot(handle);
    QCOMPARE(CDialogs::Get().Shown(), std::vector<std::string>{kLocked});
    CDialogs::Get().ClearShown();
    e.addComponent("Test", "late");
    QVERIFY(CDialogs::Get().Shown().empty());
    QCOMPARE(rows(modList).size(), 4);
  }
};

KV_QTEST(ConnTests)
#include "ConnTests.moc"
