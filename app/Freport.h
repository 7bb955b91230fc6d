#pragma once
// The command «Отчёт» of the main window: the calibration table document of
// the project. A small dialog asks the site fields (kept between runs in a
// file beside the configuration) and which channels to print; then the print
// preview shows the document with print, page setup and «Сохранить PDF…».

#include <QDialog>
#include <string>
#include <vector>

#include "report/Sitefields.h"

class EPROJECT;
class QLineEdit;
class QTableWidget;
class QWidget;
struct REPORTLAYOUT;

class TReportDlg : public QDialog {
  Q_OBJECT

 public:
  // Grid columns: channel, form title, tank number (the only editable one).
  static constexpr int kChannelColumn = 0;
  static constexpr int kTitleColumn = 1;
  static constexpr int kTankColumn = 2;

  // One grid row per form that is not a gap.
  TReportDlg(const EPROJECT& project, const SITEFIELDS& fields, QWidget* parent = nullptr);

  // The fields as typed, Windows-1251; the tanks of channels without a row
  // keep the values they came with.
  SITEFIELDS Fields() const;
  // The channels of the list typed, ascending; empty for every form.
  const std::vector<int>& Channels() const { return channels_; }

  // Accepts when the channel list is empty or reads as one ("1,3-5");
  // otherwise says so and stays open.
  void OkButtonClick();

 private:
  SITEFIELDS fields_;
  std::vector<int> channels_;
  QLineEdit* org_;
  QLineEdit* object_;
  QLineEdit* by_;
  QLineEdit* date_;
  QLineEdit* channelsEdit_;
  QTableWidget* tankGrid_;
};

// The whole command: fields dialog, then the preview. `fieldsPath` is the site
// fields file (native name); the fields are saved there when the dialog ends
// with OK, and a failed save is told and does not stop the document.
void ShowReport(QWidget* parent, const EPROJECT& project, const std::string& fieldsPath);

// The print preview of the document (objectName "ReportPreview"), whose tool
// bar has the action «Сохранить PDF…» (objectName "SavePdfAction"); the save
// dialog proposes `pdfName`. Returns the preview's exec() result.
int RunReportPreview(QWidget* parent, const REPORTLAYOUT& layout, const QString& pdfName);

// Asks for a file name through the dialog service and writes the PDF there;
// a failure is told with "Невозможно записать файл!". False when cancelled or failed.
bool SaveReportPdf(QWidget* parent, const REPORTLAYOUT& layout, const QString& pdfName);
