// A save replaces a regular file whole or not at all, and never harms another file: not one
// a planted link names, not a device, FIFO or folder in the target's place, not a read-only
// file. Each case checks the folder afterwards: no temporary file is left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "KvDll/AtomicFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

}  // namespace

TEST(AtomicFile, ReplacesARegularFileAndKeepsItsModeAndOwner) {
  TempFolder dir;
  const std::string target = dir.path() + "/setup.kvs";
  writeText(target, "old contents that are longer than the new ones");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  }
  std::string error;
  ASSERT_TRUE(CAtomicFile::Save(target, "new", error)) << error;
  EXPECT_EQ(readAll(target), "new");
  const struct stat st = statOf(target);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u) << "the owner is kept where allowed";
  }
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"setup.kvs"});

  // A new file: created as a direct create would make it.
  const mode_t mask = umask(022);
  ASSERT_TRUE(CAtomicFile::Save(dir.path() + "/fresh.txt", "x", error)) << error;
  umask(mask);
  EXPECT_EQ(statOf(dir.path() + "/fresh.txt").st_mode & 07777, 0644u);
}

TEST(AtomicFile, PlantedLinksAndLinkTargets) {
  TempFolder dir;
  const std::string d = dir.path();
  std::string error;

  // A link planted where a predictable temporary file would go is never followed.
  writeText(d + "/victim.txt", "victim");
  ASSERT_EQ(symlink("victim.txt", (d + "/setup.kvs.tmp").c_str()), 0);
  ASSERT_TRUE(CAtomicFile::Save(d + "/setup.kvs", "saved", error)) << error;
  EXPECT_EQ(readAll(d + "/victim.txt"), "victim");
  EXPECT_TRUE(S_ISREG(statOf(d + "/setup.kvs").st_mode));
  EXPECT_EQ(readAll(d + "/setup.kvs"), "saved");

  // A link as the target is written through: the link stays, the file it names changes.
  writeText(d + "/real.kvs", "before");
  ASSERT_EQ(chmod((d + "/real.kvs").c_str(), 0600), 0);
  ASSERT_EQ(symlink("real.kvs", (d + "/link.kvs").c_str()), 0);
  ASSERT_EQ(symlink((d + "/link.kvs").c_str(), (d + "/link2.kvs").c_str()), 0);  // a chain, absolute
  ASSERT_TRUE(CAtomicFile::Save(d + "/link2.kvs", "through", error)) << error;
  EXPECT_TRUE(S_ISLNK(statOf(d + "/link.kvs").st_mode));
  EXPECT_TRUE(S_ISLNK(statOf(d + "/link2.kvs").st_mode));
  EXPECT_EQ(readAll(d + "/real.kvs"), "through");
  EXPECT_EQ(statOf(d + "/real.kvs").st_mode & 07777, 0600u);

  // A dangling link names the file to create.
  ASSERT_EQ(symlink("later.kvs", (d + "/dangling.kvs").c_str()), 0);
  ASSERT_TRUE(CAtomicFile::Save(d + "/dangling.kvs", "made", error)) << error;
  EXPECT_EQ(readAll(d + "/later.kvs"), "made");
  EXPECT_TRUE(S_ISLNK(statOf(d + "/dangling.kvs").st_mode));

  // A loop of links is refused.
  ASSERT_EQ(symlink("loopB", (d + "/loopA").c_str()), 0);
  ASSERT_EQ(symlink("loopA", (d + "/loopB").c_str()), 0);
  EXPECT_FALSE(CAtomicFile::Save(d + "/loopA", "x", error));
  EXPECT_EQ(error.rfind("Cannot write \"" + d + "/loopA\": ", 0), 0u) << error;

  EXPECT_EQ(namesIn(d), (std::set<std::string>{"victim.txt", "setup.kvs.tmp", "setup.kvs", "real.kvs", "link.kvs",
                                               "link2.kvs", "dangling.kvs", "later.kvs", "loopA", "loopB"}));
}

TEST(AtomicFile, RefusesTargetsThatAreNotWritableRegularFiles) {
  TempFolder dir;
  const std::string d = dir.path();
  ASSERT_EQ(mkfifo((d + "/fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((d + "/folder").c_str(), 0755), 0);
  writeText(d + "/readonly.kvs", "keep me");
  ASSERT_EQ(chmod((d + "/readonly.kvs").c_str(), 0444), 0);
  ASSERT_EQ(symlink("fifo", (d + "/to-fifo").c_str()), 0);
  // A device like /dev/full, made here so that a fault harms nothing of the machine.
  const bool device = mknod((d + "/full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;

  struct Row {
    const char* name;
    const char* reason;
    mode_t type;
  };
  const Row rows[] = {
      {"fifo", "not a regular file", S_IFIFO},
      {"to-fifo", "not a regular file", S_IFLNK},
      {"folder", "not a regular file", S_IFDIR},
      {"readonly.kvs", "the file is read-only", S_IFREG},
      {"full", "not a regular file", S_IFCHR},
      {"missing/file.kvs", "No such file or directory", 0},
  };
  for (const Row& r : rows) {
    if (std::string(r.name) == "full" && !device) continue;
    const std::string target = d + "/" + r.name;
    std::string error;
    EXPECT_FALSE(CAtomicFile::Save(target, "replaced", error)) << r.name;
    EXPECT_EQ(error, "Cannot write \"" + target + "\": " + r.reason);
    if (r.type) {
      EXPECT_EQ(statOf(target).st_mode & S_IFMT, r.type) << r.name << " keeps its kind";
    }
  }
  EXPECT_EQ(readAll(d + "/readonly.kvs"), "keep me");
  std::set<std::string> expected{"fifo", "folder", "readonly.kvs", "to-fifo"};
  if (device) expected.insert("full");
  EXPECT_EQ(namesIn(d), expected);
}

TEST(AtomicFile, AFailedOrAbandonedWriteLeavesTheOldFileAndNoTemporaryFile) {
  TempFolder dir;
  const std::string target = dir.path() + "/data.csv";
  const std::string old = "1,2\n3,4\n";
  writeText(target, old);

  {  // written but never committed
    CAtomicFile file;
    std::string error;
    ASSERT_TRUE(file.Open(target, error)) << error;
    file.Write("partial", 7);
  }
  EXPECT_EQ(readAll(target), old);
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"data.csv"});

  // A write that fails (here the file size limit, as a full disk would) is reported by
  // Commit; the child reports through its exit status.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit small {100, 100};
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) _exit(3);
    std::string error;
    const bool saved = CAtomicFile::Save(target, std::string(100000, 'x'), error);
    _exit(!saved && error.rfind("Cannot write \"" + target + "\": File too large", 0) == 0 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readAll(target), old);
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"data.csv"});
}
