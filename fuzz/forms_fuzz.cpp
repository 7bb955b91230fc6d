// Form file reading and conversion on arbitrary bytes: every form type, the
// tables and the smoothness check, and a write/read round trip that must give
// the same forms back. Everything stays in memory (no file, no flush), and a
// text read from a file must count as one that reads back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "forms/Fdata.h"
#include "forms/Readback.h"
#include "model/Prjvol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int32_t type = 1; type <= 5; ++type) {
    FDATA forms;
    if (!forms.ReadText(text, type)) continue;
    GROUPTAB tables;
    forms.ToTables(tables);
    if (tables.Count() != forms.Count()) std::abort();
    forms.Check();
    for (int k = 0; k < forms.Count(); ++k)
      if (FirstUnsafeText(forms.Form(k))) std::abort();

    FDATA again;
    const std::string written = forms.WriteText();
    if (!again.ReadText(written, type) || again.Count() != forms.Count()) std::abort();
    for (int k = 0; k < again.Count(); ++k)
      if (!(again.Form(k) == forms.Form(k))) std::abort();
    if (again.WriteText() != written) std::abort();
  }
  return 0;
}
