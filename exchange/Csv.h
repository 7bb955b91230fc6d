#pragma once
// Calibration data exchanged with spreadsheets as CSV: a file of levels and
// volumes becomes a set of forms; a set of volume tables becomes one row per
// centimetre. No file system beyond the two file functions, no GUI; texts
// inside stay Windows-1251 like every form text.
//
// Reading, in short:
//   - the delimiter is the one of ';', TAB and ',' that occurs (outside
//     quotes) in every one of the first lines that starts like a number and
//     in most of the first lines, ';' before TAB before ',' on a tie; ';'
//     when none does (a single column). With volumes in cubic metres a comma
//     is no delimiter unless some row also shows a decimal point. A decimal
//     comma is taken wherever the delimiter is not a comma;
//   - UTF-8 (with or without its byte-order mark) or Windows-1251, told from
//     the header bytes; quoted fields with "" for a quote, possibly over
//     several lines; LF or CR LF; blank lines and rows of empty cells skipped;
//   - leading rows with a cell that is not a number are header rows; the last
//     one gives the channel titles ("t<k>" where it has none);
//   - layout: a level column followed by one volume column per channel, or
//     volume columns only, one row per centimetre from 0. Told apart by the
//     caption above the first column (empty, or a word like "level", "L",
//     "H", "уровень", "высота", "взлив", "мм") and, without a header row, by
//     the column count (one column is volumes only, more have a level column);
//     CsvImportOptions::Layout forces one;
//   - forms: volume columns only give type 1 forms; a level column gives
//     type 4 forms (levels in tenths of a millimetre) unless its levels are
//     exactly 0, 1, 2 ... cm, one row each: that is a per-centimetre file and
//     gives type 1 forms, so that exported tables come back unchanged (a pair
//     form would add an extrapolated entry above the last level).
//     CsvImportOptions::Type forces 1 or 4;
//   - numbers: levels are scaled to tenths of a millimetre exactly and rounded
//     to the nearest tenth (half away from zero); litres are truncated toward
//     zero to whole litres; cubic metres become litres by the conversion of
//     type 2 forms (x1000 in single precision, truncated toward zero). A
//     negative volume, or a value beyond 32 bits, is refused;
//   - an empty cell ends a channel's column (a column without values is a gap,
//     "пропуск"); a value below an empty cell is refused in a type 1 form and
//     skipped over in a type 4 form;
//   - the first fault stops the import; its message names the file's line and
//     column (field number), and nothing is produced.
// Bounds: a file of at most kMaxCsvBytes, rows of at most kMaxCsvRowBytes
// (checked while the row is read, never after), at most kMaxCsvDataRows data
// rows and 16 channels. Memory therefore stays within a few tens of
// megabytes whatever the file holds.
//
// A single column of litres, every one with a decimal comma, reads as two
// comma-separated columns; CsvImportOptions::Delimiter settles such a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Fdata.h"

class EPROJECT;
class GROUPTAB;

inline constexpr size_t kMaxCsvBytes = 8 * 1024 * 1024;
inline constexpr size_t kMaxCsvRowBytes = 64 * 1024;
inline constexpr int32_t kMaxCsvDataRows = 30'000;

enum class CsvLevelUnit { Millimetres, Centimetres, Tenths };
enum class CsvVolumeUnit { Litres, CubicMetres };
enum class CsvLayout { Auto, Levels, Volumes };
enum class CsvEncoding { Utf8, Cp1251 };

struct CsvImportOptions {
  CsvLevelUnit Levels = CsvLevelUnit::Millimetres;
  CsvVolumeUnit Volumes = CsvVolumeUnit::Litres;
  int32_t Type = 0;                 // 0: from the file; 1 or 4 forces the form type
  CsvLayout Layout = CsvLayout::Auto;
  char Delimiter = 0;               // ';', ',' or '\t' forces one; anything else: found from the file
};

// What the import found, and on failure why. Filled in as far as the import
// got.
struct CsvImportReport {
  std::string Message;  // Windows-1251; empty on success
  int32_t Line = 0;     // 1-based line of the fault; 0 when it is no one place
  int32_t Column = 0;   // 1-based field of the fault; 0 likewise
  char Delimiter = ';';
  CsvEncoding Encoding = CsvEncoding::Utf8;
  CsvLayout Layout = CsvLayout::Auto;  // Levels or Volumes after a success
  int32_t Type = 0;                    // type of every form made: 1 or 4
  int32_t HeaderRows = 0;
  int32_t DataRows = 0;
  int32_t Channels = 0;
};

// The words of the command line: "mm", "cm", "tenths"; "l", "m3";
// ";", ",", "tab" (or a TAB). False for anything else.
bool ParseCsvLevelUnit(std::string_view word, CsvLevelUnit& unit);
bool ParseCsvVolumeUnit(std::string_view word, CsvVolumeUnit& unit);
bool ParseCsvDelimiter(std::string_view word, char& delimiter);

// The forms of a CSV text or file. On success `forms` holds one form per
// channel, all of report.Type, titled, with the defined flags counted (not
// converted: Check or ToTables does that). On failure `forms` is untouched.
bool ImportCsvText(std::string_view bytes, const CsvImportOptions& options, FDATA& forms, CsvImportReport& report);
// `path` is a native file name. The file is read in pieces; a larger file than
// kMaxCsvBytes, or one that is not a regular file, is refused.
bool ImportCsvFile(const std::string& path, const CsvImportOptions& options, FDATA& forms, CsvImportReport& report);
// ImportCsvFile into a project: on success the project is reset, named after
// the path (Windows-1251) and holds the forms, marked modified (nothing has
// been saved as a form file yet). Saved with
// project.Save(FDATA::FileNameForType(out, report.Type)) it gets the
// extension of its type. On failure the project is untouched.
bool ImportCsvProject(const std::string& path, const CsvImportOptions& options, EPROJECT& project,
                      CsvImportReport& report);

// ---------------------------------------------------------------- export
// One row per centimetre: "level_mm;<title 1>;<title 2>..." then
// "<level in mm>;<v1>;<v2>...", a cell left empty where a table has ended or
// is a gap. UTF-8 with its byte-order mark (spreadsheets take the file as
// UTF-8 only then), CR LF line ends (what spreadsheets write themselves; they
// read LF as well). A title holding the delimiter, a quote or a line end is
// quoted.
struct CsvExportOptions {
  char Delimiter = ';';  // ';', ',' or '\t'
};

// `titles` are Windows-1251, one per table; a missing or blank one is written
// "t<k>", the name the import gives an untitled channel.
std::string ExportCsvText(const GROUPTAB& tables, const std::vector<std::string>& titles,
                          const CsvExportOptions& options);
// Written atomically: a failed export leaves the old file whole. `message`
// (Windows-1251) says why on failure.
bool ExportCsvFile(const std::string& path, const GROUPTAB& tables, const std::vector<std::string>& titles,
                   const CsvExportOptions& options, std::string& message);
// The project's converted tables with its form titles. Refused, with the
// channel in `message`, when a form that is not a gap does not convert:
// the file would otherwise hold a table that the unit never gets.
bool ExportProjectCsv(const EPROJECT& project, const std::string& path, const CsvExportOptions& options,
                      std::string& message);
