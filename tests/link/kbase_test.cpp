// Link transport against a scripted unit on a pseudo-terminal: what goes on
// the wire, what comes back as result, status and log.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <regex>
#include <tuple>

#include "link/Kbase.h"
#include "link/Portcol.h"
#include "support/PtyPeer.h"

using tgxtest::Bytes;
using tgxtest::PtyPeer;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kReplyMs = 150;  // short, so that time-out cases stay quick
constexpr int32_t R = KDRT::kModeRead, W = KDRT::kModeWrite;

Bytes Counting(size_t n) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), uint8_t{0x10});
  return b;
}

Bytes DataOf(const DATA& d) { return Bytes(d.Bytes(), d.Bytes() + d.Size()); }

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
    const auto t0 = Clock::now();
    auto r = call();
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    return r;
  }
  int32_t Exchange(uint8_t code, const void* src, int32_t n, int32_t mode) {
    return Run([&] { return m.Drt().Exchange(code, 0, src, n, mode); });
  }
};

}  // namespace

// The unit answers command byte 1 with `reply`; for a write it then takes
// `take` bytes and answers `ack`. Data is 10 11 12 13..., so 13 is the XOR of
// three bytes and 01 that of two.
TEST(TransportTest, ChecksumRulesStatusAndTimeoutCodes) {
  struct Case {
    const char* what;
    int32_t mode, n;
    Bytes reply;
    size_t take;
    Bytes ack;
    int32_t result, status, ms;
    Bytes wire;
  };
  const Case cases[] = {
      {"read 1 awaits no checksum", R, 1, {0, 0x10}, 0, {}, KDRT::kOk, 0, 0, {1}},
      {"read 2", R, 2, {0, 0x10, 0x11, 0x01}, 0, {}, KDRT::kOk, 0, 0, {1}},
      {"read 3", R, 3, {0, 0x10, 0x11, 0x12, 0x13}, 0, {}, KDRT::kOk, 0, 0, {1}},
      {"read 2, bad checksum", R, 2, {0, 0x10, 0x11, 0x00}, 0, {}, KDRT::kBlockChecksum, 6, 0, {1}},
      {"read 3, bad checksum", R, 3, {0, 0x10, 0x11, 0x12, 0x12}, 0, {}, KDRT::kBlockChecksum, 6, 0, {1}},
      {"read 2, no checksum", R, 2, {0, 0x10, 0x11}, 0, {}, KDRT::kBlockTimeout, 6, 50, {1}},
      {"read 3, no checksum", R, 3, {0, 0x10, 0x11, 0x12}, 0, {}, KDRT::kBlockTimeout, 6, 50, {1}},
      {"read 6, data stops: every byte awaited", R, 6, {0, 0x10, 0x11}, 0, {}, KDRT::kBlockTimeout, 6, 250, {1}},
      {"no status", R, 3, {}, 0, {}, KDRT::kStatusTimeout, 6, kReplyMs, {1}},
      {"read refused: no block, zeros", R, 3, {12}, 0, {}, KDRT::kOk, 12, 0, {1}},
      {"write 1, ack is the status", W, 1, {0}, 1, {12}, KDRT::kOk, 12, 0, {1, 0x10}},
      {"write 2 sends no checksum", W, 2, {0}, 2, {12}, KDRT::kOk, 12, 0, {1, 0x10, 0x11}},
      {"write 3", W, 3, {0}, 4, {12}, KDRT::kOk, 12, 0, {1, 0x10, 0x11, 0x12, 0x13}},
      {"write refused: no block", W, 3, {254}, 0, {}, KDRT::kOk, 254, 0, {1}},
      {"no acknowledgement", W, 3, {0}, 4, {}, KDRT::kAckTimeout, 6, kReplyMs, {1, 0x10, 0x11, 0x12, 0x13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig r;
    r.unit.Expect({1}).Send(c.reply);
    if (c.take) r.unit.Receive(c.take).Send(c.ack);
    const Bytes data = Counting(static_cast<size_t>(c.n));
    EXPECT_EQ(r.Exchange(1, data.data(), c.n, c.mode), c.result);
    EXPECT_GE(r.ms, c.ms - 2);
    EXPECT_LT(r.ms, c.ms + (c.ms ? 300 : 45));
    EXPECT_EQ(r.m.Status(), c.status);
    EXPECT_EQ(r.unit.Received(), c.wire);
    if (c.mode == R && c.result == KDRT::kOk) {
      EXPECT_EQ(DataOf(r.m.Data()), c.status ? Bytes(data.size(), 0) : data);
    }
  }
}

TEST(TransportTest, CancelBeforeAndDuringABlock) {
  Rig r;
  std::atomic<bool> cancel{true};
  r.m.Drt().SetCancelFlag(&cancel);
  // Raised before: the command still goes out, but nothing is awaited or taken.
  r.unit.Expect({7}).Send({0, 6, 3, 2, 6 ^ 3 ^ 2});
  EXPECT_EQ(r.Exchange(7, nullptr, 3, R), KDRT::kStatusFailed);
  EXPECT_LT(r.ms, kReplyMs);
  EXPECT_EQ(r.m.Status(), KDRT::kLinkFailureStatus);
  EXPECT_EQ(r.m.Drt().ReceivedLog().Size(), 0);

  // During a read block: the byte after the cancel is refused, the rest of
  // the 2,000 is not awaited.
  cancel = false;
  r.unit.Expect({3}).Send(Bytes(101, 0)).Pause(20).Do([&] { cancel = true; }).Pause(5).Send({0x55});
  EXPECT_EQ(r.Exchange(3, nullptr, 2000, R), KDRT::kBlockFailed);
  EXPECT_LT(r.ms, 300);
  EXPECT_EQ(r.m.Drt().ReceivedLog().Size(), 101);
  // Cancelled while the next byte does not come: the time-out of that byte.
  cancel = false;
  r.unit.Expect({3}).Send(Bytes(11, 0)).Pause(10).Do([&] { cancel = true; });
  EXPECT_EQ(r.Exchange(3, nullptr, 2000, R), KDRT::kBlockTimeout);

  // During a write block: the line's buffer fills long before 32,000 bytes,
  // so the sender is still in its loop; it stops without a checksum.
  cancel = false;
  const Bytes data = Counting(32000);
  const size_t before = r.unit.Received().size() + 1;
  r.unit.Expect({3}).Send({0}).Receive(200).Do([&] { cancel = true; });
  EXPECT_EQ(r.Exchange(3, data.data(), 32000, W), KDRT::kAckFailed);
  const Bytes got = r.unit.Received();
  ASSERT_GT(got.size(), before + 200);
  ASSERT_LT(got.size(), before + 32000);
  EXPECT_TRUE(std::equal(got.begin() + static_cast<long>(before), got.end(), data.begin()));
}

TEST(TransportTest, ReplyTimeoutRunsFromWhenTheBlockHasLeftTheLine) {
  // 2,000 bytes take 2.3 s at 9600 baud. The terminal takes them at once, but
  // a real line would still be sending when the acknowledgement comes 400 ms
  // later: it is neither late nor a long wait.
  Rig r;
  const Bytes data(2000, 0x5A);
  r.unit.Expect({3}).Send({0}).Receive(2001).Pause(400).Send({0});
  EXPECT_EQ(r.Exchange(3, data.data(), 2000, W), KDRT::kOk);
  EXPECT_EQ(r.m.Status(), 0);
  EXPECT_LT(r.m.Drt().AckWait(), 50);
}

TEST(TransportTest, ProgressMovesOnlyForBlocksOfAtLeast1024Bytes) {
  const std::tuple<int32_t, int32_t, int32_t> cases[] = {{1023, R, -1}, {1023, W, -1}, {1024, R, 99}, {2000, W, 99}};
  for (const auto& [n, mode, last] : cases) {
    SCOPED_TRACE(testing::Message() << "n " << n << " mode " << mode);
    Rig r;
    std::atomic<int32_t> progress{-1};
    r.m.Drt().SetProgress(&progress);
    const Bytes data = Counting(static_cast<size_t>(n));
    mode == R ? r.unit.AnswerRead(1, data) : r.unit.AnswerWrite(1, data.size());
    EXPECT_EQ(r.Exchange(1, data.data(), n, mode), KDRT::kOk);
    EXPECT_EQ(progress.load(), last);
  }
}

TEST(TransportTest, LogSegmentsShowTheStatusWaitAndBothByteLists) {
  Rig r;
  r.unit.Expect({7}).Pause(80).Send({0, 6, 3, 0xAB, 0xAE});
  ASSERT_TRUE(r.Run([&] { return r.m.Request(7, 0, nullptr, 3, R); }));
  EXPECT_TRUE(std::regex_match(r.m.Log(), std::regex("#[0-9]+ > 7  < 0  6  3 AB AE "))) << r.m.Log();
  EXPECT_GE(r.m.Drt().StatusWait(), 75);
  // Without logging only the wait is left; a new request starts a new log,
  // and its waits start afresh.
  r.m.Drt().SetLogging(false);
  r.unit.AnswerCommand(0x0F);
  ASSERT_TRUE(r.Run([&] { return r.m.Request(0x0F, 0, nullptr, 0, KDRT::kModeNone); }));
  EXPECT_TRUE(std::regex_match(r.m.Log(), std::regex("#[0-9]+ > <"))) << r.m.Log();
  EXPECT_LT(r.m.Drt().StatusWait(), 75);
}

// The 0x1234 handshake (read the word once more) is seen through ReadBlock.
TEST(TransportTest, EchoHandshakeWritesTheWordBackTwiceThenParametersThenData) {
  Rig r;
  r.unit.AnswerHandshake(1, true).AnswerWrite(1, 4).AnswerWrite(1, 3);
  const Bytes data = Counting(3);
  ASSERT_TRUE(r.Run([&] { return r.m.Transfer(1, 0, data.data(), 3, W); }));
  EXPECT_EQ(r.unit.Received(), (Bytes{1, 1, 0x77, 0x55, 1, 0x77, 0x55, 1, 3, 0, 2, 0, 1, 1, 0x10, 0x11, 0x12, 0x13}));
}

TEST(TransportTest, FailedTransferAbortsWithCommand15) {
  struct Case {
    const char* what;
    std::function<void(PtyPeer&)> script;
    Bytes wire;
  };
  const Case cases[] = {
      {"second word differs", [](PtyPeer& u) { u.AnswerRead(3, {0x34, 0x12}).AnswerRead(3, {0x77, 0x55}); },
       {3, 3, 3, 0x0F}},
      {"unknown word", [](PtyPeer& u) { u.AnswerRead(3, {0x00, 0x12}); }, {3, 3, 0x0F}},
      // A refusing status carries no word: the zeros in the buffer are no
      // handshake, whatever the buffer held before.
      {"refused handshake", [](PtyPeer& u) { u.AnswerCommand(3, 12); }, {3, 3, 0x0F}},
      {"parameter block not acknowledged", [](PtyPeer& u) { u.AnswerHandshake(3).Expect({3}).Send({0}).Receive(5); },
       {3, 3, 3, 3, 0x10, 0x00, 0x01, 0x00, 0x11, 0x0F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig r;
    r.unit.AnswerRead(3, {0x34, 0x12});  // a valid handshake word left in the buffer
    c.script(r.unit);
    r.unit.AnswerCommand(0x0F);
    EXPECT_FALSE(r.Run([&] {
      EXPECT_TRUE(r.m.Request(3, 0, nullptr, 2, R));
      return r.m.Transfer(3, 0, nullptr, 16, R);
    }));
    EXPECT_EQ(r.unit.Received(), c.wire);
    const std::string log = r.m.Log();
    EXPECT_EQ(std::ranges::count(log, '#'), std::ranges::count(c.wire, 3)) << "one segment each, the abort's last";
    EXPECT_TRUE(std::regex_search(log, std::regex("#[0-9]+ > F  <[ 0-9A-F]*$"))) << log;
  }
}
