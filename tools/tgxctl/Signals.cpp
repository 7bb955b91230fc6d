#include "tgxctl/Signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "model/Safesave.h"

namespace tgxctl {
namespace {
std::atomic<std::atomic<bool>*> g_cancel{nullptr};
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_linkCommand = 0;
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

const char kInterrupted[] = "Сеанс прерван оператором\n";
}  // namespace

void TellInterrupted() {
  const ssize_t ignored = ::write(STDERR_FILENO, kInterrupted, sizeof kInterrupted - 1);
  (void)ignored;
}

namespace {

extern "C" void OnSignal(int sig) {
  g_interrupted = 1;
  if (std::atomic<bool>* cancel = g_cancel.load()) {
    cancel->store(true);
    return;
  }
  RemovePendingTempFiles();
  if (g_linkCommand) TellInterrupted();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}
}  // namespace

SignalGuard::SignalGuard(bool linkCommand) {
  g_linkCommand = linkCommand ? 1 : 0;
  g_interrupted = 0;
  struct sigaction sa {};
  sa.sa_handler = &OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &g_oldInt);
  sigaction(SIGTERM, &sa, &g_oldTerm);
}

SignalGuard::~SignalGuard() {
  sigaction(SIGINT, &g_oldInt, nullptr);
  sigaction(SIGTERM, &g_oldTerm, nullptr);
  g_cancel.store(nullptr);
}

void SignalGuard::SetCancel(std::atomic<bool>* cancel) { g_cancel.store(cancel); }

bool SignalGuard::Interrupted() { return g_interrupted != 0; }

}  // namespace tgxctl
