#include "KvDll/DynLib.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

namespace {

// dlerror() text is consumed by the next dl call on the thread, so it is copied at once.
thread_local std::string tl_error;

void setError(const char* fallback) {
  const char* e = dlerror();
  tl_error = e ? e : fallback;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

void* KvLoadLibrary(const std::string& path) {
  if (path.empty()) {
    tl_error = "empty library path";
    return nullptr;
  }
  dlerror();
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h)
    tl_error.clear();
  else
    setError("cannot load library");
  return h;
}

std::string KvDynLibError() { return tl_error; }

KvModEntryFn KvModEntryOf(void* handle) {
  if (!handle) {
    tl_error = "no library";
    return nullptr;
  }
  dlerror();
  void* sym = dlsym(handle, "KvModEntry");
  if (!sym) {
    setError("no entry point KvModEntry");
    return nullptr;
  }
  tl_error.clear();
  return reinterpret_cast<KvModEntryFn>(sym);
}

bool KvFreeLibrary(void* handle) { return handle && dlclose(handle) == 0; }

std::string KvFindFileNoCase(const std::string& folder, const std::string& fileName) {
  if (fileName.empty()) return {};
  const std::string exact = join(folder, fileName);
  if (isRegularFile(exact)) return exact;
  if (fileName.find('/') != std::string::npos) return {};

  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return {};
  std::string best;
  while (const dirent* e = ::readdir(d)) {
    std::string_view name = e->d_name;
    if (!equalsNoCase(name, fileName)) continue;
    if (!best.empty() && name >= best) continue;
    if (isRegularFile(join(folder, std::string(name)))) best = name;
  }
  ::closedir(d);
  return best.empty() ? std::string{} : join(folder, best);
}

std::string KvProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string p(path, static_cast<size_t>(n));
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}
