#include "report/Outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
mode_t NewFileMode() {
  // What a plain create would give: 0666 less the umask, read without
  // changing it, since umask() is process-wide.
  mode_t mask = 022;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, "Umask:", 6) == 0) {
        mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
        break;
      }
    std::fclose(f);
  }
  return 0666 & ~mask;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}
}  // namespace

OUTFILE::~OUTFILE() {
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
}

bool OUTFILE::Open(const std::string& target) {
  if (!temp_.empty()) return false;
  // Renaming over a symbolic link would replace the link, not the file it
  // names: write beside the real file instead.
  std::string path = target;
  struct stat link {};
  if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real) return false;
    path = real;
    std::free(real);
  }
  // A folder or a device is never replaced by a document.
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;
  const size_t slash = path.find_last_of('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;

  std::string tmp = (slash == std::string::npos ? std::string() : FolderOf(path)) + "." + base + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  const mode_t mode = exists ? (old.st_mode & 07777) : NewFileMode();
  const bool ok = ::fchmod(fd, mode) == 0;
  ::close(fd);
  temp_ = tmp;
  if (!ok) return false;
  target_ = path;
  return true;
}

bool OUTFILE::Write(const std::string& bytes) {
  if (target_.empty() || committed_) return false;
  const int fd = ::open(temp_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && ok;
}

bool OUTFILE::Commit() {
  if (target_.empty() || committed_) return false;
  const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  // Make the rename itself durable; a failure here no longer endangers data.
  const int dfd = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}
