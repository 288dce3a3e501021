#pragma once
// CApp and CUtils: the engine behind the automation surface of KvApi.h. One App per shell;
// it owns the engine and hands out one Utils and one WrkSpc, created on first use and kept.

#include <memory>
#include <vector>

#include "KvCore/Engine.h"
#include "KvCore/KvApi.h"
#include "KvCore/RefCounted.h"
#include "KvCore/WrkSpc.h"

class CApp;

class CUtils final : public KvRefCounted<IUtils> {
 public:
  explicit CUtils(CApp* app) : app(app) {}
  void Detach() { app = nullptr; }

  HRESULT GetIDOfName(const std::string& name) override;
  HRESULT AddLog(const std::string& msg, LogSeverity severity) override;
  HRESULT AppendLog(const std::string& msg, LogSeverity severity) override;
  HRESULT scale125(double val, bool up, double* out) override;
  HRESULT Str2Num(const std::string& val, double* out) override;
  HRESULT Num2Str(double val, long digits, std::string* out) override;
  HRESULT SaveSetting(const std::string& section, const std::string& key, const std::string& setting) override;
  HRESULT GetSetting(const std::string& section, const std::string& key, const std::string& def,
                     std::string* out) override;
  HRESULT Step(double* variable, double stepSize, double minStep) override;
  HRESULT safeadd(double* variable, double offset) override;
  HRESULT get_LibraryPath(std::string* out) override;
  HRESULT put_LibraryPath(const std::string& path) override;
  HRESULT get_WorkspacePath(std::string* out) override;
  HRESULT put_WorkspacePath(const std::string& path) override;
  HRESULT get_LastUsedPath(std::string* out) override;
  HRESULT put_LastUsedPath(const std::string& path) override;
  HRESULT get_StatusBar(std::string* out) override;
  HRESULT put_StatusBar(const std::string& text) override;
  HRESULT ErrMsg(long modErrNum, long vbErrNum, long line, const std::string& desc, const std::string& comp) override;
  HRESULT get_AppTitle(std::string* out) override;
  HRESULT OperStart(const std::string& label, long* id) override;
  HRESULT OperEnd(long statusId, long* out) override;
  HRESULT OperUpdate(long statusId, float percent, long* out) override;
  HRESULT get_guiWidth(float* out) override;
  HRESULT put_guiWidth(float v) override;
  HRESULT get_guiHeight(float* out) override;
  HRESULT put_guiHeight(float v) override;
  HRESULT get_Version(std::string* out) override;
  HRESULT get_InstalledModList(std::string* out) override;
  HRESULT GetInstalledModList(std::string* out) override;
  HRESULT get_DBLPINF(double* out) override;
  HRESULT get_DBLNINF(double* out) override;
  HRESULT IsMember(IKvUnknown* obj, const std::string& var, long* out) override;
  HRESULT HoldLog(bool hold) override;
  HRESULT SetHwndLog(KvWnd hwnd) override;
  HRESULT call(intptr_t addr, intptr_t arg1, intptr_t arg2, long* out) override;
  HRESULT GetGapp() override;

 private:
  CApp* app;
  std::string workspacePath, lastUsedPath, statusText;
  float guiWidth = 0, guiHeight = 0;
};

class CApp final : public KvRefCounted<IApp> {
 public:
  CApp();

  HRESULT GetIDOfName(const std::string& name) override;
  HRESULT Execute(const std::string& cmd, std::string* msg, long* result) override;
  HRESULT get_str(const std::string& mod, const std::string& par, std::string* out) override;
  HRESULT put_str(const std::string& mod, const std::string& par, const std::string& value) override;
  HRESULT get_dbl(const std::string& mod, const std::string& par, double* out) override;
  HRESULT put_dbl(const std::string& mod, const std::string& par, double value) override;
  HRESULT get_lng(const std::string& mod, const std::string& par, int32_t* out) override;
  HRESULT put_lng(const std::string& mod, const std::string& par, int32_t value) override;
  HRESULT get_flt(const std::string& mod, const std::string& par, float* out) override;
  HRESULT put_flt(const std::string& mod, const std::string& par, float value) override;
  HRESULT get_unit(const std::string& mod, const std::string& par, std::string* out) override;
  HRESULT run(long count, long* out) override;
  HRESULT isLoaded(const std::string& comp, bool* out) override;
  HRESULT GetCmdList(std::string* out) override;
  HRESULT LoadNetlist(long* out) override;
  HRESULT get_isBusy(bool* out) override;
  HRESULT get_Utils(IUtils** out) override;
  HRESULT get_WrkSpc(IWrkSpc** out) override;
  HRESULT UnloadNetlist(long* out) override;
  HRESULT kill(long mSecs, long* out) override;
  HRESULT Init(intptr_t record) override;
  HRESULT get_CompCount(long* out) override;
  HRESULT get_CompLabel(long idx, std::string* out) override;
  HRESULT get_CompName(long idx, std::string* out) override;
  HRESULT get_CompRunOrder(long idx, long* out) override;
  HRESULT get_runstatus(long* out) override;
  HRESULT get_bStop(bool* out) override;
  HRESULT put_bStop(bool v) override;
  HRESULT get_bAbort(bool* out) override;
  HRESULT put_bAbort(bool v) override;
  HRESULT get_hwnd(KvWnd* out) override;
  HRESULT get_Data(const std::string& mod, const std::string& par, std::string* out) override;
  HRESULT put_Data(const std::string& mod, const std::string& par, const std::string& value) override;
  HRESULT SetBusy(long* handle) override;
  HRESULT SetBusyNot(long handle) override;
  HRESULT Advise(IAppEvents* sink, long* cookie) override;
  HRESULT Unadvise(long cookie) override;

  CEngine& Engine() { return *engine; }
  CWrkSpc* WrkSpcIfMade() { return wrkspc; }

 private:
  ~CApp() override;

  std::unique_ptr<CEngine> engine;
  CUtils* utils = nullptr;
  CWrkSpc* wrkspc = nullptr;
  std::atomic<long> busy{0};
  KvWnd shellWnd = 0;
  KvWndProc shellProc = nullptr;
  std::vector<std::pair<long, IAppEvents*>> sinks;
  long nextCookie = 1;

  struct Target {
    int comp;
    CStr par;
    VPARAM desc;
  };
  // Checks mod and par as every accessor does; S_OK with the component and description.
  HRESULT resolve(const std::string& mod, const std::string& par, Target& t);
  HRESULT getNumber(const std::string& mod, const std::string& par, int32_t vt, VPARAM& v);
  HRESULT putNumber(const std::string& mod, const std::string& par, int32_t vt, VPARAM v, double shown);
  void recordPut(const std::string& mod, const Target& t, const CStr& text);
  HRESULT clampIndex(long& idx);
  void raise(const std::function<void(IAppEvents*)>& f);
  static long shellWndProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);
};
