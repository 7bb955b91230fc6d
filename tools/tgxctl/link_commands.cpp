#include "tgxctl/Commands.h"

// Placeholder until the link commands land.
namespace tgxctl {
bool IsLinkCommand(const std::vector<std::string>&) { return false; }
int RunLinkCommand(const std::vector<std::string>&) { return kExitUsage; }
std::string LinkUsage() { return {}; }
}  // namespace tgxctl
