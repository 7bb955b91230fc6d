#pragma once
// Ctrl-C and SIGTERM for the whole run of a command. While a session runs
// they raise its Cancel, so the worker leaves the unit within one byte wait
// and closes the port; the command then reports as usual and says that the
// operator broke the session off. At any other time (a file being saved)
// they remove the temporary file of the save in flight and end the process
// as the signal would: an interrupted save never leaves a stray file.

#include <atomic>

namespace tgxctl {
class SignalGuard {
 public:
  // `linkCommand`: an interruption outside the session still ends a session
  // command, so it is told the same way.
  explicit SignalGuard(bool linkCommand);
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // While set, a signal cancels this session instead of ending the process.
  void SetCancel(std::atomic<bool>* cancel);
  // Whether a signal came since the guard was made.
  static bool Interrupted();
};

// Writes «Сеанс прерван оператором» on standard error.
void TellInterrupted();
}  // namespace tgxctl
