#pragma once
// A file written beside its target under a temporary name and renamed over the
// target only when complete, so that a failed write never destroys the file
// that was there. Used for the site fields and for the PDF document.

#include <string>

#include "model/Safesave.h"

class OUTFILE {
 public:
  OUTFILE() = default;
  ~OUTFILE();  // removes the temporary file unless committed
  OUTFILE(const OUTFILE&) = delete;
  OUTFILE& operator=(const OUTFILE&) = delete;

  // Creates the empty temporary file in the target's folder. False when the
  // folder cannot take it, or the target exists and is not a regular file.
  bool Open(const std::string& target);
  // Where the content goes until Commit.
  const std::string& TempPath() const { return file_.TempPath(); }
  // Writes `bytes` as the whole content of the temporary file.
  bool Write(const std::string& bytes);
  // Flushes the temporary file to disk and renames it over the target.
  bool Commit();

 private:
  SAFEFILE file_;
};
