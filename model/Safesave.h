#pragma once
// Saving a file so that a failed or interrupted save never destroys the file
// that was there: the content goes to a temporary file in the target's own
// folder, is flushed to disk and then renamed over the target.
//
// - The temporary name is ".tgx-XXXXXX", short enough beside any legal file
//   name (a name of 255 bytes cannot take a suffix).
// - Temporary files in flight are kept in a process-wide table, so that a
//   signal handler can remove them with RemovePendingTempFiles() before the
//   process dies: an interrupted save leaves no hidden file behind.
// - A symbolic link at the target is followed (the file it names is replaced
//   and the link stays) only when the link belongs to the user or to the
//   owner of its folder. In a shared folder such as /tmp anyone can plant a
//   link; following it would let them point a privileged save at any file.
// - Only a regular file is ever replaced; folders and devices are refused.
//
// Paths are native (UTF-8 on Linux); the `why` texts are Windows-1251.

#include <string>
#include <string_view>

// A save in steps, for writers that produce the content themselves (by the
// temporary path): Open, write, Commit. Destroying it uncommitted removes the
// temporary file.
class SAFEFILE {
 public:
  SAFEFILE() = default;
  ~SAFEFILE();
  SAFEFILE(const SAFEFILE&) = delete;
  SAFEFILE& operator=(const SAFEFILE&) = delete;

  // Creates the empty temporary file beside the real target, with the mode
  // (and, where allowed, the owner) of the file it will replace; a new file
  // gets the mode a plain create gives. False with the reason in `why`.
  bool Open(const std::string& target, std::string* why = nullptr);
  const std::string& TempPath() const { return temp_; }
  const std::string& TargetPath() const { return real_; }  // after links
  // Replaces the temporary file's content with `bytes`.
  bool Write(std::string_view bytes);
  // Flushes the temporary file to disk and renames it over the target.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Abandon();

 private:
  std::string real_;
  std::string temp_;
  int slot_ = -1;
  bool committed_ = false;
};

// The whole save in one call.
bool SaveFileSafely(const std::string& target, std::string_view bytes, std::string* why = nullptr);

// Where a save to `target` really writes: the target itself, or the file its
// symbolic links name when each link may be followed (see above). False with
// the reason when the links may not be followed or the file there is not a
// regular one.
bool ResolveSaveTarget(const std::string& target, std::string& real, std::string* why = nullptr);

// Whether `path`, as the operator gave it, may be saved to before any
// extension is added: false for a path without a file name ("dir/"), a file
// name that is all extension (".hidden"), anything that exists and is not a
// regular file (a folder, /dev/null) and a link that may not be followed.
// `message` then says which, with the path (Windows-1251).
bool CheckSaveTarget(const std::string& path, std::string& message);

// Removes every temporary file of a save in flight. Async-signal-safe: meant
// for SIGINT/SIGTERM handlers, which then end the process.
void RemovePendingTempFiles();

// How many temporary files are in flight now (tests).
int PendingTempFileCount();
