#pragma once
// Program start and stop: the application title, the "-t" switch, the core's
// message sink and the five windows that live for the whole run.

#include <QString>
#include <QStringList>

#include "model/Messages.h"

class TPrjForm;

namespace tgx {
// "Тирель-Сервис. Градуировочные таблицы": the task-bar title, the first part of
// the main window caption and the caption of every message box.
QString AppTitle();

// True when the first command-line argument is exactly "-t"; no other
// argument is looked at.
bool IsTestModeArgument(int argc, char** argv);
// The switch as given to the last StartApplication.
bool TestMode();

// What the command line asks for. "-t" counts only as the first argument, as
// it always has; then a form file to open, or --help / --version, which
// answer on standard output without starting the windows. An unknown option
// is a usage error: the message on standard error and exit code 64.
struct CommandLine {
  static constexpr int kUsageError = 64;
  bool testMode = false;
  QString file;        // the form file to open as the project; "" none
  bool exit = false;   // answer `output` and end with `exitCode`
  int exitCode = 0;
  QString output;      // what to print before ending
  bool toStderr = false;
};
// `arguments` as the program got them, the program's name first.
CommandLine ParseCommandLine(const QStringList& arguments);

// Loads Qt's own Russian texts (buttons «Да/Нет/Отмена», file dialogs,
// context menus) whatever the desktop's language. Safe to call twice; false
// when the translation files are not installed.
bool InstallRussianTranslations();

// Sets the title, installs the message-box sink for the core's messages and
// the port map, creates PrjForm, EditDlg, EditTabForm, LinkDlg and ImportDlg in
// this order, hands each window the ones it opens and shows the main window;
// a form file named on the command line is then opened as «Открыть» does.
// A QApplication must exist. The main window's close does not quit the event
// loop by itself: main connects TPrjForm::Closed to QApplication::quit, tests
// look at the window instead.
void StartApplication(int argc, char** argv);
// Destroys the windows in the reverse order: LinkDlg joins the session worker,
// PrjForm saves the configuration. Safe to call twice.
void StopApplication();
// The main window between StartApplication and StopApplication, else null.
TPrjForm* MainWindow();

// Shows each core message (form files, configuration file) as an information
// box through Dialogs().
class BoxMessageSink : public MessageSink {
 public:
  void Show(const std::string& cp1251) override;
};
}  // namespace tgx
