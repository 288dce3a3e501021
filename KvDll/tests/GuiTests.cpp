#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "KvDll/Gui.h"
#include "KvDll/dbg.h"
#include "KvDll/tests/TestSupport.h"

namespace {

CGui panel() {
  CGui g;
  g.init("igui", "", "KvMeas.Inputs");
  return g;
}

VPARAM floatRec(float x) {
  VPARAM v;
  v.vt = vtR4;
  v.value.r4 = x;
  return v;
}

CMDERR writeFloat(CGui& g, const char* name, float x) {
  VPARAM v = floatRec(x);
  return g.Settings(parWrite, name, v);
}

float readFloat(CGui& g, const char* name) {
  VPARAM v = floatRec(12345.f);
  EXPECT_EQ(g.Settings(parRead, name, v), cmdDone) << name;
  return v.value.r4;
}

std::string readText(CGui& g, const char* name) {
  CStr out("stale");
  VPARAM v;
  v.value.str = &out;
  EXPECT_EQ(g.Settings(parRead, name, v), cmdDone) << name;
  return out.GetBfr();
}

// An argument list on the shared heap, released with it as the callers do.
struct Args {
  VPARAMS a;
  ~Args() { KV_FREE(a.params); }
  void set(std::initializer_list<VPARAM> recs) {
    KV_FREE(a.params);
    a.params = static_cast<VPARAM*>(KV_MALLOC(sizeof(VPARAM) * recs.size()));
    a.count = static_cast<int32_t>(recs.size());
    int i = 0;
    for (const VPARAM& r : recs) a.params[i++] = r;
  }
};

}  // namespace

TEST(GuiSettings, FloatKeysClampAndTreatNaNAsNotSet) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float in, out;
  } rows[] = {{5e6f, 1e6f}, {-7e6f, -1e6f}, {123.5f, 123.5f}, {-1e6f, -1e6f}, {0, 0}, {nan, -1}, {inf, 1e6f}};
  for (const char* key : {"igui.left", "igui.top", "igui.width", "igui.height"}) {
    for (const auto& r : rows) {
      CGui g = panel();
      EXPECT_EQ(writeFloat(g, key, r.in), cmdDone) << key;
      EXPECT_EQ(readFloat(g, key), r.out) << key << " <- " << r.in;
    }
  }
  CGui g = panel();
  writeFloat(g, "igui.left", 1);
  writeFloat(g, "igui.top", 2);
  writeFloat(g, "igui.width", 3);
  writeFloat(g, "igui.height", 4);
  EXPECT_EQ(g.left, 1);
  EXPECT_EQ(g.top, 2);
  EXPECT_EQ(g.width, 3);
  EXPECT_EQ(g.height, 4);
}

TEST(GuiSettings, MoreAndTextRoundTrip) {
  CGui g = panel();
  VPARAM v;
  v.value.i4 = -42;
  EXPECT_EQ(g.Settings(parWrite, "igui.more", v), cmdDone);
  v.value.i4 = 0;
  EXPECT_EQ(g.Settings(parRead, "igui.more", v), cmdDone);
  EXPECT_EQ(v.value.i4, -42);

  for (const char* key : {"igui.title", "igui.wnd"}) {
    VPARAM w;
    w.value.s = "Input levels";
    EXPECT_EQ(g.Settings(parWrite, key, w), cmdDone) << key;
    EXPECT_EQ(readText(g, key), "Input levels") << key;
    w.value.s = nullptr;
    EXPECT_EQ(g.Settings(parWrite, key, w), cmdDone) << key;
    EXPECT_EQ(readText(g, key), "") << key << ": null writes empty";
    VPARAM r;  // no target text: served, nothing written
    EXPECT_EQ(g.Settings(parRead, key, r), cmdDone) << key;
  }
}

TEST(GuiSettings, ClassAndHandleWritesAreAcceptedAndIgnored) {
  CGui g = panel();
  VPARAM w;
  w.value.s = "Other";
  EXPECT_EQ(g.Settings(parWrite, "igui.class", w), cmdDone);
  EXPECT_EQ(g.Settings(parWrite, "igui.handle", w), cmdDone);
  EXPECT_EQ(readText(g, "igui.class"), "KvMeas.Inputs");
  EXPECT_EQ(readText(g, "igui.handle"), "igui");
}

TEST(GuiSettings, DescribeAnswersKindAndType) {
  const struct {
    const char* name;
    int32_t vt;
  } rows[] = {{"igui.left", vtR4},   {"igui.top", vtR4},  {"igui.width", vtR4},
              {"igui.height", vtR4}, {"igui.more", vtI4}, {"igui.title", vtStr},
              {"igui.wnd", vtStr},   {"igui.class", vtStr}, {"igui.handle", vtStr}};
  CGui g = panel();
  for (const auto& r : rows) {
    VPARAM v;
    EXPECT_EQ(g.Settings(parDescribe, r.name, v), cmdDone) << r.name;
    EXPECT_EQ(v.kind, kindSetting) << r.name;
    EXPECT_EQ(v.vt, r.vt) << r.name;
  }
}

TEST(GuiSettings, OtherRequestsAreAcceptedWithoutReply) {
  CGui g = panel();
  g.left = 7;
  for (GETPARCMD cmd : {parLabel, parUnit, parEvaluate}) {
    VPARAM v = floatRec(99);
    EXPECT_EQ(g.Settings(cmd, "igui.left", v), cmdDone) << cmd;
    EXPECT_EQ(v.kind, 0);
    EXPECT_EQ(v.vt, vtR4);
    EXPECT_EQ(v.value.r4, 99);
    EXPECT_EQ(g.left, 7);
  }
}

TEST(GuiSettings, KeyIsCaseSensitiveHandleIsNot) {
  CGui g = panel();
  EXPECT_EQ(writeFloat(g, "IGUI.left", 50), cmdDone);
  EXPECT_EQ(g.left, 50);
  EXPECT_EQ(writeFloat(g, "igui.Left", 60), cmdNotServed);
  EXPECT_EQ(g.left, 50);
}

TEST(GuiSettings, UnknownNamesAreNotServed) {
  CGui g = panel();
  for (const char* name : {"igui.depth", "igui.", "igui", "iguileft", "ogui.left", "igui.left2", "", ".left"}) {
    for (GETPARCMD cmd : {parRead, parWrite, parDescribe}) {
      VPARAM v = floatRec(3);
      EXPECT_EQ(g.Settings(cmd, name, v), cmdNotServed) << name << " cmd " << cmd;
      EXPECT_EQ(v.kind, 0) << name;
      EXPECT_EQ(v.value.r4, 3) << name;
    }
  }
  VPARAM v;
  EXPECT_EQ(g.Settings(parRead, nullptr, v), cmdNotServed);
  EXPECT_EQ(g.left, -1);
}

TEST(GuiHandle, IsHandleTable) {
  const struct {
    const char* handle;
    const char* name;
    bool expected;
  } rows[] = {{"igui", "igui.left", true}, {"igui", "IGUI.left", true}, {"igui", "igui.", true},
              {"igui", "igui", false},     {"igui", "iguix.left", false}, {"igui", "ig", false},
              {"igui", "", false},         {"igui", "ogui.left", false},  {"", ".left", false},
              {"", "left", false}};
  for (const auto& r : rows) {
    CGui g;
    g.init(r.handle, "", "");
    // An exact-size copy lets the address checker catch any read past the name's end.
    const size_t n = std::strlen(r.name) + 1;
    std::unique_ptr<char[]> name(new char[n]);
    std::memcpy(name.get(), r.name, n);
    EXPECT_EQ(g.isHandle(name.get()), r.expected) << r.handle << " / " << r.name;
    EXPECT_FALSE(g.isHandle(nullptr));
  }
}

TEST(GuiFun, MoveTakesOnlyFloatRecords) {
  CGui g = panel();
  g.width = 300;
  g.height = 200;
  VPARAM i4;
  i4.vt = vtI4;
  i4.value.i4 = 5;
  VPARAM r8;
  r8.vt = vtR8;
  r8.value.r8 = 6;
  Args args;
  args.set({floatRec(10), floatRec(20), i4, r8});
  EXPECT_EQ(g.Fun("igui.move", args.a), cmdDone);
  EXPECT_EQ(g.left, 10);
  EXPECT_EQ(g.top, 20);
  EXPECT_EQ(g.width, 300);
  EXPECT_EQ(g.height, 200);

  args.set({floatRec(8e6f), floatRec(-8e6f), floatRec(640), floatRec(480)});
  EXPECT_EQ(g.Fun("IGUI.move", args.a), cmdDone);
  EXPECT_EQ(g.left, 1e6f);
  EXPECT_EQ(g.top, -1e6f);
  EXPECT_EQ(g.width, 640);
  EXPECT_EQ(g.height, 480);

  args.set({floatRec(9e6f), floatRec(50)});
  EXPECT_EQ(g.Fun("igui.size", args.a), cmdDone);
  EXPECT_EQ(g.width, 1e6f);
  EXPECT_EQ(g.height, 50);
  EXPECT_EQ(g.Fun("igui.resize", args.a), cmdNotServed);
  EXPECT_EQ(g.Fun("ogui.size", args.a), cmdNotServed);
}

TEST(GuiFun, MissingOrMistypedRecordsLeaveFieldsUnchanged) {
  CGui g = panel();
  g.left = 1;
  g.top = 2;
  g.width = 3;
  g.height = 4;
  Args args;
  args.set({floatRec(10), floatRec(20), floatRec(30), floatRec(40)});
  args.a.count = 1;  // records beyond count are not the caller's
  EXPECT_EQ(g.Fun("igui.move", args.a), cmdDone);
  EXPECT_EQ(g.left, 10);
  EXPECT_EQ(g.top, 2);
  EXPECT_EQ(g.width, 3);
  EXPECT_EQ(g.Fun("igui.size", args.a), cmdDone);
  EXPECT_EQ(g.width, 10) << "size takes its width from the first record";
  EXPECT_EQ(g.height, 4);

  VPARAM i4;
  i4.vt = vtI4;
  args.set({i4, floatRec(25)});
  EXPECT_EQ(g.Fun("igui.move", args.a), cmdDone);
  EXPECT_EQ(g.left, 10);
  EXPECT_EQ(g.top, 25);

  VPARAMS none;
  none.count = 4;  // a count with no array behind it
  EXPECT_EQ(g.Fun("igui.move", none), cmdDone);
  EXPECT_EQ(g.Fun("igui.size", none), cmdDone);
  EXPECT_EQ(g.left, 10);
  EXPECT_EQ(g.height, 4);
}

TEST(GuiFunInfo, DescribesArgumentsAndReplacesOldList) {
  const struct {
    const char* name;
    int32_t count;
    int32_t kinds[4];
  } rows[] = {{"igui.move", 4, {kindNone, kindNone, kindOptional, kindOptional}},
              {"igui.size", 2, {kindNone, kindNone}}};
  CGui g = panel();
  for (const auto& r : rows) {
    Args args;
    args.set({floatRec(1), floatRec(2), floatRec(3)});  // the old list, freed by FunInfo
    args.a.result.vt = vtI4;
    ASSERT_EQ(g.FunInfo(r.name, args.a), cmdDone) << r.name;
    ASSERT_EQ(args.a.count, r.count) << r.name;
    ASSERT_NE(args.a.params, nullptr);
    EXPECT_EQ(args.a.result.vt, vtEmpty);
    for (int i = 0; i < r.count; ++i) {
      EXPECT_EQ(args.a.params[i].vt, vtR4) << r.name << " " << i;
      EXPECT_EQ(args.a.params[i].kind, r.kinds[i]) << r.name << " " << i;
    }
  }
  Args args;
  args.set({floatRec(1)});
  VPARAM* old = args.a.params;
  EXPECT_EQ(g.FunInfo("igui.zoom", args.a), cmdNotServed);
  EXPECT_EQ(g.FunInfo("igui.Move", args.a), cmdNotServed);
  EXPECT_EQ(args.a.params, old) << "an unknown function leaves the list alone";
  EXPECT_EQ(args.a.count, 1);
}

TEST(GuiFunInfo, AllocationFailureIsReported) {
  ReportCatcher reports;
  CGui g = panel();
  Args args;
  args.set({floatRec(1), floatRec(2)});
  KvHeapFailAfter(1);
  const CMDERR r = g.FunInfo("igui.move", args.a);
  KvHeapFailAfter(0);
  EXPECT_EQ(r, cmdNotServed);
  EXPECT_EQ(args.a.count, 0);
  EXPECT_EQ(args.a.params, nullptr);
  ASSERT_EQ(reports.reports().size(), 1u);
  EXPECT_EQ(reports.reports()[0], "KvDll/Gui: Insufficient memory");
}

TEST(GuiCopy, CopiesEveryFieldIndependently) {
  CGui a;
  EXPECT_EQ(a.left, -1);
  EXPECT_EQ(a.width, -1);
  EXPECT_EQ(a.more, 0);
  EXPECT_TRUE(a.handle.IsEmpty());
  a.init("ogui", "main", "KvMeas.Outputs");
  a.title = "Outputs";
  a.left = 1;
  a.top = 2;
  a.width = 3;
  a.height = 4;
  a.more = 5;
  auto same = [](const CGui& x, const CGui& y) {
    return std::string(x.title) == y.title.GetBfr() && std::string(x.wnd) == y.wnd.GetBfr() &&
           std::string(x.cls) == y.cls.GetBfr() && std::string(x.handle) == y.handle.GetBfr() &&
           x.left == y.left && x.top == y.top && x.width == y.width && x.height == y.height && x.more == y.more;
  };
  CGui b(a);
  EXPECT_TRUE(same(a, b));
  CGui c;
  c = a;
  EXPECT_TRUE(same(a, c));
  c.title = "changed";
  c.left = 9;
  EXPECT_EQ(std::string(a.title), "Outputs");
  EXPECT_EQ(a.left, 1);
  EXPECT_TRUE(c.isHandle("OGUI.top"));
}
