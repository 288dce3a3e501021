#include "KvLib/LocalData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"

namespace {

// An instance that keeps the action messages it receives.
class Recorder final : public CLocalData {
 public:
  using CLocalData::CLocalData;
  ~Recorder() override { StopTrigger(); }
  void ActMsg(const char* msg) override { messages.push_back(msg); }
  std::vector<std::string> messages;
};

// The console text of a log window, colours as escapes.
struct LoggedInstance {
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  CGlobalData g;
  KvWnd parent = KvCreateHeadlessParent(100, 100, out, true);
  KvCreateBlock block{"ck", &g, nullptr, "chch"};
  Recorder r{block};

  LoggedInstance() { CLog::Init(parent, 0); }
  ~LoggedInstance() {
    CLog::End();
    KvDestroyHeadlessParent(parent);
    std::fclose(out);
    std::free(buf);
  }
  std::string text() {
    std::fflush(out);
    return std::string(buf, len);
  }
};

}  // namespace

TEST(LocalData, CreationCopiesNameAndVariant) {
  CGlobalData g;
  KvCreateBlock block{"meas1", &g, nullptr, nullptr};
  Recorder r(block);
  EXPECT_EQ(r.name, "meas1");
  EXPECT_EQ(r.variant, "");
  EXPECT_EQ(r.pgd, &g);
  EXPECT_FALSE(r.TriggerConnected());
}

TEST(LocalData, LogFunctionsPrefixLevelAndColour) {
  struct Case {
    int level;  // minimum severity of the global data
    void (*write)(CLocalData&);
    const char* expected;  // "" = nothing written
  };
  const Case cases[] = {
      {2, [](CLocalData& d) { d.logMsg("m"); }, ""},
      {1, [](CLocalData& d) { d.logMsg("m"); }, "ck: m"},
      {3, [](CLocalData& d) { d.logWarn("w"); }, ""},
      {2, [](CLocalData& d) { d.logWarn("w"); }, "\033[38;2;255;160;0mck: Warning - w\033[0m"},
      {4, [](CLocalData& d) { d.logErr("e"); }, ""},
      {3, [](CLocalData& d) { d.logErr("e"); }, "\033[38;2;255;0;0mck: Error - e\033[0m"},
      {1, [](CLocalData& d) { d.logDebug("d"); }, ""},
      {0, [](CLocalData& d) { d.logDebug("d", 1, 0xFF0000); }, "\033[1m\033[38;2;0;0;255mck: d\033[0m"},
      {6, [](CLocalData& d) { d.logErrAbort("a"); }, "\033[1m\033[38;2;255;0;0mck: Error - a\033[0m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    LoggedInstance li;
    li.g.minSeverity = c.level;
    c.write(li.r);
    const std::string t = li.text();
    if (!*c.expected) {
      EXPECT_EQ(t, "");
    } else {
      ASSERT_GE(t.size(), std::strlen(c.expected));
      EXPECT_EQ(t.substr(t.size() - std::strlen(c.expected)), c.expected);
    }
  }
}

TEST(LocalData, DebugContinuesTheLineAndAbortSetsTheFlag) {
  LoggedInstance li;
  li.g.minSeverity = -1;
  li.r.logDebug("first");
  li.r.logDebugAppend(" more");
  HeadlessWndState s;
  ASSERT_TRUE(KvHeadlessState(CLog::Window(), s));
  EXPECT_EQ(s.text.substr(s.text.size() - 14), "ck: first more");
  EXPECT_EQ(li.g.abort.load(), 0);
  li.r.logErrAbort("stop");
  EXPECT_EQ(li.g.abort.load(), 1);
}

TEST(LocalData, TriggerInputRefusalsAndTestSequence) {
  CGlobalData g;
  KvCreateBlock block{"t", &g, nullptr, ""};
  Recorder r(block);
  VPARAM v;
  EXPECT_EQ(r.TrigIn(parDescribe, v), cmdDone);
  EXPECT_EQ(v.kind, kindInPort);
  EXPECT_EQ(v.vt, vtTrgBfr);
  CBfr data;
  data.SetBfrType(bfrR8);
  v.value.p = &data;
  EXPECT_EQ(r.TrigIn(parWrite, v), cmdWrongKind);
  v.value.p = nullptr;
  EXPECT_EQ(r.TrigIn(parWrite, v), cmdWrongKind) << "nothing to disconnect";
  EXPECT_EQ(r.TrigIn(parRead, v), cmdDone);
  EXPECT_EQ(v.value.p, &r.trigin);
  r.FireTestPulse();
  EXPECT_EQ(r.messages, std::vector<std::string>{"#acq.testseq"});
}

TEST(LocalData, FirstDataTriggersAndAnUnchangedTagDoesNot) {
  CGlobalData g;
  KvCreateBlock block{"t", &g, nullptr, ""};
  Recorder r(block);
  CBfr trg;
  trg.SetBfrType(bfrTrigger);
  auto* ev = static_cast<KvEvent*>(trg.data);
  VPARAM v;
  v.value.p = &trg;
  ASSERT_EQ(r.TrigIn(parWrite, v), cmdDone);
  auto waiting = [&] {
    for (int i = 0; i < 5000 && KvWaitingThreads(*ev) == 0; ++i) KvSleep(1);
  };
  waiting();
  ev->Pulse();  // tag 0, first data: triggers
  waiting();
  ev->Pulse();  // same tag: nothing
  waiting();
  ++trg.tag;
  ev->Pulse();
  waiting();
  v.value.p = nullptr;
  ASSERT_EQ(r.TrigIn(parWrite, v), cmdDone);
  EXPECT_FALSE(r.TriggerConnected());
  EXPECT_EQ(r.messages, (std::vector<std::string>{"#acq.trg", "#acq.trg"}));
}
