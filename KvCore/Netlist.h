#pragma once
// CNetlist: links between ports. An input port holds a pointer to the buffer of the output it
// is linked to, so a link carries no copy; the buffer's user count follows the links. Each
// operation records its own "link" entries in the command list. User-interface thread.

#include "KvCore/CmdList.h"
#include "KvCore/EngineSide.h"
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

  bool setInput(int component, const char* port, CBfr* b);
};
