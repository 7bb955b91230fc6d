#pragma once
// tgxctl's two command families. Output is UTF-8, one record per line, fields
// separated by one TAB. Each returns the process exit code.

#include <string>
#include <vector>

class EPROJECT;

namespace tgxctl {
class SignalGuard;
}

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
// `signals` cancels the session on Ctrl-C or SIGTERM.
int RunLinkCommand(const std::vector<std::string>& args, SignalGuard& signals);
// True when the words name a link command (after any link options).
bool IsLinkCommand(const std::vector<std::string>& args);
// Loads FILE as the import dialog does and converts it as the import does
// (every form becomes type 1, one row per centimetre). Returns 0, or the exit
// code after a message on stderr: the file did not load, or a defined form
// does not convert (`consequence` ends that message, e.g. "файл не записан").
int LoadAndConvert(const std::string& file, EPROJECT& converted, const char* consequence);
// import-csv, export-csv.
int RunExchangeCommand(const std::vector<std::string>& args);
// ports: the serial ports a link command can reach.
int RunPortsCommand(const std::vector<std::string>& args);
// journal list | journal export.
int RunJournalCommand(const std::vector<std::string>& args);
// Refuses an output path that cannot name a file to save ("dir/", ".hidden",
// a device): a message on stderr and false.
bool SaveTargetAcceptable(const std::string& out);
// Writes `project` to `path` as `read` writes the unit's tables; prints the
// path. 0, or the exit code after a message on stderr.
int SaveAndPrint(EPROJECT& project, const std::string& path);
// The help text of each family, for `tgxctl --help`.
std::string FormUsage();
std::string LinkUsage();
std::string ExchangeUsage();
std::string PortsUsage();
std::string JournalUsage();
}  // namespace tgxctl
