#pragma once
// An unbuffered binary file as a byte stream: every read and write moves
// exactly the bytes asked for or raises a FileError.

#include <cstdint>
#include <string>

#include "model/Xstream.h"

struct FileError : StreamError {
  explicit FileError(int c, const std::string& what = "file error") : StreamError(what), code(c) {}
  int code;
};

class XFILE : public pstream {
 public:
  enum Mode { kRead = 1, kWrite = 2, kReadWrite = 3 };

  XFILE() = default;
  ~XFILE() override;
  XFILE(const XFILE&) = delete;
  XFILE& operator=(const XFILE&) = delete;

  // Opens an existing regular file without truncating it; a missing file is
  // created empty when `create` is set, else the open fails. Anything but a
  // regular file (a FIFO, a device, a folder) is refused at once without
  // waiting on it. Raises FileError(1).
  void Open(const std::string& name, bool create, Mode mode = kReadWrite);
  void Close();
  // Flushes the written bytes to the device; raises FileError on failure.
  void Sync();

  void write(const void* bytes, size_t n) override;
  void read(void* bytes, size_t n) override;
  // Bytes between the position and the end of the file; 0 when closed.
  int64_t available() const override;

  bool IsOpen() const { return fd_ >= 0; }
  bool Created() const { return created_; }
  const std::string& FileName() const { return name_; }

 private:
  int fd_ = -1;
  bool created_ = false;
  std::string name_;
};
