#pragma once
// The command line of the kelvane program.
//
//   kelvane [--lib DIR] [--ctl DIR] [--open SETUP] [--exec FILE] [--run] [--grab FILE.png]
//           [--grab-widget NAME FILE.png] [--quit]
//
// --exec FILE types each line of FILE into the command console (its tab made first) and
// prints what the console answered; without a console control it runs the lines directly.
// --grab-widget grabs a panel window by its name, caption or component, or "Schematic".
// Paths are made absolute here, before the program changes to its own folder.

#include <string>
#include <vector>

struct KelvaneArgs {
  std::string lib, ctl, open, exec, grab, grabWidgetName, grabWidgetFile;
  bool run = false, quit = false, help = false;
};

inline constexpr const char* kKelvaneUsage =
    "usage: kelvane [--lib DIR] [--ctl DIR] [--open SETUP] [--exec FILE] [--run] [--grab FILE.png] "
    "[--grab-widget NAME FILE.png] [--quit]";

// true when the arguments make sense; otherwise error says why (exit status 2).
bool ParseKelvaneArgs(const std::vector<std::string>& args, KelvaneArgs& out, std::string& error);
// path made absolute against the current folder; "" stays "".
std::string KvAbsolutePath(const std::string& path);
