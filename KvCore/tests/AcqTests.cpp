// Acquisition passes on the worker thread: requests, flags, and the order of messages and
// events. Every wait is bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineRig.h"

namespace {

// A chain g -> f -> d, whose event handlers also mark the shared sequence of Test.bin, so
// action messages (worker) and events (this thread) can be read in one order.
struct AcqRig : EngineRig {
  AcqRig() {
    for (const char* l : {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"})
      ok(l);
    engine.onBeforeAcq = [this](long id) {
      events.push_back("BeforeAcq");
      ids.push_back(id);
      mark("BeforeAcq");
      if (onBefore) onBefore();
    };
    engine.onAfterAcq = [this](long) {
      events.push_back("AfterAcq");
      mark("AfterAcq");
    };
    engine.onAcqAborted = [this](long) {
      events.push_back("AcqAborted");
      mark("AcqAborted");
      idle.Set();  // a killed worker sends no AcqIdle
    };
    engine.onValueChanged = nullptr;  // the marks are function calls
    engine.onAcqIdle = [this] {
      events.push_back("AcqIdle");
      mark("AcqIdle");
      idle.Set();
    };
    ok("g.clear()");
    events.clear();
  }
  void mark(const char* what) { ok(std::string("g.mark(\"") + what + "\")"); }
  std::string seq() { return ok("g.seq"); }
  int count(const std::string& what) {
    int n = 0;
    for (const std::string& e : events) n += e == what;
    return n;
  }
  std::function<void()> onBefore;
  std::vector<long> ids;
};

const std::string kOnePass =
    "BeforeAcq,g:#acq.start,f:#acq.start,d:#acq.start,g:out,f:in,f:out,d:a,g:#acq.end,f:#acq.end,d:#acq.end,AfterAcq,";

}  // namespace

TEST(Acq, OnePassInTheStatedOrder) {
  AcqRig rig;
  const long first = rig.engine.Acq().runstatus();
  EXPECT_TRUE(first == -1 || first == 0) << "-1 until the worker is ready";
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(rig.engine.Acq().runstatus(), 0);
  EXPECT_EQ(rig.seq(), kOnePass + "AcqIdle,");
  EXPECT_EQ(rig.ids, std::vector<long>{1});
  const std::string log = rig.logText();
  EXPECT_NE(log.find("Running\n"), std::string::npos);
  EXPECT_NE(log.find("Stopped"), std::string::npos);
}

TEST(Acq, SinglePassInPlace) {
  AcqRig rig;
  rig.ok("kvs.run(318207)");
  EXPECT_EQ(rig.seq(), kOnePass) << "no AcqIdle: the worker was not involved";
  rig.ok("kvs.run(5)");
  EXPECT_EQ(rig.seq(), kOnePass) << "any other code runs nothing";
  EXPECT_EQ(rig.engine.Acq().pendingCount(), 0);
}

TEST(Acq, RunCountsAndBatches) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  EXPECT_EQ(a.run(0), 0);
  EXPECT_EQ(a.run(-3), 0);
  EXPECT_EQ(rig.count("BeforeAcq"), 0);
  // Five more passes requested during the first join the same batch.
  bool added = false;
  rig.onBefore = [&] {
    if (!added) added = true, a.run(5);
  };
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(rig.count("AfterAcq"), 6);
  EXPECT_EQ(rig.count("AcqIdle"), 1);
  EXPECT_EQ(rig.events.back(), "AcqIdle");
  EXPECT_EQ(rig.ids, (std::vector<long>{1, 2, 3, 4, 5, 6}));
}

TEST(Acq, StopLetsThePassFinish) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  rig.onBefore = [&] { rig.ok("kvs.stop()"); };
  ASSERT_TRUE(rig.runPasses(100));
  EXPECT_EQ(rig.seq(), kOnePass + "AcqIdle,");
  EXPECT_EQ(a.runstatus(), 1);
  EXPECT_TRUE(a.stopFlag());
  rig.onBefore = nullptr;
  rig.ok("g.clear()");
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(a.runstatus(), 0) << "a run request clears the stop flag";
  EXPECT_EQ(rig.seq(), kOnePass + "AcqIdle,");
}

TEST(Acq, AbortLeavesAfterTheStepAndStaysInForce) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  rig.onBefore = [&] { rig.ok("kvs.abort()"); };
  ASSERT_TRUE(rig.runPasses(10));
  const std::string aborted =
      "BeforeAcq,g:#acq.start,f:#acq.start,d:#acq.start,g:out,g:#acq.end,f:#acq.end,d:#acq.end,AfterAcq,AcqIdle,";
  EXPECT_EQ(rig.seq(), aborted);
  EXPECT_EQ(a.runstatus(), 2);
  EXPECT_TRUE(rig.engine.Global().stopEvent.IsSet()) << "waiting consumers are released";
  EXPECT_NE(rig.logText().find("Acquisition aborted"), std::string::npos);

  rig.onBefore = nullptr;
  rig.ok("g.clear()");
  ASSERT_TRUE(rig.runPasses(3));
  EXPECT_EQ(rig.seq(), aborted) << "still aborting, and the pending passes are dropped";
  EXPECT_FALSE(rig.engine.Global().stopEvent.IsSet()) << "a run request resets the event";

  a.clearAbort();
  EXPECT_EQ(a.runstatus(), 0);
  rig.ok("g.clear()");
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(rig.seq(), kOnePass + "AcqIdle,");
}

TEST(Acq, AModuleAbortEndsThePass) {
  AcqRig rig;
  rig.onBefore = [&] { rig.ok("f.abort(\"no signal\")"); };
  ASSERT_TRUE(rig.runPasses(2));
  EXPECT_EQ(rig.count("AfterAcq"), 1);
  EXPECT_NE(rig.logText().find("f: Error - no signal"), std::string::npos);
}

TEST(Acq, EmptyRunOrderStillRaisesEverything) {
  EngineRig rig;
  rig.ok("load r = test.rec");
  rig.ok("load s = test.rec");
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(rig.ok("r.history"), "#acq.start,#acq.end,");
  EXPECT_EQ(rig.ok("s.history"), "#acq.start,#acq.end,");
  EXPECT_EQ(rig.events.back(), "AcqIdle");
  EXPECT_EQ(rig.events[rig.events.size() - 3], "BeforeAcq");
  EXPECT_EQ(rig.events[rig.events.size() - 2], "AfterAcq");
}

TEST(Acq, BusyWhileAPassRuns) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  EXPECT_FALSE(a.isBusy());
  bool busyInside = false;
  rig.onBefore = [&] { busyInside = a.isBusy(); };
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_TRUE(busyInside);
  EXPECT_FALSE(a.isBusy());
}

TEST(Acq, KillEndsTheWorker) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(a.kill(5000), 0);
  EXPECT_EQ(a.runstatus(), 3);
  rig.idle.Reset();
  a.run(1);
  KvWaitable* w = &rig.idle;
  EXPECT_EQ(WaitPumping(&w, 1, 200), KV_WAIT_TIMEOUT) << "no worker runs passes any more";
}

TEST(Acq, KillOfAWorkerStuckInAPassTimesOut) {
  AcqRig rig;
  CAcq& a = rig.engine.Acq();
  long killed = -1;
  rig.onBefore = [&] {
    // The worker waits in this event while we try to kill it: it cannot let go in time.
    killed = a.kill(50);
  };
  ASSERT_TRUE(rig.runPasses(1));
  EXPECT_EQ(killed, 1);
  EXPECT_EQ(a.runstatus(), 3) << "the worker stays told to end";
  EXPECT_EQ(rig.count("AcqAborted"), 1) << "the pass cut off by the shutdown";
  EXPECT_EQ(rig.count("AfterAcq"), 0);
}
