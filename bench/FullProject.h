#pragma once
// The project the document benchmarks measure: 16 type 1 forms of 3,000
// entries each, distinct and smooth enough to look like real tanks.

#include <string>

#include "forms/Fdata.h"
#include "project/Eprj.h"

inline EPROJECT FullProject(int channels = 16, int entries = 3000) {
  std::string text;
  for (int k = 0; k < channels; ++k) {
    text += "# t" + std::to_string(k + 1) + "\n";
    for (int i = 0; i < entries; ++i)
      text += (i % 10 == 0 ? "\n|" : "") + std::string(" ") + std::to_string(i * (900 + k) + (i * i) / 50);
    text += "\n";
  }
  FDATA forms;
  forms.ReadText(text, 1);
  EPROJECT p;
  p.New();
  p.SetForms(forms);
  return p;
}
