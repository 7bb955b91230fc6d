#pragma once
// The running program's four-part version. On this platform executables carry
// no version block, so the numbers are fixed when the program is built (the
// project's version and the build number given to CMake).

#include <cstdint>
#include <string>

class TAppInfo {
 public:
  TAppInfo(std::string text1 = {}, std::string text2 = {});

  const std::string& Text1() const { return text1_; }
  const std::string& Text2() const { return text2_; }
  int32_t Major() const { return major_; }
  int32_t Minor() const { return minor_; }
  int32_t Release() const { return release_; }
  int32_t Build() const { return build_; }

  // "major.minor.release.build" in decimal, e.g. "1.5.2.8".
  std::string VersionText() const;

 private:
  std::string text1_;
  std::string text2_;
  int32_t major_ = 0;
  int32_t minor_ = 0;
  int32_t release_ = 0;
  int32_t build_ = 0;
};

namespace tgx {
// Registers the glyphs and the program icon (":/glyphs/<name>.png"; QIcon
// finds the @2x variant itself). They live in a static library, whose
// resource object the linker would otherwise drop; this module is linked into
// every program that shows a version, and registers them at start as well.
// Safe to call more than once.
void InitResources();
}  // namespace tgx
