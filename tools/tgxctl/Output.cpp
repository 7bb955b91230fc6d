#include "tgxctl/Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/Cp1251.h"
#include "tgxctl/Commands.h"

namespace tgxctl {
namespace {
int g_firstError = 0;  // errno of the first failed write; 0 while all went well

void NoteFailure() {
  if (g_firstError == 0) g_firstError = errno != 0 ? errno : EIO;
}
}  // namespace

void Out(const std::string& utf8) {
  if (utf8.empty()) return;
  errno = 0;
  if (std::fwrite(utf8.data(), 1, utf8.size(), stdout) != utf8.size()) NoteFailure();
}

void OutLine1251(const std::string& cp1251) { Out(tgx::ToUtf8(cp1251) + "\n"); }

int FinishOutput(int code) {
  errno = 0;
  if (std::fflush(stdout) != 0) NoteFailure();
  if (g_firstError == 0 && std::ferror(stdout)) g_firstError = EIO;
  if (g_firstError == 0) return code;
  std::fprintf(stderr, "tgxctl: вывод не записан: %s\n", std::strerror(g_firstError));
  return code == kExitOk ? kExitLoadFailed : code;
}
}  // namespace tgxctl
