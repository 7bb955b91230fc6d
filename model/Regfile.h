#pragma once
// Reading a small settings file (the port map, the options file) that anyone
// may have replaced with something else: opened without blocking, so that a
// FIFO never waits for a writer, refused unless it is a regular file, and read
// no further than its size at open time and a caller's bound, so that a device
// or a huge file never fills memory.

#include <cstddef>
#include <string>

enum class RegFileStatus {
  Ok,
  Missing,     // no such file (or no access to it)
  NotRegular,  // a folder, FIFO, device or socket
  TooLarge,    // larger than the bound: `bytes` holds its first maxBytes bytes
  Failed,      // a read error
};

RegFileStatus ReadRegularFile(const std::string& path, size_t maxBytes, std::string& bytes);
