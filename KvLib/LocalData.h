#pragma once
// CLocalData: the base of every component instance, compiled into the engine and into every
// module library. A module derives its instances from it and serves their settings, ports
// and functions; the engine calls the four operations below through the instance's virtual
// table, and works on the base fields itself for the trigger input ("trigin"), the test pulse
// ("test") and the aborting errors it reports on the instance's behalf.
//
// The module's entry point, exported as the C symbol "KvModEntry":
//   17 (param: KvCreateBlock*)  create one instance and store it through block->instance
//   16 (param: the instance)    destroy that instance
// Modules answer 1.
//
// Threads. Three kinds of thread call an instance:
//   - the engine's thread (the user-interface thread: script lines, automation, panels):
//     Settings (reads, writes, describe, label, unit, port dependency, evaluate), Fun and
//     FunInfo, and ActMsg for "#acq.testseq" and for the steps of a pass run in place;
//   - the acquisition worker: ActMsg for "#acq.start", each run-order step (an output or an
//     input port name), "#acq.end" and "#acq.abort"; Settings reads of "oports", "iports",
//     ports and port dependencies while it computes the run order;
//   - the instance's own trigger thread, while "trigin" is connected: ActMsg "#acq.trg" and
//     "#acq.testtrg".
// The engine holds the instance's step lock (below) around every one of these calls, on
// whichever thread, so no two of them ever overlap on one instance: a setting written from a
// panel lands between two steps of a pass, never inside one. A module therefore needs no lock
// of its own for its settings and results. Different instances do run at the same time.
// Construction and destruction happen on the engine's thread with no other call in flight;
// the trigger thread has ended before the destructor runs.
//
// What a module may do inside any call: log (logMsg, logWarn, ...), raise notifications
// through pgd->notify (from another thread than the engine's they are queued and raised on
// the engine's thread after the call; never wait for them), report progress, release input
// data (pgd->release). It must not wait for another thread of the engine, and must not call
// pgd->visibleGet from the worker or a trigger thread (that asks the user-interface thread,
// which may be waiting for this instance's lock).
//
// Flags in CGlobalData (abort, terminate) may be polled at any time without the lock.

#include <atomic>
#include <cstdint>

#include "KvDll/Bfr.h"
#include "KvDll/GlobalData.h"
#include "KvDll/Str.h"
#include "KvDll/VParam.h"

class CLocalData;

enum : int {
  kModDestroy = 16,
  kModCreate = 17,
};

// Four pointer-sized fields, in this order.
struct KvCreateBlock {
  const char* name;        // the component name the script gave
  CGlobalData* global;
  CLocalData** instance;   // where the module stores the new instance (null = failed)
  const char* variant;     // the part of the library name after its first ".", or ""
};

struct KvTriggerThread;  // the trigger thread of one instance

class CLocalData {
 public:
  // Base fields, in this order after the virtual table.
  CGlobalData* pgd;
  CStr name;
  CStr variant;
  std::atomic<CBfr*> trigin{nullptr};     // the connected trigger buffer; null = not connected
  KvTriggerThread* trigThread = nullptr;  // running while trigin is connected
  std::atomic<uint8_t> disconnect{0};
  std::atomic<uint8_t> testPulse{0};
  KvEvent* trigEvent = nullptr;  // manual reset; wakes the trigger thread
  // Held by the engine around each call into the instance (see Threads above); recursive,
  // so a notification handled on the same thread may call back in.
  KvMutex stepLock;

  explicit CLocalData(const KvCreateBlock& block);
  CLocalData(const CLocalData&) = delete;
  CLocalData& operator=(const CLocalData&) = delete;
  // Ends the trigger thread first. A module whose ActMsg must not run during its own
  // destruction calls StopTrigger in its destructor.
  virtual ~CLocalData();

  // Slot 1: an action message ("#acq.start", a port name, "#acq.end", ...).
  virtual void ActMsg(const char* msg);
  // Slot 2: read, write, describe, label, unit, port dependency, evaluate.
  virtual CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v);
  // Slots 3 and 4: call a function; describe its arguments and result.
  virtual CMDERR Fun(const char* name, VPARAMS& a);
  virtual CMDERR FunInfo(const char* name, VPARAMS& a);

  // Log lines of the component, each filtered by the log level of the global data object.
  void logDebug(const char* text, long bold = 0, long colour = 0);
  void logDebugAppend(const char* text, long bold = 0, long colour = 0);
  void logMsg(const char* text);
  void logWarn(const char* text);
  void logErr(const char* text);
  // Always written; also sets the engine's abort flag, which ends the pass.
  void logErrAbort(const char* text);

  // Engine side: the trigger input. Read answers the address of trigin; write connects a
  // buffer of type 81 or, with null, disconnects (the trigger thread has ended when it
  // returns); describe answers kind 2, type 81.
  CMDERR TrigIn(GETPARCMD cmd, VPARAM& v);
  bool TriggerConnected() const { return trigin.load(std::memory_order_acquire) != nullptr; }
  // Engine side: "test" set to non-zero. With a trigger input the pulse stays raised until the
  // trigger thread takes it, so it is never lost to a thread that wakes late.
  void FireTestPulse();
  // Disconnects the trigger input and waits for its thread to end (serving the calling
  // thread's messages meanwhile, as the thread may be logging to this thread's windows).
  void StopTrigger();

 private:
  void line(const char* prefix, const char* text, long minLevel, long bold, long colour, bool append);
  static void triggerLoop(CLocalData* self, KvTriggerThread* t);
};

// Holds an instance's step lock for a scope. Waiting for it serves the calling thread's
// messages, so a thread that holds the lock can still send to the waiter (a log line, a
// notification) and finish. Null holds nothing.
class CStepGuard {
 public:
  explicit CStepGuard(CLocalData* d);
  ~CStepGuard();
  CStepGuard(const CStepGuard&) = delete;
  CStepGuard& operator=(const CStepGuard&) = delete;

 private:
  CLocalData* d;
};
