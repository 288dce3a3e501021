#pragma once
// CGlobalData: the one object per process that the engine and every module share: the host's
// start-up record, the application's name and folder, the module library path with the
// installed-module list of mods.lst, the log and the status strip with the stack of nested
// operations that drives it, the engine's stop event and abort flag, and the entries through
// which modules call back into the engine. Nothing in it is locked: the flags are atomics, and
// the host serialises the calls that change the rest.

#include <atomic>
#include <cstdint>

#include "KvDll/JStatus.h"
#include "KvDll/Log.h"
#include "KvDll/Str.h"
#include "KvDll/Sync.h"
#include "KvDll/dbg.h"
#include "KvDll/objarr.h"

// Entries the engine installs, in this order.
using KvNotifyFn = void (*)(const char* name, const char* value);  // raises ValueChanged
using KvVisibleSetFn = void (*)(const char* name, long show);      // raises ShowGui(name, 0 or 1)
using KvVisibleGetFn = long (*)(const char* name);                 // raises ShowGui(name, 2)
using KvReleaseFn = void (*)(void* slot);                          // an input port's data is done with

// The host's start-up record: pointer-sized entries. Strings are UTF-16, owned by the host.
enum KvStartupEntry : int {
  kStartInstance = 0,
  kStartMainWnd = 1,
  kStartClientWnd = 2,
  kStartAppName = 3,
  kStartLogWnd = 4,  // the log's parent window, written when the log viewer registers
  kStartStatusWnd = 7,
  kStartThread = 8,  // the user-interface thread (its kernel thread id here)
  kStartAppPath = 9,
  kStartEntries = 10,
};

class CGlobalData {
 public:
  struct OperRec {
    int32_t number;  // -1 once closed while an inner operation was still open
    int32_t parts;
    int32_t done;
    CStr name;
    float percent;
    long started;
  };

  intptr_t* funs = nullptr;  // the start-up record; while null the operation calls do nothing
  KvNotifyFn notify = nullptr;
  KvVisibleSetFn visibleSet = nullptr;
  KvVisibleGetFn visibleGet = nullptr;
  KvErrReportFn errReport = nullptr;  // see SetErrReport
  KvReleaseFn release = nullptr;
  void* app = nullptr;  // kept for the engine
  KvWnd eventWnd = 0;
  intptr_t instance = 0;
  std::atomic<int32_t> pass{0};
  char* scratch = nullptr;  // 10000 bytes of working space
  std::atomic<uint8_t> terminate{0};
  uint8_t spare = 0;
  std::atomic<uint8_t> abort{0};
  KvEvent stopEvent{true, false};
  KvEvent secondEvent{true, false};
  std::atomic<int32_t> minSeverity{LogWarn};
  CLog log;
  CStatusBar2 statusBar;
  CStr statusPanel{"Status"};
  CStr appPath;
  CStr version{"1.1.4"};
  CStr appName;
  CObjArr<CStr>* modNames;
  CObjArr<CStr>* modTexts;
  CStr libPath;
  intptr_t hostValues[3] = {0, 0, 0};  // entries 1, 2 and 0 of the start-up record

  static constexpr size_t kScratchSize = 10000;

  CGlobalData();  // becomes the process's global data object
  CGlobalData(const CGlobalData&) = delete;
  CGlobalData& operator=(const CGlobalData&) = delete;
  virtual ~CGlobalData();

  void InitFuns(intptr_t funs);
  // 0, or -1 when mods.lst cannot be read (the module lists then stay as they were).
  long SetPathLib(CStr& path);
  CStr GetPathLib() const { return libPath; }
  // Installs the engine's error-report entry for the whole library (null removes it).
  void SetErrReport(KvErrReportFn fn);

  // The operation stack; see JStatus.h for who calls it.
  long StartOper(const char* name, long parts);
  long OpenStatus(const char* name, long parts);
  long NextOper(const char* name, long count, long oper);
  bool nextOperation(const char* name, long count, long oper);
  bool nextOperNum(const char* name, long count, long oper);
  long UpdateOper(float percent, long oper);
  bool update(float percent, long oper);
  float GetProgress() const;
  void EndOper(long oper);
  bool CloseStatus(long oper);
  bool visible(bool show);
  void StatusBar(const char* text);
  void StatusBar(CStr& text);
  CStr* GetPanel(long i);
  void SetErr(const char*) {}
  void SetErr(CStr&) {}
  int Depth() const { return depth; }
  const OperRec* Oper(long n) const { return n >= 1 && n <= depth ? opers[n - 1] : nullptr; }

 private:
  OperRec** opers = nullptr;
  int32_t operCapacity = 0;
  int16_t depth = 0;
  int32_t pendingOpen = 0;

  void dlyOpen();
  void updateProg();
  bool isOpen(long oper) const;
  void removeInnermost();
};

// The process's global data object; null before the first is made and after it is gone.
CGlobalData* KvGlobal();

// The two columns of mods.lst: per line the name, a ',', and the text up to the line end. A
// line without ',' is skipped; a CR before the line feed is not part of the text.
void ParseModsLst(const char* text, long len, CObjArr<CStr>* names, CObjArr<CStr>* texts);
// folder + "/" + name, without doubling a "/" that folder already ends with.
CStr KvJoinPath(const CStr& folder, const char* name);

// Settings of the application (named by the global data object) in the settings store.
CStr GetSetting(const char* section, const char* key, const char* def);
void SaveSetting(const char* section, const char* key, CStr& value);
