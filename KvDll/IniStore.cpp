#include "KvDll/IniStore.h"

#include "KvDll/AtomicFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr const char* kFileName = "settings.ini";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// True when raw[i] is preceded by an odd run of backslashes, i.e. escaped.
bool escapedAt(std::string_view raw, size_t i) {
  size_t n = 0;
  while (i > n && raw[i - n - 1] == '\\') ++n;
  return n % 2 == 1;
}

// Drops unescaped blanks at both ends.
std::string_view trimRaw(std::string_view raw) {
  size_t b = 0;
  while (b < raw.size() && isBlank(raw[b])) ++b;
  size_t e = raw.size();
  while (e > b && isBlank(raw[e - 1]) && !escapedAt(raw, e - 1)) --e;
  return raw.substr(b, e - b);
}

std::string unescape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c != '\\' || i + 1 == raw.size()) {
      out += c;
      continue;
    }
    switch (char n = raw[++i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 's': out += ' '; break;
      case '0': out += '\0'; break;
      default: out += n; break;  // "\\", "\=", "\]" and any other character stand for themselves
    }
  }
  return out;
}

enum class Kind { Section, Key, Value };

void escapeInto(std::string& out, std::string_view s, Kind kind) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\t': out += "\\t"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    // Only an end character can be trimmed away or change how the line is read.
    const bool atEnd = i == 0 || i + 1 == s.size();
    if (c == ' ' && atEnd) {
      out += "\\s";
    } else if ((kind == Kind::Key && c == '=') || (kind == Kind::Section && c == ']') ||
               (kind == Kind::Key && i == 0 && (c == '[' || c == ';' || c == '#'))) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
}

// Index of the first unescaped ch in raw, or npos.
size_t findUnescaped(std::string_view raw, char ch) {
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\') {
      ++i;
      continue;
    }
    if (raw[i] == ch) return i;
  }
  return std::string_view::npos;
}

IniSection* findSection(IniDoc& doc, std::string_view name) {
  for (IniSection& s : doc)
    if (sameName(s.name, name)) return &s;
  return nullptr;
}

void setIn(IniSection& s, std::string_view key, std::string_view value) {
  for (IniEntry& e : s.entries)
    if (sameName(e.key, key)) {
      e.value = value;
      return;
    }
  s.entries.push_back(IniEntry{std::string(key), std::string(value)});
}

bool validAppName(const std::string& app) {
  return !app.empty() && app != "." && app != ".." && app.find('/') == std::string::npos &&
         app.find('\0') == std::string::npos;
}

std::string envValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string homeDir() {
  std::string home = envValue("HOME");
  if (!home.empty()) return home;
  struct passwd pw, *res = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &res) == 0 && res && res->pw_dir) return res->pw_dir;
  return {};
}

std::string join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool makeDirs(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// A missing file reads as empty; any other failure answers false so that a write never
// replaces a store it could not read.
bool readFile(const std::string& path, std::string& text) {
  text.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Guards the read-modify-write of a settings file within this process; flock on the side file
// does the same between processes.
std::mutex& writeLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}

}  // namespace

IniDoc ParseIni(std::string_view text) {
  IniDoc doc;
  IniSection* cur = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    size_t b = 0;
    while (b < line.size() && isBlank(line[b])) ++b;
    line.remove_prefix(b);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;

    if (line[0] == '[') {
      std::string_view body = line.substr(1);
      size_t close = findUnescaped(body, ']');
      // Keys under a broken header belong to no section we know; do not file them elsewhere.
      cur = nullptr;
      if (close == std::string_view::npos || !trimRaw(body.substr(close + 1)).empty()) continue;
      std::string name = unescape(trimRaw(body.substr(0, close)));
      cur = findSection(doc, name);
      if (!cur) {
        doc.push_back(IniSection{std::move(name), {}});
        cur = &doc.back();
      }
      continue;
    }

    size_t eq = findUnescaped(line, '=');
    if (!cur || eq == std::string_view::npos) continue;
    std::string key = unescape(trimRaw(line.substr(0, eq)));
    if (key.empty()) continue;
    setIn(*cur, key, unescape(trimRaw(line.substr(eq + 1))));
  }
  return doc;
}

std::string FormatIni(const IniDoc& doc) {
  std::string out;
  for (const IniSection& s : doc) {
    if (!out.empty()) out += '\n';
    out += '[';
    escapeInto(out, s.name, Kind::Section);
    out += "]\n";
    for (const IniEntry& e : s.entries) {
      if (e.key.empty()) continue;
      escapeInto(out, e.key, Kind::Key);
      out += '=';
      escapeInto(out, e.value, Kind::Value);
      out += '\n';
    }
  }
  return out;
}

const std::string* IniFind(const IniDoc& doc, std::string_view section, std::string_view key) {
  for (const IniSection& s : doc) {
    if (!sameName(s.name, section)) continue;
    for (const IniEntry& e : s.entries)
      if (sameName(e.key, key)) return &e.value;
    return nullptr;
  }
  return nullptr;
}

void IniSet(IniDoc& doc, std::string_view section, std::string_view key, std::string_view value) {
  IniSection* s = findSection(doc, section);
  if (!s) {
    doc.push_back(IniSection{std::string(section), {}});
    s = &doc.back();
  }
  setIn(*s, key, value);
}

std::string IniSectionKey(const std::string& appName, const std::string& section) {
  return "Software\\" + appName + "\\" + section;
}

std::string IniConfigDir(const std::string& appName) {
  if (!validAppName(appName)) return {};
  std::string dir = envValue("KELVANE_CONFIG_DIR");
  if (!dir.empty()) return dir;
  dir = envValue("XDG_CONFIG_HOME");
  if (!dir.empty() && dir[0] == '/') return join(dir, appName);  // relative values are ignored
  dir = homeDir();
  if (dir.empty()) return {};
  return join(join(dir, ".config"), appName);
}

bool IniRead(const std::string& appName, const std::string& section, const std::string& key, std::string& value) {
  const std::string dir = IniConfigDir(appName);
  if (dir.empty()) return false;
  std::string text;
  if (!readFile(join(dir, kFileName), text)) return false;
  const IniDoc doc = ParseIni(text);
  const std::string* v = IniFind(doc, IniSectionKey(appName, section), key);
  if (!v) return false;
  value = *v;
  return true;
}

bool IniWrite(const std::string& appName, const std::string& section, const std::string& key,
              const std::string& value) {
  const std::string dir = IniConfigDir(appName);
  if (dir.empty() || key.empty() || !makeDirs(dir)) return false;
  const std::string path = join(dir, kFileName);

  std::lock_guard lk(writeLock());
  int lockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd < 0) return false;
  while (::flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(lockFd);
      return false;
    }
  }
  std::string text;
  bool ok = readFile(path, text);
  if (ok) {
    IniDoc doc = ParseIni(text);
    IniSet(doc, IniSectionKey(appName, section), key, value);
    std::string error;
    ok = CAtomicFile::Save(path, FormatIni(doc), error);
  }
  ::close(lockFd);  // releases the flock
  return ok;
}
