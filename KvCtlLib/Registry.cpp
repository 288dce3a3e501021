#include "KvCtlLib/Registry.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

CCtlRegistry::~CCtlRegistry() {
  entries.clear();
  // The widgets a library made are gone before the registry is (the shell's windows close
  // first), so its code may go.
  for (void* lib : libraries) dlclose(lib);
}

bool CCtlRegistry::Add(const char* progId, KvControlFactory factory) {
  if (!progId || !*progId || !factory || Find(progId)) return false;
  entries.push_back(Entry{progId, factory});
  return true;
}

KvControlFactory CCtlRegistry::Find(const std::string& progId) const {
  for (const Entry& e : entries)
    if (strcasecmp(e.progId.c_str(), progId.c_str()) == 0) return e.factory;
  return nullptr;
}

QWidget* CCtlRegistry::Create(const std::string& progId, QWidget* parent) const {
  const KvControlFactory f = Find(progId);
  return f ? f(parent) : nullptr;
}

std::vector<std::string> CCtlRegistry::ProgIds() const {
  std::vector<std::string> out;
  for (const Entry& e : entries) out.push_back(e.progId);
  return out;
}

int CCtlRegistry::LoadFolder(const std::string& folder, const std::function<void(const std::string&)>& log) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      struct stat st {};
      if (stat((folder + "/" + n).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  int registered = 0;
  for (const std::string& n : names) {
    const std::string path = folder + "/" + n;
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = dlerror();
      if (log) log("Control library " + path + " cannot be opened: " + (why ? why : "unknown error"));
      continue;
    }
    auto entry = reinterpret_cast<KvRegisterControlsFn>(dlsym(lib, "KvRegisterControls"));
    if (!entry) {
      if (log) log("Control library " + path + " has no KvRegisterControls");
      dlclose(lib);
      continue;
    }
    libraries.push_back(lib);
    entry(this);
    ++registered;
  }
  return registered;
}
