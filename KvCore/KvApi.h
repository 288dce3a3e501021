#pragma once
// The engine's automation surface: everything the shell, tool windows and panels use of the
// engine. Objects are reference counted and created by name:
//
//   KvPtr<IApp> app;  KvCreateObject("KvCore.App", app.put());   // the only creatable class
//
// Members keep their slot order; each returns an HRESULT and gives its result through the
// last parameter. Texts are UTF-8. Every member runs on the user-interface thread (the thread
// that created the App); events are raised there too, through the window named at Init.

#include <cstdint>
#include <string>

#include "KvDll/Wnd.h"

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);
inline constexpr HRESULT E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<int32_t>(0x80004003u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<int32_t>(0x80070057u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<int32_t>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<int32_t>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<int32_t>(0x80020006u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<int32_t>(0x8002000Bu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<int32_t>(0x8002000Fu);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<int32_t>(0x80040154u);

enum LogSeverity : int32_t {
  sevDebug = -1,
  sevMsg = 0,
  sevInfo = 1,
  sevWarn = 2,
  sevErr = 3,
  sevAbort = 4,
  sevSys = 5,
  sevSysErr = 6,
};

struct GuiStyle {
  int16_t bResizeable, bToolwnd, bDialog, bMaximize, bMinimize, bCloseable;
};

class IKvUnknown {
 public:
  virtual long AddRef() = 0;
  virtual long Release() = 0;
  // S_OK when the object has a member of this name (ignoring case), else DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDOfName(const std::string& name) = 0;

 protected:
  virtual ~IKvUnknown() = default;
};

// Holds one reference.
template <class T>
class KvPtr {
 public:
  KvPtr() = default;
  explicit KvPtr(T* p, bool addRef = true) : p_(p) {
    if (p_ && addRef) p_->AddRef();
  }
  KvPtr(const KvPtr& o) : KvPtr(o.p_) {}
  KvPtr& operator=(const KvPtr& o) {
    KvPtr(o).swap(*this);
    return *this;
  }
  ~KvPtr() { reset(); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // For an out-parameter that hands over a reference.
  T** put() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void swap(KvPtr& o) { std::swap(p_, o.p_); }

 private:
  T* p_ = nullptr;
};

class IAppEvents {
 public:
  virtual ~IAppEvents() = default;
  virtual void ValueChanged(const std::string& compName, const std::string& varName) = 0;
  virtual void BeforeAcq(long acqId) = 0;
  virtual void AfterAcq(long acqId) = 0;
  virtual void ShowGui(const std::string& compName, long& show) = 0;
  virtual void AcqAborted(long acqId) = 0;
  virtual void AcqIdle() = 0;
};

class IWrkSpcEvents {
 public:
  virtual ~IWrkSpcEvents() = default;
  virtual void NameChanged() = 0;
  virtual void BufferChanged() = 0;
};

// A workspace callback: open and save get the file name (UTF-8) in the first argument; the
// second, and both for close, are 0.
using KvCallbackFn = long (*)(intptr_t arg1, intptr_t arg2);

class IUtils : public IKvUnknown {
 public:
  virtual HRESULT AddLog(const std::string& msg, LogSeverity severity = sevMsg) = 0;
  virtual HRESULT AppendLog(const std::string& msg, LogSeverity severity = sevMsg) = 0;
  virtual HRESULT scale125(double val, bool up, double* out) = 0;
  virtual HRESULT Str2Num(const std::string& val, double* out) = 0;
  virtual HRESULT Num2Str(double val, long digits, std::string* out) = 0;
  virtual HRESULT SaveSetting(const std::string& section, const std::string& key, const std::string& setting) = 0;
  virtual HRESULT GetSetting(const std::string& section, const std::string& key, const std::string& def,
                             std::string* out) = 0;
  virtual HRESULT Step(double* variable, double stepSize, double minStep) = 0;
  virtual HRESULT safeadd(double* variable, double offset) = 0;
  virtual HRESULT get_LibraryPath(std::string* out) = 0;
  virtual HRESULT put_LibraryPath(const std::string& path) = 0;
  virtual HRESULT get_WorkspacePath(std::string* out) = 0;
  virtual HRESULT put_WorkspacePath(const std::string& path) = 0;
  virtual HRESULT get_LastUsedPath(std::string* out) = 0;
  virtual HRESULT put_LastUsedPath(const std::string& path) = 0;
  virtual HRESULT get_StatusBar(std::string* out) = 0;
  virtual HRESULT put_StatusBar(const std::string& text) = 0;
  virtual HRESULT ErrMsg(long modErrNum, long vbErrNum, long line, const std::string& desc, const std::string& comp) = 0;
  virtual HRESULT get_AppTitle(std::string* out) = 0;
  virtual HRESULT OperStart(const std::string& label, long* id) = 0;
  virtual HRESULT OperEnd(long statusId, long* out) = 0;
  virtual HRESULT OperUpdate(long statusId, float percent, long* out) = 0;
  virtual HRESULT get_guiWidth(float* out) = 0;
  virtual HRESULT put_guiWidth(float v) = 0;
  virtual HRESULT get_guiHeight(float* out) = 0;
  virtual HRESULT put_guiHeight(float v) = 0;
  virtual HRESULT get_Version(std::string* out) = 0;
  virtual HRESULT get_InstalledModList(std::string* out) = 0;
  virtual HRESULT GetInstalledModList(std::string* out) = 0;
  virtual HRESULT get_DBLPINF(double* out) = 0;
  virtual HRESULT get_DBLNINF(double* out) = 0;
  // -1 for a null object, else the object's answer for the name.
  virtual HRESULT IsMember(IKvUnknown* obj, const std::string& var, long* out) = 0;
  virtual HRESULT HoldLog(bool hold) = 0;
  virtual HRESULT SetHwndLog(KvWnd hwnd) = 0;
  // Calls only a registered function (the workspace callbacks); E_INVALIDARG otherwise.
  virtual HRESULT call(intptr_t addr, intptr_t arg1, intptr_t arg2, long* out) = 0;
  virtual HRESULT GetGapp() = 0;
};

class IWrkSpc : public IKvUnknown {
 public:
  virtual HRESULT Init(KvCallbackFn open, KvCallbackFn save, KvCallbackFn close) = 0;
  virtual HRESULT Open(const std::string& fileName, long* out) = 0;
  virtual HRESULT Close(long* out) = 0;
  virtual HRESULT Save(long* out) = 0;
  virtual HRESULT SaveAs(const std::string& fileName, long* out) = 0;
  virtual HRESULT get_Name(std::string* out) = 0;
  virtual HRESULT get_Buffer(std::string* out) = 0;
  virtual HRESULT put_Buffer(const std::string& text) = 0;
  virtual HRESULT GetSectionCount(long* out) = 0;
  virtual HRESULT GetSectionName(long idx, std::string* out) = 0;
  virtual HRESULT GetSection(long idx, std::string* out) = 0;
  virtual HRESULT Advise(IWrkSpcEvents* sink, long* cookie) = 0;
  virtual HRESULT Unadvise(long cookie) = 0;
};

class IApp : public IKvUnknown {
 public:
  virtual HRESULT Execute(const std::string& cmd, std::string* msg, long* result) = 0;
  virtual HRESULT get_str(const std::string& mod, const std::string& par, std::string* out) = 0;
  virtual HRESULT put_str(const std::string& mod, const std::string& par, const std::string& value) = 0;
  virtual HRESULT get_dbl(const std::string& mod, const std::string& par, double* out) = 0;
  virtual HRESULT put_dbl(const std::string& mod, const std::string& par, double value) = 0;
  virtual HRESULT get_lng(const std::string& mod, const std::string& par, int32_t* out) = 0;
  virtual HRESULT put_lng(const std::string& mod, const std::string& par, int32_t value) = 0;
  virtual HRESULT get_flt(const std::string& mod, const std::string& par, float* out) = 0;
  virtual HRESULT put_flt(const std::string& mod, const std::string& par, float value) = 0;
  virtual HRESULT get_unit(const std::string& mod, const std::string& par, std::string* out) = 0;
  virtual HRESULT run(long count, long* out) = 0;
  virtual HRESULT isLoaded(const std::string& comp, bool* out) = 0;
  virtual HRESULT GetCmdList(std::string* out) = 0;
  virtual HRESULT LoadNetlist(long* out) = 0;
  virtual HRESULT get_isBusy(bool* out) = 0;
  virtual HRESULT get_Utils(IUtils** out) = 0;
  virtual HRESULT get_WrkSpc(IWrkSpc** out) = 0;
  virtual HRESULT UnloadNetlist(long* out) = 0;
  virtual HRESULT kill(long mSecs, long* out) = 0;
  // The address of the shell's start-up record (pointer-sized entries), or 0 before the
  // shell lets go of the engine.
  virtual HRESULT Init(intptr_t record) = 0;
  virtual HRESULT get_CompCount(long* out) = 0;
  virtual HRESULT get_CompLabel(long idx, std::string* out) = 0;
  virtual HRESULT get_CompName(long idx, std::string* out) = 0;
  virtual HRESULT get_CompRunOrder(long idx, long* out) = 0;
  virtual HRESULT get_runstatus(long* out) = 0;
  virtual HRESULT get_bStop(bool* out) = 0;
  virtual HRESULT put_bStop(bool v) = 0;
  virtual HRESULT get_bAbort(bool* out) = 0;
  virtual HRESULT put_bAbort(bool v) = 0;
  virtual HRESULT get_hwnd(KvWnd* out) = 0;
  virtual HRESULT get_Data(const std::string& mod, const std::string& par, std::string* out) = 0;
  virtual HRESULT put_Data(const std::string& mod, const std::string& par, const std::string& value) = 0;
  virtual HRESULT SetBusy(long* handle) = 0;
  virtual HRESULT SetBusyNot(long handle) = 0;
  virtual HRESULT Advise(IAppEvents* sink, long* cookie) = 0;
  virtual HRESULT Unadvise(long cookie) = 0;
};

// The panel contract: the shell's panel window and the panels it hosts.
class IKvHost : public IKvUnknown {
 public:
  virtual HRESULT Caption(std::string* val) = 0;
  virtual HRESULT Unload() = 0;
  virtual HRESULT Size(float width, float height) = 0;
  virtual HRESULT TabCaption(std::string* val) = 0;
  virtual HRESULT MoveWnd(float left, float top) = 0;
};

class IKvGui : public IKvUnknown {
 public:
  virtual HRESULT Load(IApp** app, IKvHost** host, std::string* label) = 0;
  virtual HRESULT Unload() = 0;
  virtual HRESULT GetStyle(GuiStyle* out) = 0;
  virtual HRESULT QueryUnload(int16_t* unloadMode, long* out) = 0;
  virtual HRESULT get_TabCaption(std::string* out) = 0;
  virtual HRESULT get_Caption(std::string* out) = 0;
};

// Creates an App by name ("KvCore.App" or "KvCore.App.1", ignoring case); the caller owns the
// reference. REGDB_E_CLASSNOTREG for any other name (Utils and WrkSpc come from the App).
HRESULT KvCreateObject(const char* name, IApp** out);
