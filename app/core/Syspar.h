#pragma once
#include <cstdint>
#include <string>

// Remote panel keyboard type and the initial folder of the form file dialogs.
class SYSPAR {
 public:
  int32_t KeyboardType() const { return keyboard_type_; }
  void SetKeyboardType(int32_t t) { keyboard_type_ = t; }
  std::string FormsFolder() const { return forms_folder_; }
  void SetFormsFolderText(std::string f) { forms_folder_ = std::move(f); }
  // Keeps the directory part of the path, with its trailing separator; a path
  // without a directory gives an empty folder.
  void SetFolderFromPath(const std::string& path);

 private:
  int32_t keyboard_type_ = 1;
  std::string forms_folder_;
};
