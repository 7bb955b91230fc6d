#pragma once
// The unit's memory and the state file that keeps it across restarts of the
// simulator: a text file, one "key hex-bytes" line per part of the memory.

#include <string>
#include <vector>

#include "SimFirmware.h"

namespace tgxsim {

// The unit's memory: what the state file holds.
struct UnitMemory {
  std::vector<uint8_t> header;     // header units
  std::vector<uint8_t> directory;  // compact units: 98 bytes
  std::vector<uint8_t> image;      // packed tables, as written
  int restarts = 0;
};

// A fresh memory of this firmware: no tables, but the bytes that the program
// must leave alone are not zero, so that it can be seen to keep them.
UnitMemory FreshMemory(const Firmware& fw);

enum class StateLoad { kLoaded, kAbsent, kFailed };
// Reads the state file into `memory`. Parts the file lacks, and a header of
// another firmware's layout, stay as in a fresh memory. kAbsent leaves
// `memory` alone; kFailed sets `error`.
StateLoad LoadState(const std::string& path, const Firmware& fw, UnitMemory& memory, std::string& error);

// Writes the state file whole, through a temporary file renamed over it, so
// that a crash never leaves half a memory behind. False with `error`.
bool SaveState(const std::string& path, const Firmware& fw, const UnitMemory& memory, std::string& error);

}  // namespace tgxsim
