#include "KvSch/ctl/SchPort.h"

#include <strings.h>

#include <algorithm>

#include "desktop/Dialogs.h"

namespace {

const char* const kBusy = "The network cannot be changed while an acquisition runs";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Whether text begins with comp + "." (component names compare without regard to case).
bool OfComponent(const std::string& text, const std::string& comp) {
  return text.size() > comp.size() && text[comp.size()] == '.' && strncasecmp(text.data(), comp.data(), comp.size()) == 0;
}

// The items of a comma-separated list, trimmed, empty ones left out.
std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    const size_t a = item.find_first_not_of(" \t");
    const size_t b = item.find_last_not_of(" \t");
    if (a != std::string::npos) out.push_back(item.substr(a, b - a + 1));
    start = end + 1;
  }
  return out;
}

}  // namespace

CSchAppPort::~CSchAppPort() { Attach(nullptr); }

void CSchAppPort::Attach(IApp* app) {
  if (app == app_) return;
  if (utils_) utils_->Release();
  if (app_) app_->Release();
  utils_ = nullptr;
  app_ = app;
  if (!app_) return;
  app_->AddRef();
  IUtils* u = nullptr;
  if (app_->get_Utils(&u) == S_OK) utils_ = u;
}

bool CSchAppPort::Execute(const std::string& line, std::string* answer) {
  std::string msg;
  long result = -1;
  const bool ok = app_ && app_->Execute(line, &msg, &result) == S_OK && result == 0;
  if (answer) *answer = msg;
  return ok;
}

bool CSchAppPort::Query(const std::string& line, std::string* answer) { return Execute(line, answer); }

void CSchAppPort::Refused(const std::string& line, const std::string& response) {
  Log("Error: cmd=" + line + ", resp=" + response, sevWarn);
}

bool CSchAppPort::Blocked(const std::string& line) {
  const bool changes =
      StartsWith(line, "load ") || StartsWith(line, "unload ") || StartsWith(line, "link ") || StartsWith(line, "unlink ");
  bool busy = false;
  if (!changes || !app_ || app_->get_isBusy(&busy) != S_OK || !busy) return false;
  // The acquisition thread reads the components and their ports without a lock: whatever
  // asks (a forced clear, a state load), the network stays as it is. Told once per run of
  // refusals, not once per component.
  if (!busyTold_) Log(kBusy, sevWarn);
  busyTold_ = true;
  return true;
}

bool CSchAppPort::Send(const std::string& line, CStr* answer) {
  if (Blocked(line)) {
    if (answer) *answer = kBusy;
    return false;
  }
  busyTold_ = false;
  // Loads, settings and queries may change what the listing holds; unloads and links change
  // no setting of another component.
  if (!StartsWith(line, "unload ") && !StartsWith(line, "link ") && !StartsWith(line, "unlink ")) stateKept_ = false;
  Step step;
  const bool journaled = journal_ && Inverse(line, &step.inverse);
  std::string response;
  const bool ok = Execute(line, &response);
  if (answer) *answer = CStr(response.data(), static_cast<long>(response.size()));
  // The wiring decides itself whether a refused link is worth telling.
  if (!ok && !StartsWith(line, "link ")) Refused(line, response);
  if (!ok || !journaled) return ok;
  // A load taken back at once (its symbol could not be read) leaves nothing to undo.
  if (StartsWith(line, "unload ") && !journal_->empty() && journal_->back().inverse.size() == 1 &&
      journal_->back().inverse[0] == line && StartsWith(journal_->back().forward, "load ")) {
    journal_->pop_back();
    return ok;
  }
  step.forward = line;
  journal_->push_back(std::move(step));
  return ok;
}

bool CSchAppPort::Exists(const CStr& compName) {
  bool loaded = false;
  if (!app_ || app_->isLoaded(compName.GetBfr(), &loaded) != S_OK) return false;
  if (loaded) return true;
  // isLoaded compares exactly, but the engine's names are one name in any case: "M3" in the
  // console takes the place of the drawing's m3.
  long n = 0;
  if (app_->get_CompCount(&n) != S_OK) return false;
  for (long c = 0; c < n; ++c) {
    std::string label;
    if (app_->get_CompLabel(c, &label) == S_OK && strcasecmp(label.c_str(), compName.GetBfr()) == 0) return true;
  }
  return false;
}

bool CSchAppPort::MayChange() {
  bool busy = false;
  if (!app_ || app_->get_isBusy(&busy) != S_OK || !busy) return true;
  Log(kBusy, sevWarn);
  return false;
}

void CSchAppPort::Message(const std::string& text) {
  CDialogs::Get().MsgBox(text, DlgButtons::ok, DlgIcon::information, "Kelvane");
}

void CSchAppPort::Warn(const std::string& text) { Log(text, sevWarn); }

void CSchAppPort::Log(const std::string& text, LogSeverity severity) {
  if (utils_) utils_->AddLog(text, severity);
}

bool CSchAppPort::Replay(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (Blocked(line)) return false;
    busyTold_ = false;
    std::string response;
    if (Execute(line, &response)) continue;
    Refused(line, response);  // link lines too: an undo that stops is always told
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// The journal's inverses, asked of the engine before the line changes anything
// ---------------------------------------------------------------------------------------

bool CSchAppPort::Inverse(const std::string& line, std::vector<std::string>* inverse) {
  if (StartsWith(line, "load ")) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    inverse->push_back("unload " + line.substr(5, eq - 5));
    return true;
  }
  if (StartsWith(line, "unload ")) {
    const std::string name = line.substr(7);
    const std::string func = FunctionOf(name);
    if (func.empty()) return false;  // nothing could load it again
    inverse->push_back("load " + name + "=" + func);
    for (std::string& s : SettingsOf(name)) inverse->push_back(std::move(s));
    for (std::string& l : LinksOf(name)) inverse->push_back(std::move(l));
    return true;
  }
  if (StartsWith(line, "link ")) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    const std::string in = line.substr(5, eq - 5);
    const std::string prev = SourceOf(in);
    inverse->push_back(prev.empty() ? "unlink " + in : "link " + in + "=" + prev);
    return true;
  }
  if (StartsWith(line, "unlink ")) {
    const std::string in = line.substr(7);
    const std::string prev = SourceOf(in);
    if (!prev.empty()) inverse->push_back("link " + in + "=" + prev);
    return true;
  }
  return false;
}

std::string CSchAppPort::SourceOf(const std::string& in) {
  std::string source;
  // An input port answers the output it is linked to; with none the answer is empty, and
  // Execute gives back the line itself instead.
  if (!Execute(in, &source) || source == in) return {};
  return source;
}

std::string CSchAppPort::FunctionOf(const std::string& comp) {
  if (doc_)
    for (int32_t i = 0; i < doc_->Count(); ++i) {
      const CSchObj* o = doc_->At(i);
      if (o->Kind() != skMod) continue;
      const auto* m = static_cast<const CSchMod*>(o);
      if (m->CompName().Compare(comp.c_str(), true)) return m->FuncName().GetBfr();
    }
  // Not drawn (loaded behind the drawing's back).
  return LoadedAs(comp);
}

std::string CSchAppPort::LoadedAs(const std::string& comp) {
  // The command list keeps one load line per name, holding the last library loaded under it.
  std::string list;
  if (!app_ || app_->GetCmdList(&list) != S_OK) return {};
  const std::string head = "load " + comp + "=";
  for (size_t a = 0, b; a < list.size(); a = b + 2) {
    b = std::min(list.find("\r\n", a), list.size());
    if (list.compare(a, head.size(), head) == 0 && b > a + head.size()) return list.substr(a + head.size(), b - a - head.size());
  }
  return {};
}

std::vector<std::string> CSchAppPort::SettingsOf(const std::string& comp) {
  // The state listing gives every setting as the engine replays it from a setup.
  std::vector<std::string> out;
  if (!journal_ || !stateKept_) {
    state_.clear();
    if (!Execute("sys.state", &state_)) return out;
    stateKept_ = journal_ != nullptr;
  }
  const std::string& listing = state_;
  size_t start = 0;
  while (start < listing.size()) {
    size_t end = listing.find("\r\n", start);
    if (end == std::string::npos) end = listing.size();
    std::string l = listing.substr(start, end - start);
    if (OfComponent(l, comp)) out.push_back(std::move(l));
    start = end + 2;
  }
  return out;
}

std::vector<std::string> CSchAppPort::LinksOf(const std::string& comp) {
  std::vector<std::string> out;
  if (!app_) return out;
  // Its own inputs (and the engine's trigger input every component has) answer their sources.
  std::string ports;
  std::vector<std::string> ins = Execute(comp + ".iports", &ports) ? Items(ports) : std::vector<std::string>();
  if (std::none_of(ins.begin(), ins.end(), [](const std::string& p) { return strcasecmp(p.c_str(), "trigin") == 0; }))
    ins.push_back("trigin");
  for (const std::string& p : ins) {
    const std::string source = SourceOf(comp + "." + p);
    if (!source.empty()) out.push_back("link " + comp + "." + p + "=" + source);
  }
  // The inputs its outputs feed: every link made is in the command list (under the input as
  // written), so its link lines name them all; each is checked against the input's source,
  // which costs one query per candidate instead of one per input of the network.
  std::string list;
  if (app_->GetCmdList(&list) != S_OK) return out;
  std::vector<std::string> seen;
  for (size_t a = 0, b; a < list.size(); a = b + 2) {
    b = std::min(list.find("\r\n", a), list.size());
    const std::string l = list.substr(a, b - a);
    const size_t eq = l.find('=');
    if (!StartsWith(l, "link ") || eq == std::string::npos || !OfComponent(l.substr(eq + 1), comp)) continue;
    const std::string in = l.substr(5, eq - 5);
    if (OfComponent(in, comp)) continue;  // its own inputs are above
    bool dup = false;
    for (const std::string& s : seen) dup = dup || strcasecmp(s.c_str(), in.c_str()) == 0;
    if (dup) continue;
    seen.push_back(in);
    const std::string source = SourceOf(in);
    if (OfComponent(source, comp)) out.push_back("link " + in + "=" + source);
  }
  return out;
}
