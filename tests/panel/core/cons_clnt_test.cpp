#include "panel/core/Cons_clnt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Cp1251.h"

namespace {
std::string DecodeOne(int32_t variant, uint8_t code) {
  CONS_CLNT c(variant);
  std::vector<uint8_t> frame(static_cast<size_t>(c.FrameLength()), 0);
  frame[1] = code;
  c.Decode(frame.data(), static_cast<int32_t>(frame.size()));
  return tgx::ToUtf8(c.Text().substr(0, 2));
}

struct CharCase {
  int32_t variant;
  uint8_t code;
  const char* shown;  // UTF-8: the character and its dot-or-blank
};

class DisplayCharacters : public testing::TestWithParam<CharCase> {};

TEST_P(DisplayCharacters, DecodeToTheDisplayedCharacterAndDot) {
  const CharCase& c = GetParam();
  EXPECT_EQ(DecodeOne(c.variant, c.code), c.shown)
      << "variant " << c.variant << " code 0x" << std::hex << int{c.code};
}

INSTANTIATE_TEST_SUITE_P(
    SevenSegment, DisplayCharacters,
    testing::Values(CharCase{0, 0xED, "3."},   // shape with its decimal point lit
                    CharCase{0, 0x6D, "3 "},
                    CharCase{0, 0x80, " ."},   // dark digit, only the point
                    CharCase{0, 0x00, "  "},
                    CharCase{0, 0x01, "? "},   // top segment alone is no shape
                    CharCase{0, 0x81, "?."},
                    CharCase{0, 0x03, "_ "}, CharCase{0, 0x40, "_ "},
                    CharCase{0, 0x13, "Г "}, CharCase{0, 0x37, "П "},
                    CharCase{0, 0x6E, "У "}, CharCase{0, 0xEE, "У."},
                    CharCase{0, 0x7F, "8 "}, CharCase{0, 0xFF, "8."}, CharCase{0, 0x7E, "? "},
                    // 0x82..0x85 are passed on as bytes; code page 1251 shows punctuation
                    CharCase{0, 0x07, "\u201A "}, CharCase{0, 0x05, "\u0453 "},
                    CharCase{0, 0x50, "\u201E "}, CharCase{0, 0x70, "\u201E "},
                    CharCase{0, 0x60, "\u2026 "}));

INSTANTIATE_TEST_SUITE_P(
    CharacterDisplay1, DisplayCharacters,
    testing::Values(CharCase{1, 0x41, "A "}, CharCase{1, 0x7F, "\x7F "},
                    CharCase{1, 0x80, "Б "}, CharCase{1, 0x8F, "Э "},
                    CharCase{1, 0x90, "  "}, CharCase{1, 0x91, "  "},
                    CharCase{1, 0x92, "Г "}, CharCase{1, 0x93, "  "},
                    CharCase{1, 0xAB, "  "}, CharCase{1, 0xAC, "Ю "},
                    CharCase{1, 0xAD, "Я "}, CharCase{1, 0xAE, "  "},
                    CharCase{1, 0xAF, "  "},
                    CharCase{1, 0xB0, "\u00B0 "},  // past the table: unchanged
                    CharCase{1, 0xC0, "А "}, CharCase{1, 0xFF, "я "},
                    CharCase{1, 0x02, "\x02 "},     // no arrows on this display
                    CharCase{1, 0xED, "н "}));      // no decimal point either

INSTANTIATE_TEST_SUITE_P(
    CharacterDisplay2, DisplayCharacters,
    testing::Values(CharCase{2, 0x00, "> "}, CharCase{2, 0x01, "< "},
                    CharCase{2, 0x02, "^ "}, CharCase{2, 0x03, "? "},
                    CharCase{2, 0x04, "\x04 "}, CharCase{2, 0x41, "A "},
                    CharCase{2, 0x9F, "\u045F "},  // below the table: unchanged
                    CharCase{2, 0xA0, "Б "}, CharCase{2, 0xAF, "Э "},
                    CharCase{2, 0xB0, "Ю "}, CharCase{2, 0xBF, "т "},
                    CharCase{2, 0xC0, "ч "}, CharCase{2, 0xC7, "я "},
                    CharCase{2, 0xC8, "  "}, CharCase{2, 0xDF, "  "},
                    CharCase{2, 0xE0, "Д "}, CharCase{2, 0xE3, "д "},
                    CharCase{2, 0xE6, "щ "}, CharCase{2, 0xE7, "  "},
                    CharCase{2, 0xE8, "и "},        // past the table: unchanged
                    CharCase{2, 0xED, "н "}));

TEST(DisplayCharacterTables, UnknownShapesAreQuestionMarksAndOnlySegmentsHaveDots) {
  int known = 0;
  for (int code = 0; code < 0x80; ++code) {
    const uint8_t ch = CONS_CLNT::CharOf(0, static_cast<uint8_t>(code));
    if (ch != '?') ++known;
    // The point never changes the shape.
    EXPECT_EQ(CONS_CLNT::CharOf(0, static_cast<uint8_t>(code | 0x80)), ch) << code;
    EXPECT_FALSE(CONS_CLNT::HasDot(0, static_cast<uint8_t>(code)));
    EXPECT_TRUE(CONS_CLNT::HasDot(0, static_cast<uint8_t>(code | 0x80)));
  }
  EXPECT_EQ(known, 43);
  for (int variant : {1, 2})
    for (int code = 0; code < 256; ++code)
      EXPECT_FALSE(CONS_CLNT::HasDot(variant, static_cast<uint8_t>(code)));
}

TEST(DisplayFrames, FrameLengthAndTextLengthPerVariant) {
  struct Case {
    int32_t variant, frame, columns, rows;
  } cases[] = {{0, 13, 12, 1}, {1, 33, 16, 2}, {2, 33, 16, 2}};
  for (const Case& c : cases) {
    CONS_CLNT cons(c.variant);
    EXPECT_EQ(cons.FrameLength(), c.frame);
    EXPECT_EQ(cons.Columns(), c.columns);
    EXPECT_EQ(cons.Rows(), c.rows);
    std::vector<uint8_t> frame(static_cast<size_t>(c.frame), 0x7F);
    cons.Decode(frame.data(), c.frame);
    EXPECT_EQ(cons.Text().size(), static_cast<size_t>(2 * (c.frame - 1))) << c.variant;
  }
  CONS_CLNT cons(0);
  cons.SetMode(7);  // no such display: treated as the common variant
  EXPECT_EQ(cons.Mode(), 2);
  EXPECT_EQ(cons.FrameLength(), 33);
}

TEST(DisplayFrames, LeadingByteIsNotADisplayPosition) {
  CONS_CLNT cons(0);
  // "HELLO" on the seven-segment display, right after a leading byte that
  // would read as "8." if it were shown.
  const uint8_t frame[13] = {0xFF, 0x3E, 0x5B, 0x52, 0x52, 0x77, 0, 0, 0, 0, 0, 0, 0xED};
  cons.Decode(frame, 13);
  EXPECT_EQ(cons.Text(), "H E L L 0 " + std::string(12, ' ') + "3.");
}

TEST(DisplayFrames, TwoRowTextWrapsAtThirtyTwoCharacters) {
  // On the first character display, Windows-1251 letters from 0xC0 pass as
  // they are and the generator's own codes fill the gaps (Б, Ю).
  CONS_CLNT cons(1);
  std::vector<uint8_t> frame(33, ' ');
  const std::string top = tgx::FromUtf8("Уровень");
  for (size_t i = 0; i < top.size(); ++i) frame[1 + i] = static_cast<uint8_t>(top[i]);
  frame[17] = 0x80;
  frame[18] = 0xAC;
  cons.Decode(frame.data(), 33);
  ASSERT_EQ(cons.Text().size(), 64u);
  EXPECT_EQ(tgx::ToUtf8(cons.Text().substr(0, 14)), "У р о в е н ь ");
  EXPECT_EQ(tgx::ToUtf8(cons.Text().substr(32, 4)), "Б Ю ");
}

TEST(DisplayFrames, ShortOrMissingFrameShowsBlanksInsteadOfReadingPastIt) {
  CONS_CLNT cons(1);
  const uint8_t frame[3] = {0, 'O', 'K'};
  cons.Decode(frame, 3);
  EXPECT_EQ(cons.Text(), "O K " + std::string(60, ' '));
  cons.Decode(nullptr, 33);
  EXPECT_EQ(cons.Text(), std::string(64, ' '));
  // A longer answer than the display is cut at the display's size.
  std::vector<uint8_t> big(300, 'x');
  cons.Decode(big.data(), 300);
  EXPECT_EQ(cons.Text().size(), 64u);
}

struct KeyCase {
  int32_t variant;
  char ch;
  int32_t code;  // -1: not a key of this variant
};

class DisplayKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(DisplayKeys, KeyAcceptanceAndCode) {
  const KeyCase& k = GetParam();
  CONS_CLNT cons(k.variant);
  EXPECT_EQ(cons.KeyCode(k.ch), k.code);
  EXPECT_EQ(cons.PressKey(k.ch), k.code >= 0);
  int32_t code = -2;
  EXPECT_EQ(cons.TakeKey(code), k.code >= 0);
  if (k.code >= 0) {
    EXPECT_EQ(code, k.code);
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, DisplayKeys,
    testing::Values(
        KeyCase{0, '0', 0}, KeyCase{0, '9', 9}, KeyCase{0, ',', 10}, KeyCase{0, '-', 11},
        KeyCase{0, 'q', 12}, KeyCase{0, 'z', 13}, KeyCase{0, 'm', 14},
        KeyCase{0, 'n', -1}, KeyCase{0, '.', -1}, KeyCase{0, '+', -1}, KeyCase{0, '\0', -1},
        KeyCase{1, '0', 0}, KeyCase{1, ',', 10}, KeyCase{1, '-', 11}, KeyCase{1, 'q', 12},
        KeyCase{1, 'm', 14}, KeyCase{1, 'n', 15}, KeyCase{1, '.', 15}, KeyCase{1, '+', -1},
        KeyCase{1, 'Q', -1}, KeyCase{1, '\0', -1},
        KeyCase{2, '5', 5}, KeyCase{2, '-', 10}, KeyCase{2, '+', 11}, KeyCase{2, 'z', 13},
        KeyCase{2, 'n', 15}, KeyCase{2, '.', 15}, KeyCase{2, ',', -1}, KeyCase{2, ' ', -1},
        KeyCase{2, '\xC0', -1}, KeyCase{2, '\0', -1}));

TEST(DisplayKeysPending, OneKeyWaitsUntilTakenOrTheVariantChanges) {
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
  EXPECT_EQ(cons.PendingKey(), 0);
}
}  // namespace
