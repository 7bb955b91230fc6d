// CSV import on arbitrary bytes under every option: it imports or refuses
// with a message, a refusal changes nothing, an import gives 1 to 16 forms of
// one type with one-line titles, and tables that convert come back unchanged
// through an export and a second import.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "exchange/Csv.h"
#include "forms/Fdata.h"
#include "model/Prjvol.h"

namespace {
bool ExportsWhole(const GROUPTAB& t) {
  for (int k = 0; k < t.Count(); ++k) {
    if (t.Table(k).Count() > kMaxCsvDataRows) return false;
    for (int32_t i = 0; i < t.Table(k).Count(); ++i)
      if (t.Table(k)[i] < 0) return false;  // the import refuses negative volumes
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the options.
  const uint8_t o = data[0];
  CsvImportOptions options;
  options.Levels = static_cast<CsvLevelUnit>(o % 3);
  options.Volumes = (o >> 2) & 1 ? CsvVolumeUnit::CubicMetres : CsvVolumeUnit::Litres;
  constexpr int32_t kTypes[] = {0, 1, 4, 0};
  options.Type = kTypes[(o >> 3) & 3];
  options.Layout = static_cast<CsvLayout>(((o >> 5) & 3) % 3);
  options.Delimiter = (o >> 7) & 1 ? ',' : 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  FDATA forms;
  forms.AddNew();
  CsvImportReport report;
  if (!ImportCsvText(text, options, forms, report)) {
    if (report.Message.empty()) std::abort();
    if (forms.Count() != 1 || forms.Form(0).RowCount() != 2) std::abort();  // untouched
    return 0;
  }
  if (!report.Message.empty()) std::abort();
  if (forms.Count() < 1 || forms.Count() > 16 || forms.Count() != report.Channels) std::abort();
  for (int k = 0; k < forms.Count(); ++k) {
    const FORMA& f = forms.Form(k);
    if (f.Type() != report.Type || (f.Type() != 1 && f.Type() != 4)) std::abort();
    if (f.Title().empty() || f.Title().size() > 250) std::abort();
    for (char c : f.Title())
      if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }

  GROUPTAB tables;
  forms.ToTables(tables);
  for (int k = 0; k < forms.Count(); ++k)
    if (forms.Form(k).RowCount() >= 2 && !forms.Form(k).Converted()) return 0;
  if (!ExportsWhole(tables)) return 0;
  bool any = false;
  for (int k = 0; k < tables.Count(); ++k) any = any || tables.Table(k).Count() > 0;
  if (!any) return 0;  // an export without rows has no data to read back
  FDATA again;
  CsvImportReport second;
  if (!ImportCsvText(ExportCsvText(tables, {}, {}), {}, again, second)) std::abort();
  GROUPTAB back;
  again.ToTables(back);
  if (!(back == tables)) std::abort();
  return 0;
}
