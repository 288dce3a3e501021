#pragma once
// The registry of hosted controls: ProgIDs ("KvPlugins.CmdConsole", "KvMeas.Inputs", ...) with
// the factory that makes each. Control libraries are shared objects in one folder; each
// exports
//
//   extern "C" void KvRegisterControls(CCtlRegistry* registry);
//
// which adds its ProgIDs. A factory makes a QWidget that also implements IKvGui. ProgIDs
// compare without regard to case; the first library to register one keeps it.
//
// User-interface thread only.

#include <functional>
#include <string>
#include <vector>

class QWidget;

using KvControlFactory = QWidget* (*)(QWidget* parent);

class CCtlRegistry {
 public:
  CCtlRegistry() = default;
  CCtlRegistry(const CCtlRegistry&) = delete;
  CCtlRegistry& operator=(const CCtlRegistry&) = delete;
  virtual ~CCtlRegistry();

  // false (and nothing changes) for an empty ProgID, a null factory or one already there.
  virtual bool Add(const char* progId, KvControlFactory factory);
  // Null when no library offers the ProgID.
  KvControlFactory Find(const std::string& progId) const;
  // The control, or null when none is registered or its factory made none.
  QWidget* Create(const std::string& progId, QWidget* parent) const;
  // In registration order.
  std::vector<std::string> ProgIds() const;

  // Opens every library of the folder in name order and lets it register; a library that
  // cannot be opened or has no entry point is reported through log and skipped. The
  // libraries stay open for the life of the registry. Answers how many registered.
  int LoadFolder(const std::string& folder, const std::function<void(const std::string&)>& log);

 private:
  struct Entry {
    std::string progId;
    KvControlFactory factory;
  };
  std::vector<Entry> entries;
  std::vector<void*> libraries;
};

using KvRegisterControlsFn = void (*)(CCtlRegistry* registry);
