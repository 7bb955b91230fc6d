#pragma once
// "Пульт": the unit's front display mirrored in a window, refreshed twice a
// second over the serial line, and the unit's front-panel keys from an
// on-screen keypad or the PC keyboard.
//
// The owner creates it per use, sets the port and the keyboard type, runs it
// with exec() and reads the keyboard type back. The link is held only while
// the window is shown, so the table session can have the port otherwise.
//
// The requests run on a thread of the link's own: a unit that keeps silent
// holds that thread for its reply timeout, while the window goes on
// repainting, opening its menu and taking keys. The window still starts at
// most one request at a time (the poll timer's busy mark), and only the link
// thread touches the line while one runs.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/Xtimer.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QThread;
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
  // Whether a request is out on the link thread, and how many have been
  // started since the window was created.
  bool RequestPending() const { return poll_.Busy(); }
  int64_t RequestsStarted() const { return requestsStarted_; }

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
  // What one request asks and what came back of it.
  enum class Request { Identify, Key, Poll };
  struct Reply {
    Request What = Request::Poll;
    bool Ok = false;
    bool Known = false;
    int32_t Code = 0;
    std::vector<uint8_t> Frame;
  };
  void RefreshPanel();
  // On the link thread: runs one request on link_.
  Reply Exchange(Request what, int32_t frameLength, int32_t key);
  // On the window's thread, once the link thread has answered.
  void TakeReply(uint64_t generation, const Reply& reply);
  void StopLinkThread();
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
  QThread* linkThread_ = nullptr;
  QObject* linkContext_ = nullptr;  // lives on linkThread_: requests are queued to it
  uint64_t generation_ = 0;         // a reply of an earlier showing is dropped
  int64_t requestsStarted_ = 0;
};
