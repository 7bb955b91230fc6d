// The site fields file beside the configuration, and the channel lists an
// operator types.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/Cp1251.h"
#include "report/Channels.h"
#include "report/Sitefields.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

// A line break inside a value would start a line of its own: it is saved as a blank.
TEST(SiteFields, SaveAndLoadKeepEveryFieldInUtf8OnDisk) {
  TempDir dir;
  SITEFIELDS f;
  f.org = tgx::FromUtf8("ООО «Нефтесервис»");
  f.tank[15] = tgx::FromUtf8("РГС-25");
  f.by = tgx::FromUtf8("Иванов И. И.");
  f.date = "01.02.2024";
  f.object = "a\r\nb";
  ASSERT_TRUE(SaveSiteFields(SiteFieldsPathBeside(dir.File("tgx.cfg")), f));
  std::stringstream disk;
  disk << std::ifstream(dir.File("tgx.site"), std::ios::binary).rdbuf();
  EXPECT_EQ(disk.str().substr(0, disk.str().find('\n') + 1), "org=ООО «Нефтесервис»\n");
  SITEFIELDS back;
  ASSERT_TRUE(LoadSiteFields(dir.File("tgx.site"), back));
  f.object = "a  b";
  EXPECT_EQ(back, f);
}

TEST(SiteFields, ReadingSkipsCommentsUnknownKeysAndLineEnds) {
  TempDir dir;
  std::ofstream(dir.File("s")) << "\xEF\xBB\xBF# by hand\r\n\r\norg=A=B \r\ncolour=red\ntank17=x\ntank0=x\ntank01=x\nOrg=x\n"
                                  "noequals\n  by = Петров\ndate=1\ndate=2\ntank16=last";
  SITEFIELDS f;
  ASSERT_TRUE(LoadSiteFields(dir.File("s"), f));
  SITEFIELDS expected;
  expected.org = "A=B ";
  expected.by = tgx::FromUtf8(" Петров");
  expected.date = "2";
  expected.tank[15] = "last";
  EXPECT_EQ(f, expected);
  EXPECT_FALSE(LoadSiteFields(dir.File("none"), f));
  EXPECT_EQ(f, SITEFIELDS{});
}

TEST(SiteFields, AFailedSaveLeavesWhatWasThere) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  EXPECT_FALSE(SaveSiteFields(dir.File("folder"), SITEFIELDS{}));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
  EXPECT_FALSE(SaveSiteFields(dir.File("none/s"), SITEFIELDS{}));
  // No temporary file is left beside the target.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(ChannelList, Parsing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1,3-5", "1 3 4 5 "}, {"16", "16 "}, {" 2 , 1 ", "1 2 "}, {"3-3,1-2,2", "1 2 3 "},
      {"", "error"}, {"1,", "error"}, {"0", "error"}, {"17", "error"}, {"5-3", "error"}, {"1-2-3", "error"},
      {"+1", "error"}, {"001", "error"},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<int> channels = {7};
    std::string got = ParseChannelList(text, channels) ? "" : "error";
    for (int c : channels) got += std::to_string(c) + " ";
    EXPECT_EQ(got, expected) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace tgxtest
