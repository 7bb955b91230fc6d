#pragma once
// "О программе": the program's title, the executable's file name with the
// version it was built as, and the makers' contact lines.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutDlg(QWidget* parent = nullptr);

  // The makers' lines shown in Memo3, in this order.
  static constexpr const char* kMakerName = "Группа разработки TGX";
  static constexpr const char* kMakerWeb = "https://tgx.example.org";
  static constexpr const char* kMakerMail = "support@tgx.example.org";

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QPlainTextEdit* MakeMemo(const char* name, int width, int height);
};
