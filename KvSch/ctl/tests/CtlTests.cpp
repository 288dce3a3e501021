// The schematic control on the real engine and shell, driven by real mouse events: what the
// tools send to the engine and what the engine then holds, refusals, the view's states,
// zoom and grid, panels shown by the shell, and the control's own surface.

#include <QDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryFile>
#include <QToolBar>
#include <QUndoStack>
#include <QWheelEvent>
#include <cstdlib>

#include "KvSch/ctl/SchUndo.h"
#include "KvSch/ctl/tests/CtlRig.h"
#include "desktop/Schematic.h"
#include "desktop/frmSch.h"

namespace {

// Where a component placed at p is wired: Meas.CkPeriod's input (pin 1) and output (pin 2).
SchPoint inPin(SchPoint p) { return {p.x, p.y + 200}; }
SchPoint outPin(SchPoint p) { return {p.x + 700, p.y + 200}; }
const SchPoint kA{1000, 1000}, kB{3000, 1000}, kC{3000, 2000};

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += x + " ";
  return s;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Grabs for looking at, when KV_SCH_GRABS names a folder.
void grab(QWidget* w, const char* name) {
  if (const char* dir = std::getenv("KV_SCH_GRABS")) w->grab().save(QString("%1/%2.png").arg(dir, name));
}

// Whether any pixel of the viewport has the grid's colour.
bool showsGrid(CSchView* v) {
  const QImage img = v->viewport()->grab().toImage();
  const QRgb grid = qRgb(119, 119, 119);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xffffff) == (grid & 0xffffff)) return true;
  return false;
}

}  // namespace

class CtlTests : public QObject {
  Q_OBJECT

 private slots:
  void controlSurface() {
    CtlRig r;
    // Load needs an App; without one the references stay unset and nothing is sent.
    CKvSchCtrl bare;
    IApp* none = nullptr;
    QCOMPARE(long(bare.Load(nullptr, nullptr, nullptr)), -1L);
    QCOMPARE(long(bare.Load(&none, nullptr, nullptr)), -1L);
    QVERIFY(!bare.App() && !bare.Port().Attached());
    QVERIFY(!bare.Edit().Place("Meas.CkPeriod", kA));
    QCOMPARE(r.app.lines.size(), size_t(0));

    GuiStyle s{};
    QCOMPARE(long(r.ctl->GetStyle(&s)), long(S_OK));
    QVERIFY(s.bResizeable && s.bCloseable);
    QVERIFY(!r.ctl->Modified());
    r.ctl->put_Caption("c");
    QVERIFY(r.ctl->Modified());

    // DocumentName names the document; no file is made, opened for writing or changed.
    QTemporaryDir dir;
    const QString file = dir.path() + "/drawing.sch", missing = dir.path() + "/none.sch";
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write("keep");
    f.close();
    const struct {
      QString name;
      const char* title;
    } names[] = {{file, "drawing.sch"}, {dir.path(), "Untitled"}, {missing, "Untitled"}};
    for (const auto& c : names) {
      r.ctl->put_DocumentName(c.name.toStdString());
      QCOMPARE(QString::fromStdString(r.ctl->DocumentTitle()), QString(c.title));
      QCOMPARE(QString::fromStdString(r.ctl->get_DocumentName()), c.name);
    }
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(QFileInfo(file).size(), qint64(4));

    // The about box goes through the dialog service.
    QString title, line;
    CDialogs::Get().SetModalHook([&](QDialog& d) {
      title = d.windowTitle();
      line = d.findChild<QLabel*>()->text();
      return int(QDialog::Accepted);
    });
    r.ctl->AboutBox();
    QCOMPARE(title, QString("About KvSch Control"));
    QCOMPARE(line, QString("KvSch Control, Version 1.0"));

    // The library registers the control; the shell finds it in any case.
    QWidget* made = r.desk.main->Controls().Create("kvsch.kvschctrl.1", nullptr);
    QVERIFY(made && dynamic_cast<IKvSchematic*>(made) && dynamic_cast<IKvGui*>(made));
    delete made;

    // The toolbar, in order; separators as "|".
    QStringList tips;
    for (QAction* a : r.ctl->Frame()->ToolBar()->actions()) tips << (a->isSeparator() ? "|" : a->toolTip());
    QCOMPARE(tips, QStringList({"Select Object", "Add Component", "Add Wire", "|", "Refresh", "|",
                                "Delete Selected Object", "|", "Undo", "Redo"}));
  }

  void placingSendsLoadAndSymbol() {
    CtlRig r;
    // The dialog: sorted without regard to case. Cancel, or OK with nothing chosen, goes back
    // to Select Object and sends nothing; a double click on an entry places it.
    const struct {
      const char* what;
      std::function<int(QListWidget*)> answer;
      const char* lines;
    } answers[] = {
        {"cancel", [](QListWidget*) { return int(QDialog::Rejected); }, ""},
        {"nothing chosen", [](QListWidget*) { return int(QDialog::Accepted); }, ""},
        {"double click",
         [](QListWidget* list) {
           emit list->itemDoubleClicked(list->item(1));
           return static_cast<QDialog*>(list->window())->result();
         },
         "load m1=Meas.CkPeriod|m1.symbol"},
    };
    for (const auto& c : answers) {
      QStringList offered;
      QString title;
      CDialogs::Get().SetModalHook([&](QDialog& d) {
        title = d.windowTitle();
        auto* list = d.findChild<QListWidget*>();
        for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
        return c.answer(list);
      });
      const size_t mark = r.app.lines.size();
      r.tool("Add Component");
      r.click({1030, 1060});
      QCOMPARE(title, QString("Dialog"));
      QCOMPARE(offered, QStringList({"meas.all", "Meas.CkPeriod", "Test.Src"}));
      QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString(c.lines));
      const bool placed = *c.lines;
      QVERIFY2(r.view()->CurrentTool() == (placed ? int(CSchView::tlComponent) : int(CSchView::tlSelect)), c.what);
      QVERIFY2(r.ctl->Frame()->Action("Select Object")->isChecked() == !placed, c.what);
      QVERIFY2(r.ctl->Frame()->Action("Add Component")->isChecked() == placed, c.what);
    }
    CDialogs::Get().SetModalHook({});
    QCOMPARE(r.doc().Count(), 1);
    auto* m = static_cast<CSchMod*>(r.doc().At(0));
    QVERIFY(m->Position() == (SchPoint{1000, 1100}));
    QCOMPARE(m->PinCount(), 2);
    r.tool("Select Object");

    // A name the engine holds already is skipped; a component without a symbol is unloaded
    // again and its refusal logged; while busy nothing is sent at all.
    r.query("load m2 = test.src");
    const struct {
      const char* func;
      const char* lines;
      bool busy, placed;
      const char* logged;
    } cases[] = {
        {"Meas.CkPeriod", "load m3=Meas.CkPeriod|m3.symbol", false, true, nullptr},
        {"Test.Src", "load m4=Test.Src|m4.symbol|unload m4", false, false, "Error: cmd=m4.symbol, resp="},
        {"Meas.CkPeriod", "", true, false, "The network cannot be changed while an acquisition runs"},
    };
    for (const auto& c : cases) {
      const size_t mark = r.app.lines.size();
      const int before = r.doc().Count();
      long handle = 0;
      if (c.busy) r.desk.main->App()->SetBusy(&handle);
      CSchMod* placed = r.place(c.func, {5000, 3000});
      if (c.busy) r.desk.main->App()->SetBusyNot(handle);
      QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString(c.lines));
      QVERIFY(bool(placed) == c.placed && r.doc().Count() == before + c.placed);
      if (c.logged) QVERIFY2(contains(r.desk.log(), c.logged), r.desk.log().c_str());
    }
    QVERIFY(r.loaded("m3") && !r.loaded("m4"));
    QCOMPARE(r.ctl->Components(), (std::vector<std::string>{"m1", "m3"}));
  }

  void wiringLinksNets() {
    CtlRig r;
    const SchPoint d{1000, 4000}, e{3000, 4000}, f{1000, 5000};
    for (SchPoint p : {kA, kB, kC, d, e, f}) QVERIFY(r.place("Meas.CkPeriod", p));
    const struct {
      const char* what;
      std::vector<SchPoint> clicks;
      bool escape;
      const char* lines;  // the lines sent, in order
      int wires, juns;    // in the drawing afterwards
    } cases[] = {
        // Output to input: one link.
        {"out to in", {outPin(kA), inPin(kB)}, false, "link m2.ck.in=m1.CkPeriod.out", 1, 0},
        // A second input joined at the wire: split by a junction, both inputs linked.
        {"in to wire",
         {inPin(kC), {2400, 1200}},
         false,
         "link m2.ck.in=m1.CkPeriod.out|link m3.ck.in=m1.CkPeriod.out",
         4,
         1},
        // A second output into that net is refused without a word; the tool keeps drawing.
        {"out to junction", {outPin(kB), {2400, 1200}}, true, "", 4, 1},
        // A corner with nothing there keeps drawing; Escape keeps the corner's segments.
        {"corner", {outPin(kC), {4500, 2800}}, true, "", 6, 1},
        // Two inputs wired together send nothing; an output joined to their wire links both.
        {"in to in", {inPin(d), inPin(e)}, false, "", 7, 1},
        {"out to their wire",
         {outPin(f), {2400, 4200}},
         false,
         "link m4.ck.in=m6.CkPeriod.out|link m5.ck.in=m6.CkPeriod.out",
         10,
         2},
    };
    for (const auto& c : cases) {
      const size_t mark = r.app.lines.size();
      r.tool("Add Wire");
      for (SchPoint p : c.clicks) {
        r.move(p);
        r.click(p);
      }
      QVERIFY2(r.view()->MouseState() == (c.escape ? int(CSchView::msWire) : int(CSchView::msIdle)), c.what);
      if (c.escape) r.key(Qt::Key_Escape);
      QVERIFY2(r.view()->MouseState() == CSchView::msIdle && !r.ctl->Edit().Drawing(), c.what);
      QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString(c.lines));
      QVERIFY2(r.count(skWire) == c.wires && r.count(skJun) == c.juns, c.what);
      QVERIFY(r.allOrthogonal());
    }
    const std::pair<const char*, const char*> sources[] = {{"m2.ck.in", "m1.CkPeriod.out"},
                                                           {"m3.ck.in", "m1.CkPeriod.out"},
                                                           {"m4.ck.in", "m6.CkPeriod.out"},
                                                           {"m5.ck.in", "m6.CkPeriod.out"}};
    for (const auto& [in, out] : sources) QCOMPARE(QString::fromStdString(r.query(in)), QString(out));
    QVERIFY(!contains(r.desk.log(), "Error: cmd=link"));

    // Deleting the wire from the output leaves both inputs without a source: each unlinked,
    // nothing for the output side.
    r.tool("Select Object");
    r.click({2000, 1200});
    QCOMPARE(r.selected().size(), size_t(1));
    const size_t mark = r.app.lines.size();
    r.ctl->Frame()->Action("Delete Selected Object")->trigger();
    QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString("unlink m2.ck.in|unlink m3.ck.in"));
    QVERIFY(r.query("m2.ck.in") != "m1.CkPeriod.out" && r.query("m3.ck.in") != "m1.CkPeriod.out");
  }

  void selectingAndMoving() {
    CtlRig r;
    CSchMod* a = r.place("Meas.CkPeriod", kA);
    CSchMod* b = r.place("Meas.CkPeriod", kB);
    QVERIFY(a && b);
    r.wire({outPin(kA), inPin(kB)});
    r.tool("Select Object");
    const std::string wireName = r.doc().At(2)->Name().GetBfr();
    const struct {
      SchPoint from, to;
      std::vector<std::string> selected;
    } bands[] = {
        {{900, 900}, {1650, 1400}, {a->Name().GetBfr()}},                                // only the first component
        {{5000, 5000}, {5002, 5002}, {}},                                                // a click on nothing
        {{3300, 1150}, {3302, 1152}, {b->Name().GetBfr()}},                              // a click: the object there
        {{900, 900}, {3100, 1250}, {a->Name().GetBfr(), b->Name().GetBfr(), wireName}},  // everything it touches
    };
    for (const auto& c : bands) {
      r.drag(c.from, c.to);
      QCOMPARE(QString::fromStdString(join(r.selected())), QString::fromStdString(join(c.selected)));
      QCOMPARE(r.view()->MouseState(), int(CSchView::msIdle));
    }
    r.press({900, 900});
    r.move({1650, 1400});
    QCOMPARE(r.view()->MouseState(), int(CSchView::msSelectBand));
    grab(r.ctl.get(), "selection-band");
    r.key(Qt::Key_Escape);
    r.release({1650, 1400});
    QCOMPARE(r.selected().size(), size_t(3));

    // Dragging the selected component moves it in grid steps; the wire's end follows, and the
    // diagonal it became is straightened once the button is released. Moving works while the
    // engine is busy and sends nothing.
    long handle = 0;
    r.desk.main->App()->SetBusy(&handle);
    const size_t mark = r.app.lines.size();
    r.click({5000, 5000});
    r.click({3300, 1150});
    QCOMPARE(r.selected().size(), size_t(1));
    r.press({3300, 1150});
    r.move({3340, 1190});  // snaps to where it started: no step
    QVERIFY(b->Position() == kB);
    r.move({3430, 1570});
    QCOMPARE(r.view()->MouseState(), int(CSchView::msMove));
    QVERIFY(b->Position() == (SchPoint{3100, 1400}));
    grab(r.ctl.get(), "moved-diagonal");
    r.release({3430, 1570});
    r.desk.main->App()->SetBusyNot(handle);
    QVERIFY(r.app.lines.size() == mark);
    QVERIFY(b->Position() == (SchPoint{3100, 1400}));
    QVERIFY(r.allOrthogonal());
    QCOMPARE(r.count(skWire), 3);
    QCOMPARE(QString::fromStdString(r.query("m2.ck.in")), QString("m1.CkPeriod.out"));
    grab(r.ctl.get(), "selection");
  }

  void zoomAndGrid() {
    CtlRig r;
    QVERIFY(r.place("Meas.CkPeriod", kA) && r.place("Meas.CkPeriod", kC));
    r.wire({outPin(kA), inPin(kC)});
    CSchView* v = r.view();
    const QSize vp = v->viewport()->size();
    auto centre = [&] { return v->ToLogical(QPoint(vp.width() / 2, vp.height() / 2)); };
    const struct {
      double scale;
      bool grid;
      const char* grab;
    } scales[] = {{0.4, false, "scale-0.4"}, {0.5, true, nullptr}, {1, true, "scale-1"}, {3, true, "scale-3"}};
    for (const auto& c : scales) {
      v->ZoomBy(c.scale / v->Scale());
      QVERIFY(std::abs(v->Scale() - c.scale) < 1e-9);
      QCOMPARE(v->ScrollArea(), QSize(qRound(1200 * c.scale), qRound(900 * c.scale)));
      QCOMPARE(showsGrid(v), c.grid);
      if (c.grab) {
        v->horizontalScrollBar()->setValue(0);
        v->verticalScrollBar()->setValue(0);
        grab(r.ctl.get(), c.grab);
      }
    }
    // Mouse points: (pixel + scroll) x 10000 / zoom, truncated.
    const struct {
      double scale;
      QPoint scroll, pixel;
      SchPoint logical;
    } mapped[] = {{1, {150, 30}, {10, 7}, {1066, 246}}, {3, {0, 0}, {1, 2}, {2, 4}}, {0.5, {0, 0}, {3, 1}, {40, 13}}};
    for (const auto& c : mapped) {
      v->ZoomBy(c.scale / v->Scale());
      v->horizontalScrollBar()->setValue(c.scroll.x());
      v->verticalScrollBar()->setValue(c.scroll.y());
      QVERIFY(v->ToLogical(c.pixel) == c.logical);
    }
    // Zoom in and out keep the centre (within a pixel); the limits hold; bad factors do nothing.
    v->ZoomBy(1 / v->Scale());
    const SchPoint c0 = centre();
    for (Qt::Key k : {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Minus}) {
      r.key(k);
      QVERIFY(std::abs(centre().x - c0.x) <= 10 && std::abs(centre().y - c0.y) <= 10);
    }
    QVERIFY(std::abs(v->Zoom() - 1500 * 1.5) < 1e-6);
    for (double f : {0.0, -2.0, std::nan("")}) {
      v->ZoomBy(f);
      QVERIFY(std::abs(v->Zoom() - 2250) < 1e-6);
    }
    for (int i = 0; i < 30; ++i) r.key(Qt::Key_Plus);
    QCOMPARE(v->Zoom(), 150000.0);
    for (int i = 0; i < 40; ++i) r.key(Qt::Key_Minus);
    QCOMPARE(v->Zoom(), 15.0);
    // Ctrl with the wheel zooms; the wheel alone does not.
    for (Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::NoModifier)}) {
      const double before = v->Zoom();
      QWheelEvent w(QPointF(50, 50), v->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, mods, Qt::NoScrollPhase, false);
      QApplication::sendEvent(v->viewport(), &w);
      QCOMPARE(v->Zoom(), mods ? before * 1.5 : before);
    }

    // The zoom window: "Z", then a band. A band without width or height does nothing; one
    // with both fills the view with it.
    v->ZoomBy(1500 / v->Zoom());
    r.key(Qt::Key_Z);
    QCOMPARE(v->CurrentTool(), int(CSchView::tlZoomWindow));
    QVERIFY(!r.ctl->Frame()->Action("Select Object")->isChecked());
    for (SchPoint end : {SchPoint{1000, 2000}, SchPoint{2000, 1000}}) {
      r.drag({1000, 1000}, end);
      QCOMPARE(v->Zoom(), 1500.0);
    }
    // Escape takes a band back; its release then does nothing.
    r.press({1000, 1000});
    r.move({1800, 1400});
    QCOMPARE(v->MouseState(), int(CSchView::msZoomBand));
    r.key(Qt::Key_Escape);
    r.release({1800, 1400});
    QCOMPARE(v->Zoom(), 1500.0);
    r.drag({1000, 1000}, {1800, 1400});
    const SchPoint client = v->ClientLogical();
    QVERIFY(v->Zoom() > 1500);
    QVERIFY(std::abs(std::min(client.x / 800.0, client.y / 400.0) - 1) < 0.02);
    for (SchPoint p : {SchPoint{1000, 1000}, SchPoint{1800, 1400}})
      QVERIFY(v->viewport()->rect().adjusted(-2, -2, 2, 2).contains(v->ToDevice(p)));
    QCOMPARE(v->MouseState(), int(CSchView::msIdle));
  }

  void endersEndAWireFirst() {
    const struct {
      const char* what;
      std::function<void(CtlRig&)> end;
    } enders[] = {
        {"Escape", [](CtlRig& r) { r.key(Qt::Key_Escape); }},
        {"tool change", [](CtlRig& r) { r.tool("Select Object"); }},
        {"zoom window key", [](CtlRig& r) { r.key(Qt::Key_Z); }},
        {"Delete", [](CtlRig& r) { r.ctl->Frame()->Action("Delete Selected Object")->trigger(); }},
        {"ClearState", [](CtlRig& r) { r.ctl->ClearState(); }},
        {"LoadState", [](CtlRig& r) { r.ctl->LoadState("0\r\n"); }},
        {"Unload", [](CtlRig& r) { r.ctl->Unload(); }},
    };
    for (const auto& c : enders) {
      CtlRig r;
      QVERIFY(r.place("Meas.CkPeriod", kA));
      r.tool("Add Wire");
      r.click(outPin(kA));
      r.move({2500, 2000});
      QVERIFY(r.ctl->Edit().Drawing());
      grab(r.ctl.get(), "wire-in-progress");
      c.end(r);
      QVERIFY2(!r.ctl->Edit().Drawing() && r.view()->MouseState() == CSchView::msIdle, c.what);
      QVERIFY2(r.count(skWire) == 0, c.what);
      r.move({2600, 2100});  // the scratch segments are gone: nothing follows the mouse
      QVERIFY2(!r.ctl->Edit().Drawing(), c.what);
    }
  }

  void panelsOpenInTheShell() {
    CtlRig r;
    QVERIFY(r.place("Meas.CkPeriod", kA));
    QVERIFY(r.place("Meas.CkPeriod", kB));
    // Panels open while the engine is busy, too.
    size_t mark = r.app.lines.size();
    long handle = 0;
    r.desk.main->App()->SetBusy(&handle);
    QTest::mouseDClick(r.vp(), Qt::LeftButton, {}, r.at({1300, 1150}));
    r.desk.main->App()->SetBusyNot(handle);
    QCOMPARE(QString::fromStdString(r.app.joined(mark)),
             QString("m1.gui.names|m1.igui.wnd=\"m1_0\"|show(m1.igui)|m1.ogui.wnd=\"m1_1\"|show(m1.ogui)"));
    QVERIFY(
        r.desk.waitFor([&] { return r.desk.main->FindPanelWindow("m1_0") && r.desk.main->FindPanelWindow("m1_1"); }));
    QCOMPARE(r.selected().size(), size_t(1));

    // A component the engine now makes from a module without panels says so.
    r.query("unload m2");
    r.query("load m2 = test.src");
    CDialogs::Get().ClearShown();
    mark = r.app.lines.size();
    QTest::mouseDClick(r.vp(), Qt::LeftButton, {}, r.at({3300, 1150}));
    QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString("m2.gui.names"));
    QVERIFY(!CDialogs::Get().Shown().empty());
    QCOMPARE(QString::fromStdString(CDialogs::Get().Shown().back()), QString("Mod doesn't have any GUIs"));
    // A double click on nothing selects nothing and sends nothing.
    mark = r.app.lines.size();
    QTest::mouseDClick(r.vp(), Qt::LeftButton, {}, r.at({6000, 5000}));
    QVERIFY(r.selected().empty() && r.app.lines.size() == mark);
  }

  void stateCallsAndLifetime() {
    CtlRig r;
    QVERIFY(r.place("Meas.CkPeriod", kA) && r.place("Meas.CkPeriod", kB));
    r.wire({outPin(kA), inPin(kB)});
    std::string saved;
    QCOMPARE(r.ctl->SaveState(&saved), 1L);
    QVERIFY(r.ctl->Undo().Stack()->canUndo());

    // Loading into a control that holds components unloads them first, then rebuilds the
    // drawing and its links; nothing before it can be undone.
    size_t mark = r.app.lines.size();
    QCOMPARE(r.ctl->LoadState(saved), 0L);
    const std::string lines = r.app.joined(mark);
    QVERIFY2(lines.rfind("unlink m2.ck.in|unload m2|unload m1|load m1=Meas.CkPeriod|m1.symbol|load m2=", 0) == 0,
             lines.c_str());
    QVERIFY(contains(lines, "link m2.ck.in=m1.CkPeriod.out"));
    std::string again;
    r.ctl->SaveState(&again);
    QCOMPARE(QString::fromStdString(again), QString::fromStdString(saved));
    QVERIFY(!r.ctl->Undo().Stack()->canUndo());
    QCOMPARE(r.ctl->Components(), (std::vector<std::string>{"m1", "m2"}));

    // The frmSch path: the shell's schematic window holds the registered control.
    frmSch* sch = r.desk.main->Schematic();
    QVERIFY(sch && sch->HasEditor());
    const std::string one = "1,M,#900\r\nMod,#900,500,500,0,Meas.CkPeriod,m9\r\n";
    QCOMPARE(sch->LoadState(one), 0L);
    QVERIFY(r.loaded("m9"));
    QCOMPARE(sch->Components(), (std::vector<std::string>{"m9"}));
    std::string back;
    QCOMPARE(sch->SaveState(&back), 1L);
    QCOMPARE(QString::fromStdString(back), QString::fromStdString(one));
    sch->ClearState();
    QVERIFY(!r.loaded("m9"));

    // ClearState unloads everything; nothing is left to undo.
    r.place("Meas.CkPeriod", kC);
    QVERIFY(r.ctl->Undo().Stack()->canUndo());
    mark = r.app.lines.size();
    QCOMPARE(r.ctl->ClearState(), 0L);
    QCOMPARE(QString::fromStdString(r.app.joined(mark)), QString("unlink m2.ck.in|unload m3|unload m2|unload m1"));
    QVERIFY(r.doc().Count() == 0 && r.ctl->Components().empty() && !r.ctl->Undo().Stack()->canUndo());

    // Undo and redo with their keys, with the focus in the view.
    CSchMod* m = r.place("Meas.CkPeriod", kA);
    QVERIFY(m && r.loaded("m4"));
    r.ctl->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(r.ctl.get()));
    r.view()->setFocus();
    QTest::keyClick(r.view(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!r.loaded("m4") && r.doc().Count() == 0);
    QTest::keyClick(r.view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(r.loaded("m4") && r.doc().Count() == 1);

    // References are each control's own: a second control loaded and unloaded leaves this one
    // working.
    {
      CKvSchCtrl other;
      IApp* a = r.desk.main->App();
      QCOMPARE(long(other.Load(&a, nullptr, nullptr)), 0L);
      QVERIFY(other.Port().Attached());
      other.Unload();
      QVERIFY(!other.Port().Attached() && !other.Edit().Place("Meas.CkPeriod", kB));
    }
    QVERIFY(r.ctl->Port().Attached());
    QVERIFY(r.place("Meas.CkPeriod", kB));

    // Destroying the control discards the drawing without a command.
    mark = r.app.lines.size();
    r.ctl.reset();
    QCOMPARE(r.app.lines.size(), mark);
    QVERIFY(r.loaded("m4") && r.loaded("m5"));
  }
};

KV_QTEST(CtlTests)
#include "CtlTests.moc"
