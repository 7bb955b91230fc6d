#pragma once
// tgxctl's two command families. Output is UTF-8, one record per line, fields
// separated by one TAB. Each returns the process exit code.

#include <string>
#include <vector>

namespace tgxctl {
constexpr int kExitOk = 0;
constexpr int kExitSessionFailed = 1;
constexpr int kExitLoadFailed = 2;
constexpr int kExitNotConverted = 3;
constexpr int kExitDifferent = 4;
constexpr int kExitUsage = 64;

// check, tables, convert, pack. `args` starts with the command word.
int RunFormCommand(const std::vector<std::string>& args);
// [--port COMn | --device PATH] [--timeout MS] [--log] read|write|compare|delete ...
int RunLinkCommand(const std::vector<std::string>& args);
// True when the words name a link command (after any link options).
bool IsLinkCommand(const std::vector<std::string>& args);
// The help text of each family, for `tgxctl --help`.
std::string FormUsage();
std::string LinkUsage();
}  // namespace tgxctl
