#pragma once
// The ordered set of up to 16 forms of a project, with the reading and writing
// of form files (*.fs, *.fs1, *.fs2, *.f1; *.f2 written only).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "forms/Forma.h"

class GROUPTAB;

class FDATA {
 public:
  static constexpr int kMaxForms = 16;

  FDATA() = default;

  void Clear();
  bool AddNew();
  bool Insert(int i, bool gap);
  bool Delete(int i);
  void Replace(int i, const FORMA& form);
  void Assign(const FDATA& other);
  friend bool operator==(const FDATA& a, const FDATA& b);
  bool Trim();

  int32_t Count() const { return count_; }
  FORMA& Form(int i) { return forms_[static_cast<size_t>(i)]; }
  const FORMA& Form(int i) const { return forms_[static_cast<size_t>(i)]; }

  // Paths are native file names (UTF-8 on Linux).
  static int32_t TypeOfFileName(const std::string& path);
  static std::string FileNameForType(const std::string& path, int32_t type);

  // Both show their failure through the process message sink
  // ("Неизвестная форма!", "Файл испорчен!", " Ошибка формы! ",
  // "Невозможно записать файл!"), with the reason and the file's name as a
  // second line when there is one, and return false. Load reads only regular
  // files of at most 8 MB, lines of at most 64 KiB and forms whose table fits
  // the unit (kMaxTableEntries); Save writes through a temporary file
  // (model/Safesave.h), so a failed save leaves the old file whole.
  bool Load(const std::string& path);
  bool Save(const std::string& path) const;

  // The file body without the file system: what Load reads after opening
  // (returns the trim result, shows nothing; `why` gets the reason of a
  // failure, with the line or form it concerns) and what Save writes.
  bool ReadText(std::string_view text, int32_t type, std::string* why = nullptr);
  std::string WriteText() const;

  // Conversions between forms and volume tables.
  bool ToTables(GROUPTAB& tables);
  void FromTables(const GROUPTAB& tables);
  void Check();

 private:
  std::array<FORMA, kMaxForms> forms_{};
  int32_t count_ = 0;
};
