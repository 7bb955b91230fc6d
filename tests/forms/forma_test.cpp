// One form: the data-line syntax of each type and the row operations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Forma.h"

namespace tgxtest {
namespace {

using Texts = std::vector<std::string>;

TEST(FormaParseLine, FindsTheValuesOfEachType) {
  const struct {
    int32_t type;
    const char* line;
    Texts levels, volumes;
  } cases[] = {
      {1, "| 10 20 * 30", {"0", "10"}, {"10", "20"}}, {1, "|-5 1.5", {"0", "10", "20"}, {"5", "1", "5"}},
      {3, "  7x8", {"0", "10"}, {"7", "8"}}, {2, "  1,25  3.5", {"0", "10"}, {"1.25", "3.5"}},
      {4, "| 1050 ? 7", {"1050"}, {"?"}}, {4, "| -5", {"-5"}, {""}}, {4, "|", {}, {}}, {4, "1050 7", {}, {}},
      {4, "|12-5 99", {"12"}, {"-5"}}, {4, "|  a1055b;7c", {"1055"}, {"7"}}, {5, "| 100 -3", {"100"}, {"-3"}},
      {0, "| 100 3", {}, {}},
      // Runs that cross and end on eight-byte boundaries, and lines ending inside a run.
      {4, "|         123456789012345678        7", {"123456789012345678"}, {"7"}},
      {4, "|1234567 12345678", {"1234567"}, {"12345678"}},
      {1, "|1 22 333 4444 55555 666666 7777777 88888888 999999999",
       {"0", "10", "20", "30", "40", "50", "60", "70", "80"},
       {"1", "22", "333", "4444", "55555", "666666", "7777777", "88888888", "999999999"}},
  };
  for (const auto& c : cases) {
    FORMA f;
    f.SetType(c.type);
    f.ParseLine(c.line);
    EXPECT_EQ(f.Levels(), c.levels) << c.type << " '" << c.line << "'";
    EXPECT_EQ(f.Volumes(), c.volumes) << c.type << " '" << c.line << "'";
  }
}

TEST(Forma, RowOperations) {
  FORMA f, p;
  f.Init(1);
  f.DeleteRow(0);  // two rows: refused
  f.AppendRow("999", "2");
  f.InsertRow(0, "", "9");
  f.DeleteRow(1);
  EXPECT_EQ(f.Levels(), (Texts{"0", "10", "20"}));  // generated levels are renumbered
  EXPECT_EQ(f.Volumes(), (Texts{"9", "1", "2"}));
  p.Init(4);
  p.InsertRow(1, "55", "5");
  p.DeleteRow(0);
  EXPECT_EQ(p.Levels(), (Texts{"55", "1"}));  // typed levels never are
}

}  // namespace
}  // namespace tgxtest
