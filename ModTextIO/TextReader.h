#pragma once
// CTextReader ("textio.reader"): each pass puts the samples of a text file into its output
// "out": the Y values as 64-bit floats with the interval taken from evenly spaced X values
// (or "xincr" when the file has no X axis); unevenly spaced X values give a buffer of values
// with X positions. The file is read again only when it or the settings changed, or when the
// engine released the record. A file that cannot be read empties the output and aborts the
// pass with an error naming the file, the line and the column.

#include <sys/types.h>

#include <ctime>
#include <vector>

#include "KvDll/JStatus.h"
#include "ModTextIO/TextFile.h"

class CTextReader final : public CTextFile {
 public:
  explicit CTextReader(const KvCreateBlock& block);

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override { return CommonFun(name, a); }
  CMDERR FunInfo(const char* name, VPARAMS& a) override { return CommonFunInfo(name, a); }

  // Brings the output up to date with the file; false after an error (reported).
  bool Read();

  int32_t nskiplines = 0, nskipvalues = 0;
  std::string ycolumn = "1";  // a column number (1 = the first after X) or a header name
  double xincr = 1;
  int32_t horOffsetAdditive = 0;
  int32_t layoutAuto = 0;  // 1: the layout settings are detected from the file at each read
  CBfr out;
  CStatus status;

 private:
  std::vector<double> x, y;  // the file's values as last read
  bool stale = true;         // settings changed since the last read
  off_t fileSize = -1;
  ino_t fileInode = 0;
  timespec fileTime{};
  double delay = 0;  // the horizontal offset in force
  double publishedDelay = 0;
  double xstart = 0;
  TextReadInfo info;  // of the last read
  double origin = 0;  // the time of the first sample that a detected header gives

  bool detect(std::string& error);
  bool fail(const std::string& error);

  // The column number of a "ycolumn" text, or 0 when it is a name.
  static long columnNumber(const std::string& text);
  void warnNonFinite();

  bool publish();
};
