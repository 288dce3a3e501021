#pragma once
// CModList: the engine's ordered list of components, each an instance made by a module
// library found on the library path. Every other part of the engine reaches a component's
// settings, ports and functions through it. Indices are positions in load order.
//
// Loading, unloading, writes and function calls come from the engine's thread only; during a
// pass the acquisition thread reads the list and sends action messages through it, and a
// trigger thread calls its own instance. Every call into an instance holds that instance's
// step lock, so calls from different threads never overlap on one instance. The parser
// refuses loading and unloading while an acquisition runs.

#include <functional>

#include "KvCore/EngineSide.h"
#include "KvCore/EngineThread.h"
#include "KvLib/LocalData.h"

struct CCompRec {
  void* module = nullptr;  // the library handle
  std::atomic<int32_t> runOrder{0};  // -1 from a run-order computation on; then the index of its first step
  CLocalData* inst = nullptr;
  CStr file;     // library file name, without variant and extension
  CStr variant;  // after the first "." of the library name
  CStr name;     // as the script gave it
};

class CModList final : public IComponents {
 public:
  explicit CModList(CGlobalData& g) : g(g) {}
  CModList(const CModList&) = delete;
  CModList& operator=(const CModList&) = delete;
  // Destroys what is still loaded, without notifications.
  ~CModList() override;

  // Raised with (component name, "loaded" / "unloaded"; "linked" / "unlinked" by the netlist).
  std::function<void(const char*, const char*)> notify;
  // True while passes run or are asked for. An aborting error raised by an evaluation outside
  // a pass (a link or a value request computing an output) concerns that request only.
  std::function<bool()> passActive;

  // IComponents
  int Count() const override { return comps.count; }
  int Find(const char* name) const override;
  const char* Label(int index) const override;
  int Create(const char* name, const char* library, CStr& message) override;
  void Destroy(int index) override;
  VPARAM Describe(int index, const char* name) override;
  VPARAM Get(int index, const char* name, int32_t expectedVt) override;
  CMDERR Set(int index, const char* name, VPARAM& value) override;
  CMDERR GetText(int index, const char* name, CStr& text) override;
  CMDERR FunInfo(int index, const char* function, VPARAMS& args) override;
  CMDERR Fun(int index, const char* function, VPARAMS& args) override;

  CStr Unit(int index, const char* name);
  // The input ports the computation of an output port reads, comma-separated.
  CStr PortInputs(int index, const char* port);
  // The buffer of an output port, computed first (a link or a value request wants it
  // current); null when the component has none.
  CBfr* OutBuffer(int index, const char* port);
  // The same buffer's address without computing it: the run order and the link
  // bookkeeping only compare addresses, and a pass must not start with a computation.
  CBfr* PortBuffer(int index, const char* port);
  // The buffer-pointer slot of an input port (its identity in the release bookkeeping);
  // null when the name is not an input port.
  CBfr** InSlot(int index, const char* port);
  // A text list ("iports", "oports", ...) split at ","; empty when the read fails.
  bool List(int index, const char* name, CObjArr<CStr>& out);

  // Sends an action message, unless the component is driven by its trigger input.
  void ActMsg(int index, const char* msg);
  CCompRec* Rec(int index) const { return index >= 0 && index < comps.count ? comps.items[index] : nullptr; }
  // Unloads everything, last to first, with notifications.
  void DestroyAll();

 private:
  CGlobalData& g;
  CObjArr<CCompRec> comps;
  CEngineThread owner;

  static void release(CCompRec* r);
  CStr textRequest(int index, GETPARCMD cmd, const char* name);
  CBfr* portRequest(int index, GETPARCMD cmd, const char* port);
  void removeAt(int index);
};
