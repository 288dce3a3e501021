// Writes the installed-function list mods.lst: one "alias,library" line per function a user can
// load, which the add-component dialog offers. The measurement kinds come from the module's own
// table, so the list never drifts from what Meas.bin makes; the other modules' functions are
// given on the command line, one line each.
//
//   ModsList <output file> [line...]

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>

#include "ModMeas/Main.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ModsList <output file> [alias,library...]\n");
    return 2;
  }
  // Written beside and renamed over, so an interrupted build never leaves half a list.
  const std::string path = argv[1], part = path + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    for (const char* group : {"All", "Ck", "Dt", "ChCh"}) out << "Meas." << group << ",meas." << lower(group) << "\n";
    for (const MeasRow& row : kMeasTable) out << "Meas." << row.name << ",meas." << lower(row.name) << "\n";
    for (int i = 2; i < argc; ++i) out << argv[i] << "\n";
    if (!out.flush()) {
      std::fprintf(stderr, "ModsList: cannot write %s\n", part.c_str());
      return 1;
    }
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    std::perror(("ModsList: " + path).c_str());
    return 1;
  }
  return 0;
}
