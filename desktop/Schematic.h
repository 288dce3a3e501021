#pragma once
// What the shell asks of the schematic editor control beyond the panel contract: its drawing
// as a state text for the setup file, and the components that drawing recreates. Header-only,
// so the editor's library implements it without linking the shell; the shell recognises the
// editor by this interface.

#include <string>
#include <vector>

class IKvSchematic {
 public:
  virtual ~IKvSchematic() = default;
  // 1 when *state holds the drawing's state text (the file then gets a schematic section).
  virtual long SaveState(std::string* state) = 0;
  // Replaces the drawing by the one state describes (its components are made first, so the
  // engine's settings find them); the number of errors.
  virtual long LoadState(const std::string& state) = 0;
  // Empties the drawing, unloading its components.
  virtual long ClearState() = 0;
  // The components the drawing holds, which its state recreates.
  virtual std::vector<std::string> Components() const = 0;
};
