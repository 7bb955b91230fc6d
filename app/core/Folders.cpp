#include "app/core/Folders.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {
std::optional<std::string>& ExePathOverride() {
  static std::optional<std::string> p;
  return p;
}

std::string ReadExePath() {
  char buf[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// An environment variable that names a folder; empty when unset or empty.
std::string EnvFolder(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? WithSlash(v) : std::string();
}

// The XDG base folder `name`, or `fallback` under the home folder. The base
// folder rules ignore a relative path.
std::string XdgFolder(const char* name, const char* fallback) {
  if (const char* v = std::getenv(name); v && v[0] == '/') return WithSlash(v);
  const std::string home = tgx::HomeFolder();
  return home.empty() ? std::string() : home + fallback;
}

bool Present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}
}  // namespace

namespace tgx {

const std::string& ExePath() {
  static const std::string real = ReadExePath();
  return ExePathOverride() && !ExePathOverride()->empty() ? *ExePathOverride() : real;
}

void SetExePathForTest(const std::string& path) { ExePathOverride() = path; }

bool IsPortableInstall() {
  const std::string dir = FolderOf(ExePath());
  if (dir.empty()) return false;
  // Whatever sits there under the configuration's name counts, even a file
  // that cannot be read: the program must not quietly move elsewhere.
  return Present(dir + kConfigBaseName + kConfigExtension) || Present(dir + kPortableMarkerName);
}

std::string ConfigDir() {
  if (std::string dir = EnvFolder("TGX_CONFIG_DIR"); !dir.empty()) return dir;
  if (IsPortableInstall()) return FolderOf(ExePath());
  const std::string dir = XdgFolder("XDG_CONFIG_HOME", ".config/");
  return dir.empty() ? FolderOf(ExePath()) : dir + "tgx/";
}

std::string DataDir() {
  if (std::string dir = EnvFolder("TGX_DATA_DIR"); !dir.empty()) return dir;
  if (IsPortableInstall()) return ConfigDir();
  const std::string dir = XdgFolder("XDG_DATA_HOME", ".local/share/");
  return dir.empty() ? FolderOf(ExePath()) : dir + "tgx/";
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return WithSlash(home);
  // A service or a su shell may have no HOME; the account still has a home.
  passwd pw {};
  passwd* found = nullptr;
  char buf[4096];
  if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && pw.pw_dir && pw.pw_dir[0] == '/')
    return WithSlash(pw.pw_dir);
  return std::string();
}

}  // namespace tgx
