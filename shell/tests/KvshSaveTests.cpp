// What kvsh --save writes and where: the network as it is when saved, and a save that
// replaces its file whole or refuses with a message, never harming another file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "KvshRun.h"

namespace {

const std::string kLib = std::string(" --lib ") + KV_TEST_LIB_DIR;

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TEST(KvshSave, TheSavedNetworkIsTheNetworkAsItIs) {
  Folder dir;
  const std::string setup = dir.path + "/net.kvs";
  // g is unloaded, then a new g is loaded: its old link into p must not come back.
  const std::string script =
      "load g = test.src\nload p = test.pass\nload s = test.sink\nload x = test.src\n"
      "p.in = g.out\nlink s.a = p.out\nlink s.b = x.out\nunload g\nunload x\nload g = test.src\n"
      "load 9g = test.src\nload a b = test.src\nload kvs = test.src\n";
  const KvshRun first = kvsh("--records" + kLib + " --save " + setup, script);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("-1\tInvalid component name \"9g\""), std::string::npos) << first.out;
  const std::string text = readAll(setup);
  EXPECT_EQ(text.find("load x="), std::string::npos) << text;
  EXPECT_EQ(text.find("link p.in=g.out"), std::string::npos) << text;
  EXPECT_EQ(text.find("link s.b=x.out"), std::string::npos) << text;
  EXPECT_NE(text.find("load g=test.src\r\nload p=test.pass\r\nload s=test.sink\r\nlink s.a=p.out\r\n"),
            std::string::npos)
      << text;

  const KvshRun second = kvsh("--records" + kLib + " --open " + setup, "p.in\ns.a\ns.b\nx.out\n");
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err.find("error(s) in setup file"), std::string::npos) << second.err;
  EXPECT_EQ(second.out, "0\tp.in\n0\tp.out\n0\ts.b\n-1\tVariable not found \"x\"\n");
}

TEST(KvshSave, SavesReplaceWholeOrRefuseWithoutHarm) {
  Folder dir;
  const std::string d = dir.path;
  std::ofstream(d + "/victim.txt") << "victim";
  ASSERT_EQ(symlink("victim.txt", (d + "/setup.kvs.tmp").c_str()), 0);
  std::ofstream(d + "/kept.kvs") << "old";
  ASSERT_EQ(chmod((d + "/kept.kvs").c_str(), 0640), 0);
  ASSERT_EQ(mkfifo((d + "/fifo.kvs").c_str(), 0644), 0);
  std::ofstream(d + "/readonly.kvs") << "mine";
  ASSERT_EQ(chmod((d + "/readonly.kvs").c_str(), 0444), 0);

  struct Row {
    std::string target;
    int status;
    std::string error;  // in the log; empty when the save succeeds
  };
  const Row rows[] = {
      {d + "/setup.kvs", 0, ""},
      {d + "/kept.kvs", 0, ""},
      {d + "/fifo.kvs", 1, "Cannot write \"" + d + "/fifo.kvs\": not a regular file"},
      {d + "/readonly.kvs", 1, "Cannot write \"" + d + "/readonly.kvs\": the file is read-only"},
      {d, 1, "Cannot write \"" + d + "\": not a regular file"},
      {"/dev/full", 1, "Cannot write \"/dev/full\": not a regular file"},
  };
  for (const Row& r : rows) {
    const KvshRun run = kvsh("--records" + kLib + " --save " + r.target, "load g = test.src\n");
    EXPECT_EQ(run.status, r.status) << r.target << "\n" << run.err;
    if (r.error.empty()) {
      EXPECT_EQ(readAll(r.target).rfind("\r\n[Kelvane]\r\nload g=test.src\r\n", 0), 0u) << r.target;
    } else {
      EXPECT_NE(run.err.find(r.error), std::string::npos) << run.err;
    }
  }
  struct stat st {};
  EXPECT_EQ(readAll(d + "/victim.txt"), "victim");
  ASSERT_EQ(lstat((d + "/kept.kvs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(lstat((d + "/fifo.kvs").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(readAll(d + "/readonly.kvs"), "mine");
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}
