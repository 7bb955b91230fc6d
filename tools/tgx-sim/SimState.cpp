#include "SimState.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "model/Le.h"

namespace tgxsim {
namespace {

constexpr size_t kMaxStateFileBytes = 1 << 20;
constexpr size_t kMaxHeaderBytes = 4096;  // the largest header layout is 2,070 bytes
constexpr size_t kMaxTransferBytes = 0xFFFF;  // the parameter block's length is 16-bit
constexpr char kStateMagic[] = "tgx-sim state 1";

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

bool Unhex(const std::string& s, std::vector<uint8_t>& out, size_t maxBytes) {
  if (s.size() % 2 != 0 || s.size() / 2 > maxBytes) return false;
  out.clear();
  out.reserve(s.size() / 2);
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < s.size(); i += 2) {
    const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

}  // namespace

UnitMemory FreshMemory(const Firmware& fw) {
  UnitMemory m;
  m.directory.assign(kCompactDirectoryBytes, 0);
  if (fw.memory != MemoryKind::kHeader) return m;
  const HeaderGeometry& g = fw.header;
  m.header.resize(static_cast<size_t>(g.size));
  for (size_t i = 0; i < m.header.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>((i * 37 + 11) ^ 0xA5);
    m.header[i] = b ? b : 0x5A;
  }
  // Slot flags with other bits set but no table stored (bit 2 clear).
  for (int p = 0; p < kSlotCount; ++p) {
    if (g.byteFlags) {
      m.header[static_cast<size_t>(g.flagsOffset + p)] = static_cast<uint8_t>((0x83 + p * 0x10) & ~4);
    } else {
      tgx::PutLe16(m.header.data() + g.flagsOffset + 2 * p, static_cast<uint16_t>((0x0A03 + p * 0x0110) & ~4));
    }
  }
  std::fill_n(m.header.begin() + g.recordsOffset, kDirectoryRecordBytes, 0);
  return m;
}

StateLoad LoadState(const std::string& path, const Firmware& fw, UnitMemory& memory, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return StateLoad::kAbsent;
    error = "cannot read state file " + path + ": " + std::strerror(errno);
    return StateLoad::kFailed;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() > kMaxStateFileBytes) {
    error = "state file " + path + " is too large";
    return StateLoad::kFailed;
  }
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kStateMagic) {
    error = "state file " + path + " is not a tgx-sim state";
    return StateLoad::kFailed;
  }
  UnitMemory loaded = FreshMemory(fw);
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    std::vector<uint8_t> bytes;
    bool ok = true;
    if (key == "header") {
      ok = Unhex(value, bytes, kMaxHeaderBytes);
      // A header of another layout would be misread by this firmware.
      if (ok && fw.memory == MemoryKind::kHeader && bytes.size() == loaded.header.size()) loaded.header = bytes;
    } else if (key == "directory") {
      ok = Unhex(value, bytes, kCompactDirectoryBytes);
      if (ok && bytes.size() == kCompactDirectoryBytes) loaded.directory = bytes;
    } else if (key == "image") {
      ok = Unhex(value, bytes, kMaxTransferBytes);
      if (ok) loaded.image = bytes;
    } else if (key == "restarts") {
      char* end = nullptr;
      const long n = std::strtol(value.c_str(), &end, 10);
      ok = !value.empty() && *end == '\0' && n >= 0 && n < 1000000000;
      if (ok) loaded.restarts = static_cast<int>(n);
    }
    // Other keys ("firmware") are for the reader's eyes.
    if (!ok) {
      error = "state file " + path + " is damaged at '" + key + "'";
      return StateLoad::kFailed;
    }
  }
  memory = std::move(loaded);
  return StateLoad::kLoaded;
}

bool SaveState(const std::string& path, const Firmware& fw, const UnitMemory& memory, std::string& error) {
  std::string text = std::string(kStateMagic) + "\n";
  text += "firmware " + std::to_string(fw.versionCode) + "\n";
  text += "header " + Hex(memory.header) + "\n";
  text += "directory " + Hex(memory.directory) + "\n";
  text += "image " + Hex(memory.image) + "\n";
  text += "restarts " + std::to_string(memory.restarts) + "\n";

  const std::string tmp = path + ".tmp." + std::to_string(getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    error = "cannot save state to " + path + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
  }
  return ok;
}

}  // namespace tgxsim
