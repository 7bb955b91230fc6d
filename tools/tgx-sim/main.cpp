// tgx-sim: a computing unit on a pseudo-terminal, for trying the program and
// its tests without hardware. See `tgx-sim --help`.

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PtyServer.h"
#include "SimOptions.h"
#include "SimUnit.h"
#include "Version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

tgxsim::PtyServer* volatile g_server = nullptr;
volatile sig_atomic_t g_stopRequested = 0;

extern "C" void OnStopSignal(int) {
  g_stopRequested = 1;
  if (g_server) g_server->Stop();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("tgx-sim %u.%u.%u.%u\n", tgx::kVersionMajor, tgx::kVersionMinor, tgx::kVersionRelease,
                tgx::kVersionBuild);
    return kExitOk;
  }
  tgxsim::SimOptions options;
  std::string error;
  switch (tgxsim::ParseOptions(args, options, error)) {
    case tgxsim::ParseOutcome::kHelp:
      std::fputs(tgxsim::UsageText().c_str(), stdout);
      return kExitOk;
    case tgxsim::ParseOutcome::kError:
      std::fprintf(stderr, "tgx-sim: %s (see tgx-sim --help)\n", error.c_str());
      return kExitUsage;
    case tgxsim::ParseOutcome::kRun:
      break;
  }

  // Handlers first, so that a signal during start-up still removes the link.
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  tgxsim::SimUnit unit(options);
  if (!unit.Start(error)) {
    std::fprintf(stderr, "tgx-sim: %s\n", error.c_str());
    return kExitFailed;
  }
  tgxsim::PtyServer server(unit, options);
  if (!server.Open(error)) {
    std::fprintf(stderr, "tgx-sim: %s\n", error.c_str());
    return kExitFailed;
  }

  g_server = &server;
  if (g_stopRequested) server.Stop();

  // The first line is what a caller waits for: the unit is listening.
  std::printf("%s\n", server.SlavePath().c_str());
  std::fflush(stdout);

  server.Run();
  g_server = nullptr;
  unit.SaveState();  // once more, in case a save during the run failed
  return kExitOk;
}
