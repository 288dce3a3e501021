#pragma once
// CSchArchive: the saved-state text of a drawing, written or read one record (line) at a
// time. Writing: every value is followed by ","; ending a record turns its last "," into
// CR LF. Reading: a value runs to the next "," or the line's end (CR LF or a bare LF; a
// lone CR is part of the value, a NUL byte ends it); past a line's end every further value is empty until the
// reader advances, and advancing skips what is left of the line.

#include <cstddef>
#include <cstdint>
#include <string>

#include "KvDll/Str.h"
#include "KvSch/SchObj.h"

class CSchArchive {
 public:
  // A writing archive.
  CSchArchive() = default;
  // A reading archive over text[0..n) (not copied: the text must outlive the archive).
  CSchArchive(const char* text, size_t n) : storing_(false), p_(text), n_(text ? n : 0) {}

  bool IsStoring() const { return storing_; }

  // Writing
  void Put(int32_t v);
  void Put(const char* s);
  void Put(SchPoint p) {
    Put(p.x);
    Put(p.y);
  }
  void EndRecord();
  const std::string& Text() const { return out_; }

  // Reading
  CStr GetStr();
  // A value as a number (CStr::Str2Num), clamped and truncated; empty gives 0.
  int32_t GetInt();
  // A point; both coordinates within the coordinate bound.
  SchPoint GetPoint();
  // Skips the rest of the current line; false when no data is left.
  bool NextRecord();
  // True at the end of the current line (or the data).
  bool AtRecordEnd() const { return eol_ || pos_ >= n_; }
  bool AtEnd() const { return pos_ >= n_; }
  // True when the current line holds nothing but blanks.
  bool RecordBlank() const;
  size_t Tell() const { return pos_; }
  // Back to an offset Tell gave at the start of a line.
  void Seek(size_t pos) {
    pos_ = pos < n_ ? pos : n_;
    eol_ = false;
  }

 private:
  bool storing_ = true;
  std::string out_;
  const char* p_ = nullptr;
  size_t n_ = 0;
  size_t pos_ = 0;
  bool eol_ = false;
};
