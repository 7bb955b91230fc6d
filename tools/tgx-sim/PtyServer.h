#pragma once
// Carries a SimUnit over a pseudo-terminal: opens the terminal, keeps its
// slave side open so that the master never sees the line hang up between the
// program's opens, paces or slows the replies as asked, and stops on request.

#include <atomic>
#include <string>

#include "SimOptions.h"
#include "SimUnit.h"

namespace tgxsim {

class PtyServer {
 public:
  PtyServer(SimUnit& unit, const SimOptions& options);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the terminal and makes the link. False with `error` on failure.
  bool Open(std::string& error);
  const std::string& SlavePath() const { return slavePath_; }

  // Serves until Stop() (or end of standard input when the options ask for it).
  void Run();
  // Safe from a signal handler and from another thread.
  void Stop();

 private:
  void Send(const Reply& reply);
  bool WriteAll(const uint8_t* p, size_t n);
  bool InputPending() const;
  void RemoveLink();

  SimUnit& unit_;
  SimOptions options_;
  int master_ = -1;
  int slave_ = -1;  // held so that the terminal stays up between the program's opens
  int stopPipe_[2] = {-1, -1};
  std::string slavePath_;
  bool linkMade_ = false;
  std::atomic<bool> stopping_{false};  // lets a long paced reply end early
  // pacing: when the line is next free in each direction (seconds, monotonic)
  double rxFreeAt_ = 0;
  double txFreeAt_ = 0;
};

}  // namespace tgxsim
