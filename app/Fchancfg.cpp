#include "app/Fchancfg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "app/core/Options.h"
#include "app/core/Syscfg.h"
#include "link/Portcol.h"
#include "link/Serialdevs.h"

using tgx::PathToQt;
using tgx::ToQt;

namespace {

constexpr int kListWidth = 320;
const QString kDash = QStringLiteral(" \u2014 ");

// Why a listed device cannot be opened, for the operator to act on.
QString AccessNote(const QString& port, const std::string& path, PortAccess access) {
  const QString head = port + ": " + PathToQt(path) + kDash;
  switch (access) {
    case PortAccess::NoPermission:
      return head + "нет прав доступа (группа dialout)";
    case PortAccess::Busy:
      return head + "занят другой программой";
    default:
      return {};
  }
}

// The file a path leads to in the end, "" when it leads nowhere.
std::string Target(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::canonical(path, ec);
  return ec ? std::string() : p.string();
}

}  // namespace

// ---------------------------------------------------------------- TPortDlg

TPortDlg::TPortDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("PortDlg");
  setWindowTitle("Выбор порта");
  setMinimumSize(269, 233);

  auto* label = new QLabel("Доступные порты", this);
  label->setObjectName("Label1");
  name_box_ = new QListWidget(this);
  name_box_->setObjectName("NameBox");
  // Wide enough for a COM name with the adapter's maker, product and serial.
  name_box_->setFixedSize(kListWidth, 121);
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

TPortDlg::~TPortDlg() = default;

void TPortDlg::RefreshPorts() {
  name_box_->clear();
  rows_.clear();
  constexpr int kPorts = TPortCollection::kProbedPorts;
  const std::vector<SERIALDEV> devices = ListSerialDevices();
  const std::vector<MAPPEDPORT> mapped = ListPortMap(PortMapFile());

  // Which file each COM<n> reaches now (the environment, the map or the
  // default ttyS), so that a device is shown under the name that opens it.
  std::vector<std::string> reaches(kPorts);
  std::vector<bool> taken(kPorts, false);
  for (int i = 0; i < kPorts; ++i) {
    reaches[i] = Target(PortDevicePath(i));
    // A name set in the environment is not the map's to give away.
    taken[i] = qEnvironmentVariableIsSet(("TGX_COM" + std::to_string(i + 1)).c_str());
  }
  for (const MAPPEDPORT& m : mapped)
    if (m.Number >= 1 && m.Number <= kPorts) taken[m.Number - 1] = true;

  struct Entry {
    int Index;
    QString Text, Tip;
    std::string BindPath{};
    bool Enabled = true;
  };
  std::vector<Entry> entries;
  std::vector<bool> shown(kPorts, false);
  std::vector<const SERIALDEV*> unnamed;
  QStringList notes;
  auto note = [&notes](int index, const std::string& path, PortAccess access) {
    const QString n = AccessNote(ToQt(PortName(index)), path, access);
    if (!n.isEmpty()) notes << n;
  };
  for (const SERIALDEV& dev : devices) {
    const std::string target = Target(dev.Path);
    int index = -1;
    for (int i = 0; i < kPorts && !target.empty() && index < 0; ++i)
      if (reaches[i] == target && !shown[i]) index = i;
    if (index < 0) {
      unnamed.push_back(&dev);
      continue;
    }
    shown[index] = taken[index] = true;
    entries.push_back({index, ToQt(PortName(index)) + kDash + ToQt(dev.Description()), PathToQt(dev.StablePath())});
    note(index, dev.Path, dev.Access);
  }
  // Ports that reach something that is no serial device of this machine (a
  // pseudo-terminal of the simulator) are listed by name when usable.
  for (int i = 0; i < kPorts; ++i) {
    if (shown[i]) continue;
    const PortAccess access = ProbePortAccess(i);
    if (access == PortAccess::Absent) continue;
    taken[i] = true;
    if (access == PortAccess::Usable) {
      shown[i] = true;
      entries.push_back({i, ToQt(PortName(i)), PathToQt(PortDevicePath(i))});
    } else {
      note(i, PortDevicePath(i), access);
    }
  }
  // A device that no name reaches yet is offered under the first number
  // that nothing holds; choosing it binds it.
  for (const SERIALDEV* dev : unnamed) {
    const auto free = std::find(taken.begin(), taken.end(), false);
    if (free == taken.end()) break;
    const int index = static_cast<int>(free - taken.begin());
    *free = true;
    entries.push_back(
        {index, ToQt(PortName(index)) + kDash + ToQt(dev->Description()), PathToQt(dev->StablePath()), dev->Path});
    note(index, dev->Path, dev->Access);
  }
  // Bound ports whose device is not there stay in the list, greyed, so that
  // the operator sees where a COM<n> went.
  for (const MAPPEDPORT& m : mapped) {
    if (m.Access != PortAccess::Absent || m.Number < 1 || m.Number > kPorts || shown[m.Number - 1]) continue;
    const QString name = PathToQt(std::filesystem::path(m.Path).filename().string());
    Entry e{m.Number - 1, ToQt(PortName(m.Number - 1)) + kDash + name + kDash + "не подключён", PathToQt(m.Path)};
    e.Enabled = false;
    entries.push_back(std::move(e));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.Index < b.Index; });

  for (const Entry& e : entries) {
    auto* item = new QListWidgetItem(e.Text, name_box_);
    item->setToolTip(e.Tip);
    if (!e.Enabled) {
      item->setFlags(Qt::NoItemFlags);
      continue;
    }
    item->setData(Qt::UserRole, static_cast<int>(rows_.size()));
    rows_.push_back({e.Index, e.BindPath});
  }
  // The first usable port, not the configured one: OK without touching the
  // list chooses it.
  for (int r = 0; r < name_box_->count(); ++r)
    if (name_box_->item(r)->flags() & Qt::ItemIsEnabled) {
      name_box_->setCurrentRow(r);
      break;
    }

  note_label_->setText(notes.join('\n'));
  note_label_->setVisible(!notes.isEmpty());
  name_box_->setToolTip(notes.join('\n'));
}

void TPortDlg::OKBtnClick() {
  QListWidgetItem* item = name_box_->currentItem();
  // Nothing to choose: end as if cancelled, so the configured port stays.
  if (!item || !(item->flags() & Qt::ItemIsEnabled)) {
    reject();
    return;
  }
  const Row& row = rows_[static_cast<size_t>(item->data(Qt::UserRole).toInt())];
  if (!row.BindPath.empty()) {
    // Bound by the device's stable name, so that replugging the adapter into
    // another socket keeps its COM<n>.
    for (const SERIALDEV& dev : ListSerialDevices()) {
      if (dev.Path != row.BindPath) continue;
      std::string message;
      if (!BindDevice(PortMapFile(), row.Index + 1, dev, message)) {
        tgx::Dialogs().Inform(this, ToQt(message));
        return;
      }
      break;
    }
  }
  selected_port_ = row.Index;
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

  backup_check_ = new QCheckBox("Сохранять таблицы БВ перед записью и удалением", this);
  backup_check_->setObjectName("BackupCheck");
  backup_check_->setChecked(tgx::LoadBackupOption());
  const QSize hint = backup_check_->sizeHint();
  backup_check_->setGeometry(24, 96, hint.width(), hint.height());
  // The window grows only as much as the switch's text needs.
  setFixedSize(std::max(249, 24 + hint.width() + 16), 155);
  connect(backup_check_, &QCheckBox::toggled, this, [](bool on) { tgx::SaveBackupOption(on); });
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
  const QSignalBlocker block(backup_check_);
  backup_check_->setChecked(tgx::LoadBackupOption());
}
