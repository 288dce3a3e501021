#pragma once
// Reads a whole file into memory, but only a regular file and only up to a size limit: a
// FIFO, a device such as /dev/zero or a folder is refused at once (opening never waits for a
// writer), and so is a file larger than the limit, before any of it is read. Any thread.

#include <cstddef>
#include <string>

// Limits of the program's own text files: setup and script files.
inline constexpr size_t kMaxSetupFile = size_t{64} << 20;

// false (and out empty) when the file cannot be read whole; reason then says why ("not a
// regular file", "larger than N bytes", or the system's text), and errno tells a system error
// (ENOENT: no such file) from a refusal of this reader's own (0).
bool KvReadFile(const std::string& path, size_t limit, std::string& out, std::string& reason);
