#include "desktop/CommandLine.h"

#include <unistd.h>

#include <climits>

std::string KvAbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  std::string base = cwd;
  if (base.empty() || base.back() != '/') base += '/';
  return base + path;
}

bool ParseKelvaneArgs(const std::vector<std::string>& args, KelvaneArgs& out, std::string& error) {
  out = KelvaneArgs{};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // The value of an option that takes one: present and not empty.
    auto value = [&](const char* what, std::string& into) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = a + " takes " + what;
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--lib") {
      if (!value("a folder", out.lib)) return false;
    } else if (a == "--ctl") {
      if (!value("a folder", out.ctl)) return false;
    } else if (a == "--open") {
      if (!value("a setup file", out.open)) return false;
    } else if (a == "--exec") {
      if (!value("a script file", out.exec)) return false;
    } else if (a == "--grab") {
      if (!value("a PNG file", out.grab)) return false;
    } else if (a == "--grab-widget") {
      if (!value("a window name and a PNG file", out.grabWidgetName)) return false;
      if (!value("a window name and a PNG file", out.grabWidgetFile)) return false;
    } else if (a == "--run") {
      out.run = true;
    } else if (a == "--quit") {
      out.quit = true;
    } else {
      error = "unknown argument " + a;
      return false;
    }
  }
  for (std::string* p : {&out.lib, &out.ctl, &out.open, &out.exec, &out.grab, &out.grabWidgetFile})
    *p = KvAbsolutePath(*p);
  return true;
}
