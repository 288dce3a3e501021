#pragma once
// CSchAppPort: a schematic control's engine side. Every line goes through IApp.Execute; a
// refusal (except of a link line, which the wiring handles itself) is logged through
// IUtils.AddLog as "Error: cmd=" + line + ", resp=" + response with LogWarn. The references are
// the control's own (set by its Load, dropped by its Unload); without them nothing is sent and
// every line is refused. While an acquisition runs, no line that would change the network
// (load, unload, link, unlink) is sent, whoever asks.
//
// While a journal is given, every accepted load, unload, link and unlink line is kept with the
// lines that undo it, worked out before it is sent: unload for a load; load under the same
// name, the component's settings and its links for an unload; the previous source (or unlink)
// for a link; the previous source for an unlink.
//
// User-interface thread only.

#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvSch/SchScript.h"

class CSchAppPort final : public CSchScript {
 public:
  struct Step {
    std::string forward;               // the accepted line
    std::vector<std::string> inverse;  // run in order to undo it
    // For a load: the component's settings when it was last undone, replayed after the load
    // on redo, so what was set on its panels since it was placed comes back with it.
    std::vector<std::string> settings;
  };

  CSchAppPort() = default;
  ~CSchAppPort() override;
  CSchAppPort(const CSchAppPort&) = delete;
  CSchAppPort& operator=(const CSchAppPort&) = delete;

  // app null drops both references.
  void Attach(IApp* app);
  bool Attached() const { return app_ != nullptr; }
  IApp* App() const { return app_; }
  IUtils* Utils() const { return utils_; }
  // The drawing whose components the journal looks function names up in.
  void SetDoc(const CSchDoc* doc) { doc_ = doc; }

  bool Send(const std::string& line, CStr* answer) override;
  // IApp.isLoaded, then the component names without regard to case (as the engine compares).
  bool Exists(const CStr& compName) override;
  // False while IApp.isBusy, after logging "The network cannot be changed while an acquisition
  // runs" (LogWarn).
  bool MayChange() override;
  // A message box titled "Kelvane" through the shell's dialog service.
  void Message(const std::string& text) override;
  // IUtils.AddLog with LogWarn.
  void Warn(const std::string& text) override;
  void Log(const std::string& text, LogSeverity severity);
  // A line that changes nothing (a symbol or port query): neither logged nor recorded.
  bool Query(const std::string& line, std::string* answer);

  // Starts (a journal) or stops (null) recording.
  void Record(std::vector<Step>* journal) {
    journal_ = journal;
    stateKept_ = false;
  }
  // The library the engine last loaded under the name comp (as written in that load), or
  // empty.
  std::string LoadedAs(const std::string& comp);
  // The component's settings as the engine would replay them (its lines of "sys.state").
  std::vector<std::string> SettingsOf(const std::string& comp);
  // Runs lines of an undo or redo in order, unrecorded; the first refusal stops and is logged
  // (a link line too).
  bool Replay(const std::vector<std::string>& lines);

 private:
  bool Execute(const std::string& line, std::string* answer);
  // A line that would change the network while an acquisition runs: refused and told.
  bool Blocked(const std::string& line);
  void Refused(const std::string& line, const std::string& response);
  // The lines that undo line, asked of the engine before it is sent; false for a line that
  // is not journaled (or cannot be undone).
  bool Inverse(const std::string& line, std::vector<std::string>* inverse);
  std::string SourceOf(const std::string& in);
  std::string FunctionOf(const std::string& comp);
  std::vector<std::string> LinksOf(const std::string& comp);

  IApp* app_ = nullptr;
  IUtils* utils_ = nullptr;
  const CSchDoc* doc_ = nullptr;
  std::vector<Step>* journal_ = nullptr;
  bool busyTold_ = false;
  // The state listing, asked once per recording while only unloads and links follow: a
  // deletion of many components would otherwise list the whole network once per component.
  std::string state_;
  bool stateKept_ = false;
};
