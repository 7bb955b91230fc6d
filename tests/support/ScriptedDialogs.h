#pragma once
// A DialogService for Qt tests: answers come from queues filled by the test,
// and every box or file dialog the program opens is recorded, so a test can
// assert the exact texts an operator would have seen.
//
//   tgxtest::ScriptedDialogs dialogs;          // installed until destroyed
//   dialogs.answers = {Answer::Cancel};          // for "Сохранить проект?"
//   dialogs.files = {"/tmp/x.fs"};               // for the next file dialog
//   ...
//   QCOMPARE(dialogs.Texts(), QStringList{"Таблицы удалены."});
//
// An empty answer queue answers Cancel (No for a Yes/No question) and an
// empty file queue cancels the file dialog; both are counted in `unanswered`,
// so a test can tell a box it did not expect from one it answered on purpose.

#include <deque>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/Dialogs.h"

namespace tgxtest {

class ScriptedDialogs : public tgx::DialogService {
 public:
  using Answer = tgx::DialogService::Answer;
  enum class Kind { Inform, YesNoCancel, OkCancel, YesNo, OpenFile, SaveFile, Folder };
  struct Shown {
    Kind kind;
    QString text;        // message text, or the caption of a file dialog
    QString folder{};    // start folder (open file, folder choice)
    QString fileName{};  // proposed file name (save)
    QString filter{};
    bool confirmOverwrite = false;
    QString detail{};      // the reason under an information box's text
    bool defaultNo = false;  // a Yes/No question whose default button is No
  };

  ScriptedDialogs() { tgx::SetDialogs(this); }
  ~ScriptedDialogs() override { tgx::SetDialogs(nullptr); }  // back to the toolkit's boxes
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  std::deque<Answer> answers;  // for AskYesNoCancel and AskOkCancel, in order
  std::deque<QString> files;   // for the file dialogs, in order; "" cancels
  std::vector<Shown> shown;    // everything shown, in order
  int beeps = 0;
  int unanswered = 0;

  void Inform(QWidget*, const QString& text) override { shown.push_back({Kind::Inform, text}); }
  Answer AskYesNoCancel(QWidget*, const QString& text) override { return Ask(Kind::YesNoCancel, text); }
  void InformDetail(QWidget*, const QString& text, const QString& detail) override {
    Shown s{Kind::Inform, text};
    s.detail = detail;
    shown.push_back(s);
  }
  Answer AskOkCancel(QWidget*, const QString& text) override { return Ask(Kind::OkCancel, text); }
  // An empty queue answers No here, as closing the box does.
  Answer AskYesNo(QWidget*, const QString& text, bool defaultNo) override {
    Shown s{Kind::YesNo, text};
    s.defaultNo = defaultNo;
    shown.push_back(s);
    return Next(answers, Answer::No);
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString& folder, const QString& filter) override {
    return File({Kind::OpenFile, caption, folder, {}, filter});
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& fileName, const QString& filter,
                       bool confirmOverwrite) override {
    return File({Kind::SaveFile, caption, {}, fileName, filter, confirmOverwrite});
  }
  QString FolderPath(QWidget*, const QString& caption, const QString& folder) override {
    return File({Kind::Folder, caption, folder});
  }
  void Beep() override { ++beeps; }

  // The texts of the message boxes (information and questions), in order.
  QStringList Texts() const {
    QStringList out;
    for (const Shown& s : shown)
      if (s.kind == Kind::Inform || s.kind == Kind::YesNoCancel || s.kind == Kind::OkCancel ||
          s.kind == Kind::YesNo)
        out << s.text;
    return out;
  }
  std::vector<Shown> OfKind(Kind kind) const {
    std::vector<Shown> out;
    for (const Shown& s : shown)
      if (s.kind == kind) out.push_back(s);
    return out;
  }
  void Clear() {
    answers.clear();
    files.clear();
    shown.clear();
    beeps = unanswered = 0;
  }

 private:
  template <typename T>
  T Next(std::deque<T>& queue, T none) {
    if (queue.empty()) return ++unanswered, none;
    T first = queue.front();
    queue.pop_front();
    return first;
  }
  Answer Ask(Kind kind, const QString& text) {
    shown.push_back({kind, text});
    return Next(answers, Answer::Cancel);
  }
  QString File(Shown s) {
    shown.push_back(s);
    return Next(files, QString());
  }
};

}  // namespace tgxtest
