#include "app/Fchancfg.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Qtext.h"
#include "app/core/Syscfg.h"
#include "link/Portcol.h"

using tgx::PathToQt;
using tgx::ToQt;

namespace {

// Why a port that exists is not in the list, for the operator to act on.
QString AccessNote(int index, PortAccess access) {
  const QString head = ToQt(PortName(index)) + ": " + PathToQt(PortDevicePath(index)) + " — ";
  switch (access) {
    case PortAccess::NoPermission:
      return head + "нет прав доступа (группа dialout)";
    case PortAccess::Busy:
      return head + "занят другой программой";
    default:
      return {};
  }
}
}  // namespace

// ---------------------------------------------------------------- TPortDlg

TPortDlg::TPortDlg(QWidget* parent) : QDialog(parent), ports_(new TPortCollection) {
  setObjectName("PortDlg");
  setWindowTitle("Выбор порта");
  setMinimumSize(269, 233);

  auto* label = new QLabel("Доступные порты", this);
  label->setObjectName("Label1");
  name_box_ = new QListWidget(this);
  name_box_->setObjectName("NameBox");
  name_box_->setFixedSize(121, 121);
  note_label_ = new QLabel(this);
  note_label_->setObjectName("NoteLabel");
  note_label_->setWordWrap(true);
  note_label_->hide();
  ok_btn_ = new QPushButton("OK", this);
  ok_btn_->setObjectName("OKBtn");
  ok_btn_->setDefault(true);
  refresh_btn_ = new QPushButton("Обновить список", this);
  refresh_btn_->setObjectName("Button1");
  connect(ok_btn_, &QPushButton::clicked, this, &TPortDlg::OKBtnClick);
  connect(refresh_btn_, &QPushButton::clicked, this, &TPortDlg::RefreshPorts);
  connect(name_box_, &QListWidget::itemDoubleClicked, this, &TPortDlg::OKBtnClick);

  auto* layout = new QGridLayout(this);
  layout->addWidget(label, 0, 0);
  layout->addWidget(name_box_, 1, 0, Qt::AlignLeft | Qt::AlignTop);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_btn_);
  buttons->addWidget(refresh_btn_);
  buttons->addStretch(1);
  layout->addLayout(buttons, 1, 1);
  layout->addWidget(note_label_, 2, 0, 1, 2);
  layout->setRowStretch(3, 1);
}

TPortDlg::~TPortDlg() { delete ports_; }

void TPortDlg::RefreshPorts() {
  ports_->Enumerate();
  name_box_->clear();
  for (int i = 0; i < ports_->Count(); ++i) {
    const TPort* port = ports_->Item(i);
    auto* item = new QListWidgetItem(ToQt(port->Name), name_box_);
    item->setData(Qt::UserRole, port->Index);
    item->setToolTip(PathToQt(PortDevicePath(port->Index)));
  }
  // The first usable port, not the configured one: OK without touching the
  // list chooses it.
  if (name_box_->count() > 0) name_box_->setCurrentRow(0);

  QStringList notes;
  for (int index = 0; index < TPortCollection::kProbedPorts; ++index) {
    bool listed = false;
    for (int i = 0; i < ports_->Count(); ++i) listed = listed || ports_->Item(i)->Index == index;
    if (listed) continue;
    const QString note = AccessNote(index, ProbePortAccess(index));
    if (!note.isEmpty()) notes << note;
  }
  note_label_->setText(notes.join('\n'));
  note_label_->setVisible(!notes.isEmpty());
  name_box_->setToolTip(notes.join('\n'));
}

void TPortDlg::OKBtnClick() {
  QListWidgetItem* item = name_box_->currentItem();
  // Nothing to choose: end as if cancelled, so the configured port stays.
  if (!item) {
    reject();
    return;
  }
  selected_port_ = item->data(Qt::UserRole).toInt();
  accept();
}

void TPortDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RefreshPorts();
}

// ---------------------------------------------------------------- TChanCfgForm

TChanCfgForm::TChanCfgForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("ChanCfgForm");
  setWindowTitle("Канал связи");
  setFixedSize(249, 155);

  auto* label = new QLabel("Порт", this);
  label->setObjectName("Label3");
  label->setGeometry(24, 48, 40, 25);
  com_panel_ = new QLabel(this);
  com_panel_->setObjectName("ComPanel");
  com_panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  com_panel_->setAlignment(Qt::AlignCenter);
  com_panel_->setGeometry(72, 48, 81, 25);
  button1_ = new QPushButton(">>", this);
  button1_->setObjectName("Button1");
  button1_->setAutoDefault(false);
  button1_->setGeometry(160, 52, 41, 17);
  connect(button1_, &QPushButton::clicked, this, &TChanCfgForm::Button1Click);
  ShowPort();
}

void TChanCfgForm::ShowPort() {
  // The configured port's name, whether or not that port exists now.
  const int index = Chanpar() ? Chanpar()->PortIndex : 0;
  com_panel_->setText(ToQt(PortName(index)));
}

void TChanCfgForm::Button1Click() {
  TPortDlg dlg(this);
  if (dlg.exec() == QDialog::Accepted && Chanpar()) {
    Chanpar()->PortIndex = dlg.SelectedPort();
  }
  ShowPort();
}

void TChanCfgForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowPort();
}
