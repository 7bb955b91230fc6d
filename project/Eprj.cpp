#include "project/Eprj.h"

#include "model/Cp1251.h"
#include "model/Prjvol.h"

void EPROJECT::Reset() {
  flags_ = 0;
  name_.clear();
  forms_.Clear();
}

void EPROJECT::New() {
  Reset();
  name_ = "NONAME";
  forms_.AddNew();
  flags_ |= kModified;
}

bool EPROJECT::Load(const std::string& path) {
  Reset();
  if (!forms_.Load(path)) return false;
  flags_ |= kFromSource;
  name_ = tgx::FromUtf8(path);
  return true;
}

bool EPROJECT::Save(const std::string& path) {
  if (!forms_.Save(path)) return false;
  flags_ &= ~kModified;
  return true;
}

bool EPROJECT::ConvertFrom(const EPROJECT& source) {
  // The source may be this very project: take what is needed before the reset.
  FDATA work;
  work.Assign(source.forms_);
  std::string name = source.name_;
  Reset();
  name_ = std::move(name);
  GROUPTAB tables;
  if (!work.ToTables(tables)) return false;
  forms_.FromTables(tables);
  for (int k = 0; k < forms_.Count(); ++k) forms_.Form(k).SetTitle(work.Form(k).Title());
  flags_ |= kFromSource | kFromTables;
  return true;
}

void EPROJECT::FromTables(const GROUPTAB& tables, const std::string& name) {
  Reset();
  name_ = name;
  forms_.FromTables(tables);
  flags_ |= kFromSource | kModified | kFromTables;
}

void EPROJECT::Check() { forms_.Check(); }

void EPROJECT::SetTitle(int i, std::string title) {
  FORMA& form = forms_.Form(i);
  if (form.Title() == title) return;
  form.SetTitle(std::move(title));
  flags_ |= kModified;
}

std::string EPROJECT::ControlMark(int i) const {
  if (IsGap(i)) return "";
  if (!Converted(i)) return "-";
  return Smooth(i) ? "OK " : "OK*";
}

bool EPROJECT::AllDefinedConvert() const {
  for (int i = 0; i < FormCount(); ++i)
    if (!IsGap(i) && !Converted(i)) return false;
  return true;
}

std::string EPROJECT::LastLevel(int i) const {
  const FORMA& f = forms_.Form(i);
  return f.RowCount() > 0 ? f.LevelText(f.RowCount() - 1) : std::string();
}

std::string EPROJECT::LastVolume(int i) const {
  const FORMA& f = forms_.Form(i);
  return f.RowCount() > 0 ? f.VolumeText(f.RowCount() - 1) : std::string();
}

bool EPROJECT::ToTables(GROUPTAB& tables) { return forms_.ToTables(tables); }

void EPROJECT::SetForms(const FDATA& forms) {
  if (!(forms == forms_)) flags_ |= kModified;
  forms_.Assign(forms);
}

bool EPROJECT::AddNewForm() {
  if (!forms_.AddNew()) return false;
  flags_ |= kModified;
  return true;
}

bool EPROJECT::InsertNewForm(int i) {
  if (!forms_.Insert(i, false)) return false;
  flags_ |= kModified;
  return true;
}

bool EPROJECT::InsertGap(int i) {
  if (!forms_.Insert(i, true)) return false;
  flags_ |= kModified;
  return true;
}

bool EPROJECT::DeleteForm(int i) {
  if (!forms_.Delete(i)) return false;
  flags_ |= kModified;
  return true;
}

void EPROJECT::CopyForm(int i) {
  if (i < 0 || i >= forms_.Count()) return;
  clipboard_.CopyFrom(forms_.Form(i));
  clipboard_valid_ = true;
}

bool EPROJECT::PasteForm(int i) {
  if (!clipboard_valid_ || !forms_.Insert(i, false)) return false;
  forms_.Replace(i, clipboard_);
  flags_ |= kModified;
  return true;
}
