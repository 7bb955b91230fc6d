#pragma once
// Every message box and file dialog of the program goes through this one
// interface, so that tests can answer "Сохранить проект?" or pick a file
// without a person. The program installs the Qt implementation at start.

#include <QString>

class QWidget;

namespace tgx {
class DialogService {
 public:
  enum class Answer { Ok, Cancel, Yes, No };
  virtual ~DialogService() = default;

  // Information box: the text, one OK button, the application title as caption.
  virtual void Inform(QWidget* parent, const QString& text) = 0;
  // Question with Yes, No and Cancel ("Сохранить проект?", "Сохранить форму?").
  // Closing the box answers Cancel.
  virtual Answer AskYesNoCancel(QWidget* parent, const QString& text) = 0;
  // Information box whose text is the outcome and whose detail (a second
  // paragraph, or the box's details for long texts) is the reason.
  virtual void InformDetail(QWidget* parent, const QString& text, const QString& detail) = 0;
  // Confirmation with OK and Cancel ("Удалить таблицу?").
  virtual Answer AskOkCancel(QWidget* parent, const QString& text) = 0;
  // Question with Yes and No before the unit is changed; `defaultNo` makes
  // No the button that Enter presses. Closing the box answers No.
  virtual Answer AskYesNo(QWidget* parent, const QString& text, bool defaultNo) = 0;
  // File dialogs; an empty result means cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& fileName,
                               const QString& filter, bool confirmOverwrite) = 0;
  // The forms-folder choice: a file dialog titled "Открыть папку" that starts
  // in `folder` with the name "*.*"; the returned path's folder is what counts.
  virtual QString FolderPath(QWidget* parent, const QString& caption, const QString& folder) = 0;
  virtual void Beep() = 0;
};

// The service in use; SetDialogs(nullptr) restores the Qt implementation.
DialogService& Dialogs();
void SetDialogs(DialogService* service);
}  // namespace tgx
