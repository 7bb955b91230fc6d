// The unit's requests as the program makes them, against a scripted unit.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <tuple>

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

// Status 12 means no version to tell (true, unknown); a silent unit is 6.
TEST_F(RequestTest, QueryVersion) {
  // Status (-1: silent), version bytes, code, result.
  const std::tuple<int, Bytes, int32_t, bool> cases[] = {
      {0, {6, 3, 43}, 6343, true}, {12, {}, 0, true}, {4, {}, 0, false}, {-1, {}, 0, false}};
  for (const auto& [status, abc, expected, ok] : cases) {
    SCOPED_TRACE(status);
    if (status < 0) peer.Expect({7});
    else if (status > 0) peer.AnswerCommand(7, uint8_t(status));
    else peer.AnswerRead(7, abc);
    bool known = status != 0;
    int32_t code = 0;
    EXPECT_EQ(Run([&] { return link.QueryVersion(known, code); }), ok);
    EXPECT_EQ(known, status == 0);
    EXPECT_EQ(code, expected);
    EXPECT_EQ(link.LastStatus(), status < 0 ? kStatusLinkFailure : status);
  }
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
