// The workspace: reading sections, the open/close life, and the engine's section.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvCore/WrkSpc.h"
#include "KvDll/tests/TestSupport.h"

TEST(WorkspaceText, Sections) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> names, contents;
    int engine;
    std::vector<std::string> problems = {};
  };
  std::string twelve;
  for (int i = 1; i <= 12; ++i) twelve += "[s" + std::to_string(i) + "]\nline " + std::to_string(i) + "\n";
  std::vector<std::string> twelveNames, twelveContents;
  for (int i = 1; i <= 10; ++i) {
    twelveNames.push_back("s" + std::to_string(i));
    twelveContents.push_back("\nline " + std::to_string(i));
  }
  // The rest is dropped and reported: it would otherwise run as lines of the tenth section.
  twelveContents.back() = "\nline 10";
  twelveNames.push_back("Kelvane");
  twelveContents.push_back("");
  const Case cases[] = {
      {"two sections", "[Schematic]\nsch 1\n[Kelvane]\nload g = gen\n", {"Schematic", "Kelvane"},
       {"\nsch 1", "\nload g = gen\n"}, 1},
      {"engine section in capitals keeps its spelling", "[KELVANE]\nx\n", {"KELVANE"}, {"\nx\n"}, 0},
      {"no header", "load g = gen\ng.freq = 1\n", {"Kelvane"}, {"load g = gen\ng.freq = 1\n"}, 0},
      {"empty file", "", {"Kelvane"}, {""}, 0},
      {"text before the first header is a nameless section", "intro\n[Kelvane]\nx", {"", "Kelvane"}, {"intro", "\nx"}, 1},
      {"no engine section: one is added", "[Other]\nx\n", {"Other", "Kelvane"}, {"\nx\n", ""}, 1},
      {"a header without ']' has no name and keeps its text", "[broken\nx\n[Kelvane]\ny", {"", "Kelvane"},
       {"[broken\nx", "\ny"}, 1, {"section header without \"]\" on line 1: [broken"}},
      {"a ']' on a later line does not end the name", "a\n[Kelvane\nload x = y[1]\n", {"", "", "Kelvane"},
       {"a", "[Kelvane\nload x = y[1]\n", ""}, 2, {"section header without \"]\" on line 2: [Kelvane"}},
      {"the first engine section wins", "[kelvane]\na\n[Kelvane]\nb", {"kelvane", "Kelvane"}, {"\na", "\nb"}, 0},
      {"twelve headers give ten sections", twelve, twelveNames, twelveContents, 10,
       {"setup has more than 10 sections; the sections from line 21 on are ignored"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const KvWorkspaceText w = KvParseWorkspace(c.text);
    EXPECT_EQ(w.names, c.names);
    EXPECT_EQ(w.contents, c.contents);
    EXPECT_EQ(w.engine, c.engine);
    EXPECT_EQ(w.problems, c.problems);
  }
}

namespace {

std::vector<std::string> g_calls;
long onOpen(intptr_t name, intptr_t) {
  g_calls.push_back(std::string("open ") + reinterpret_cast<const char*>(name));
  return 7;
}
long onSave(intptr_t name, intptr_t) {
  g_calls.push_back(std::string("save ") + reinterpret_cast<const char*>(name));
  return 8;
}
long onClose(intptr_t, intptr_t) {
  g_calls.push_back("close");
  return 9;
}

struct Events final : IWrkSpcEvents {
  std::vector<std::string> seen;
  void NameChanged() override { seen.push_back("NameChanged"); }
  void BufferChanged() override { seen.push_back("BufferChanged"); }
};

struct WsRig {
  TempFolder dir;
  KvPtr<IApp> app;
  KvPtr<IWrkSpc> ws;
  Events events;
  long cookie = 0;
  WsRig() {
    g_calls.clear();
    KvCreateObject("KvCore.App", app.put());
    app->get_WrkSpc(ws.put());
    ws->Advise(&events, &cookie);
  }
  ~WsRig() { ws->Unadvise(cookie); }
  std::string file(const std::string& name, const std::string& text) {
    const std::string p = dir.path() + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  long count() {
    long n = 0;
    ws->GetSectionCount(&n);
    return n;
  }
  std::string sectionName(long i) {
    std::string s;
    ws->GetSectionName(i, &s);
    return s;
  }
};

}  // namespace

TEST(Workspace, OpenCloseAndCallbacks) {
  WsRig rig;
  long r = 0;
  const std::string f = rig.file("a.kvw", "[Schematic]\r\nsch\r\n[Kelvane]\r\n// engine\r\n");
  EXPECT_EQ(rig.ws->Open(f, &r), S_OK);
  EXPECT_EQ(r, -1) << "no callback registered: -1, the file is read all the same";
  EXPECT_EQ(rig.count(), 2);
  std::string buffer;
  rig.ws->get_Buffer(&buffer);
  EXPECT_EQ(buffer, "\n// engine\n") << "text mode: CR LF reads as LF";
  EXPECT_EQ(rig.events.seen, (std::vector<std::string>{"NameChanged", "BufferChanged"}));

  rig.ws->Init(onOpen, onSave, onClose);
  EXPECT_EQ(rig.ws->Open(f, &r), S_OK);
  EXPECT_EQ(r, -1) << "refused while open";
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(rig.ws->Save(&r), S_OK);
  EXPECT_EQ(r, 8);
  EXPECT_EQ(rig.ws->SaveAs(rig.dir.path() + "/b.kvw", &r), S_OK);
  std::string name;
  rig.ws->get_Name(&name);
  EXPECT_EQ(name, rig.dir.path() + "/b.kvw");
  EXPECT_EQ(rig.ws->Close(&r), S_OK);
  EXPECT_EQ(r, 9);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"save " + f, "save " + rig.dir.path() + "/b.kvw", "close"}));
  EXPECT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.sectionName(0), "Kelvane");
  rig.ws->get_Name(&name);
  EXPECT_EQ(name, "");

  EXPECT_EQ(rig.ws->Open(rig.dir.path() + "/missing.kvw", &r), S_OK);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(rig.ws->Open(f, &r), S_OK);
  EXPECT_EQ(r, 7);
  EXPECT_EQ(g_calls.back(), "open " + f);

  std::string s = "kept";
  EXPECT_EQ(rig.ws->GetSectionName(2, &s), DISP_E_BADINDEX);
  EXPECT_EQ(rig.ws->GetSection(-1, &s), DISP_E_BADINDEX);
  EXPECT_EQ(s, "kept");
  rig.ws->GetSection(0, &s);
  EXPECT_EQ(s, "\nsch");
}

TEST(Workspace, BufferPutRunsEveryLineAndCountsFailures) {
  WsRig rig;
  KvPtr<IUtils> utils;
  rig.app->get_Utils(utils.put());
  utils->put_LibraryPath(KV_TEST_LIB_DIR);
  rig.ws->put_Buffer("load g = test.src\nnot a line\r\ng.r8 = 2\nload g = test.src\n");
  long failures = -1;
  rig.app->LoadNetlist(&failures);
  EXPECT_EQ(failures, 3) << "the second run also meets the existing component";
  double d = 0;
  rig.app->get_dbl("g", "r8", &d);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(rig.events.seen.back(), "BufferChanged");
  long r = 0;
  rig.ws->Open(rig.file("c.kvw", "x"), &r);
  EXPECT_EQ(r, -1) << "text in the engine's section: close first";
}
