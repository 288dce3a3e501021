#pragma once
// What the module list, the connection list and the connection editor read of the engine's
// network, through IApp only: the components, their port lists and the source of an input.
// Also the subscription to the engine's events the three windows share.
//
// User-interface thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"

namespace KvNet {

struct Component {
  std::string label;  // as the script gave it
  std::string name;   // the library's name for it
};

struct Source {
  std::string label, port;
  std::string text() const { return label + "." + port; }
};

// The components in load order, CompCount read first. An index the engine refuses is left out.
std::vector<Component> Components(IApp* app);
// A port list ("iports", "oports") of a component; empty entries and a refused read give none.
std::vector<std::string> Ports(IApp* app, const std::string& label, const char* list);
// The source of input label.port, from the engine's answer to that query. None when the query
// fails, when it answers its own line (an unlinked input) or nothing, or when the answer lacks
// a label or a port; the answer is split at its first "." (ports may hold dots: "m.ck.in").
std::optional<Source> InputSource(IApp* app, const std::string& label, const std::string& port);
std::optional<Source> ParseSource(const std::string& query, long result, const std::string& answer);

// The type a component name shows: the part after its last "/" or "\".
std::string TypeOf(const std::string& name);
// A label a "load" line can carry: a letter, then letters, digits and "_", and not one of the
// engine's own names ("kvs", "sys").
bool ValidLabel(const std::string& label);
// Without the blanks (spaces, tabs, line breaks) at either end.
std::string Trimmed(const std::string& s);
// Text split at ",", each entry trimmed; empty entries are dropped.
std::vector<std::string> SplitList(const std::string& text);
// The module libraries of the library folder ("*.bin"), each name up to its last ".", by name.
std::vector<std::string> Libraries(IUtils* utils);
bool SameText(const std::string& a, const std::string& b);  // ignoring ASCII case

// A subscription to the engine's ValueChanged events, ended by End or by destruction.
class Watch final : public IAppEvents {
 public:
  explicit Watch(std::function<void(const std::string& comp, const std::string& var)> onChange)
      : onChange(std::move(onChange)) {}
  ~Watch() override { End(); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  void Begin(IApp* app);
  void End();
  bool Active() const { return static_cast<bool>(app); }

  void ValueChanged(const std::string& comp, const std::string& var) override;
  void BeforeAcq(long) override {}
  void AfterAcq(long) override {}
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override {}

 private:
  std::function<void(const std::string&, const std::string&)> onChange;
  KvPtr<IApp> app;
  long cookie = 0;
};

// Whether a ValueChanged name is one of those given, ignoring case.
bool IsEvent(const std::string& var, std::initializer_list<const char*> names);

}  // namespace KvNet
