// Link transport against a scripted unit on a pseudo-terminal: what goes on
// the wire, what comes back as result, status and log.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <regex>
#include <tuple>

#include "link/Kbase.h"
#include "link/Portcol.h"
#include "support/PtyPeer.h"

namespace tgxtest {
namespace {

constexpr int32_t kReplyMs = 1000;  // long enough for a peer thread on a loaded machine
// Waits are bounded from above only to catch a wait of the wrong kind (a
// reply time-out where none is due, or none ending at all), never to time
// the machine.
constexpr long long kSlack = 5000;
constexpr int32_t R = kModeRead, W = kModeWrite;

// Data to write or to compare a read with: 10 11 12 13...
const Bytes kData = [] { Bytes b(32000); std::iota(b.begin(), b.end(), uint8_t{0x10}); return b; }();

// A fresh unit and a logging transport on its line; Run times the call alone.
struct Rig {
  PtyPeer unit;
  PCI line;
  KMASTER m{line, kReplyMs};
  long long ms = 0;
  Rig() {
    line.SetDevicePath(unit.SlavePath());
    m.Drt().SetLogging(true);
  }
  template <typename F>
  auto Run(F call) {
    unit.Start();
    const auto t0 = std::chrono::steady_clock::now();
    auto r = call();
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    return r;
  }
  int32_t Exchange(uint8_t code, const void* src, int32_t n, int32_t mode) {
    return Run([&] { return m.Drt().Exchange(code, 0, src, n, mode); });
  }
};

// The unit answers command byte 1 with `reply`; for a write it then takes
// what follows the command on the wire and answers `ack`. 13 is the XOR of
// three data bytes and 01 that of two.
TEST(TransportTest, ChecksumRulesStatusAndTimeoutCodes) {
  const std::tuple<const char*, int32_t, int32_t, Bytes, Bytes, int32_t, int32_t, int32_t, Bytes> cases[] = {
      {"read 1 awaits no checksum", R, 1, {0, 0x10}, {}, kTransactionOk, 0, 0, {1}},
      {"read 2, bad checksum", R, 2, {0, 0x10, 0x11, 0x00}, {}, kBlockChecksum, 6, 0, {1}},
      {"read 2, no checksum", R, 2, {0, 0x10, 0x11}, {}, kBlockTimeout, 6, 50, {1}},
      {"read 6, data stops: every byte awaited", R, 6, {0, 0x10, 0x11}, {}, kBlockTimeout, 6, 250, {1}},
      {"no status", R, 3, {}, {}, kStatusWaitTimeout, 6, kReplyMs, {1}},
      {"read refused: no block, zeros", R, 3, {12}, {}, kTransactionOk, 12, 0, {1}},
      {"write 1, ack is the status", W, 1, {0}, {12}, kTransactionOk, 12, 0, {1, 0x10}},
      {"write refused: no block", W, 3, {254}, {}, kTransactionOk, 254, 0, {1}},
      {"no acknowledgement", W, 3, {0}, {}, kAckTimeout, 6, kReplyMs, {1, 0x10, 0x11, 0x12, 0x13}},
  };
  for (const auto& [what, mode, n, reply, ack, result, status, ms, wire] : cases) {
    SCOPED_TRACE(what);
    Rig r;
    r.unit.Expect({1}).Send(reply);
    if (wire.size() > 1) r.unit.Receive(wire.size() - 1).Send(ack);
    EXPECT_EQ(r.Exchange(1, kData.data(), n, mode), result);
    EXPECT_GE(r.ms, ms - 2);
    EXPECT_LT(r.ms, ms + kSlack);
    EXPECT_EQ(r.m.Status(), status);
    EXPECT_EQ(r.unit.Received(), wire);
    const Bytes got(r.m.Data().Bytes(), r.m.Data().Bytes() + r.m.Data().Size());
    if (mode == R && result == kTransactionOk) {
      EXPECT_EQ(got, status ? Bytes(n, 0) : Bytes(kData.begin(), kData.begin() + n)) << "data buffer";
    }
  }
}

// 4,000 bytes take 4.6 s at 9600 baud: the terminal takes them at once, but a
// real line would still be sending when the acknowledgement comes 400 ms
// later, so that is no wait at all. Counted from the last byte written it
// would be the whole pause.
TEST(TransportTest, AcknowledgementWaitStartsWhenTheLineHasSentTheBlock) {
  Rig r;
  r.unit.Expect({1}).Send({0}).Receive(4001).Pause(400).Send({0});
  EXPECT_EQ(r.Exchange(1, kData.data(), 4000, W), kTransactionOk);
  EXPECT_LT(r.m.Drt().AckWait(), 400);
}

// A request leaves the valid word 0x1234 in the buffer, then a transfer of
// four bytes runs. The 0x5577 word is written back twice before the
// parameters and the data; any failure ends in an abort (command 15), logged
// last. A refusing status carries no word: the zeros in the buffer are no
// handshake, whatever the buffer held before.
TEST(TransportTest, TransferHandshakesAndAbort) {
  const std::tuple<const char*, std::function<void(PtyPeer&)>, int32_t, Bytes> cases[] = {
      {"echo handshake", [](PtyPeer& u) { u.AnswerHandshake(3, true).AnswerWrite(3, 4).AnswerWrite(3, 4); }, W,
       {3, 3, 3, 0x77, 0x55, 3, 0x77, 0x55, 3, 4, 0, 2, 0, 6, 3, 0x10, 0x11, 0x12, 0x13, 0x00}},
      {"second word differs", [](PtyPeer& u) { u.AnswerRead(3, {0x34, 0x12}).AnswerRead(3, {0x77, 0x55}); }, R,
       {3, 3, 3, 0x0F}},
      {"refused handshake", [](PtyPeer& u) { u.AnswerCommand(3, 12); }, R, {3, 3, 0x0F}},
      {"parameter block not acknowledged", [](PtyPeer& u) { u.AnswerHandshake(3).Expect({3}).Send({0}).Receive(5); },
       R, {3, 3, 3, 3, 0x04, 0x00, 0x01, 0x00, 0x05, 0x0F}},
  };
  for (const auto& [what, script, mode, wire] : cases) {
    SCOPED_TRACE(what);
    Rig r;
    r.unit.AnswerRead(3, {0x34, 0x12});
    ASSERT_TRUE(r.Run([&] { return r.m.Request(3, 0, nullptr, 2, R); }));
    script(r.unit);
    const bool aborts = wire.back() == 0x0F;
    if (aborts) r.unit.AnswerCommand(0x0F);
    EXPECT_EQ(r.Run([&, m = mode] { return r.m.Transfer(3, 0, kData.data(), 4, m); }), !aborts);
    EXPECT_EQ(r.unit.Received(), wire);
    // One segment per transaction of the transfer, the abort's included.
    EXPECT_EQ(std::ranges::count(r.m.Log(), '#'), std::ranges::count(wire, 3) - 1 + aborts) << r.m.Log();
    EXPECT_EQ(std::regex_search(r.m.Log(), std::regex("#[0-9]+ > F  <[ 0-9A-F]*$")), aborts) << r.m.Log();
  }
}
}  // namespace
}  // namespace tgxtest
