#include "model/Regfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

RegFileStatus ReadRegularFile(const std::string& path, size_t maxBytes, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR || errno == EACCES ? RegFileStatus::Missing
                                                                             : RegFileStatus::Failed;
  struct stat st {};
  RegFileStatus status = RegFileStatus::Ok;
  if (::fstat(fd, &st) != 0) {
    status = RegFileStatus::Failed;
  } else if (!S_ISREG(st.st_mode)) {
    status = RegFileStatus::NotRegular;
  } else {
    size_t size = static_cast<size_t>(st.st_size);
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
      status = RegFileStatus::TooLarge;
      size = maxBytes;
    }
    bytes.resize(size);
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        status = RegFileStatus::Failed;
        break;
      }
      if (n == 0) break;  // shrunk since fstat: what is there is all there is
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
  }
  ::close(fd);
  if (status != RegFileStatus::Ok && status != RegFileStatus::TooLarge) bytes.clear();
  return status;
}
