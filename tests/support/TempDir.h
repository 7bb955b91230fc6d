#pragma once
// A private folder under /tmp for one test, removed with everything in it when
// the test ends, and the whole-file reads and writes the tests check files
// with. Header-only; the one temporary-folder fixture of the tests.
//
//   tgxtest::TempDir dir;
//   const std::string path = dir.File("x.fs");
//   WriteBytes(path, "...");

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tgxtest {

class TempDir {
 public:
  explicit TempDir(const char* prefix = "tgx-test") {
    std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of `name` inside the folder (not created).
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The file's bytes as they are; "" when it cannot be read.
inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace tgxtest
