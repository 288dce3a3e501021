// The engine while passes run, as the desktop uses it: what the user-interface thread may do and
// what it is refused, the step lock between threads, and the faults a live network showed (an
// abort that outlived its run, nameless sources, cycles, silent links, lost events).

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "EngineRig.h"
#include "KvDll/DynLib.h"

namespace {

const char* const kLocked = "The network cannot be changed while an acquisition runs";

// Serves the worker's events until cond holds; false after ms.
template <class Cond>
bool pumpUntil(Cond cond, long ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    WaitPumping(nullptr, 0, 1);
  }
  return true;
}

int count(const std::vector<std::string>& v, const std::string& what) {
  int n = 0;
  for (const std::string& e : v) n += e == what;
  return n;
}

double stressSeconds() {
  const char* s = std::getenv("KV_STRESS_SECONDS");
  return s ? std::atof(s) : 10.0;
}

}  // namespace

TEST(Live, NetworkChangesAreRefusedFromTheRunRequestUntilIdle) {
  EngineRig rig;
  for (const char* l : {"load g = test.src", "load p = test.pass", "load q = test.pass", "p.in = g.out"}) rig.ok(l);
  const std::string before = rig.cmdList();
  rig.idle.Reset();
  rig.engine.Acq().run(INT32_MAX);
  struct Case {
    const char* line;
    const char* message;
  };
  const Case refused[] = {
      {"load h = test.src", kLocked},       {"unload q", kLocked},
      {"link q.in = g.out", kLocked},       {"q.in = p.out", kLocked},
      {"unlink p.in", kLocked},             {"load library = /tmp", kLocked},
      {"kvs.run(318207)", "An acquisition is already running"},
  };
  for (const Case& c : refused) EXPECT_EQ(rig.bad(c.line), c.message) << c.line;
  // Each network change refused is a warning in the log as well.
  const std::string log = rig.logText();
  size_t warned = 0;
  for (size_t at = log.find(kLocked); at != std::string::npos; at = log.find(kLocked, at + 1)) ++warned;
  EXPECT_EQ(warned, 6u) << log;
  // What panels and the console do while passes run still works.
  rig.ok("p.gain = 2");
  EXPECT_EQ(rig.ok("p.gain"), "2");
  EXPECT_EQ(rig.ok("g.echo(\"x\")"), "echo: x");
  EXPECT_NE(rig.ok("sys.state").find("p.gain=2"), std::string::npos);
  EXPECT_EQ(rig.engine.Components().Count(), 3);
  EXPECT_EQ(rig.cmdList(), before + "p.gain=2\r\ng.echo(\"x\")\r\n") << "refused lines are not recorded";

  rig.engine.Acq().stop();
  ASSERT_TRUE(pumpUntil([&] { return rig.idle.IsSet(); }));
  EXPECT_FALSE(rig.engine.Acq().Active());
  rig.ok("unload q");
  rig.ok("kvs.run(318207)");
}

TEST(Live, AnAbortDoesNotOutliveItsRun) {
  EngineRig rig;
  for (const char* l : {"load g = test.src", "load p = test.pass", "p.in = g.out"}) rig.ok(l);
  // An aborting error outside a pass (a script calling it) aborts nothing that comes later.
  rig.ok("g.abort(\"boom\")");
  rig.ok("g.clear()");
  rig.ok("kvs.run(318207)");
  EXPECT_EQ(rig.ok("p.history"), "#acq.start,in,#acq.end,") << "the pass in place is a new run";

  // A batch that aborts ends; the next run request starts clean once bAbort is cleared, as
  // every run of the desktop and of kvsh does.
  rig.ok("g.abort(\"boom\")");
  rig.events.clear();
  ASSERT_TRUE(rig.runPasses(3));
  EXPECT_EQ(count(rig.events, "AfterAcq"), 1) << "the batch ends at the abort";
  EXPECT_NE(rig.logText().find("Acquisition aborted"), std::string::npos);
}

TEST(Live, AnAbortingErrorWhileALinkEvaluatesAnOutputSparesTheNextRun) {
  EngineRig rig;
  for (const char* l : {"load g = test.src", "load p = test.pass", "p.abortoneval = 1"}) rig.ok(l);
  rig.ok("p.in = g.out");
  rig.ok("load d = test.sink");
  rig.ok("d.a = p.out");  // evaluates p.out, which reports an aborting error
  EXPECT_NE(rig.logText().find("p: Error - evaluated without a pass"), std::string::npos);
  EXPECT_EQ(rig.engine.Global().abort.load(), 0);
  ASSERT_TRUE(rig.runPasses(2));
  EXPECT_EQ(count(rig.events, "AfterAcq"), 2);
  EXPECT_EQ(rig.logText().find("Acquisition aborted"), std::string::npos);
}

TEST(Live, LinksNameTheirSourceAndTellTheConsumer) {
  EngineRig rig;
  for (const char* l : {"load g = test.src", "load p = test.pass", "load q = test.pass", "load d = test.sink"})
    rig.ok(l);
  rig.events.clear();
  rig.ok("p.in = g.out");
  rig.ok("link q.in = G.out");
  rig.ok("d.a = p.out");
  EXPECT_STREQ(rig.out("g", "out")->name, "g.out");
  EXPECT_STREQ(rig.out("p", "out")->name, "p.out");
  EXPECT_STREQ(rig.in("q", "in")->name, "g.out") << "named by the component's own spelling";
  rig.ok("unlink d.a");
  rig.ok("unlink d.b");  // nothing was linked: still told, the user asked
  rig.ok("unload g");    // drops p.in and q.in
  EXPECT_EQ(rig.events, (std::vector<std::string>{"linked p", "linked q", "linked d", "unlinked d", "unlinked d",
                                                  "unlinked p", "unlinked q", "unloaded g"}));
}

TEST(Live, LinksThatCloseACycleAreRefused) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    const char* closing;
    const char* message;
  };
  const Case cases[] = {
      {"two components", {"load b = test.pass", "load c = test.pass", "c.in = b.out"}, "link b.in = c.out",
       "Cycle in the links: c.out -> b.in, b.out -> c.in"},
      {"three, nothing consuming them",
       {"load a = test.pass", "load b = test.pass", "load c = test.pass", "b.in = a.out", "c.in = b.out"},
       "a.in = c.out", "Cycle in the links: c.out -> a.in, a.out -> b.in, b.out -> c.in"},
      {"its own output", {"load a = test.pass"}, "a.in = a.out", "Cycle in the links: a.out -> a.in"},
      {"through a two-input component",
       {"load s = test.src", "load k = test.sink", "load p = test.pass", "k.a = s.out", "p.in = k.sum"},
       "link k.b = p.out", "Cycle in the links: p.out -> k.b, k.sum -> p.in"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig rig;
    for (const std::string& l : c.lines) rig.ok(l);
    const std::string before = rig.cmdList();
    EXPECT_EQ(rig.bad(c.closing), c.message);
    EXPECT_EQ(rig.cmdList(), before) << "nothing changed";
    EXPECT_TRUE(rig.engine.RunOrder().Compute(rig.engine.Components())) << "the run order stays valid";
    ASSERT_TRUE(rig.runPasses(1));
    EXPECT_EQ(rig.logText().find("Cycle"), std::string::npos);
  }
  // A branch that joins again is no cycle.
  EngineRig rig;
  for (const char* l : {"load s = test.src", "load p = test.pass", "load k = test.sink", "p.in = s.out", "k.a = s.out",
                        "k.b = p.out"})
    rig.ok(l);
}

TEST(Live, DataFiredBeforeTheTriggerThreadWaitsStillTriggers) {
  // The producer pulses right after the connection and then at once again; neither may be
  // lost to a trigger thread that was not waiting yet or was busy with the last one.
  for (int round = 0; round < 50; ++round) {
    EngineRig rig;
    rig.ok("load g = test.src");
    rig.ok("load t = test.rec");
    rig.ok("t.trigin = g.trg");
    rig.ok("g.fire()");
    ASSERT_TRUE(pumpUntil([&] { return count(rig.events, "trg t") == 1; })) << "round " << round;
    rig.ok("g.fire()");
    rig.ok("g.fire()");
    ASSERT_TRUE(pumpUntil([&] { return count(rig.events, "trg t") >= 2; })) << "round " << round;
  }
}

TEST(Live, AppPathIsTheProgramsFolder) {
  EngineRig rig;
  rig.ok("load library = $AppPath/Lib");
  EXPECT_EQ(std::string(rig.engine.GetPathLib().GetBfr()), KvProgramFolder() + "/Lib");
}

#ifndef NDEBUG
TEST(LiveDeathTest, TheEnginesThreadFunctionsStopWhenCalledFromAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        EngineRig rig;
        std::thread([&] {
          CStr a;
          rig.engine.Execute("load g = test.src", a);
        }).join();
      },
      "CParser::Execute called from a thread other than the engine's");
}
#endif

// The user-interface thread works on every module while passes run back to back: every setting
// written with a value it may hold, every function called, statistics and the state listing
// read, every network change tried. Then the same against a component that a trigger thread
// drives. Run under ThreadSanitizer this is the check that settings and passes never race.
class LiveStress : public ::testing::Test {
 protected:
  EngineRig rig;
  std::string csv;
  std::vector<std::string> failures;

  void SetUp() override {
    // One file per test and process: ctest runs the two tests of this fixture side by side.
    csv = ::testing::TempDir() + "live-stress-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
          "-" + std::to_string(::getpid()) + ".csv";
    std::ofstream f(csv);
    for (int i = 0; i < 4000; ++i) f << i * 1e-6 << "," << ((i / 50) % 2 ? 1.0 : -1.0) << "\n";
  }
  void TearDown() override { std::remove(csv.c_str()); }

  void line(const std::string& l, bool mustSucceed) {
    CStr answer;
    const int r = rig.engine.Execute(l.c_str(), answer);
    if (mustSucceed && r != 0 && failures.size() < 20) failures.push_back(l + " -> " + answer.GetBfr());
    WaitPumping(nullptr, 0, 0);  // the worker's events are served as a desktop would
  }

  std::vector<std::string> list(const std::string& comp, const std::string& what) {
    CStr text;
    const int c = rig.engine.Components().Find(comp.c_str());
    rig.engine.Components().GetText(c, what.c_str(), text);
    std::vector<std::string> out;
    CObjArr<CStr> parts;
    if (!text.IsEmpty()) text.split(&parts, ',');
    for (int i = 0; i < parts.count; ++i) {
      parts.items[i]->trim();
      out.emplace_back(parts.items[i]->GetBfr());
    }
    return out;
  }

  // Writes every setting back with the value it reads (a value from its valid range); the
  // numbers and choices in alternates change something each round.
  struct Plan {
    std::vector<std::string> comps, alternates, queries, changes;
  };

  void oneRound(const Plan& plan, int round) {
    const std::vector<std::string>& comps = plan.comps;
    for (const std::string& c : comps) {
      for (const std::string& s : list(c, "settings")) {
        CStr value;
        const std::string q = c + "." + s;
        if (rig.engine.Execute(q.c_str(), value) != 0) continue;
        const VPARAM d = rig.engine.Components().Describe(rig.engine.Components().Find(c.c_str()), s.c_str());
        const bool text = d.vt == vtStr || d.vt == vtPStr;
        line(q + " = " + (text ? "\"" + std::string(value.GetBfr()) + "\"" : std::string(value.GetBfr())), true);
      }
      // A measurement's run() measures the record of the last pass, whose data the engine may
      // already have released: its aborting error would end the batch as an abort request does.
      for (const std::string& f : list(c, "functions"))
        if (f != "run") line(c + "." + f + "()", false);
    }
    line(plan.alternates[round % plan.alternates.size()], true);
    for (const std::string& q : plan.queries) line(q, true);
    line("sys.state", true);
    for (const std::string& l : plan.changes) {
      CStr answer;
      EXPECT_EQ(rig.engine.Execute(l.c_str(), answer), -1) << l;
      EXPECT_STREQ(answer, kLocked) << l;
    }
  }

  void runFor(const Plan& plan) {
    const int afterBefore = count(rig.events, "AfterAcq");
    rig.idle.Reset();
    rig.engine.Acq().run(INT32_MAX);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
    int round = 0;
    while (std::chrono::steady_clock::now() < end && !rig.idle.IsSet()) oneRound(plan, round++);
    ASSERT_FALSE(rig.idle.IsSet()) << "the passes ended by themselves:\n" << rig.logText().substr(rig.logText().size() > 3000 ? rig.logText().size() - 3000 : 0);
    rig.engine.Acq().stop();
    ASSERT_TRUE(pumpUntil([&] { return rig.idle.IsSet(); })) << "no deadlock: the worker comes back";
    EXPECT_GT(count(rig.events, "AfterAcq"), afterBefore) << "passes ran meanwhile";
    EXPECT_EQ(count(rig.events, "BeforeAcq"), count(rig.events, "AfterAcq")) << "every pass was reported whole";
    EXPECT_EQ(count(rig.events, "AcqIdle"), 1);
    EXPECT_TRUE(failures.empty()) << failures.front();
  }
};

TEST_F(LiveStress, SettingsFunctionsAndQueriesWhilePassesRun) {
  const std::vector<std::string> setup = {
      "load g = siggen", "g.type = \"square\"", "g.pk2pk = 1", "g.offset = 0.5", "g.reclen = 20000",
      "g.freq = 1M", "g.samplerate = 100M", "g.risetime = 20n", "g.jitter.rj = 1p", "load f = filter",
      "f.in = g.out", "load m = meas.ck", "m.ck.in = f.out", "m.ck.edgetype = \"rise+fall\"", "m.ck.mid = 0.5",
      "m.ck.high = 0.9", "m.ck.low = 0.1", "m.ck.hysteresis = 0.05", "load r = textio.reader",
      "r.filename = \"" + csv + "\"", "r.xaxis.on = 1", "load n = meas.ck", "n.ck.in = r.out",
      "n.ck.edgetype = \"rise+fall\"", "n.ck.high = 0.5", "n.ck.low = -0.5", "n.ck.hysteresis = 0.1"};
  for (const std::string& l : setup) rig.ok(l);
  runFor({{"g", "f", "m", "r", "n"},
          {"m.ck.mid = 0.4", "m.ck.mid = 0.5", "g.freq = 2M", "g.freq = 1M", "f.fir.order = 15", "f.fir.order = 31",
           "m.ck.hysteresis = 0.02", "n.ck.mid = 0.2", "n.ck.mid = 0", "g.type = \"sine\"", "g.type = \"square\""},
          {"m.CkPeriod.count?", "m.CkTIE.stddev?", "n.CkPeriod.mean?", "m.ck.in.connection"},
          {"load x = test.src", "unload f", "link m.ck.in = r.out", "m.dt.in = g.out", "unlink f.in",
           "load library = /tmp"}});
  EXPECT_EQ(rig.ok("m.ck.in.connection"), "f.out");
}

TEST_F(LiveStress, AComponentDrivenByItsTriggerWhileTheUserWritesIt) {
  for (const char* l : {"load s = test.src", "s.autofire = 1", "load t = test.clk", "t.trigin = s.trg",
                        "load f = test.pass", "f.in = s.out", "load m = test.pass", "load r = test.rec"})
    rig.ok(l);
  runFor({{"s", "t", "f"},
          {"t.count = 64", "t.count = 4096", "t.gain = 8", "t.gain = 100", "s.count = 16"},
          {"t.history", "t.count", "f.evals"},
          {"load x = test.src", "unload f", "link m.in = s.out", "r.trigin = s.trg", "unlink t.trigin",
           "load library = /tmp"}});
  // (t.history is cleared by the rounds' own clear() calls; the notifications show the work.)
  EXPECT_GT(count(rig.events, "trg t"), 0) << "the trigger thread did work and its notifications arrived";
}
