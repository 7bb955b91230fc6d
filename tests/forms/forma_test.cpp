// One form: the data-line syntax of each type and the row operations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Forma.h"
#include "model/Cp1251.h"

using Texts = std::vector<std::string>;

TEST(FormaParseLine, FindsTheValuesOfEachType) {
  struct Case {
    int32_t type;
    const char* line;
    Texts levels, volumes;
  };
  const Case cases[] = {
      {1, "| 10 20 * 30", {"0", "10"}, {"10", "20"}},
      {1, "10 20", {}, {}},
      {1, "|-5 1.5", {"0", "10", "20"}, {"5", "1", "5"}},
      {1, "|*12", {}, {}},
      {3, "10 20", {"0", "10"}, {"10", "20"}},
      {3, "  7x8", {"0", "10"}, {"7", "8"}},
      {2, "  1,25  3.5", {"0", "10"}, {"1.25", "3.5"}},
      {2, ".5 ,6 1.2.3", {"0", "10", "20"}, {"5", "6", "1.2.3"}},
      {2, "4*5", {"0"}, {"4"}},
      {4, "| 1050 ? 7", {"1050"}, {"?"}},
      {4, "| -5", {"-5"}, {""}},
      {4, "|", {}, {}},
      {4, "1050 7", {}, {}},
      {4, "|12-5 99", {"12"}, {"-5"}},
      {4, "| 10 * 20", {"10"}, {""}},
      {4, "|  a1055b;7c", {"1055"}, {"7"}},
      // Runs that cross and end on eight-byte boundaries, and lines ending inside a run.
      {4, "|         123456789012345678        7", {"123456789012345678"}, {"7"}},
      {4, "|1234567 12345678", {"1234567"}, {"12345678"}},
      {1, "|1 22 333 4444 55555 666666 7777777 88888888 999999999", {"0", "10", "20", "30", "40", "50", "60", "70", "80"},
       {"1", "22", "333", "4444", "55555", "666666", "7777777", "88888888", "999999999"}},
      {5, "| 100 -3", {"100"}, {"-3"}},
      {0, "| 100 3", {}, {}},
  };
  for (const auto& c : cases) {
    FORMA f;
    f.SetType(c.type);
    f.ParseLine(c.line);
    EXPECT_EQ(f.Levels(), c.levels) << c.type << " '" << c.line << "'";
    EXPECT_EQ(f.Volumes(), c.volumes) << c.type << " '" << c.line << "'";
  }
}

TEST(Forma, TypeSetsHeadersAndAutomaticLevels) {
  struct Case {
    int32_t type;
    const char* level;
    const char* volume;
    bool automatic;
  };
  const Case cases[] = {
      {1, "L <мм>", "V <литр>", true},    {2, "L <мм>", "V <м.куб>", true},   {3, "L <мм>", "V <литр>", true},
      {4, "L <мм*10>", "V <литр>", false}, {5, "L <мм*10>", "dV <литр>", false}, {0, "L <мм*10>", "V <литр>", false},
  };
  for (const auto& c : cases) {
    FORMA f;
    f.SetType(c.type);
    EXPECT_EQ(f.LevelHeader(), tgx::FromUtf8(c.level)) << c.type;
    EXPECT_EQ(f.VolumeHeader(), tgx::FromUtf8(c.volume)) << c.type;
    EXPECT_EQ(f.AutoLevel(), c.automatic) << c.type;
  }
}

TEST(Forma, RowOperations) {
  FORMA f;
  f.Init(1);
  EXPECT_EQ(f.Levels(), (Texts{"0", "10"}));
  EXPECT_EQ(f.Volumes(), (Texts{"0", "1"}));
  EXPECT_TRUE(f.Defined());
  f.DeleteRow(0);  // two rows: refused
  EXPECT_EQ(f.RowCount(), 2);

  f.AppendRow("999", "2");
  f.InsertRow(0, "", "9");
  EXPECT_EQ(f.Levels(), (Texts{"0", "10", "20", "30"}));
  EXPECT_EQ(f.Volumes(), (Texts{"9", "0", "1", "2"}));
  f.DeleteRow(1);
  EXPECT_EQ(f.Levels(), (Texts{"0", "10", "20"}));
  EXPECT_EQ(f.Volumes(), (Texts{"9", "1", "2"}));

  FORMA p;
  p.Init(4);
  EXPECT_EQ(p.Levels(), (Texts{"0", "1"}));
  p.InsertRow(1, "55", "5");
  p.DeleteRow(0);
  EXPECT_EQ(p.Levels(), (Texts{"55", "1"}));  // typed levels are never renumbered

  FORMA gap;
  gap.ClearToGap(1);
  EXPECT_EQ(gap.RowCount(), 0);
  EXPECT_FALSE(gap.Defined());
  EXPECT_TRUE(gap.AutoLevel());
}
