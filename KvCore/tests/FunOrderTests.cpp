// Run order and buffer release, on networks of Test.bin components.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineRig.h"

namespace {

std::vector<std::string> steps(CEngine& e) {
  std::vector<std::string> out;
  for (const CRunStep& s : e.RunOrder().Steps()) out.push_back(std::string(s.name.GetBfr()) + "." + s.port.GetBfr());
  return out;
}

std::vector<std::string> computed(EngineRig& rig) {
  EXPECT_TRUE(rig.engine.RunOrder().Compute(rig.engine.Components()));
  return steps(rig.engine);
}

void build(EngineRig& rig, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) rig.ok(l);
}

}  // namespace

TEST(RunOrder, ChainWithItsTables) {
  EngineRig rig;
  build(rig, {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out"});
  EXPECT_EQ(computed(rig), (std::vector<std::string>{"g.out", "f.in", "f.out", "d.a"}));
  CFunOrder& o = rig.engine.RunOrder();
  EXPECT_STREQ(o.OutTable(),
               "obfrlbl, funname, obfrname, funidx, nusrs, ibfrcnt, ibfrs...\r\n"
               "g.out, g, out, 0, 1, 0, \r\n"
               "f.out, f, out, 1, 1, 1, f.in, \r\n");
  EXPECT_STREQ(o.InTable(),
               "ibfrlbl, ifunname, ibfrname, ifunidx, nusrs/blast, srcbfrlbl, srcfunidx\r\n"
               "f.in, f, in, 1, 1/0, g.out, 0, \r\n"
               "d.a, d, a, 2, 0/1, f.out, 1, \r\n");
  EXPECT_STREQ(o.ScheduleText(), "g.out, f.in, f.out, d.a, ");
  EXPECT_STREQ(o.InputSource("F.IN"), "g.out");
  EXPECT_STREQ(o.InputSource("d.b"), "");
}

TEST(RunOrder, Cases) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::vector<std::string> steps;
  };
  const Case cases[] = {
      {"fan-out: one step for the output, then its consumers in list order",
       {"load g = test.src", "load d1 = test.sink", "load d2 = test.sink", "d2.a = g.out", "d1.b = g.out"},
       {"g.out", "d1.b", "d2.a"}},
      {"two inputs: the output after both producers",
       {"load g = test.src", "load h = test.src", "load s = test.sink", "load f = test.pass", "s.a = g.out",
        "s.b = h.out", "f.in = s.sum"},
       {"g.out", "s.a", "h.out", "s.b", "s.sum", "f.in"}},
      {"an unused output and an unlinked component get no step",
       {"load g = test.src", "load h = test.src", "load lone = test.rec", "load f = test.pass", "f.in = h.out"},
       {"h.out", "f.in"}},
      {"a terminal input of the same buffer is scheduled with its producer",
       {"load g = test.src", "load f = test.pass", "load d = test.sink", "f.in = g.out", "d.a = f.out",
        "d.b = g.out"},
       {"g.out", "f.in", "d.b", "f.out", "d.a"}},
      {"nothing linked", {"load g = test.src"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig rig;
    build(rig, c.lines);
    EXPECT_EQ(computed(rig), c.steps);
  }
}

TEST(RunOrder, CycleIsRefusedNamingItsLinks) {
  // The netlist refuses the closing link; the run order keeps its own guard for ports wired
  // past it, as a module could.
  EngineRig rig;
  build(rig, {"load p = test.pass", "load q = test.pass", "load d = test.sink", "p.in = q.out", "d.a = p.out"});
  CModList& comps = rig.engine.Components();
  CBfr* pout = rig.out("p", "out");
  VPARAM v;
  v.kind = kindInPort, v.vt = vtBfr, v.value.p = pout;
  ASSERT_EQ(comps.Set(comps.Find("q"), "in", v), cmdDone);
  ++pout->users;
  CFunOrder& o = rig.engine.RunOrder();
  EXPECT_FALSE(o.Compute(comps));
  EXPECT_TRUE(o.Steps().empty());
  EXPECT_STREQ(o.Error(), "Cycle in the links: q.out -> p.in, p.out -> q.in");
  ASSERT_TRUE(rig.runPasses(3));
  EXPECT_NE(rig.logText().find("Cycle in the links: q.out -> p.in, p.out -> q.in"), std::string::npos);
  EXPECT_EQ(rig.events, (std::vector<std::string>{"loaded p", "loaded q", "loaded d", "linked p", "linked d",
                                                  "BeforeAcq", "AfterAcq", "AcqIdle"}))
      << "the refused pass drops the passes pending behind it";
  rig.ok("unlink q.in");
  EXPECT_TRUE(o.Compute(comps));
}

TEST(Release, FreesOnceEveryConsumerHasReleasedUnlessStatic) {
  for (const bool isStatic : {false, true}) {
    SCOPED_TRACE(isStatic ? "static" : "not static");
    EngineRig rig;
    rig.engine.SetLogLevel(LogDebug);
    build(rig, {"load g = test.src", "load f1 = test.pass", "load f2 = test.pass", "f1.in = g.out", "f2.in = g.out",
                "f1.release = 1", isStatic ? "g.isstatic = 1" : "g.isstatic = 0"});
    rig.ok("kvs.run(318207)");
    CBfr* b = rig.out("g", "out");
    EXPECT_NE(b->data, nullptr) << "one of two consumers released";
    const std::string log = rig.logText();
    EXPECT_NE(log.find("Release issued for f1.in, released.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Release issued for g.out\n"), std::string::npos) << log;

    rig.ok("f2.release = 1");
    rig.ok("kvs.run(318207)");
    const std::string after = rig.logText().substr(log.size());
    EXPECT_EQ(b->data == nullptr, !isStatic);
    EXPECT_NE(after.find(isStatic ? "Release issued for g.out, static buffer not released." : "Release issued for g.out, released."),
              std::string::npos)
        << after;
    rig.engine.RunOrder().Release(nullptr);  // unknown: ignored
  }
}

TEST(RunOrder, PassesAndQueriesOnlyComputeThroughTheirMessages) {
  // A component that computes on an evaluate request (a measurement does) must not be
  // computed by the run order ahead of its inputs, nor by a query of an input's source.
  EngineRig rig;
  build(rig, {"load g = test.src", "load f = test.pass", "load s = test.sink", "f.in = g.out", "s.a = f.out"});
  const std::string linked = rig.ok("g.evals") + "," + rig.ok("f.evals");
  EXPECT_EQ(linked, "1,1") << "each link fetches its source once";
  rig.ok("kvs.run(318207)");
  rig.ok("kvs.run(318207)");
  rig.ok("s.a");
  rig.ok("f.in");
  EXPECT_EQ(rig.ok("g.evals") + "," + rig.ok("f.evals"), linked);
  rig.ok("unload f");
  EXPECT_EQ(rig.ok("g.evals"), "1");
}
