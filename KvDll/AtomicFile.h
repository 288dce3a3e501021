#pragma once
// Replaces a file's contents whole or not at all, for every save of the program. The new
// contents go to a temporary file of an unguessable name in the target's folder, created
// exclusively and never through a link; Commit syncs it, gives it the old file's mode (and
// owner where allowed) and renames it over the target. A symbolic link as the target is
// written through to the file it names; a target that is not a regular file, or that is
// read-only, is refused. Until Commit succeeds the old file stays byte for byte as it was,
// and a write that is not committed leaves no temporary file behind.
// Any thread; one object per save.

#include <cstddef>
#include <string>
#include <string_view>

class CAtomicFile {
 public:
  CAtomicFile() = default;
  CAtomicFile(const CAtomicFile&) = delete;
  CAtomicFile& operator=(const CAtomicFile&) = delete;
  ~CAtomicFile();  // discards a write that was not committed

  // Checks the target and creates the temporary file; false with a message naming the
  // target when the save is refused or cannot start.
  bool Open(const std::string& target, std::string& error);
  // Appends bytes; a failure is kept and reported by Commit.
  bool Write(const void* data, size_t n);
  // Makes the written bytes the target's contents; false (old file untouched) otherwise.
  bool Commit(std::string& error);
  // Drops what was written; the target is untouched.
  void Discard();

  // Open, Write and Commit in one call.
  static bool Save(const std::string& target, std::string_view text, std::string& error);

 private:
  bool fail(std::string& error, const char* reason);

  std::string target_;     // as the caller named it, for messages
  std::string finalPath_;  // the file the rename replaces (a link's target resolved)
  std::string tempPath_;
  int fd_ = -1;
  int writeErrno_ = 0;
  bool existed_ = false;
  unsigned mode_ = 0;
  unsigned uid_ = 0, gid_ = 0;
};
