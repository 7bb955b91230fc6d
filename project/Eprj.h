#pragma once
// The project: a named, ordered set of up to 16 calibration forms with a
// modified flag and a one-form clipboard.

#include <cstdint>
#include <string>

#include "forms/Fdata.h"
#include "forms/Forma.h"

class GROUPTAB;

class EPROJECT {
 public:
  static constexpr uint32_t kFromSource = 1;  // content came from a file or tables
  static constexpr uint32_t kModified = 2;    // modified since the last save
  static constexpr uint32_t kFromTables = 4;  // content built from volume tables

  EPROJECT() { Reset(); }

  void Reset();
  void New();
  // `path` is a native file name; the project's name becomes its Windows-1251 form.
  bool Load(const std::string& path);
  bool Save(const std::string& path);
  bool ConvertFrom(const EPROJECT& source);
  void FromTables(const GROUPTAB& tables, const std::string& name);
  void Check();

  bool Converted(int i) const { return forms_.Form(i).Converted(); }
  bool Smooth(int i) const { return forms_.Form(i).Smooth(); }
  bool IsGap(int i) const { return forms_.Form(i).RowCount() < 2; }
  // The control column's mark of form i after Check: "" for a gap, "-" when the
  // form does not convert, "OK*" when its table is not smooth, "OK " otherwise.
  std::string ControlMark(int i) const;
  // True when every form that is not a gap converts (after Check): the tables
  // can go to the unit only then.
  bool AllDefinedConvert() const;
  std::string LastLevel(int i) const;
  std::string LastVolume(int i) const;

  void CopyFormsTo(FDATA& target) const { target.Assign(forms_); }
  bool ToTables(GROUPTAB& tables);
  void SetForms(const FDATA& forms);

  bool AddNewForm();
  bool InsertNewForm(int i);
  bool InsertGap(int i);
  bool DeleteForm(int i);
  void CopyForm(int i);
  bool PasteForm(int i);

  // A changed title marks the project modified (the title is saved with the
  // form); the same title again changes nothing.
  void SetTitle(int i, std::string title);

  const std::string& Name() const { return name_; }  // Windows-1251
  void SetName(std::string name) { name_ = std::move(name); }
  uint32_t Flags() const { return flags_; }
  bool Modified() const { return flags_ & kModified; }
  int32_t FormCount() const { return forms_.Count(); }
  const FDATA& Forms() const { return forms_; }
  const FORMA& Form(int i) const { return forms_.Form(i); }
  bool ClipboardValid() const { return clipboard_valid_; }
  const FORMA& Clipboard() const { return clipboard_; }

 private:
  std::string name_;
  uint32_t flags_ = 0;
  FDATA forms_;
  bool clipboard_valid_ = false;
  FORMA clipboard_;
};
