// The print set-up: what each dialog starts from, what an accepted one stores, what a run
// keeps between dialogs, faults of the settings store, and which printer becomes current.

#include <QDoubleSpinBox>
#include <QLocale>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QRadioButton>
#include <QtTest>
#include <map>
#include <set>

#include "desktop/PrintSettings.h"
#include "desktop/tests/DesktopRig.h"

namespace {

// A settings store in memory that can be told to fail on some keys; it records the faults reported.
class FakeUtils final : public IUtils {
 public:
  std::map<std::string, std::string> store;  // key -> text, all in "Settings\Print"
  std::set<std::string> failRead, failWrite;
  std::vector<long> errors;
  int writes = 0;

  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT SaveSetting(const std::string& section, const std::string& key, const std::string& v) override {
    if (section != "Settings\\Print" || failWrite.count(key)) return E_UNEXPECTED;
    ++writes;
    store[key] = v;
    return S_OK;
  }
  HRESULT GetSetting(const std::string& section, const std::string& key, const std::string& def,
                     std::string* out) override {
    if (section != "Settings\\Print" || failRead.count(key)) return E_UNEXPECTED;
    auto it = store.find(key);
    *out = it == store.end() ? def : it->second;
    return S_OK;
  }
  HRESULT ErrMsg(long code, long, long, const std::string&, const std::string&) override {
    errors.push_back(code);
    return S_OK;
  }
  // Not used by the print set-up.
  HRESULT AddLog(const std::string&, LogSeverity) override { return E_UNEXPECTED; }
  HRESULT AppendLog(const std::string&, LogSeverity) override { return E_UNEXPECTED; }
  HRESULT scale125(double, bool, double*) override { return E_UNEXPECTED; }
  HRESULT Str2Num(const std::string&, double*) override { return E_UNEXPECTED; }
  HRESULT Num2Str(double, long, std::string*) override { return E_UNEXPECTED; }
  HRESULT Step(double*, double, double) override { return E_UNEXPECTED; }
  HRESULT safeadd(double*, double) override { return E_UNEXPECTED; }
  HRESULT get_LibraryPath(std::string*) override { return E_UNEXPECTED; }
  HRESULT put_LibraryPath(const std::string&) override { return E_UNEXPECTED; }
  HRESULT get_WorkspacePath(std::string*) override { return E_UNEXPECTED; }
  HRESULT put_WorkspacePath(const std::string&) override { return E_UNEXPECTED; }
  HRESULT get_LastUsedPath(std::string*) override { return E_UNEXPECTED; }
  HRESULT put_LastUsedPath(const std::string&) override { return E_UNEXPECTED; }
  HRESULT get_StatusBar(std::string*) override { return E_UNEXPECTED; }
  HRESULT put_StatusBar(const std::string&) override { return E_UNEXPECTED; }
  HRESULT get_AppTitle(std::string*) override { return E_UNEXPECTED; }
  HRESULT OperStart(const std::string&, long*) override { return E_UNEXPECTED; }
  HRESULT OperEnd(long, long*) override { return E_UNEXPECTED; }
  HRESULT OperUpdate(long, float, long*) override { return E_UNEXPECTED; }
  HRESULT get_guiWidth(float*) override { return E_UNEXPECTED; }
  HRESULT put_guiWidth(float) override { return E_UNEXPECTED; }
  HRESULT get_guiHeight(float*) override { return E_UNEXPECTED; }
  HRESULT put_guiHeight(float) override { return E_UNEXPECTED; }
  HRESULT get_Version(std::string*) override { return E_UNEXPECTED; }
  HRESULT get_InstalledModList(std::string*) override { return E_UNEXPECTED; }
  HRESULT GetInstalledModList(std::string*) override { return E_UNEXPECTED; }
  HRESULT get_DBLPINF(double*) override { return E_UNEXPECTED; }
  HRESULT get_DBLNINF(double*) override { return E_UNEXPECTED; }
  HRESULT IsMember(IKvUnknown*, const std::string&, long*) override { return E_UNEXPECTED; }
  HRESULT HoldLog(bool) override { return E_UNEXPECTED; }
  HRESULT SetHwndLog(KvWnd) override { return E_UNEXPECTED; }
  HRESULT call(intptr_t, intptr_t, intptr_t, long*) override { return E_UNEXPECTED; }
  HRESULT GetGapp() override { return E_UNEXPECTED; }
};

const QStringList kKeys = {"LeftMargin", "TopMargin", "RightMargin", "BottomMargin"};

QPrinter* dialogPrinter(QDialog& d) {
  if (auto* p = qobject_cast<QPageSetupDialog*>(&d)) return p->printer();
  if (auto* p = qobject_cast<QAbstractPrintDialog*>(&d)) return p->printer();
  return nullptr;
}

// What a dialog showed when it opened; margins in the unit asked for.
struct Seen {
  QList<double> margins;
  int orientation = 0;
  bool opened = false;
};

// Records what the dialog starts from, then, when chosen is given, sets that page (margins in
// unit) as a user would and answers with result.
void script(Seen* seen, QPageLayout::Unit unit, QList<double> chosen = {}, int orientation = 0,
            int result = QDialog::Accepted) {
  CDialogs::Get().SetModalHook([=](QDialog& d) {
    QPrinter* p = dialogPrinter(d);
    if (!p) return int(QDialog::Rejected);
    const QMarginsF m = p->pageLayout().margins(unit);
    *seen = {{m.left(), m.top(), m.right(), m.bottom()},
             p->pageLayout().orientation() == QPageLayout::Portrait ? 1 : 2,
             true};
    if (orientation) p->setPageOrientation(orientation == 1 ? QPageLayout::Portrait : QPageLayout::Landscape);
    if (!chosen.isEmpty()) p->setPageMargins(QMarginsF(chosen[0], chosen[1], chosen[2], chosen[3]), unit);
    return result;
  });
}

bool open(CPrintSettings& s, bool pageSetup) { return pageSetup ? s.PageSetup(nullptr) : s.PrintDialog(nullptr); }

QStringList stored(const FakeUtils& u, const QStringList& keys) {
  QStringList out;
  for (const QString& k : keys) {
    auto it = u.store.find(k.toStdString());
    out << (it == u.store.end() ? QString("-") : QString::fromStdString(it->second));
  }
  return out;
}

QList<double> near(const QList<double>& v) {  // unit conversions are not exact
  QList<double> out;
  for (double x : v) out << std::round(x * 1000) / 1000;
  return out;
}

}  // namespace

class PrintSettingsTests : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    CDialogs::Get().SetMode(CDialogs::Mode::scripted);
    CDialogs::Get().ClearScript();
  }
  void cleanup() {
    CDialogs::Get().SetModalHook({});
    QLocale::setDefault(QLocale::system());
  }

  void dialogStartsFromStoredOrDefaultSettings_data() {
    QTest::addColumn<bool>("pageSetup");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("store");    // four margins and the orientation; "-" missing
    QTest::addColumn<QList<double>>("shown");  // inches in en_US, millimetres in de_DE
    QTest::addColumn<int>("orientation");
    const QStringList none = {"-", "-", "-", "-", "-"};
    QTest::newRow("nothing stored, inch") << true << "en_US" << none << QList<double>{1, 1, 1, 1} << 2;
    QTest::newRow("nothing stored, mm") << true << "de_DE" << none << QList<double>{10, 10, 10, 10} << 2;
    QTest::newRow("printer dialog too") << false << "en_US" << none << QList<double>{1, 1, 1, 1} << 2;
    QTest::newRow("stored, unconverted") << true << "de_DE" << QStringList{"500", "750", "2000", "1250", "1"}
                                         << QList<double>{5, 7.5, 20, 12.5} << 1;
    QTest::newRow("text around numbers") << true << "en_US" << QStringList{" 250", "500 ", "1000", "0", "1"}
                                         << QList<double>{0.25, 0.5, 1, 0} << 1;
    QTest::newRow("unreadable, negative or foreign values")
        << true << "en_US" << QStringList{"abc", "-5", "", "1e999", "3"} << QList<double>{1, 1, 1, 1} << 2;
  }
  void dialogStartsFromStoredOrDefaultSettings() {
    QFETCH(bool, pageSetup);
    QFETCH(QString, locale);
    QFETCH(QStringList, store);
    QFETCH(QList<double>, shown);
    QFETCH(int, orientation);
    QLocale::setDefault(QLocale(locale));
    FakeUtils u;
    const QStringList keys = kKeys + QStringList{"Orientation"};
    for (int i = 0; i < keys.size(); ++i)
      if (store[i] != "-") u.store[keys[i].toStdString()] = store[i].toStdString();
    CPrintSettings s(&u);
    Seen seen;
    script(&seen, locale == "en_US" ? QPageLayout::Inch : QPageLayout::Millimeter, {}, 0, QDialog::Rejected);
    QVERIFY(!open(s, pageSetup));
    QVERIFY(seen.opened);
    QCOMPARE(near(seen.margins), shown);
    QCOMPARE(seen.orientation, orientation);
    QCOMPARE(u.writes, 0);  // a cancelled dialog stores nothing
    QVERIFY(u.errors.empty());
  }

  void aMarginThePageCannotTakeLeavesTheOthers() {
    QLocale::setDefault(QLocale("en_US"));
    FakeUtils u;
    u.store = {{"LeftMargin", "99999"}, {"TopMargin", "250"}};
    CPrintSettings s(&u);
    Seen seen;
    script(&seen, QPageLayout::Inch, {}, 0, QDialog::Rejected);
    QVERIFY(!s.PageSetup(nullptr));
    QVERIFY2(seen.margins[0] > 1 && seen.margins[0] < 99.999, qPrintable(QString::number(seen.margins[0])));
    QCOMPARE(near(seen.margins.mid(1)), (QList<double>{0.25, 1, 1}));
  }

  void acceptedDialogStoresWhatWasChosen_data() {
    QTest::addColumn<bool>("pageSetup");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QList<double>>("chosen");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QStringList>("stored");  // four margins and the orientation; "-" not written
    QTest::newRow("inch") << true << "en_US" << QList<double>{0.5, 0.75, 1.25, 2} << 1
                          << QStringList{"500", "750", "1250", "2000", "1"};
    QTest::newRow("mm") << true << "de_DE" << QList<double>{5, 7.5, 12.5, 20} << 2
                        << QStringList{"500", "750", "1250", "2000", "2"};
    QTest::newRow("a zero margin is not written")
        << true << "en_US" << QList<double>{0, 0.5, 0, 0.5} << 2 << QStringList{"-", "500", "-", "500", "2"};
    QTest::newRow("printer dialog keeps the margins it was given")
        << false << "en_US" << QList<double>{0.5, 0.5, 0.5, 0.5} << 1
        << QStringList{"1000", "1000", "1000", "1000", "1"};
  }
  void acceptedDialogStoresWhatWasChosen() {
    QFETCH(bool, pageSetup);
    QFETCH(QString, locale);
    QFETCH(QList<double>, chosen);
    QFETCH(int, orientation);
    QFETCH(QStringList, stored);
    QLocale::setDefault(QLocale(locale));
    FakeUtils u;
    CPrintSettings s(&u);
    Seen seen;
    script(&seen, locale == "en_US" ? QPageLayout::Inch : QPageLayout::Millimeter, chosen, orientation);
    QVERIFY(open(s, pageSetup));
    QCOMPARE(::stored(u, kKeys + QStringList{"Orientation"}), stored);
    QCOMPARE(s.Orientation(), orientation);
    QVERIFY(u.errors.empty());
  }

  // Margins chosen once stay for the run; a zero one and the orientation come from the store
  // before every dialog.
  void runKeepsChosenMarginsAndRereadsTheRest() {
    QLocale::setDefault(QLocale("en_US"));
    FakeUtils u;
    CPrintSettings s(&u);
    Seen seen;
    script(&seen, QPageLayout::Inch, {0.5, 0, 0.25, 0.75}, 1);
    QVERIFY(s.PageSetup(nullptr));
    QCOMPARE((QList<long>{s.Margin(0), s.Margin(1), s.Margin(2), s.Margin(3)}), (QList<long>{500, 0, 250, 750}));

    for (const QString& k : kKeys) u.store[k.toStdString()] = "2000";
    u.store["Orientation"] = "2";
    u.writes = 0;
    script(&seen, QPageLayout::Inch, {}, 0, QDialog::Rejected);
    QVERIFY(!s.PageSetup(nullptr));
    QCOMPARE(near(seen.margins), (QList<double>{0.5, 2, 0.25, 0.75}));
    QCOMPARE(seen.orientation, 2);
    QCOMPARE(u.writes, 0);

    script(&seen, QPageLayout::Inch, {}, 0, QDialog::Rejected);
    QVERIFY(!s.PrintDialog(nullptr));
    QCOMPARE(s.Margin(1), 2000L);  // read again, still not set by the user
    QCOMPARE(s.Margin(0), 500L);
  }

  void storeFaultsAreReportedAndTheRestGoesOn_data() {
    QTest::addColumn<bool>("pageSetup");
    QTest::addColumn<long>("location");
    QTest::newRow("page set-up") << true << 100170L;
    QTest::newRow("printer dialog") << false << 100180L;
  }
  void storeFaultsAreReportedAndTheRestGoesOn() {
    QFETCH(bool, pageSetup);
    QFETCH(long, location);
    QLocale::setDefault(QLocale("en_US"));
    FakeUtils u;
    u.store = {{"LeftMargin", "300"}, {"TopMargin", "400"}, {"RightMargin", "600"}, {"Orientation", "1"}};
    u.failRead = {"TopMargin"};
    u.failWrite = {"LeftMargin"};
    CPrintSettings s(&u);
    Seen seen;
    script(&seen, QPageLayout::Inch, {}, 0);
    QVERIFY(open(s, pageSetup));
    QCOMPARE(near(seen.margins), (QList<double>{0.3, 1, 0.6, 1}));
    QCOMPARE(seen.orientation, 1);
    QCOMPARE(u.errors, (std::vector<long>{location, location}));
    QCOMPARE(::stored(u, kKeys + QStringList{"Orientation"}), (QStringList{"300", "1000", "600", "1000", "1"}));
  }

  void withoutEngineDefaultsAndNothingSaved() {
    QLocale::setDefault(QLocale("en_US"));
    CPrintSettings s(nullptr);
    Seen seen;
    script(&seen, QPageLayout::Inch, {0.5, 0.5, 0.5, 0.5}, 1);
    QVERIFY(s.PageSetup(nullptr));
    QCOMPARE(near(seen.margins), (QList<double>{1, 1, 1, 1}));
    QCOMPARE(s.Margin(3), 500L);
    QCOMPARE(s.Orientation(), 1);
    script(&seen, QPageLayout::Inch);
    QVERIFY(s.PrintDialog(nullptr));
    QCOMPARE(seen.orientation, 2);  // nowhere to keep it: the default again
    QCOMPARE(near(seen.margins), (QList<double>{0.5, 0.5, 0.5, 0.5}));
  }

  // The real store: what one run's dialog keeps, the next run's dialog starts from.
  void settingsSurviveARestart() {
    QLocale::setDefault(QLocale("en_US"));
    DesktopRig r([](DesktopRig&) {
      DesktopRig::Preset("Settings\\Print", "TopMargin", "1500");
      DesktopRig::Preset("Settings\\Print", "Orientation", "1");
    });
    QVERIFY(r.loaded);
    Seen seen;
    {
      CPrintSettings first(r.main->Utils());
      script(&seen, QPageLayout::Inch, {0.25, 1.5, 0, 0.5}, 2);
      QVERIFY(first.PageSetup(r.main.get()));
      QCOMPARE(near(seen.margins), (QList<double>{1, 1.5, 1, 1}));
      QCOMPARE(seen.orientation, 1);
    }
    QCOMPARE(DesktopRig::Setting("Settings\\Print", "LeftMargin"), std::string("250"));
    QCOMPARE(DesktopRig::Setting("Settings\\Print", "RightMargin"), std::string());
    QCOMPARE(DesktopRig::Setting("Settings\\Print", "Orientation"), std::string("2"));
    CPrintSettings next(r.main->Utils());
    script(&seen, QPageLayout::Inch);
    QVERIFY(next.PrintDialog(r.main.get()));
    QCOMPARE(near(seen.margins), (QList<double>{0.25, 1.5, 1, 0.5}));
    QCOMPARE(seen.orientation, 2);
  }

  // The dialogs themselves, worked as a user would and closed with OK.
  void realDialogsHandTheirChoiceBack() {
    QLocale::setDefault(QLocale("en_US"));
    FakeUtils u;
    CPrintSettings s(&u);
    CDialogs::Get().SetModalHook([](QDialog& d) {
      auto* left = d.findChild<QDoubleSpinBox*>("leftMargin");
      auto* portrait = d.findChild<QRadioButton*>("portrait");
      if (!left || !portrait) return int(QDialog::Rejected);
      left->setValue(0.5);
      portrait->click();
      QTimer::singleShot(0, &d, &QDialog::accept);
      return d.exec();
    });
    QVERIFY(s.PageSetup(nullptr));
    QCOMPARE(::stored(u, kKeys + QStringList{"Orientation"}), (QStringList{"500", "1000", "1000", "1000", "1"}));

    u.store["Orientation"] = "2";
    CDialogs::Get().SetModalHook([](QDialog& d) {
      QTimer::singleShot(0, &d, &QDialog::accept);
      return d.exec();
    });
    QVERIFY(s.PrintDialog(nullptr));
    QCOMPARE(::stored(u, kKeys + QStringList{"Orientation"}), (QStringList{"500", "1000", "1000", "1000", "2"}));
    QVERIFY(u.errors.empty());
  }

  void choosePrinter_data() {
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("chosen");
    const QStringList hp = {"HP LaserJet", "HP", "Canon"};
    const QString longName = "Accounting Department Colour LaserJet";  // 37 characters
    QTest::newRow("exact before containing") << hp << "HP" << 1;
    QTest::newRow("first containing") << QStringList{"Canon", "HP LaserJet 2", "HP LaserJet 1"} << "LaserJet" << 1;
    QTest::newRow("case matters") << hp << "hp" << -1;
    QTest::newRow("none") << hp << "Brother" << -1;
    QTest::newRow("no printers") << QStringList{} << "HP" << -1;
    QTest::newRow("unnamed device picks none") << hp << "" << -1;
    QTest::newRow("long name: exact full name first") << QStringList{longName + " 2", longName} << longName << 1;
    QTest::newRow("long name: its first 32 characters")
        << QStringList{"Canon", "Accounting Department Colour Las", longName + " 2"} << longName << 1;
    QTest::newRow("long name: contained first 32 characters")
        << QStringList{"Canon", "Accounting Department Colour LasX 2"} << longName + " 9" << 1;
    QTest::newRow("long name: difference after 32 characters is not seen")
        << QStringList{"Accounting Department Colour Laser"} << longName << 0;
  }
  void choosePrinter() {
    QFETCH(QStringList, printers);
    QFETCH(QString, device);
    QFETCH(int, chosen);
    QCOMPARE(CPrintSettings::ChoosePrinter(printers, device), chosen);
  }
};

KV_QTEST(PrintSettingsTests)
#include "PrintSettingsTests.moc"
