#pragma once
// The setup file as every program of Kelvane writes it, so a file saved by one opens in the
// other: the schematic's section when it has a state, an empty line, then the engine's
// section: the network (load and link lines), the settings listing and the panel placement.
// Lines end in CR LF. The file is replaced whole or not at all.

#include <string>
#include <vector>

#include "KvCore/KvApi.h"

struct SetupSchematic {
  bool present = false;                 // the editor reported a state
  std::string state;                    // its state text, opaque here
  std::vector<std::string> components;  // the components its drawing recreates
};

// The load lines (also "load library=") of components still loaded and the link lines whose
// link still stands, from the command list, less what the schematic recreates: its
// components and the links among them. Each line ends in CR LF.
std::string SetupNetwork(IApp* app, const std::vector<std::string>& schematicComponents);

// The whole file. placement is the panel block, each line ended by CR LF (may be empty).
std::string SetupFileText(IApp* app, const SetupSchematic& schematic, const std::string& placement);

// Writes text as the file name; false with error (naming the file and the reason) when the
// old file had to stay as it was.
bool SetupWrite(const std::string& name, const std::string& text, std::string& error);
