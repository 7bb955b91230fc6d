// The unit's requests as the program makes them, against a scripted unit.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>

#include "link/Portcol.h"
#include "link/Ukdr_drv.h"
#include "support/PtyPeer.h"

using tgxtest::Bytes;
using tgxtest::PtyPeer;
using tgxtest::Xor;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kReplyMs = 150;

class RequestTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(link.OpenDevice(peer.SlavePath(), kReplyMs)); }

  PtyPeer peer;
  UKEDR_DRV link;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST_F(RequestTest, QueryVersionBuildsTheFourDigitCode) {
  struct Case {
    Bytes abc;
    int32_t code;
  };
  const Case cases[] = {{{6, 3, 2}, 6320}, {{6, 3, 43}, 6343}, {{9, 6, 2}, 9620},
                        {{6, 3, 80}, 6320}, {{6, 3, 10}, 6310}, {{6, 2, 9}, 6290}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    peer.AnswerRead(0x07, c.abc);
    peer.Start();
    bool known = false;
    int32_t code = 0;
    EXPECT_TRUE(link.QueryVersion(known, code));
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_TRUE(known);
    EXPECT_EQ(code, c.code);
  }
}

TEST_F(RequestTest, QueryVersionByStatus) {
  struct Case {
    uint8_t status;
    bool success;
  };
  for (const Case c : {Case{12, true}, Case{4, false}, Case{254, false}}) {
    SCOPED_TRACE(int(c.status));
    peer.AnswerCommand(0x07, c.status);
    peer.Start();
    bool known = true;
    int32_t code = 0;
    EXPECT_EQ(link.QueryVersion(known, code), c.success);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_FALSE(known);
    EXPECT_EQ(link.LastStatus(), c.status);
  }
}

TEST_F(RequestTest, QueryVersionOfASilentUnitFailsAfterOneReplyTimeout) {
  peer.Expect({0x07});
  peer.Start();
  bool known = true;
  int32_t code = 0;
  const auto t0 = Clock::now();
  EXPECT_FALSE(link.QueryVersion(known, code));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_GE(ms, kReplyMs - 2);
  EXPECT_LT(ms, kReplyMs + 150);
  EXPECT_FALSE(known);
  EXPECT_EQ(link.LastStatus(), 6);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
}

TEST_F(RequestTest, ReadBlockPutsTheCommandByteOnTheWireFourTimes) {
  const Bytes header(274, 0xEE);
  for (bool echo : {false, true}) {
    SCOPED_TRACE(echo ? "0x5577" : "0x1234");
    PtyPeer unit;
    UKEDR_DRV drv;
    ASSERT_TRUE(drv.OpenDevice(unit.SlavePath(), kReplyMs));
    unit.AnswerTransferRead(0x01, header, echo);
    unit.Start();
    Bytes got(274, 0);
    EXPECT_TRUE(drv.ReadBlock(0x01, got.data(), 274));
    EXPECT_TRUE(unit.Finish()) << unit.Errors();
    EXPECT_EQ(got, header);
    EXPECT_EQ(drv.LastStatus(), 0);
    const Bytes params{0x12, 0x01, 0x01, 0x00};
    const Bytes handshake = echo ? Bytes{0x01, 0x01, 0x77, 0x55, 0x01, 0x77, 0x55} : Bytes{0x01, 0x01};
    EXPECT_EQ(unit.Received(), Cat({handshake, {0x01}, params, {Xor(params)}, {0x01}}));
  }
}

TEST_F(RequestTest, WriteBlockAndCommandAreHandshakedTransfers) {
  const Bytes dir(98, 0x21);
  peer.AnswerTransferWrite(0x04, dir.size());
  peer.AnswerHandshake(0x0E).AnswerWrite(0x0E, 4).AnswerCommand(0x0E, 0);
  peer.AnswerHandshake(0x0D).AnswerWrite(0x0D, 4).AnswerCommand(0x0D, 0);
  peer.Start();
  EXPECT_TRUE(link.WriteBlock(0x04, dir.data(), 98));
  EXPECT_TRUE(link.Command(0x0E));
  EXPECT_TRUE(link.PanelStart());
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  const Bytes wparams{98, 0, 2, 0};
  const Bytes cparams{0, 0, 0, 0};
  EXPECT_EQ(peer.Received(), Cat({{4, 4, 4}, wparams, {Xor(wparams)}, {4}, dir, {Xor(dir)},                 //
                                  {0x0E, 0x0E, 0x0E}, cparams, {Xor(cparams)}, {0x0E},                   //
                                  {0x0D, 0x0D, 0x0D}, cparams, {Xor(cparams)}, {0x0D}}));
}

TEST_F(RequestTest, SingleRequestsAndThePanel) {
  const Bytes frame(40, 0x41);
  peer.AnswerRead(0xE3, frame).AnswerRead(0xF0, frame).AnswerCommand(0x0F, 12).AnswerRead(0x14, {0x99});
  peer.Start();
  EXPECT_TRUE(link.PanelKey(40, 3));
  EXPECT_TRUE(link.PanelPoll(40));
  EXPECT_EQ(Bytes(link.DataBuffer().Bytes(), link.DataBuffer().Bytes() + 40), frame);
  EXPECT_TRUE(link.QuickCommand(0x0F));
  EXPECT_EQ(link.LastStatus(), 12) << "a completed request with a refusing status is still true";
  uint8_t one = 0;
  EXPECT_TRUE(link.QuickRead(0x14, 0, &one, 1));
  EXPECT_EQ(one, 0x99);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
}

TEST_F(RequestTest, SharedValuesReachTheTransport) {
  std::atomic<bool> cancel{false};
  std::atomic<int32_t> progress{0};
  std::atomic<int32_t> longest{0};
  link.SetCancelFlag(&cancel);
  link.SetProgress(&progress);
  link.SetLongestWait(&longest);
  link.SetLogging(true);
  const Bytes image(2000, 0x5A);
  peer.AnswerHandshake(0x03).AnswerWrite(0x03, 4).Expect({0x03}).Pause(40).Send(Cat({{0}, image, {Xor(image)}}));
  peer.Start();
  Bytes got(2000, 0);
  EXPECT_TRUE(link.ReadBlock(0x03, got.data(), 2000));
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(progress.load(), 99);
  EXPECT_GE(longest.load(), 35);
  EXPECT_EQ(link.LogText().rfind("#", 0), 0u);

  cancel = true;
  peer.Expect({0x03}).AnswerCommand(0x0F);
  peer.Start();
  EXPECT_FALSE(link.ReadBlock(0x03, got.data(), 2000));
  peer.Finish();
  EXPECT_EQ(link.LastStatus(), 6);
}

TEST(OpenLinkTest, OpensThroughThePortMapAndFailsOnABusyPort) {
  PtyPeer peer;
  const char* old = std::getenv("TGX_COM4");
  const std::string saved = old ? old : "";
  ::setenv("TGX_COM4", peer.SlavePath().c_str(), 1);

  UKEDR_DRV holder;
  ASSERT_TRUE(holder.OpenLink(3, kReplyMs));
  UKEDR_DRV second;
  EXPECT_FALSE(second.OpenLink(3, kReplyMs));
  // The request lazily tries the line again and fails without waiting.
  const auto t0 = Clock::now();
  EXPECT_FALSE(second.QuickCommand(0x0F));
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(), kReplyMs);
  EXPECT_EQ(second.LastStatus(), 6);

  holder.CloseLink();
  EXPECT_TRUE(second.OpenLink(3, kReplyMs));
  EXPECT_FALSE(holder.OpenDevice("", kReplyMs)) << "an empty device path opens nothing";

  if (old) {
    ::setenv("TGX_COM4", saved.c_str(), 1);
  } else {
    ::unsetenv("TGX_COM4");
  }
}
