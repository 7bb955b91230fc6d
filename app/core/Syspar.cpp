#include "app/core/Syspar.h"

void SYSPAR::SetFolderFromPath(const std::string& path) {
  // The folder is everything up to and including the last separator, so that
  // a file name can be appended to it as it is.
  const size_t slash = path.find_last_of('/');
  forms_folder_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
