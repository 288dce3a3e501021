#include "KvPlugins/Network.h"

#include <QDir>
#include <algorithm>
#include <cctype>

namespace KvNet {

// ---------------------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------------------

std::string Trimmed(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsEvent(const std::string& var, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (SameText(var, n)) return true;
  return false;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    std::string entry = Trimmed(text.substr(at, end - at));
    if (!entry.empty()) out.push_back(std::move(entry));
    at = end + 1;
  }
  return out;
}

std::string TypeOf(const std::string& name) {
  const size_t cut = name.find_last_of("/\\");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool ValidLabel(const std::string& label) {
  if (label.empty() || !isLetter(label[0])) return false;
  if (SameText(label, "kvs") || SameText(label, "sys")) return false;
  return std::all_of(label.begin(), label.end(),
                     [](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

// ---------------------------------------------------------------------------------------
// Engine reads
// ---------------------------------------------------------------------------------------

std::vector<Component> Components(IApp* app) {
  std::vector<Component> out;
  if (!app) return out;
  long n = 0;
  if (app->get_CompCount(&n) != S_OK) return out;
  out.reserve(static_cast<size_t>(std::max(0L, n)));
  for (long i = 0; i < n; ++i) {
    Component c;
    if (app->get_CompLabel(i, &c.label) != S_OK) continue;
    if (app->get_CompName(i, &c.name) != S_OK) c.name.clear();
    out.push_back(std::move(c));
  }
  return out;
}

std::vector<std::string> Ports(IApp* app, const std::string& label, const char* list) {
  std::string text;
  if (!app || label.empty() || app->get_str(label, list, &text) != S_OK) return {};
  return SplitList(text);
}

std::optional<Source> ParseSource(const std::string& query, long result, const std::string& answer) {
  if (result != 0 || answer.empty() || answer == query) return std::nullopt;
  const size_t dot = answer.find('.');
  if (dot == std::string::npos) return std::nullopt;
  Source s{answer.substr(0, dot), answer.substr(dot + 1)};
  if (s.label.empty() || s.port.empty()) return std::nullopt;
  return s;
}

std::optional<Source> InputSource(IApp* app, const std::string& label, const std::string& port) {
  if (!app || label.empty() || port.empty()) return std::nullopt;
  const std::string query = label + "." + port;
  std::string answer;
  long result = -1;
  if (app->Execute(query, &answer, &result) != S_OK) return std::nullopt;
  return ParseSource(query, result, answer);
}

std::vector<std::string> Libraries(IUtils* utils) {
  std::vector<std::string> out;
  std::string path;
  if (!utils || utils->get_LibraryPath(&path) != S_OK || path.empty()) return out;
  const QDir dir(QString::fromStdString(path));
  const QStringList files = dir.entryList({"*.bin"}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
  for (const QString& f : files) {
    const qsizetype dot = f.lastIndexOf('.');
    const QString name = dot > 0 ? f.left(dot) : f;
    if (!name.isEmpty()) out.push_back(name.toStdString());
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Watch
// ---------------------------------------------------------------------------------------

void Watch::Begin(IApp* a) {
  End();
  if (!a) return;
  long c = 0;
  if (a->Advise(this, &c) != S_OK) return;
  app = KvPtr<IApp>(a);
  cookie = c;
}

void Watch::End() {
  if (!app) return;
  // Let go first: an event raised while unadvising must not find a half-ended watch.
  KvPtr<IApp> a = app;
  app.reset();
  a->Unadvise(cookie);
  cookie = 0;
}

void Watch::ValueChanged(const std::string& comp, const std::string& var) {
  if (app && onChange) onChange(comp, var);
}

}  // namespace KvNet
