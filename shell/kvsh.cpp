// kvsh: runs script lines through the engine without a display.
//
//   kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [--events] [--report]
//        [--report-format text|csv|json] [--report-file F] [--open SETUP] [--save SETUP] [FILE ...]
//
// Lines come from the files in turn, or from standard input. Each line is answered as the
// engine answers it. With --records every input line gives exactly one output line:
// the result code, a TAB and the escaped answer. The engine's log goes to standard error,
// coloured by severity when that is a terminal; --log-level sets the lowest severity shown
// (-1 debug ... 6, default 2: warnings and worse). --lib sets the folder of the module
// libraries (default: the program's folder + "/Lib"); --run runs N acquisition passes on the
// engine's worker after the script and waits until they are done. --events prints every
// event of the engine to standard error. --report prints, after the script and the passes, a
// table of results for every measurement component (--report-format csv or json for programs,
// --report-file to write it to a file instead). --open reads a setup file before the script (its
// "Kelvane" section rebuilds the network); --save writes one after it. Exit status: 0, 1 when
// the setup could not be opened (or had failing lines) or saved or the report not written, 2
// for a usage error, 3 when a pass aborted or reported an error.

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvCore/Parser.h"
#include "KvDll/AtomicFile.h"
#include "KvDll/DynLib.h"
#include "KvDll/FileRead.h"
#include "KvDll/GlobalData.h"
#include "KvDll/HeadlessWnd.h"
#include "shell/Report.h"
#include "shell/Setup.h"

namespace {

struct Options {
  bool records = false;
  bool printCmdList = false;
  long logLevel = LogWarn;
  std::string lib;  // empty: the program's folder + "/Lib"
  long runPasses = 0;
  bool events = false;
  bool report = false;
  ReportFormat reportFormat = ReportFormat::text;
  std::string reportFile;  // empty: standard output
  std::string open, save;
  std::vector<std::string> files;
};

void usage(const char* reason) {
  std::fprintf(stderr, "kvsh: %s\nusage: kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [--events] [--report] [--report-format text|csv|json] [--report-file F] [--open SETUP] [--save SETUP] [FILE ...]\n", reason);
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

std::string executableFolder() { return KvProgramFolder(); }

// One line without its LF. Of a line longer than the engine takes, only as much is kept as
// the engine needs to refuse it: a line without end (standard input from /dev/zero) costs no
// more memory than that.
bool readLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buf = in.rdbuf();
  bool any = false;
  for (int c; (c = buf->sbumpc()) != std::char_traits<char>::eof();) {
    any = true;
    if (c == '\n') return true;
    if (line.size() <= static_cast<size_t>(CParser::kMaxLine)) line += static_cast<char>(c);
  }
  in.setstate(std::ios::eofbit);
  return any;
}

// Prints the engine's events with --events; marks the end of a batch of passes.
class EventPrinter final : public IAppEvents, public IWrkSpcEvents {
 public:
  bool print = false;
  KvEvent idle{true, false};

  void ValueChanged(const std::string& c, const std::string& v) override { out("ValueChanged " + c + " " + v); }
  void BeforeAcq(long id) override { out("BeforeAcq " + std::to_string(id)); }
  void AfterAcq(long id) override { out("AfterAcq " + std::to_string(id)); }
  void ShowGui(const std::string& c, long& show) override { out("ShowGui " + c + " " + std::to_string(show)); }
  bool aborted = false;

  void AcqAborted(long id) override {
    aborted = true;
    out("AcqAborted " + std::to_string(id));
    idle.Set();
  }
  void AcqIdle() override {
    out("AcqIdle");
    idle.Set();
  }
  void NameChanged() override { out("NameChanged"); }
  void BufferChanged() override { out("BufferChanged"); }

 private:
  void out(const std::string& line) {
    if (print) std::fprintf(stderr, "event %s\n", line.c_str());
  }
};

class Shell {
 public:
  explicit Shell(const Options& o) : options(o) {
    KvCreateObject("KvCore.App", app.put());
    app->get_Utils(utils.put());
    app->get_WrkSpc(wrkspc.put());
    SetupBind(app.get(), utils.get());
    printer.print = o.events;
    app->Advise(&printer, &appCookie);
    wrkspc->Advise(&printer, &wrkCookie);
    wrkspc->Init(SetupOpen, SetupSave, SetupClose);

    // The start-up record: this thread's window for the engine's events, a console log.
    const std::string folder = executableFolder();
    appName = u"Kelvane";
    appFolder = std::u16string(folder.begin(), folder.end());
    eventWnd = CreateWindow(nullptr);
    logParent = KvCreateHeadlessParent(800, 600, stderr, isatty(STDERR_FILENO) != 0);
    record[kStartMainWnd] = eventWnd;
    record[kStartAppName] = reinterpret_cast<intptr_t>(appName.c_str());
    record[kStartLogWnd] = logParent;
    record[kStartThread] = static_cast<intptr_t>(gettid());
    record[kStartAppPath] = reinterpret_cast<intptr_t>(appFolder.c_str());
    app->Init(reinterpret_cast<intptr_t>(record));
    // The lowest severity shown is the runtime's, shared by every part of the process.
    if (CGlobalData* g = KvGlobal()) g->minSeverity = static_cast<int32_t>(o.logLevel);
    if (!o.lib.empty()) utils->put_LibraryPath(o.lib);
  }

  ~Shell() {
    app->Unadvise(appCookie);
    wrkspc->Unadvise(wrkCookie);
    app->Init(0);
    SetupBind(nullptr, nullptr);
    wrkspc.reset();
    utils.reset();
    app.reset();
    KvDestroyHeadlessParent(logParent);
    DestroyWindow(eventWnd);
  }

  // false when the setup could not be read or had failing lines.
  bool Open(const std::string& file) {
    long r = -1;
    wrkspc->Open(file, &r);
    return r == 0;
  }

  bool Save(const std::string& file) {
    long r = -1;
    wrkspc->SaveAs(file, &r);
    if (r != 0) std::fprintf(stderr, "kvsh: cannot write %s\n", file.c_str());
    return r == 0;
  }

  // Runs the passes on the engine's worker, serving its events here until it is idle again.
  void RunPasses(long n) {
    if (n < 1) return;
    const Watch watch = watchPasses();
    printer.idle.Reset();
    // A new run: an abort left by the script (or by an error outside a pass) is not this
    // run's; the passes of the batch still end at an abort of their own.
    app->put_bAbort(false);
    long pending = 0;
    app->run(n, &pending);
    KvWaitable* w = &printer.idle;
    WaitPumping(&w, 1, KV_INFINITE);
    checkPasses(watch);
  }

  void Run(std::istream& in, bool interactive) {
    std::string line;
    for (;;) {
      if (interactive) beforeOutput(), std::fputs("> ", stdout), std::fflush(stdout);
      if (!readLine(in, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Answer(line);
    }
    if (interactive) std::fputs("\n", stdout);
  }

  // The results of every measurement component, with their context, in the chosen format:
  // on standard output, or whole into the report file. false when that file was not written.
  bool Report() {
    const std::vector<ReportComponent> report = ReportCollect(app.get());
    const std::string text = ReportWrite(report, options.reportFormat);
    if (options.reportFile.empty()) {
      beforeOutput();
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
      return true;
    }
    std::string error;
    if (writeWhole(options.reportFile, text, error)) return true;
    std::fprintf(stderr, "kvsh: cannot write %s: %s\n", options.reportFile.c_str(), error.c_str());
    return false;
  }

  // true when a pass aborted or logged an error.
  bool PassFailed() const { return passFailed; }

  void Finish() {
    if (!options.printCmdList) return;
    std::string list;
    app->GetCmdList(&list);
    std::string out = "cmdlist\t" + escaped(list.data(), list.size()) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
  }

 private:
  const Options& options;
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  KvPtr<IWrkSpc> wrkspc;
  EventPrinter printer;
  long appCookie = 0, wrkCookie = 0;
  std::u16string appName, appFolder;
  KvWnd eventWnd = 0, logParent = 0;
  const bool sharedOutput = sameOutput();
  intptr_t record[kStartEntries] = {};
  bool passFailed = false;

  // Standard output and standard error on one terminal, file or pipe.
  static bool sameOutput() {
    if (isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) return true;
    struct stat o {}, e {};
    return fstat(STDOUT_FILENO, &o) == 0 && fstat(STDERR_FILENO, &e) == 0 && o.st_dev == e.st_dev &&
           o.st_ino == e.st_ino;
  }

  // On one output, the log's last line is ended before an answer is printed after it, and
  // the answer is written out before the log can add to it.
  void beforeOutput() {
    if (sharedOutput) std::fflush(stdout), KvHeadlessEndLine(logParent);
  }
  void afterOutput() {
    if (sharedOutput) std::fflush(stdout);
  }

  // What the pass counter, the error count and the abort flag were before a step that may run passes.
  struct Watch {
    int32_t pass = 0, errors = 0;
  };
  static Watch watchPasses() {
    Watch w;
    if (CGlobalData* g = KvGlobal()) w.pass = g->pass.load(), w.errors = g->log.errors.load();
    return w;
  }
  void checkPasses(const Watch& before) {
    CGlobalData* g = KvGlobal();
    if (printer.aborted) passFailed = true;
    if (!g || g->pass.load() == before.pass) return;
    if (g->log.errors.load() != before.errors || g->abort.load() != 0) passFailed = true;
  }

  // The whole text into a temporary file beside the target, then renamed over it: a reader
  // of the report file never sees half of it.
  static bool writeWhole(const std::string& path, const std::string& text, std::string& error) {
    const size_t slash = path.rfind('/');
    std::string tmp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".kvsh-report-XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return error = std::strerror(errno), false;
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    bool ok = done == text.size() && fsync(fd) == 0;
    if (!ok) error = std::strerror(errno);
    // mkstemp makes the file private; a report is as readable as any file the user writes.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0 && ok) ok = false, error = std::strerror(errno);
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false, error = std::strerror(errno);
    if (!ok) ::unlink(tmp.c_str());
    return ok;
  }

  void Answer(const std::string& line) {
    std::string answer;
    long result = 0;
    const Watch watch = watchPasses();
    app->Execute(line, &answer, &result);
    checkPasses(watch);
    beforeOutput();
    if (options.records) {
      std::string out = std::to_string(result) + "\t" + escaped(answer.data(), answer.size()) + "\n";
      std::fwrite(out.data(), 1, out.size(), stdout);
    } else if (!answer.empty()) {
      std::fwrite(answer.data(), 1, answer.size(), stdout);
      std::fputc('\n', stdout);
    }
    afterOutput();
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
      std::printf("usage: kvsh [--records] [--print-cmdlist] [--log-level N] [--lib DIR] [--run N] [--events] [--report] [--report-format text|csv|json] [--report-file F] [--open SETUP] [--save SETUP] [FILE ...]\n");
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
    } else if (!endOfOptions && a == "--report") {
      options.report = true;
    } else if (!endOfOptions && a == "--report-format") {
      const std::string f = i + 1 < argc ? argv[++i] : "";
      if (f == "text") options.reportFormat = ReportFormat::text;
      else if (f == "csv") options.reportFormat = ReportFormat::csv;
      else if (f == "json") options.reportFormat = ReportFormat::json;
      else {
        usage("--report-format takes text, csv or json");
        return 2;
      }
      options.report = true;
    } else if (!endOfOptions && a == "--report-file") {
      if (i + 1 >= argc || !*argv[i + 1]) {
        usage("--report-file takes a file");
        return 2;
      }
      options.reportFile = argv[++i];
      options.report = true;
    } else if (!endOfOptions && a == "--events") {
      options.events = true;
    } else if (!endOfOptions && (a == "--open" || a == "--save")) {
      if (i + 1 >= argc || !*argv[i + 1]) {
        usage((a + " takes a setup file").c_str());
        return 2;
      }
      (a == "--open" ? options.open : options.save) = argv[++i];
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

  // Every file must be read before the first line runs: half a setup is worse than none.
  // Only regular files of bounded size: a FIFO or a device would hang or fill the memory.
  std::vector<std::istringstream> streams;
  for (const std::string& f : options.files) {
    std::string text, reason;
    if (!KvReadFile(f, kMaxSetupFile, text, reason)) {
      std::fprintf(stderr, "kvsh: cannot read %s: %s\n", f.c_str(), reason.c_str());
      return 2;
    }
    streams.emplace_back(std::move(text));
  }

  int status = 0;
  {
    Shell shell(options);
    if (!options.open.empty() && !shell.Open(options.open)) status = 1;
    if (streams.empty()) {
      shell.Run(std::cin, !options.records && isatty(STDIN_FILENO));
    } else {
      for (std::istringstream& s : streams) shell.Run(s, false);
    }
    shell.RunPasses(options.runPasses);
    if (options.report && !shell.Report()) status = 1;
    if (!options.save.empty() && !shell.Save(options.save)) status = 1;
    shell.Finish();
    // A failed pass outranks the rest: a script must be able to tell that its numbers are not sound.
    if (shell.PassFailed()) status = 3;
  }
  std::fflush(stdout);
  return status;
}
