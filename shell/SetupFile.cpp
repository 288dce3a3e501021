#include "shell/SetupFile.h"

#include <strings.h>

#include <algorithm>

#include "KvDll/AtomicFile.h"

namespace {

std::string trimmed(std::string s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The component name of a "comp.port" text, trimmed.
std::string componentOf(const std::string& port) { return trimmed(port.substr(0, port.find('.'))); }

bool sameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool loaded(IApp* app, const std::string& name) {
  bool is = false;
  app->isLoaded(name, &is);
  return is;
}

}  // namespace

std::string SetupNetwork(IApp* app, const std::vector<std::string>& drawn) {
  auto isDrawn = [&](const std::string& name) { return std::find(drawn.begin(), drawn.end(), name) != drawn.end(); };
  std::string list, text;
  app->GetCmdList(&list);
  size_t at = 0;
  while (at < list.size()) {
    size_t end = list.find("\r\n", at);
    if (end == std::string::npos) end = list.size();
    const std::string line = list.substr(at, end - at);
    at = end + 2;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    bool keep = false;
    if (line.rfind("load ", 0) == 0) {
      const std::string name = componentOf(line.substr(5, eq - 5) + ".");
      keep = sameText(name, "library") || (loaded(app, name) && !isDrawn(name));
    } else if (line.rfind("link ", 0) == 0) {
      const std::string in = line.substr(5, eq - 5), out = line.substr(eq + 1);
      const std::string inComp = componentOf(in), outComp = componentOf(out);
      if (loaded(app, inComp) && loaded(app, outComp) && !(isDrawn(inComp) && isDrawn(outComp))) {
        // The input answers with the output linked to it now; the list keeps old links too.
        std::string source;
        long r = -1;
        app->Execute(in, &source, &r);
        keep = r == 0 && sameText(source, trimmed(out));
      }
    }
    if (keep) text += line + "\r\n";
  }
  return text;
}

std::string SetupFileText(IApp* app, const SetupSchematic& schematic, const std::string& placement) {
  std::string text;
  if (schematic.present) text += "[Schematic]\r\n" + schematic.state + "\r\n";
  text += "\r\n";
  std::string state;
  long r = -1;
  app->Execute("sys.state", &state, &r);
  // An empty listing answers with the command itself.
  if (r != 0 || state == "sys.state") state.clear();
  while (!state.empty() && std::string_view(" \t\r\n").find(state.back()) != std::string_view::npos) state.pop_back();
  // A listing that starts with the engine's header gives it (in its spelling); the network
  // still goes right below the header.
  std::string header = "[Kelvane]";
  const size_t firstEnd = std::min(state.find("\r\n"), state.size());
  if (sameText(state.substr(0, firstEnd), header)) {
    header = state.substr(0, firstEnd);
    state.erase(0, std::min(firstEnd + 2, state.size()));
  }
  text += header + "\r\n" + SetupNetwork(app, schematic.components);
  if (!state.empty()) text += state + "\r\n";
  return text + placement;
}

bool SetupWrite(const std::string& name, const std::string& text, std::string& error) {
  return CAtomicFile::Save(name, text, error);
}
