#include "KvDll/GlobalData.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "KvDll/IniStore.h"
#include "KvDll/tests/TestSupport.h"

namespace {

std::vector<std::string> texts(const CObjArr<CStr>& a) {
  std::vector<std::string> out;
  for (int i = 0; i < a.count; ++i) out.emplace_back(a.items[i]->GetBfr(), a.items[i]->GetLength());
  return out;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

unsigned short* u16(std::u16string& s) { return reinterpret_cast<unsigned short*>(s.data()); }

// A start-up record as the shell fills it, with strings it owns.
struct StartupRecord {
  std::u16string name, folder;
  intptr_t entries[kStartEntries] = {};
  StartupRecord(std::u16string appName, std::u16string appFolder) : name(std::move(appName)), folder(std::move(appFolder)) {
    entries[kStartInstance] = 0x1234;
    entries[kStartMainWnd] = 11;
    entries[kStartClientWnd] = 12;
    entries[kStartAppName] = reinterpret_cast<intptr_t>(u16(name));
    entries[kStartAppPath] = reinterpret_cast<intptr_t>(u16(folder));
  }
  intptr_t address() { return reinterpret_cast<intptr_t>(entries); }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and the start-up record
// ---------------------------------------------------------------------------------------

TEST(GlobalData, InitialValuesAndTheProcessPointer) {
  ASSERT_EQ(KvGlobal(), nullptr);
  {
    CGlobalData g;
    EXPECT_EQ(KvGlobal(), &g);
    EXPECT_EQ(g.funs, nullptr);
    EXPECT_NE(g.scratch, nullptr);
    EXPECT_EQ(g.minSeverity.load(), 2);
    EXPECT_EQ(g.statusPanel, "Status");
    EXPECT_EQ(g.version, "1.1.4");
    EXPECT_TRUE(g.appName.IsEmpty());
    EXPECT_FALSE(g.stopEvent.IsSet());
    EXPECT_FALSE(g.secondEvent.IsSet());
    EXPECT_EQ(g.abort.load(), 0);
    EXPECT_EQ(g.modNames->count, 0);
    EXPECT_EQ(g.GetPanel(0), g.GetPanel(7));
    g.stopEvent.Set();
    g.stopEvent.Reset();
    EXPECT_FALSE(g.stopEvent.IsSet()) << "the stop event is manual-reset";
  }
  EXPECT_EQ(KvGlobal(), nullptr);
}

TEST(GlobalData, ScratchBlockFailureIsReported) {
  ReportCatcher reports;
  // The members' own texts are allocated first; find the allocation of the block itself.
  bool reached = false;
  for (long n = 1; n < 40 && !reached; ++n) {
    reports.clear();
    KvHeapFailAfter(n);
    CGlobalData g;
    KvHeapFailAfter(0);
    if (g.scratch) continue;
    reached = true;
    const auto r = reports.reports();
    EXPECT_NE(std::find(r.begin(), r.end(), "KvDll/GlobalData: Insufficient memory"), r.end());
  }
  EXPECT_TRUE(reached);
}

TEST(GlobalData, InitFunsReadsNameFolderAndModuleList) {
  TempFolder app;
  ASSERT_EQ(mkdir((app.path() + "/Lib").c_str(), 0755), 0);
  writeFile(app.path() + "/Lib/mods.lst", "Meas,Measurements\nFilter,Filters");
  StartupRecord rec(u"Kelv\u00e4ne", std::u16string(app.path().begin(), app.path().end()));
  CGlobalData g;
  g.InitFuns(rec.address());
  EXPECT_EQ(g.funs, rec.entries);
  EXPECT_EQ(g.appName, "Kelv\xC3\xA4ne");
  EXPECT_EQ(g.appPath, app.path().c_str());
  EXPECT_EQ(g.GetPathLib(), (app.path() + "/Lib").c_str());
  EXPECT_EQ(texts(*g.modNames), (std::vector<std::string>{"Meas", "Filter"}));
  EXPECT_EQ(texts(*g.modTexts), (std::vector<std::string>{"Measurements", "Filters"}));
  EXPECT_EQ(g.hostValues[0], 11);
  EXPECT_EQ(g.hostValues[1], 12);
  EXPECT_EQ(g.hostValues[2], 0x1234);

  g.InitFuns(0);
  EXPECT_EQ(g.funs, nullptr);
  EXPECT_EQ(g.hostValues[0] | g.hostValues[1] | g.hostValues[2], 0);
}

TEST(GlobalData, SetPathLibWithoutModsLstKeepsTheLists) {
  TempFolder lib;
  writeFile(lib.path() + "/mods.lst", "Meas,Measurements\n");
  CGlobalData g;
  CStr path(lib.path().c_str());
  EXPECT_EQ(g.SetPathLib(path), 0);
  CStr missing((lib.path() + "/nowhere/").c_str());
  EXPECT_EQ(g.SetPathLib(missing), -1);
  EXPECT_EQ(g.GetPathLib(), missing) << "the path changes all the same";
  EXPECT_EQ(texts(*g.modNames), std::vector<std::string>{"Meas"});
  writeFile(lib.path() + "/mods.lst", "");
  EXPECT_EQ(g.SetPathLib(path), 0);
  EXPECT_EQ(g.modNames->count, 0) << "an empty list empties both columns";
  EXPECT_EQ(g.modTexts->count, 0);
}

TEST(ModsLst, Parsing) {
  struct Case {
    std::string text;
    std::vector<std::string> names, texts;
  };
  const Case cases[] = {
      {"Meas,Measurements\nFilter,Filters", {"Meas", "Filter"}, {"Measurements", "Filters"}},
      {"Meas,Measurements\r\nFilter,Filters\r\n", {"Meas", "Filter"}, {"Measurements", "Filters"}},
      {"no comma here\nMeas,Measurements\n", {"Meas"}, {"Measurements"}},
      {"Meas,Measurements\nno comma at the end", {"Meas"}, {"Measurements"}},
      {"a,b,c\n,empty name\nname only,\n", {"a", "", "name only"}, {"b,c", "empty name", ""}},
      {"\n\n,\n", {""}, {""}},
      {"", {}, {}},
      {"Sig Gen , Signal generator \n", {"Sig Gen "}, {" Signal generator "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    CObjArr<CStr> names, values;
    ParseModsLst(c.text.data(), static_cast<long>(c.text.size()), &names, &values);
    EXPECT_EQ(texts(names), c.names);
    EXPECT_EQ(texts(values), c.texts);
  }
}

TEST(Paths, JoinAddsOneSlash) {
  EXPECT_EQ(KvJoinPath(CStr("/opt/kv"), "Lib"), "/opt/kv/Lib");
  EXPECT_EQ(KvJoinPath(CStr("/opt/kv/"), "Lib"), "/opt/kv/Lib");
  EXPECT_EQ(KvJoinPath(CStr(""), "mods.lst"), "/mods.lst");
}

// ---------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------

TEST(Settings, RoundTripMissingAndEmpty) {
  ConfigInTemp config;
  CGlobalData g;
  g.appName = "KvTest";
  EXPECT_EQ(GetSetting("Panels", "Width", "300"), "300") << "missing";
  CStr v("1234 \xC2\xB5s, \"quoted\"\r\nsecond line");
  SaveSetting("Panels", "Width", v);
  EXPECT_EQ(GetSetting("Panels", "Width", "300"), v);
  EXPECT_EQ(GetSetting("panels", "WIDTH", "300"), v) << "names ignore case";
  EXPECT_EQ(GetSetting("Other", "Width", "d"), "d");
  CStr empty;
  SaveSetting("Panels", "Width", empty);
  EXPECT_EQ(GetSetting("Panels", "Width", "300"), "300") << "an empty value gives the default";
  std::string stored;
  ASSERT_TRUE(IniRead("KvTest", "Panels", "Width", stored));
  EXPECT_EQ(stored, "");
}

TEST(Settings, WithoutApplicationNameDefaultsAndWritesNothing) {
  ConfigInTemp config;
  CGlobalData g;
  CStr v("x");
  SaveSetting("S", "K", v);
  EXPECT_EQ(GetSetting("S", "K", "def"), "def");
  EXPECT_FALSE(std::filesystem::exists(config.dir()));
}

// ---------------------------------------------------------------------------------------
// The status strip and the operation stack
// ---------------------------------------------------------------------------------------

namespace {

// A global data object with a host, its status strip in a headless parent.
class StripTest : public ::testing::Test {
 protected:
  intptr_t record[kStartEntries] = {};
  KvWnd parent = 0;
  CGlobalData g;

  void SetUp() override {
    g.funs = record;
    parent = KvCreateHeadlessParent(400, 21);
    CStatusBar2::Init(parent, 0);
  }
  void TearDown() override {
    CStatusBar2::End();
    KvDestroyHeadlessParent(parent);
    CStatusBar2::hwndPanel[0] = CStatusBar2::hwndPanel[1] = CStatusBar2::hwndPanel[2] = 0;
  }
  HeadlessWndState panel(int i) {
    HeadlessWndState s;
    EXPECT_TRUE(KvHeadlessState(CStatusBar2::hwndPanel[i], s));
    return s;
  }
};

}  // namespace

TEST_F(StripTest, PanelsAreMadeOnceWithTheirClasses) {
  EXPECT_EQ(panel(0).cls, "STATIC");
  EXPECT_EQ(panel(0).text, "Status");
  EXPECT_EQ(panel(1).cls, "msctls_progress32");
  EXPECT_EQ(panel(2).cls, "STATIC");
  EXPECT_EQ(panel(2).fontFace, "MS Sans Serif");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(panel(i).visible);
  const KvWnd first = CStatusBar2::hwndPanel[0];
  CStatusBar2::Init(parent, 0);
  EXPECT_EQ(CStatusBar2::hwndPanel[0], first);
  KvWnd all[8];
  EXPECT_EQ(KvHeadlessChildren(parent, "", all, 8), 3);
}

TEST_F(StripTest, GeometryFollowsTheParentWidth) {
  struct Case {
    int width;
    KvRect status, bar, third;
  };
  const Case cases[] = {
      {400, {0, 1, 255, 20}, {257, 1, 100, 20}, {359, 1, 40, 20}},
      {245, {0, 1, 100, 20}, {102, 1, 100, 20}, {204, 1, 40, 20}},
      {244, {0, 1, 103, 20}, {101, 1, 100, 20}, {203, 1, 40, 20}},  // d = (100 - 99) / 2 = 0
      {200, {0, 1, 81, 20}, {57, 1, 100, 20}, {159, 1, 18, 20}},
      {100, {0, 1, 31, 20}, {-43, 1, 100, 20}, {59, 1, -32, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const int paints = panel(2).paints;
    KvHeadlessResize(parent, c.width, 21);
    EXPECT_EQ(panel(0).rect, c.status);
    EXPECT_EQ(panel(1).rect, c.bar);
    EXPECT_EQ(panel(2).rect, c.third);
    EXPECT_EQ(panel(2).paints, paints + 1) << "the third panel is repainted";
  }
  CStatusBar2::End();
  KvHeadlessResize(parent, 400, 21);
  EXPECT_EQ(panel(2).rect.x, 59) << "after End the parent's resizes are no longer followed";
}

TEST_F(StripTest, NestedOperationsDriveTextAndBar) {
  EXPECT_TRUE(panel(1).visible) << "shown by Init";
  const long outer = g.StartOper("Outer", 4);
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(panel(0).text, "Outer");
  EXPECT_EQ(panel(1).rangeHigh, 100);
  EXPECT_EQ(panel(1).step, 1);
  EXPECT_EQ(panel(0).rect.width, panel(1).rect.x - 2) << "narrowed to end left of the bar";
  EXPECT_TRUE(g.nextOperation("step one", 1, outer));
  EXPECT_EQ(panel(0).text, " step one");
  EXPECT_EQ(panel(1).pos, 25);
  EXPECT_EQ(g.UpdateOper(50, outer), 0);
  EXPECT_EQ(panel(1).pos, 37) << "trunc((1 * 100 + 50) / 4)";
  EXPECT_FLOAT_EQ(g.GetProgress(), 37.5f);

  const long inner = g.StartOper("Inner", 1);
  EXPECT_EQ(inner, 2);
  EXPECT_EQ(panel(0).text, "Inner");
  EXPECT_EQ(panel(1).pos, 0) << "the innermost drives the bar";
  EXPECT_FALSE(g.update(80, inner)) << "no abort";
  EXPECT_EQ(panel(1).pos, 80);
  EXPECT_FALSE(g.update(10, outer));
  EXPECT_EQ(panel(1).pos, 80);
  EXPECT_TRUE(g.nextOperNum("third", 3, outer));
  EXPECT_EQ(panel(0).text, "Inner") << "only the innermost shows its name";
  EXPECT_FALSE(g.update(10, 3));
  EXPECT_FALSE(g.nextOperation("x", 1, 0));
  EXPECT_EQ(g.NextOper("x", 1, outer), 0);

  EXPECT_TRUE(g.CloseStatus(inner));
  EXPECT_EQ(panel(0).text, "third");
  EXPECT_EQ(panel(1).pos, 77) << "trunc((3 * 100 + 10) / 4)";
  EXPECT_TRUE(g.CloseStatus(outer));
  EXPECT_EQ(g.Depth(), 0);
  EXPECT_EQ(panel(0).text, "");
  EXPECT_FALSE(panel(1).visible);
  EXPECT_EQ(panel(0).rect.width, 400) << "widened to the parent's edge";
  EXPECT_EQ(g.GetProgress(), -1.0f);
}

TEST_F(StripTest, ClosingOutOfOrderMarksUntilTheInnerCloses) {
  const long a = g.StartOper("a", 1), b = g.StartOper("b", 1), c = g.StartOper("c", 1);
  EXPECT_TRUE(g.CloseStatus(b));
  EXPECT_EQ(g.Depth(), 3);
  EXPECT_EQ(g.Oper(b)->number, -1);
  EXPECT_FALSE(g.update(50, b)) << "a marked operation is no longer open";
  EXPECT_EQ(panel(0).text, "c");
  EXPECT_TRUE(g.CloseStatus(c));
  EXPECT_EQ(g.Depth(), 1) << "c goes, and b with it";
  EXPECT_EQ(panel(0).text, "a");
  EXPECT_TRUE(panel(1).visible);
  EXPECT_TRUE(g.CloseStatus(a));
  EXPECT_FALSE(panel(1).visible);
  EXPECT_FALSE(g.CloseStatus(1)) << "nothing open";
  EXPECT_FALSE(g.CloseStatus(0));

  const long one = g.StartOper("one", 1);
  g.StartOper("two", 1);
  EXPECT_TRUE(g.CloseStatus(one));
  EXPECT_TRUE(panel(1).visible);
  EXPECT_TRUE(g.CloseStatus(2));
  EXPECT_EQ(g.Depth(), 0);
  EXPECT_FALSE(panel(1).visible) << "closing 2 removed both and hid the bar";
}

TEST_F(StripTest, ZeroPartsDoNotDivideByZero) {
  const long op = g.StartOper("none", 0);
  g.update(40, op);
  EXPECT_EQ(panel(1).pos, 40);
  EXPECT_FLOAT_EQ(g.GetProgress(), 40.0f);
  g.EndOper(op);
}

TEST_F(StripTest, RecordArrayFailuresAreReported) {
  ReportCatcher reports;
  const long a = g.StartOper("a", 1);
  g.StartOper("b", 1);
  g.StartOper("c", 1);
  KvHeapFailAfter(1);
  EXPECT_EQ(g.StartOper("d", 1), -1);
  KvHeapFailAfter(1);
  EXPECT_FALSE(g.CloseStatus(3)) << "the array could not shrink";
  KvHeapFailAfter(0);
  EXPECT_EQ(g.Depth(), 2) << "the operation is closed all the same";
  EXPECT_EQ(g.StartOper("c again", 1), 3);
  EXPECT_EQ(reports.reports(), std::vector<std::string>(2, "KvDll/GlobalData: Insufficient memory"));
  g.CloseStatus(a);
  g.CloseStatus(2);
  g.CloseStatus(3);
  EXPECT_EQ(g.Depth(), 0);
}

TEST(GlobalDataNoHost, OperationCallsDoNothing) {
  CGlobalData g;
  EXPECT_EQ(g.StartOper("x", 1), 1);
  EXPECT_EQ(g.Depth(), 0);
  EXPECT_TRUE(g.CloseStatus(1));
  EXPECT_TRUE(g.nextOperation("x", 1, 1));
  EXPECT_FALSE(g.update(10, 1));
  g.abort = 1;
  EXPECT_TRUE(g.update(10, 1)) << "the work still sees an abort";
  EXPECT_EQ(g.UpdateOper(10, 1), 1);
  EXPECT_EQ(g.GetProgress(), -1.0f);
}
