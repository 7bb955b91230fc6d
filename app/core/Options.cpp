#include "app/core/Options.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/core/Folders.h"
#include "model/Regfile.h"
#include "model/Safesave.h"

namespace tgx {
namespace {
const char kOptionsName[] = "tgx.options";
const char kBackupKey[] = "backup_before_change";
const char kFolderKey[] = "last_folder";
const char kRecentKey[] = "recent";  // recent1 .. recent5

// A settings file is a few lines; anything larger is not ours.
constexpr std::streamoff kMaxOptionsBytes = 64 * 1024;

std::string RecentKey(int i) { return kRecentKey + std::to_string(i + 1); }

bool Storable(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

void Set(const std::string& key, const std::string& value) {
  const std::string path = OptionsFilePath();
  std::map<std::string, std::string> options = ReadOptionsFile(path);
  options[key] = value;
  WriteOptionsFile(path, options);
}
}  // namespace

std::string OptionsFilePath() { return ConfigDir() + kOptionsName; }

std::map<std::string, std::string> ReadOptionsFile(const std::string& path) {
  std::map<std::string, std::string> out;
  std::string text;
  if (ReadRegularFile(path, static_cast<size_t>(kMaxOptionsBytes), text) != RegFileStatus::Ok) return out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

bool WriteOptionsFile(const std::string& path, const std::map<std::string, std::string>& options) {
  std::ostringstream text;
  for (const auto& [key, value] : options) {
    if (!Storable(key) || !Storable(value) || key.find('=') != std::string::npos || key.empty()) continue;
    text << key << '=' << value << '\n';
  }
  return SaveFileSafely(path, text.str());
}

bool LoadBackupOption() {
  const auto options = ReadOptionsFile(OptionsFilePath());
  const auto it = options.find(kBackupKey);
  return it == options.end() || it->second != "0";
}

void SaveBackupOption(bool on) { Set(kBackupKey, on ? "1" : "0"); }

std::vector<std::string> LoadRecentFiles() {
  const auto options = ReadOptionsFile(OptionsFilePath());
  std::vector<std::string> out;
  for (int i = 0; i < kRecentFiles; ++i) {
    const auto it = options.find(RecentKey(i));
    if (it != options.end() && !it->second.empty() &&
        std::find(out.begin(), out.end(), it->second) == out.end())
      out.push_back(it->second);
  }
  return out;
}

void AddRecentFile(const std::string& path) {
  if (path.empty() || !Storable(path)) return;
  std::vector<std::string> list = LoadRecentFiles();
  list.erase(std::remove(list.begin(), list.end(), path), list.end());
  list.insert(list.begin(), path);
  if (list.size() > static_cast<size_t>(kRecentFiles)) list.resize(kRecentFiles);
  const std::string file = OptionsFilePath();
  std::map<std::string, std::string> options = ReadOptionsFile(file);
  for (int i = 0; i < kRecentFiles; ++i) {
    if (i < static_cast<int>(list.size()))
      options[RecentKey(i)] = list[i];
    else
      options.erase(RecentKey(i));
  }
  WriteOptionsFile(file, options);
}

std::string LoadLastFolder() {
  const auto options = ReadOptionsFile(OptionsFilePath());
  const auto it = options.find(kFolderKey);
  return it == options.end() ? std::string() : it->second;
}

void SaveLastFolder(const std::string& folder) {
  if (Storable(folder)) Set(kFolderKey, folder);
}

}  // namespace tgx
