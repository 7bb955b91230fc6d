#include "report/qt/Command.h"

#include <QByteArray>
#include <QDate>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include "model/Cp1251.h"
#include "model/Messages.h"
#include "project/Eprj.h"
#include "report/Channels.h"
#include "report/Report.h"
#include "report/Sitefields.h"
#include "report/qt/Paint.h"

namespace {
// The loader's messages, on the command's error stream.
class FileSink : public tgx::MessageSink {
 public:
  explicit FileSink(std::FILE* f) : f_(f) {}
  void Show(const std::string& cp1251) override { std::fprintf(f_, "%s\n", tgx::ToUtf8(cp1251).c_str()); }

 private:
  std::FILE* f_;
};

int Usage(std::FILE* err, const std::string& what) {
  std::fprintf(err, "tgxctl report: %s; подробности: tgxctl --help\n", what.c_str());
  return kReportExitUsage;
}

// The toolkit's own notes (a missing runtime folder and the like) are not the
// command's output; only its failures are.
void QuietToolkit(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Fonts and the PDF writer need a GUI application object; a command-line
// run never shows a window, so it never needs a display either.
class GuiForCommand {
 public:
  GuiForCommand() {
    if (QCoreApplication::instance()) return;
    previous_ = qInstallMessageHandler(QuietToolkit);
    installed_ = true;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    static int argc = 1;
    static char name[] = "tgxctl";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  ~GuiForCommand() {
    app_.reset();
    if (installed_) qInstallMessageHandler(previous_);
  }
  GuiForCommand(const GuiForCommand&) = delete;
  GuiForCommand& operator=(const GuiForCommand&) = delete;

 private:
  std::unique_ptr<QGuiApplication> app_;
  QtMessageHandler previous_ = nullptr;
  bool installed_ = false;
};
}  // namespace

std::string ReportUsage() {
  return "  tgxctl report ФАЙЛ ВЫХОД.pdf [--channels СПИСОК] [--field ИМЯ=ЗНАЧЕНИЕ ...]\n"
         "                                 градуировочные таблицы каналов (СПИСОК вида 1,3-5; по умолчанию все)\n"
         "                                 документом PDF; поля: org, object, tank<N>, by, date;\n"
         "                                 печатает путь записанного файла; код 3: документ записан, но форма\n"
         "                                 канала не преобразуется (в документе указана причина)\n";
}

int RunReportCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::vector<std::string> files;
  std::vector<int> channels;
  SITEFIELDS fields;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--channels") {
      if (i + 1 >= args.size() || !ParseChannelList(args[i + 1], channels))
        return Usage(err, "--channels ждёт список каналов от 1 до 16 вида 1,3-5");
      ++i;
    } else if (a == "--field") {
      const size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
      if (eq == std::string::npos) return Usage(err, "--field ждёт ИМЯ=ЗНАЧЕНИЕ");
      const std::string& f = args[++i];
      if (!SetSiteField(fields, f.substr(0, eq), tgx::FromUtf8(f.substr(eq + 1))))
        return Usage(err, "неизвестное поле " + f.substr(0, eq) + " (org, object, tank1..tank16, by, date)");
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage(err, "неизвестный параметр " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage(err, "нужны ФАЙЛ и ВЫХОД.pdf");

  const GuiForCommand gui;
  FileSink sink(err);
  tgx::ScopedMessageSink scope(sink);
  EPROJECT project;
  if (!project.Load(files[0])) return kReportExitFile;
  for (int c : channels) {
    if (c > project.FormCount())
      return Usage(err, "канала " + std::to_string(c) + " нет в проекте (форм: " +
                            std::to_string(project.FormCount()) + ")");
  }
  const std::string today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toStdString();
  const REPORTLAYOUT layout = BuildReport(project, fields, channels, today);
  if (layout.sections.empty()) return Usage(err, "в выбранных каналах только пропуски");
  if (!WriteReportPdf(layout, files[1])) {
    std::fprintf(err, "Невозможно записать файл %s\n", files[1].c_str());
    return kReportExitFile;
  }
  std::fprintf(out, "%s\n", files[1].c_str());
  int code = kReportExitOk;
  for (const REPORTSECTION& s : layout.sections) {
    if (s.converted) continue;
    std::fprintf(err, "Форма %d (%s) не преобразуется в таблицу: %s.\n", s.channel,
                 tgx::ToUtf8(s.form.Title()).c_str(), tgx::ToUtf8(s.reason).c_str());
    code = kReportExitNotConverted;
  }
  return code;
}
