// The signal generator's control library: registers its panel with the shell.

#include "KvCtlLib/Registry.h"
#include "ModSigGen/gui/SigGenPanel.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvSigGen.SigGen", [](QWidget* parent) -> QWidget* { return new CSigGenPanel(parent); });
}
