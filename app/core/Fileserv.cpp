#include "app/core/Fileserv.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int OpenFlags(XFILE::Mode mode) {
  switch (mode) {
    case XFILE::kRead: return O_RDONLY;
    case XFILE::kWrite: return O_WRONLY;
    default: return O_RDWR;
  }
}
}  // namespace

XFILE::~XFILE() { Close(); }

void XFILE::Open(const std::string& name, bool create, Mode mode) {
  Close();
  created_ = false;
  name_ = name;
  int fd = ::open(name.c_str(), OpenFlags(mode) | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create) {
    // O_EXCL: if another copy of the program created it meanwhile, we open
    // theirs rather than claim we made it.
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) created_ = true;
    else if (errno == EEXIST) fd = ::open(name.c_str(), OpenFlags(mode) | O_CLOEXEC);
  }
  if (fd < 0) throw FileError(1, "cannot open " + name);
  fd_ = fd;
}

void XFILE::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void XFILE::Sync() {
  if (fd_ < 0 || ::fsync(fd_) != 0) throw FileError(1, "cannot flush " + name_);
}

void XFILE::write(const void* bytes, size_t n) {
  const char* p = static_cast<const char*>(bytes);
  while (n > 0) {
    if (fd_ < 0) throw FileError(1, "write to a closed file");
    const ssize_t k = ::write(fd_, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) throw FileError(1, "short write to " + name_);
    p += k;
    n -= static_cast<size_t>(k);
  }
}

void XFILE::read(void* bytes, size_t n) {
  char* p = static_cast<char*>(bytes);
  while (n > 0) {
    if (fd_ < 0) throw FileError(1, "read from a closed file");
    const ssize_t k = ::read(fd_, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) throw FileError(1, "short read from " + name_);
    p += k;
    n -= static_cast<size_t>(k);
  }
}

int64_t XFILE::available() const {
  if (fd_ < 0) return 0;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size > pos ? static_cast<int64_t>(st.st_size - pos) : 0;
}
