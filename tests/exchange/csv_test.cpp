// CSV files in and out: what a spreadsheet writes becomes the forms a form
// file with the same numbers holds, faults are placed by line and column,
// and exported tables come back unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/Csv.h"
#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

std::string Cp(const std::string& utf8) { return tgx::FromUtf8(utf8); }

// A form as one line of text, so that a difference shows where it is.
std::string Describe(const FORMA& f) {
  std::string s = "[" + tgx::ToUtf8(f.Title()) + "] type " + std::to_string(f.Type()) + ":";
  for (int i = 0; i < f.RowCount(); ++i) s += " " + f.LevelText(i) + "/" + f.VolumeText(i);
  return s + "\n";
}

std::string Describe(const FDATA& d) {
  std::string s;
  for (int k = 0; k < d.Count(); ++k) s += Describe(d.Form(k));
  return s;
}

// The forms a form file text of `type` holds, each '#' section read on its
// own so that gaps and one-row forms, which a loaded file drops at its end,
// are there too.
std::string FormsOfFile(const std::string& utf8, int32_t type) {
  std::string s;
  for (size_t at = utf8.find('#'); at != std::string::npos;) {
    const size_t next = utf8.find('#', at + 1);
    FDATA one;
    one.ReadText(Cp(utf8.substr(at, next - at)), type);
    s += Describe(one.Form(0));
    at = next;
  }
  return s;
}

std::string TextOf(const GROUPTAB& t) {
  std::string s;
  for (int k = 0; k < t.Count(); ++k) {
    for (int32_t i = 0; i < t.Table(k).Count(); ++i) s += std::to_string(t.Table(k)[i]) + " ";
    s += "\n";
  }
  return s;
}

TEST(CsvImport, EverySpellingOfOneFileGivesTheFormsOfItsFormFile) {
  const struct { const char* name; std::string bytes; char delimiter; CsvEncoding encoding; } spellings[] = {
      {"semicolon, decimal comma, BOM, CR LF",
       "\xEF\xBB\xBFУровень, мм;Резервуар 1;\"Бак \"\"2\"\"; запасной\"\r\n0;0;5\r\n105,5;120;77\r\n250;310;200\r\n", ';',
       CsvEncoding::Utf8},
      {"comma, decimal point, UTF-8 without BOM, LF",
       "level,Резервуар 1,\"Бак \"\"2\"\"; запасной\"\n0,0,5\n105.5,120,77\n250,310,200\n", ',', CsvEncoding::Utf8},
      {"TAB, decimal comma, Windows-1251",
       Cp("Уровень\tРезервуар 1\tБак \"2\"; запасной\n") + "0\t0\t5\n105,5\t120\t77\n250\t310\t200\n", '\t',
       CsvEncoding::Cp1251},
      {"preamble row, blank lines, empty rows, blanks and quoted numbers",
       "Таблица;;\n\n;Резервуар 1;\"Бак \"\"2\"\"; запасной\"\n ; ; \n0; 0 ;\"5\"\n\n105,50;120;77\n250;310;200", ';',
       CsvEncoding::Utf8},
      {"trailing delimiters", "L <мм>;Резервуар 1;\"Бак \"\"2\"\"; запасной\";\n0;0;5;\n105.5;120;77;\n250;310;200;\n",
       ';', CsvEncoding::Utf8},
  };
  const std::string expected = FormsOfFile(
      "# Резервуар 1\n| 0 0\n| 1055 120\n| 2500 310\n# Бак \"2\"; запасной\n| 0 5\n| 1055 77\n| 2500 200\n", 4);
  for (const auto& s : spellings) {
    SCOPED_TRACE(s.name);
    FDATA got;
    CsvImportReport report;
    ASSERT_TRUE(ImportCsvText(s.bytes, {}, got, report)) << tgx::ToUtf8(report.Message);
    EXPECT_EQ(report.Delimiter, s.delimiter);
    EXPECT_EQ(report.Encoding, s.encoding);
    EXPECT_EQ(Describe(got), expected);
  }
}

TEST(CsvImport, LayoutsTypesAndUnits) {
  // The forms expected are given as a form file of the type expected.
  const struct { const char* name; const char* csv; CsvImportOptions options; const char* form_file; int32_t type; } shapes[] = {
      {"volume columns only", "A;B\n0;0\n10;12\n25;30\n", {}, "# A\n| 0 10 25\n# B\n| 0 12 30\n", 1},
      {"two columns without a header", "0;0\n105;10\n250;25\n", {}, "# t1\n| 0 0\n| 1050 10\n| 2500 25\n", 4},
      {"levels every centimetre from 0", "level_mm;A\n0;0\n10;12\n20;30\n", {}, "# A\n| 0 12 30\n", 1},
      {"levels in centimetres", "H;A\n0;0\n10,55;12\n", {.Levels = CsvLevelUnit::Centimetres}, "# A\n| 0 0\n| 1055 12\n", 4},
      {"levels rounded half away from zero", "L;A\n-0,05;1\n105,55;2\n105,549;3\n", {},
       "# A\n| -1 1\n| 1056 2\n| 1055 3\n", 4},
      {"litres truncated, exponents read", "L;A\n0;12,9\n10;1e3\n20;2.5E+1\n", {.Type = 4},
       "# A\n| 0 12\n| 100 1000\n| 200 25\n", 4},
      {"volume layout forced over a level caption", "level;A\n0;5\n10;6\n",
       {.Layout = CsvLayout::Volumes}, "# level\n| 0 10\n# A\n| 5 6\n", 1},
      {"cubic metres to whole litres", "Объём, м3\n0\n0,123\n1,0005\n0.0001\n12,3456\n0,999999\n",
       {.Volumes = CsvVolumeUnit::CubicMetres}, "# Объём, м3\n| 0 123 1000 0 12345 999\n", 1},
      {"a column that ends early, a titled empty one", "L;A;B;C\n0;1;;5\n10;2;;\n", {},
       "# A\n| 1 2\n# B\n# C\n| 5\n", 1},
  };
  for (const auto& s : shapes) {
    SCOPED_TRACE(s.name);
    FDATA got;
    CsvImportReport report;
    ASSERT_TRUE(ImportCsvText(s.csv, s.options, got, report)) << tgx::ToUtf8(report.Message);
    EXPECT_EQ(report.Type, s.type);
    EXPECT_EQ(Describe(got), FormsOfFile(s.form_file, s.type));
  }
}

TEST(CsvImport, FaultsStopTheImportWithTheirPlace) {
  std::string seventeen = "0", too_many_rows;
  for (int k = 0; k < 17; ++k) seventeen += ";1";
  for (int i = 0; i <= kMaxCsvDataRows; ++i) too_many_rows += "1\n";
  // Each message whole, with the line and column it names.
  const struct { std::string csv; CsvImportOptions options; const char* message; } refusals[] = {
      {"L;A;B\n0;1;2\n\n10;x1;3\n", {}, "Строка 4, столбец 2: не число «x1»"},
      {"L;A\n" + seventeen + "\n", {}, "Строка 2, столбец 18: больше 16 каналов"},
      {"L;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;x\n0;1\n", {}, "Строка 1: в файле больше 16 каналов"},
      {"L;A\n\n", {}, "В файле нет строк данных"},
      {"A\n1\n" + std::string(kMaxCsvRowBytes + 1, '7') + "\n", {}, "Строка 3: длиннее 64 КБ"},
      {"A\n1\n\"" + std::string(kMaxCsvRowBytes, '\n') + "\"\n", {}, "Строка 3: длиннее 64 КБ"},
      {"L;A\n0;\"1\n10;2\n", {}, "Строка 2, столбец 2: кавычки не закрыты"},
      {"A;B\n1;1\n;2\n3;3\n", {}, "Строка 3, столбец 1: пустая ячейка внутри столбца"},
      {"L;A\n0;0\n10;-1\n", {}, "Строка 3, столбец 2: отрицательный объём «-1»"},
      {"L;A\n0;0\n10;3e9\n", {}, "Строка 3, столбец 2: число вне допустимых пределов «3e9»"},
      {"L;A\n0;0\n10;1\n30;2\n", {.Type = 1},
       "Строка 4, столбец 1: для формы типа 1 уровни идут через 1 см от 0, здесь нужен 2 см"},
      {"L\n0\n", {.Layout = CsvLayout::Levels}, "В файле нет столбцов объёма"},
      {too_many_rows, {}, "Строка 30001: больше 30000 строк данных"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.message);
    FDATA forms;
    forms.AddNew();
    const std::string before = Describe(forms);
    CsvImportReport report;
    EXPECT_FALSE(ImportCsvText(r.csv, r.options, forms, report));
    EXPECT_EQ(tgx::ToUtf8(report.Message), r.message);
    EXPECT_EQ(Describe(forms), before) << "a refused import changes nothing";
  }
  CsvImportReport report;
  FDATA forms;
  ImportCsvText(refusals[0].csv, {}, forms, report);
  EXPECT_EQ(report.Line, 4);
  EXPECT_EQ(report.Column, 2);
}

TEST(CsvImport, FilesThatAreNoCsvAreRefused) {
  TempDir dir;
  std::string big;
  for (size_t n = 0; n <= kMaxCsvBytes; n += 6) big += "10;20\n";
  WriteBytes(dir.File("big.csv"), big);
  ASSERT_EQ(::mkfifo(dir.File("fifo.csv").c_str(), 0600), 0);
  const std::pair<std::string, const char*> cases[] = {
      {dir.File("big.csv"), "Файл больше 8 МБ"},
      {dir.File("fifo.csv"), "Невозможно прочитать файл!"},
      {dir.Path().string(), "Невозможно прочитать файл!"},
      {dir.File("none.csv"), "Невозможно прочитать файл!"},
  };
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(path);
    FDATA forms;
    CsvImportReport report;
    // A FIFO blocks a plain open for ever; the bound makes that a failure.
    auto done = std::async(std::launch::async, [&, p = path] { return ImportCsvFile(p, {}, forms, report); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(tgx::ToUtf8(report.Message), message);
  }
}

TEST(CsvImport, FileAndTextReadAlikeAcrossReadPieces) {
  TempDir dir;
  std::string csv = "L;\"A\nB\"\n";  // a line end in a title becomes a blank
  for (int i = 0; i < 12000; ++i) csv += std::to_string(i * 7) + ";" + std::to_string(i * 3) + "\n";
  WriteBytes(dir.File("a.csv"), csv);
  FDATA from_file, from_text;
  CsvImportReport r1, r2;
  ASSERT_TRUE(ImportCsvFile(dir.File("a.csv"), {}, from_file, r1)) << tgx::ToUtf8(r1.Message);
  ASSERT_TRUE(ImportCsvText(csv, {}, from_text, r2));
  EXPECT_EQ(Describe(from_file), Describe(from_text));
  EXPECT_EQ(from_file.Form(0).Title(), "A B");
}

// ---------------------------------------------------------------- export

GROUPTAB ThreeTables() {
  GROUPTAB t;
  for (const std::vector<int>& values : {std::vector<int>{0, 15, 31, 48}, {}, {0, 2000000000}}) {
    PARTAB p;
    for (int v : values) p.Append(v);
    t.Add(p);
  }
  return t;
}

TEST(CsvExport, ExportedTablesComeBackUnchanged) {
  GROUPTAB with_trailing_gap = ThreeTables();
  with_trailing_gap.AddEmpty();
  const std::vector<std::string> titles = {Cp("Резервуар 1"), Cp("пропуск"), Cp("Бак, \"2\"")};
  const std::pair<GROUPTAB, std::vector<std::string>> cases[] = {{ThreeTables(), titles},
                                                                 {with_trailing_gap, {}}};
  for (const auto& [tables, names] : cases) {
    for (char d : {';', ',', '\t'}) {
      SCOPED_TRACE(std::to_string(names.size()) + " titles, delimiter " + d);
      CsvExportOptions options;
      options.Delimiter = d;
      FDATA forms;
      CsvImportReport report;
      ASSERT_TRUE(ImportCsvText(ExportCsvText(tables, names, options), {}, forms, report))
          << tgx::ToUtf8(report.Message);
      GROUPTAB back;
      forms.ToTables(back);
      EXPECT_EQ(TextOf(back), TextOf(tables));
      EXPECT_EQ(forms.Form(2).Title(), names.empty() ? "t3" : names[2]);
    }
  }
}

TEST(CsvExport, ProjectExportWritesConvertedTablesOrRefusesAndKeepsTheOldFile) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink quiet(sink);
  WriteBytes(dir.File("good.f1"), Cp("# Бак\n| 0 0\n| 205 10\n"));
  WriteBytes(dir.File("bad.f1"), Cp("# good\n| 0 0\n| 100 10\n# bad\n| 0 0\n| 100 ?\n"));
  EPROJECT good, bad;
  ASSERT_TRUE(good.Load(dir.File("good.f1")));
  ASSERT_TRUE(bad.Load(dir.File("bad.f1")));
  std::string message;
  ASSERT_TRUE(ExportProjectCsv(good, dir.File("out.csv"), {}, message)) << message;
  const std::string written = "\xEF\xBB\xBFlevel_mm;Бак\r\n0;0\r\n10;5\r\n20;10\r\n30;15\r\n";
  EXPECT_EQ(ReadBytes(dir.File("out.csv")), written);
  EXPECT_FALSE(ExportProjectCsv(bad, dir.File("out.csv"), {}, message));
  EXPECT_EQ(tgx::ToUtf8(message), "Канал 2: форма не преобразуется в таблицу");
  EXPECT_EQ(ReadBytes(dir.File("out.csv")), written);
  EXPECT_FALSE(ExportCsvFile(dir.Path().string(), ThreeTables(), {}, {}, message)) << "a folder is never replaced";
  EXPECT_EQ(tgx::ToUtf8(message), "Невозможно записать файл!");
}

}  // namespace
}  // namespace tgxtest
