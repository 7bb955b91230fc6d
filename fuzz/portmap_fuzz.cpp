// The port map file reader and its rewriting on arbitrary text: entries come
// out ascending and clean, binding a port makes exactly that port lead to the
// new path, binding again changes nothing, unbinding removes only that port.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "link/Serialdevs.h"

namespace {
std::map<int, std::string> EntriesOf(std::string_view text) {
  std::map<int, std::string> m;
  int last = 0;
  for (const PORTMAPLINE& e : ParsePortMap(text)) {
    if (e.Number <= last || e.Number > kMaxPortNumber) std::abort();  // ascending, each port once
    last = e.Number;
    if (e.Path.empty() || e.Path.find('\n') != std::string::npos) std::abort();
    if (e.Path.front() == ' ' || e.Path.back() == ' ') std::abort();
    m[e.Number] = e.Path;
  }
  return m;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::map<int, std::string> before = EntriesOf(text);
  const int number = static_cast<int>(size % 9) + 1;
  const std::string path = "/dev/serial/by-id/usb-x-if00-port0";

  const std::string bound = RebindPortMapText(text, number, path);
  // Beyond the reader's bound lines may come into view or fall out of it.
  if (text.size() > kPortMapMaxBytes || bound.size() > kPortMapMaxBytes) return 0;
  std::map<int, std::string> expected = before;
  expected[number] = path;
  if (EntriesOf(bound) != expected) std::abort();
  if (RebindPortMapText(bound, number, path) != bound) std::abort();

  const std::string unbound = RebindPortMapText(bound, number, std::string());
  expected.erase(number);
  if (EntriesOf(unbound) != expected) std::abort();
  return 0;
}
