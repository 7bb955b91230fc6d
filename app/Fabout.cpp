#include "app/Fabout.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "app/App.h"
#include "app/Appinfo.h"
#include "app/Qtext.h"
#include "app/core/Syscfg.h"

namespace {
constexpr int kClientWidth = 427;
constexpr int kClientHeight = 313;

// The executable's name without its folder; the configured path wins over
// Qt's so that a test can pretend the program was renamed.
QString ExeFileName() {
  QString path = tgx::PathToQt(tgx::ExePath());
  if (path.isEmpty()) path = QCoreApplication::applicationFilePath();
  return path.mid(path.lastIndexOf('/') + 1);
}
}  // namespace

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutDlg");
  setWindowTitle("О программе");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);

  auto* bevel = new QFrame(this);
  bevel->setObjectName("Bevel1");
  bevel->setFrameShape(QFrame::Box);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(17, 8, 393, 257);

  auto* image = new QLabel(this);
  image->setObjectName("Image1");
  image->setGeometry(32, 20, 57, 73);
  image->setAlignment(Qt::AlignCenter);
  tgx::InitResources();
  image->setPixmap(QIcon(":/glyphs/tgx.png").pixmap(48, 48));

  const TAppInfo info;
  QPlainTextEdit* memo1 = MakeMemo("Memo1", 297, 73);
  memo1->move(100, 20);
  memo1->setPlainText(QString("Программа \"%1\"").arg(tgx::AppTitle()));

  QPlainTextEdit* memo2 = MakeMemo("Memo2", 377, 65);
  memo2->move(25, 100);
  memo2->setPlainText("Исполняемый модуль:\t " + ExeFileName() + ", сборка " +
                      tgx::ToQt(info.VersionText()));

  QPlainTextEdit* memo3 = MakeMemo("Memo3", 377, 73);
  memo3->move(25, 172);
  memo3->setPlainText(QString("%1\n%2\n%3").arg(kMakerName, kMakerWeb, kMakerMail));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  ok->setGeometry((kClientWidth - 75) / 2, 276, 75, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the desktop rather than on the main window.
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

QPlainTextEdit* TAboutDlg::MakeMemo(const char* name, int width, int height) {
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName(name);
  memo->setReadOnly(true);
  memo->setFrameShape(QFrame::NoFrame);
  memo->setFixedSize(width, height);
  memo->setFocusPolicy(Qt::NoFocus);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The memos read as plain text on the window's face, not as edit boxes.
  QPalette pal = memo->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Window));
  memo->setPalette(pal);
  QFont font("Arial");
  font.setPixelSize(12);
  memo->setFont(font);
  return memo;
}
