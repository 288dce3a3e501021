#pragma once
// CNetlist: links between ports. An input port holds a pointer to the buffer of the output it
// is linked to, so a link carries no copy; the buffer's user count follows the links. Each
// operation records its own "link" entries in the command list, and tells the input's
// component "linked" or "unlinked" through the registry's notification. A link that would
// close a cycle is refused. The engine's thread only.

#include "KvCore/CmdList.h"
#include <vector>

#include "KvCore/EngineSide.h"
#include "KvCore/EngineThread.h"
#include "KvCore/Mod.h"

class CNetlist final : public INetlist {
 public:
  CNetlist(CModList& comps, CCmdList& cmds) : comps(comps), cmds(cmds) {}

  int Link(const PortRef& in, const PortRef& out, CStr& message) override;
  int Unlink(const PortRef& in, CStr& message) override;
  void RemoveLinks(int component) override;
  // Found from the present links, so a query right after a link already sees it.
  CStr InputSource(int component, const char* port) override;

 private:
  CModList& comps;
  CCmdList& cmds;
  CEngineThread owner;

  bool setInput(int component, const char* port, CBfr* b);
  int unlink(const PortRef& in, CStr& message, bool tellAlways);
  void tell(int component, const char* what);
  // The output port (component, name) whose buffer an input slot holds; false when none.
  bool sourceOf(CBfr* b, int& component, CStr& port);
  // Whether output oc.op depends, through port dependencies and links, on input ic.ip; the
  // links on the way are added to path in the order the data flows.
  bool dependsOn(int oc, const CStr& op, int ic, const char* ip, std::vector<std::pair<int, CStr>>& seen,
                 CStr& path);
};
