#pragma once
// "Пульт": the unit's front display mirrored in a window, refreshed twice a
// second over the serial line, and the unit's front-panel keys from an
// on-screen keypad or the PC keyboard.
//
// The owner creates it per use, sets the port and the keyboard type, runs it
// with exec() and reads the keyboard type back. The link is held only while
// the window is shown, so the table session can have the port otherwise.

#include <QDialog>
#include <memory>

#include "link/Xtimer.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimer;
class CONS_CLNT;
class UKEDR_DRV;
struct KeyPlace;

class TBikForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTickMs = 100;
  static constexpr int kPollPeriodMs = 500;
  static constexpr int kReplyTimeoutMs = 500;

  explicit TBikForm(QWidget* parent = nullptr);
  ~TBikForm() override;

  void SetPortIndex(int index) { portIndex_ = index; }
  int PortIndex() const { return portIndex_; }
  // 1, 2 and 3 show their keypad and check their menu item; any other number
  // is only stored, so a damaged setting comes back unchanged.
  void SetKeyboardType(int type);
  int KeyboardType() const { return keyboardType_; }

  // The state of the exchange, for the owner's and the tests' eyes.
  bool Connected() const { return connected_; }
  bool Identified() const { return identified_; }
  int Variant() const { return variant_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  QGroupBox* BuildKeyBox(const char* name, const KeyPlace* keys, int count);
  void FormActivate();
  void FormDeactivate();
  void Timer1Timer();
  void PollPanel(int elapsedMs);
  void RefreshPanel();
  void ShowDisplay(const QString& text);
  void Button1Click();
  void Button1KeyPress(QChar ch);

  // Controls
  QMenuBar* mainMenu1_ = nullptr;
  QAction* nType1_ = nullptr;
  QAction* nType2_ = nullptr;
  QAction* nType3_ = nullptr;
  QTextEdit* displey_ = nullptr;
  QGroupBox* keyBox1_ = nullptr;
  QGroupBox* keyBox2_ = nullptr;
  QGroupBox* keyBox3_ = nullptr;
  QStatusBar* strBar_ = nullptr;
  QLabel* strBarPanel_[3] = {};
  QTimer* timer1_ = nullptr;

  int portIndex_ = 0;
  int keyboardType_ = 3;
  bool active_ = false;     // between activation and deactivation
  bool connected_ = false;
  char16_t pendingKey_ = 0;
  bool identified_ = false;
  int variant_ = 2;
  std::unique_ptr<CONS_CLNT> cons_;
  std::unique_ptr<UKEDR_DRV> link_;
  XTIMER poll_;
};
