// Arbitrary script lines through Execute (over a registry with every kind of parameter, and
// over the engine without modules), and arbitrary text through the string parsers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "KvCore/Engine.h"
#include "KvDll/Wnd.h"
#include "../tests/FakeEngine.h"

namespace {

// One engine for the whole run: making one starts (and ending one joins) its acquisition
// thread, which cost more than the lines themselves. Between inputs it goes back to the state
// of a new engine: no components, no command list, no library path or aliases, no flags.
// It is never destroyed: the fuzzer ends the process with exit(), after this thread's
// message queue (thread-local) is gone, and ending the engine then would pump that queue.
CEngine& engine() {
  static CEngine& e = *new CEngine;
  return e;
}

void resetEngine(CEngine& e) {
  e.Components().DestroyAll();
  e.CmdList().Clear();
  e.RunOrder().Clear();
  CGlobalData& g = e.Global();
  g.libPath = CStr();
  g.modNames->RemoveAll();
  g.modTexts->RemoveAll();
  e.Acq().clearAbort();
  e.Acq().clearStop();
  e.SetReplaying(false);
  PumpMessages();  // whatever a line left for the engine's window
  if (e.Components().Count() != 0 || e.CmdList().Count() != 0) __builtin_trap();
}

// One rig too, put back to the state it was made in after every input; its components are
// copied again only when a line changed them.
ParserRig& rig() {
  static ParserRig r;
  return r;
}

void resetRig(ParserRig& r) {
  static const std::vector<FakeComponent> made = ParserRig().comps.list;
  if (r.comps.changes) r.comps.list = made, r.comps.changes = 0;
  r.comps.calls.clear();
  r.comps.writes.clear();
  r.comps.writtenTexts.clear();
  r.net.links.clear();
  r.net.removed.clear();
  r.host = FakeHost();
  r.parser.CmdList().Clear();
  if (r.comps.list.size() != made.size() || r.parser.CmdList().Count() != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The string parsers on the raw text.
  CStr text(input.c_str());
  (void)text.Str2Num();
  CObjArr<CStr> parts;
  text.split2(&parts, input.empty() ? ',' : input[0]);
  text.split(&parts, "=");
  CStr squeezed = text;
  squeezed.CompressSpace();
  const size_t half = input.size() / 2;
  const std::string pattern = input.substr(0, half), subject = input.substr(half);
  (void)CStr(subject.c_str()).Search(pattern.c_str());
  CStr number;
  number.Num2Str(text.Str2Num(), size ? static_cast<long>(data[0]) - 100 : 6);

  // Every line of the input through both engines; the command list text at the end.
  ParserRig& rig = ::rig();
  CEngine& engine = ::engine();
  // Half the inputs are replayed as a setup would be, with its limits on library folders.
  engine.SetReplaying(size > 0 && (data[0] & 1));
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    const std::string line = input.substr(start, end - start);
    rig.run(line.c_str());
    CStr answer;
    engine.Execute(std::string_view(line), answer);
    start = end + 1;
  }
  (void)rig.parser.GetCmdList();
  (void)engine.GetCmdList();
  // Put back within the input, so that what the input allocated is freed in it: a leak is
  // then still a leak to the fuzzer, and a run that frees everything is not checked for one.
  resetRig(rig);
  resetEngine(engine);
  return 0;
}
