#include "KvDll/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"

namespace {

// What the console window writes, read back from memory.
class Captured {
 public:
  Captured() : f_(open_memstream(&buf_, &len_)) {}
  ~Captured() {
    if (f_) std::fclose(f_);
    std::free(buf_);
  }
  FILE* file() { return f_; }
  std::string text() {
    std::fflush(f_);
    return std::string(buf_, len_);
  }

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  FILE* f_;
};

// A global data object whose host gives the log a headless parent (start-up record entry 4).
class LogTest : public ::testing::Test {
 protected:
  Captured console;
  intptr_t record[kStartEntries] = {};
  CGlobalData g;
  KvWnd parent = 0;

  void open(bool colour) {
    parent = KvCreateHeadlessParent(640, 480, console.file(), colour);
    record[kStartLogWnd] = parent;
    g.funs = record;
    CLog::Init(parent, 0);
    ASSERT_NE(CLog::Window(), 0u);
  }
  void SetUp() override { open(false); }
  void TearDown() override {
    CLog::End();
    KvDestroyHeadlessParent(parent);
  }
  std::string windowText() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "<no window>";
  }
};

const std::string kStamp = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] ";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string l; std::getline(s, l);) out.push_back(l);
  return out;
}

}  // namespace

TEST_F(LogTest, InitFillsTheParentAndFollowsItsSize) {
  HeadlessWndState s;
  ASSERT_TRUE(KvHeadlessState(CLog::Window(), s));
  EXPECT_EQ(s.cls, "RichEdit");
  EXPECT_EQ(s.rect, (KvRect{0, 0, 640, 480}));
  EXPECT_TRUE(s.visible);
  EXPECT_TRUE(s.style & KV_ES_READONLY);
  EXPECT_EQ(s.fontFace, "MS Sans Serif");
  EXPECT_EQ(s.fontSize, 8);
  KvHeadlessResize(parent, 300, 120);
  ASSERT_TRUE(KvHeadlessState(CLog::Window(), s));
  EXPECT_EQ(s.rect, (KvRect{0, 0, 300, 120}));
  CLog::End();
  EXPECT_EQ(CLog::Window(), 0u);
  EXPECT_NE(GetWindowProc(parent), &CLog::WndProc) << "the parent's procedure is restored";
}

TEST_F(LogTest, LinesTimeStampsAndPosition) {
  g.log.Add("first", LogErr);
  EXPECT_TRUE(std::regex_match(windowText(), std::regex(kStamp + "first"))) << windowText();
  g.log.Append(" more", LogErr);
  g.log.Add("second", LogErr);
  g.log.Add();
  const std::string text = windowText();
  EXPECT_TRUE(std::regex_match(text, std::regex(kStamp + "first more\n" + kStamp + "second\r\n"))) << text;
  EXPECT_EQ(g.log.position.load(), static_cast<int32_t>(text.size()));
}

TEST(LogSeverity, FilterColourAndWeight) {
  Captured console;
  CGlobalData g;
  const KvWnd parent = KvCreateHeadlessParent(100, 100, console.file(), true);
  CLog::Init(parent, 0);
  struct Case {
    int sev;
    int minimum;
    bool written;
    const char* escape;  // before the message text; "" = default colour, not bold
  };
  const Case cases[] = {
      {LogInfo, 2, false, ""},
      {LogWarn, 2, true, "\033[38;2;255;160;0m"},
      {LogErr, 2, true, "\033[38;2;255;0;0m"},
      {LogAbort, 2, true, "\033[1m\033[38;2;255;0;0m"},
      {9, 2, true, "\033[1m\033[38;2;255;0;0m"},  // unknown: the last weight and colour stay
      {LogSysErr, 2, true, "\033[38;2;255;0;0m"},
      {LogSys, 2, true, ""},
      {LogDebug, 2, false, ""},
      {LogDebug, -1, true, ""},
      {LogMsg, 0, true, ""},
      {LogInfo, 1, true, ""},
      {LogErr, 4, false, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "severity " << c.sev << " minimum " << c.minimum);
    g.minSeverity = c.minimum;
    const std::string before = console.text();
    const std::string msg = "message " + std::to_string(n++);
    g.log.Add(msg.c_str(), static_cast<lgSeverity>(c.sev));
    const std::string added = console.text().substr(before.size());
    if (!c.written) {
      EXPECT_EQ(added, "");
      continue;
    }
    const std::string expected = std::string(c.escape) + msg + (*c.escape ? "\033[0m" : "");
    ASSERT_GE(added.size(), expected.size());
    EXPECT_EQ(added.substr(added.size() - expected.size()), expected);
  }
  CLog::End();
  KvDestroyHeadlessParent(parent);
}

TEST_F(LogTest, ConsoleEchoesLinesWithoutColourWhenNotATerminal) {
  g.log.Add("one", LogWarn);
  g.log.Append(" and a half", LogWarn);
  g.log.Add("two", LogErr);
  CLog::End();
  KvDestroyHeadlessParent(parent);
  parent = 0;
  EXPECT_TRUE(std::regex_match(console.text(), std::regex(kStamp + "one and a half\n" + kStamp + "two\n")))
      << console.text();
}

TEST_F(LogTest, EndingTheConsoleLineStartsTheNextLogLineWithoutABlankOne) {
  g.log.Add("one", LogWarn);
  KvHeadlessEndLine(parent);
  KvHeadlessEndLine(parent);  // nothing open: nothing written
  g.log.Add("two", LogWarn);
  g.log.Append(" more", LogWarn);
  EXPECT_TRUE(std::regex_match(console.text(), std::regex(kStamp + "one\n" + kStamp + "two more"))) << console.text();
}

TEST_F(LogTest, HoldKeepsEveryLineWhateverItsLength) {
  const std::string big(200000, 'x');
  g.log.Add("before", LogErr);
  g.log.Add(big.c_str(), LogErr);
  const std::string shown = windowText();
  g.log.Hold(true);
  EXPECT_EQ(CLog::Window(), 0u);
  g.log.Add("while held", LogErr);
  g.log.Append(" (appended)", LogErr);
  g.log.Hold(false);
  ASSERT_NE(CLog::Window(), 0u);
  g.log.Add("after", LogErr);
  const std::vector<std::string> l = lines(windowText());
  ASSERT_EQ(l.size(), 4u) << windowText().substr(0, 200);
  EXPECT_EQ(windowText().substr(0, shown.size()), shown);
  EXPECT_TRUE(std::regex_match(l[2], std::regex(kStamp + "while held \\(appended\\)")));
  EXPECT_TRUE(std::regex_match(l[3], std::regex(kStamp + "after")));
  EXPECT_EQ(g.log.position.load(), static_cast<int32_t>(windowText().size()));
  EXPECT_EQ(console.text().find("before", console.text().find("before") + 1), std::string::npos)
      << "text put back is not shown twice";
}

TEST_F(LogTest, HoldWithoutAParentKeepsTheTextUntilThereIsOne) {
  g.log.Add("kept", LogErr);
  g.log.Hold(true);
  record[kStartLogWnd] = 0;
  g.log.Hold(false);
  EXPECT_EQ(CLog::Window(), 0u);
  g.log.Add("also kept", LogErr);
  record[kStartLogWnd] = parent;
  g.log.Hold(false);
  const std::vector<std::string> l = lines(windowText());
  ASSERT_EQ(l.size(), 2u);
  EXPECT_NE(l[0].find("kept"), std::string::npos);
  EXPECT_NE(l[1].find("also kept"), std::string::npos);
}

TEST_F(LogTest, AddOnAWindowThatIsGoneIsDropped) {
  g.log.Add("one", LogErr);
  const int32_t pos = g.log.position.load();
  DestroyWindow(CLog::Window());
  g.log.Add("lost", LogErr);
  g.log.Append("lost", LogErr);
  g.log.Add();
  EXPECT_EQ(g.log.position.load(), pos);
  CLog::End();
  CLog::End();
}

TEST(LogWithoutWindow, CallsAreIgnored) {
  CGlobalData g;
  g.log.Add("nowhere", LogErr);
  g.log.Add();
  EXPECT_EQ(g.log.position.load(), 0);
  CLog::Init(0, 0);
  EXPECT_EQ(CLog::Window(), 0u);
}

// Lines logged on several threads reach the window on the user-interface thread whole, in
// each thread's order, and none is lost.
TEST_F(LogTest, LinesFromManyThreadsKeepEachThreadsOrder) {
  constexpr int kThreads = 4, kLines = 500;
  std::atomic<int> running{kThreads};
  KvEvent done(true, false);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        CStr line = CStr("thread ") + CStr(t) + " line " + CStr(i);
        if (i % 3 == 0) {
          g.log.Add(line, LogErr);
        } else {
          g.log.Add(line.GetBfr(), line.GetLength(), 0, kLogRed);
        }
      }
      if (--running == 0) done.Set();
    });
  KvWaitable* w = &done;
  EXPECT_EQ(WaitPumping(&w, 1, 60000), 0);
  for (auto& t : threads) t.join();
  PumpMessages();

  const std::vector<std::string> l = lines(windowText());
  ASSERT_EQ(l.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  const std::regex shape(kStamp + "thread ([0-9]) line ([0-9]+)");
  for (const std::string& line : l) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const int t = std::stoi(m[1]), i = std::stoi(m[2]);
    EXPECT_EQ(i, next[t]++) << "thread " << t;
  }
  EXPECT_EQ(g.log.position.load(), static_cast<int32_t>(windowText().size()));
}

// Hold(false) without a hold, and Init into the parent the log is in, keep what it shows; a
// new log parent gets the log with its text.
TEST_F(LogTest, TheLogKeepsItsTextWhereverItGoes) {
  g.log.Add("shown", LogErr);
  const KvWnd window = CLog::Window();
  g.log.Hold(false);
  CLog::Init(parent, 0);
  EXPECT_EQ(CLog::Window(), window);
  EXPECT_NE(windowText().find("shown"), std::string::npos);
  const KvWnd other = KvCreateHeadlessParent(320, 200);
  record[kStartLogWnd] = other;
  g.log.Hold(false);
  EXPECT_NE(CLog::Window(), window);
  EXPECT_NE(GetWindowProc(parent), &CLog::WndProc) << "the old parent's procedure is restored";
  g.log.Add("moved", LogErr);
  const std::vector<std::string> l = lines(windowText());
  ASSERT_EQ(l.size(), 2u) << windowText();
  EXPECT_NE(l[0].find("shown"), std::string::npos);
  EXPECT_NE(l[1].find("moved"), std::string::npos);
  HeadlessWndState s;
  ASSERT_TRUE(KvHeadlessState(CLog::Window(), s));
  EXPECT_EQ(s.rect, (KvRect{0, 0, 320, 200}));
  CLog::End();
  KvDestroyHeadlessParent(other);
}

// Text held for a window that never came ends with its log: the next engine's log starts empty.
TEST(LogEnd, HeldTextEndsWithItsLog) {
  intptr_t record[kStartEntries] = {};
  const KvWnd parent = KvCreateHeadlessParent(100, 100);
  record[kStartLogWnd] = parent;
  {
    CGlobalData first;
    first.funs = record;
    CLog::Init(parent, 0);
    first.log.Add("from the first engine", LogErr);
    first.log.Hold(true);
    first.log.Add("held by the first engine", LogErr);
  }
  CGlobalData next;
  next.funs = record;
  next.log.Hold(false);
  next.log.Add("from the next", LogErr);
  HeadlessWndState s;
  ASSERT_TRUE(KvHeadlessState(CLog::Window(), s));
  EXPECT_EQ(s.text.find("first engine"), std::string::npos) << s.text;
  EXPECT_NE(s.text.find("from the next"), std::string::npos);
  CLog::End();
  KvDestroyHeadlessParent(parent);
}

// A worker's lines wait for the window's thread without the worker waiting for it; the
// window's thread puts them in before its own next line, and a hold takes them in order.
TEST_F(LogTest, AWorkersLinesWaitWithoutTheWorkerWaiting) {
  std::thread first([&] {
    for (int i = 0; i < 1000; ++i) g.log.Add((CStr("worker ") + CStr(i)).GetBfr(), LogErr);
  });
  first.join();  // the window's thread served nothing meanwhile
  EXPECT_EQ(windowText(), "");
  g.log.Add("own line", LogErr);
  std::thread second([&] {
    for (int i = 1000; i < 1010; ++i) g.log.Add((CStr("worker ") + CStr(i)).GetBfr(), LogErr);
  });
  second.join();
  g.log.Hold(true);
  g.log.Add("held", LogErr);
  g.log.Hold(false);
  const std::vector<std::string> l = lines(windowText());
  ASSERT_EQ(l.size(), 1012u);
  for (int i = 0; i < 1000; ++i) EXPECT_NE(l[static_cast<size_t>(i)].find("worker " + std::to_string(i)), std::string::npos);
  EXPECT_NE(l[1000].find("own line"), std::string::npos);
  for (int i = 1000; i < 1010; ++i) EXPECT_NE(l[static_cast<size_t>(i) + 1].find("worker " + std::to_string(i)), std::string::npos);
  EXPECT_NE(l[1011].find("held"), std::string::npos);
}

// A worker far ahead of the window waits once too many lines wait, and none is lost.
TEST_F(LogTest, AWorkerFarAheadWaitsAndLosesNothing) {
  constexpr int kLines = 50000;
  KvEvent done(true, false);
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) g.log.Add("x", LogErr);
    done.Set();
  });
  KvWaitable* w = &done;
  EXPECT_EQ(WaitPumping(&w, 1, 60000), 0);
  worker.join();
  PumpMessages();
  EXPECT_EQ(lines(windowText()).size(), static_cast<size_t>(kLines));
}
