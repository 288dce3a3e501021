#include "shell/Setup.h"

#include "shell/SetupFile.h"

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

// Saving: the network and the settings listing as the engine's section (no schematic, no
// panels here), replacing the old file whole or not at all.
long SetupSave(intptr_t fileName, intptr_t) {
  const char* name = reinterpret_cast<const char*>(fileName);
  if (!name || !*name) return -1;
  std::string error;
  if (!SetupWrite(name, SetupFileText(g_app, {}, ""), error)) {
    g_utils->AddLog(error, sevSysErr);
    return -1;
  }
  return 0;
}

long SetupClose(intptr_t, intptr_t) { return 0; }
