// The configuration reader over any file contents: it loads, ignores or
// reports the file, and never allocates beyond what the file holds.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/core/Syscfg.h"
#include "model/Messages.h"

namespace {
std::string& Folder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/tgx-config-fuzz-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tgx::RecordingSink sink;
  static tgx::ScopedMessageSink quiet(sink);
  static bool ready = [] {
    ::setenv("TGX_CONFIG_DIR", Folder().c_str(), 1);
    CreateSettings();
    return true;
  }();
  (void)ready;
  const std::string name = Folder() + "/tgx.cfg";
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  sink.shown.clear();
  Syspar()->SetFormsFolderText({});
  const bool loaded = LoadConfiguration();
  // A read error is reported exactly once; a loaded or ignored file not at all.
  if (loaded && !sink.shown.empty()) std::abort();
  if (sink.shown.size() > 1) std::abort();
  if (Syspar()->FormsFolder().size() > size) std::abort();
  return 0;
}
