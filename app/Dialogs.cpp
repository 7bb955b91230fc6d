// The Qt implementation of the dialog service: message boxes with the
// application title as caption and the button sets the program uses, and the
// toolkit's file dialogs.

#include "app/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "app/App.h"
#include "app/Qtext.h"

namespace tgx {
namespace {

// Up to this many reason lines show under the text itself.
constexpr int kInlineDetailLines = 8;

QWidget* Owner(QWidget* parent) { return parent ? parent : QApplication::activeWindow(); }

// The program's texts break lines with a lone carriage return in places (the
// write report); the toolkit only breaks on line feeds.
QString Displayed(const QString& text) {
  QString out = text;
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

// Filters may come in the "description|*.a;*.b" form; the toolkit wants
// "description (*.a *.b)". File systems here tell case, so both cases match.
QString QtFilter(const QString& filter) {
  if (filter.isEmpty() || !filter.contains(QLatin1Char('|'))) return filter;
  QStringList out;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString t = p.trimmed();
      if (!patterns.contains(t)) patterns << t;
      if (!patterns.contains(t.toLower())) patterns << t.toLower();
      if (!patterns.contains(t.toUpper())) patterns << t.toUpper();
    }
    out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

DialogService::Answer Ask(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
                          QMessageBox::StandardButton escape,
                          QMessageBox::StandardButton byDefault = QMessageBox::NoButton) {
  QMessageBox box(QMessageBox::Question, AppTitle(), Displayed(text), buttons, Owner(parent));
  box.setObjectName(QStringLiteral("QuestionBox"));
  box.setTextFormat(Qt::PlainText);
  box.setEscapeButton(escape);
  if (byDefault != QMessageBox::NoButton) box.setDefaultButton(byDefault);
  switch (box.exec()) {
    case QMessageBox::Ok: return DialogService::Answer::Ok;
    case QMessageBox::Yes: return DialogService::Answer::Yes;
    case QMessageBox::No: return DialogService::Answer::No;
    default: return DialogService::Answer::Cancel;
  }
}

class QtDialogs : public DialogService {
 public:
  void Inform(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), Displayed(text), QMessageBox::Ok, Owner(parent));
    // Texts are never markup: a session log is full of "<" and ">".
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  Answer AskYesNoCancel(QWidget* parent, const QString& text) override {
    return Ask(parent, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  }
  // A short reason goes under the text; a long one (many differing
  // channels) into the box's details, so the box stays on the screen.
  void InformDetail(QWidget* parent, const QString& text, const QString& detail) override {
    if (detail.isEmpty()) return Inform(parent, text);
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), Displayed(text), QMessageBox::Ok, Owner(parent));
    box.setTextFormat(Qt::PlainText);
    if (Displayed(detail).count(QLatin1Char('\n')) < kInlineDetailLines)
      box.setInformativeText(Displayed(detail).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    else
      box.setDetailedText(Displayed(detail));
    box.exec();
  }
  Answer AskOkCancel(QWidget* parent, const QString& text) override {
    return Ask(parent, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
  }
  Answer AskYesNo(QWidget* parent, const QString& text, bool defaultNo) override {
    // Closing the box is No: nothing is changed without a Yes.
    const Answer a = Ask(parent, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                         defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return a == Answer::Yes ? Answer::Yes : Answer::No;
  }
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter) override {
    return QFileDialog::getOpenFileName(Owner(parent), caption, folder, QtFilter(filter));
  }
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& fileName,
                       const QString& filter, bool confirmOverwrite) override {
    QFileDialog::Options options;
    if (!confirmOverwrite) options |= QFileDialog::DontConfirmOverwrite;
    return QFileDialog::getSaveFileName(Owner(parent), caption, fileName, QtFilter(filter), nullptr,
                                        options);
  }
  // A folder chooser stands in for the "*.*" trick of a file dialog; the
  // returned path ends in the separator, so its folder part is the folder.
  QString FolderPath(QWidget* parent, const QString& caption, const QString& folder) override {
    const QString dir = QFileDialog::getExistingDirectory(Owner(parent), caption, folder);
    if (dir.isEmpty()) return {};
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
  }
  void Beep() override { QApplication::beep(); }
};

QtDialogs& QtService() {
  static QtDialogs service;
  return service;
}

DialogService* current = nullptr;

}  // namespace

DialogService& Dialogs() { return current ? *current : QtService(); }

void SetDialogs(DialogService* service) { current = service; }

void BoxMessageSink::Show(const std::string& cp1251) { Dialogs().Inform(nullptr, ToQt(cp1251)); }

}  // namespace tgx
