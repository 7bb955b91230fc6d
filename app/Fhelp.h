#pragma once
// «Справка → Содержание»: the user manual shipped inside the program, shown
// in a window of its own beside the main one (not modal, so the operator can
// read while working). Links between the pages are followed in place; links
// out of the manual open in the desktop's browser.

#include <QDialog>
#include <QUrl>

class QTextBrowser;
class QToolButton;

class THelpForm : public QDialog {
  Q_OBJECT

 public:
  // The manual's first page.
  static QUrl StartPage();

  explicit THelpForm(QWidget* parent = nullptr);

  // Shows the first page and raises the window.
  void ShowContents();
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  QToolButton* back_;
  QToolButton* home_;
};
