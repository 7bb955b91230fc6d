#pragma once
// "Канал связи" shows the port through which the computing unit is reached and
// opens "Выбор порта", which lists every serial device of the machine under
// the COM<n> name it is reached by. Choosing a device that no COM<n> reaches
// yet binds it to a free number in the port map file. The setting changed
// in the configuration is CHANPAR.PortIndex; the main window saves it after
// the channel window closes. The channel window also holds the switch that
// reads the unit's tables into the journal before they are changed.

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

class TPortDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TPortDlg(QWidget* parent = nullptr);
  ~TPortDlg() override;

  // Lists the serial devices again, each as "COM<n> — description" (a
  // device no COM<n> reaches yet gets the first free number), then the
  // mapped ports whose device is unplugged, greyed. The first device is
  // selected. NoteLabel says why a listed device cannot be opened.
  void RefreshPorts();
  // The port index chosen with OK; 0 until then.
  int SelectedPort() const { return selected_port_; }

  QListWidget* NameBox() const { return name_box_; }
  QLabel* NoteLabel() const { return note_label_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OKBtnClick();

  // What a row of the list stands for: its port index and the device node
  // to bind to it when the port map does not lead there yet.
  struct Row {
    int Index = 0;
    std::string BindPath;
  };
  std::vector<Row> rows_;
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
  QCheckBox* BackupCheck() const { return backup_check_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowPort();

  QLabel* com_panel_;
  QPushButton* button1_;
  QCheckBox* backup_check_;
};
