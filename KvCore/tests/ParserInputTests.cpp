// Script input the parser must refuse before it reaches a component: texts that are no
// number, numbers a setting's type cannot hold, names no line can address, and lines of any
// length handled in linear time and bounded memory.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "FakeEngine.h"
#include "KvDll/dbg.h"

TEST(ParserInput, NumericSettingRefusesTextsWithoutANumberAndValuesItsTypeCannotHold) {
  struct Row {
    const char* line;
    const char* setting;
  };
  const Row rows[] = {
      {"gen.freq = \"x5\"", "freq"},       {"gen.freq = \"\"", "freq"},        {"gen.freq = \"abc\"", "freq"},
      {"gen.count = \"\"", "count"},       {"gen.count = 2147483648", "count"}, {"gen.count = -2147483649", "count"},
      {"gen.count = -1e300", "count"},     {"gen.count = -inf", "count"},       {"gen.count = \"NAN\"", "count"},
      {"gen.bits = 70000", "bits"},        {"gen.bits = -32769", "bits"},       {"gen.level = 1e300", "level"},
      {"gen.level = -1e39", "level"},      {"gen.count = .", "count"},
  };
  for (const Row& r : rows) {
    ParserRig rig;
    const double before = rig.comps.list[0].params[r.setting].number;
    const auto [result, message] = rig.run(r.line);
    EXPECT_EQ(result, -1) << r.line;
    EXPECT_EQ(message, std::string("Value not accepted \"") + r.line + "\"");
    EXPECT_EQ(rig.comps.list[0].params[r.setting].number, before) << r.line;
    EXPECT_TRUE(rig.comps.writes.empty()) << r.line << ": nothing may reach the component";
    EXPECT_TRUE(rig.host.changes.empty()) << r.line;
    EXPECT_EQ(rig.cmdList(), "") << r.line;
  }
  // The edges of each type still pass, and a float setting keeps non-finite values.
  for (const char* line : {"gen.count = 2147483647", "gen.count = -2147483648", "gen.count = 0x7FFFFFFF",
                           "gen.bits = 32767", "gen.level = -inf", "gen.freq = 1KHz", "gen.count = 2.9"}) {
    ParserRig rig;
    EXPECT_EQ(rig.run(line).first, 0) << line;
  }
}

TEST(ParserInput, LoadAcceptsOnlyNamesALineCanAddress) {
  for (const char* line : {"load 9g = siggen", "load a b = siggen", "load \"q\" = siggen", "load kvs = siggen",
                           "load SYS = siggen", "load a-b = siggen", "load _g = siggen", "load g.x = siggen",
                           "load = siggen", "load \xC3\xA9t\xC3\xA9 = siggen"}) {
    ParserRig rig;
    const auto [result, message] = rig.run(line);
    EXPECT_EQ(result, -1) << line;
    EXPECT_EQ(message.rfind("Invalid component name \"", 0), 0u) << line << ": " << message;
    EXPECT_EQ(rig.comps.Count(), 2) << line;
    EXPECT_EQ(rig.cmdList(), "") << line;
  }
  for (const char* line : {"load g_1 = siggen", "load G2 = siggen", "load x = siggen", "load kvs2 = siggen"}) {
    ParserRig rig;
    EXPECT_EQ(rig.run(line).first, 0) << line;
  }
  ParserRig rig;
  EXPECT_EQ(rig.run("load 9g = siggen").second, "Invalid component name \"9g\"");
}

TEST(ParserInput, LinesOfManySeparatorsAreRefusedWithoutSplitting) {
  const std::string many(128 * 1024, '=');
  struct Row {
    std::string line;
    const char* message;
  };
  const Row rows[] = {
      {many, "Assignment error, too many '='s in"},
      {"gen.freq " + many + " 5", "Assignment error, too many '='s in"},
      {"load " + many, "Assignment not complete"},
      {"link " + many, "Assignment not complete"},
      {"gen.scale(" + std::string(128 * 1024, '(') + ")", "Invalid function call, too many '('s in"},
      {"gen.scale(" + std::string(128 * 1024, ',') + ")", "Too many arguments, expecting 2 arguments in"},
  };
  for (const Row& r : rows) {
    ParserRig rig;
    const auto [result, message] = rig.run(r.line.c_str());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(message.rfind(r.message, 0), 0u) << message.substr(0, 60);
  }
}

// In a child process whose address space is limited to the line and a few times its length,
// so a parse that needs memory in proportion to many times the line fails there.
TEST(ParserInput, SixteenMegabyteLinesInBoundedMemory) {
  const size_t limit = static_cast<size_t>(CParser::kMaxLine);
#if defined(__SANITIZE_ADDRESS__)
  const bool limitMemory = false;  // the sanitizer reserves its own address space
#else
  const bool limitMemory = true;
#endif
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Running out of memory is reported, then the work goes on: any report fails the child.
    KvSetErrReport([](long, long, long, const char*, const char*) { _exit(7); });
    ParserRig rig;
    std::string text(limit, '=');
    std::string longest = "gen.type = \"" + std::string(limit - 14, 'x') + "\"";
    std::string over(limit + 1, 'a');
    if (limitMemory) {
      struct rlimit now;
      getrlimit(RLIMIT_AS, &now);
      // What is mapped now, plus room for ten copies of a line (the line, its processed
      // copy, its pieces, the value written and the one recorded).
      long pages = 0;
      if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
      }
      const rlim_t mapped = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
      struct rlimit capped = now;
      capped.rlim_cur = mapped + 10 * limit;
      if (setrlimit(RLIMIT_AS, &capped) != 0) _exit(3);
    }
    const auto [r1, m1] = rig.run(text.c_str());
    if (r1 != -1 || m1.rfind("Assignment error, too many '='s in", 0) != 0) _exit(4);
    text.clear();
    text.shrink_to_fit();
    const auto [r2, m2] = rig.run(longest.c_str());
    if (r2 != 0) _exit(5);
    longest.clear();
    longest.shrink_to_fit();
    const auto [r3, m3] = rig.run(over.c_str());
    if (r3 != -1 || m3.rfind("Line too long (more than 16777216 characters) \"aaaa", 0) != 0) _exit(6);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no limit, 4: many '=', 5: longest line, 6: over the limit, 7: out of memory";
}
