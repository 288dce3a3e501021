// The filter's control library: registers its panel with the shell.

#include "KvCtlLib/Registry.h"
#include "ModFilter/gui/FilterPanel.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvFilter.Filter", [](QWidget* parent) -> QWidget* { return new CFilterPanel(parent); });
}
