#pragma once
// DetectTextLayout: guesses, from the first lines of a sample file, how the samples are laid
// out, so that an oscilloscope export reads without counting header lines by hand: the
// header lines to skip, the separator (and with it a decimal comma), an index column to skip,
// an X column, the channel columns, one row per axis, and a sample interval and time origin
// given in the header (Rigol "Start"/"Increment", Siglent and Tektronix "Sample Interval").

#include <cstddef>
#include <string>

#include "ModTextIO/TextParser.h"

struct DetectedLayout {
  TextLayout layout;
  long channels = 0;    // numeric columns (or rows) after the skipped values and X
  double interval = 0;  // from the header; 0 when it gives none
  double start = 0;     // the time of the first sample from the header (with an index column)
  bool indexColumn = false;
};

// The first bytes of the file (a piece is enough; a cut last line is not used). False when
// no block of numeric lines is found.
bool DetectTextLayout(const char* text, size_t size, bool complete, DetectedLayout& out);
