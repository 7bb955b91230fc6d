#pragma once
// Program start and stop: the application title, the "-t" switch, the core's
// message sink and the five windows that live for the whole run.

#include <QString>

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

// Sets the title, installs the message-box sink for the core's messages and
// the port map, creates PrjForm, EditDlg, EditTabForm, LinkDlg and ImportDlg in
// this order, hands each window the ones it opens and shows the main window.
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
