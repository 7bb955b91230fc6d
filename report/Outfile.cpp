#include "report/Outfile.h"

// The temporary file, its mode, the links and the cleanup on a signal are the
// shared safe-save helper's (model/Safesave.h).

OUTFILE::~OUTFILE() = default;

bool OUTFILE::Open(const std::string& target) {
  if (!file_.TempPath().empty()) return false;
  return file_.Open(target);
}

bool OUTFILE::Write(const std::string& bytes) { return file_.Write(bytes); }

bool OUTFILE::Commit() { return file_.Commit(); }
