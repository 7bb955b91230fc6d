#pragma once
// tgx-sim as a child process, the one way tests and benchmarks start the
// simulator (no Qt): started with the given options on its own
// pseudo-terminal, with a traffic log, its error output and a state file in a
// private folder, and stopped on destruction. Header-only.
//
//   SimRunner sim({"--version-code", "6320"});
//   session.DevicePath = sim.Path();
//   for (const SimRunner::Transaction& t : sim.Log()) ...
//
// The simulator also ends when the test program dies, through the end of its
// standard input. A simulator that does not start throws, with its error
// output in the message.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tgxtest {

class SimRunner {
 public:
  // One line of the simulator's log: what it received and what it sent.
  struct Transaction {
    std::vector<uint8_t> in, out;
    uint8_t Command() const { return in.empty() ? 0 : in[0]; }
  };

  // A given `statePath` lets two simulators in turn share the unit's memory.
  // Without `logTraffic` (benchmarks: the log costs the simulator time) Log()
  // stays empty.
  explicit SimRunner(std::vector<std::string> args, const std::string& statePath = {}, bool logTraffic = true) {
    char tmpl[] = "/tmp/tgx-sim-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
    log_ = dir_ + "/traffic.log";
    const std::string errors = dir_ + "/stderr.txt";
    args.insert(args.begin(), TGX_SIM_PATH);
    if (logTraffic) args.insert(args.end(), {"--log", log_});
    args.insert(args.end(), {"--state", statePath.empty() ? dir_ + "/unit.state" : statePath, "--exit-on-stdin-eof"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec: the test program has threads
      ::dup2(in[0], 0), ::dup2(out[1], 1), ::dup2(::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      ::execv(TGX_SIM_PATH, argv.data());
      ::_exit(127);
    }
    ::close(in[0]), ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];  // kept open: a later line must not meet a closed pipe
    for (char c = 0; ::read(stdout_, &c, 1) == 1 && c != '\n';) path_ += c;  // the terminal's path
    if (path_.empty()) {
      std::ostringstream why;
      why << std::ifstream(errors).rdbuf();
      Stop();
      throw std::runtime_error("tgx-sim printed no terminal path: " + why.str());
    }
  }
  ~SimRunner() { Stop(); }
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  const std::string& Path() const { return path_; }

  // The transactions logged so far (each line is flushed when its transaction ends).
  std::vector<Transaction> Log() const {
    std::vector<Transaction> all;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      if (line.size() < 2 || line[0] != '>') continue;
      const size_t split = std::min(line.find(" <"), line.size());
      all.push_back({Parse(line.substr(1, split - 1)), Parse(line.substr(std::min(split + 2, line.size())))});
    }
    return all;
  }
  // LogSinceMark shows only the transactions after the last MarkLog.
  void MarkLog() { skip_ = Log().size(); }
  std::vector<Transaction> LogSinceMark() const {
    std::vector<Transaction> all = Log();
    all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(skip_, all.size())));
    return all;
  }

 private:
  void Stop() {
    // SIGTERM lets the simulator save its state; a paced one may first finish
    // the reply under way, which a test does not wait for.
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
      if (::waitpid(pid_, &status, WNOHANG) == 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, &status, 0);
    }
    ::close(stdin_), ::close(stdout_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static std::vector<uint8_t> Parse(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream s(text);
    for (std::string hex; s >> hex;) bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    return bytes;
  }

  std::string dir_, log_, path_;
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  size_t skip_ = 0;
};

}  // namespace tgxtest
