#pragma once
// The workspace: a text file of named sections. The engine reads it, shows every section and
// keeps its own ("Kelvane") as Buffer; writing the file, and whatever opening and closing mean
// to the application, is done by the three callbacks the shell registers. User-interface
// thread.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvCore/RefCounted.h"

struct KvWorkspaceText {
  std::vector<std::string> names, contents;
  int engine = 0;  // index of the engine's section
  std::vector<std::string> problems;  // what the text holds that is not read: for the log
};

// Splits a file's text (CR LF already read as LF) into at most 10 sections. Text from an 11th
// header on is dropped (never part of a section, so never run as script lines), and a header
// whose line has no "]" gives a section without a name; both are listed in problems.
KvWorkspaceText KvParseWorkspace(std::string_view text);

class CWrkSpc final : public KvRefCounted<IWrkSpc> {
 public:
  // Runs the engine's section (IApp.LoadNetlist) and logs with a severity.
  struct Host {
    std::function<long()> loadNetlist;
    std::function<void(const char*, long)> log;
  };
  explicit CWrkSpc(Host host);
  void Detach() { host = Host{}; }
  bool IsCallback(intptr_t addr) const;

  HRESULT GetIDOfName(const std::string& name) override;
  HRESULT Init(KvCallbackFn open, KvCallbackFn save, KvCallbackFn close) override;
  HRESULT Open(const std::string& fileName, long* out) override;
  HRESULT Close(long* out) override;
  HRESULT Save(long* out) override;
  HRESULT SaveAs(const std::string& fileName, long* out) override;
  HRESULT get_Name(std::string* out) override;
  HRESULT get_Buffer(std::string* out) override;
  HRESULT put_Buffer(const std::string& text) override;
  HRESULT GetSectionCount(long* out) override;
  HRESULT GetSectionName(long idx, std::string* out) override;
  HRESULT GetSection(long idx, std::string* out) override;
  HRESULT Advise(IWrkSpcEvents* sink, long* cookie) override;
  HRESULT Unadvise(long cookie) override;

  const std::string& Buffer() const { return text.contents[static_cast<size_t>(text.engine)]; }
  // How many problems the last Open found (they are logged there); counted once.
  long TakeReadProblems() { return std::exchange(readProblems, 0); }

 private:
  Host host;
  std::string name;
  KvWorkspaceText text;
  KvCallbackFn cbOpen = nullptr, cbSave = nullptr, cbClose = nullptr;
  std::vector<std::pair<long, IWrkSpcEvents*>> sinks;
  long nextCookie = 1;
  long readProblems = 0;

  void reset();
  void nameChanged();
  void bufferChanged();
};
