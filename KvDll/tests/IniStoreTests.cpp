#include "KvDll/IniStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Names and values that an INI file could easily mangle.
const std::vector<std::string>& awkward() {
  static const std::vector<std::string> v = {
      "", "plain", " leading", "trailing ", "  both  ", "\t", "a\r\nb", "\r", "\n\n", "x=y", "==",
      "[section]", "]", "[", "back\\slash", "\\", "\\\\n", "ends in backslash\\", ";not a comment",
      "#nor this", "\\s", "\xC2\xB5 \xff\x01 bytes", std::string("nul\0inside", 10),
  };
  return v;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Points the store at a fresh folder and restores the environment afterwards.
class IniStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"KELVANE_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"}) {
      const char* v = getenv(n);
      saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
    }
    std::string t = (fs::temp_directory_path() / "kvini.XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    root_ = t;
    dir_ = root_ + "/config";
    setenv("KELVANE_CONFIG_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    for (auto& [n, v] : saved_) {
      if (v)
        setenv(n.c_str(), v->c_str(), 1);
      else
        unsetenv(n.c_str());
    }
    chmod(dir_.c_str(), 0700);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string file() const { return dir_ + "/settings.ini"; }
  std::vector<std::string> folderNames() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  std::string root_, dir_;
};

TEST(IniStoreText, FormatThenParseGivesBackEveryNameAndValue) {
  IniDoc doc;
  for (const std::string& s : awkward()) {
    IniSection sec{s, {}};
    sec.entries.push_back({"v", s});
    if (!s.empty()) sec.entries.push_back({s, "k"});
    doc.push_back(sec);
  }
  doc.push_back({"empty section", {}});
  const std::string text = FormatIni(doc);
  EXPECT_EQ(ParseIni(text), doc) << text;
  EXPECT_EQ(FormatIni(ParseIni(text)), text);
}

TEST(IniStoreText, MalformedLinesAreSkippedAndNothingIsFiledUnderTheWrongSection) {
  const std::string text =
      "orphan=before any section\n"
      "[Software\\\\App\\\\S]\r\n"
      "  key one  =  value one  \r\n"
      "no equals sign here\n"
      "=empty key\n"
      "; comment=1\n"
      "  # comment=2\n"
      "\n"
      "[broken\n"
      "lost=yes\n"
      "[Software\\\\App\\\\T] trailing text\n"
      "alsoLost=yes\n"
      "[software\\\\app\\\\s]\n"  // the same section again, spelt differently
      "KEY ONE=replaced\n"
      "two = 2 \\s\n"
      "three\\=3=\\ ok";  // no final line end
  const IniDoc expected = {
      {"Software\\App\\S", {{"key one", "replaced"}, {"two", "2  "}, {"three=3", " ok"}}},
  };
  EXPECT_EQ(ParseIni(text), expected);
}

TEST_F(IniStoreTest, StoredValuesReadBackUnchanged) {
  int i = 0;
  for (const std::string& s : awkward()) {
    const std::string key = "k" + std::to_string(i++);
    ASSERT_TRUE(IniWrite("Kelvane", "Values", key, s));
    if (!s.empty()) {
      ASSERT_TRUE(IniWrite("Kelvane", s, s, s));
    }
  }
  i = 0;
  for (const std::string& s : awkward()) {
    std::string v = "unset";
    EXPECT_TRUE(IniRead("Kelvane", "Values", "k" + std::to_string(i++), v));
    EXPECT_EQ(v, s);
    if (s.empty()) continue;
    v = "unset";
    EXPECT_TRUE(IniRead("Kelvane", s, s, v));
    EXPECT_EQ(v, s);
  }
}

TEST_F(IniStoreTest, MissingFileSectionOrKeyReadsNothing) {
  std::string v = "untouched";
  EXPECT_FALSE(IniRead("Kelvane", "Main", "Left", v));  // no file yet
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Left", "10"));
  EXPECT_FALSE(IniRead("Kelvane", "Main", "Top", v));
  EXPECT_FALSE(IniRead("Kelvane", "Print", "Left", v));
  EXPECT_FALSE(IniRead("KvOther", "Main", "Left", v));  // another application's section
  EXPECT_EQ(v, "untouched");
  EXPECT_FALSE(IniWrite("Kelvane", "Main", "", "x"));
}

TEST_F(IniStoreTest, WritesReplaceOneValueAndKeepTheRest) {
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Left", "10"));
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Top", "20"));
  ASSERT_TRUE(IniWrite("KvOther", "Main", "Left", "other"));
  ASSERT_TRUE(IniWrite("Kelvane", "main", "LEFT", "11"));
  std::string v;
  EXPECT_TRUE(IniRead("Kelvane", "Main", "Left", v));
  EXPECT_EQ(v, "11");
  EXPECT_TRUE(IniRead("Kelvane", "Main", "Top", v));
  EXPECT_EQ(v, "20");
  EXPECT_TRUE(IniRead("KvOther", "Main", "left", v));
  EXPECT_EQ(v, "other");
  const IniDoc doc = ParseIni(slurp(file()));  // names compare ignoring case; the first spelling stays
  ASSERT_EQ(doc.size(), 2u);
  EXPECT_EQ(doc[0].name, "Software\\Kelvane\\Main");
  EXPECT_EQ(doc[0].entries, (std::vector<IniEntry>{{"Left", "11"}, {"Top", "20"}}));
}

TEST_F(IniStoreTest, ConfigFolderFollowsTheEnvironmentInOrder) {
  struct Case {
    const char *kelvane, *xdg, *home;
    std::string expected;
  };
  const Case cases[] = {
      {"/k", "/x", "/h", "/k"},
      {"", "/x", "/h", "/x/App"},
      {nullptr, "/x/", "/h", "/x/App"},
      {nullptr, nullptr, "/h", "/h/.config/App"},
      {nullptr, "", "/h", "/h/.config/App"},
      {nullptr, "relative", "/h", "/h/.config/App"},
  };
  for (const Case& c : cases) {
    auto put = [](const char* n, const char* v) { v ? setenv(n, v, 1) : unsetenv(n); };
    put("KELVANE_CONFIG_DIR", c.kelvane);
    put("XDG_CONFIG_HOME", c.xdg);
    put("HOME", c.home);
    EXPECT_EQ(IniConfigDir("App"), c.expected) << (c.kelvane ? c.kelvane : "-") << " " << (c.xdg ? c.xdg : "-");
  }
  for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_EQ(IniConfigDir(bad), "") << bad;
  EXPECT_EQ(IniSectionKey("Kelvane", "Main"), "Software\\Kelvane\\Main");
}

TEST_F(IniStoreTest, WriteCreatesTheFolder) {
  const std::string deep = root_ + "/a/b/c";
  setenv("KELVANE_CONFIG_DIR", deep.c_str(), 1);
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Left", "1"));
  EXPECT_TRUE(fs::is_regular_file(deep + "/settings.ini"));

  unsetenv("KELVANE_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", (root_ + "/xdg").c_str(), 1);
  ASSERT_TRUE(IniWrite("KvApp", "Main", "Left", "2"));
  EXPECT_TRUE(fs::is_regular_file(root_ + "/xdg/KvApp/settings.ini"));
  EXPECT_FALSE(IniWrite("a/b", "Main", "Left", "3"));
}

TEST_F(IniStoreTest, AWriteThatCannotCompleteLeavesTheOldFile) {
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Left", "10"));
  ASSERT_TRUE(IniWrite("Kelvane", "Main", "Top", "20"));
  const std::string before = slurp(file());
  const auto namesBefore = folderNames();

  // The new file outgrows the file size limit part-way through.
  {
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ign {}, prev {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ign, &prev);
    struct rlimit small = old;
    small.rlim_cur = before.size() + 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool wrote = IniWrite("Kelvane", "Main", "Big", std::string(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &prev, nullptr);
    EXPECT_FALSE(wrote);
  }
  EXPECT_EQ(slurp(file()), before);
  EXPECT_EQ(folderNames(), namesBefore);  // no temporary file left behind

  // No temporary file can be created in a read-only folder (root may write anyway).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    EXPECT_FALSE(IniWrite("Kelvane", "Main", "Left", "99"));
    chmod(dir_.c_str(), 0700);
    EXPECT_EQ(slurp(file()), before);
  }
  std::string v;
  EXPECT_TRUE(IniRead("Kelvane", "Main", "Left", v));
  EXPECT_EQ(v, "10");
}

TEST_F(IniStoreTest, ConcurrentWritersLoseNoUpdate) {
  constexpr int kEach = 20;
  auto writeKeys = [](const std::string& prefix) {
    int failed = 0;
    for (int i = 0; i < kEach; ++i) failed += !IniWrite("Kelvane", "Race", prefix + std::to_string(i), prefix);
    return failed;
  };
  ASSERT_TRUE(IniWrite("Kelvane", "Race", "seed", "1"));  // folder and lock file exist

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeKeys("proc") == 0 ? 0 : 1);
  std::vector<std::thread> threads;
  std::atomic<int> failed{0};
  for (int t = 0; t < 2; ++t) threads.emplace_back([&, t] { failed += writeKeys("thread" + std::to_string(t) + "."); });
  for (auto& th : threads) th.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(failed.load(), 0);

  const IniDoc doc = ParseIni(slurp(file()));
  for (std::string prefix : {"proc", "thread0.", "thread1."})
    for (int i = 0; i < kEach; ++i)
      EXPECT_NE(IniFind(doc, "Software\\Kelvane\\Race", prefix + std::to_string(i)), nullptr) << prefix << i;
}

}  // namespace
