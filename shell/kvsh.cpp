// kvsh: runs script lines through the engine without a display.
//
//   kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [FILE ...]
//
// Lines come from the files in turn, or from standard input. Each line is answered as the
// engine answers it. With --records every input line gives exactly one output line:
// the result code, a TAB and the escaped answer. The engine's log goes to standard error,
// coloured by severity when that is a terminal; --log-level sets the lowest severity shown
// (-1 debug ... 6, default 2: warnings and worse). --lib sets the folder of the module
// libraries (default: the program's folder + "/Lib"); --run runs N acquisition passes on the
// engine's worker after the script and waits until they are done.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"

namespace {

struct Options {
  bool records = false;
  bool printCmdList = false;
  long logLevel = LogWarn;
  std::string lib;  // empty: the program's folder + "/Lib"
  long runPasses = 0;
  std::vector<std::string> files;
};

void usage(const char* reason) {
  std::fprintf(stderr, "kvsh: %s\nusage: kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [FILE ...]\n", reason);
}

// Backslash, CR, LF and TAB written so that one record stays on one line.
std::string escaped(const char* text, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    switch (text[i]) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += text[i];
    }
  }
  return out;
}

std::string executableFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  char* slash = std::strrchr(path, '/');
  if (slash) *slash = '\0';
  return path;
}

class Shell {
 public:
  Shell(const Options& o, KvWnd logParent) : options(o) {
    engine.SetAppPath(executableFolder().c_str());
    engine.SetLogLevel(o.logLevel);
    engine.SetLogWindow(logParent);
    engine.SetPathLib(CStr(o.lib.empty() ? (executableFolder() + "/Lib").c_str() : o.lib.c_str()));
    engine.onAcqIdle = [this] { idle.Set(); };
  }

  // Runs the passes on the engine's worker, serving its events here until it is idle again.
  void RunPasses(long n) {
    if (n < 1) return;
    idle.Reset();
    engine.Acq().run(n);
    KvWaitable* w = &idle;
    WaitPumping(&w, 1, KV_INFINITE);
  }

  void Run(std::istream& in, bool interactive) {
    std::string line;
    for (;;) {
      if (interactive) std::fputs("> ", stdout), std::fflush(stdout);
      if (!std::getline(in, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Answer(line);
    }
    if (interactive) std::fputs("\n", stdout);
  }

  void Finish() {
    if (!options.printCmdList) return;
    const CStr list = engine.GetCmdList();
    std::string out = "cmdlist\t" + escaped(list.GetBfr(), static_cast<size_t>(list.GetLength())) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
  }

 private:
  const Options& options;
  CEngine engine;
  KvEvent idle{true, false};

  void Answer(const std::string& line) {
    CStr answer;
    const int result = engine.Execute(line.c_str(), answer);
    const size_t n = static_cast<size_t>(answer.GetLength());
    if (options.records) {
      std::string out = std::to_string(result) + "\t" + escaped(answer.GetBfr(), n) + "\n";
      std::fwrite(out.data(), 1, out.size(), stdout);
    } else if (n > 0) {
      std::fwrite(answer.GetBfr(), 1, n, stdout);
      std::fputc('\n', stdout);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!endOfOptions && a == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && a == "--records") {
      options.records = true;
    } else if (!endOfOptions && a == "--print-cmdlist") {
      options.printCmdList = true;
    } else if (!endOfOptions && (a == "--help" || a == "-h")) {
      std::printf("usage: kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [FILE ...]\n");
      return 0;
    } else if (!endOfOptions && a == "--log-level") {
      char* end = nullptr;
      const char* v = i + 1 < argc ? argv[++i] : "";
      const long level = std::strtol(v, &end, 10);
      if (!*v || *end || level < LogDebug || level > LogSysErr) {
        usage("--log-level takes a severity from -1 to 6");
        return 2;
      }
      options.logLevel = level;
    } else if (!endOfOptions && a == "--lib") {
      if (i + 1 >= argc || !*argv[i + 1]) {
        usage("--lib takes a folder");
        return 2;
      }
      options.lib = argv[++i];
    } else if (!endOfOptions && a == "--run") {
      char* end = nullptr;
      const char* v = i + 1 < argc ? argv[++i] : "";
      const long n = std::strtol(v, &end, 10);
      if (!*v || *end || n < 1) {
        usage("--run takes a number of passes, 1 or more");
        return 2;
      }
      options.runPasses = n;
    } else if (!endOfOptions && a.size() > 1 && a[0] == '-') {
      usage(("unknown option " + a).c_str());
      return 2;
    } else {
      options.files.push_back(a);
    }
  }

  // Every file must be readable before the first line runs: half a setup is worse than none.
  std::vector<std::ifstream> streams;
  for (const std::string& f : options.files) {
    struct stat st {};
    if (stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "kvsh: cannot read %s: %s\n", f.c_str(), std::strerror(EISDIR));
      return 2;
    }
    streams.emplace_back(f, std::ios::binary);
    if (!streams.back()) {
      std::fprintf(stderr, "kvsh: cannot read %s: %s\n", f.c_str(), std::strerror(errno));
      return 2;
    }
  }

  const KvWnd console = KvCreateHeadlessParent(800, 600, stderr, isatty(STDERR_FILENO) != 0);
  {
    Shell shell(options, console);
    if (streams.empty()) {
      shell.Run(std::cin, !options.records && isatty(STDIN_FILENO));
    } else {
      for (std::ifstream& s : streams) shell.Run(s, false);
    }
    shell.RunPasses(options.runPasses);
    shell.Finish();
  }
  KvDestroyHeadlessParent(console);
  std::fflush(stdout);
  return 0;
}
