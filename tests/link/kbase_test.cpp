// Link transport against a scripted unit on a pseudo-terminal: what goes on
// the wire, what comes back as result, status and log.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <chrono>
#include <regex>
#include <thread>

#include "link/Kbase.h"
#include "link/Portcol.h"
#include "link/Xtimer.h"
#include "support/PtyPeer.h"

using tgxtest::Bytes;
using tgxtest::PtyPeer;
using tgxtest::Xor;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kReplyMs = 150;  // short, so that time-out cases stay quick

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

Bytes Pattern(size_t n, uint8_t seed = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes DataOf(const DATA& d) { return Bytes(d.Bytes(), d.Bytes() + d.Size()); }

class TransportTest : public testing::Test {
 protected:
  void SetUp() override {
    line.SetDevicePath(peer.SlavePath());
    ASSERT_EQ(line.Open(), PCI::kOpenOk);
    master.Drt().SetLogging(true);
  }
  // Runs the scripted unit around one call on this thread.
  template <typename F>
  auto Run(F call) {
    peer.Start();
    auto r = call();
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    return r;
  }
  int32_t Exchange(uint8_t code, const void* src, int32_t n, int32_t mode) {
    return Run([&] { return master.Drt().Exchange(code, 0, src, n, mode); });
  }

  PtyPeer peer;
  PCI line;
  KMASTER master{line, kReplyMs};
};

}  // namespace

// ---------------------------------------------------------------- single transactions

TEST_F(TransportTest, ReadBlocksCarryAChecksumFromTwoBytesOn) {
  struct Case {
    size_t n;
    bool sendChecksum;
    bool corrupt;
    int32_t result;
  };
  const Case cases[] = {
      {1, false, false, KDRT::kOk},           {2, true, false, KDRT::kOk},
      {3, true, false, KDRT::kOk},            {2, false, false, KDRT::kBlockTimeout},
      {3, false, false, KDRT::kBlockTimeout}, {3, true, true, KDRT::kBlockChecksum},
      {2, true, true, KDRT::kBlockChecksum},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " checksum " << c.sendChecksum << " corrupt " << c.corrupt);
    PtyPeer unit;
    PCI l;
    l.SetDevicePath(unit.SlavePath());
    DATA buffer;
    KDRT drt(l, buffer, kReplyMs);
    const Bytes data = Pattern(c.n, 0x30);
    Bytes reply = Cat({{0}, data});
    if (c.sendChecksum) reply.push_back(static_cast<uint8_t>(Xor(data) ^ (c.corrupt ? 0x01 : 0)));
    unit.Expect({0x07}).Send(reply);
    unit.Start();
    EXPECT_EQ(drt.Exchange(0x07, 0, nullptr, static_cast<int32_t>(c.n), KDRT::kModeRead), c.result);
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    EXPECT_EQ(drt.Status(), c.result == KDRT::kOk ? 0 : KDRT::kLinkFailureStatus);
    if (c.result == KDRT::kOk) {
      EXPECT_EQ(DataOf(buffer), data);
    }
    EXPECT_EQ(unit.Received(), (Bytes{0x07}));
  }
}

TEST_F(TransportTest, ReadOfOneByteAwaitsNoChecksum) {
  // Were a checksum awaited, the read would wait its 50 ms and fail.
  peer.AnswerRead(0x14, {0x99});
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(0x14, nullptr, 1, KDRT::kModeRead), KDRT::kOk);
  EXPECT_LT(MsSince(t0), 45);
  EXPECT_EQ(DataOf(master.Data()), (Bytes{0x99}));
}

TEST_F(TransportTest, WriteBlocksCarryAChecksumOnlyAboveTwoBytes) {
  struct Case {
    size_t n;
    bool checksum;
  };
  for (const Case c : {Case{1, false}, Case{2, false}, Case{3, true}, Case{4, true}, Case{300, true}}) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    PtyPeer unit;
    PCI l;
    l.SetDevicePath(unit.SlavePath());
    DATA buffer;
    KDRT drt(l, buffer, kReplyMs);
    const Bytes data = Pattern(c.n, 0x41);
    unit.AnswerWrite(0x03, c.n, 12);
    unit.Start();
    EXPECT_EQ(drt.Exchange(0x03, 0, data.data(), static_cast<int32_t>(c.n), KDRT::kModeWrite), KDRT::kOk);
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    Bytes want = Cat({{0x03}, data});
    if (c.checksum) want.push_back(Xor(data));
    EXPECT_EQ(unit.Received(), want);
    EXPECT_EQ(drt.Status(), 12) << "the acknowledgement replaces the status";
  }
}

TEST_F(TransportTest, NonZeroStatusEndsTheTransactionWithoutDataPhase) {
  peer.AnswerCommand(0x01, 12);
  EXPECT_EQ(Exchange(0x01, nullptr, 8, KDRT::kModeRead), KDRT::kOk);
  EXPECT_EQ(master.Status(), 12);
  EXPECT_EQ(DataOf(master.Data()), Bytes(8, 0)) << "nothing received reads as zeros";

  // Nor is a block sent after a refusing status.
  const Bytes data = Pattern(5);
  PtyPeer unit;
  PCI l;
  l.SetDevicePath(unit.SlavePath());
  DATA buffer;
  KDRT drt(l, buffer, kReplyMs);
  unit.AnswerCommand(0x03, 254);
  unit.Start();
  EXPECT_EQ(drt.Exchange(0x03, 0, data.data(), 5, KDRT::kModeWrite), KDRT::kOk);
  EXPECT_TRUE(unit.Finish(1000, 80));
  EXPECT_EQ(drt.Status(), 254);
  EXPECT_EQ(unit.Received(), (Bytes{0x03}));
}

TEST_F(TransportTest, CommandByteTakesTheLowFourBitsOfTheSubAddress) {
  peer.AnswerCommand(0xE3, 0).AnswerCommand(0xF0, 0).AnswerCommand(0x1F, 0);
  peer.Start();
  EXPECT_EQ(master.Drt().Exchange(0xE0, 0x13, nullptr, 0, KDRT::kModeNone), KDRT::kOk);
  EXPECT_EQ(master.Drt().Exchange(0xF0, 0, nullptr, 0, KDRT::kModeNone), KDRT::kOk);
  EXPECT_EQ(master.Drt().Exchange(0x10, 0xFF, nullptr, 0, KDRT::kModeNone), KDRT::kOk);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
}

// ---------------------------------------------------------------- failures

TEST_F(TransportTest, EachTimeoutHasItsCode) {
  struct Case {
    const char* what;
    std::function<void(PtyPeer&)> script;
    int32_t n;
    int32_t mode;
    int32_t result;
    int minMs;
  };
  const Case cases[] = {
      {"no status", [](PtyPeer& u) { u.Expect({0x07}); }, 3, KDRT::kModeRead, KDRT::kStatusTimeout, kReplyMs},
      {"no acknowledgement", [](PtyPeer& u) { u.Expect({0x03}).Send({0}).Receive(4); }, 3, KDRT::kModeWrite,
       KDRT::kAckTimeout, kReplyMs},
      {"data stops", [](PtyPeer& u) { u.Expect({0x01}).Send({0, 1, 2}); }, 6, KDRT::kModeRead,
       KDRT::kBlockTimeout, 4 * KDRT::kDataByteTimeoutMs},
      {"no checksum", [](PtyPeer& u) { u.Expect({0x01}).Send({0, 1, 2, 3, 4, 5, 6}); }, 6, KDRT::kModeRead,
       KDRT::kBlockTimeout, KDRT::kDataByteTimeoutMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PtyPeer unit;
    PCI l;
    l.SetDevicePath(unit.SlavePath());
    DATA buffer;
    KDRT drt(l, buffer, kReplyMs);
    c.script(unit);
    unit.Start();
    const Bytes src = Pattern(static_cast<size_t>(c.n));
    const auto t0 = Clock::now();
    const uint8_t code = c.mode == KDRT::kModeWrite ? 0x03 : c.n == 3 ? 0x07 : 0x01;
    EXPECT_EQ(drt.Exchange(code, 0, src.data(), c.n, c.mode), c.result);
    const auto ms = MsSince(t0);
    EXPECT_GE(ms, c.minMs - 2);
    EXPECT_LT(ms, c.minMs + 300);
    EXPECT_EQ(drt.Status(), KDRT::kLinkFailureStatus);
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
  }
}

TEST_F(TransportTest, ABlockGoesOnPastAMissingByteAndKeepsItsError) {
  // Bytes 2 and 3 come late (after their 50 ms), the rest in time: every byte
  // is still awaited, so the transaction costs the late waits, not fewer.
  peer.Expect({0x01}).Send({0, 10, 11}).Pause(130).Send({13, 14, 15});
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(0x01, nullptr, 5, KDRT::kModeRead), KDRT::kBlockTimeout);
  EXPECT_LT(MsSince(t0), 400);
  EXPECT_EQ(master.Drt().ByteError(), KDRT::kByteReceived) << "the last wait succeeded";
  EXPECT_GE(master.Drt().DataWait(), 45);
}

TEST_F(TransportTest, RaisedCancelStillSendsTheCommandButWaitsForNothing) {
  std::atomic<bool> cancel{true};
  master.Drt().SetCancelFlag(&cancel);
  peer.Expect({0x07}).Send({0, 6, 3, 2, Xor({6, 3, 2})});
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(0x07, nullptr, 3, KDRT::kModeRead), KDRT::kStatusFailed);
  EXPECT_LT(MsSince(t0), kReplyMs);
  EXPECT_EQ(master.Status(), KDRT::kLinkFailureStatus);
  EXPECT_EQ(master.Drt().ReceivedLog().Size(), 0) << "bytes that come under a raised cancel are not taken";
}

TEST_F(TransportTest, CancelDuringAReadBlockEndsItAtOnce) {
  std::atomic<bool> cancel{false};
  master.Drt().SetCancelFlag(&cancel);
  // The unit sends part of a 2000-byte block, the operator cancels, one more
  // byte comes: it is refused and the rest is not awaited.
  peer.Expect({0x03}).Send(Cat({{0}, Pattern(100)})).Pause(20).Do([&] { cancel = true; }).Pause(5).Send({0x55});
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(0x03, nullptr, 2000, KDRT::kModeRead), KDRT::kBlockFailed);
  EXPECT_LT(MsSince(t0), 300);
  EXPECT_EQ(master.Status(), KDRT::kLinkFailureStatus);
  EXPECT_EQ(master.Drt().ReceivedLog().Size(), 101);

  // Cancelled while the next byte does not come: the time-out of that byte.
  cancel = false;
  peer.Expect({0x03}).Send(Cat({{0}, Pattern(10)})).Pause(10).Do([&] { cancel = true; });
  EXPECT_EQ(Exchange(0x03, nullptr, 2000, KDRT::kModeRead), KDRT::kBlockTimeout);
}

TEST_F(TransportTest, CancelDuringAWriteBlockStopsSendingWithoutChecksum) {
  std::atomic<bool> cancel{false};
  master.Drt().SetCancelFlag(&cancel);
  const Bytes data = Pattern(32000);
  // The line's buffer fills long before 32,000 bytes, so the sender is still
  // in its loop when the unit raises the flag.
  peer.Expect({0x03}).Send({0}).Receive(200).Do([&] { cancel = true; });
  EXPECT_EQ(Exchange(0x03, data.data(), 32000, KDRT::kModeWrite), KDRT::kAckFailed);
  EXPECT_EQ(master.Status(), KDRT::kLinkFailureStatus);
  const Bytes got = peer.Received();
  ASSERT_GT(got.size(), 201u);
  EXPECT_LT(got.size(), 32001u);
  EXPECT_EQ(Bytes(got.begin() + 1, got.end()), Bytes(data.begin(), data.begin() + (got.size() - 1)))
      << "only data bytes, no checksum, went out";
}

TEST_F(TransportTest, FailureOfTheLineIsCodeOne) {
  PCI nowhere;
  nowhere.SetDevicePath("/nonexistent/tty");
  DATA buffer;
  KDRT drt(nowhere, buffer, kReplyMs);
  const auto t0 = Clock::now();
  EXPECT_EQ(drt.Exchange(0x0F, 0, nullptr, 0, KDRT::kModeNone), KDRT::kStatusFailed);
  EXPECT_LT(MsSince(t0), kReplyMs);
  EXPECT_EQ(drt.Status(), KDRT::kLinkFailureStatus);
}

TEST_F(TransportTest, ReplyTimeoutRunsFromWhenTheBlockHasLeftTheLine) {
  // 2,000 bytes need 2.3 s at 9600 baud. The terminal takes them at once,
  // but a real line would still be sending when the unit's acknowledgement
  // comes 400 ms later: it must not count as late, nor as a long wait.
  const Bytes data = Pattern(2000);
  peer.Expect({0x03}).Send({0}).Receive(2001).Pause(400).Send({0});
  EXPECT_EQ(Exchange(0x03, data.data(), 2000, KDRT::kModeWrite), KDRT::kOk);
  EXPECT_EQ(master.Status(), 0);
  EXPECT_LT(master.Drt().AckWait(), 50);
}

// ---------------------------------------------------------------- progress and waits

TEST_F(TransportTest, ProgressMovesOnlyForBlocksOfAtLeast1024Bytes) {
  struct Case {
    int32_t n;
    int32_t mode;
    int32_t last;
  };
  const Case cases[] = {{1000, KDRT::kModeRead, -1},
                        {1023, KDRT::kModeWrite, -1},
                        {1024, KDRT::kModeRead, 99},
                        {4000, KDRT::kModeRead, 99},
                        {2000, KDRT::kModeWrite, 99}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " mode " << c.mode);
    PtyPeer unit;
    PCI l;
    l.SetDevicePath(unit.SlavePath());
    DATA buffer;
    KDRT drt(l, buffer, kReplyMs);
    std::atomic<int32_t> progress{-1};
    drt.SetProgress(&progress);
    const Bytes data = Pattern(static_cast<size_t>(c.n));
    if (c.mode == KDRT::kModeRead) {
      unit.AnswerRead(0x03, data);
    } else {
      unit.AnswerWrite(0x03, data.size());
    }
    std::atomic<bool> done{false};
    std::vector<int32_t> seen;
    std::thread watcher([&] {
      while (!done) {
        const int32_t v = progress.load();
        if (seen.empty() || seen.back() != v) seen.push_back(v);
        std::this_thread::yield();
      }
    });
    unit.Start();
    EXPECT_EQ(drt.Exchange(0x03, 0, data.data(), c.n, c.mode), KDRT::kOk);
    done = true;
    watcher.join();
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    EXPECT_EQ(progress.load(), c.last);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "progress only goes forward";
  }
}

TEST_F(TransportTest, LongestWaitKeepsTheSlowestByteAcrossTransactions) {
  std::atomic<int32_t> longest{0};
  master.Drt().SetLongestWait(&longest);
  peer.Expect({0x07}).Pause(80).Send({0, 1, 2, 3, 0}).AnswerRead(0x07, {1, 2, 3});
  peer.Start();
  EXPECT_EQ(master.Drt().Exchange(0x07, 0, nullptr, 3, KDRT::kModeRead), KDRT::kOk);
  EXPECT_GE(master.Drt().StatusWait(), 75);
  EXPECT_EQ(master.Drt().Exchange(0x07, 0, nullptr, 3, KDRT::kModeRead), KDRT::kOk);
  EXPECT_LT(master.Drt().StatusWait(), 75) << "the per-transaction waits start afresh";
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_GE(longest.load(), 75);
  EXPECT_LT(longest.load(), 300);
}

// ---------------------------------------------------------------- log

TEST_F(TransportTest, LogSegmentShowsStatusWaitAndBothByteLists) {
  peer.AnswerRead(0x07, {6, 3, 0xAB});
  ASSERT_TRUE(Run([&] { return master.Request(0x07, 0, nullptr, 3, KDRT::kModeRead); }));
  const std::string log = master.Log();
  EXPECT_TRUE(std::regex_match(log, std::regex("#[0-9]+ > 7  < 0  6  3 AB AE "))) << log;

  // Without logging only the wait is left, and a new request starts a new log.
  master.Drt().SetLogging(false);
  peer.AnswerCommand(0x0F, 0);
  ASSERT_TRUE(Run([&] { return master.Request(0x0F, 0, nullptr, 0, KDRT::kModeNone); }));
  EXPECT_TRUE(std::regex_match(master.Log(), std::regex("#[0-9]+ > <"))) << master.Log();
}

// ---------------------------------------------------------------- handshaked transfer

TEST_F(TransportTest, TransferWithRepeatedWordReadsTheBlock) {
  const Bytes data = Pattern(1500, 0x20);
  peer.AnswerTransferRead(0x03, data);
  ASSERT_TRUE(Run([&] { return master.Transfer(0x03, 0, nullptr, 1500, KDRT::kModeRead); }));
  EXPECT_EQ(DataOf(master.Data()), data);
  const Bytes params{0xDC, 0x05, 0x01, 0x00};
  EXPECT_EQ(peer.Received(), Cat({{0x03, 0x03, 0x03}, params, {Xor(params)}, {0x03}}));
  const std::string log = master.Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '#'), 4);
}

TEST_F(TransportTest, TransferWithEchoWordWritesItBackTwice) {
  const Bytes data = Pattern(700, 0x61);
  peer.AnswerTransferWrite(0x01, data.size(), true);
  ASSERT_TRUE(Run([&] { return master.Transfer(0x01, 0, data.data(), 700, KDRT::kModeWrite); }));
  const Bytes params{0xBC, 0x02, 0x02, 0x00};
  EXPECT_EQ(peer.Received(),
            Cat({{0x01}, {0x01, 0x77, 0x55}, {0x01, 0x77, 0x55}, {0x01}, params, {Xor(params)}, {0x01}, data,
                 {Xor(data)}}));
}

TEST_F(TransportTest, ParameterBlockCarriesTheLow16BitsOfLengthAndMode) {
  peer.AnswerHandshake(0x0D).AnswerWrite(0x0D, 4).AnswerCommand(0x0D, 0);
  ASSERT_TRUE(Run([&] { return master.Transfer(0x0D, 0, nullptr, 0, KDRT::kModeNone); }));
  const Bytes params{0, 0, 0, 0};
  EXPECT_EQ(peer.Received(), Cat({{0x0D, 0x0D, 0x0D}, params, {Xor(params)}, {0x0D}}));
}

TEST_F(TransportTest, FailedTransferAbortsWithCommand15) {
  struct Case {
    const char* what;
    std::function<void(PtyPeer&)> script;
    Bytes wire;
  };
  const Case cases[] = {
      {"second word differs",
       [](PtyPeer& u) { u.AnswerRead(0x03, {0x34, 0x12}).AnswerRead(0x03, {0x77, 0x55}).AnswerCommand(0x0F); },
       {0x03, 0x03, 0x0F}},
      {"unknown word", [](PtyPeer& u) { u.AnswerRead(0x03, {0x00, 0x12}).AnswerCommand(0x0F); }, {0x03, 0x0F}},
      // A refusing status carries no word: the zeros in the buffer are no
      // handshake, whatever the buffer held before.
      {"refused handshake", [](PtyPeer& u) { u.AnswerCommand(0x03, 12).AnswerCommand(0x0F); }, {0x03, 0x0F}},
      {"parameter block not acknowledged",
       [](PtyPeer& u) { u.AnswerHandshake(0x03).Expect({0x03}).Send({0}).Receive(5).Expect({0x0F}, 1000); },
       {0x03, 0x03, 0x03, 0x10, 0x00, 0x01, 0x00, 0x11, 0x0F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PtyPeer unit;
    PCI l;
    l.SetDevicePath(unit.SlavePath());
    KMASTER m(l, kReplyMs);
    m.Drt().SetLogging(true);
    // A previous block left a valid handshake word in the buffer.
    unit.AnswerRead(0x03, {0x34, 0x12});
    c.script(unit);
    unit.Start();
    ASSERT_TRUE(m.Request(0x03, 0, nullptr, 2, KDRT::kModeRead));
    EXPECT_FALSE(m.Transfer(0x03, 0, nullptr, 16, KDRT::kModeRead));
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    const Bytes got = unit.Received();
    EXPECT_EQ(Bytes(got.begin() + 1, got.end()), c.wire);
    const std::string log = m.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '#'), std::count(c.wire.begin(), c.wire.end(), 0x03) + 1)
        << "one segment per transaction, the abort's last";
    EXPECT_TRUE(std::regex_search(log, std::regex("#[0-9]+ > F  <[ 0-9A-F]*$"))) << log;
  }
}

// ---------------------------------------------------------------- XTIMER

TEST(XtimerTest, PacesTicksIntoPeriodsAndSkipsBusyTicks) {
  XTIMER t;
  EXPECT_FALSE(t.IsReady()) << "not started";
  t.Start(500);
  std::vector<bool> due;
  for (int tick = 0; tick < 10; ++tick) {
    ASSERT_TRUE(t.IsReady());
    due.push_back(t.Advance(100));
    EXPECT_FALSE(t.IsReady()) << "busy until Done";
    t.Done();
  }
  EXPECT_EQ(due, (std::vector<bool>{false, false, false, false, true, false, false, false, false, true}));
  EXPECT_EQ(t.Accumulated(), 0);

  XTIMER d;
  d.Start();
  EXPECT_EQ(d.Period(), 1000);
  EXPECT_TRUE(d.Advance(1000));
  EXPECT_TRUE(d.Advance(1500)) << "a long tick is one period, not a backlog";
  EXPECT_FALSE(d.Advance(999));
}
