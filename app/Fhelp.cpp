#include "app/Fhelp.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

// The manual lives in a static library: its resources are registered only
// when someone asks for them by name (outside any namespace, as the
// registration function is a global one).
static void InitManual() {
  static const bool once = [] {
    Q_INIT_RESOURCE(manual);
    return true;
  }();
  (void)once;
}

QUrl THelpForm::StartPage() { return QUrl(QStringLiteral("qrc:/manual/index.html")); }

THelpForm::THelpForm(QWidget* parent) : QDialog(parent, Qt::Window) {
  InitManual();
  setObjectName(QStringLiteral("HelpForm"));
  setWindowTitle(QStringLiteral("Справка"));
  resize(720, 600);

  back_ = new QToolButton(this);
  back_->setObjectName(QStringLiteral("HelpBack"));
  back_->setText(QStringLiteral("Назад"));
  back_->setToolTip(QStringLiteral("Назад"));
  back_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  back_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  back_->setEnabled(false);
  home_ = new QToolButton(this);
  home_->setObjectName(QStringLiteral("HelpHome"));
  home_->setText(QStringLiteral("Содержание"));
  home_->setToolButtonStyle(Qt::ToolButtonTextOnly);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  // Pages of the manual open here; anything else goes to the desktop.
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
    const QUrl target = browser_->source().resolved(link);
    if (target.scheme() == QLatin1String("qrc") || target.isRelative())
      browser_->setSource(target);
    else
      QDesktopServices::openUrl(target);
  });
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(home_, &QToolButton::clicked, browser_, &QTextBrowser::home);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back_);
  buttons->addWidget(home_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_, 1);
  browser_->setSource(StartPage());
}

void THelpForm::ShowContents() {
  if (browser_->source() != StartPage()) browser_->setSource(StartPage());
  show();
  raise();
  activateWindow();
}
