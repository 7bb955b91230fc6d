#pragma once
// "Канал связи" shows the port through which the computing unit is reached and
// opens "Выбор порта", which lists the ports that can be opened now. The only
// setting they change is CHANPAR.PortIndex; the main window saves the
// configuration after the channel window closes.

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class TPortCollection;

class TPortDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TPortDlg(QWidget* parent = nullptr);
  ~TPortDlg() override;

  // Probes the ports again and lists the usable ones; the first is selected.
  // Ports that exist but cannot be opened are not listed; NoteLabel says why.
  void RefreshPorts();
  // The port index chosen with OK; 0 until then.
  int SelectedPort() const { return selected_port_; }

  QListWidget* NameBox() const { return name_box_; }
  QLabel* NoteLabel() const { return note_label_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OKBtnClick();

  TPortCollection* ports_;
  int selected_port_ = 0;
  QListWidget* name_box_;
  QLabel* note_label_;
  QPushButton* ok_btn_;
  QPushButton* refresh_btn_;
};

class TChanCfgForm : public QDialog {
  Q_OBJECT

 public:
  explicit TChanCfgForm(QWidget* parent = nullptr);

  // Runs the port dialog; OK stores its port in CHANPAR.PortIndex.
  void Button1Click();
  QLabel* ComPanel() const { return com_panel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowPort();

  QLabel* com_panel_;
  QPushButton* button1_;
};
