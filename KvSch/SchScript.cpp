#include "KvSch/SchScript.h"

bool CSchScript::LoadMod(const CSchMod& comp, CStr& symbol) {
  const std::string name = comp.CompName().GetBfr();
  if (!Send("load " + name + "=" + comp.FuncName().GetBfr(), nullptr)) return false;
  if (Send(name + ".symbol", &symbol)) return true;
  Send("unload " + name, nullptr);  // a component without a symbol cannot be drawn
  return false;
}

bool CSchScript::UnloadMod(const CSchMod& comp) { return Send(std::string("unload ") + comp.CompName().GetBfr(), nullptr); }

bool CSchScript::Link(const CSchPin& in, const CSchPin& out) {
  return Send(std::string("link ") + in.LinkName().GetBfr() + "=" + out.LinkName().GetBfr(), nullptr);
}

bool CSchScript::Unlink(const CSchPin& pin) { return Send(std::string("unlink ") + pin.LinkName().GetBfr(), nullptr); }
