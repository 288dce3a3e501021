// The measurement panels' control library: registers its two panels with the shell.

#include "KvCtlLib/Registry.h"
#include "ModMeas/gui/Inputs.h"
#include "ModMeas/gui/Outputs.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvMeas.Inputs", [](QWidget* parent) -> QWidget* { return new CMeasInputs(parent); });
  registry->Add("KvMeas.Outputs", [](QWidget* parent) -> QWidget* { return new CMeasOutputs(parent); });
}
