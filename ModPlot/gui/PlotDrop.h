#pragma once
// What a text dropped on the plot display asks for. Two kinds of text arrive:
//
//   settings     "HorOff=1m;HorSpan1=20u;" items, each ended by ";" (text after the last
//                ";" is ignored); an item that does not split at "=" into exactly two parts
//                ends the list; "HorOff" sets "main.hoffset", "HorSpan1" "main.hscale" (the
//                names ignoring case), other names are skipped.
//   measurements "SRC:MEAS;COMP:m1;TYPE:1 3 " from the measurement list: the component and
//                the 1-based positions of the measurements dragged.
//
// Pure functions of the text: no engine, no Qt. Any bytes are safe input.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace KvPlotDrop {

// One setting a settings text asks for; the value is the text after "=", trimmed, for the
// caller to convert (Utils.Str2Num).
struct Assignment {
  std::string key;
  std::string value;
  bool operator==(const Assignment&) const = default;
};

std::vector<Assignment> ParseSettings(std::string_view text);

struct Measurements {
  std::string comp;
  // Every whole number of the TYPE list, in order, as given; a token that is not a plain
  // number from 1 to 1000000 is left out, so no position can be 0, negative or absurd.
  std::vector<int32_t> positions;
};

// The measurement list of a text that starts with "SRC:MEAS;" (ignoring case); nullopt for
// any other text.
std::optional<Measurements> ParseMeasurements(std::string_view text);

}  // namespace KvPlotDrop
