#include "KvSch/SchArchive.h"

#include <cstring>
#include <string>

void CSchArchive::Put(int32_t v) {
  out_ += std::to_string(v);
  out_ += ',';
}

void CSchArchive::Put(const char* s) {
  if (s) out_ += s;
  out_ += ',';
}

void CSchArchive::EndRecord() {
  if (!out_.empty() && out_.back() == ',') out_.pop_back();
  out_ += "\r\n";
}

namespace {
// The length of the line end at i (2 for CR LF, 1 for LF), 0 when none starts there.
size_t LineEndAt(const char* p, size_t n, size_t i) {
  if (p[i] == '\n') return 1;
  if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') return 2;
  return 0;
}
}  // namespace

CStr CSchArchive::GetStr() {
  if (AtRecordEnd()) return CStr();
  // A value ends at a NUL byte as every other text does; the rest up to its "," is dropped.
  auto value = [this](size_t start, size_t end) {
    const void* nul = std::memchr(p_ + start, 0, end - start);
    return CStr(p_ + start, static_cast<long>((nul ? static_cast<const char*>(nul) - p_ : end) - start));
  };
  const size_t start = pos_;
  while (pos_ < n_) {
    if (p_[pos_] == ',') {
      CStr v = value(start, pos_);
      ++pos_;
      return v;
    }
    if (LineEndAt(p_, n_, pos_)) {
      eol_ = true;
      break;
    }
    ++pos_;
  }
  return value(start, pos_);
}

int32_t CSchArchive::GetInt() {
  const CStr v = GetStr();
  return v.IsEmpty() ? 0 : SchToInt(v.Str2Num());
}

SchPoint CSchArchive::GetPoint() {
  const int32_t x = GetInt();
  const int32_t y = GetInt();
  return {SchClampCoord(x), SchClampCoord(y)};
}

bool CSchArchive::NextRecord() {
  while (pos_ < n_) {
    const size_t e = LineEndAt(p_, n_, pos_);
    if (e) {
      pos_ += e;
      break;
    }
    ++pos_;
  }
  eol_ = false;
  return pos_ < n_;
}

bool CSchArchive::RecordBlank() const {
  for (size_t i = pos_; i < n_ && !LineEndAt(p_, n_, i); ++i)
    if (p_[i] != ' ' && p_[i] != '\t') return false;
  return true;
}
