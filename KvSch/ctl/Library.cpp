// The schematic editor's control library: registers the editor control with the shell.

#include "KvCtlLib/Registry.h"
#include "KvSch/ctl/SchCtrl.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KVSCH.KvSchCtrl.1", [](QWidget* parent) -> QWidget* { return new CKvSchCtrl(parent); });
}
