#include "KvSch/SchScript.h"

#include <vector>

#include "KvDll/objarr.h"

namespace {
// The engine answers a query of an empty value with the query line itself (what it answers
// for any line with nothing to say); that is no value.
void DropEcho(const std::string& line, CStr& answer) {
  if (std::string(answer.GetBfr()) == line) answer = "";
}
}  // namespace

bool CSchScript::LoadMod(const CSchMod& comp, CStr& symbol) {
  const std::string name = comp.CompName().GetBfr();
  if (!Send("load " + name + "=" + comp.FuncName().GetBfr(), nullptr)) return false;
  if (Send(name + ".symbol", &symbol)) {
    DropEcho(name + ".symbol", symbol);
    return true;
  }
  Send("unload " + name, nullptr);  // a component without a symbol cannot be drawn
  return false;
}

bool CSchScript::UnloadMod(const CSchMod& comp) { return Send(std::string("unload ") + comp.CompName().GetBfr(), nullptr); }

bool CSchScript::Link(const CSchPin& in, const CSchPin& out) {
  const std::string line = std::string("link ") + in.LinkName().GetBfr() + "=" + out.LinkName().GetBfr();
  CStr answer;
  if (Send(line, &answer)) return true;
  refusedLink_ = line;
  refusedAnswer_ = answer.GetBfr();
  return false;
}

void CSchScript::ReportLinkRefusal() {
  if (refusedLink_.empty()) return;
  Warn("Error: cmd=" + refusedLink_ + ", resp=" + refusedAnswer_);
  refusedLink_.clear();  // told once
}

bool CSchScript::Unlink(const CSchPin& pin) { return Send(std::string("unlink ") + pin.LinkName().GetBfr(), nullptr); }

void CSchScript::OpenPanels(const CSchMod& comp) {
  const std::string name = comp.CompName().GetBfr();
  CStr answer;
  if (!Send(name + ".gui.names", &answer)) return;
  DropEcho(name + ".gui.names", answer);
  CObjArr<CStr> list;
  answer.split(&list, ',');
  std::vector<std::string> panels;
  for (int i = 0; i < list.count; ++i) {
    CStr& g = *list.items[i];
    g.trim();
    if (!g.IsEmpty()) panels.emplace_back(g.GetBfr());
  }
  if (panels.empty()) {
    Message("Mod doesn't have any GUIs");
    return;
  }
  for (size_t i = 0; i < panels.size(); ++i) {
    const std::string& g = panels[i];
    if (!Send(name + "." + g + ".wnd=\"" + name + "_" + std::to_string(i) + "\"", nullptr)) return;
    if (!Send("show(" + name + "." + g + ")", nullptr)) return;
  }
}
