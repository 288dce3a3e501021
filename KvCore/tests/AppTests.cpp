// The automation surface as the shell, tool windows and panels use it: only KvApi.h.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"

namespace {

struct Sink final : IAppEvents {
  std::vector<std::string> events;
  std::vector<std::thread::id> threads;
  KvEvent idle{true, false}, changed{true, false};
  void note(const std::string& e) {
    events.push_back(e);
    threads.push_back(std::this_thread::get_id());
  }
  void ValueChanged(const std::string& c, const std::string& v) override {
    note("ValueChanged " + c + " " + v);
    changed.Set();
  }
  void BeforeAcq(long id) override { note("BeforeAcq " + std::to_string(id)); }
  void AfterAcq(long id) override { note("AfterAcq " + std::to_string(id)); }
  void ShowGui(const std::string& c, long& show) override {
    note("ShowGui " + c + " " + std::to_string(show));
    if (show == 2) show = 1;
  }
  void AcqAborted(long id) override { note("AcqAborted " + std::to_string(id)); }
  void AcqIdle() override {
    note("AcqIdle");
    idle.Set();
  }
};

long g_previousCalls = 0;
long countingProc(KvWnd, unsigned, intptr_t, intptr_t) { return ++g_previousCalls; }

// An App as the shell holds it: Init with a start-up record naming its window and a log.
struct AppRig {
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  Sink sink;
  long cookie = 0;
  KvWnd shell = CreateWindow(countingProc);
  KvWnd logParent = KvCreateHeadlessParent(300, 200);
  intptr_t record[kStartEntries] = {};

  explicit AppRig(bool init = true) {
    EXPECT_EQ(KvCreateObject("KvCore.App", app.put()), S_OK);
    app->get_Utils(utils.put());
    utils->put_LibraryPath(KV_TEST_LIB_DIR);
    app->Advise(&sink, &cookie);
    record[kStartMainWnd] = shell;
    record[kStartLogWnd] = logParent;
    if (init) app->Init(reinterpret_cast<intptr_t>(record));
    utils->put_LibraryPath(KV_TEST_LIB_DIR);  // Init set it from the (empty) application folder
  }
  ~AppRig() {
    app->Unadvise(cookie);
    app->Init(0);
    utils.reset();
    app.reset();
    KvDestroyHeadlessParent(logParent);
    DestroyWindow(shell);
  }
  std::string ok(const std::string& line) {
    std::string msg;
    long r = -2;
    app->Execute(line, &msg, &r);
    EXPECT_EQ(r, 0) << line << " -> " << msg;
    return msg;
  }
  std::string cmdList() {
    std::string s;
    app->GetCmdList(&s);
    return s;
  }
  bool wait(KvEvent& e, long ms = 10000) {
    KvWaitable* w = &e;
    return WaitPumping(&w, 1, ms) == 0;
  }
  std::string logText() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
};

}  // namespace

TEST(Api, CreatedByNameOnly) {
  KvPtr<IApp> a;
  EXPECT_EQ(KvCreateObject("kvcore.APP.1", a.put()), S_OK);
  EXPECT_TRUE(a);
  a.reset();
  KvPtr<IApp> b;
  EXPECT_EQ(KvCreateObject("KvCore.Utils", b.put()), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(b);
  EXPECT_EQ(KvCreateObject(nullptr, b.put()), REGDB_E_CLASSNOTREG);
}

TEST(Api, AccessorErrors) {
  AppRig rig;
  rig.ok("load g = test.src");
  enum Kind { Str, Dbl, Lng, Flt, Unit, Data };
  struct Case {
    Kind kind;
    const char* mod;
    const char* par;
    HRESULT expected;
  };
  const Case cases[] = {
      {Str, "", "text", DISP_E_PARAMNOTOPTIONAL},  {Dbl, "g", "", DISP_E_PARAMNOTOPTIONAL},
      {Str, "nobody", "text", DISP_E_MEMBERNOTFOUND}, {Lng, "g", "nothing", DISP_E_PARAMNOTFOUND},
      {Str, "g", "r8", DISP_E_TYPEMISMATCH},        {Dbl, "g", "text", DISP_E_TYPEMISMATCH},
      {Lng, "g", "r8", DISP_E_TYPEMISMATCH},        {Flt, "g", "out", DISP_E_TYPEMISMATCH},
      {Str, "g", "out", DISP_E_TYPEMISMATCH},       {Lng, "g", "badread", DISP_E_PARAMNOTFOUND},
      {Data, "g", "r8", DISP_E_TYPEMISMATCH},       {Data, "g", "out", S_OK},
      {Unit, "g", "nothing", DISP_E_PARAMNOTFOUND}, {Unit, "", "r8", DISP_E_PARAMNOTOPTIONAL},
      {Str, "G", "TEXT", S_OK},                      {Dbl, "g", "R8", S_OK},
      {Lng, "g", "i4", S_OK},                        {Flt, "g", "r4", S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.mod << "." << c.par);
    std::string s = "untouched";
    double d;
    int32_t l;
    float f;
    HRESULT h = E_UNEXPECTED;
    switch (c.kind) {
      case Str: h = rig.app->get_str(c.mod, c.par, &s); break;
      case Dbl: h = rig.app->get_dbl(c.mod, c.par, &d); break;
      case Lng: h = rig.app->get_lng(c.mod, c.par, &l); break;
      case Flt: h = rig.app->get_flt(c.mod, c.par, &f); break;
      case Unit: h = rig.app->get_unit(c.mod, c.par, &s); break;
      case Data:
        h = rig.app->get_Data(c.mod, c.par, &s);
        if (h == S_OK) {
          EXPECT_EQ(s, "");
        }
        EXPECT_EQ(rig.app->put_Data(c.mod, c.par, "x"), h);
        break;
    }
    EXPECT_EQ(h, c.expected);
  }
  std::string unit;
  EXPECT_EQ(rig.app->get_unit("g", "R8", &unit), S_OK);
  EXPECT_EQ(unit, "V");
}

TEST(Api, PutsRecordAndRaiseOnlyWhenAccepted) {
  AppRig rig;
  rig.ok("load g = test.src");
  rig.sink.events.clear();
  EXPECT_EQ(rig.app->put_dbl("g", "R8", 1.5e-6), S_OK);
  EXPECT_EQ(rig.app->put_lng("g", "i4", 42), S_OK);
  EXPECT_EQ(rig.app->put_flt("g", "r4", 0.25f), S_OK);
  EXPECT_EQ(rig.app->put_str("g", "text", "a b"), S_OK);
  EXPECT_EQ(rig.app->put_lng("g", "i4", -1), S_OK) << "refused by the module: no error either";
  EXPECT_EQ(rig.sink.events, (std::vector<std::string>{"ValueChanged g r8", "ValueChanged g i4", "ValueChanged g r4",
                                                       "ValueChanged g text"}));
  EXPECT_EQ(rig.cmdList(), "load g=test.src\r\ng.r8=1.5\xC2\xB5\r\ng.i4=42.00\r\ng.r4=250.000m\r\ng.text=\"a b\"\r\n");
  double d = 0;
  rig.app->get_dbl("g", "r8", &d);
  EXPECT_DOUBLE_EQ(d, 1.5e-6);
  int32_t l = 0;
  rig.app->get_lng("g", "i4", &l);
  EXPECT_EQ(l, 42);
  std::string s;
  rig.app->get_str("g", "text", &s);
  EXPECT_EQ(s, "a b");
  EXPECT_EQ(rig.app->put_dbl("g", "text", 1), DISP_E_TYPEMISMATCH);
}

TEST(Api, LoadedNamesBusyCountsAndIndices) {
  AppRig rig;
  std::string s;
  long n = -1;
  EXPECT_EQ(rig.app->get_CompLabel(0, &s), DISP_E_BADINDEX) << "no component";
  rig.ok("load gen = test.src");
  rig.ok("load p = test.pass");
  rig.ok("load lone = test.rec");
  bool loaded = false;
  rig.app->isLoaded("gen", &loaded);
  EXPECT_TRUE(loaded);
  rig.app->isLoaded("Gen", &loaded);
  EXPECT_FALSE(loaded) << "exact case, although scripts find it";

  rig.app->get_CompRunOrder(1, &n);
  EXPECT_EQ(n, 0) << "0 after loading";
  rig.ok("p.in = gen.out");
  rig.app->get_CompCount(&n);
  EXPECT_EQ(n, 3);
  rig.app->get_CompRunOrder(0, &n);
  EXPECT_EQ(n, 0) << "its first step";
  rig.app->get_CompRunOrder(1, &n);
  EXPECT_EQ(n, 1);
  rig.app->get_CompRunOrder(2, &n);
  EXPECT_EQ(n, -1) << "no step";
  rig.app->get_CompLabel(-4, &s);
  EXPECT_EQ(s, "gen");
  rig.app->get_CompLabel(99, &s);
  EXPECT_EQ(s, "lone");
  rig.app->get_CompName(0, &s);
  EXPECT_EQ(s, "test");

  bool busy = true;
  rig.app->get_isBusy(&busy);
  EXPECT_FALSE(busy);
  long h1, h2;
  rig.app->SetBusy(&h1);
  rig.app->SetBusy(&h2);
  EXPECT_EQ(h2, 2);
  rig.app->SetBusyNot(h2);
  rig.app->get_isBusy(&busy);
  EXPECT_TRUE(busy);
  // While busy, the network keeps still; settings and queries go on.
  const std::string listed = rig.cmdList();
  for (const char* line : {"load extra = test.pass", "unload p", "link p.in = gen.out", "p.in = gen.out",
                           "unlink p.in"}) {
    std::string answer;
    long result = 0;
    rig.app->Execute(line, &answer, &result);
    EXPECT_EQ(result, -1) << line;
    EXPECT_EQ(answer, "The network cannot be changed while an acquisition runs") << line;
  }
  EXPECT_EQ(rig.cmdList(), listed);
  long r = -1;
  std::string answer;
  rig.app->Execute("p.gain = 2", &answer, &r);
  EXPECT_EQ(r, 0);
  rig.app->SetBusyNot(h1);
  rig.app->get_isBusy(&busy);
  EXPECT_FALSE(busy);

  rig.app->UnloadNetlist(&n);
  rig.app->get_CompCount(&n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(rig.cmdList(), "");
}

TEST(Api, EventsArriveOnTheUserInterfaceThread) {
  AppRig rig;
  KvWnd hwnd = 0;
  rig.app->get_hwnd(&hwnd);
  EXPECT_EQ(hwnd, rig.shell);
  rig.ok("load g = test.src");
  rig.ok("load t = test.rec");
  rig.ok("t.trigin = g.trg");
  rig.sink.events.clear();
  rig.sink.threads.clear();
  long pending = 0;
  rig.app->run(2, &pending);
  ASSERT_TRUE(rig.wait(rig.sink.idle));
  EXPECT_EQ(rig.sink.events, (std::vector<std::string>{"BeforeAcq 1", "AfterAcq 1", "BeforeAcq 2", "AfterAcq 2", "AcqIdle"}));

  // From a trigger thread: the module tells the engine, the event comes here.
  rig.ok("g.fire()");
  bool fromTrigger = false;
  for (int i = 0; i < 100 && !fromTrigger; ++i) {
    rig.sink.changed.Reset();
    for (const std::string& e : rig.sink.events) fromTrigger = fromTrigger || e == "ValueChanged t trg";
    if (!fromTrigger) rig.wait(rig.sink.changed, 100);
  }
  EXPECT_TRUE(fromTrigger);
  for (const std::thread::id& id : rig.sink.threads) EXPECT_EQ(id, std::this_thread::get_id());

  // The subclassed window swallows the engine's message range and passes the rest on.
  g_previousCalls = 0;
  SendMessage(rig.shell, 2031, 0, 0);
  EXPECT_EQ(g_previousCalls, 0);
  SendMessage(rig.shell, 100, 0, 0);
  EXPECT_EQ(g_previousCalls, 1);
  rig.app->Init(0);
  EXPECT_EQ(GetWindowProc(rig.shell), &countingProc) << "Init(0) restores the window";
}

TEST(Api, FlagsAndRunStatus) {
  AppRig rig;
  bool v = true;
  rig.app->put_bStop(true);
  rig.app->get_bStop(&v);
  EXPECT_TRUE(v);
  long st = 0;
  rig.app->get_runstatus(&st);
  EXPECT_TRUE(st == 1 || st == -1);
  rig.app->put_bStop(false);
  rig.app->put_bAbort(true);
  rig.app->get_bAbort(&v);
  EXPECT_TRUE(v);
  rig.app->put_bAbort(false);
  rig.app->get_bAbort(&v);
  EXPECT_FALSE(v);
  long k = -1;
  rig.app->kill(5000, &k);
  EXPECT_EQ(k, 0);
  rig.app->get_runstatus(&st);
  EXPECT_EQ(st, 3);
}

TEST(Utils, StepSafeaddAndNumbers) {
  AppRig rig(false);
  struct StepCase {
    double x, step, min, expected;
  };
  const StepCase steps[] = {
      {1, -0.1, 0, 0.99}, {2, 0.1, 0, 2.1},   {0, -1, 0.5, -0.5}, {0, 1, 0.5, 0.5},
      {10, -0.1, 0, 9.9}, {10, 0.1, 0, 11},   {0.5, 0.1, 0, 0.51}, {-3, 0.1, 0, -2.9},
      {1e-9, 1, 1e-6, 1.001e-6},
  };
  for (const StepCase& c : steps) {
    double x = c.x;
    rig.utils->Step(&x, c.step, c.min);
    EXPECT_NEAR(x, c.expected, std::fabs(c.expected) * 1e-12) << c.x << " " << c.step;
  }
  double x = 1e-3;
  rig.utils->safeadd(&x, -1e-3 * (1 - 1e-15));
  EXPECT_EQ(x, 0.0) << "cancellation snaps to exactly 0";
  x = 0.3;
  rig.utils->safeadd(&x, -0.1);
  EXPECT_NEAR(x, 0.2, 1e-15);
  x = 0;
  rig.utils->safeadd(&x, 2);
  EXPECT_EQ(x, 2);

  double d;
  rig.utils->Str2Num("2.5K", &d);
  EXPECT_EQ(d, 2500);
  std::string s;
  rig.utils->Num2Str(0.0015, 3, &s);
  EXPECT_EQ(s, "1.5m");
  rig.utils->scale125(2, true, &d);
  EXPECT_EQ(d, 5);
  rig.utils->get_DBLNINF(&d);
  EXPECT_TRUE(std::isinf(d) && d < 0);
  rig.utils->get_Version(&s);
  EXPECT_EQ(s.rfind("KvCore, 1.0.7, ", 0), 0u) << s;
  EXPECT_NE(s.find("\r\nKvDll, 1.1.4, "), std::string::npos) << s;
  long r = 0;
  rig.utils->IsMember(rig.app.get(), "execute", &r);
  EXPECT_EQ(r, 0);
  rig.utils->IsMember(rig.app.get(), "nothing", &r);
  EXPECT_EQ(r, DISP_E_UNKNOWNNAME);
  rig.utils->IsMember(nullptr, "Execute", &r);
  EXPECT_EQ(r, -1);
}

TEST(Utils, CallsOnlyRegisteredFunctions) {
  AppRig rig(false);
  long r = 0;
  EXPECT_EQ(rig.utils->call(0x1234, 1, 2, &r), E_INVALIDARG);
  EXPECT_EQ(rig.utils->call(reinterpret_cast<intptr_t>(&countingProc), 1, 2, &r), E_INVALIDARG);
  KvPtr<IWrkSpc> w;
  rig.app->get_WrkSpc(w.put());
  KvCallbackFn add = [](intptr_t a, intptr_t b) { return static_cast<long>(a + b); };
  w->Init(add, nullptr, nullptr);
  EXPECT_EQ(rig.utils->call(reinterpret_cast<intptr_t>(add), 40, 2, &r), S_OK);
  EXPECT_EQ(r, 42);
}

TEST(Utils, LogErrorReportsAndOperations) {
  AppRig rig;
  rig.utils->AddLog("a warning", sevWarn);
  rig.utils->AppendLog(" continued", sevWarn);
  rig.utils->AddLog("not shown", sevInfo);
  rig.utils->ErrMsg(104009, 5, 12, "Invalid procedure call", "MainApp");
  KvErrReport(7, 99, "Insufficient memory", "ModTest/Unit");
  const std::string log = rig.logText();
  EXPECT_NE(log.find("a warning continued"), std::string::npos) << log;
  EXPECT_EQ(log.find("not shown"), std::string::npos);
  EXPECT_NE(log.find("MainApp: Error 104009/5 in line 12: Invalid procedure call"), std::string::npos) << log;
  EXPECT_NE(log.find("ModTest/Unit: Error 7/0 in line 99: Insufficient memory"), std::string::npos) << log;
  std::string s;
  rig.utils->get_WorkspacePath(&s);
  EXPECT_EQ(s, "") << "the (empty) application folder while none is set";
  rig.utils->put_WorkspacePath("/w");
  rig.utils->get_WorkspacePath(&s);
  EXPECT_EQ(s, "/w");
}

TEST(Utils, InUseWhenTheAppGoesFirst) {
  static std::vector<std::string> reports;
  reports.clear();
  KvErrReportFn previous = KvSetDebugReport([](long, long, long, const char* m, const char* u) {
    reports.push_back(std::string(u) + ": " + m);
  });
  KvPtr<IUtils> kept;
  KvPtr<IWrkSpc> keptWs;
  {
    KvPtr<IApp> app;
    KvCreateObject("KvCore.App", app.put());
    app->get_Utils(kept.put());
    app->get_WrkSpc(keptWs.put());
  }
  KvSetDebugReport(previous);
  EXPECT_EQ(reports, (std::vector<std::string>{"KvCore/App: IUtils in use", "KvCore/App: IWrkSpc in use"}));
  EXPECT_EQ(kept->AddLog("x", sevErr), E_UNEXPECTED) << "a Utils without its App refuses, never crashes";
  long n = 0;
  EXPECT_EQ(keptWs->GetSectionCount(&n), S_OK);
  std::string buffer = "x";
  keptWs->put_Buffer("load a = b");  // nothing runs it any more
  keptWs->get_Buffer(&buffer);
  EXPECT_EQ(buffer, "load a = b");
}

TEST(Api, InitWithoutALogParentMakesNoLogWindow) {
  CLog::End();
  KvPtr<IApp> app;
  KvCreateObject("KvCore.App", app.put());
  const KvWnd shell = CreateWindow(countingProc);
  intptr_t record[kStartEntries] = {};
  record[kStartMainWnd] = shell;
  EXPECT_EQ(app->Init(reinterpret_cast<intptr_t>(record)), S_OK);
  EXPECT_EQ(CLog::Window(), 0u);
  KvWnd hwnd = 0;
  app->get_hwnd(&hwnd);
  EXPECT_EQ(hwnd, shell) << "events still reach the shell window";
  EXPECT_EQ(app->Init(0), S_OK);
  app->get_hwnd(&hwnd);
  EXPECT_EQ(hwnd, 0u);
  EXPECT_EQ(GetWindowProc(shell), &countingProc);
  app.reset();
  DestroyWindow(shell);
}

TEST(Api, TheCommandListUpdatesEntriesInPlaceAndStartsAfreshAfterUnloading) {
  AppRig rig;
  for (const char* l : {"load g = test.src", "g.gain = 2", "load h = test.src", "g.gain = 3", "h.gain = 4", "G.gain = 5"})
    rig.ok(l);
  // One entry per setting, where it was first set; another spelling is another entry.
  EXPECT_EQ(rig.cmdList(), "load g=test.src\r\ng.gain=3\r\nload h=test.src\r\nh.gain=4\r\nG.gain=5\r\n");
  long n = 0;
  rig.app->UnloadNetlist(&n);
  EXPECT_EQ(rig.cmdList(), "");
  for (const char* l : {"load h = test.src", "h.gain = 6", "load g = test.src", "g.gain = 7", "h.gain = 8"}) rig.ok(l);
  EXPECT_EQ(rig.cmdList(), "load h=test.src\r\nh.gain=8\r\nload g=test.src\r\ng.gain=7\r\n");
}
