#pragma once
// A DialogService for Qt tests: answers come from queues filled by the test,
// and every box or file dialog the program opens is recorded, so a test can
// assert the exact texts an operator would have seen.
//
//   tgx::test::ScriptedDialogs dialogs;          // installed until destroyed
//   dialogs.answers.push_back(Answer::Cancel);   // for "Сохранить проект?"
//   dialogs.files.push_back("/tmp/x.fs");        // for the next file dialog
//   ...
//   QCOMPARE(dialogs.Texts(), QStringList{"Таблицы удалены."});
//
// An empty answer queue answers Cancel and an empty file queue cancels the
// file dialog; both are counted in `unanswered`, so a test can tell a box it
// did not expect from one it answered on purpose.

#include <deque>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/Dialogs.h"

namespace tgx::test {

class ScriptedDialogs : public tgx::DialogService {
 public:
  using Answer = tgx::DialogService::Answer;

  enum class Kind { Inform, YesNoCancel, OkCancel, OpenFile, SaveFile, Folder };

  struct Shown {
    Kind kind;
    QString text;      // message text, or the caption of a file dialog
    QString folder;    // start folder (open file, folder choice)
    QString fileName;  // proposed file name (save)
    QString filter;
    bool confirmOverwrite = false;
    Answer answer = Answer::Ok;  // what the box answered
    QString result;              // what the file dialog returned
  };

  // Installs itself as the program's dialog service; the destructor restores
  // the Qt implementation.
  explicit ScriptedDialogs(bool install = true) : installed_(install) {
    if (installed_) tgx::SetDialogs(this);
  }
  ~ScriptedDialogs() override {
    if (installed_) tgx::SetDialogs(nullptr);
  }
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  // Answers for AskYesNoCancel and AskOkCancel, in order.
  std::deque<Answer> answers;
  // Results of the file dialogs (open, save, folder), in order; "" cancels.
  std::deque<QString> files;
  // Everything shown, in order.
  std::vector<Shown> shown;
  int beeps = 0;
  int unanswered = 0;
  // Called after each box or dialog is recorded, while the program waits for
  // its answer (a test can look at the windows at that moment).
  std::function<void(const Shown&)> onShown;

  void Inform(QWidget*, const QString& text) override {
    Record({Kind::Inform, text, {}, {}, {}, false, Answer::Ok, {}});
  }
  Answer AskYesNoCancel(QWidget*, const QString& text) override {
    return Record({Kind::YesNoCancel, text, {}, {}, {}, false, NextAnswer(), {}}).answer;
  }
  Answer AskOkCancel(QWidget*, const QString& text) override {
    return Record({Kind::OkCancel, text, {}, {}, {}, false, NextAnswer(), {}}).answer;
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString& folder,
                       const QString& filter) override {
    return Record({Kind::OpenFile, caption, folder, {}, filter, false, Answer::Ok, NextFile()}).result;
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& fileName,
                       const QString& filter, bool confirmOverwrite) override {
    return Record({Kind::SaveFile, caption, {}, fileName, filter, confirmOverwrite, Answer::Ok,
                   NextFile()})
        .result;
  }
  QString FolderPath(QWidget*, const QString& caption, const QString& folder) override {
    return Record({Kind::Folder, caption, folder, {}, {}, false, Answer::Ok, NextFile()}).result;
  }
  void Beep() override { ++beeps; }

  // The texts of the message boxes (information and questions), in order.
  QStringList Texts() const {
    QStringList out;
    for (const Shown& s : shown)
      if (s.kind == Kind::Inform || s.kind == Kind::YesNoCancel || s.kind == Kind::OkCancel)
        out << s.text;
    return out;
  }
  // The records of one kind, in order.
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
    beeps = 0;
    unanswered = 0;
  }

 private:
  Answer NextAnswer() {
    if (answers.empty()) {
      ++unanswered;
      return Answer::Cancel;
    }
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString NextFile() {
    if (files.empty()) {
      ++unanswered;
      return {};
    }
    QString f = files.front();
    files.pop_front();
    return f;
  }
  // Returned by value: onShown may open another box and grow the record.
  Shown Record(Shown s) {
    shown.push_back(s);
    if (onShown) onShown(s);
    return s;
  }

  bool installed_;
};

}  // namespace tgx::test
