#pragma once
// The engine as a headless host drives it: script lines in, answers out, acquisitions on the
// worker thread, and the engine's events delivered on the thread that made the engine (the
// user-interface thread), through the engine's event window.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "KvCore/Acq.h"
#include "KvCore/FunOrder.h"
#include "KvCore/Mod.h"
#include "KvCore/Netlist.h"
#include "KvCore/Parser.h"
#include "KvDll/GlobalData.h"

class CEngine final : public IParserHost {
 public:
  CEngine();
  ~CEngine() override;
  CEngine(const CEngine&) = delete;
  CEngine& operator=(const CEngine&) = delete;

  // Executes one script line. 0 or -1; answer is the message, or the processed line when
  // the message is empty.
  int Execute(const char* line, CStr& answer);
  // The same for a line that may hold any byte: one with a NUL is refused whole, since the
  // text after it would otherwise be dropped without a word.
  int Execute(std::string_view line, CStr& answer);
  CStr GetCmdList() const { return parser.GetCmdList(); }

  void SetAppPath(const char* folder) { appPath = folder; }
  CStr GetPathLib() const { return global.GetPathLib(); }
  // The log's parent window (the host's log viewer, or the headless runner's console) and the
  // lowest severity written to it.
  void SetLogWindow(KvWnd parent) { CLog::Init(parent, 0); }
  void SetLogLevel(long severity) { global.minSeverity.store(static_cast<int32_t>(severity)); }
  CGlobalData& Global() { return global; }
  CModList& Components() { return comps; }
  CFunOrder& RunOrder() { return order; }
  CAcq& Acq() { return *acq; }
  CCmdList& CmdList() { return parser.CmdList(); }
  // Where the engine's events are sent: a window of the engine's thread whose procedure hands
  // messages 2025 to 2030 to DispatchEvent. 0 goes back to the engine's own window.
  void SetEventWindow(KvWnd wnd) { global.eventWnd = wnd ? wnd : eventWnd; }
  static long DispatchEvent(unsigned msg, intptr_t wp, intptr_t lp);
  // A ValueChanged from another thread: kept here and raised on the engine's thread when its
  // message comes (all that are waiting, in order).
  void QueueValueChanged(const char* component, const char* name);

  // Events, raised on the engine's thread.
  std::function<void(const char*, const char*)> onValueChanged;  // (component or built-in, name)
  std::function<void(const char*, long&)> onShowGui;             // show: 0, 1, or 2 = asked
  std::function<void(long)> onBeforeAcq, onAfterAcq, onAcqAborted;
  std::function<void()> onAcqIdle;

  // IParserHost
  void ValueChanged(const char* component, const char* name) override;
  void RunSinglePass() override { acq->PassInPlace(); }
  void RequestStop() override { acq->stop(); }
  void RequestAbort() override { acq->abort(); }
  long SetPathLib(const CStr& path) override;
  // The program's folder, as the start-up record gave it, else the running program's.
  CStr AppPath() override;
  // Network changes also wait while the shell marks the engine busy (App.SetBusy): a run
  // between two of its passes, or a pass asked for elsewhere, may start the worker any moment.
  bool NetworkLocked() override { return PassesActive() || (busyMarked && busyMarked()); }
  bool PassesActive() const { return acq && acq->Active(); }
  std::function<bool()> busyMarked;
  bool LibraryAllowed(const CStr& folder) override;

  // While a setup file's lines are replayed, "load library" may name only a trusted folder:
  // the program's own library folder, one trusted here (the folder the user gave the
  // program), or one listed in the settings store under Settings, key Libraries (folders
  // separated by ":").
  void SetReplaying(bool on) { replaying = on; }
  bool Replaying() const { return replaying; }
  void TrustLibrary(const CStr& folder);

 private:
  CGlobalData global;  // first: every other part reaches it through KvGlobal()
  KvWnd eventWnd = 0;
  CModList comps;
  CFunOrder order;
  CParser parser;
  CNetlist net;
  std::unique_ptr<CAcq> acq;
  CStr appPath;
  bool replaying = false;
  std::vector<std::string> trusted;  // folders as given; compared by what they resolve to
  std::atomic<bool> closing{false};
  std::mutex queuedLock;
  std::deque<std::pair<std::string, std::string>> queued;

  void RaiseQueued();
  static long eventProc(KvWnd, unsigned msg, intptr_t wp, intptr_t lp) { return DispatchEvent(msg, wp, lp); }
};
