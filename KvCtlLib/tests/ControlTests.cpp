// The control registry on real control libraries, and the codes and values of the three
// small controls as a panel sees them.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>
#include <cstdlib>

#include "KvCtlLib/Popup.h"
#include "KvCtlLib/Registry.h"
#include "KvCtlLib/TextUpdown.h"
#include "KvCtlLib/ToggleButton.h"

class ControlTests : public QObject {
  Q_OBJECT

 private slots:
  void registryLoadsTheFolderInOrderAndSkipsWhatFails() {
    CCtlRegistry r;
    std::vector<std::string> logged;
    QCOMPARE(r.LoadFolder(KV_TEST_CTL_DIR, [&](const std::string& m) { logged.push_back(m); }), 2);
    QCOMPARE(logged.size(), size_t{2});
    QVERIFY(logged[0].find("0-broken.so") != std::string::npos);
    QVERIFY(logged[1].find("3-NoEntry") != std::string::npos);
    const std::vector<std::string> ids = {"KvTest.Panel", "KvTest.Fixed", "KvTest.Refuse", "KvTest.Failing", "KvMeas.Inputs",
                                          "KvSch.KvSchCtrl.1", "KvTest.Second"};
    QVERIFY(r.ProgIds() == ids);
    // The first library keeps a ProgID; any case finds it.
    QWidget parent;
    QWidget* panel = r.Create("KVTEST.PANEL", &parent);
    QVERIFY(panel);
    QVERIFY(!qobject_cast<QLabel*>(panel));
    QVERIFY(r.Create("kvtest.second", &parent));
    QVERIFY(!r.Create("KvTest.Failing", &parent));
    QVERIFY(r.Find("KvTest.Failing"));
    QVERIFY(!r.Create("KvTest.Nothing", &parent));
    QCOMPARE(r.LoadFolder("/nonexistent", {}), 0);
  }

  void registryRefusesWhatCannotBeMade() {
    CCtlRegistry r;
    auto make = [](QWidget* p) -> QWidget* { return new QWidget(p); };
    QVERIFY(r.Add("A.B", make));
    QVERIFY(!r.Add("a.b", make));
    QVERIFY(!r.Add("", make));
    QVERIFY(!r.Add(nullptr, make));
    QVERIFY(!r.Add("C.D", nullptr));
    QCOMPARE(r.ProgIds().size(), size_t{1});
  }

  void textUpdownReportsIntentOnly_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QList<int>>("codes");
    QTest::newRow("up button") << "up" << QList<int>{0};
    QTest::newRow("down button") << "down" << QList<int>{1};
    QTest::newRow("up key") << "key-up" << QList<int>{0};
    QTest::newRow("down key") << "key-down" << QList<int>{1};
    QTest::newRow("escape") << "escape" << QList<int>{3};
    QTest::newRow("enter") << "enter" << QList<int>{2};
    QTest::newRow("typed then left") << "type-leave" << QList<int>{2};
    QTest::newRow("left untouched") << "leave" << QList<int>{};
    QTest::newRow("typed, entered, left") << "type-enter-leave" << QList<int>{2};
  }
  void textUpdownReportsIntentOnly() {
    QFETCH(QString, gesture);
    QFETCH(QList<int>, codes);
    QWidget window;
    auto* t = new TextUpdown(&window, 4);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    t->SetText("1.00");
    QSignalSpy spy(t, &TextUpdown::Change);
    t->Edit()->setFocus();
    if (gesture == "up") t->UpButton()->click();
    if (gesture == "down") t->DownButton()->click();
    if (gesture == "key-up") QTest::keyClick(t->Edit(), Qt::Key_Up);
    if (gesture == "key-down") QTest::keyClick(t->Edit(), Qt::Key_Down);
    if (gesture == "escape") QTest::keyClick(t->Edit(), Qt::Key_Escape);
    if (gesture.startsWith("type")) QTest::keyClicks(t->Edit(), "5");
    if (gesture.contains("enter")) QTest::keyClick(t->Edit(), Qt::Key_Return);
    if (gesture.contains("leave")) {
      other->setFocus();
      QApplication::processEvents();
    }
    QList<int> got;
    for (const QList<QVariant>& s : spy) {
      got << s[0].toInt();
      QCOMPARE(s[1].toInt(), 4);  // the element's index comes along
    }
    QCOMPARE(got, codes);
    // It never steps by itself: only typing changes the text.
    QCOMPARE(t->Text(), gesture.startsWith("type") ? QString("1.005") : QString("1.00"));
  }

  void textSetFromCodeRaisesNothing() {
    TextUpdown t;
    QSignalSpy spy(&t, &TextUpdown::Change);
    t.SetText("2.5");
    t.setProperty("text", "3");
    QCOMPARE(t.Text(), "3");
    QCOMPARE(spy.count(), 0);
    QCOMPARE(t.Index(), -1);
  }

  void toggleButtonShowsEachStateAndReportsTheUsersFlips() {
    ToggleButton b;
    b.setProperty("caption", "Run");
    b.setProperty("captionon", "On");
    b.setProperty("forecoloron", QColor(Qt::red));
    b.setProperty("forecoloroff", QColor(Qt::blue));
    QSignalSpy spy(&b, &ToggleButton::Change);
    QCOMPARE(b.text(), "Run");  // no off caption: the common one
    QCOMPARE(b.palette().color(QPalette::ButtonText), QColor(Qt::blue));
    b.click();
    QCOMPARE(b.Value(), 1);
    QCOMPARE(b.text(), "On");
    QCOMPARE(b.palette().color(QPalette::ButtonText), QColor(Qt::red));
    b.click();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy[0][0].toInt(), 1);
    QCOMPARE(spy[1][0].toInt(), 0);
    b.SetValue(5);
    b.setProperty("value", 0);
    b.SetValue(1);
    QCOMPARE(spy.count(), 2);  // set from code: no event
    QCOMPARE(b.property("value").toInt(), 1);
  }

  void popupEntriesByPosition() {
    Popup p;
    p.SetEntry(0, "Tabs on Top");
    p.SetEntry(2, "-");
    p.SetEntry(3, "Close", false);
    p.SetEntry(1, "Tabs on Bottom");
    p.SetEntry(-1, "ignored");
    QCOMPARE(p.Count(), 4);
    QMenu* m = p.Menu();
    const QList<QAction*> actions = m->actions();
    QCOMPARE(actions.size(), 4);
    QVERIFY(actions[2]->isSeparator());
    QVERIFY(!actions[3]->isEnabled());
    QSignalSpy spy(&p, &Popup::Click);
    actions[1]->trigger();
    p.Choose(0);
    p.Choose(2);  // separator
    p.Choose(3);  // disabled
    p.Choose(9);  // none
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy[0][0].toInt(), 1);
    QCOMPARE(spy[1][0].toInt(), 0);
    p.Clear();
    QCOMPARE(p.Menu()->actions().size(), 0);
  }
};

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ControlTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "ControlTests.moc"
