#pragma once
// Display model of the remote panel: which of the unit's three front displays
// is attached, how long its display frame is, which key waits to be sent, and
// the received frame turned into Windows-1251 text.
//
// The text holds two bytes per display position: the character, then "." when
// the position's decimal point is lit, else a blank. It carries no line break;
// a two-row display is 64 bytes that the window wraps at 32.

#include <cstdint>
#include <string>

class CONS_CLNT {
 public:
  // 0: twelve seven-segment digits; 1 and 2: 16 x 2 character displays that
  // differ in their character generator and their keys.
  static constexpr int32_t kVariants = 3;
  static constexpr int32_t kKeys = 16;

  explicit CONS_CLNT(int32_t variant = 2);

  // The display a unit has, from its identification (whether it knows its
  // version, and the version code): the seven-segment display for a unit that
  // does not know its version and for every code whose last three digits are
  // 350 or less, the first character display for 6360, the second otherwise.
  static int32_t VariantOfUnit(bool known, int32_t code);
  // Units from 6350 on answer the display requests only after a panel start.
  static bool NeedsPanelStart(bool known, int32_t code);
  // The status bar's name of a variant; numbers outside 0..2 name variant 2.
  static const char* VariantLabel(int32_t variant);

  // Switches the variant and forgets a pending key: a key typed for one
  // display's keypad means something else on another. Numbers outside 0..2
  // select variant 2, the one used for every firmware that is not singled out.
  void SetMode(int32_t variant);
  int32_t Mode() const { return variant_; }
  // Bytes the unit sends per display answer: one leading byte that is not a
  // display position, then one per position.
  int32_t FrameLength() const { return frame_length_; }
  int32_t Columns() const { return Columns(variant_); }
  int32_t Rows() const { return Rows(variant_); }

  // Takes ch as the pending key when it is a key of the current variant.
  bool PressKey(char ch);
  // The pending key's code, which then stops being pending.
  bool TakeKey(int32_t& code);
  char PendingKey() const { return pending_; }

  // Decodes positions 1 .. FrameLength()-1 of the frame. A frame shorter than
  // that (a unit that sent less) shows blanks in the missing positions rather
  // than reading past what arrived.
  void Decode(const uint8_t* frame, int32_t n);
  const std::string& Text() const { return text_; }

  uint8_t CharOf(uint8_t code) const { return CharOf(variant_, code); }
  bool HasDot(uint8_t code) const { return HasDot(variant_, code); }
  bool IsKey(char ch) const { return IsKey(variant_, ch); }
  int32_t KeyCode(char ch) const { return KeyCode(variant_, ch); }

  static int32_t Columns(int32_t variant);
  static int32_t Rows(int32_t variant);
  static int32_t FrameLength(int32_t variant) { return Columns(variant) * Rows(variant) + 1; }
  static uint8_t CharOf(int32_t variant, uint8_t code);
  static bool HasDot(int32_t variant, uint8_t code);
  static bool IsKey(int32_t variant, char ch);
  // Position of ch in the variant's key string, -1 when it is no key.
  static int32_t KeyCode(int32_t variant, char ch);

 private:
  int32_t variant_ = 2;
  int32_t frame_length_ = 33;
  char pending_ = 0;
  std::string text_;
};
