#include "panel/core/Cons_clnt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Cp1251.h"

namespace tgxtest {
namespace {
// The text one display position shows (UTF-8): its character, then the dot or a blank.
std::string DecodeOne(int32_t variant, uint8_t code) {
  CONS_CLNT c(variant);
  std::vector<uint8_t> frame(static_cast<size_t>(c.FrameLength()), 0);
  frame[1] = code;
  c.Decode(frame.data(), static_cast<int32_t>(frame.size()));
  return tgx::ToUtf8(c.Text().substr(0, 2));
}

TEST(DisplayCharacters, EachVariantsTableWithItsEdges) {
  const struct { int32_t variant; uint8_t code; const char* shown; } cases[] = {
      // Seven segments: a shape with its decimal point lit, the point alone,
      // the top segment alone that is no shape, 0x82..0x85 passed on as bytes.
      {0, 0xED, "3."}, {0, 0x6D, "3 "}, {0, 0x80, " ."}, {0, 0x01, "? "}, {0, 0x13, "Г "}, {0, 0x6E, "У "},
      {0, 0x07, "\u201A "}, {0, 0x60, "\u2026 "},
      // First character display: its own codes for the letters missing from
      // the generator, blanks between them, code page 1251 past the table.
      {1, 0x41, "A "}, {1, 0x80, "Б "}, {1, 0x8F, "Э "}, {1, 0x90, "  "}, {1, 0xAB, "  "}, {1, 0xAC, "Ю "},
      {1, 0xAD, "Я "}, {1, 0xAE, "  "}, {1, 0xB0, "\u00B0 "}, {1, 0xFF, "я "},
      // Second character display: arrows and a question mark below 0x04, its
      // own table from 0xA0 to 0xE7, unchanged on either side of it.
      {2, 0x00, "> "}, {2, 0x03, "? "}, {2, 0x04, "\x04 "}, {2, 0x9F, "\u045F "}, {2, 0xA0, "Б "}, {2, 0xC7, "я "},
      {2, 0xC8, "  "}, {2, 0xE0, "Д "}, {2, 0xE7, "  "}, {2, 0xE8, "и "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeOne(c.variant, c.code), c.shown) << "variant " << c.variant << " code 0x" << std::hex << int{c.code};
}

TEST(DisplayFrames, PositionsFollowTheLeadingByteAndStayWithinTheDisplay) {
  // "HELLO" right after a leading byte that would read as "8." if it were shown.
  CONS_CLNT segments(0);
  const uint8_t hello[13] = {0xFF, 0x3E, 0x5B, 0x52, 0x52, 0x77, 0, 0, 0, 0, 0, 0, 0xED};
  segments.Decode(hello, 13);
  EXPECT_EQ(segments.Text(), "H E L L 0 " + std::string(12, ' ') + "3.");

  // The second row starts at character 32.
  CONS_CLNT cons(1);
  std::vector<uint8_t> frame(33, ' ');
  const std::string top = tgx::FromUtf8("Уровень");
  std::copy(top.begin(), top.end(), frame.begin() + 1);
  frame[17] = 0x80;
  frame[18] = 0xAC;
  cons.Decode(frame.data(), 33);
  ASSERT_EQ(cons.Text().size(), 64u);
  EXPECT_EQ(tgx::ToUtf8(cons.Text().substr(0, 14)), "У р о в е н ь ");
  EXPECT_EQ(tgx::ToUtf8(cons.Text().substr(32, 4)), "Б Ю ");

  // A short or missing frame shows blanks instead of reading past it; a longer
  // one is cut at the display's size.
  const uint8_t ok[3] = {0, 'O', 'K'};
  cons.Decode(ok, 3);
  EXPECT_EQ(cons.Text(), "O K " + std::string(60, ' '));
  cons.Decode(nullptr, 33);
  EXPECT_EQ(cons.Text(), std::string(64, ' '));
  std::vector<uint8_t> big(300, 'x');
  cons.Decode(big.data(), 300);
  EXPECT_EQ(cons.Text().size(), 64u);
}

TEST(DisplayVariant, FollowsTheUnitsIdentification) {
  const struct { bool known; int32_t code; int32_t variant; bool panelStart; } cases[] = {
      {false, 0, 0, false},    {false, 6361, 0, false},  // a unit that does not know its version
      {true, 5400, 2, false},  {true, 6210, 0, false},   {true, 6349, 0, false}, {true, 6350, 0, true},
      {true, 6351, 2, true},   {true, 6360, 1, true},    {true, 6361, 2, true},  {true, 7320, 0, true},
      {true, 7351, 2, true},   {true, 8530, 2, true},    {true, 9350, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + (c.known ? "" : " unknown"));
    EXPECT_EQ(CONS_CLNT::VariantOfUnit(c.known, c.code), c.variant);
    EXPECT_EQ(CONS_CLNT::NeedsPanelStart(c.known, c.code), c.panelStart);
  }
}

TEST(DisplayKeys, AcceptanceAndCodePerVariant) {
  const struct { int32_t variant; char ch; int32_t code; } cases[] = {
      {0, '9', 9},  {0, ',', 10}, {0, 'z', 13}, {0, 'm', 14}, {0, '.', -1}, {0, '\0', -1},
      {1, ',', 10}, {1, 'n', 15}, {1, '.', 15}, {1, '+', -1}, {1, 'Q', -1},
      {2, '-', 10}, {2, '+', 11}, {2, '.', 15}, {2, ',', -1}, {2, '\xC0', -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.variant) + " '" + k.ch + "'");
    CONS_CLNT cons(k.variant);
    EXPECT_EQ(cons.KeyCode(k.ch), k.code);
    EXPECT_EQ(cons.PressKey(k.ch), k.code >= 0);
  }
}

TEST(DisplayKeys, OneKeyWaitsUntilTakenOrTheVariantChanges) {
  CONS_CLNT cons(1);
  ASSERT_TRUE(cons.PressKey('7'));
  EXPECT_FALSE(cons.PressKey('+'));  // refused: the 7 still waits
  ASSERT_TRUE(cons.PressKey('.'));   // a later key replaces it
  int32_t code = -1;
  ASSERT_TRUE(cons.TakeKey(code));
  EXPECT_EQ(code, 15);
  EXPECT_FALSE(cons.TakeKey(code)) << "a key is sent once";
  ASSERT_TRUE(cons.PressKey('q'));
  cons.SetMode(1);  // even the same variant starts without a key
  EXPECT_FALSE(cons.TakeKey(code));
}
}  // namespace
}  // namespace tgxtest
