#pragma once
// tgx-sim as a child process for core tests and benchmarks (no Qt): started
// with the given options on its own pseudo-terminal, with a traffic log and a
// state file in a private folder, and stopped on destruction.
//
//   SimRunner sim({"--version-code", "6320"});
//   session.DevicePath = sim.Path();
//   ...
//   for (const SimRunner::Transaction& t : sim.Log()) ...
//
// Header-only, like PtyPeer.

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tgxtest {

class SimRunner {
 public:
  // One line of the simulator's log: what it received and what it sent.
  struct Transaction {
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    uint8_t Command() const { return in.empty() ? 0 : in[0]; }
  };

  // A given `statePath` lets two simulators in turn share the unit's memory.
  explicit SimRunner(std::vector<std::string> options, const std::string& statePath = {}) {
    char tmpl[] = "/tmp/tgx-sim-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
    log_ = dir_ + "/traffic.log";
    state_ = statePath.empty() ? dir_ + "/unit.state" : statePath;
    options.insert(options.end(), {"--log", log_, "--state", state_, "--exit-on-stdin-eof"});
    Spawn(options);
  }
  ~SimRunner() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& StatePath() const { return state_; }
  const std::string& Folder() const { return dir_; }

  void Stop() {
    if (pid_ > 0) {
      // A paced simulator may finish the reply under way before it looks at
      // SIGTERM; a test does not wait for that.
      ::kill(pid_, SIGTERM);
      int status = 0;
      for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
      if (::waitpid(pid_, &status, WNOHANG) == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
      }
      pid_ = -1;
    }
    if (stdin_ >= 0) ::close(stdin_);
    if (stdout_ >= 0) ::close(stdout_);
    stdin_ = stdout_ = -1;
  }

  // The transactions logged so far (each line is flushed when its
  // transaction ends).
  std::vector<Transaction> Log() const {
    std::vector<Transaction> all;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) {
      if (line.size() < 2 || line[0] != '>') continue;
      Transaction t;
      const size_t split = line.find(" <");
      Parse(line.substr(1, split == std::string::npos ? std::string::npos : split - 1), t.in);
      if (split != std::string::npos) Parse(line.substr(split + 2), t.out);
      all.push_back(std::move(t));
    }
    return all;
  }
  // LogSinceMark shows only the transactions after the last MarkLog.
  void MarkLog() { skip_ = Log().size(); }
  std::vector<Transaction> LogSinceMark() const {
    std::vector<Transaction> all = Log();
    if (skip_ >= all.size()) return {};
    return std::vector<Transaction>(all.begin() + static_cast<std::ptrdiff_t>(skip_), all.end());
  }

 private:
  static void Parse(const std::string& text, std::vector<uint8_t>& out) {
    std::istringstream s(text);
    std::string hex;
    while (s >> hex) out.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
  }

  void Spawn(const std::vector<std::string>& options) {
    int out[2], in[2];
    if (::pipe(out) != 0 || ::pipe(in) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::vector<std::string> args{TGX_SIM_PATH};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, TGX_SIM_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];  // kept open: a later line must not meet a closed pipe
    if (rc != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start tgx-sim");
    }
    // The first line is the terminal's path.
    std::string line;
    char c = 0;
    while (::read(stdout_, &c, 1) == 1 && c != '\n') line += c;
    if (line.empty()) throw std::runtime_error("tgx-sim printed no terminal path");
    path_ = line;
  }

  std::string dir_, log_, state_, path_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  size_t skip_ = 0;
};

}  // namespace tgxtest
