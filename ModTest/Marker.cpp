// evil.bin: test equipment that leaves a mark (the file $KV_MARKER_FILE names) the moment it
// is loaded, before anyone asks it for an entry point, as a hostile library would. It offers
// no entry point: a loader that loads it at all has already run its code.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void leaveMark() {
  const char* file = std::getenv("KV_MARKER_FILE");
  if (!file) return;
  if (FILE* f = std::fopen(file, "w")) {
    std::fputs("loaded\n", f);
    std::fclose(f);
  }
}

}  // namespace
