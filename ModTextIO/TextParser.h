#pragma once
// CTextParser: turns the text of a sample file, fed in pieces of any size, into X and Y
// values. It reads what oscilloscopes and spreadsheets export: header lines to skip, LF, CR LF
// or CR line ends, blank lines, a UTF-8 byte-order mark, quoted fields, values to skip at the
// start of each line (or row), one column (or row) per axis, and a decimal comma when the
// separator is not a comma. Errors name the file, the line and the column.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TextLayout {
  bool xaxis = false;  // an X value comes before the Y value (or an X row before the Y row)
  bool byRow = false;  // each axis is one line of values instead of one column
  char sep = ',';      // ' ' splits at every run of blanks and tabs
  long skipLines = 0;
  long skipValues = 0;  // values skipped at the start of each data line (or row)
  long ycolumn = 1;     // the Y column (or row) counted after the skipped values and X
  // When not empty, the Y column is the one with this name (any case) in the last header
  // line before the data; ycolumn is then found from it.
  std::string ycolumnName;
};

class CTextParser {
 public:
  static constexpr size_t kMaxValues = 2147483639;  // what a sample buffer can hold

  CTextParser(const TextLayout& layout, std::string source);

  // Parses the next piece; false once an error has been found (see Error()).
  bool Feed(const char* text, size_t size);
  // Ends the text: the last line needs no line end. False on an error or without data.
  bool Finish();

  const std::string& Error() const { return error; }
  std::vector<double> x, y;
  // Y samples that are not finite numbers (NaN, infinities) and the line of the first.
  size_t nonFinite = 0;
  long firstNonFiniteLine = 0;
  // The Y column in force (found from its name when one was given).
  long YColumn() const { return layout.ycolumn; }

 private:
  TextLayout layout;
  std::string source;
  std::string error;
  std::string carry;  // a line cut by the end of a piece
  long line = 0;
  bool pendingCR = false, done = false;
  int row = 0;  // rows taken so far in row layout
  // The last skipped lines that were not blank (line number, text), while a column name is sought.
  std::vector<std::pair<long, std::string>> headers;
  bool named = false;  // the named column has been found
  bool findNamedColumn();

  void takeLine(const char* b, const char* e);
  void columnLine(const char* b, const char* e);
  void rowLine(const char* b, const char* e);
  bool fail(long column, const char* what, const char* b = nullptr, const char* e = nullptr);
};

// What a read found besides the values.
struct TextReadInfo {
  size_t nonFinite = 0;  // Y samples that are NaN or infinite
  long firstNonFiniteLine = 0;
  long ycolumn = 1;  // the Y column in force
};

// Reads a whole file (a regular file only) through a parser. progress(fraction) is called now
// and then and may return false to stop (the result is then false with an empty error).
bool ReadTextFile(const std::string& path, const TextLayout& layout, std::vector<double>& x, std::vector<double>& y,
                  std::string& error, const std::function<bool(double)>& progress = {}, TextReadInfo* info = nullptr);
