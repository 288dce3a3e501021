#pragma once
// A window's placement in the settings: left, top, width and height in twips, as decimal
// text under one section. A stored placement that is not numeric, has no positive size or,
// for a top-level window, lies off every screen gives the defaults. A value read and not
// changed is written back exactly as it was read, so pixel rounding never drifts it.
//
// User-interface thread only.

#include <QRect>
#include <array>
#include <string>

#include "KvCore/KvApi.h"

class QWidget;

class CWindowPlacement {
 public:
  // defaults: left, top, width, height (twips). onScreen: the place must meet a screen.
  CWindowPlacement(std::string section, std::array<double, 4> defaults, bool onScreen);

  // Moves (frame position) and resizes w from the settings.
  void Restore(IUtils* utils, QWidget* w);
  // Writes the four values from w's geometry.
  void Save(IUtils* utils, const QWidget* w) const;
  const std::string& Section() const { return section_; }

 private:
  std::string section_;
  std::array<double, 4> defaults_;
  bool onScreen_;
  std::array<std::string, 4> read_;  // the texts the restore applied
  QRect applied_;                    // the pixels it applied them as
};
