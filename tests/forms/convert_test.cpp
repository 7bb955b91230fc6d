// Conversion of forms into volume tables: the integer and decimal readers, the
// single-precision line arithmetic and the resampling of level/volume pairs.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "forms/Convert.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "forms/Line.h"
#include "model/Prjvol.h"

namespace {
FORMA MakeForm(int32_t type, const std::vector<std::pair<std::string, std::string>>& rows) {
  FORMA f;
  f.SetType(type);
  for (const auto& [level, volume] : rows) f.AppendRow(level, volume);
  f.CountDefined();
  return f;
}

FORMA Volumes(int32_t type, const std::vector<std::string>& volumes) {
  FORMA f;
  f.SetType(type);
  for (const auto& v : volumes) f.AppendRow("", v);
  return f;
}

std::vector<int32_t> Convert(const FORMA& f, bool expect_ok = true) {
  PARTAB t;
  EXPECT_EQ(ConvertForm(f, t), expect_ok);
  return t.Values();
}
}  // namespace

TEST(ReadFormInteger, AcceptsDecimalAndHexWithinThirtyTwoBits) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"  42", true, 42},           {"-5", true, -5},
      {"+7", true, 7},          {"$1F", true, 31},            {"x10", true, 16},
      {"X10", true, 16},        {"0x1f", true, 31},           {"0X10", true, 16},
      {"-$10", true, -16},      {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
      {"$7FFFFFFF", true, INT32_MAX}, {"007", true, 7},
      {"2147483648", false, 0}, {"-2147483649", false, 0},  {"$80000000", false, 0},
      {"99999999999999999999", false, 0}, {"", false, 0}, {"-", false, 0},
      {"$", false, 0},          {"0x", false, 0},             {"12 ", false, 0},
      {"1.5", false, 0},        {"?", false, 0},              {"abc", false, 0},
      {"1e3", false, 0},        {"0x1G", false, 0},           {"--1", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 12345;
    EXPECT_EQ(ReadFormInteger(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(Line, KeepsSinglePrecisionSlopeAndInterceptSoExactValuesCanDropOne) {
  const LINE line(0, 0, 30, 12);
  ASSERT_TRUE(line.Defined());
  EXPECT_EQ(line.Slope(), 0.4f);
  EXPECT_EQ(line.Intercept(), -3.0f / 16777216.0f);
  int32_t v = 0;
  ASSERT_TRUE(line.ValueAt(10, v));
  EXPECT_EQ(v, 3);  // 3.99999988 truncated
  ASSERT_TRUE(line.ValueAt(30, v));
  EXPECT_EQ(v, 12);

  EXPECT_FALSE(LINE(5, 1, 5, 9).Defined());
  EXPECT_FALSE(LINE(5, 1, 5, 9).ValueAt(5, v));
  // Beyond 32 bits is a failure, not a wrapped entry.
  EXPECT_FALSE(LINE(0, 0, 1, INT32_MAX).ValueAt(10, v));
  ASSERT_TRUE(LINE(0, 0, 10, -50).ValueAt(5, v));
  EXPECT_EQ(v, -25);
}

TEST(ConvertForm, PairWorkedExamples) {
  const std::vector<int32_t> first = Convert(MakeForm(4, {{"0", "0"}, {"1000", "50"}, {"2500", "200"}}));
  std::vector<int32_t> want{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50};
  for (int v = 60; v <= 210; v += 10) want.push_back(v);
  EXPECT_EQ(first, want);

  EXPECT_EQ(Convert(MakeForm(4, {{"305", "12"}, {"1505", "80"}})),
            (std::vector<int32_t>{0, 3, 7, 12, 17, 23, 29, 34, 40, 46, 51, 57, 63, 68, 74, 80, 85}));
}

TEST(ConvertForm, PairEdgeCases) {
  // Order of the rows does not matter.
  EXPECT_EQ(Convert(MakeForm(4, {{"2500", "200"}, {"1000", "50"}, {"0", "0"}})),
            Convert(MakeForm(4, {{"0", "0"}, {"1000", "50"}, {"2500", "200"}})));
  // The table reaches one step past the top level, from the upper line.
  const auto t = Convert(MakeForm(4, {{"0", "0"}, {"10000", "100"}, {"20000", "300"}}));
  ASSERT_EQ(t.size(), 202u);
  EXPECT_EQ(t[200], 300);
  EXPECT_EQ(t[201], 301);  // 302 in exact arithmetic; the float intercept takes a litre
  // A first level of 0 is exact; the lower line is never used.
  EXPECT_EQ(Convert(MakeForm(4, {{"0", "100"}, {"100", "200"}})), (std::vector<int32_t>{100, 200, 300}));
  // Equal levels: the first in file order gives the exact value; equal top
  // levels give the top volume above them.
  EXPECT_EQ(Convert(MakeForm(4, {{"0", "0"}, {"100", "7"}, {"100", "9"}})), (std::vector<int32_t>{0, 7, 9}));
  EXPECT_EQ(Convert(MakeForm(4, {{"100", "9"}, {"0", "0"}, {"100", "7"}})), (std::vector<int32_t>{0, 9, 7}));
  // Negative levels: -19 mm still leaves one entry, -20 mm and below none.
  EXPECT_EQ(Convert(MakeForm(4, {{"-390", "0"}, {"-190", "20"}})).size(), 1u);
  Convert(MakeForm(4, {{"-400", "0"}, {"-200", "20"}}), false);
  Convert(MakeForm(4, {{"-900", "0"}, {"-300", "20"}}), false);
  // A stray digit in the top level must not cost gigabytes.
  EXPECT_EQ(Convert(MakeForm(4, {{"0", "0"}, {"99999800", "1"}})).size(), 1'000'000u);
  Convert(MakeForm(4, {{"0", "0"}, {"100000000", "1"}}), false);
  // A value that leaves 32 bits fails instead of wrapping.
  Convert(MakeForm(4, {{"0", "0"}, {"10", "2147483647"}}), false);
}

TEST(ConvertForm, RefusesFormsThatAreNotNumbers) {
  Convert(MakeForm(4, {{"100", "5"}}), false);
  Convert(MakeForm(4, {{"0", "0"}, {"100", "?"}}), false);
  Convert(MakeForm(4, {{"0", "0"}, {"100", ""}}), false);
  Convert(MakeForm(4, {{"0", "0"}, {"1 00", "1"}}), false);
  Convert(Volumes(1, {"1", "99999999999"}), false);
  Convert(Volumes(3, {"1", "x"}), false);
  Convert(Volumes(5, {"1", "2"}), false);
  Convert(Volumes(0, {"1", "2"}), false);
  // A failed table is zeros, one per row, so that table k stays form k's.
  PARTAB t;
  t.SetCount(3);
  t[0] = 7;
  EXPECT_FALSE(ConvertForm(MakeForm(4, {{"0", "0"}, {"10", "?"}, {"20", "1"}, {"30", "2"}}), t));
  EXPECT_EQ(t.Values(), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST(ConvertForm, LitresAndCubicMetres) {
  EXPECT_EQ(Convert(Volumes(1, {"0", "10", "25"})), (std::vector<int32_t>{0, 10, 25}));
  EXPECT_EQ(Convert(Volumes(3, {"0", "-10", "$10"})), (std::vector<int32_t>{0, -10, 16}));
  EXPECT_EQ(Convert(Volumes(1, {})), (std::vector<int32_t>{}));

  struct Case {
    const char* text;
    bool ok;
    int32_t litres;
  };
  const Case cases[] = {
      {"0.123", true, 123}, {"1,0005", true, 1000}, {"0.0001", true, 0}, {"1,5", true, 1500},
      {"12", true, 12000},  {"-0.5", true, -500},   {".5", true, 500},   {"2.", true, 2000},
      {"1e-3", true, 1},    {"1e-9999", true, 0},   {"0.0009999", true, 0},
      {"1e40", false, 0},   {"1e9999", false, 0},   {"3000000", false, 0}, {"2147483.647", false, 0},
      {"", false, 0},       {"1.2.3", false, 0},    {"inf", false, 0},   {"nan", false, 0},
      {"1,5 ", false, 0},   {"?", false, 0},        {"1e", false, 0},    {"0x10", false, 0},
  };
  for (const auto& c : cases) {
    PARTAB t;
    EXPECT_EQ(ConvertForm(Volumes(2, {c.text}), t), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(t[0], c.litres) << c.text;
    }
  }
}

// The resampling as first described: a bubble sort that swaps only a greater
// level past a smaller one, and for each entry a scan from the first pair.
// The fast path must give the very same tables.
static std::vector<int32_t> ReferencePairs(std::vector<std::pair<int32_t, int32_t>> p) {
  for (size_t a = 0; a < p.size(); ++a)
    for (size_t b = 0; b + 1 < p.size() - a; ++b)
      if (p[b].first > p[b + 1].first) std::swap(p[b], p[b + 1]);
  const size_t n = p.size();
  const int32_t m = p[n - 1].first / 10 + 2;
  std::vector<int32_t> t(static_cast<size_t>(m));
  const LINE a(0, 0, p[0].first, p[0].second), b(p[n - 2].first, p[n - 2].second, p[n - 1].first, p[n - 1].second);
  for (int32_t i = 0; i < m; ++i) {
    const int32_t x = 10 * i;
    int32_t& e = t[static_cast<size_t>(i)];
    if (x < p[0].first) {
      a.ValueAt(x, e);
    } else if (x > p[n - 1].first) {
      if (b.Defined()) b.ValueAt(x, e);
      else e = p[n - 1].second;
    } else {
      for (size_t j = 0; j < n; ++j) {
        if (p[j].first == x) { e = p[j].second; break; }
        if (x < p[j].first) { LINE(p[j - 1].first, p[j - 1].second, p[j].first, p[j].second).ValueAt(x, e); break; }
      }
    }
  }
  return t;
}

TEST(ConvertForm, FastResampleMatchesTheQuadraticDescription) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 300; ++round) {
    const int n = 2 + static_cast<int>(rng() % 40);
    const int32_t top_tenths = 1 + static_cast<int32_t>(rng() % 30000);
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (int j = 0; j < n; ++j) {
      // Coarse levels make equal levels and exact hits common.
      const int32_t tenths = static_cast<int32_t>(rng() % 4 == 0 ? (rng() % 30) * 100 : rng() % top_tenths);
      const int32_t volume = static_cast<int32_t>(rng() % 200000);
      rows.emplace_back(std::to_string(tenths), std::to_string(volume));
      pairs.emplace_back(tenths / 10, volume);
    }
    EXPECT_EQ(Convert(MakeForm(4, rows)), ReferencePairs(pairs)) << "round " << round;
  }
}

TEST(SecondDifference, FlagsValuesOutsideOneSignedByte) {
  struct Case {
    std::vector<int32_t> in, out;
    bool smooth;
  };
  const Case cases[] = {
      {{0, 5, 10, 20, 40}, {0, 0, 0, 5, 10}, true},
      {{0, 0, 127}, {0, 0, 127}, true},
      {{0, 0, -128}, {0, 0, -128}, true},
      {{0, 0, 128, 256}, {0, 0, 128, 0}, false},
      {{0, 0, -129, -258}, {0, 0, -129, 0}, false},
      {{7}, {0}, true},
      {{7, 900}, {0, 0}, true},
      {{}, {}, true},
  };
  for (const auto& c : cases) {
    PARTAB in, out;
    for (int32_t v : c.in) in.Append(v);
    EXPECT_EQ(SecondDifference(in, out), c.smooth);
    EXPECT_EQ(out.Values(), c.out);
  }
  PARTAB in, out;  // extreme entries must not overflow
  for (int32_t v : {INT32_MIN, INT32_MAX, INT32_MIN}) in.Append(v);
  EXPECT_FALSE(SecondDifference(in, out));
}

TEST(ConvertForm, IgnoresTheProcessLocale) {
  const char* names[] = {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.CP1251"};
  const char* chosen = nullptr;
  for (const char* n : names)
    if (std::setlocale(LC_ALL, n) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      chosen = n;
      break;
    }
  if (!chosen) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  PARTAB t;
  EXPECT_TRUE(ConvertForm(Volumes(2, {"1.5", "1,5", "0.123"}), t));
  EXPECT_EQ(t.Values(), (std::vector<int32_t>{1500, 1500, 123}));
  FDATA d;
  ASSERT_TRUE(d.ReadText("# a\n  2.25\n 3,5\n", 2));
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# a\r\n\r\n     2.25\r\n      3.5");
  std::setlocale(LC_ALL, "C");
}
