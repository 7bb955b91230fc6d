#pragma once
// tgxctl as a script runs it: in a clean environment with a private
// configuration folder, its output split into lines, its exit code kept.
// Header-only, for the tgxctl tests.
//
//   CtlRunner ctl(dir.Path().string());
//   const CtlRunner::Result r = ctl.Run({"check", "x.fs"});

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tgxtest {

using Strings = std::vector<std::string>;

inline std::string Example(const char* name) { return std::string(TGX_SOURCE_DIR) + "/examples/" + name; }

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The TAB-separated fields of an output line, a trailing empty one included.
inline Strings Fields(const std::string& line) {
  Strings f;
  std::istringstream s(line);
  for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
  if (!line.empty() && line.back() == '\t') f.push_back("");
  return f;
}

class CtlRunner {
 public:
  struct Result {
    Strings lines;    // standard output, one entry per line
    std::string err;  // standard error
    int exit = -1;
  };

  // `folder` holds the configuration (TGX_CONFIG_DIR), the session journal
  // (TGX_DATA_DIR is its "data" folder) and the captured error output.
  explicit CtlRunner(std::string folder) : folder_(std::move(folder)) {}

  // Starts tgxctl with `args`, extra environment assignments ("TGX_COM5=...")
  // and shell redirections after the default ones (">&5" sends the output to
  // an inherited descriptor); the process id is tgxctl's own (the shell execs it).
  FILE* Start(const Strings& args, const std::string& env = "", pid_t* pid = nullptr,
              const std::string& redirect = "") const {
    std::string cmd = "echo $$; exec env -i PATH=/usr/bin:/bin TGX_CONFIG_DIR=" + Quote(folder_) +
                      " TGX_DATA_DIR=" + Quote(folder_ + "/data") + " " + env + " " + Quote(TGX_CTL_PATH);
    for (const auto& a : args) cmd += " " + Quote(a);
    FILE* f = ::popen((cmd + " 2>" + Quote(ErrPath()) + " " + redirect).c_str(), "r");
    char line[32] = {};
    if (!f || !::fgets(line, sizeof line, f)) throw std::runtime_error("cannot start tgxctl");
    if (pid) *pid = std::atoi(line);
    return f;
  }
  // Reads the output to its end and waits for the exit.
  Result Finish(FILE* f) const {
    std::string out;
    char buf[4096];
    for (size_t n; (n = ::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int status = ::pclose(f);
    Result r;
    std::istringstream s(out);
    for (std::string line; std::getline(s, line);) r.lines.push_back(line);
    r.err = ReadFile(ErrPath());
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }
  Result Run(const Strings& args, const std::string& env = "", const std::string& redirect = "") const {
    return Finish(Start(args, env, nullptr, redirect));
  }

 private:
  static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }
  std::string ErrPath() const { return folder_ + "/stderr.txt"; }

  std::string folder_;
};

}  // namespace tgxtest
