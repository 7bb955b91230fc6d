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
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
  // that never comes. Whatever the name turns out to be, only a regular file
  // is kept open below; on a regular file the flag changes nothing.
  const int flags = OpenFlags(mode) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(name.c_str(), flags);
  if (fd < 0 && errno == ENOENT && create) {
    // O_EXCL: if another copy of the program created it meanwhile, we open
    // theirs rather than claim we made it.
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) created_ = true;
    else if (errno == EEXIST) fd = ::open(name.c_str(), flags);
  }
  if (fd < 0) throw FileError(1, "cannot open " + name);
  // A device, a FIFO or a folder under the file's name has no size to bound
  // the reads by, and reading it may never end.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw FileError(1, name + ": not a regular file");
  }
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
  // Only regular files are open, so the size always bounds what is left; a
  // file that cannot tell is taken as empty rather than as endless.
  struct stat st {};
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (::fstat(fd_, &st) != 0 || pos < 0) return 0;
  return st.st_size > pos ? static_cast<int64_t>(st.st_size - pos) : 0;
}
