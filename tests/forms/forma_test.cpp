// One form: the data-line syntax of each type and the row operations.

#include <gtest/gtest.h>

#include <random>
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

TEST(Forma, EqualityIgnoresFlagsOnly) {
  FORMA a, b;
  a.Init(1);
  b.CopyFrom(a);
  b.SetConverted(true);
  b.SetSmooth(true);
  EXPECT_TRUE(a == b);
  b.SetTitle("x");
  EXPECT_FALSE(a == b);
  b.CopyFrom(a);
  b.SetVolumeText(1, "2");
  EXPECT_FALSE(a == b);
  b.CopyFrom(a);
  b.SetType(3);
  EXPECT_FALSE(a == b);
}

// The parser scans eight bytes at a time; compare it with a character-by-
// character reading of random lines made of the characters that matter.
TEST(FormaParseLine, WordScanningMatchesCharacterScanning) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto reference = [&](int32_t type, const std::string& s, Texts& levels, Texts& volumes) {
    if (s.empty() || s[0] != '|') return;
    if (type == 1) {
      for (size_t i = 0; i < s.size() && s[i] != '*';) {
        if (!digit(s[i])) {
          ++i;
          continue;
        }
        const size_t b = i;
        while (i < s.size() && digit(s[i])) ++i;
        levels.push_back(std::to_string(10 * volumes.size()));
        volumes.push_back(s.substr(b, i - b));
      }
      return;
    }
    std::string f[2];
    int n = 0;
    for (size_t i = 0; n < 2 && i < s.size() && s[i] != '*';) {
      if (s[i] == '?') {
        f[n++] = "?";
        ++i;
      } else if (digit(s[i]) || s[i] == '-') {
        const size_t b = i++;
        while (i < s.size() && digit(s[i])) ++i;
        f[n++] = s.substr(b, i - b);
      } else {
        ++i;
      }
    }
    if (n > 0) {
      levels.push_back(f[0]);
      volumes.push_back(f[1]);
    }
  };
  std::mt19937 rng(11);
  const char alphabet[] = "0123456789   -?*x.\t\xC0";
  for (int round = 0; round < 4000; ++round) {
    std::string line = "|";
    const size_t len = rng() % 40;
    for (size_t i = 0; i < len; ++i) line += alphabet[rng() % (sizeof alphabet - 1)];
    for (int32_t type : {1, 4}) {
      FORMA f;
      f.SetType(type);
      f.ParseLine(line);
      Texts levels, volumes;
      reference(type, line, levels, volumes);
      ASSERT_EQ(f.Levels(), levels) << type << " '" << line << "'";
      ASSERT_EQ(f.Volumes(), volumes) << type << " '" << line << "'";
    }
  }
}
