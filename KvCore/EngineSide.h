#pragma once
// What the script parser needs from the rest of the engine, as three small interfaces:
// the component registry, the netlist, and the engine's notifications and requests.
// The parser resolves names and composes messages; these do the work.
// All calls come from the thread that executes script lines (the user-interface thread).

#include "KvDll/Str.h"
#include "KvDll/VParam.h"

// The ordered list of loaded components, addressed by index in load order.
class IComponents {
 public:
  virtual ~IComponents() = default;
  virtual int Count() const = 0;
  // Index of the first component whose name equals name ignoring case, or -1.
  virtual int Find(const char* name) const = 0;
  virtual const char* Label(int index) const = 0;
  // Creates component name from library; 0, or -1 with the composed message
  // ("Component already exists" / "Mod not found"). Records nothing.
  virtual int Create(const char* name, const char* library, CStr& message) = 0;
  virtual void Destroy(int index) = 0;
  // {kind, vt} of a parameter name.
  virtual VPARAM Describe(int index, const char* name) = 0;
  // Reads a value; a refusal comes back with vt = vtError and the result in value.i4.
  virtual VPARAM Get(int index, const char* name, int32_t expectedVt) = 0;
  virtual CMDERR Set(int index, const char* name, VPARAM& value) = 0;
  virtual CMDERR GetText(int index, const char* name, CStr& text) = 0;
  virtual CMDERR FunInfo(int index, const char* function, VPARAMS& args) = 0;
  virtual CMDERR Fun(int index, const char* function, VPARAMS& args) = 0;
};

// A port as the script wrote it, resolved to its component.
struct PortRef {
  int component = -1;
  const char* port = "";  // parameter part, as written
  const char* text = "";  // comp.port, as written
};

// Links between ports. Each operation records its own "link" entries in the command list.
class INetlist {
 public:
  virtual ~INetlist() = default;
  // Both ports are resolved and of the right kinds. 0, or -1 with a message.
  virtual int Link(const PortRef& in, const PortRef& out, CStr& message) = 0;
  virtual int Unlink(const PortRef& in, CStr& message) = 0;
  // Removes every link into and out of a component about to be unloaded.
  virtual void RemoveLinks(int component) = 0;
  // Label of the output port linked to an input port; empty when none.
  virtual CStr InputSource(int component, const char* port) = 0;
};

// Notifications and requests that leave the parser.
class IParserHost {
 public:
  virtual ~IParserHost() = default;
  virtual void ValueChanged(const char* component, const char* name) = 0;
  virtual void RunSinglePass() = 0;  // "kvs.run(318207)": one pass in the calling thread
  virtual void RequestStop() = 0;
  virtual void RequestAbort() = 0;
  virtual long SetPathLib(const CStr& path) = 0;
  // Whether a "load library" line may point the library path at folder now: loading a
  // module runs its code, so lines replayed from a setup file may name trusted folders only.
  virtual bool LibraryAllowed(const CStr& /*folder*/) { return true; }
  virtual CStr AppPath() = 0;
  // From the moment passes are asked for until the engine is idle again (and during a pass
  // in place) the network must not change: the pass walks its components and links.
  virtual bool NetworkLocked() { return false; }
};
