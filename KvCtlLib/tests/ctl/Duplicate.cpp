// Test equipment: a second library offering a ProgID the first already has (in another case),
// and one of its own.

#include <QLabel>

#include "KvCtlLib/Registry.h"

namespace {
QWidget* makeLabel(QWidget* parent) { return new QLabel("duplicate", parent); }
}  // namespace

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  registry->Add("kvtest.panel", makeLabel);
  registry->Add("KvTest.Second", makeLabel);
}
