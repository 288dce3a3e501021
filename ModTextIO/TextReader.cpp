#include "ModTextIO/TextReader.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "KvLib/Setting.h"
#include "ModTextIO/TextDetect.h"

CTextReader::CTextReader(const KvCreateBlock& block) : CTextFile(block, "KvText.Import") { out.SetBfrType(bfrR8); }

void CTextReader::ActMsg(const char* msg) {
  if (msg && std::strcmp(msg, "out") == 0) Read();
}

bool CTextReader::Read() {
  struct stat st {};
  const bool present = !filename.empty() && ::stat(filename.c_str(), &st) == 0;
  // A new file under the same name (exports are often written and renamed) is a new inode.
  const bool same = present && !stale && st.st_ino == fileInode && st.st_size == fileSize &&
                    st.st_mtim.tv_sec == fileTime.tv_sec && st.st_mtim.tv_nsec == fileTime.tv_nsec;
  if (!same) {
    std::string detectError;
    if (layoutAuto && present && S_ISREG(st.st_mode) && !detect(detectError)) return fail(detectError);
    TextLayout layout = Layout();
    layout.skipLines = nskiplines;
    layout.skipValues = nskipvalues;
    const long number = columnNumber(ycolumn);
    layout.ycolumn = number > 0 ? number : 1;
    if (number == 0) layout.ycolumnName = ycolumn;
    status.OperLabel("Reading");
    status.OperInit(filename.c_str());
    status.OperStart(0, 1000, 1);
    std::string error;
    info = {};
    const bool ok = ReadTextFile(filename, layout, x, y, error, [this](double f) {
      const long pos = static_cast<long>(f * 1000);
      return !(pos >= status.next && status.OperUpdate(pos) != 0) && !(pgd && pgd->abort);
    }, &info);
    status.OperEnd();
    if (!ok) return fail(error);
    stale = false;
    fileSize = present ? st.st_size : -1;
    fileInode = present ? st.st_ino : 0;
    fileTime = present ? st.st_mtim : timespec{};
  }
  warnNonFinite();
  if (horOffsetAdditive)
    delay += horOffset;
  else
    delay = horOffset;
  // The same record is published again only when the engine released it or it moved.
  return same && out.data && delay == publishedDelay ? true : publish();
}

// Never a half-read record: the output is emptied and the file read again next time.
bool CTextReader::fail(const std::string& error) {
  x.clear(), y.clear();
  fileSize = -1;
  out.FreeBfr();
  out.count = out.valid = 0;
  out.ready = 1;
  ++out.tag;
  if (!error.empty()) logErrAbort(error.c_str());
  return false;
}

// The layout settings from the file's first lines; what they read back is what was found.
bool CTextReader::detect(std::string& error) {
  std::vector<char> head(size_t{1} << 16);
  FILE* f = std::fopen(filename.c_str(), "rb");
  if (!f) return true;  // the read names the reason
  const size_t n = std::fread(head.data(), 1, head.size(), f);
  const bool complete = std::feof(f) != 0;
  std::fclose(f);
  DetectedLayout d;
  if (!DetectTextLayout(head.data(), n, complete, d)) {
    error = "\"" + filename + "\": no lines of numbers found to detect the layout from";
    return false;
  }
  nskiplines = static_cast<int32_t>(d.layout.skipLines);
  nskipvalues = static_cast<int32_t>(d.layout.skipValues);
  xaxis = d.layout.xaxis ? 1 : 0;
  dataorg = d.layout.byRow ? 1 : 0;
  sepCol = d.layout.sep == '\t' ? "Tab" : d.layout.sep == ' ' ? "Space" : std::string(1, d.layout.sep);
  if (!d.layout.xaxis && d.interval > 0) xincr = d.interval;
  origin = d.start;
  return true;
}

long CTextReader::columnNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stol(text);
}

// Once per pass: samples that are not numbers would silently thin out every measurement.
void CTextReader::warnNonFinite() {
  if (info.nonFinite == 0) return;
  logWarn(("\"" + filename + "\": " + std::to_string(info.nonFinite) + " sample(s) not finite, the first on line " +
           std::to_string(info.firstNonFiniteLine))
              .c_str());
}

// Copies the values into the output: evenly spaced X values become the interval, others the
// positions of a values-with-positions buffer.
bool CTextReader::publish() {
  const size_t n = y.size();
  const double k = xincr;
  bool even = true;
  double dx = k, x0 = 0;
  if (!x.empty()) {
    x0 = x[0];
    if (n > 1) {
      const double step = (x[n - 1] - x[0]) / static_cast<double>(n - 1);
      even = step > 0;
      // Exports round their time column; a hundredth of a sample is still the same grid.
      for (size_t i = 0; even && i < n; ++i) even = std::fabs(x[i] - (x0 + static_cast<double>(i) * step)) <= 0.01 * step;
      dx = step * k;
    }
  }
  bool ascending = true;
  if (!even)
    for (size_t i = 1; ascending && i < n; ++i) ascending = x[i] > x[i - 1];
  if (!even && !ascending) {
    out.FreeBfr();
    out.count = out.valid = 0;
    out.ready = 1;
    ++out.tag;
    fileSize = -1;
    logErrAbort(("\"" + filename + "\": X values are neither evenly spaced nor ascending").c_str());
    return false;
  }
  out.SetBfrType(even ? bfrR8 : bfrXY);
  if (!out.SetSize(static_cast<long>(n))) {
    fileSize = -1;
    logErrAbort("Insufficient memory");
    return false;
  }
  std::memcpy(out.data, y.data(), n * sizeof(double));
  if (!even) {
    double* pos = static_cast<double*>(out.data2);
    for (size_t i = 0; i < n; ++i) pos[i] = x[i] * k + delay + origin;
  }
  xstart = x0 * k + delay + origin;
  publishedDelay = delay;
  out.count = out.valid = static_cast<int32_t>(n);
  out.interval = even ? dx : (n > 1 ? (x[n - 1] - x[0]) * k / static_cast<double>(n - 1) : k);
  out.span = static_cast<double>(n) * out.interval;
  out.xstart = xstart;
  out.scale = 1.0;
  out.offset = 0.0;
  out.maxCache = out.minCache = CBfr::kNoCache;
  ++out.tag;
  out.ready = 1;
  return true;
}

CMDERR CTextReader::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  using namespace kvsetting;
  if (!name) return cmdNotServed;
  const std::string n = name;
  bool changed = false;
  CMDERR r = CommonSetting(cmd, n, v, changed);
  if (r == cmdNotServed) {
    if (n == "nskiplines") r = Whole(cmd, v, nskiplines, "Skip first Lines", 0);
    else if (n == "nskipvalues") r = Whole(cmd, v, nskipvalues, "Skip first Values", 0);
    else if (n == "ycolumn") {
      // A number from 1, or a name to find in the header line; the name is checked at the read.
      if (cmd == parWrite && (!v.value.s || !*v.value.s || (columnNumber(v.value.s) == 0 &&
                                                           std::string(v.value.s).find_first_not_of("0123456789") == std::string::npos)))
        return cmdBadValue;
      r = Text(cmd, v, ycolumn, "Y Column (number or name)");
    }
    else if (n == "xincr") r = Real(cmd, v, xincr, "Horizontal Multiplier", "", 1e-300);
    else if (n == "layout.auto") {
      r = Whole(cmd, v, layoutAuto, "Detect the layout", 0, 1);
      if (cmd == parWrite && r == cmdDone && !layoutAuto) origin = 0;
    } else if (n == "hor.offset.additive") r = Whole(cmd, v, horOffsetAdditive, "Additive", 0, 1);
    else if (n == "x.start") r = cmd == parWrite ? cmdBadValue : Real(cmd, v, xstart, "Time of the first sample", "s");
    else if (n == "x.count") {
      int32_t count = out.data ? out.count : 0;
      r = cmd == parWrite ? cmdBadValue : Whole(cmd, v, count, "Samples read");
    } else if (n == "x.interval") {
      double interval = out.interval;
      r = cmd == parWrite ? cmdBadValue : Real(cmd, v, interval, "Sample interval", "s");
    }
    else if (n == "settings")
      return ReadOnlyText(cmd, v,
                          "filename,layout.auto,xaxis.on,dataorg,sep.col,nskiplines,nskipvalues,ycolumn,xincr,hor.offset,"
                          "hor.offset.additive,gui.more");
    else if (n == "iports") return ReadOnlyText(cmd, v, "");
    else if (n == "oports") return ReadOnlyText(cmd, v, "out");
    else if (n == "functions") return ReadOnlyText(cmd, v, "");
    else if (n == "version") return ReadOnlyText(cmd, v, "1.0");
    else if (n == "symbol")
      return ReadOnlyText(cmd, v, "box,100,0,500,300;text,100,10,500,100,Text In,center,center;opin,600,200,100,,1,out;"
                                  "text,180,160,400,80,Out,right,center;");
    else if (n == "out") {
      switch (cmd) {
        case parDescribe: v.kind = kindOutPort, v.vt = vtBfr; return cmdDone;
        case parRead:
        case parEvaluate: v.value.p = &out; return cmdDone;
        case parPortDep: SetText(v, ""); return cmdDone;
        case parLabel: SetText(v, "Signal Out"); return cmdDone;
        default: return cmdWrongKind;
      }
    }
    if (cmd == parWrite && r == cmdDone) changed = true;
  }
  // Only the reading of the file depends on these; the offsets apply at each pass.
  if (changed && n != "hor.offset" && n != "hor.offset.additive" && n.rfind("gui.", 0) != 0) stale = true;
  return r;
}
