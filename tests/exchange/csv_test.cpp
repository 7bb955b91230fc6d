// CSV files in and out: what a spreadsheet writes becomes the forms a form
// file with the same numbers holds, faults are placed by line and column,
// and exported tables come back unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
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

std::string Cp(const char* utf8) { return tgx::FromUtf8(utf8); }

// The forms of a form file text of the given type: what the import must equal.
FDATA FormsOf(const char* utf8_form_file, int32_t type) {
  FDATA d;
  EXPECT_TRUE(d.ReadText(Cp(utf8_form_file), type));
  return d;
}

// Each '#' section of a form file text read on its own, so that gaps and
// forms of one row, which a loaded file drops at its end, stay comparable.
std::vector<FORMA> SectionsOf(const std::string& utf8_form_file, int32_t type) {
  std::vector<FORMA> forms;
  size_t at = utf8_form_file.find('#');
  while (at != std::string::npos) {
    const size_t next = utf8_form_file.find('#', at + 1);
    FDATA one;
    one.ReadText(Cp(utf8_form_file.substr(at, next - at).c_str()), type);
    forms.push_back(one.Form(0));
    at = next;
  }
  return forms;
}

std::string ReadBytes(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Describe(const FDATA& d) {
  std::string s = std::to_string(d.Count()) + " forms";
  for (int k = 0; k < d.Count(); ++k) {
    const FORMA& f = d.Form(k);
    s += "\n[" + tgx::ToUtf8(f.Title()) + "] type " + std::to_string(f.Type()) + ":";
    for (int i = 0; i < f.RowCount(); ++i) s += " " + f.LevelText(i) + "/" + f.VolumeText(i);
  }
  return s;
}

// The tables of a set of forms as text, one table a line, so that a
// difference shows where it is.
std::string TextOf(const GROUPTAB& t) {
  std::string s;
  for (int k = 0; k < t.Count(); ++k) {
    s += std::to_string(k) + ":";
    for (int32_t i = 0; i < t.Table(k).Count(); ++i) s += " " + std::to_string(t.Table(k)[i]);
    s += "\n";
  }
  return s;
}

std::string TablesOf(FDATA forms) {
  GROUPTAB t;
  forms.ToTables(t);
  return TextOf(t);
}

// One pair file, spelt in every way a spreadsheet may write it.
constexpr const char* kPairForms = "# Резервуар 1\n| 0 0\n| 1055 120\n| 2500 310\n"
                                   "# Бак \"2\"; запасной\n| 0 5\n| 1055 77\n| 2500 200\n";

struct Spelling {
  const char* name;
  std::string bytes;
  char delimiter;
  CsvEncoding encoding;
};

TEST(CsvImport, EverySpellingOfOneFileGivesTheFormsOfItsFormFile) {
  const std::string cp_header = Cp("Уровень\tРезервуар 1\tБак \"2\"; запасной\n");
  const Spelling spellings[] = {
      {"semicolon, decimal comma, BOM, CR LF",
       "\xEF\xBB\xBFУровень, мм;Резервуар 1;\"Бак \"\"2\"\"; запасной\"\r\n0;0;5\r\n105,5;120;77\r\n250;310;200\r\n", ';',
       CsvEncoding::Utf8},
      {"comma, decimal point, UTF-8 without BOM, LF",
       "level,Резервуар 1,\"Бак \"\"2\"\"; запасной\"\n0,0,5\n105.5,120,77\n250,310,200\n", ',', CsvEncoding::Utf8},
      {"TAB, decimal comma, Windows-1251", cp_header + "0\t0\t5\n105,5\t120\t77\n250\t310\t200\n", '\t',
       CsvEncoding::Cp1251},
      {"preamble rows, blank lines, empty rows, blanks and quoted numbers",
       "Градуировочная таблица;;\n\n;Резервуар 1;\"Бак \"\"2\"\"; запасной\"\n ; ; \n0; 0 ;\"5\"\n\n105,50;120;77\n250;310;200",
       ';', CsvEncoding::Utf8},
      {"trailing delimiters", "L <мм>;Резервуар 1;\"Бак \"\"2\"\"; запасной\";\n0;0;5;\n105.5;120;77;\n250;310;200;\n",
       ';', CsvEncoding::Utf8},
  };
  const FDATA expected = FormsOf(kPairForms, 4);
  for (const Spelling& s : spellings) {
    SCOPED_TRACE(s.name);
    FDATA got;
    CsvImportReport report;
    ASSERT_TRUE(ImportCsvText(s.bytes, {}, got, report)) << tgx::ToUtf8(report.Message);
    EXPECT_EQ(report.Delimiter, s.delimiter);
    EXPECT_EQ(report.Encoding, s.encoding);
    EXPECT_EQ(report.Layout, CsvLayout::Levels);
    EXPECT_EQ(report.Type, 4);
    EXPECT_TRUE(got == expected) << Describe(got);
  }
}

struct Shape {
  const char* name;
  const char* csv;
  CsvImportOptions options;
  const char* form_file;  // the forms expected, as a form file of `type`
  int32_t type;
};

CsvImportOptions With(CsvLevelUnit levels, CsvVolumeUnit volumes = CsvVolumeUnit::Litres, int32_t type = 0,
                      CsvLayout layout = CsvLayout::Auto) {
  CsvImportOptions o;
  o.Levels = levels;
  o.Volumes = volumes;
  o.Type = type;
  o.Layout = layout;
  return o;
}

TEST(CsvImport, LayoutsTypesAndUnits) {
  constexpr auto mm = CsvLevelUnit::Millimetres;
  const Shape shapes[] = {
      {"volume columns only: type 1, one row per centimetre", "A;B\n0;0\n10;12\n25;30\n", {},
       "# A\n| 0 10 25\n# B\n| 0 12 30\n", 1},
      {"one column without a header is volumes only", "0\n10\n25\n", {}, "# t1\n| 0 10 25\n", 1},
      {"no header, two columns: a level column", "0;0\n105;10\n250;25\n", {}, "# t1\n| 0 0\n| 1050 10\n| 2500 25\n",
       4},
      {"levels every centimetre from 0 give type 1", "level_mm;A\n0;0\n10;12\n20;30\n", {}, "# A\n| 0 12 30\n", 1},
      {"levels in centimetres", "H;A\n0;0\n10,55;12\n", With(CsvLevelUnit::Centimetres),
       "# A\n| 0 0\n| 1055 12\n", 4},
      {"levels in tenths", "L;A\n0;0\n1055;12\n", With(CsvLevelUnit::Tenths), "# A\n| 0 0\n| 1055 12\n", 4},
      {"levels rounded to the nearest tenth, half away from zero",
       "L;A;B\n-0,05;1;1\n105,55;2;2\n105,549;3;3\n", {},
       "# A\n| -1 1\n| 1056 2\n| 1055 3\n# B\n| -1 1\n| 1056 2\n| 1055 3\n", 4},
      {"litres truncated toward zero, exponents read", "L;A\n0;12,9\n10;1e3\n20;2.5E+1\n", With(mm, CsvVolumeUnit::Litres, 4),
       "# A\n| 0 12\n| 100 1000\n| 200 25\n", 4},
      {"type 4 forced on volume columns: a level every centimetre", "A\n0\n10\n25\n", With(mm, CsvVolumeUnit::Litres, 4),
       "# A\n| 0 0\n| 100 10\n| 200 25\n", 4},
      {"type 1 forced on levels every centimetre", "L;A\n0;5\n10;6\n", With(mm, CsvVolumeUnit::Litres, 1),
       "# A\n| 5 6\n", 1},
      {"volumes layout forced over a level caption", "level;A\n0;5\n10;6\n",
       With(mm, CsvVolumeUnit::Litres, 0, CsvLayout::Volumes), "# level\n| 0 10\n# A\n| 5 6\n", 1},
      {"a column that ends early, a titled empty column is a gap", "L;A;B;C\n0;1;;5\n10;2;;\n", {},
       "# A\n| 1 2\n# B\n# C\n| 5\n", 1},
      {"a hole in a pair column is skipped", "L;A\n0;1\n35;\n70;9\n", {}, "# A\n| 0 1\n| 700 9\n", 4},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    FDATA got;
    CsvImportReport report;
    ASSERT_TRUE(ImportCsvText(s.csv, s.options, got, report)) << tgx::ToUtf8(report.Message);
    const std::vector<FORMA> expected = SectionsOf(s.form_file, s.type);
    EXPECT_EQ(report.Type, s.type);
    ASSERT_EQ(got.Count(), static_cast<int>(expected.size())) << Describe(got);
    for (int k = 0; k < got.Count(); ++k) EXPECT_TRUE(got.Form(k) == expected[static_cast<size_t>(k)]) << Describe(got);
  }
}

struct Refusal {
  const char* name;
  std::string csv;
  CsvImportOptions options;
  int32_t line;
  int32_t column;
  const char* message;  // the whole message, UTF-8
};

TEST(CsvImport, FaultsStopTheImportWithTheirPlace) {
  std::string long_row = "A\n1\n" + std::string(kMaxCsvRowBytes + 1, '7') + "\n";
  std::string seventeen = "0";
  for (int k = 0; k < 17; ++k) seventeen += ";1";
  std::string too_many_rows;
  for (int i = 0; i <= kMaxCsvDataRows; ++i) too_many_rows += "1\n";
  const Refusal refusals[] = {
      {"a cell that is no number", "L;A;B\n0;1;2\n\n10;x1;3\n", {}, 4, 2, "Строка 4, столбец 2: не число «x1»"},
      {"a decimal comma in a comma file", "L,A\n0,1\n10,\"1,5\"\n", {}, 3, 2, "Строка 3, столбец 2: не число «1,5»"},
      {"seventeen volume columns", "L;A\n" + seventeen + "\n", {}, 2, 18, "Строка 2, столбец 18: больше 16 каналов"},
      {"seventeen titles", "L;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;x\n0;1\n", {}, 1, 0,
       "Строка 1: в файле больше 16 каналов"},
      {"no data rows", "L;A\n\n", {}, 0, 0, "В файле нет строк данных"},
      {"an empty file", "", {}, 0, 0, "В файле нет строк данных"},
      {"a row longer than its bound", long_row, {}, 3, 0, "Строка 3: длиннее 64 КБ"},
      {"a quote that never closes", "L;A\n0;\"1\n10;2\n", {}, 2, 2, "Строка 2, столбец 2: кавычки не закрыты"},
      {"a value below an empty cell of a type 1 column", "A;B\n1;1\n;2\n3;3\n", {}, 3, 1,
       "Строка 3, столбец 1: пустая ячейка внутри столбца"},
      {"a negative volume", "L;A\n0;0\n10;-1\n", {}, 3, 2, "Строка 3, столбец 2: отрицательный объём «-1»"},
      {"litres beyond 32 bits", "L;A\n0;0\n10;3e9\n", {}, 3, 2, "Строка 3, столбец 2: число вне допустимых пределов «3e9»"},
      {"cubic metres beyond single precision", "L;A\n0;0\n10;1e40\n", With(CsvLevelUnit::Millimetres, CsvVolumeUnit::CubicMetres),
       3, 2, "Строка 3, столбец 2: число вне допустимых пределов «1e40»"},
      {"a row without its level", "L;A\n0;0\n;5\n", {}, 3, 1, "Строка 3, столбец 1: нет уровня"},
      {"type 1 forced on levels that skip a centimetre", "L;A\n0;0\n10;1\n30;2\n", With(CsvLevelUnit::Millimetres, CsvVolumeUnit::Litres, 1),
       4, 1, "Строка 4, столбец 1: для формы типа 1 уровни идут через 1 см от 0, здесь нужен 2 см"},
      {"a level column alone", "L\n0\n", With(CsvLevelUnit::Millimetres, CsvVolumeUnit::Litres, 0, CsvLayout::Levels), 0, 0,
       "В файле нет столбцов объёма"},
      {"more data rows than the bound", too_many_rows, {}, kMaxCsvDataRows + 1, 0,
       "Строка 30001: больше 30000 строк данных"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    FDATA forms = FormsOf("# kept\n| 1 2\n", 1);
    const FDATA before = forms;
    CsvImportReport report;
    EXPECT_FALSE(ImportCsvText(r.csv, r.options, forms, report));
    EXPECT_EQ(report.Line, r.line);
    EXPECT_EQ(report.Column, r.column);
    EXPECT_EQ(tgx::ToUtf8(report.Message), r.message);
    EXPECT_TRUE(forms == before) << "a refused import changes nothing";
  }
}

TEST(CsvImport, CubicMetresBecomeLitresAsATypeTwoFormFileConverts) {
  const std::string values[] = {"0", "0,123", "1,0005", "0.0001", "12,3456", "0,999999"};
  std::string csv = "Объём, м3\n";
  std::string form_file = "# x\n";
  for (const auto& v : values) {
    csv += v + "\n";
    form_file += v + "\n";
  }
  FDATA imported;
  CsvImportReport report;
  CsvImportOptions options;
  options.Volumes = CsvVolumeUnit::CubicMetres;
  ASSERT_TRUE(ImportCsvText(csv, options, imported, report)) << tgx::ToUtf8(report.Message);
  EXPECT_EQ(report.Type, 1);
  EXPECT_EQ(TablesOf(imported), TablesOf(FormsOf(form_file.c_str(), 2)));
  EXPECT_EQ(imported.Form(0).VolumeText(1), "123");
}

// What a command-line import does: the file in, a form file out, loaded again
// later. Its tables are those of a form file written by hand with the same
// numbers.
TEST(CsvImport, SavedAndLoadedConvertsLikeTheHandMadeFormFile) {
  struct Case {
    const char* name;
    const char* csv;
    CsvVolumeUnit volumes;
    const char* hand_made_name;
    const char* hand_made;
    const char* saved_extension;
  };
  const Case cases[] = {
      {"pairs", "Уровень;Резервуар 1;Резервуар 2\n0;0;0\n305;12;40\n1505;80;310\n2207;166;402\n",
       CsvVolumeUnit::Litres, "hand.f1",
       "# Резервуар 1\n| 0 0\n| 3050 12\n| 15050 80\n| 22070 166\n# Резервуар 2\n| 0 0\n| 3050 40\n| 15050 310\n"
       "| 22070 402\n",
       ".f1"},
      {"per centimetre", "A;B\n0;0\n15;40\n31;81\n", CsvVolumeUnit::Litres, "hand.fs", "# A\n| 0 15 31\n# B\n| 0 40 81\n",
       ".fs"},
      {"cubic metres per centimetre", "A\n0\n0,123\n1,0005\n", CsvVolumeUnit::CubicMetres, "hand.fs1",
       "# A\n0\n0.123\n1.0005\n", ".fs"},
  };
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink quiet(sink);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.File("in.csv"), c.csv);
    WriteBytes(dir.File(c.hand_made_name), Cp(c.hand_made));
    CsvImportOptions options;
    options.Volumes = c.volumes;
    EPROJECT imported;
    CsvImportReport report;
    ASSERT_TRUE(ImportCsvProject(dir.File("in.csv"), options, imported, report)) << tgx::ToUtf8(report.Message);
    const std::string out = FDATA::FileNameForType(dir.File("out.csv"), report.Type);
    EXPECT_EQ(std::filesystem::path(out).extension(), c.saved_extension);
    ASSERT_TRUE(imported.Save(out));
    EPROJECT loaded, hand;
    ASSERT_TRUE(loaded.Load(out));
    ASSERT_TRUE(hand.Load(dir.File(c.hand_made_name)));
    GROUPTAB from_csv, from_hand;
    loaded.ToTables(from_csv);
    hand.ToTables(from_hand);
    EXPECT_EQ(TextOf(from_csv), TextOf(from_hand));
    EXPECT_EQ(loaded.Form(0).Title(), hand.Form(0).Title());
  }
  EXPECT_TRUE(sink.shown.empty());
}

TEST(CsvImport, ProjectIsNamedAfterTheFileAndMarkedModified) {
  TempDir dir;
  WriteBytes(dir.File("tanks.csv"), "A\n0\n1\n");
  EPROJECT p;
  CsvImportReport report;
  ASSERT_TRUE(ImportCsvProject(dir.File("tanks.csv"), {}, p, report));
  EXPECT_EQ(p.Name(), dir.File("tanks.csv"));
  EXPECT_TRUE(p.Modified());
  EXPECT_EQ(p.FormCount(), 1);
}

TEST(CsvImport, FilesThatAreNoCsvAreRefusedWithoutReadingThemWhole) {
  TempDir dir;
  // Larger than the bound: refused from its size.
  {
    std::ofstream big(dir.File("big.csv"), std::ios::binary);
    const std::string row = "10;20\n";
    for (size_t n = 0; n <= kMaxCsvBytes; n += row.size()) big << row;
  }
  ASSERT_EQ(::mkfifo(dir.File("fifo.csv").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {"larger than the bound", dir.File("big.csv"), "Файл больше 8 МБ"},
      {"a FIFO", dir.File("fifo.csv"), "Невозможно прочитать файл!"},
      {"a folder", dir.Path().string(), "Невозможно прочитать файл!"},
      {"missing", dir.File("none.csv"), "Невозможно прочитать файл!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FDATA forms;
    CsvImportReport report;
    // A FIFO would block a plain open for ever; a generous bound turns that
    // into a failure instead of a hang.
    auto done = std::async(std::launch::async, [&] { return ImportCsvFile(c.path, {}, forms, report); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(tgx::ToUtf8(report.Message), c.message);
  }
}

TEST(CsvImport, FileAndTextReadAlike) {
  TempDir dir;
  // Longer than one read piece, with a quoted title over two lines across it.
  std::string csv = "L;\"A\nB\"\n";
  for (int i = 0; i < 12000; ++i) csv += std::to_string(i * 7) + ";" + std::to_string(i * 3) + "\n";
  WriteBytes(dir.File("a.csv"), csv);
  FDATA from_file, from_text;
  CsvImportReport r1, r2;
  ASSERT_TRUE(ImportCsvFile(dir.File("a.csv"), {}, from_file, r1)) << tgx::ToUtf8(r1.Message);
  ASSERT_TRUE(ImportCsvText(csv, {}, from_text, r2));
  EXPECT_TRUE(from_file == from_text);
  EXPECT_EQ(from_file.Form(0).Title(), "A B") << "a line end in a title becomes a blank";
  EXPECT_EQ(from_file.Form(0).RowCount(), 12000);
}

// ---------------------------------------------------------------- export

GROUPTAB ThreeTables() {
  GROUPTAB t;
  PARTAB a, gap, b;
  for (int v : {0, 15, 31, 48}) a.Append(v);
  for (int v : {0, 2000000000}) b.Append(v);
  t.Add(a);
  t.Add(gap);
  t.Add(b);
  return t;
}

TEST(CsvExport, OneRowPerCentimetreWithEmptyCellsWhereATableEnds) {
  const std::vector<std::string> titles = {Cp("Резервуар 1"), "", Cp("Бак \"2\"; запасной")};
  EXPECT_EQ(ExportCsvText(ThreeTables(), titles, {}),
            "\xEF\xBB\xBF"
            "level_mm;Резервуар 1;t2;\"Бак \"\"2\"\"; запасной\"\r\n"
            "0;0;;0\r\n10;15;;2000000000\r\n20;31;;\r\n30;48;;\r\n");
  CsvExportOptions tab;
  tab.Delimiter = '\t';
  EXPECT_EQ(ExportCsvText(ThreeTables(), {"a;b"}, tab),
            "\xEF\xBB\xBFlevel_mm\ta;b\tt2\tt3\r\n0\t0\t\t0\r\n10\t15\t\t2000000000\r\n20\t31\t\t\r\n30\t48\t\t\r\n");
}

TEST(CsvExport, ExportedTablesComeBackUnchanged) {
  GROUPTAB with_trailing_gap = ThreeTables();
  with_trailing_gap.AddEmpty();
  struct Case {
    const char* name;
    GROUPTAB tables;
    std::vector<std::string> titles;
  };
  const Case cases[] = {
      {"titled", ThreeTables(), {Cp("Резервуар 1"), Cp("пропуск"), Cp("Бак, \"2\"")}},
      {"untitled, a gap at the end", with_trailing_gap, {}},
  };
  for (const Case& c : cases) {
    for (char d : {';', ',', '\t'}) {
      SCOPED_TRACE(c.name + std::string(" ") + d);
      CsvExportOptions options;
      options.Delimiter = d;
      FDATA forms;
      CsvImportReport report;
      ASSERT_TRUE(ImportCsvText(ExportCsvText(c.tables, c.titles, options), {}, forms, report))
          << tgx::ToUtf8(report.Message);
      EXPECT_EQ(TablesOf(forms), TextOf(c.tables));
      if (!c.titles.empty()) {
        EXPECT_EQ(forms.Form(2).Title(), c.titles[2]);
      }
    }
  }
}

TEST(CsvExport, ProjectExportRefusesAFormThatDoesNotConvertAndKeepsTheOldFile) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink quiet(sink);
  WriteBytes(dir.File("p.f1"), Cp("# good\n| 0 0\n| 100 10\n# bad\n| 0 0\n| 100 ?\n"));
  EPROJECT p;
  ASSERT_TRUE(p.Load(dir.File("p.f1")));
  WriteBytes(dir.File("out.csv"), "old");
  std::string message;
  EXPECT_FALSE(ExportProjectCsv(p, dir.File("out.csv"), {}, message));
  EXPECT_EQ(tgx::ToUtf8(message), "Канал 2: форма не преобразуется в таблицу");
  EXPECT_EQ(ReadBytes(dir.File("out.csv")), "old");
}

TEST(CsvExport, ProjectExportWritesTheConvertedTablesWithTheFormTitles) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink quiet(sink);
  WriteBytes(dir.File("p.f1"), Cp("# Бак\n| 0 0\n| 205 10\n"));
  EPROJECT p;
  ASSERT_TRUE(p.Load(dir.File("p.f1")));
  std::string message;
  ASSERT_TRUE(ExportProjectCsv(p, dir.File("out.csv"), {}, message)) << message;
  EXPECT_EQ(ReadBytes(dir.File("out.csv")), "\xEF\xBB\xBFlevel_mm;Бак\r\n0;0\r\n10;5\r\n20;10\r\n30;15\r\n");
}

TEST(CsvExport, WritingOverAFolderOrIntoAMissingOneFails) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  std::string message;
  EXPECT_FALSE(ExportCsvFile(dir.File("folder"), ThreeTables(), {}, {}, message));
  EXPECT_EQ(tgx::ToUtf8(message), "Невозможно записать файл!");
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
  EXPECT_FALSE(ExportCsvFile(dir.File("missing/out.csv"), ThreeTables(), {}, {}, message));
}

TEST(CsvWords, CommandLineWords) {
  CsvLevelUnit level{};
  EXPECT_TRUE(ParseCsvLevelUnit("cm", level));
  EXPECT_EQ(level, CsvLevelUnit::Centimetres);
  EXPECT_FALSE(ParseCsvLevelUnit("m", level));
  CsvVolumeUnit volume{};
  EXPECT_TRUE(ParseCsvVolumeUnit("m3", volume));
  EXPECT_EQ(volume, CsvVolumeUnit::CubicMetres);
  EXPECT_FALSE(ParseCsvVolumeUnit("L", volume));
  char d = 0;
  EXPECT_TRUE(ParseCsvDelimiter("tab", d));
  EXPECT_EQ(d, '\t');
  EXPECT_FALSE(ParseCsvDelimiter("|", d));
}

}  // namespace
}  // namespace tgxtest
