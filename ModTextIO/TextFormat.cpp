#include "ModTextIO/TextFormat.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "KvDll/AtomicFile.h"

namespace {

class Out {
 public:
  explicit Out(CAtomicFile& file) : file(file) { buf.reserve(kSize + 64); }
  void number(double v) {
    char t[32];
    const auto r = std::to_chars(t, t + sizeof t, v);
    buf.insert(buf.end(), t, r.ptr);
    flushIfFull();
  }
  void put(char c) {
    buf.push_back(c);
    flushIfFull();
  }
  void finish() { flush(); }

 private:
  static constexpr size_t kSize = size_t{1} << 20;
  CAtomicFile& file;
  std::vector<char> buf;
  void flushIfFull() {
    if (buf.size() >= kSize) flush();
  }
  // A failed write is kept by the file and reported when it is committed.
  void flush() {
    file.Write(buf.data(), buf.size());
    buf.clear();
  }
};

}  // namespace

bool WriteTextFile(const std::string& path, const TextLayout& layout, const TextSamples& s, std::string& error) {
  error.clear();
  if (path.empty()) return error = "No file name", false;
  CAtomicFile file;
  if (!file.Open(path, error)) return false;
  Out out(file);
  const char sep = layout.sep;
  auto xAt = [&](size_t i) { return s.x ? s.x[i] : s.x0 + static_cast<double>(i) * s.dx; };
  if (layout.byRow) {
    if (layout.xaxis) {
      for (size_t i = 0; i < s.count; ++i) {
        if (i) out.put(sep);
        out.number(xAt(i));
      }
      out.put('\n');
    }
    for (size_t i = 0; i < s.count; ++i) {
      if (i) out.put(sep);
      out.number(s.y[i]);
    }
    out.put('\n');
  } else {
    for (size_t i = 0; i < s.count; ++i) {
      if (layout.xaxis) {
        out.number(xAt(i));
        out.put(sep);
      }
      out.number(s.y[i]);
      out.put('\n');
    }
  }
  out.finish();
  return file.Commit(error);
}
