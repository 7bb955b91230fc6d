#pragma once
// One calibration form: the measured level/volume relation of one tank, kept as
// the texts that were read or typed (Windows-1251). Numbers are parsed only when
// the form is converted to a volume table.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TFormList = std::vector<std::string>;

class FORMA {
 public:
  // Flag bits.
  static constexpr uint32_t kConverted = 1;  // the last conversion succeeded
  static constexpr uint32_t kSmooth = 2;     // second differences within -128..127
  static constexpr uint32_t kDefined = 4;    // at least 2 rows when last counted
  static constexpr uint32_t kAutoLevel = 8;  // level column generated (types 1..3)

  FORMA() = default;

  void Clear();                   // title, rows and flags; type and headers stay
  void SetType(int32_t t);        // type, headers and the automatic-level flag
  void Init(int32_t t);           // a new form: rows 0/0 and 1/1 (0/0, 10/1 with automatic levels)
  void ClearToGap(int32_t t);     // the gap: no rows, not defined
  void CopyFrom(const FORMA& other);
  bool Equals(const FORMA& other) const;  // flags are not compared
  friend bool operator==(const FORMA& a, const FORMA& b) { return a.Equals(b); }

  int RowCount() const { return static_cast<int>(level_.size()); }
  void AppendRow(std::string level, std::string volume);
  void InsertRow(int i, std::string level, std::string volume);
  void DeleteRow(int i);  // only when the form has at least 3 rows
  const std::string& LevelText(int i) const { return level_[static_cast<size_t>(i)]; }
  const std::string& VolumeText(int i) const { return volume_[static_cast<size_t>(i)]; }
  void SetLevelText(int i, std::string s) { level_[static_cast<size_t>(i)] = std::move(s); }
  void SetVolumeText(int i, std::string s) { volume_[static_cast<size_t>(i)] = std::move(s); }
  const TFormList& Levels() const { return level_; }
  const TFormList& Volumes() const { return volume_; }

  void CountDefined();
  void SetTitle(std::string s) { title_ = std::move(s); }
  const std::string& Title() const { return title_; }
  const std::string& LevelHeader() const { return level_header_; }
  const std::string& VolumeHeader() const { return volume_header_; }

  int32_t Type() const { return type_; }
  uint32_t Flags() const { return flags_; }
  bool Converted() const { return flags_ & kConverted; }
  bool Smooth() const { return flags_ & kSmooth; }
  bool Defined() const { return flags_ & kDefined; }
  bool AutoLevel() const { return flags_ & kAutoLevel; }
  void SetConverted(bool b) { b ? flags_ |= kConverted : flags_ &= ~kConverted; }
  void SetSmooth(bool b) { b ? flags_ |= kSmooth : flags_ &= ~kSmooth; }

  // Adds the rows found in one data line (without its line end) of a file of
  // this form's type.
  void ParseLine(std::string_view line);
  // Room for this many rows, so that reading a large file does not regrow.
  void Reserve(size_t rows);

 private:
  void RenumberLevels();
  void AppendParsed(std::string_view level, std::string_view volume);

  uint32_t flags_ = 0;
  int32_t type_ = 0;
  TFormList level_;
  TFormList volume_;
  std::string title_;
  std::string level_header_;
  std::string volume_header_;
};
