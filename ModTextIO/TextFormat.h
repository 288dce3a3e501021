#pragma once
// Writes samples as text in the layouts the reader reads: one line per sample (X and Y
// columns) or one line per axis, every number in the shortest form that reads back to the
// same double. The file is written beside its final name and renamed over it, so a failed
// write never leaves a half-written file in its place.

#include <cstddef>
#include <string>

#include "ModTextIO/TextParser.h"

struct TextSamples {
  const double* y = nullptr;
  const double* x = nullptr;  // null: X = x0 + i * dx
  size_t count = 0;
  double x0 = 0, dx = 1;
};

bool WriteTextFile(const std::string& path, const TextLayout& layout, const TextSamples& s, std::string& error);
