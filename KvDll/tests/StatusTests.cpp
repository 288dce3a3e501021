#include "KvDll/JStatus.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"
#include "KvDll/tests/TestSupport.h"

namespace {

long g_now = 0;
long fakeClock() { return g_now; }

// A host with a status strip, and a processor clock the test moves by hand.
class StatusTest : public ::testing::Test {
 protected:
  intptr_t record[kStartEntries] = {};
  KvWnd parent = 0;
  CGlobalData g;
  KvTickFn previous = nullptr;

  void SetUp() override {
    g_now = 100000;
    previous = KvSetTickSource(fakeClock);
    g.funs = record;
    parent = KvCreateHeadlessParent(400, 21);
    CStatusBar2::Init(parent, 0);
  }
  void TearDown() override {
    KvSetTickSource(previous);
    CStatusBar2::End();
    KvDestroyHeadlessParent(parent);
    CStatusBar2::hwndPanel[0] = CStatusBar2::hwndPanel[1] = CStatusBar2::hwndPanel[2] = 0;
  }
  int barPos() {
    HeadlessWndState s;
    KvHeadlessState(CStatusBar2::hwndPanel[1], s);
    return s.pos;
  }
  std::string statusText() {
    HeadlessWndState s;
    KvHeadlessState(CStatusBar2::hwndPanel[0], s);
    return s.text;
  }
};

}  // namespace

TEST_F(StatusTest, OperInitOpensOneOperationWithTheLabel) {
  CStatus st;
  st.OperLabel("Edges");
  EXPECT_EQ(st.label, "Edges: ");
  EXPECT_EQ(st.OperInit("ck.in"), 1);
  EXPECT_EQ(statusText(), "Edges: ck.in");
  st.next = 7;
  EXPECT_EQ(st.OperInit("again"), 1) << "the open operation is kept";
  EXPECT_EQ(st.next, 0);
  EXPECT_EQ(g.Depth(), 1);
  st.OperLabel("");
  EXPECT_EQ(st.label, "");
  st.OperEnd();
  EXPECT_EQ(st.oper, 0);
  EXPECT_EQ(g.Depth(), 0);
  {
    CStatus scoped;
    scoped.OperInit("x");
    EXPECT_EQ(g.Depth(), 1);
  }
  EXPECT_EQ(g.Depth(), 0) << "the destructor closes its operation";
}

// The step follows the speed of the work: it grows by the square root of 100 ms over the
// time since the last update, by 1.5 when that was longer, and by 1.2 within one tick.
TEST_F(StatusTest, UpdatesAreThrottledByTheClock) {
  CStatus st;
  st.OperInit("scan");
  st.OperStart(0, 999, 100);
  EXPECT_EQ(st.size, 1000);
  EXPECT_EQ(st.step, 100.0);
  struct Step {
    long advanceMs;
    long pos;
    double step;
    int32_t next;
    int bar;  // progress bar position after the call
  };
  const Step steps[] = {
      {10, 100, 100 * std::sqrt(10.0), 316, 10},
      {0, 316, 100 * std::sqrt(10.0) * 1.2, 316 + 379, 10},  // same tick: no report
      {200, 695, 100 * std::sqrt(10.0) * 1.2 * 1.5, 695 + 569, 69},
      {100, 900, 100 * std::sqrt(10.0) * 1.2 * 1.5, 1264 + 569, 90},  // k = 1
      {25, 990, 100 * std::sqrt(10.0) * 1.2 * 1.5 * 2, 1833 + 1138, 99},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.pos);
    g_now += s.advanceMs;
    EXPECT_EQ(st.OperUpdate(s.pos), 0);
    EXPECT_NEAR(st.step, s.step, 1e-9);
    EXPECT_EQ(st.next, s.next);
    EXPECT_EQ(barPos(), s.bar);
    if (s.advanceMs) {
      EXPECT_EQ(st.last, static_cast<int32_t>(g_now));
    }
  }
  st.OperForceUpdate(500);
  EXPECT_EQ(barPos(), 50);
  EXPECT_FLOAT_EQ(st.fraction, 0.5f);
}

TEST_F(StatusTest, FastWorkCannotOverflowTheNextPosition) {
  CStatus st;
  st.OperInit("fast");
  st.OperStart(0, 10, 99999);
  int32_t previous = st.next;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(st.OperUpdate(st.next), 0);
    ASSERT_GE(st.next, previous);
    previous = st.next;
  }
  EXPECT_EQ(st.next, INT32_MAX);
}

TEST_F(StatusTest, AbortStopsTheWorkWithoutTouchingTheWindows) {
  CStatus st;
  st.OperInit("scan");
  st.OperStart(0, 99, 1);
  g_now += 50;
  st.OperUpdate(40);
  EXPECT_EQ(barPos(), 40);
  g.abort = 1;
  const int32_t next = st.next;
  g_now += 50;
  EXPECT_EQ(st.OperUpdate(80), 1);
  EXPECT_EQ(barPos(), 40);
  EXPECT_EQ(st.next, next);
  EXPECT_EQ(g.UpdateOper(10, st.oper), 1);
}

TEST_F(StatusTest, CallsWithoutAnOpenOperationAreReported) {
  ReportCatcher reports;
  CStatus st;
  st.OperStart(0, 10, 1);
  st.OperResize(5, 10);
  EXPECT_EQ(st.OperUpdate(3), 1);
  st.OperForceUpdate(3);
  EXPECT_EQ(st.start, 0) << "no effect";
  EXPECT_EQ(reports.reports(), std::vector<std::string>(4, "KvDll/JStatus: Status not initialized"));
  st.OperEnd();
}

TEST_F(StatusTest, SizeIsAtLeastOneAndResizeKeepsTheStep) {
  CStatus st;
  st.OperInit("x");
  st.OperStart(10, 5, 0);
  EXPECT_EQ(st.size, 1);
  EXPECT_EQ(st.step, 1.0);
  st.OperResize(INT32_MIN, INT32_MAX);
  EXPECT_EQ(st.size, INT32_MAX);
  EXPECT_EQ(st.step, 1.0);
}

TEST(StatusNoHost, OperationNumberOneAndWorkGoesOn) {
  CGlobalData g;
  CStatus st;
  EXPECT_EQ(st.OperInit("x"), 1);
  st.OperStart(0, 9, 1);
  KvSleep(2);
  EXPECT_EQ(st.OperUpdate(5), 0);
  EXPECT_EQ(g.Depth(), 0);
}
