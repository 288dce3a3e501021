#pragma once
// kvsh as a user runs it: a real process in a folder of its own, both output streams caught.

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

struct KvshRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs kvsh with args and the given standard input, in a folder of its own (removed after),
// and captures both output streams.
inline KvshRun kvsh(const std::string& args, const std::string& input = "") {
  char dir[] = "/tmp/kvshtestXXXXXX";
  const std::string tmp = mkdtemp(dir);
  {
    std::ofstream(tmp + "/in", std::ios::binary) << input;
  }
  const std::string cmd = "cd " + tmp + " && " + KVSH_PATH + " " + args + " <in >out 2>err";
  KvshRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  r.out = slurp(tmp + "/out");
  r.err = slurp(tmp + "/err");
  std::system(("rm -rf " + tmp).c_str());
  return r;
}

// A scratch folder for setups and targets, removed afterwards.
struct Folder {
  std::string path;
  Folder() {
    char t[] = "/tmp/kvshdirXXXXXX";
    path = mkdtemp(t);
  }
  ~Folder() { std::system(("rm -rf " + path).c_str()); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  // Writes a file in the folder; its path.
  std::string file(const std::string& name, const std::string& text) const {
    std::ofstream(path + "/" + name, std::ios::binary) << text;
    return path + "/" + name;
  }
};
