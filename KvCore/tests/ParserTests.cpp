#include <gtest/gtest.h>

#include <cmath>

#include "KvCore/Engine.h"
#include "FakeEngine.h"

namespace {

struct MessageCase {
  const char* line;
  const char* message;
};

void expectFailures(const std::vector<MessageCase>& cases) {
  for (const MessageCase& c : cases) {
    ParserRig rig;
    const std::string before = rig.cmdList();
    const auto [result, message] = rig.run(c.line);
    EXPECT_EQ(result, -1) << c.line;
    EXPECT_EQ(message, c.message) << c.line;
    EXPECT_EQ(rig.cmdList(), before) << "a failing line must not be recorded: " << c.line;
    EXPECT_EQ(rig.comps.Count(), 2) << c.line;
    EXPECT_TRUE(rig.comps.calls.empty()) << c.line;
  }
}

}  // namespace

TEST(ParserMessages, LoadAndUnload) {
  expectFailures({
      {"load gen", "Assignment not complete \"gen\""},
      {"load a = b = c", "Assignment not complete \"a = b = c\""},
      {"load Gen = siggen", "Component already exists \"Gen\""},
      {"load x = \"nothing\"", "Mod not found \"nothing\""},
      {"unload 5x", "Expecting mod name, found constant \"5x\""},
      {"unload nobody", "Variable not found nobody"},
  });
}

TEST(ParserMessages, LinkAndUnlink) {
  expectFailures({
      {"link scope.in", "Assignment not complete \"scope.in\""},
      {"link scope.in = 5", "Expecting port, found constant \"5\""},
      {"link scope.in = genout", "Invalid variable formation \"genout\""},
      {"link scope.in = nobody.out", "Variable not found \"nobody\""},
      {"link scope.in = gen.nothing", "Port not found \"gen.nothing\""},
      {"link scope.in = gen.mod.in", "Expecting out-port \"gen.mod.in\""},
      {"link scope.in = gen.freq", "Expecting port, found setting \"gen.freq\""},
      {"link scope.in = gen.sys.rate", "Expecting port, found unknown type \"gen.sys.rate\""},
      {"link scope.out = gen.out", "Expecting in-port \"scope.out\""},
      {"link 7 = gen.out", "Expecting port, found constant \"7\""},
      {"link scope.title = gen.out", "Expecting port, found setting \"scope.title\""},
      {"unlink 3", "Expecting port, found constant \"3\""},
      {"unlink scope", "Invalid variable formation \"scope\""},
      {"unlink scope.", "Missing parameter name \"scope.\""},
      {"unlink nobody.in", "Variable not found \"nobody\""},
      {"unlink scope.nothing", "Parameter not found \"scope.nothing\""},
      {"unlink scope.out", "Expecting in-port \"scope.out\""},
      {"unlink scope.title", "Expecting port, found setting \"scope.title\""},
      {"unlink gen.sys.rate", "Expecting port, found unknown type \"gen.sys.rate\""},
  });
}

TEST(ParserMessages, Assignment) {
  const char* outRight = "Invalid assignment, expecting output port on right hand side, found ";
  const char* inLeft = "Invalid assignment, expecting input port on left hand side, found ";
  const char* setLeft = "Invalid assignment, expecting setting on left hand side, found ";
  std::vector<std::pair<std::string, std::string>> rows = {
      {"gen.freq=", "Assignment error, missing parameter in \"gen.freq=\""},
      {"gen.freq=1=2", "Assignment error, too many '='s in \"gen.freq=1=2\""},
      {"gen.freq = nothing", "Invalid variable formation \"nothing\""},
      {"gen.freq = nobody.out", "Variable not found \"nobody\""},
      {"gen.freq = scope.nothing", "Parameter not found \"scope.nothing\""},
      {"scope.in = gen.mod.in", std::string(outRight) + "input port \"gen.mod.in\""},
      {"scope.in = scope.title", std::string(outRight) + "setting \"scope.title\""},
      {"scope.in = gen.sys.rate", std::string(outRight) + "system variable \"gen.sys.rate\""},
      {"scope.in = gen.odd", std::string(outRight) + "unknown type \"gen.odd\""},
      {"5 = gen.out", "Invalid assignment, expecting variable on left hand side, found constant \"5\""},
      {"= 5", "Invalid assignment, expecting variable on left hand side, found constant \"\""},
      {"gen.out = scope.out", std::string(inLeft) + "output port \"gen.out\""},
      {"gen.freq = scope.out", std::string(inLeft) + "setting \"gen.freq\""},
      {"gen.sys.rate = scope.out", std::string(inLeft) + "system variable \"gen.sys.rate\""},
      {"gen.odd = scope.out", std::string(inLeft) + "unknown type \"gen.odd\""},
      {"gen.nothing = scope.out", std::string(inLeft) + "unknown type \"gen.nothing\""},
      {"gen.nothing = 5", "Parameter not found \"gen.nothing\""},
      {"gen.out = 5", std::string(setLeft) + "port \"gen.out\""},
      {"gen.mod.in = 5", std::string(setLeft) + "port \"gen.mod.in\""},
      {"gen.sys.rate = 5", std::string(setLeft) + "system variable \"gen.sys.rate\""},
      {"gen.odd = 5", std::string(setLeft) + "unknown type \"gen.odd\""},
      {"nobody.freq = 5", "Variable not found \"nobody\""},
      {"genfreq = 5", "Invalid variable formation \"genfreq\""},
      {"gen.locked   =  5", "Value not accepted \"gen.locked = 5\""},
  };
  std::vector<MessageCase> cases;
  for (auto& [line, message] : rows) cases.push_back({line.c_str(), message.c_str()});
  expectFailures(cases);
}

TEST(ParserMessages, ValueQuery) {
  expectFailures({
      {"5", "Expecting setting, found constant \"5\""},
      {"gen", "Invalid variable formation \"gen\""},
      {"nobody.freq", "Variable not found \"nobody\""},
      {"gen.out", "Expecting setting, found port \"gen.out\""},
      {"gen.nothing", "Setting not found \"gen.nothing\""},
      {"gen.sys.rate", "Expecting setting, found unknown type \"gen.sys.rate\""},
      {"gen.missing", "Setting not implemented \"gen.missing\""},
      {"gen.broken", "Unknown error \"gen.broken\""},
  });
}

TEST(ParserMessages, FunctionCall) {
  expectFailures({
      {"gen.f(a(b))", "Invalid function call, too many '('s in \"gen.f(a(b))\""},
      {"5x()", "Invalid function call, expecting function name, found constant \"5x\""},
      {"(x)", "Invalid function call, expecting function name, found constant \"\""},
      {"gen.nothing()", "Function not found \"gen.nothing\""},
      {"nobody.reset()", "Variable not found \"nobody\""},
      {"gen.reset(1)", "Too many arguments, expecting 0 arguments in \"gen.reset(1)\""},
      {"gen.scale(1, 2, 3)", "Too many arguments, expecting 2 arguments in \"gen.scale(1, 2, 3)\""},
      {"gen.scale(x)", "Invalid function call, expecting constant in the argument list \"x\""},
      {"gen.scale(\"x\")", "Type mismatch in argument number 1 in the argument list \"\"x\"\""},
      {"gen.scale()", "Argument number 1 missing in argument list \"\""},
      {"gen.scale(, 2)", "Argument number 1 missing in argument list \", 2\""},
      {"gen.name(5)", "Type mismatch in argument number 1 in the argument list \"5\""},
  });
}

TEST(ParserMessages, UnknownResultTypeFailsAfterTheCall) {
  ParserRig rig;
  const auto [result, message] = rig.run("gen.bad()");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(message, "Type mismatch in argument number 1 in the argument list \"\"");
  EXPECT_EQ(rig.comps.calls.size(), 1u);
  EXPECT_EQ(rig.cmdList(), "") << "a failing call leaves no call entry";
}

TEST(ParserClassification, KeywordsNeedASeparatorAndIgnoreCase) {
  ParserRig rig;
  EXPECT_EQ(rig.run("LOAD g2 = siggen").first, 0);
  EXPECT_EQ(rig.comps.Find("g2"), 2);
  EXPECT_EQ(rig.run("loadgen = sig"), std::make_pair(-1, std::string("Invalid variable formation \"sig\"")));
  EXPECT_EQ(rig.run("Link\tscope.in = gen.out").first, 0);
  EXPECT_EQ(rig.net.links["scope.in"], "gen.out");
  EXPECT_EQ(rig.run("UNLINK scope.in").first, 0);
  EXPECT_EQ(rig.net.links.count("scope.in"), 0u);
  // "unload" without a separator is a value query of a name without a dot.
  EXPECT_EQ(rig.run("unload").second, "Invalid variable formation \"unload\"");
  EXPECT_EQ(rig.run("SYS.STATE").first, 0);
}

TEST(ParserClassification, CommentsAndBlankLines) {
  ParserRig rig;
  EXPECT_EQ(rig.run("   ").first, 0);
  EXPECT_EQ(rig.run("//   a   note  ").first, 0);
  EXPECT_EQ(rig.lastLine, "") << "a comment line is cleared";
  EXPECT_EQ(rig.run("gen.freq = 100 // comment = (x)").first, 0);
  EXPECT_DOUBLE_EQ(rig.comps.list[0].params["freq"].number, 100);
  EXPECT_EQ(rig.run("gen.freq // the query ignores this").second, "100");
  EXPECT_EQ(rig.cmdList(), "\r\n// a note\r\ngen.freq=100\r\n");
}

TEST(ParserClassification, QuotesHideOperatorsAndKeepBlanks) {
  ParserRig rig;
  EXPECT_EQ(rig.run("gen.type   =   \"a  // b = (c,  d)\"").first, 0);
  ASSERT_EQ(rig.comps.writtenTexts.size(), 1u);
  EXPECT_EQ(rig.comps.writtenTexts[0], "a  // b = (c,  d)");
  EXPECT_EQ(rig.cmdList(), "gen.type=\"a  // b = (c,  d)\"\r\n");
  EXPECT_EQ(rig.run("gen.name(\"x, (y) = z\")").second, "gen-1");
  ASSERT_EQ(rig.comps.calls.size(), 1u);
  EXPECT_EQ(rig.comps.calls[0].texts, std::vector<std::string>{"x, (y) = z"});
}

TEST(ParserRecording, SecondAssignmentReplacesTheFirstInPlace) {
  ParserRig rig;
  EXPECT_EQ(rig.run("gen.freq = 3").first, 0);
  EXPECT_EQ(rig.run("link scope.in = gen.out").first, 0);
  EXPECT_EQ(rig.run("gen.freq = 5").first, 0);
  EXPECT_EQ(rig.run("GEN.freq = 7").first, 0) << "the first argument compares exactly";
  EXPECT_EQ(rig.cmdList(), "gen.freq=5\r\nlink scope.in=gen.out\r\nGEN.freq=7\r\n");
}

TEST(ParserRecording, UnlinkKeepsTheEntryButDropsTheLine) {
  ParserRig rig;
  rig.run("scope.in = gen.out");
  rig.run("unlink scope.in");
  EXPECT_EQ(rig.parser.CmdList().Count(), 1);
  EXPECT_EQ(rig.cmdList(), "");
  rig.run("link scope.in = gen.out");
  EXPECT_EQ(rig.cmdList(), "link scope.in=gen.out\r\n");
}

TEST(ParserRecording, LoadLibraryAndComponents) {
  ParserRig rig;
  EXPECT_EQ(rig.run("load library = \"$AppPath/Lib\"").first, 0);
  EXPECT_EQ(rig.host.pathLib, "/opt/kelvane/Lib");
  EXPECT_EQ(rig.run("load g2 = \"siggen\"").first, 0);
  EXPECT_EQ(rig.lastLine, "");
  EXPECT_EQ(rig.run("unload g2").first, 0);
  EXPECT_EQ(rig.net.removed, std::vector<int>{2});
  EXPECT_EQ(rig.comps.Count(), 2);
  EXPECT_EQ(rig.cmdList(), "load library=\"$AppPath/Lib\"\r\nload g2=siggen\r\n")
      << "unloading keeps the load entry";
}

TEST(ParserAssignment, ConvertsByTheSettingsType) {
  struct Row {
    const char* line;
    const char* setting;
    double expected;
  };
  const Row rows[] = {
      {"gen.freq = 2.5K", "freq", 2500},
      {"gen.freq = 10u", "freq", 10e-6},
      {"gen.count = 3.9K", "count", 3900},
      {"gen.count = -2.7", "count", -2},
      {"gen.count = 0x10", "count", 16},
      {"gen.bits = -32768", "bits", -32768},
      {"gen.level = 1m", "level", static_cast<double>(0.001f)},
  };
  for (const Row& r : rows) {
    ParserRig rig;
    EXPECT_EQ(rig.run(r.line).first, 0) << r.line;
    EXPECT_DOUBLE_EQ(rig.comps.list[0].params[r.setting].number, r.expected) << r.line;
    ASSERT_EQ(rig.host.changes.size(), 1u);
    EXPECT_EQ(rig.host.changes[0], std::make_pair(std::string("gen"), std::string(r.setting)));
  }
}

TEST(ParserAssignment, OutputPortOnTheRightLinks) {
  ParserRig rig;
  EXPECT_EQ(rig.run("scope.in = gen.out").first, 0);
  EXPECT_EQ(rig.lastLine, "");
  EXPECT_EQ(rig.run("scope.in").second, "gen.out") << "an input port answers with its source";
  EXPECT_EQ(rig.run("scope.in2").second, "");
  EXPECT_EQ(rig.cmdList(), "link scope.in=gen.out\r\n");
}

TEST(ParserQuery, FormatsEveryValueType) {
  ParserRig rig;
  const std::pair<const char*, const char*> rows[] = {
      {"gen.freq", "1000"}, {"gen.level", "0.5"},   {"gen.count", "42"},  {"gen.bits", "12"},
      {"gen.type", "sine"}, {"gen.path", "/tmp/x"}, {"GEN.freq", "1000"},
  };
  for (auto& [line, value] : rows) {
    const auto [result, message] = rig.run(line);
    EXPECT_EQ(result, 0) << line;
    EXPECT_EQ(message, value) << line;
  }
  EXPECT_EQ(rig.cmdList(), "") << "queries are not recorded";
}

TEST(ParserCall, ArgumentsResultsAndRecording) {
  ParserRig rig;
  auto r = rig.run("gen.scale(2K)");
  EXPECT_EQ(r, std::make_pair(0, std::string("2.5")));
  ASSERT_EQ(rig.comps.calls.size(), 1u);
  EXPECT_EQ(rig.comps.calls[0].vts, (std::vector<int32_t>{vtR8, vtOmitted})) << "an omitted optional argument";
  EXPECT_EQ(rig.comps.calls[0].numbers, std::vector<double>{2000});

  EXPECT_EQ(rig.run("gen.scale(1, 3.7)").first, 0);
  EXPECT_EQ(rig.comps.calls[1].vts, (std::vector<int32_t>{vtR8, vtI4}));
  EXPECT_EQ(rig.comps.calls[1].numbers, (std::vector<double>{1, 3}));

  EXPECT_EQ(rig.run("gen.label()").second, "label text");
  EXPECT_EQ(rig.run("gen.count()").second, "7");
  r = rig.run("gen.reset()");
  EXPECT_EQ(r, std::make_pair(0, std::string()));
  EXPECT_EQ(rig.lastLine, "gen.reset()") << "a call without result echoes itself";
  EXPECT_EQ(rig.host.changes.back(), std::make_pair(std::string("gen"), std::string("reset")));
  EXPECT_EQ(rig.cmdList(), "gen.scale(1, 3.7)\r\ngen.label()\r\ngen.count()\r\ngen.reset()\r\n");
}

TEST(ParserBuiltins, RunStopAbortShow) {
  ParserRig rig;
  EXPECT_EQ(rig.run("kvs.run(5)").first, 0);
  EXPECT_EQ(rig.host.passes, 0) << "only the run code starts a pass";
  EXPECT_EQ(rig.run("kvs.run(318207)").first, 0);
  EXPECT_EQ(rig.host.passes, 1);
  EXPECT_EQ(rig.run("KVS.STOP()").first, 0);
  EXPECT_EQ(rig.lastLine, "KVS.STOP()");
  EXPECT_EQ(rig.host.stops, 1);
  EXPECT_EQ(rig.run("kvs.abort()").first, 0);
  EXPECT_EQ(rig.host.aborts, 1);
  EXPECT_EQ(rig.run("kvs.key(anything at all)").first, 0);
  EXPECT_EQ(rig.run("show(gen.igui, 10, 20)").first, 0);
  EXPECT_EQ(rig.run("showall()").first, 0);
  ASSERT_EQ(rig.host.changes.size(), 2u);
  EXPECT_EQ(rig.host.changes[0], std::make_pair(std::string("show"), std::string("gen.igui, 10, 20")));
  EXPECT_EQ(rig.host.changes[1], std::make_pair(std::string("showall"), std::string()));
  EXPECT_EQ(rig.cmdList(), "") << "built-ins are not recorded";
}

TEST(ParserState, ListsReadableSettingsInLoadOrder) {
  ParserRig rig;
  const auto [result, listing] = rig.run("sys.state");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(listing,
            "gen.freq=1000\r\ngen.count=42\r\ngen.type=\"sine\"\r\ngen.bits=12\r\n"
            "scope.title=e\"Scope \\x22A\\x22\"\r\n")
      << "a text with quotes is listed escaped, so that no quote of it can end the constant";
}

TEST(ParserState, ListingReplaysToTheSameSettings) {
  ParserRig rig;
  rig.run("gen.freq = 12.5M");
  rig.run("gen.count = 9");
  rig.run("gen.type = \"square wave\"");
  const std::string listing = rig.run("sys.state").second;

  ParserRig other;
  size_t start = 0;
  while (start < listing.size()) {
    const size_t end = listing.find("\r\n", start);
    const std::string line = listing.substr(start, end - start);
    EXPECT_EQ(other.run(line.c_str()).first, 0) << line;
    start = end + 2;
  }
  EXPECT_EQ(other.run("sys.state").second, listing);
}

TEST(EngineWithoutModules, AnswersWithResolutionMessages) {
  CEngine engine;
  CStr answer;
  EXPECT_EQ(engine.Execute("load gen = siggen", answer), -1);
  EXPECT_STREQ(answer, "Mod not found \"siggen\"");
  EXPECT_EQ(engine.Execute("gen.freq = 1K", answer), -1);
  EXPECT_STREQ(answer, "Variable not found \"gen\"");
  EXPECT_EQ(engine.Execute("unload gen", answer), -1);
  EXPECT_STREQ(answer, "Variable not found gen");
  EXPECT_EQ(engine.Execute("kvs.key()", answer), 0);
  EXPECT_STREQ(answer, "kvs.key()") << "an empty message answers with the processed line";
  EXPECT_EQ(engine.Execute("  //  kept   note", answer), 0);
  EXPECT_STREQ(answer, "");
  EXPECT_EQ(engine.Execute("sys.state", answer), 0);
  EXPECT_STREQ(answer, "sys.state");
  EXPECT_STREQ(engine.GetCmdList(), "// kept note\r\n");
}
