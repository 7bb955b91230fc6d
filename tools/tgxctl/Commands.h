#pragma once
// tgxctl's two command families. Output is UTF-8, one record per line, fields
// separated by one TAB. Each returns the process exit code.

#include <string>
#include <vector>

class EPROJECT;

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
// Loads FILE as the import dialog does and converts it as the import does
// (every form becomes type 1, one row per centimetre). Returns 0, or the exit
// code after a message on stderr: the file did not load, or a defined form
// does not convert (`consequence` ends that message, e.g. "файл не записан").
int LoadAndConvert(const std::string& file, EPROJECT& converted, const char* consequence);
// The help text of each family, for `tgxctl --help`.
std::string FormUsage();
std::string LinkUsage();
}  // namespace tgxctl
