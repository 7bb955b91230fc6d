// The unit's requests as the program makes them, against a scripted unit.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <numeric>

#include "link/Codes.h"
#include "link/Portcol.h"
#include "link/Ukdr_drv.h"
#include "support/PtyPeer.h"

namespace tgxtest {
namespace {

constexpr int32_t kReplyMs = 150;

class RequestTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(link.OpenDevice(peer.SlavePath(), kReplyMs)); }
  template <typename F>
  auto Run(F call) {
    peer.Start();
    auto r = call();
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    return r;
  }

  PtyPeer peer;
  UKEDR_DRV link;
};

// Version bytes a, b, c give a b c*10 below 10, else a b c; 6380 is served as
// 6320. Status 12 means no version to tell (true, unknown); a silent unit is 6.
TEST_F(RequestTest, QueryVersion) {
  struct Case {
    int status;  // -1: silent
    Bytes abc;
    int32_t code;
    bool ok;
  };
  const Case cases[] = {{0, {6, 3, 2}, 6320, true},  {0, {6, 3, 43}, 6343, true}, {0, {9, 6, 2}, 9620, true},
                        {0, {6, 3, 80}, 6320, true}, {0, {6, 3, 10}, 6310, true}, {0, {6, 2, 9}, 6290, true},
                        {12, {}, 0, true},           {4, {}, 0, false},           {254, {}, 0, false},
                        {-1, {}, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " " << c.code);
    if (c.status < 0) peer.Expect({7});
    else if (c.status > 0) peer.AnswerCommand(7, static_cast<uint8_t>(c.status));
    else peer.AnswerRead(7, c.abc);
    bool known = c.status != 0;
    int32_t code = 0;
    EXPECT_EQ(Run([&] { return link.QueryVersion(known, code); }), c.ok);
    EXPECT_EQ(known, c.status == 0);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(link.LastStatus(), c.status < 0 ? kStatusLinkFailure : c.status);
  }
}

// The unit answers with the word 0x1234, read once more; then come the
// parameter block (274 bytes, mode 1) and the block itself.
// Every byte value passes unchanged: the line is raw.
TEST_F(RequestTest, ReadBlockPutsTheCommandByteOnTheWireFourTimes) {
  Bytes header(274);
  std::iota(header.begin(), header.end(), uint8_t{0});
  peer.AnswerHandshake(1).AnswerWrite(1, 4).AnswerRead(1, header);
  link.SetLogging(true);
  Bytes got(274, 0);
  EXPECT_TRUE(Run([&] { return link.ReadBlock(1, got.data(), 274); }));
  EXPECT_EQ(got, header);
  EXPECT_EQ(link.LastStatus(), 0);
  EXPECT_EQ(peer.Received(), (Bytes{1, 1, 1, 0x12, 0x01, 0x01, 0x00, 0x12, 1}));
  EXPECT_EQ(std::ranges::count(link.LogText(), '#'), 4) << "one log segment per transaction";
}

// A busy port is the serial line's own case; here only the way to the device.
TEST(OpenLinkTest, OpensThroughThePortMapButNotWithAnEmptyPath) {
  PtyPeer peer;
  ::setenv("TGX_COM4", peer.SlavePath().c_str(), 1);
  UKEDR_DRV link;
  EXPECT_TRUE(link.OpenLink(3, kReplyMs));
  link.CloseLink();
  EXPECT_FALSE(link.OpenDevice("", kReplyMs)) << "port -1 has no device, mapped or not";
  ::unsetenv("TGX_COM4");
}
}  // namespace
}  // namespace tgxtest
