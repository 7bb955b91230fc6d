#include "panel/core/Cons_clnt.h"

#include <array>
#include <cstring>

#include "model/Cp1251.h"

namespace {
using CharTable = std::array<uint8_t, 256>;

constexpr uint8_t kUnknown = '?';
constexpr uint8_t kDotBit = 0x80;
constexpr uint8_t kSegmentBits = 0x7F;

struct Glyph {
  uint8_t segments;  // bit 0 top, 1 upper left, 2 upper right, 3 middle,
                     // 4 lower left, 5 lower right, 6 bottom
  uint8_t byte;
};

// The seven-segment digits can draw only these shapes; the Cyrillic ones are
// Windows-1251 bytes, and 0x82..0x85 are kept as the unit's own marks.
constexpr Glyph kSegmentGlyphs[] = {
    {0x00, ' '},  {0x03, '_'},  {0x05, 0x83}, {0x07, 0x82}, {0x08, '-'},  {0x0F, 'T'},
    {0x13, 0xC3}, {0x18, 'r'},  {0x1B, 'F'},  {0x1F, 'P'},  {0x20, 'i'},  {0x24, '1'},
    {0x25, '7'},  {0x2E, '4'},  {0x37, 0xCF}, {0x38, 'n'},  {0x3A, 'h'},  {0x3E, 'H'},
    {0x3F, 'A'},  {0x40, '_'},  {0x41, '='},  {0x49, '>'},  {0x50, 0x84}, {0x52, 'L'},
    {0x53, 'C'},  {0x58, 'c'},  {0x5B, 'E'},  {0x5D, '2'},  {0x60, 0x85}, {0x65, 'J'},
    {0x6B, '5'},  {0x6D, '3'},  {0x6E, 0xD3}, {0x6F, '9'},  {0x70, 0x84}, {0x73, 'G'},
    {0x76, 'U'},  {0x77, '0'},  {0x78, 'o'},  {0x7A, 'b'},  {0x7B, '6'},  {0x7C, 'd'},
    {0x7F, '8'},
};

CharTable SegmentTable() {
  CharTable t;
  t.fill(kUnknown);
  for (const Glyph& g : kSegmentGlyphs) {
    t[g.segments] = g.byte;
  }
  return t;
}

// A character display's generator: every byte passes unchanged except the run
// starting at `first`, whose letters are given here in UTF-8 (blank = no glyph).
CharTable GeneratorTable(uint8_t first, const char* utf8Letters) {
  CharTable t;
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i);
  const std::string letters = tgx::FromUtf8(utf8Letters);
  for (size_t i = 0; i < letters.size() && first + i < t.size(); ++i)
    t[first + i] = static_cast<uint8_t>(letters[i]);
  return t;
}

const CharTable& TableOf(int32_t variant) {
  static const CharTable kSegments = SegmentTable();
  static const CharTable kDisplay1 = GeneratorTable(
      0x80,
      "БДЖЗИЙЛПУЦЧШЩЪЫЭ"                // 0x80..0x8F
      "  Г"                             // 0x90..0x92
      "                         "       // 0x93..0xAB
      "ЮЯ  ");                          // 0xAC..0xAF
  static const CharTable kDisplay2 = [] {
    CharTable t = GeneratorTable(
        0xA0,
        "БГЕЖЗИЙЛПУФЧШЪЫЭ"              // 0xA0..0xAF
        "ЮЯбвгежзийклмнпт"              // 0xB0..0xBF
        "чшъыьэюя"                      // 0xC0..0xC7
        "                        "      // 0xC8..0xDF
        "ДЦЩдфцщ "                      // 0xE0..0xE7
    );
    // The first codes are the unit's arrows and its question mark.
    t[0] = '>';
    t[1] = '<';
    t[2] = '^';
    t[3] = '?';
    return t;
  }();
  switch (variant) {
    case 0: return kSegments;
    case 1: return kDisplay1;
    default: return kDisplay2;
  }
}

// Key strings: the position is the code sent in the low four bits of the key
// request. The seven-segment unit has only 15 keys; its last entry is the
// terminating zero, which never counts as a key.
constexpr const char* kKeyStrings[CONS_CLNT::kVariants] = {
    "0123456789,-qzm",
    "0123456789,-qzmn",
    "0123456789-+qzmn",
};

int32_t ValidVariant(int32_t variant) {
  return variant >= 0 && variant < CONS_CLNT::kVariants ? variant : 2;
}

// Identification answers that decide which display is attached.
constexpr int32_t kFirstCodeWithPanelStart = 6350;
constexpr int32_t kCodeOfVariant1 = 6360;
constexpr int32_t kLastMinorOfVariant0 = 350;

constexpr const char* kVariantLabels[CONS_CLNT::kVariants] = {" << 635", " 636 ", " 6361 >>"};
}  // namespace

int32_t CONS_CLNT::VariantOfUnit(bool known, int32_t code) {
  if (!known || code % 1000 <= kLastMinorOfVariant0) return 0;
  return code == kCodeOfVariant1 ? 1 : 2;
}

bool CONS_CLNT::NeedsPanelStart(bool known, int32_t code) { return known && code >= kFirstCodeWithPanelStart; }

const char* CONS_CLNT::VariantLabel(int32_t variant) { return kVariantLabels[ValidVariant(variant)]; }

CONS_CLNT::CONS_CLNT(int32_t variant) { SetMode(variant); }

void CONS_CLNT::SetMode(int32_t variant) {
  pending_ = 0;
  variant_ = ValidVariant(variant);
  frame_length_ = FrameLength(variant_);
}

bool CONS_CLNT::PressKey(char ch) {
  if (!IsKey(ch)) return false;
  pending_ = ch;
  return true;
}

bool CONS_CLNT::TakeKey(int32_t& code) {
  if (pending_ == 0) return false;
  code = KeyCode(pending_);
  pending_ = 0;
  return code >= 0;
}

void CONS_CLNT::Decode(const uint8_t* frame, int32_t n) {
  text_.clear();
  for (int32_t i = 1; i < frame_length_; ++i) {
    if (frame != nullptr && i < n) {
      const uint8_t code = frame[i];
      text_ += static_cast<char>(CharOf(code));
      text_ += HasDot(code) ? '.' : ' ';
    } else {
      text_ += "  ";
    }
  }
}

int32_t CONS_CLNT::Columns(int32_t variant) { return ValidVariant(variant) == 0 ? 12 : 16; }

int32_t CONS_CLNT::Rows(int32_t variant) { return ValidVariant(variant) == 0 ? 1 : 2; }

uint8_t CONS_CLNT::CharOf(int32_t variant, uint8_t code) {
  variant = ValidVariant(variant);
  // The decimal point is its own segment and does not change the shape.
  if (variant == 0) code &= kSegmentBits;
  return TableOf(variant)[code];
}

bool CONS_CLNT::HasDot(int32_t variant, uint8_t code) {
  return ValidVariant(variant) == 0 && (code & kDotBit) != 0;
}

bool CONS_CLNT::IsKey(int32_t variant, char ch) { return KeyCode(variant, ch) >= 0; }

int32_t CONS_CLNT::KeyCode(int32_t variant, char ch) {
  variant = ValidVariant(variant);
  if (ch == '.' && variant != 0) ch = 'n';
  if (ch == 0) return -1;
  const char* keys = kKeyStrings[variant];
  const char* hit = std::strchr(keys, ch);
  return hit != nullptr ? static_cast<int32_t>(hit - keys) : -1;
}
