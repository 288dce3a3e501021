#pragma once
// The real shell, engine and modules with the product's control libraries (this one among
// them), off screen: a tool window is opened as a user opens it, through the main window.

#include <QtTest>
#include <string>

#include "desktop/tests/DesktopRig.h"

// The control of a tool window, opened (or selected) in the first panel window as its menu
// entry does; null when it is not there or is not a T.
template <class T>
T* OpenTool(DesktopRig& r, const std::string& tab, const std::string& progId) {
  r.main->ShowToolWindow(tab, progId);
  return dynamic_cast<T*>(r.main->ToolControl(tab));
}
