// tgx-sim as scripts and tests rely on it: the unit's memory kept in its
// state file across a restart, whichever handshake word it asks for, and the
// link that names its terminal. Its protocol and fault injection are what the
// link and session tests run against, so they are not repeated here.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/SimRunner.h"
#include "support/TempDir.h"
#include "tools/CtlRunner.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;

// Written through one handshake word, compared through the other by the next
// simulator on the same state; nothing but the state is left in its folder.
TEST(Sim, TablesSurviveARestartWhateverTheHandshake) {
  const TempDir dir("tgx-sim");
  const CtlRunner ctl(dir.Path().string());
  fs::create_directory(dir.File("unit"));
  const std::string state = dir.File("unit/unit.state"), form = Example("station_with_gap.fs");
  for (const char* word : {"5577", "1234"}) {
    SCOPED_TRACE(word);
    SimRunner sim({"--version-code", "9616", "--handshake", word}, state);
    EXPECT_EQ(ctl.Run({"--device", sim.Path(), word[0] == '5' ? "write" : "compare", form}).exit, 0);
    size_t echoes = 0;  // the master writes the word back only when the unit asks for it
    for (const SimRunner::Transaction& t : sim.Log()) echoes += t.in.size() == 3 && t.in[1] == 0x77 && t.in[2] == 0x55;
    EXPECT_EQ(echoes > 0, word[0] == '5');
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("unit")), fs::directory_iterator{}), 1);
}

// The link points to the terminal while the simulator lives, a stale one is
// replaced, and it goes when the simulator is stopped.
TEST(Sim, LinkFollowsTheTerminal) {
  const TempDir dir("tgx-sim");
  const std::string link = dir.File("COM1");
  fs::create_symlink("/nonexistent", link);
  {
    SimRunner sim({"--link", link});
    EXPECT_EQ(fs::read_symlink(link).string(), sim.Path());
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

}  // namespace
}  // namespace tgxtest
