#include "shell/Setup.h"

#include <strings.h>

#include "KvDll/AtomicFile.h"

namespace {

// The one engine of this process, for the workspace callbacks (plain functions).
IApp* g_app = nullptr;
IUtils* g_utils = nullptr;

}  // namespace

void SetupBind(IApp* app, IUtils* utils) {
  g_app = app;
  g_utils = utils;
}

// Opening a setup: the engine has read the file; its "Kelvane" section rebuilds the network.
long SetupOpen(intptr_t, intptr_t) {
  long failures = 0;
  g_app->LoadNetlist(&failures);
  if (failures > 0) g_utils->AddLog(std::to_string(failures) + " error(s) in setup file", sevSysErr);
  return failures > 0 ? -1 : 0;
}

namespace {

// The component name of a "comp.port" text, trimmed.
std::string componentOf(const std::string& port) {
  std::string name = port.substr(0, port.find('.'));
  const size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
}

bool sameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// The network as it is now, from the command list (which keeps its history): the library
// path, the load lines of components still loaded, and the link lines whose link still exists.
std::string savedNetwork() {
  std::string list, text;
  g_app->GetCmdList(&list);
  size_t at = 0;
  while (at < list.size()) {
    size_t end = list.find("\r\n", at);
    if (end == std::string::npos) end = list.size();
    const std::string line = list.substr(at, end - at);
    at = end + 2;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    bool keep = false;
    if (line.rfind("load ", 0) == 0) {
      const std::string name = componentOf(line.substr(5, eq - 5) + ".");
      bool loaded = false;
      g_app->isLoaded(name, &loaded);
      keep = loaded || sameText(name, "library");
    } else if (line.rfind("link ", 0) == 0) {
      const std::string in = line.substr(5, eq - 5), out = line.substr(eq + 1);
      bool inLoaded = false, outLoaded = false;
      g_app->isLoaded(componentOf(in), &inLoaded);
      g_app->isLoaded(componentOf(out), &outLoaded);
      if (inLoaded && outLoaded) {
        // The input answers with the output linked to it now.
        std::string source;
        long r = -1;
        g_app->Execute(in, &source, &r);
        std::string written = out;
        written.erase(0, written.find_first_not_of(" \t"));
        written.erase(written.find_last_not_of(" \t") + 1);
        keep = r == 0 && sameText(source, written);
      }
    }
    if (keep) text += line + "\r\n";
  }
  return text;
}

}  // namespace

// Saving: the network, then the settings listing, as the one "Kelvane" section, replacing
// the old file whole or not at all.
long SetupSave(intptr_t fileName, intptr_t) {
  const char* name = reinterpret_cast<const char*>(fileName);
  if (!name || !*name) return -1;
  std::string state;
  long r = 0;
  std::string text = "[Kelvane]\r\n" + savedNetwork();
  g_app->Execute("sys.state", &state, &r);
  if (r == 0 && state != "sys.state") text += state;
  std::string error;
  if (!CAtomicFile::Save(name, text, error)) {
    g_utils->AddLog(error, sevSysErr);
    return -1;
  }
  return 0;
}

long SetupClose(intptr_t, intptr_t) { return 0; }
