#include "KvLib/Module.h"

#include <strings.h>

#include "KvDll/dbg.h"
#include "KvLib/Setting.h"

CMDERR CModule::StandardText(GETPARCMD cmd, const char* name, VPARAM& v, const Texts& t) {
  if (!name) return cmdNotServed;
  const struct {
    const char* name;
    const std::string& text;
  } texts[] = {{"settings", t.settings}, {"iports", t.iports},   {"oports", t.oports},     {"functions", t.functions},
               {"version", t.version},   {"symbol", t.symbol},   {"gui.names", t.guiNames}};
  for (const auto& e : texts)
    if (strcasecmp(name, e.name) == 0) return kvsetting::ReadOnlyText(cmd, v, e.text);
  return cmdNotServed;
}

bool CModule::isName(const char* name, const char* n) { return name && strcasecmp(name, n) == 0; }

CMDERR CModule::describeNoArguments(VPARAMS& a) {
  KV_FREE(a.params);
  a.params = nullptr;
  a.count = 0;
  a.result.vt = vtEmpty;
  return cmdDone;
}
