// Reading a whole file: only regular files, only up to the limit, and never a wait.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "KvDll/FileRead.h"
#include "TestSupport.h"

TEST(FileRead, RegularFilesUpToTheLimitAndNothingElse) {
  TempFolder dir;
  const std::string d = dir.path();
  std::ofstream(d + "/small.txt", std::ios::binary) << std::string("line\r\n\0zero", 11);
  std::ofstream(d + "/empty.txt");
  std::ofstream(d + "/big.txt") << std::string(1001, 'x');
  ASSERT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);  // no writer: opening it would block
  ASSERT_EQ(symlink("small.txt", (d + "/link.txt").c_str()), 0);

  struct Row {
    std::string path;
    bool ok;
    std::string text;    // what was read
    std::string reason;  // why not
    int err;             // errno after a refusal
  };
  const Row rows[] = {
      {d + "/small.txt", true, std::string("line\r\n\0zero", 11), "", 0},
      {d + "/link.txt", true, std::string("line\r\n\0zero", 11), "", 0},
      {d + "/empty.txt", true, "", "", 0},
      {d + "/big.txt", false, "", "larger than 1000 bytes", 0},
      {d + "/fifo", false, "", "not a regular file", 0},
      {"/dev/zero", false, "", "not a regular file", 0},
      {"/dev/null", false, "", "not a regular file", 0},
      {d, false, "", "Is a directory", 0},
      {d + "/missing.txt", false, "", "No such file or directory", ENOENT},
      {"", false, "", "no file name", 0},
  };
  for (const Row& r : rows) {
    std::string out = "left over", reason;
    const bool ok = KvReadFile(r.path, 1000, out, reason);
    const int err = errno;
    EXPECT_EQ(ok, r.ok) << r.path;
    EXPECT_EQ(out, r.text) << r.path;
    EXPECT_EQ(reason, r.reason) << r.path;
    if (!r.ok) {
      EXPECT_EQ(err, r.err) << r.path;
    }
  }
  std::string out, reason;
  EXPECT_TRUE(KvReadFile(d + "/big.txt", 1001, out, reason)) << "the limit itself is allowed";
  EXPECT_EQ(out.size(), 1001u);
}
