#pragma once
// Every handler of the shell runs guarded: a fault inside it is reported through the engine's
// error report with the handler's fixed six-digit location and "MainApp", and the window
// stays usable. Nothing escapes into the Qt loop.

#include <exception>

#include "KvCore/KvApi.h"

// true when fn returned normally.
template <class Fn>
bool KvGuarded(IUtils* utils, long location, Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    if (utils) utils->ErrMsg(location, 0, 0, e.what(), "MainApp");
  } catch (...) {
    if (utils) utils->ErrMsg(location, 0, 0, "unknown error", "MainApp");
  }
  return false;
}
