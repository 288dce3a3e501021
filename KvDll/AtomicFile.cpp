#include "KvDll/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The folder part of a path ("." for a bare name), without a trailing slash.
std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string fileOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links to the file they finally name (which need not exist yet).
// false with errno set when a link cannot be read or the chain does not end.
bool resolveLinks(std::string& path, struct stat& st, bool& exists) {
  for (int hops = 0; hops <= 40; ++hops) {
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      exists = false;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      return true;
    }
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= link.size()) {  // grew while we looked: try again
      --hops;
      continue;
    }
    link.resize(static_cast<size_t>(n));
    path = (!link.empty() && link[0] == '/') ? link : folderOf(path) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

std::string randomTag() {
  unsigned char bytes[8] = {};
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
    else if (errno != EINTR) break;
  }
  if (got < sizeof bytes) {  // no kernel randomness: O_EXCL still keeps the create safe
    unsigned long long x = static_cast<unsigned long long>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                           reinterpret_cast<uintptr_t>(&got);
    std::memcpy(bytes, &x, sizeof bytes);
  }
  char text[17];
  for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

CAtomicFile::~CAtomicFile() { Discard(); }

bool CAtomicFile::fail(std::string& error, const char* reason) {
  error = "Cannot write \"" + target_ + "\": " + reason;
  Discard();
  return false;
}

// ---------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------

bool CAtomicFile::Open(const std::string& target, std::string& error) {
  Discard();
  error.clear();
  target_ = target;
  if (target.empty()) return error = "No file name", false;

  finalPath_ = target;
  struct stat st {};
  existed_ = false;
  if (!resolveLinks(finalPath_, st, existed_)) return fail(error, std::strerror(errno));
  if (existed_) {
    if (!S_ISREG(st.st_mode)) return fail(error, "not a regular file");
    // A file nobody may write stays as it is, even for a user whom permissions do not bind.
    if ((st.st_mode & 0222) == 0) return fail(error, "the file is read-only");
    const int probe = ::open(finalPath_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0) {
      if (errno == EACCES || errno == EPERM || errno == EROFS) return fail(error, "the file is read-only");
      return fail(error, std::strerror(errno));
    }
    ::close(probe);
    mode_ = static_cast<unsigned>(st.st_mode & 07777);
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  }

  // While it is written the copy is private; an old file's mode is given at Commit, a new
  // file gets what creating it directly would give.
  const std::string folder = folderOf(finalPath_);
  const std::string base = fileOf(finalPath_).substr(0, 200);
  for (int attempt = 0; attempt < 32; ++attempt) {
    tempPath_ = folder + "/." + base + "." + randomTag() + ".tmp";
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, existed_ ? 0600 : 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int e = errno;
    tempPath_.clear();
    return fail(error, std::strerror(e));
  }
  writeErrno_ = 0;
  return true;
}

bool CAtomicFile::Write(const void* data, size_t n) {
  if (fd_ < 0) return false;
  if (writeErrno_) return false;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      writeErrno_ = w < 0 ? errno : ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool CAtomicFile::Commit(std::string& error) {
  error.clear();
  if (fd_ < 0) return fail(error, "not open");
  if (writeErrno_) return fail(error, std::strerror(writeErrno_));
  if (::fsync(fd_) != 0) return fail(error, std::strerror(errno));
  if (existed_) {
    // The owner first: changing it clears set-id bits, which the mode then restores.
    if (::fchown(fd_, uid_, gid_) != 0 && ::fchown(fd_, static_cast<uid_t>(-1), gid_) != 0) {
      // Not allowed for this user: the new file is ours, with the old mode.
    }
    if (::fchmod(fd_, mode_) != 0) return fail(error, std::strerror(errno));
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int e = errno;
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return fail(error, std::strerror(e));
  }
  if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    const int e = errno;
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return fail(error, std::strerror(e));
  }
  tempPath_.clear();
  // Makes the rename itself durable; the new contents are complete either way.
  const int dir = ::open(folderOf(finalPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void CAtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

bool CAtomicFile::Save(const std::string& target, std::string_view text, std::string& error) {
  CAtomicFile file;
  if (!file.Open(target, error)) return false;
  file.Write(text.data(), text.size());
  return file.Commit(error);
}
