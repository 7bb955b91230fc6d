// Program start and stop.

#include "app/App.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include "app/Appinfo.h"
#include "app/Fimport.h"
#include "app/Flink.h"
#include "app/Fproj.h"
#include "app/core/Syscfg.h"
#include "editor/Feditdlg.h"
#include "editor/Fedittab.h"
#include "link/Portcol.h"

namespace tgx {
namespace {
// The windows that live for the whole run, in the order of their creation.
TPrjForm* PrjForm = nullptr;
TEditDlg* EditDlg = nullptr;
TEditTabForm* EditTabForm = nullptr;
TLinkDlg* LinkDlg = nullptr;
TImportDlg* ImportDlg = nullptr;

bool test_mode = false;
BoxMessageSink box_sink;
bool sink_installed = false;

// Hands the focus back when a modal window of the program closes. Without a
// window manager (a bare X server) nobody else does: the window underneath
// would stay inactive until clicked, and its activation, which redraws it
// from the project and disables paste, would then undo what that click did.
class ModalReturn : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      if (w->isWindow() && w->isModal()) {
        // Once the modal run has ended: the next modal window, else the main one.
        QTimer::singleShot(0, this, [] {
          QWidget* next = QApplication::activeModalWidget();
          if (next == nullptr) next = PrjForm;
          if (next != nullptr && next->isVisible() && !next->isActiveWindow()) next->activateWindow();
        });
      }
    }
    return false;
  }
};

template <typename T>
void DeleteWindow(T*& window) {
  delete window;
  window = nullptr;
}
}  // namespace

QString AppTitle() { return QStringLiteral("Тирель-Сервис. Градуировочные таблицы"); }

bool IsTestModeArgument(int argc, char** argv) {
  return argc > 1 && argv != nullptr && argv[1] != nullptr && std::string(argv[1]) == "-t";
}

bool TestMode() { return test_mode; }

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine out;
  QStringList args = arguments;
  if (args.isEmpty()) args << QStringLiteral("tgx");
  // The switch is looked at first and taken out, so that its meaning stays
  // exactly what it was: the first argument, nowhere else.
  if (args.size() > 1 && args[1] == QLatin1String("-t")) {
    out.testMode = true;
    args.removeAt(1);
  }
  QCommandLineParser parser;
  parser.setApplicationDescription(AppTitle());
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Показать эту справку и выйти."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Показать версию программы и выйти."));
  // "-t" further on was always ignored; it stays so rather than becoming an error.
  QCommandLineOption later(QStringLiteral("t"));
  later.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(later);
  parser.addPositionalArgument(QStringLiteral("ФАЙЛ"), QStringLiteral("Файл-форма (*.fs, *.fs1, *.fs2, *.f1), "
                                                                      "открываемый как проект."),
                               QStringLiteral("[ФАЙЛ]"));
  const QString usage =
      QStringLiteral("Запуск: tgx [-t] [ФАЙЛ]\n  -t             первым аргументом: записывать байты сеансов\n");
  if (!parser.parse(args)) {
    out.exit = true;
    out.exitCode = CommandLine::kUsageError;
    out.toStderr = true;
    out.output = parser.errorText() + QLatin1Char('\n') + usage;
    return out;
  }
  if (parser.isSet(help)) {
    out.exit = true;
    out.output = usage + parser.helpText().section(QLatin1Char('\n'), 1);
    return out;
  }
  if (parser.isSet(version)) {
    out.exit = true;
    out.output = QStringLiteral("tgx ") + QString::fromStdString(TAppInfo().VersionText()) + QLatin1Char('\n');
    return out;
  }
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    out.exit = true;
    out.exitCode = CommandLine::kUsageError;
    out.toStderr = true;
    out.output = QStringLiteral("Можно открыть только один файл.\n") + usage;
    return out;
  }
  if (!files.isEmpty()) out.file = files.first();
  return out;
}

bool InstallRussianTranslations() {
  static QTranslator* installed = nullptr;
  if (installed != nullptr) return true;
  auto* translator = new QTranslator(qApp);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                        QStringLiteral("_"), folder)) {
    delete translator;
    return false;
  }
  QApplication::installTranslator(translator);
  installed = translator;
  return true;
}

TPrjForm* MainWindow() { return PrjForm; }

void StartApplication(int argc, char** argv) {
  test_mode = IsTestModeArgument(argc, argv);
  QStringList arguments;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine line = ParseCommandLine(arguments);
  InstallRussianTranslations();
  QApplication::setApplicationName(QStringLiteral("tgx"));
  tgx::InitResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/glyphs/tgx.png")));
  // No display name: the platform would append it to every window caption,
  // and the captions are the program's own.
  // The main window's close ends the program through its own signal, so that
  // hiding it while the table editor runs can never end the loop.
  QApplication::setQuitOnLastWindowClosed(false);
  SetMessageSink(&box_sink);
  sink_installed = true;
  static ModalReturn* modal_return = nullptr;
  if (modal_return == nullptr) {
    modal_return = new ModalReturn(qApp);
    qApp->installEventFilter(modal_return);
  }
  SetPortMapFile(PortMapFilePath());

  // The creation order matters: the main window creates the settings that the
  // progress dialog's session and the other windows read.
  PrjForm = new TPrjForm(test_mode);
  EditDlg = new TEditDlg(PrjForm);
  EditTabForm = new TEditTabForm(EditDlg, PrjForm);
  LinkDlg = new TLinkDlg(PrjForm, test_mode);
  ImportDlg = new TImportDlg(EditDlg, EditTabForm, PrjForm);
  PrjForm->SetWindows({EditDlg, EditTabForm, LinkDlg, ImportDlg});
  PrjForm->show();
  // Once the event loop runs: the import dialog is modal and the caller
  // (main, a test) must get back from here first.
  if (!line.exit && !line.file.isEmpty()) {
    const QString file = line.file;
    QTimer::singleShot(0, PrjForm, [file] {
      if (PrjForm != nullptr) PrjForm->OpenFormFile(file);
    });
  }
}

void StopApplication() {
  // The reverse of the creation order; the dialogs are children of the main
  // window, so each is deleted explicitly before it.
  if (PrjForm != nullptr) PrjForm->SetWindows({});
  DeleteWindow(ImportDlg);
  DeleteWindow(LinkDlg);
  DeleteWindow(EditTabForm);
  DeleteWindow(EditDlg);
  DeleteWindow(PrjForm);
  if (sink_installed) {
    SetMessageSink(nullptr);
    sink_installed = false;
  }
}

}  // namespace tgx
