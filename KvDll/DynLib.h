#pragma once
// Module libraries: ELF shared objects opened with dlopen (RTLD_NOW | RTLD_LOCAL), whose entry
// point is the exported C symbol "KvModEntry". All calls: any thread.

#include <string>

using KvModEntryFn = int (*)(void* module, int msg, void* param);

// Null on failure, with the reason kept for KvDynLibError(). An empty path fails (it would
// otherwise name the program itself).
void* KvLoadLibrary(const std::string& path);
// The reason of the calling thread's last failed KvLoadLibrary or KvModEntryOf; empty after
// a success.
std::string KvDynLibError();
// Null for a null handle or a library without the entry point.
KvModEntryFn KvModEntryOf(void* handle);
// False for a null handle or when dlclose refuses.
bool KvFreeLibrary(void* handle);

// The path of fileName in folder: the exact name when that file exists, else the file in the
// folder whose name equals fileName ignoring ASCII case (the alphabetically first if several
// do), else empty. Directories never match; a fileName with a "/" is only tried exactly.
std::string KvFindFileNoCase(const std::string& folder, const std::string& fileName);

// The folder of the running program (what "$AppPath" stands for); "." when it cannot be told.
std::string KvProgramFolder();
