#include "app/Freport.h"

#include <QAction>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "project/Eprj.h"
#include "report/Channels.h"
#include "report/Report.h"
#include "report/qt/Paint.h"

using tgx::FromQt;
using tgx::ToQt;

namespace {

QLineEdit* Edit(const char* name, const std::string& value, QWidget* parent) {
  auto* e = new QLineEdit(ToQt(value), parent);
  e->setObjectName(QLatin1String(name));
  return e;
}

// The proposed PDF: the project's file with the extension .pdf, or the
// project's name in the current folder when it names no file.
QString PdfNameOf(const EPROJECT& project) {
  const QFileInfo f(ToQt(project.Name()));
  return f.dir().filePath(f.completeBaseName() + QStringLiteral(".pdf"));
}
}  // namespace

TReportDlg::TReportDlg(const EPROJECT& project, const SITEFIELDS& fields, QWidget* parent)
    : QDialog(parent), fields_(fields) {
  setObjectName(QStringLiteral("ReportDlg"));
  setWindowTitle(QStringLiteral("Отчёт"));
  auto* form = new QFormLayout;
  org_ = Edit("OrgEdit", fields.org, this);
  object_ = Edit("ObjectEdit", fields.object, this);
  by_ = Edit("ByEdit", fields.by, this);
  date_ = Edit("DateEdit", fields.date, this);
  channelsEdit_ = Edit("ChannelsEdit", {}, this);
  channelsEdit_->setPlaceholderText(QStringLiteral("все, или например 1,3-5"));
  form->addRow(QStringLiteral("Организация:"), org_);
  form->addRow(QStringLiteral("Объект:"), object_);
  form->addRow(QStringLiteral("Градуировку выполнил:"), by_);
  form->addRow(QStringLiteral("Дата градуировки:"), date_);
  form->addRow(QStringLiteral("Каналы:"), channelsEdit_);

  tankGrid_ = new QTableWidget(0, 3, this);
  tankGrid_->setObjectName(QStringLiteral("TankGrid"));
  tankGrid_->setHorizontalHeaderLabels({QStringLiteral("Канал"), QStringLiteral("Форма"), QStringLiteral("Резервуар №")});
  tankGrid_->verticalHeader()->hide();
  tankGrid_->horizontalHeader()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
  for (int k = 0; k < project.FormCount() && k < SITEFIELDS::kChannels; ++k) {
    if (project.IsGap(k)) continue;
    const int row = tankGrid_->rowCount();
    tankGrid_->insertRow(row);
    auto* channel = new QTableWidgetItem(QString::number(k + 1));
    channel->setFlags(Qt::ItemIsEnabled);
    auto* title = new QTableWidgetItem(ToQt(project.Form(k).Title()));
    title->setFlags(Qt::ItemIsEnabled);
    tankGrid_->setItem(row, kChannelColumn, channel);
    tankGrid_->setItem(row, kTitleColumn, title);
    tankGrid_->setItem(row, kTankColumn, new QTableWidgetItem(ToQt(fields.tank[static_cast<size_t>(k)])));
  }

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("Просмотр"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  connect(ok, &QPushButton::clicked, this, &TReportDlg::OkButtonClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("Номера резервуаров:"), this));
  layout->addWidget(tankGrid_);
  layout->addWidget(buttons);
  resize(520, 460);
}

SITEFIELDS TReportDlg::Fields() const {
  SITEFIELDS f = fields_;
  f.org = FromQt(org_->text());
  f.object = FromQt(object_->text());
  f.by = FromQt(by_->text());
  f.date = FromQt(date_->text());
  for (int row = 0; row < tankGrid_->rowCount(); ++row) {
    const int channel = tankGrid_->item(row, kChannelColumn)->text().toInt();
    f.tank[static_cast<size_t>(channel - 1)] = FromQt(tankGrid_->item(row, kTankColumn)->text());
  }
  return f;
}

void TReportDlg::OkButtonClick() {
  const QString text = channelsEdit_->text().trimmed();
  channels_.clear();
  if (!text.isEmpty() && !ParseChannelList(FromQt(text), channels_)) {
    tgx::Dialogs().Inform(this, QStringLiteral("Неверный список каналов: %1").arg(text));
    return;
  }
  accept();
}

bool SaveReportPdf(QWidget* parent, const REPORTLAYOUT& layout, const QString& pdfName) {
  const QString path = tgx::Dialogs().SaveFileName(parent, QStringLiteral("Сохранить PDF"), pdfName,
                                                   QStringLiteral("Документ PDF|*.pdf"), true);
  if (path.isEmpty()) return false;
  if (!WriteReportPdf(layout, QFile::encodeName(path).toStdString())) {
    tgx::Dialogs().Inform(parent, QStringLiteral("Невозможно записать файл!"));
    return false;
  }
  return true;
}

int RunReportPreview(QWidget* parent, const REPORTLAYOUT& layout, const QString& pdfName) {
  QPrintPreviewDialog preview(parent);
  preview.setObjectName(QStringLiteral("ReportPreview"));
  preview.setWindowTitle(QStringLiteral("Отчёт"));
  preview.resize(900, 760);  // room for the whole tool bar and a readable page
  SetUpReportPage(*preview.printer());
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                   [&layout](QPrinter* printer) { PaintReport(*printer, layout); });
  if (QToolBar* bar = preview.findChild<QToolBar*>()) {
    bar->addSeparator();
    QAction* save = bar->addAction(QStringLiteral("Сохранить PDF…"));
    save->setObjectName(QStringLiteral("SavePdfAction"));
    QObject::connect(save, &QAction::triggered, &preview,
                     [&preview, &layout, pdfName] { SaveReportPdf(&preview, layout, pdfName); });
  }
  return preview.exec();
}

void ShowReport(QWidget* parent, const EPROJECT& project, const std::string& fieldsPath) {
  SITEFIELDS fields;
  LoadSiteFields(fieldsPath, fields);  // a first run has no file yet
  TReportDlg dlg(project, fields, parent);
  if (dlg.exec() != QDialog::Accepted) return;
  const SITEFIELDS typed = dlg.Fields();
  if (!(typed == fields) && !SaveSiteFields(fieldsPath, typed))
    tgx::Dialogs().Inform(parent, QStringLiteral("Невозможно записать файл!"));
  const std::string today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toStdString();
  const REPORTLAYOUT layout = BuildReport(project, typed, dlg.Channels(), today);
  RunReportPreview(parent, layout, PdfNameOf(project));
}
