// The text-file panels' control library: registers the reader's and the writer's panel.

#include "KvCtlLib/Registry.h"
#include "ModTextIO/gui/TextPanel.h"

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("KvText.Import", [](QWidget* parent) -> QWidget* { return new CTextPanel(parent, CTextPanel::Kind::import); });
  registry->Add("KvText.Export",
                [](QWidget* parent) -> QWidget* { return new CTextPanel(parent, CTextPanel::Kind::exportFile); });
}
