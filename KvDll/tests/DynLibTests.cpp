#include "KvDll/DynLib.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string t = (fs::temp_directory_path() / "kvdynlib.XXXXXX").string();
    path_ = mkdtemp(t.data()) ? t : "";
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  void touch(const std::string& name) const { std::ofstream(path_ + "/" + name) << "x"; }

 private:
  std::string path_;
};

TEST(DynLib, FindFileTriesTheExactNameThenIgnoresCase) {
  TempFolder dir;
  ASSERT_FALSE(dir.path().empty());
  dir.touch("Meas.bin");
  dir.touch("Filter.BIN");
  dir.touch("filter.bin");
  fs::create_directory(dir.path() + "/Plot.bin");
  const std::string& d = dir.path();
  struct Case {
    std::string folder, name, expected;
  };
  const Case cases[] = {
      {d, "Meas.bin", d + "/Meas.bin"},
      {d, "meas.BIN", d + "/Meas.bin"},
      {d + "/", "MEAS.bin", d + "/Meas.bin"},
      {d, "filter.bin", d + "/filter.bin"},  // the exact name wins over another spelling
      {d, "FILTER.bin", d + "/Filter.BIN"},  // several candidates: the first in byte order
      {d, "plot.bin", ""},                   // a folder is not a module file
      {d, "Meas.bi", ""},
      {d, "", ""},
      {d + "/missing", "Meas.bin", ""},
      {dir.path().substr(0, d.rfind('/')), fs::path(d).filename().string() + "/meas.bin", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KvFindFileNoCase(c.folder, c.name), c.expected) << c.name;
}

TEST(DynLib, LoadingAMissingFileOrANonLibraryFailsWithTheReason) {
  const std::string path = "/nonexistent/kelvane/Missing.bin";
  EXPECT_EQ(KvLoadLibrary(path), nullptr);
  EXPECT_NE(KvDynLibError().find("Missing.bin"), std::string::npos) << KvDynLibError();
  EXPECT_EQ(KvLoadLibrary(""), nullptr);  // would otherwise be the program itself
  EXPECT_FALSE(KvDynLibError().empty());
  TempFolder dir;
  dir.touch("Fake.bin");
  EXPECT_EQ(KvLoadLibrary(dir.path() + "/Fake.bin"), nullptr);
  EXPECT_FALSE(KvDynLibError().empty());
}

TEST(DynLib, LibrariesWithoutTheEntryPointAnswerNull) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&KvLoadLibrary), &info), 0);
  for (std::string path : {std::string("libm.so.6"), std::string(info.dli_fname)}) {
    void* h = KvLoadLibrary(path);
    ASSERT_NE(h, nullptr) << path << ": " << KvDynLibError();
    EXPECT_TRUE(KvDynLibError().empty());
    EXPECT_EQ(KvModEntryOf(h), nullptr) << path;
    EXPECT_NE(KvDynLibError().find("KvModEntry"), std::string::npos) << KvDynLibError();
    EXPECT_TRUE(KvFreeLibrary(h));
  }
  EXPECT_EQ(KvModEntryOf(nullptr), nullptr);
  EXPECT_FALSE(KvFreeLibrary(nullptr));
}

}  // namespace
