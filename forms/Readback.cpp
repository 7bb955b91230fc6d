#include "forms/Readback.h"

#include <string_view>

#include "forms/Convert.h"
#include "forms/Forma.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"

namespace {
// A text quoted in a message or a reason is cut here, so that a line of
// garbage cannot push the sentence off the screen or the sheet.
constexpr size_t kQuotedChars = 32;
constexpr char kEllipsis = '\x85';  // … in Windows-1251

std::string W(const char* utf8) { return tgx::FromUtf8(utf8); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool GeneratedLevels(int32_t type) { return type >= 1 && type <= 3; }

std::string Cut(const std::string& s) {
  std::string out = s.size() > kQuotedChars ? s.substr(0, kQuotedChars) + kEllipsis : s;
  // A line break inside a message would split it; show it as a blank.
  for (char& c : out)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  return out;
}

std::string Quoted(const std::string& cp1251) { return "\xAB" + Cut(cp1251) + "\xBB"; }  // « »
std::string RowText(int row) { return W("строка ") + std::to_string(row + 1) + ": "; }

// How the reader sees a value that came back unchanged: without blanks
// around it and, in cubic metres, with ',' as '.'.
std::string Normalized(std::string_view text, int32_t type) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::string s(text);
  if (type == 2)
    for (char& c : s)
      if (c == ',') c = '.';
  return s;
}

// The fields of a pair line, without the reader's limit of two: a text that
// holds three numbers is reported as three values.
void PairFields(std::string_view line, int32_t& count, std::string* first) {
  size_t i = 0;
  while (i < line.size() && line[i] != '*') {
    const char c = line[i];
    if (c == '?') {
      if (count++ == 0 && first) *first = "?";
      ++i;
    } else if (IsDigit(c) || c == '-') {
      const size_t start = i++;
      while (i < line.size() && IsDigit(line[i])) ++i;
      if (count++ == 0 && first) *first = std::string(line.substr(start, i - start));
    } else {
      ++i;
    }
  }
}
}  // namespace

int32_t ValuesReadBack(const FORMA& form, const std::string& text, bool volumeColumn, std::string* first) {
  const int32_t type = form.Type();
  if (!volumeColumn && GeneratedLevels(type)) {
    if (first) *first = text;
    return 1;
  }
  // The text is written into a line of its own kind: after "| " in types 1, 4
  // and 5, alone in types 2 and 3. Its own line breaks start new lines, and a
  // '#' at the start of one of them would start a new form.
  int32_t count = 0;
  std::string_view rest(text);
  bool firstLine = true;
  while (true) {
    const size_t nl = rest.find('\n');
    std::string_view piece = rest.substr(0, nl);
    if (!firstLine && !piece.empty() && piece.front() == '#') break;
    if (!piece.empty() && piece.back() == '\r' && nl != std::string_view::npos) piece.remove_suffix(1);
    const bool barred = firstLine || (!piece.empty() && piece.front() == '|');
    if (GeneratedLevels(type)) {
      if (type != 1 || barred) {
        FORMA probe;
        probe.SetType(type);
        probe.ParseLine(std::string(type == 1 && firstLine ? "| " : "") + std::string(piece));
        if (count == 0 && probe.RowCount() > 0 && first) *first = probe.VolumeText(0);
        count += probe.RowCount();
      }
    } else if (barred) {
      PairFields(piece, count, first);
    }
    if (nl == std::string_view::npos) break;
    rest.remove_prefix(nl + 1);
    firstLine = false;
  }
  return count;
}

bool TextReadsBack(const FORMA& form, const std::string& text, bool volumeColumn) {
  const int32_t type = form.Type();
  if (!volumeColumn && GeneratedLevels(type)) return true;
  if (text.find('\n') != std::string::npos) return false;
  std::string first;
  const int32_t values = ValuesReadBack(form, text, volumeColumn, &first);
  const std::string wanted = Normalized(text, type);
  // An empty volume of a pair row is written as blanks and read back empty.
  if (values == 0) return volumeColumn && !GeneratedLevels(type) && wanted.empty();
  return values == 1 && first == wanted;
}

std::optional<UNSAFETEXT> FirstUnsafeText(const FORMA& form) {
  const bool levels = !GeneratedLevels(form.Type());
  for (int i = 0; i < form.RowCount(); ++i) {
    for (const bool volume : {false, true}) {
      if (!volume && !levels) continue;
      const std::string& text = volume ? form.VolumeText(i) : form.LevelText(i);
      if (TextReadsBack(form, text, volume)) continue;
      UNSAFETEXT t;
      t.Row = i;
      t.Volume = volume;
      t.Text = text;
      t.Values = ValuesReadBack(form, text, volume, &t.ReadAs);
      if (t.Values != 1) t.ReadAs.clear();
      return t;
    }
  }
  return std::nullopt;
}

std::string UnsafeTextQuestion(int32_t formIndex, const UNSAFETEXT& t) {
  std::string s = W("Форма ") + std::to_string(formIndex + 1) + W(", строка ") + std::to_string(t.Row + 1) +
                  ": \"" + Cut(t.Text) + "\" ";
  static const char* const kWords[] = {"", "", "два значения", "три значения", "четыре значения"};
  if (t.Values <= 0) {
    s += W("не будет прочитано");
  } else if (t.Values == 1) {
    s += t.ReadAs.empty() ? W("будет прочитано иначе") : W("будет прочитано как ") + Cut(t.ReadAs);
  } else if (t.Values <= 4) {
    s += W("будет прочитано как ") + W(kWords[t.Values]);
  } else {
    // 5 to 20 and anything ending in 5..9 or 0 take the genitive plural.
    const int32_t last = t.Values % 10, lastTwo = t.Values % 100;
    const char* noun = (lastTwo >= 11 && lastTwo <= 14) || last == 0 || last >= 5 ? " значений"
                       : last == 1                                               ? " значение"
                                                                                 : " значения";
    s += W("будет прочитано как ") + std::to_string(t.Values) + W(noun);
  }
  return s + W(". Сохранить?");
}

std::string ConversionFailureText(const FORMA& form) {
  PARTAB table;
  if (ConvertForm(form, table)) return {};
  const int32_t type = form.Type();
  if (type == 5) return W("форма приращений объёма (тип 5) не переводится в таблицу");
  if (type < 1 || type > 4) return W("тип формы ") + std::to_string(type) + W(" не переводится в таблицу");
  if (form.RowCount() < 2) return W("в форме меньше двух строк");
  int32_t value = 0;
  for (int i = 0; i < form.RowCount(); ++i) {
    if (type == 4 && !ReadFormInteger(form.LevelText(i), value))
      return RowText(i) + W("уровень ") + Quoted(form.LevelText(i)) + W(" не является целым числом");
    if (type == 2) {
      // One row alone converts exactly when its text does.
      FORMA one;
      one.SetType(2);
      one.AppendRow("0", form.VolumeText(i));
      PARTAB t;
      if (!ConvertForm(one, t))
        return RowText(i) + W("объём ") + Quoted(form.VolumeText(i)) +
               W(" не является числом кубических метров или слишком велик");
    } else if (!ReadFormInteger(form.VolumeText(i), value)) {
      return RowText(i) + W("объём ") + Quoted(form.VolumeText(i)) + W(" не является целым числом литров");
    }
  }
  if (type == 4) {
    int32_t top = 0;
    for (int i = 0; i < form.RowCount(); ++i)
      if (ReadFormInteger(form.LevelText(i), value) && (i == 0 || value > top)) top = value;
    if (PairTableEntries(top) > kMaxTableEntries)
      return W("верхний уровень ") + std::to_string(top) + W(" (мм*10) дал бы таблицу длиннее ") +
             std::to_string(kMaxTableEntries) + W(" значений");
    return W("уровни пар вне допустимого диапазона: таблица не строится");
  }
  return W("форма не переводится в таблицу");
}
