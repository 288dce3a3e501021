#include "ModTextIO/TextFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

namespace {

class Out {
 public:
  explicit Out(int fd) : fd(fd) { buf.reserve(kSize + 64); }
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
  bool finish() { return flush() && ok; }
  int err = 0;

 private:
  static constexpr size_t kSize = size_t{1} << 20;
  int fd;
  std::vector<char> buf;
  bool ok = true;
  void flushIfFull() {
    if (buf.size() >= kSize) flush();
  }
  bool flush() {
    const char* p = buf.data();
    size_t n = buf.size();
    while (ok && n > 0) {
      const ssize_t w = ::write(fd, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false, err = w < 0 ? errno : ENOSPC;
        break;
      }
      p += w, n -= static_cast<size_t>(w);
    }
    buf.clear();
    return ok;
  }
};

}  // namespace

bool WriteTextFile(const std::string& path, const TextLayout& layout, const TextSamples& s, std::string& error) {
  error.clear();
  if (path.empty()) return error = "No file name", false;
  const std::string tmp = path + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "Cannot write \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  Out out(fd);
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
  bool ok = out.finish();
  int err = out.err;
  if (ok && ::fsync(fd) != 0) ok = false, err = errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    ::unlink(tmp.c_str());
    error = "Cannot write \"" + path + "\": " + std::strerror(err);
  }
  return ok;
}
