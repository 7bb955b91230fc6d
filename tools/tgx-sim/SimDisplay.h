#pragma once
// The unit's front display as the simulator shows it: a live reading of the
// selected channel (level and volume drift slowly), a small menu driven by
// the front-panel keys, and the frames that carry it in the character codes
// of the unit's display variant.
//
// Keys (as the variant names them):
//   digits   main/temperature screen: choose the channel (0 = channel 10);
//            menu: open item 1..4
//   + or ,   next channel / next menu item;  -  previous one
//   m        open the menu; in the menu, open the chosen item
//   q        back to the main screen
//   z        freeze / unfreeze the readings
//   n        (".") only counted
// Byte 0 of every frame is not a display position; it carries the number of
// keys taken so far, modulo 256.

#include <cstdint>
#include <string>
#include <vector>

namespace tgxsim {

class SimDisplay {
 public:
  SimDisplay(int variant, int versionCode, bool versionKnown);

  int Variant() const { return variant_; }
  // 13 bytes for the seven-segment display, 33 for the character displays.
  int FrameLength() const;
  // Takes key code 0..15 as the variant numbers its keys; false (and
  // nothing changes) for a code that is no key of this variant.
  bool PressKey(int code, double nowSec);
  std::vector<uint8_t> Frame(double nowSec) const;

  // The display's text in Windows-1251, one string per row, before encoding.
  // For the seven-segment display '.' marks a lit decimal point.
  std::vector<std::string> Rows(double nowSec) const;

  // Encoding of one Windows-1251 character for a character display variant.
  static uint8_t CharacterCode(int variant, uint8_t cp1251);
  // Segment pattern of one character; bit 7 is left to the caller.
  static uint8_t SegmentPattern(uint8_t cp1251);
  // The key character of `code` in `variant` (0 when it has none).
  static char KeyOf(int variant, int code);

 private:
  enum class Screen { kMain, kMenu, kTemperature, kVersion, kKeys };

  double Time(double nowSec) const;
  double LevelMm(double t) const;

  int variant_;
  int versionCode_;
  bool versionKnown_;
  Screen screen_ = Screen::kMain;
  int channel_ = 1;
  int menuItem_ = 1;
  bool frozen_ = false;
  double frozenAt_ = 0;
  double timeShift_ = 0;  // time spent frozen, taken out of the readings
  char lastKey_ = 0;
  int keyCount_ = 0;
};

}  // namespace tgxsim
