// The component list, links and script commands end to end, on the project's Test.bin.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "EngineRig.h"
#include "KvDll/tests/TestSupport.h"

TEST(Load, VariantsFileNamesAndFailures) {
  EngineRig rig;
  rig.ok("load g = test.src");
  rig.ok("load P = TEST.pass");  // the file name ignores case
  rig.ok("load r = test");        // no variant
  EXPECT_EQ(rig.bad("load G = test.sink"), "Component already exists \"G\"");
  EXPECT_EQ(rig.bad("load x = nothere.src"), "Mod not found \"nothere.src\"");
  EXPECT_EQ(rig.bad("load y = test.unknownkind"), "Mod not found \"test.unknownkind\"") << "no instance made";
  CModList& c = rig.engine.Components();
  ASSERT_EQ(c.Count(), 3);
  EXPECT_STREQ(c.Rec(0)->file, "test");
  EXPECT_STREQ(c.Rec(0)->variant, "src");
  EXPECT_STREQ(c.Rec(1)->variant, "pass");
  EXPECT_STREQ(c.Rec(2)->variant, "");
  EXPECT_EQ(c.Rec(0)->runOrder, 0);
  EXPECT_EQ(rig.ok("p.pname"), "P") << "the module got the name the script gave";
  EXPECT_EQ(rig.events, (std::vector<std::string>{"loaded g", "loaded P", "loaded r"}));
  EXPECT_EQ(rig.cmdList(), "load g=test.src\r\nload P=TEST.pass\r\nload r=test\r\n");

  rig.ok("unload p");
  EXPECT_EQ(c.Count(), 2);
  EXPECT_STREQ(c.Label(1), "r") << "later components move up";
  EXPECT_EQ(rig.events.back(), "unloaded P");
  EXPECT_EQ(rig.bad("unload nobody"), "Variable not found nobody");
}

TEST(Load, AliasesFromModsLst) {
  TempFolder lib;
  ASSERT_EQ(symlink((std::string(KV_TEST_LIB_DIR) + "/Test.bin").c_str(), (lib.path() + "/Test.bin").c_str()), 0);
  std::ofstream(lib.path() + "/mods.lst") << "Gen,test.src\r\nThrough,Test.pass\nplain,test";
  EngineRig rig((lib.path() + "/").c_str());  // a path ending in "/" gets no second one
  rig.ok("load g = gen");
  rig.ok("load p = THROUGH");
  EXPECT_EQ(rig.bad("load r = plain.sink"), "Mod not found \"plain.sink\"") << "an alias matches the whole name";
  EXPECT_STREQ(rig.engine.Components().Rec(0)->variant, "src") << "the alias text is split after it is applied";
  EXPECT_STREQ(rig.engine.Components().Rec(1)->variant, "pass");
  EXPECT_EQ(rig.cmdList(), "load g=gen\r\nload p=THROUGH\r\n") << "the command list keeps the alias as written";
}

TEST(Settings, EveryValueTypeRoundTrips) {
  EngineRig rig;
  rig.ok("load g = test.src");
  struct Case {
    const char* line;
    const char* query;
    const char* answer;
  };
  const Case cases[] = {
      {"g.i2 = -1234", "g.i2", "-1234"},
      {"g.i4 = 123456", "g.i4", "123456"},
      {"g.r4 = 0.5", "g.r4", "0.5"},
      {"g.r8 = 2.5m", "g.r8", "0.0025"},
      {"g.text = \"a, b = c\"", "g.text", "a, b = c"},
      {"g.gain = -1e-9", "g.gain", "-1e-09"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    rig.ok(c.line);
    EXPECT_EQ(rig.ok(c.query), c.answer);
  }
  EXPECT_EQ(rig.bad("g.i4 = -5"), "Value not accepted \"g.i4 = -5\"");
  EXPECT_EQ(rig.ok("g.i4"), "123456");
  EXPECT_EQ(rig.bad("g.badread"), "Unknown error \"g.badread\"");
  EXPECT_EQ(rig.bad("g.nothing = 1"), "Parameter not found \"g.nothing\"");
  EXPECT_EQ(rig.ok("g.version"), "Test 1.0");
  EXPECT_EQ(rig.engine.Components().Unit(0, "r8"), "V");
  EXPECT_EQ(rig.ok("g.test"), "0") << "reading test always gives 0";
  const std::string list = rig.cmdList();
  EXPECT_NE(list.find("g.text=\"a, b = c\"\r\n"), std::string::npos) << list;
  EXPECT_EQ(list.find("-5"), std::string::npos) << "a refused value is not recorded";
}

TEST(Settings, StateListsEverySetting) {
  EngineRig rig;
  rig.ok("load g = test.rec");
  rig.ok("g.text = \"x y\"");
  rig.ok("g.r8 = 1.5");
  EXPECT_EQ(rig.ok("sys.state"),
            "g.i2=0\r\ng.i4=0\r\ng.r4=0\r\ng.r8=1.5\r\ng.text=\"x y\"\r\ng.release=0\r\ng.isstatic=0\r\n"
            "g.count=4\r\ng.gain=1\r\n");
}

TEST(Functions, ArgumentsOptionalAndQuoted) {
  EngineRig rig;
  rig.ok("load g = test.src");
  EXPECT_EQ(rig.ok("g.add(1, 2)"), "3");
  EXPECT_EQ(rig.ok("g.add(1, 2, 3.5)"), "6.5");
  EXPECT_EQ(rig.ok("g.echo(\"one, two (three)\")"), "echo: one, two (three)");
  EXPECT_EQ(rig.bad("g.add(1, 2, 3, 4)"), "Too many arguments, expecting 3 arguments in \"g.add(1, 2, 3, 4)\"");
  EXPECT_EQ(rig.bad("g.add(1)"), "Argument number 2 missing in argument list \"1\"");
  EXPECT_EQ(rig.bad("g.nofun(1)"), "Function not found \"g.nofun\"");
  EXPECT_EQ(rig.bad("g.add(\"x\", 1)"), "Type mismatch in argument number 1 in the argument list \"\"x\", 1\"");
  EXPECT_NE(rig.cmdList().find("g.echo(\"one, two (three)\")\r\n"), std::string::npos) << rig.cmdList();
}

TEST(Links, UserCountsFollowTheLinks) {
  EngineRig rig;
  rig.ok("load g = test.src");
  rig.ok("load h = test.src");
  rig.ok("load p = test.pass");
  rig.ok("load q = test.pass");
  rig.ok("load s = test.sink");
  rig.ok("p.in = g.out");
  rig.ok("link q.in = g.out");
  rig.ok("s.a = g.out");
  CBfr* g = rig.out("g", "out");
  CBfr* h = rig.out("h", "out");
  EXPECT_EQ(g->users, 3);
  EXPECT_EQ(rig.in("p", "in"), g);
  EXPECT_EQ(rig.ok("s.a"), "g.out") << "an input's query names its source";
  EXPECT_EQ(rig.ok("s.b"), "s.b") << "unlinked: no source, so the line itself is the answer";

  rig.ok("p.in = g.out");
  EXPECT_EQ(g->users, 3) << "relinking to the same output";
  rig.ok("p.in = h.out");
  EXPECT_EQ(g->users, 2);
  EXPECT_EQ(h->users, 1);
  rig.ok("unlink p.in");
  EXPECT_EQ(h->users, 0);
  EXPECT_EQ(rig.in("p", "in"), nullptr);
  rig.ok("unlink s.b");  // not linked: succeeds, recorded
  EXPECT_EQ(rig.bad("p.out = g.out"), "Invalid assignment, expecting input port on left hand side, found output port \"p.out\"");
  EXPECT_EQ(rig.cmdList(),
            "load g=test.src\r\nload h=test.src\r\nload p=test.pass\r\nload q=test.pass\r\nload s=test.sink\r\n"
            "link q.in=g.out\r\nlink s.a=g.out\r\n");

  rig.ok("unload g");
  EXPECT_EQ(rig.in("q", "in"), nullptr) << "the producer's consumers are unlinked";
  EXPECT_EQ(rig.in("s", "a"), nullptr);
  EXPECT_EQ(rig.cmdList(), "load g=test.src\r\nload h=test.src\r\nload p=test.pass\r\nload q=test.pass\r\nload s=test.sink\r\n")
      << "the link lines go; an unloaded component keeps its load line";
  rig.ok("s.b = q.out");
  CBfr* qOut = rig.out("q", "out");
  EXPECT_EQ(qOut->users, 1);
  rig.ok("q.in = h.out");
  rig.ok("unload q");
  EXPECT_EQ(h->users, 0) << "unloading a consumer gives its inputs back";
  EXPECT_EQ(rig.in("s", "b"), nullptr);
}

TEST(Links, UnloadingAComponentThatHidesItsInputsStillFreesItsConsumers) {
  EngineRig rig;
  rig.ok("load m = test.mute");
  rig.ok("load p = test.pass");
  rig.ok("p.in = m.out");
  EXPECT_EQ(rig.out("m", "out")->users, 1);
  rig.ok("unload m");
  EXPECT_EQ(rig.in("p", "in"), nullptr) << "no consumer keeps a buffer of a destroyed component";
  EXPECT_EQ(rig.cmdList(), "load m=test.mute\r\nload p=test.pass\r\n");
}

TEST(Trigger, InputAcceptsOnlyTriggerBuffersAndFires) {
  EngineRig rig;
  rig.ok("load g = test.src");
  rig.ok("load t = test.rec");
  EXPECT_EQ(rig.bad("t.trigin = g.out"), "Value not accepted \"t.trigin\"");
  EXPECT_EQ(rig.out("g", "out")->users, 0) << "a refused link changes nothing";
  rig.ok("t.trigin = g.trg");
  CBfr* trg = rig.out("g", "trg");
  EXPECT_EQ(trg->users, 1);
  CLocalData* t = rig.engine.Components().Rec(1)->inst;
  EXPECT_TRUE(t->TriggerConnected());

  auto waitFor = [&](const std::string& what) {
    for (int i = 0; i < 2000; ++i) {
      if (rig.ok("t.history").find(what) != std::string::npos) return true;
      WaitPumping(nullptr, 0, 1);  // the trigger thread may be sending to this thread
    }
    return false;
  };
  auto waitingOnTrigger = [&] {
    for (int i = 0; i < 2000 && KvWaitingThreads(*static_cast<KvEvent*>(trg->data)) == 0; ++i) WaitPumping(nullptr, 0, 1);
  };
  waitingOnTrigger();
  rig.ok("g.fire()");
  EXPECT_TRUE(waitFor("#acq.trg,"));
  rig.ok("t.test = 1");
  EXPECT_TRUE(waitFor("#acq.testtrg,"));
  rig.ok("t.test = 0");

  // A component driven by its trigger gets no engine messages.
  rig.ok("kvs.run(318207)");
  EXPECT_EQ(rig.ok("t.history").find("#acq.start"), std::string::npos);

  rig.ok("unlink t.trigin");
  EXPECT_EQ(trg->users, 0);
  EXPECT_FALSE(t->TriggerConnected()) << "a disconnection lets go of the buffer at once";
  rig.ok("t.test = 1");
  EXPECT_TRUE(waitFor("#acq.testseq,")) << "without a trigger the test goes to the component";
  rig.ok("t.trigin = g.trg");
  rig.ok("load h = test.src");
  rig.ok("t.trigin = h.trg");
  EXPECT_EQ(trg->users, 0) << "relinked to another producer";
  CBfr* htrg = rig.out("h", "trg");
  EXPECT_EQ(htrg->users, 1);
  rig.ok("t.clear()");
  EXPECT_EQ(rig.ok("t.history"), "t.history") << "empty: the answer is the line itself";
  for (int i = 0; i < 2000 && KvWaitingThreads(*static_cast<KvEvent*>(htrg->data)) == 0; ++i) WaitPumping(nullptr, 0, 1);
  rig.ok("h.fire()");
  EXPECT_TRUE(waitFor("#acq.trg,")) << "the first data from the new producer triggers " << rig.ok("t.history") << " abort " << int(rig.engine.Global().abort.load()) << rig.logText() << " waiting " << KvWaitingThreads(*static_cast<KvEvent*>(htrg->data));
  rig.ok("unload h");
  EXPECT_FALSE(t->TriggerConnected()) << "unloading the producer disconnects the trigger";
}

TEST(Visible, RoutedToTheHost) {
  EngineRig rig;
  long shown = 0;
  rig.engine.onShowGui = [&](const char* name, long& show) {
    if (show == 2)
      show = shown;
    else
      shown = show;
    rig.events.push_back(std::string("ShowGui ") + name);
  };
  rig.ok("load g = test.rec");
  EXPECT_EQ(rig.ok("g.visible"), "0");
  rig.ok("g.visible = 1");
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(rig.ok("g.visible"), "1");
  EXPECT_EQ(rig.events.back(), "ShowGui g");
}
