#include "SimDisplay.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "model/Cp1251.h"

namespace tgxsim {
namespace {

constexpr int kSevenSegmentPositions = 12;
constexpr int kCharacterColumns = 16;
constexpr int kCharacterRows = 2;
constexpr int kChannels = 16;
constexpr int kMenuItems = 4;
constexpr double kPi = 3.14159265358979323846;
// The main screen of the one-line display alternates level and volume.
constexpr double kSevenSegmentPageSeconds = 3.0;

const char* const kKeyStrings[3] = {
    "0123456789,-qzm",   // code 15 is no key on the seven-segment unit
    "0123456789,-qzmn",
    "0123456789-+qzmn",
};

// Character display codes that stand for Cyrillic letters, per variant.
struct CodeRun {
  uint8_t first;
  const char* utf8;
};
constexpr CodeRun kVariant1Runs[] = {
    {0x80, "БДЖЗИЙЛПУЦЧШЩЪЫЭ"}, {0x92, "Г"}, {0xAC, "ЮЯ"}};
constexpr CodeRun kVariant2Runs[] = {
    {0xA0, "БГЕЖЗИЙЛПУФЧШЪЫЭ"}, {0xB0, "ЮЯбвгежзийклмнпт"},
    {0xC0, "чшъыьэюя"}, {0xE0, "ДЦЩдфцщ"}};

// Letters the displays draw with their Latin look-alikes.
constexpr const char* kLookAlikes[][2] = {
    {"А", "A"}, {"В", "B"}, {"Е", "E"}, {"К", "K"}, {"М", "M"}, {"Н", "H"},
    {"О", "O"}, {"Р", "P"}, {"С", "C"}, {"Т", "T"}, {"Х", "X"}, {"а", "a"},
    {"е", "e"}, {"о", "o"}, {"р", "p"}, {"с", "c"}, {"у", "y"}, {"х", "x"}};

struct Segments {
  const char* utf8;
  uint8_t pattern;
};
// Bits 0..6: top, upper left, upper right, middle, lower left, lower right, bottom.
constexpr Segments kSegments[] = {
    {" ", 0x00}, {"_", 0x40}, {"-", 0x08}, {"T", 0x0F}, {"Г", 0x13}, {"r", 0x18},
    {"F", 0x1B}, {"P", 0x1F}, {"i", 0x20}, {"1", 0x24}, {"7", 0x25}, {"4", 0x2E},
    {"П", 0x37}, {"n", 0x38}, {"h", 0x3A}, {"H", 0x3E}, {"A", 0x3F}, {"=", 0x41},
    {">", 0x49}, {"L", 0x52}, {"C", 0x53}, {"c", 0x58}, {"E", 0x5B}, {"2", 0x5D},
    {"J", 0x65}, {"5", 0x6B}, {"3", 0x6D}, {"У", 0x6E}, {"9", 0x6F}, {"G", 0x73},
    {"U", 0x76}, {"0", 0x77}, {"o", 0x78}, {"b", 0x7A}, {"6", 0x7B}, {"d", 0x7C},
    {"8", 0x7F}};

uint8_t Cp(const char* utf8) {
  const std::string s = tgx::FromUtf8(utf8);
  return s.empty() ? '?' : static_cast<uint8_t>(s[0]);
}

struct Tables {
  // code of each Windows-1251 character in variants 1 and 2; 0 = none
  uint8_t cyrillic[3][256] = {};
  uint8_t lookAlike[256] = {};
  uint8_t segments[256] = {};
  bool hasSegments[256] = {};
};

Tables BuildTables() {
  Tables t;
  auto fill = [&t](int variant, const CodeRun* runs, size_t n) {
    for (size_t r = 0; r < n; ++r) {
      const std::string letters = tgx::FromUtf8(runs[r].utf8);
      for (size_t i = 0; i < letters.size(); ++i)
        t.cyrillic[variant][static_cast<uint8_t>(letters[i])] =
            static_cast<uint8_t>(runs[r].first + i);
    }
  };
  fill(1, kVariant1Runs, std::size(kVariant1Runs));
  fill(2, kVariant2Runs, std::size(kVariant2Runs));
  for (const auto& pair : kLookAlikes) t.lookAlike[Cp(pair[0])] = Cp(pair[1]);
  for (const Segments& s : kSegments) {
    t.segments[Cp(s.utf8)] = s.pattern;
    t.hasSegments[Cp(s.utf8)] = true;
  }
  return t;
}

const Tables& GetTables() {
  static const Tables tables = BuildTables();
  return tables;
}

uint8_t OtherCase(uint8_t c) {
  if (c >= 0xC0 && c <= 0xDF) return static_cast<uint8_t>(c + 0x20);
  if (c >= 0xE0) return static_cast<uint8_t>(c - 0x20);
  if (c == 0xA8) return 0xB8;
  if (c == 0xB8) return 0xA8;
  return c;
}

uint8_t Upper(uint8_t c) {
  if (c >= 0xE0 || c == 0xB8) return OtherCase(c);
  return c;
}

// True when the variant shows byte `code` as the Windows-1251 character of the
// same value (bytes outside its own code tables).
bool PassesUnchanged(int variant, uint8_t code) {
  if (variant == 1) return code < 0x80 || code > 0xAF;
  return code > 3 && (code < 0xA0 || code > 0xE7);
}

std::string Fixed(const std::string& s, size_t width) {
  std::string r = s.substr(0, width);
  r.resize(width, ' ');
  return r;
}

// A seven-segment row: `left` at the start and `right` against the end, where
// '.' lights the point of the position before it and takes no position.
std::string SevenSegmentRow(const std::string& leftUtf8, const std::string& rightUtf8) {
  const std::string left = tgx::FromUtf8(leftUtf8);
  const std::string right = tgx::FromUtf8(rightUtf8);
  auto positions = [](const std::string& s) {
    int n = 0;
    for (size_t i = 0; i < s.size(); ++i)
      if (s[i] != '.' || i == 0) ++n;
    return n;
  };
  const int gap = kSevenSegmentPositions - positions(left) - positions(right);
  return left + std::string(gap > 0 ? gap : 0, ' ') + right;
}

std::string Format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string Format(const char* fmt, int v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

}  // namespace

SimDisplay::SimDisplay(int variant, int versionCode, bool versionKnown)
    : variant_(variant < 0 || variant > 2 ? 2 : variant),
      versionCode_(versionCode),
      versionKnown_(versionKnown) {}

int SimDisplay::FrameLength() const {
  return variant_ == 0 ? kSevenSegmentPositions + 1 : kCharacterColumns * kCharacterRows + 1;
}

char SimDisplay::KeyOf(int variant, int code) {
  if (variant < 0 || variant > 2 || code < 0 || code > 15) return 0;
  const std::string keys = kKeyStrings[variant];
  return code < static_cast<int>(keys.size()) ? keys[static_cast<size_t>(code)] : 0;
}

double SimDisplay::Time(double nowSec) const {
  return (frozen_ ? frozenAt_ : nowSec) - timeShift_;
}

double SimDisplay::LevelMm(double t) const {
  return 1200.0 + 173.0 * channel_ + 150.0 * std::sin(2 * kPi * t / 60.0 + channel_);
}

bool SimDisplay::PressKey(int code, double nowSec) {
  const char key = KeyOf(variant_, code);
  if (key == 0) return false;
  lastKey_ = key;
  ++keyCount_;

  auto itemScreen = [](int item) {
    switch (item) {
      case 2: return Screen::kTemperature;
      case 3: return Screen::kVersion;
      case 4: return Screen::kKeys;
      default: return Screen::kMain;
    }
  };
  const bool choosesChannel = screen_ == Screen::kMain || screen_ == Screen::kTemperature;
  if (key >= '0' && key <= '9') {
    const int digit = key - '0';
    if (screen_ == Screen::kMenu) {
      if (digit >= 1 && digit <= kMenuItems) {
        menuItem_ = digit;
        screen_ = itemScreen(digit);
      }
    } else if (choosesChannel) {
      channel_ = digit == 0 ? 10 : digit;
    }
  } else if (key == '+' || key == ',' || key == '-') {
    const int step = key == '-' ? -1 : 1;
    if (screen_ == Screen::kMenu)
      menuItem_ = (menuItem_ - 1 + step + kMenuItems) % kMenuItems + 1;
    else if (choosesChannel)
      channel_ = (channel_ - 1 + step + kChannels) % kChannels + 1;
  } else if (key == 'm') {
    screen_ = screen_ == Screen::kMenu ? itemScreen(menuItem_) : Screen::kMenu;
  } else if (key == 'q') {
    screen_ = Screen::kMain;
  } else if (key == 'z') {
    if (frozen_) {
      timeShift_ += nowSec - frozenAt_;
      frozen_ = false;
    } else {
      frozenAt_ = nowSec;
      frozen_ = true;
    }
  }
  return true;
}

std::vector<std::string> SimDisplay::Rows(double nowSec) const {
  const double t = Time(nowSec);
  const double level = LevelMm(t);
  const int volume = static_cast<int>(level * (11 + channel_));
  const double temperature = 15.0 + 0.5 * channel_ + 2.0 * std::sin(2 * kPi * t / 90.0);
  const std::string version = versionKnown_ ? Format("%d", versionCode_) : "----";

  if (variant_ == 0) {
    const std::string ch = Format("%d.", channel_);
    std::string row;
    switch (screen_) {
      case Screen::kMain:
        row = std::fmod(nowSec, 2 * kSevenSegmentPageSeconds) < kSevenSegmentPageSeconds
                  ? SevenSegmentRow(ch + "H", Format("%.1f", level / 10.0))
                  : SevenSegmentRow(ch + "U", Format("%d", volume));
        break;
      case Screen::kMenu: {
        const char* labels[kMenuItems] = {"H-U", "C", "Pr", "b"};
        row = SevenSegmentRow(Format("П-%d", menuItem_), labels[menuItem_ - 1]);
        break;
      }
      case Screen::kTemperature:
        row = SevenSegmentRow(ch + "C", Format("%.1f", temperature));
        break;
      case Screen::kVersion:
        row = SevenSegmentRow("Pr", version);
        break;
      case Screen::kKeys:
        row = SevenSegmentRow(Format("b%02d", lastKey_ ? static_cast<int>(std::string(
                                                 kKeyStrings[0]).find(lastKey_)) : 0),
                              Format("%d", keyCount_));
        break;
    }
    return {row};
  }

  std::string top, bottom;
  switch (screen_) {
    case Screen::kMain:
      top = Format("К%02d Н=", channel_) + Format("%6.1f см", level / 10.0);
      bottom = Format("V=%7d л", volume) + (frozen_ ? " СТОП" : "");
      break;
    case Screen::kMenu: {
      const char* items[kMenuItems] = {"Уровень, объем", "Температура", "Версия ПО",
                                       "Клавиатура"};
      top = "Меню" + std::string(8, ' ') + Format("%d/4", menuItem_);
      bottom = items[menuItem_ - 1];
      break;
    }
    case Screen::kTemperature:
      top = Format("Темп. канала %02d", channel_);
      bottom = Format("t=%+5.1f C", temperature);
      break;
    case Screen::kVersion:
      top = "Версия ПО";
      bottom = version;
      break;
    case Screen::kKeys:
      top = std::string("Клавиша: ") + (lastKey_ ? std::string(1, lastKey_) : "-");
      bottom = Format("Нажато: %d", keyCount_);
      break;
  }
  return {Fixed(tgx::FromUtf8(top), kCharacterColumns),
          Fixed(tgx::FromUtf8(bottom), kCharacterColumns)};
}

uint8_t SimDisplay::CharacterCode(int variant, uint8_t c) {
  if (c < 0x80) return c;
  const Tables& t = GetTables();
  // The first character display has capitals only.
  const uint8_t want = variant == 1 ? Upper(c) : c;
  if (uint8_t code = t.cyrillic[variant][want]) return code;
  if (uint8_t latin = t.lookAlike[want]) return latin;
  if (PassesUnchanged(variant, want)) return want;
  if (uint8_t code = t.cyrillic[variant][OtherCase(want)]) return code;
  return '?';
}

uint8_t SimDisplay::SegmentPattern(uint8_t c) {
  const Tables& t = GetTables();
  if (t.hasSegments[c]) return t.segments[c];
  if (c >= 'a' && c <= 'z' && t.hasSegments[c - 'a' + 'A']) return t.segments[c - 'a' + 'A'];
  if (c >= 'A' && c <= 'Z' && t.hasSegments[c - 'A' + 'a']) return t.segments[c - 'A' + 'a'];
  return t.segments[static_cast<uint8_t>('-')];
}

std::vector<uint8_t> SimDisplay::Frame(double nowSec) const {
  std::vector<uint8_t> frame;
  frame.reserve(static_cast<size_t>(FrameLength()));
  frame.push_back(static_cast<uint8_t>(keyCount_ & 0xFF));
  const std::vector<std::string> rows = Rows(nowSec);
  if (variant_ == 0) {
    const std::string& row = rows[0];
    for (size_t i = 0; i < row.size(); ++i) {
      const uint8_t c = static_cast<uint8_t>(row[i]);
      if (c == '.' && frame.size() > 1) {
        frame.back() |= 0x80;
      } else {
        frame.push_back(SegmentPattern(c));
      }
    }
  } else {
    for (const std::string& row : rows)
      for (char c : row) frame.push_back(CharacterCode(variant_, static_cast<uint8_t>(c)));
  }
  frame.resize(static_cast<size_t>(FrameLength()), 0);
  return frame;
}

}  // namespace tgxsim
