#include "app/core/Syscfg.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "app/core/Fileserv.h"
#include "app/core/Markserv.h"
#include "model/Cp1251.h"
#include "model/Messages.h"

namespace {
const char kPortMapName[] = "tgx.ports";

// The configuration file's kind is registered once, during static
// initialisation; every user also asks for it first, so the order in which
// translation units start does not matter.
void EnsureRegistered() {
  static const bool once = RegisterSignature(tgx::kConfigBaseName, tgx::kConfigExtension, kConfigSignatureId);
  (void)once;
}
const bool g_registered = (EnsureRegistered(), true);

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0;
}

// mkdir -p for the folder part of `file`.
bool MakeFolderFor(const std::string& file) {
  const std::string dir = FolderOf(file);
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i != dir.size() && dir[i] != '/') continue;
    const std::string part = dir.substr(0, i);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string ReadWholeFile(const std::string& name) {
  XFILE f;
  f.Open(name, false, XFILE::kRead);
  const int64_t n = f.available();
  if (n > (1 << 20)) throw FileError(1, name + ": too large for a configuration file");
  std::string bytes(static_cast<size_t>(n), '\0');
  if (n > 0) f.read(bytes.data(), bytes.size());
  return bytes;
}

// A configuration file that is a link to a file elsewhere (kept with the
// user's other settings) is replaced there, so the link stays a link.
std::string ThroughLink(const std::string& name) {
  char* real = ::realpath(name.c_str(), nullptr);
  if (!real) return name;
  std::string target(real);
  std::free(real);
  return target;
}

std::unique_ptr<CHANPAR> g_chanpar;
std::unique_ptr<SYSPAR> g_syspar;
}  // namespace

namespace tgx {
std::string ConfigFilePath() {
  (void)g_registered;
  EnsureRegistered();
  return ConfigDir() + kConfigBaseName + FindSignature(kConfigSignatureId).Extension();
}

std::string PortMapFilePath() { return FolderOf(ConfigFilePath()) + kPortMapName; }
}  // namespace tgx

CHANPAR* Chanpar() { return g_chanpar.get(); }
SYSPAR* Syspar() { return g_syspar.get(); }

void CreateSettings() {
  g_chanpar = std::make_unique<CHANPAR>();
  g_syspar = std::make_unique<SYSPAR>();
  g_syspar->SetKeyboardType(1);
  // The form dialogs start in the user's own folder: the executable's folder
  // of an installed program is a system folder the user cannot write to.
  g_syspar->SetFormsFolderText(tgx::HomeFolder());
  LoadConfiguration();
}

void DestroySettings() {
  SaveConfiguration();
  g_chanpar.reset();
  g_syspar.reset();
}

bool LoadConfiguration() {
  if (!g_chanpar || !g_syspar) return false;
  const std::string name = tgx::ConfigFilePath();
  MARKER marker = FindSignature(kConfigSignatureId);
  if (!FileExists(name)) return false;
  try {
    // Read-only is enough to load, and lets a write-protected file still be read.
    XFILE f;
    f.Open(name, false, XFILE::kRead);
    // Only a regular file is opened (a FIFO or a device is refused at once),
    // and every stored length is checked against the bytes left in it
    // (XFILE::available), so a damaged length is a read error, not a huge
    // allocation.
    f >> marker.Text();
    if (!marker.Matches()) return false;
    // Each value goes into the live record as soon as it is read: a file cut
    // short keeps what it did hold.
    f >> g_chanpar->PortIndex;
    f >> g_chanpar->Spare;
    int32_t timeout = 0;
    f >> timeout;
    g_chanpar->ReplyTimeoutMs = ClampReplyTimeout(timeout);
    f >> g_chanpar->SpareFlag;
    std::string folder;
    f >> folder;
    g_syspar->SetFormsFolderText(std::move(folder));
    int32_t keyboard = 0;
    f >> keyboard;
    g_syspar->SetKeyboardType(keyboard);
    return true;
  } catch (...) {
    tgx::ShowMessage(tgx::FromUtf8("Ошибка при чтении файла конфигурации"));
    return false;
  }
}

bool SaveConfiguration() {
  if (!g_chanpar || !g_syspar) return false;
  const std::string name = ThroughLink(tgx::ConfigFilePath());
  const MARKER marker = FindSignature(kConfigSignatureId);
  MemoryStream image;
  marker.WriteSignature(image);
  image << g_chanpar->PortIndex << g_chanpar->Spare << g_chanpar->ReplyTimeoutMs << g_chanpar->SpareFlag;
  image << g_syspar->FormsFolder() << g_syspar->KeyboardType();

  std::string tmp;
  try {
    // The file is overwritten from its first byte and never shortened, so a
    // longer old file keeps its tail after the new end. The new contents go to
    // a fresh file that replaces the old one only once it is complete: a
    // failed save leaves the old file as it was.
    std::string bytes = image.Bytes();
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    if (exists) {
      if (!S_ISREG(st.st_mode)) throw FileError(1, name + ": not a regular file");
      if (::access(name.c_str(), W_OK) != 0) throw FileError(1, "configuration file is read-only");
      const std::string old = ReadWholeFile(name);
      if (old.size() > bytes.size()) bytes += old.substr(bytes.size());
    } else if (!MakeFolderFor(name)) {
      throw FileError(1, "cannot create the configuration folder");
    }
    tmp = name + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
      tmp.clear();
      throw FileError(1, "cannot create a temporary file");
    }
    ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
    ::close(fd);
    XFILE f;
    f.Open(tmp, false, XFILE::kReadWrite);
    f.write(bytes.data(), bytes.size());
    f.Sync();
    f.Close();
    if (::rename(tmp.c_str(), name.c_str()) != 0) throw FileError(1, "cannot replace the configuration file");
    return true;
  } catch (...) {
    if (!tmp.empty()) ::unlink(tmp.c_str());
    tgx::ShowMessage(tgx::FromUtf8("Ошибка при записи файла конфигурации"));
    return false;
  }
}
