// The panel base on a panel of the test's own, loaded on a real measurement component in a
// real panel window: the step rules, the events it takes and those it leaves, list commands,
// a fault without an engine, and a panel deleted while an event is being raised.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "KvCtlLib/Panel.h"
#include "ModMeas/gui/tests/MeasPanelRig.h"

namespace {

// Shows one number of each kind and counts what reaches it.
class ProbePanel final : public CPanel {
 public:
  explicit ProbePanel(QWidget* parent, const char* tab = nullptr)
      : CPanel(parent, Traits{"igui", "Probe", tab, false, {901, 902, 903, 904, 905}}) {
    level = new TextUpdown(this);
    offset = new TextUpdown(this);
    count = new TextUpdown(this);
    more = new QCheckBox("More", this);
    edge = new QComboBox(this);
    edge->addItems({"Rise", "Fall", "Both"});
    BindNumber(level, "ck.rise.mid", Scale125(), 910);
    BindNumber(offset, "ck.skew", Offset(), 911);
    BindNumber(count, "start", Fixed(1), 912, true).atLeast = -1;
    BindCheck(more, "igui.more", 913);
    BindList(edge, "ck.edgetype", 914);
    name = new QLineEdit(this);
    BindText(name, "igui.title", 915);
  }
  QLineEdit* name;
  TextUpdown *level, *offset, *count;
  QCheckBox* more;
  QComboBox* edge;
  std::vector<std::string> values;  // the keys OnValue got
  std::vector<long> reported;       // handler numbers that reached ReportWithoutUtils

  using CPanel::Execute;
  using CPanel::List;

 protected:
  void OnValue(const std::string& key) override {
    values.push_back(key);
    CPanel::OnValue(key);
  }
  void ReportWithoutUtils(long number, const PanelError& e) override {
    reported.push_back(number);
    text = FaultText(number, e);
  }

 public:
  std::string text;
};

struct Hosted {
  PanelRig& r;
  frmHost* host;
  ProbePanel* panel;
  Hosted(PanelRig& rig, const std::string& label, const char* tab = nullptr) : r(rig) {
    host = r.main->NewPanelWindow("probe-" + label);
    panel = new ProbePanel(host, tab);
    IApp* app = r.main->App();
    IKvHost* h = host;
    std::string l = label;
    panel->Load(&app, &h, &l);
  }
};

}  // namespace

class PanelBaseTests : public QObject {
  Q_OBJECT

 private slots:
  void stepRules() {
    struct Case {
      int field;  // 0 level (1-2-5), 1 offset (decade steps), 2 count (whole, +-1)
      const char* shown;
      int action;
      double expect;
    };
    const Case cases[] = {
        {0, "2", 0, 5},       {0, "2", 1, 1},     {0, "1.1", 0, 2},    {1, "0", 0, 1e-12},
        {1, "0", 1, -1e-12},  {1, "1", 0, 1.001}, {2, "4", 0, 5},      {2, "4", 1, 3},
        {2, "2.6", 2, 3},     {2, "-1", 1, 3},  // -2 is below the field's least: not written
    };
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    Hosted h(r, "m");
    for (const Case& c : cases) {
      TextUpdown* f = c.field == 0 ? h.panel->level : c.field == 1 ? h.panel->offset : h.panel->count;
      const char* key = c.field == 0 ? "ck.rise.mid" : c.field == 1 ? "ck.skew" : "start";
      act(f, c.action, c.shown);
      const double got = c.field == 2 ? r.lng("m", key) : r.dbl("m", key);
      QVERIFY2(std::fabs(got - c.expect) <= 1e-15 * std::max(1.0, std::fabs(c.expect)),
               qPrintable(QString("%1 from %2 by %3 gave %4").arg(key, c.shown).arg(c.action).arg(got)));
    }
  }

  void eventsItTakesAndLeaves() {
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    QCOMPARE(r.exec("load other = meas.ck"), 0L);
    Hosted h(r, "m");
    ProbePanel& p = *h.panel;
    QCOMPARE(r.exec("m.ck.rise.mid = 2"), 0L);
    QCOMPARE(r.exec("other.ck.rise.mid = 3"), 0L);
    p.ValueChanged("m", "loaded");
    p.ValueChanged("m", "unloaded");
    p.ValueChanged("M", "CK.Rise.Mid");  // names compare ignoring case
    QCOMPARE(p.values, std::vector<std::string>({"ck.rise.mid", "ck.rise.mid"}));
    QCOMPARE(p.level->Text(), r.num(2));
    // The panel's own commands raise nothing it acts on.
    p.values.clear();
    QVERIFY(p.Execute(".ck.rise.mid = 4"));
    QVERIFY(p.values.empty());
    // After Unload the panel hears nothing more.
    p.Unload();
    QCOMPARE(r.exec("m.ck.rise.mid = 5"), 0L);
    QVERIFY(p.values.empty());
  }

  void textFieldsWriteWhenEditingEnds() {
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    Hosted h(r, "m");
    ChangeLog changes(r.main->App());
    QTest::keyClicks(h.panel->name, "abc");
    QCOMPARE(changes.seen, std::vector<std::string>());  // not per keystroke
    QTest::keyClick(h.panel->name, Qt::Key_Return);
    QCOMPARE(r.str("m", "igui.title"), std::string("abc"));
    QTest::keyClick(h.panel->name, Qt::Key_Return);  // unchanged: written once
    QCOMPARE(changes.seen, std::vector<std::string>({"m.igui.title"}));
  }

  void listCommands() {
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    Hosted h(r, "m");
    QCOMPARE(h.panel->List(".version"), std::vector<std::string>({"1.1.4"}));
    QCOMPARE(h.panel->List(".iports"), std::vector<std::string>({"ck.in", "dt.in", "ctl.in"}));
    // A refusal's text is not a list.
    QCOMPARE(h.panel->List(".nosuch()"), std::vector<std::string>());
    // Nothing to answer (an unlinked input) comes back as the line itself: no entry either.
    QCOMPARE(h.panel->List(".ck.in"), std::vector<std::string>());
    QVERIFY(!h.panel->Execute(".nosuch()"));
    // Without an engine there are no Utils: the panel's own report takes Load's fault.
    auto* lone = new ProbePanel(r.main->NewPanelWindow("lone"));
    IApp* none = nullptr;
    IKvHost* noHost = nullptr;
    std::string label = "m";
    lone->Load(&none, &noHost, &label);
    QCOMPARE(lone->reported, std::vector<long>({902}));
    QVERIFY2(lone->text.rfind("902:" + std::to_string(E_POINTER) + ":", 0) == 0, lone->text.c_str());
  }

  void aPanelDeletedWhileTheEngineRaisesIsNotCalled() {
    PanelRig r;
    QCOMPARE(r.exec("load m = meas.ck"), 0L);
    Hosted h(r, "m");
    // A second sink deletes the panel while the event that reaches both is being raised.
    struct Deleter final : IAppEvents {
      QWidget* victim = nullptr;
      void ValueChanged(const std::string&, const std::string&) override {
        delete victim;
        victim = nullptr;
      }
      void BeforeAcq(long) override {}
      void AfterAcq(long) override {}
      void ShowGui(const std::string&, long&) override {}
      void AcqAborted(long) override {}
      void AcqIdle() override {}
    } deleter;
    IApp* app = r.main->App();
    long cookie = 0;
    // Advised before the panel is loaded again, so it is called first.
    h.panel->Unload();
    app->Advise(&deleter, &cookie);
    IKvHost* host = h.host;
    std::string label = "m";
    IApp* a = app;
    h.panel->Load(&a, &host, &label);
    deleter.victim = h.panel;
    QCOMPARE(r.exec("m.ck.rise.mid = 1.5"), 0L);
    QVERIFY(!deleter.victim);
    app->Unadvise(cookie);
    QCOMPARE(r.exec("m.ck.rise.mid = 2.5"), 0L);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

KV_QTEST(PanelBaseTests)
#include "PanelBaseTests.moc"
