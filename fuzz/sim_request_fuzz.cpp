// The simulated unit's side of the protocol over any bytes a master might
// send, in bursts with pauses between them: whatever arrives, the unit
// answers with bounded replies, keeps its memory in the shapes its firmware
// has, and never reads or writes out of bounds. SimUnit does no input or
// output of its own (no state file, no log here), so it is driven directly.
//
// Input: six bytes of options (firmware, handshake word, request 8, one
// fault rule), then bursts: a length byte L and L bytes from the master; after
// each burst the unit's clock moves on by (L % 8) * 50 ms and it ticks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The simulator's sources are built into its program only; the unit's part
// is compiled in here.
#include "../tools/tgx-sim/SimDisplay.cpp"
#include "../tools/tgx-sim/SimFirmware.cpp"
#include "../tools/tgx-sim/SimOptions.cpp"
#include "../tools/tgx-sim/SimState.cpp"
#include "../tools/tgx-sim/SimUnit.cpp"

namespace {
constexpr int kCodes[] = {6210, 6320, 6343, 6360, 6410, 8430, 8530, 9600, 9616, 9620, 9700};
// The most one received byte may draw: a status, a 16-bit block and its checksum.
constexpr size_t kMaxReply = 1 + 65535 + 1 + 1;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  tgxsim::SimOptions o;
  o.versionCode = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  o.unknownVersion = (data[1] & 1) != 0;
  o.handshake = (data[1] & 2) != 0 ? kHandshakeEcho : kHandshakeRepeat;
  o.noRequest8 = (data[1] & 4) != 0;
  if ((data[1] & 8) != 0) o.memory = static_cast<uint32_t>(data[2]) << 8;
  tgxsim::FaultRule rule;
  rule.code = data[3] == 0xFF ? tgxsim::kAnyCode : data[3] % 16;
  rule.value = data[4];
  rule.nth = data[5] % 4;
  switch (data[1] >> 4 & 3) {
    case 1: o.status.push_back(rule); break;
    case 2: o.silenceAfter.push_back(rule); break;
    case 3: o.badChecksum.push_back(rule); break;
    default: break;
  }
  data += 6;
  size -= 6;

  double now = 0;
  tgxsim::SimUnit unit(o, [&now] { return now; });
  std::string error;
  if (!unit.Start(error)) std::abort();  // no files: nothing can fail
  const tgxsim::UnitMemory fresh = unit.Memory();

  while (size > 0) {
    const size_t n = data[0] < size - 1 ? data[0] : size - 1;
    for (size_t i = 1; i <= n; ++i) {
      tgxsim::Reply reply;
      unit.Receive(data[i], reply);
      if (reply.bytes.size() > kMaxReply) std::abort();
    }
    now += static_cast<double>(data[0] % 8) * 0.05;
    if (unit.MillisecondsToNextTick() < -1) std::abort();
    unit.Tick();
    data += n + 1;
    size -= n + 1;
  }

  const tgxsim::UnitMemory& m = unit.Memory();
  // A header is only ever replaced whole, a directory is 98 bytes, and an
  // image came in one block of at most 16 bits of length.
  if (m.header.size() != fresh.header.size()) std::abort();
  if (m.directory.size() != fresh.directory.size()) std::abort();
  if (m.image.size() > 65535) std::abort();
  return 0;
}
