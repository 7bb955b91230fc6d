#pragma once
// The unit's compact table image: identical tables stored once, each stored
// table delta-encoded (mode 0: 16-bit first value and first difference, then
// one signed byte per second difference; mode 1: 16-bit first value, then
// 16-bit first differences). Multi-byte fields are little-endian.

#include <array>
#include <cstdint>
#include <string>

#include "model/Prjvol.h"
#include "model/Xstream.h"

// The unit addresses its table memory with 16 bits: no image it holds is
// larger. (The compact-directory units cap their image lower still.)
constexpr int32_t kMaxUnitImageBytes = 65535;

struct TableDirectory {
  std::array<int32_t, 16> Counts{};  // entry count of stored table k + 1
  std::array<int32_t, 16> Slots{};   // stored number (1-based) used by position p; 0 = empty
  int32_t UniqueCount = 0;           // stored tables, 0..16
  friend bool operator==(const TableDirectory&, const TableDirectory&) = default;
};

// Bytes a stored table of n entries takes in the mode (0 for an unknown mode).
int32_t StoredSize(int32_t mode, int32_t n);

// A directory the unit could really hold: UniqueCount 0..16, every slot 0..UniqueCount,
// every stored number 1..UniqueCount used by some slot and with a count of at
// least 1, and a packed size of at most kMaxUnitImageBytes. Directories read from the
// unit are checked with this before anything is sized from them.
bool DirectoryIsSane(const TableDirectory& d, int32_t mode);

class FTAB : public DATA {
 public:
  int32_t Errors = 0;
  TableDirectory Directory{};
  int32_t Mode = 0;

  FTAB() = default;
  virtual ~FTAB() = default;

  void Reset();
  void Pack(const GROUPTAB& set);
  // False (and an empty set) when the image is shorter than the directory says.
  bool Unpack(GROUPTAB& set) const;
  void SaveDirectory(TableDirectory& out) const { out = Directory; }
  void LoadDirectory(const TableDirectory& in);
  bool Equals(const FTAB& other) const;
  void Convert(const FTAB& other);
  virtual int32_t PackedSize() const = 0;

 protected:
  virtual void PackOne(int32_t& pos, int32_t n, const PARTAB& table) = 0;
  virtual void UnpackOne(int32_t& pos, int32_t n, PARTAB& table) const = 0;
};

class TArjTab : public FTAB {
 public:
  explicit TArjTab(int32_t mode = 0) { Mode = mode; }
  int32_t PackedSize() const override;

 protected:
  void PackOne(int32_t& pos, int32_t n, const PARTAB& table) override;
  void UnpackOne(int32_t& pos, int32_t n, PARTAB& table) const override;
};

// Why the set does not pack in the mode: one line for every channel whose
// table does not fit, naming the first level where it fails (a value or a
// difference beyond 16 bits, or in mode 0 a second difference outside
// -128..127). "" when every table fits. Windows-1251.
std::string PackFailureText(const GROUPTAB& set, int32_t mode);
