#include "KvDll/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// errno is left as err (0 for a refusal of this reader's own), for callers that tell a
// missing file from the rest.
bool refuse(const std::string& reason, std::string& out, std::string& error, int err = 0) {
  out.clear();
  error = reason;
  errno = err;
  return false;
}

}  // namespace

bool KvReadFile(const std::string& path, size_t limit, std::string& out, std::string& error) {
  out.clear();
  error.clear();
  if (path.empty()) return refuse("no file name", out, error);
  // Without O_NONBLOCK opening a FIFO would wait for a writer for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int e = errno;
    return refuse(std::strerror(e), out, error, e);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return refuse(std::strerror(e), out, error, e);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return refuse(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file", out, error);
  }
  const std::string tooLarge = "larger than " + std::to_string(limit) + " bytes";
  if (static_cast<unsigned long long>(st.st_size) > limit) {
    ::close(fd);
    return refuse(tooLarge, out, error);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // The size is a hint only: a file that grows while it is read is still held to the limit.
  out.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      return refuse(std::strerror(e), out, error, e);
    }
    if (n == 0) break;
    if (out.size() + static_cast<size_t>(n) > limit) {
      ::close(fd);
      return refuse(tooLarge, out, error);
    }
    out.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}
