#pragma once
// The schematic control on a whole main window (real engine, off screen): the control made
// directly, loaded with an App that forwards every call to the engine and lists the lines
// executed, a library folder whose mods.lst offers Meas and Test functions, and real mouse
// events on the view's viewport at logical points.

#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KvSch/SchEdit.h"
#include "KvSch/ctl/SchCtrl.h"
#include "KvSch/ctl/SchFrame.h"
#include "KvSch/ctl/SchView.h"
#include "desktop/tests/DesktopRig.h"

// Forwards to the engine's App; Execute lines are listed.
class RecordingApp final : public IApp {
 public:
  explicit RecordingApp(IApp* a) : app(a) {}
  IApp* app;
  std::vector<std::string> lines;

  // The editor's own commands from line from on, "|" between them; the queries an undo
  // journal makes on the side are left out.
  std::string joined(size_t from = 0) const {
    std::string s;
    for (size_t i = from; i < lines.size(); ++i)
      if (own(lines[i])) s += (s.empty() ? "" : "|") + lines[i];
    return s;
  }
  static bool own(const std::string& l) {
    auto ends = [&](const char* e) {
      return l.size() > strlen(e) && l.compare(l.size() - strlen(e), strlen(e), e) == 0;
    };
    for (const char* p : {"load ", "unload ", "link ", "unlink ", "show("})
      if (l.rfind(p, 0) == 0) return true;
    return ends(".symbol") || ends(".gui.names") || l.find(".wnd=\"") != std::string::npos;
  }

  long AddRef() override { return 1; }
  long Release() override { return 1; }
  HRESULT GetIDOfName(const std::string& n) override { return app->GetIDOfName(n); }
  HRESULT Execute(const std::string& cmd, std::string* msg, long* result) override {
    lines.push_back(cmd);
    return app->Execute(cmd, msg, result);
  }
#define KV_FWD(name, params, args) \
  HRESULT name params override { return app->name args; }
  KV_FWD(get_str, (const std::string& m, const std::string& p, std::string* o), (m, p, o))
  KV_FWD(put_str, (const std::string& m, const std::string& p, const std::string& v), (m, p, v))
  KV_FWD(get_dbl, (const std::string& m, const std::string& p, double* o), (m, p, o))
  KV_FWD(put_dbl, (const std::string& m, const std::string& p, double v), (m, p, v))
  KV_FWD(get_lng, (const std::string& m, const std::string& p, int32_t* o), (m, p, o))
  KV_FWD(put_lng, (const std::string& m, const std::string& p, int32_t v), (m, p, v))
  KV_FWD(get_flt, (const std::string& m, const std::string& p, float* o), (m, p, o))
  KV_FWD(put_flt, (const std::string& m, const std::string& p, float v), (m, p, v))
  KV_FWD(get_unit, (const std::string& m, const std::string& p, std::string* o), (m, p, o))
  KV_FWD(run, (long c, long* o), (c, o))
  KV_FWD(isLoaded, (const std::string& c, bool* o), (c, o))
  KV_FWD(GetCmdList, (std::string * o), (o))
  KV_FWD(LoadNetlist, (long* o), (o))
  KV_FWD(get_isBusy, (bool* o), (o))
  KV_FWD(get_Utils, (IUtils * *o), (o))
  KV_FWD(get_WrkSpc, (IWrkSpc * *o), (o))
  KV_FWD(UnloadNetlist, (long* o), (o))
  KV_FWD(kill, (long ms, long* o), (ms, o))
  KV_FWD(Init, (intptr_t r), (r))
  KV_FWD(get_CompCount, (long* o), (o))
  KV_FWD(get_CompLabel, (long i, std::string* o), (i, o))
  KV_FWD(get_CompName, (long i, std::string* o), (i, o))
  KV_FWD(get_CompRunOrder, (long i, long* o), (i, o))
  KV_FWD(get_runstatus, (long* o), (o))
  KV_FWD(get_bStop, (bool* o), (o))
  KV_FWD(put_bStop, (bool v), (v))
  KV_FWD(get_bAbort, (bool* o), (o))
  KV_FWD(put_bAbort, (bool v), (v))
  KV_FWD(get_hwnd, (KvWnd * o), (o))
  KV_FWD(get_Data, (const std::string& m, const std::string& p, std::string* o), (m, p, o))
  KV_FWD(put_Data, (const std::string& m, const std::string& p, const std::string& v), (m, p, v))
  KV_FWD(SetBusy, (long* h), (h))
  KV_FWD(SetBusyNot, (long h), (h))
  KV_FWD(Advise, (IAppEvents * s, long* c), (s, c))
  KV_FWD(Unadvise, (long c), (c))
#undef KV_FWD
};

struct CtlRig {
  DesktopRig desk;
  QTemporaryDir lib;
  RecordingApp app{desk.main->App()};
  std::unique_ptr<CKvSchCtrl> ctl = std::make_unique<CKvSchCtrl>();

  // Placing offers these, unsorted here.
  static constexpr const char* kModsLst = "Test.Src,test.src\nmeas.all,meas.all\nMeas.CkPeriod,meas.ckperiod\n";

  CtlRig() {
    for (const char* bin : {"Meas.bin", "Test.bin"})
      symlink((std::string(KV_TEST_LIB_DIR) + "/" + bin).c_str(), (lib.path().toStdString() + "/" + bin).c_str());
    QFile f(lib.path() + "/mods.lst");
    f.open(QIODevice::WriteOnly);
    f.write(kModsLst);
    f.close();
    desk.main->Utils()->put_LibraryPath(lib.path().toStdString());
    ctl->resize(900, 700);
    ctl->show();
    IApp* a = &app;
    ctl->Load(&a, nullptr, nullptr);
  }
  ~CtlRig() {
    CDialogs::Get().SetModalHook({});
    ctl.reset();
  }

  CSchView* view() const { return ctl->View(); }
  QWidget* vp() const { return view()->viewport(); }
  CSchDoc& doc() const { return ctl->Doc(); }
  QPoint at(SchPoint p) const { return view()->ToDevice(p); }
  void press(SchPoint p) { QTest::mousePress(vp(), Qt::LeftButton, {}, at(p)); }
  void release(SchPoint p) { QTest::mouseRelease(vp(), Qt::LeftButton, {}, at(p)); }
  void move(SchPoint p) { QTest::mouseMove(vp(), at(p)); }
  void click(SchPoint p) { QTest::mouseClick(vp(), Qt::LeftButton, {}, at(p)); }
  void drag(SchPoint a, SchPoint b) {
    press(a);
    move({(a.x + b.x) / 2, (a.y + b.y) / 2});
    move(b);
    release(b);
  }
  void key(Qt::Key k) { QTest::keyClick(view(), k); }
  void tool(const char* tip) { ctl->Frame()->Action(tip)->trigger(); }

  // Places function func at p with the Add Component tool and the dialog scripted.
  CSchMod* place(const char* func, SchPoint p) {
    const int before = doc().Count();
    CDialogs::Get().SetModalHook([func](QDialog& d) {
      auto* list = d.findChild<QListWidget*>();
      const auto found = list->findItems(func, Qt::MatchExactly);
      if (found.isEmpty()) return int(QDialog::Rejected);
      list->setCurrentItem(found.front());
      return int(QDialog::Accepted);
    });
    tool("Add Component");
    click(p);
    CDialogs::Get().SetModalHook({});
    tool("Select Object");
    return doc().Count() > before ? static_cast<CSchMod*>(doc().At(doc().Count() - 1)) : nullptr;
  }
  // Draws a wire with the Add Wire tool through the clicks given (the last one should end it).
  void wire(std::initializer_list<SchPoint> clicks) {
    tool("Add Wire");
    for (SchPoint p : clicks) {
      move(p);
      click(p);
    }
  }

  std::string query(const std::string& line) {
    std::string answer;
    long r = -1;
    desk.main->App()->Execute(line, &answer, &r);
    return r == 0 ? answer : "refused: " + answer;
  }
  bool loaded(const std::string& comp) {
    bool b = false;
    desk.main->App()->isLoaded(comp, &b);
    return b;
  }
  int count(int kind) const {
    int n = 0;
    for (int32_t i = 0; i < doc().Count(); ++i) n += doc().At(i)->Kind() == kind;
    return n;
  }
  std::vector<std::string> selected() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < doc().Count(); ++i)
      if (doc().At(i)->IsSelected()) names.emplace_back(doc().At(i)->Name().GetBfr());
    return names;
  }
  bool allOrthogonal() const {
    for (int32_t i = 0; i < doc().Count(); ++i)
      if (doc().At(i)->Kind() == skWire && static_cast<CSchWire*>(doc().At(i))->IsDiagonal()) return false;
    return true;
  }
};
