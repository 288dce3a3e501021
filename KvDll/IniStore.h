#pragma once
// The settings store: text values under the section "Software\" + application name + "\" +
// section in one INI-style file, settings.ini, in $KELVANE_CONFIG_DIR, else
// $XDG_CONFIG_HOME/<application name>, else ~/.config/<application name>.
//
// Section and key names compare ignoring ASCII case, as registry names do; the first spelling
// is kept. Every name and value round-trips: CR, LF, tab, NUL and backslash are escaped, and
// so are leading and trailing blanks, "=" in keys and "]" in section names. Reading never
// fails on a malformed file: a line that is neither a header, a key line, a comment (";" or
// "#") nor blank is skipped, and so are the key lines under a malformed header.
//
// A write replaces the file by a complete new one (temporary file, fsync, rename), under a
// lock that keeps writers of this and other processes from losing each other's updates, so a
// failed or interrupted write leaves the previous contents. All calls: any thread.

#include <string>
#include <string_view>
#include <vector>

struct IniEntry {
  std::string key, value;
  bool operator==(const IniEntry&) const = default;
};
struct IniSection {
  std::string name;
  std::vector<IniEntry> entries;
  bool operator==(const IniSection&) const = default;
};
using IniDoc = std::vector<IniSection>;

// Sections and keys in file order; a repeated section is merged into its first occurrence and
// a repeated key keeps its first position and its last value. Empty keys are dropped.
IniDoc ParseIni(std::string_view text);
// Text that ParseIni reads back as doc (for a doc without repeated names or empty keys).
std::string FormatIni(const IniDoc& doc);

// Null when absent.
const std::string* IniFind(const IniDoc& doc, std::string_view section, std::string_view key);
// Replaces the value in place, or appends the key (and the section) when new.
void IniSet(IniDoc& doc, std::string_view section, std::string_view key, std::string_view value);

// "Software\" + appName + "\" + section.
std::string IniSectionKey(const std::string& appName, const std::string& section);
// The folder of settings.ini; empty when appName cannot be a folder name (empty, ".", "..",
// containing "/" or NUL) or no home folder is known.
std::string IniConfigDir(const std::string& appName);

// False when the file, the section or the key is missing; value is then left alone.
bool IniRead(const std::string& appName, const std::string& section, const std::string& key, std::string& value);
// Creates the folder when needed. False, with the file unchanged, when the write cannot
// complete or key is empty.
bool IniWrite(const std::string& appName, const std::string& section, const std::string& key,
              const std::string& value);
