#pragma once
// Shared pieces of the runtime's tests: catching error reports, a scratch folder, and
// pointing the settings store at it.

#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "KvDll/dbg.h"

// Installs itself as the error-report entry for its lifetime; reports read "unit: message".
class ReportCatcher {
 public:
  ReportCatcher() : previous_(KvSetErrReport(collect)) { clear(); }
  ~ReportCatcher() { KvSetErrReport(previous_); }
  std::vector<std::string> reports() const {
    std::lock_guard lk(lock());
    return store();
  }
  void clear() {
    std::lock_guard lk(lock());
    store().clear();
  }

 private:
  KvErrReportFn previous_;
  static std::mutex& lock() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& store() {
    static std::vector<std::string> v;
    return v;
  }
  static void collect(long, long, long, const char* message, const char* unit) {
    std::lock_guard lk(lock());
    store().push_back(std::string(unit) + ": " + message);
  }
};

// A fresh folder under the temporary directory, removed with its contents afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string t = (std::filesystem::temp_directory_path() / "kvtest.XXXXXX").string();
    if (mkdtemp(t.data())) path_ = t;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Points the settings store at a folder of its own while it lives.
class ConfigInTemp {
 public:
  ConfigInTemp() {
    const char* v = getenv("KELVANE_CONFIG_DIR");
    if (v) saved_ = v;
    setenv("KELVANE_CONFIG_DIR", (folder_.path() + "/config").c_str(), 1);
  }
  ~ConfigInTemp() {
    if (saved_)
      setenv("KELVANE_CONFIG_DIR", saved_->c_str(), 1);
    else
      unsetenv("KELVANE_CONFIG_DIR");
  }
  std::string dir() const { return folder_.path() + "/config"; }

 private:
  TempFolder folder_;
  std::optional<std::string> saved_;
};
