// The sound-card panels' control library: registers its two panels with the shell.

#include "KvCtlLib/Registry.h"
#include "ModSound/gui/SoundPanel.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvSound.Import", [](QWidget* parent) -> QWidget* { return new CSoundPanel(parent, true); });
  registry->Add("KvSound.Export", [](QWidget* parent) -> QWidget* { return new CSoundPanel(parent, false); });
}
