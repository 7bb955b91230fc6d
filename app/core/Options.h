#pragma once
// Small settings of the window program that the configuration file "tgx.cfg"
// has no room for (its layout is fixed): a text file "tgx.options" beside it,
// one "key=value" a line. Unknown keys are kept when the file is rewritten,
// so an older program does not drop a newer one's settings.
//
// Nothing here throws or shows a message: a file that cannot be read gives
// the defaults, a file that cannot be written keeps the old one whole.

#include <map>
#include <string>
#include <vector>

namespace tgx {

// "tgx.options" in ConfigDir().
std::string OptionsFilePath();

// Reads every key=value line of `path`; blank lines, '#' comments and lines
// without '=' are skipped; the first '=' splits, so values may hold '='.
std::map<std::string, std::string> ReadOptionsFile(const std::string& path);
// Writes the keys (sorted) through a temporary file renamed over `path`.
// Keys or values holding a line break are left out. False when not written.
bool WriteOptionsFile(const std::string& path, const std::map<std::string, std::string>& options);

// Read the unit's tables into the session journal before a write or a delete
// changes them. On unless the file says "backup_before_change=0".
bool LoadBackupOption();
void SaveBackupOption(bool on);

// The most recent form files, newest first, at most kRecentFiles of them.
inline constexpr int kRecentFiles = 5;
std::vector<std::string> LoadRecentFiles();
// Puts `path` first (removing it further down) and keeps kRecentFiles.
void AddRecentFile(const std::string& path);
// The folder the last file dialog was left in; "" when none yet.
std::string LoadLastFolder();
void SaveLastFolder(const std::string& folder);

}  // namespace tgx
