#pragma once
// A DialogService for Qt tests: answers come from queues the test fills, and
// every box or file dialog is recorded with the texts an operator would see.
// An empty answer queue answers Cancel (No for a Yes/No question), an empty
// file queue cancels the dialog.

#include <deque>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/Dialogs.h"

namespace tgxtest {

class ScriptedDialogs : public tgx::DialogService {
 public:
  // The message boxes come first: Texts() relies on the order.
  enum class Kind { Inform, YesNoCancel, OkCancel, YesNo, OpenFile, SaveFile, Folder };
  struct Shown {
    Kind kind;
    QString text;        // message text, or the caption of a file dialog
    QString folder{};    // start folder (open file, folder choice)
    QString fileName{};  // proposed file name (save)
    QString filter{};
    bool confirmOverwrite = false;
    QString detail{};        // the reason under an information box's text
    bool defaultNo = false;  // a Yes/No question whose default button is No
  };

  ScriptedDialogs() { tgx::SetDialogs(this); }
  ~ScriptedDialogs() override { tgx::SetDialogs(nullptr); }  // back to the toolkit's boxes
  ScriptedDialogs(const ScriptedDialogs&) = delete;

  std::deque<Answer> answers;  // for the questions, in order
  std::deque<QString> files;   // for the file dialogs, in order; "" cancels
  std::vector<Shown> shown;    // everything shown, in order
  int beeps = 0;

  void Inform(QWidget*, const QString& text) override { shown.push_back({Kind::Inform, text}); }
  void InformDetail(QWidget*, const QString& text, const QString& detail) override {
    shown.push_back({Kind::Inform, text, {}, {}, {}, false, detail});
  }
  Answer AskYesNoCancel(QWidget*, const QString& t) override { return Ask({Kind::YesNoCancel, t}, Answer::Cancel); }
  Answer AskOkCancel(QWidget*, const QString& t) override { return Ask({Kind::OkCancel, t}, Answer::Cancel); }
  Answer AskYesNo(QWidget*, const QString& text, bool defaultNo) override {
    return Ask({Kind::YesNo, text, {}, {}, {}, false, {}, defaultNo}, Answer::No);  // as closing the box does
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString& folder, const QString& filter) override {
    return Record({Kind::OpenFile, caption, folder, {}, filter}, files, QString());
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& fileName, const QString& filter,
                       bool confirmOverwrite) override {
    return Record({Kind::SaveFile, caption, {}, fileName, filter, confirmOverwrite}, files, QString());
  }
  QString FolderPath(QWidget*, const QString& caption, const QString& folder) override {
    return Record({Kind::Folder, caption, folder}, files, QString());
  }
  void Beep() override { ++beeps; }

  // The texts of the message boxes (information and questions), in order.
  QStringList Texts() const {
    QStringList out;
    for (const Shown& s : shown)
      if (s.kind <= Kind::YesNo) out << s.text;
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
    beeps = 0;
  }

 private:
  Answer Ask(Shown s, Answer none) { return Record(s, answers, none); }
  // Records what was shown and answers from `queue`, or `none` when it is empty.
  template <typename T>
  T Record(Shown s, std::deque<T>& queue, T none) {
    shown.push_back(s);
    if (queue.empty()) return none;
    T first = queue.front();
    queue.pop_front();
    return first;
  }
};

}  // namespace tgxtest
