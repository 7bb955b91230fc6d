#include "forms/Fdata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "forms/Convert.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "model/Safesave.h"

namespace {
// Form files are exchanged with Windows installations; a real one holds a few
// hundred kilobytes. Anything far larger is not a form file, and reading it
// whole would only exhaust memory.
constexpr size_t kMaxFormFileBytes = 8 * 1024 * 1024;
// No line of a form file is longer than a title or ten values; a longer one is
// refused by its number rather than parsed.
constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr int32_t kNewFormType = 1;
constexpr int kValuesPerLine = 10;  // type 1 files: ten volumes after each '|'

struct Extension {
  const char* text;
  int32_t type;
};
// Only these are read; ".f2" (volume increments) is written, never read back.
constexpr Extension kReadable[] = {{".fs", 1}, {".fs1", 2}, {".fs2", 3}, {".f1", 4}};
constexpr const char* kWritten[] = {".fs", ".fs1", ".fs2", ".f1", ".f2"};

// The position of the file name's extension (its last '.'), or npos.
size_t ExtensionPos(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
  return dot;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void PutPadded(std::string& out, const std::string& s, size_t width) {
  if (s.size() < width) out.append(width - s.size(), ' ');
  out += s;
}

void Show(const char* utf8, const std::string& reason = {}) {
  // The reason, when there is one, is the message's second line.
  tgx::ShowMessage(reason.empty() ? tgx::FromUtf8(utf8) : tgx::FromUtf8(utf8) + "\n" + reason);
}

std::string Native(const std::string& path) { return tgx::FromUtf8(path); }

// Reads the whole form file, bounded by its real size. Opened without
// blocking and checked before anything is read: a FIFO or a device given as a
// form file would otherwise wait forever or never end. `why` says what is
// wrong, naming the file.
bool ReadFormFile(const std::string& path, std::string& bytes, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    why = Native(path) + (err == ENOENT || err == ENOTDIR ? tgx::FromUtf8(": файл не найден")
                          : err == EACCES || err == EPERM ? tgx::FromUtf8(": нет доступа к файлу")
                                                          : tgx::FromUtf8(": файл не открывается для чтения"));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    why = Native(path) + tgx::FromUtf8(": файл не читается");
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    why = Native(path) + (S_ISDIR(st.st_mode) ? tgx::FromUtf8(": это папка, а не файл")
                                              : tgx::FromUtf8(": не обычный файл (канал, устройство или сокет)"));
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxFormFileBytes) {
    ::close(fd);
    why = Native(path) + tgx::FromUtf8(": файл больше ") + std::to_string(kMaxFormFileBytes / (1024 * 1024)) +
          tgx::FromUtf8(" МБ, это не файл форм");
    return false;
  }
  // What grows after fstat is not read: the size read is the size checked.
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t size = 0;
  bool ok = true;
  while (size < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    size += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(ok ? size : 0);
  if (!ok) why = Native(path) + tgx::FromUtf8(": ошибка чтения файла");
  return ok;
}

// The number (1-based) of the first line holding a NUL byte, 0 when none
// does. A form file is text; a NUL means a file overwritten by something
// else or written in UTF-16, whose digits the reader would split one by one.
int64_t FirstLineWithNul(std::string_view text) {
  const size_t nul = text.find('\0');
  if (nul == std::string_view::npos) return 0;
  return 1 + static_cast<int64_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
}

// The number (1-based) of the first line longer than kMaxLineBytes, 0 when
// there is none.
int64_t FirstOverlongLine(std::string_view text) {
  int64_t number = 1;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    size_t length = end - pos;
    if (length > 0 && text[end - 1] == '\r') --length;
    if (length > kMaxLineBytes) return number;
    pos = end + 1;
    ++number;
  }
  return 0;
}

std::string OverlongLineText(int64_t line) {
  return tgx::FromUtf8("строка ") + std::to_string(line) + tgx::FromUtf8(" длиннее ") +
         std::to_string(kMaxLineBytes) + tgx::FromUtf8(" байт");
}
}  // namespace

void FDATA::Clear() {
  count_ = 0;
  for (auto& f : forms_) f.Clear();
}

bool FDATA::AddNew() {
  if (count_ >= kMaxForms) return false;
  Form(count_).Init(kNewFormType);
  ++count_;
  return true;
}

bool FDATA::Insert(int i, bool gap) {
  if (i < 0 || i >= count_ || count_ >= kMaxForms) return false;
  for (int k = count_; k > i; --k) Form(k).CopyFrom(Form(k - 1));
  if (gap)
    Form(i).ClearToGap(kNewFormType);
  else
    Form(i).Init(kNewFormType);
  ++count_;
  return true;
}

bool FDATA::Delete(int i) {
  if (count_ < 2 || i < 0 || i >= count_) return false;
  for (int k = i; k < count_ - 1; ++k) Form(k).CopyFrom(Form(k + 1));
  Form(count_ - 1).Clear();
  --count_;
  return true;
}

void FDATA::Replace(int i, const FORMA& form) {
  if (i >= 0 && i < count_) Form(i).CopyFrom(form);
}

void FDATA::Assign(const FDATA& other) {
  if (this == &other) return;
  for (int k = 0; k < other.count_; ++k) Form(k).CopyFrom(other.Form(k));
  count_ = other.count_;
}

bool operator==(const FDATA& a, const FDATA& b) {
  if (a.count_ != b.count_) return false;
  for (int k = 0; k < a.count_; ++k)
    if (!(a.Form(k) == b.Form(k))) return false;
  return true;
}

bool FDATA::Trim() {
  if (count_ < 1) return false;
  bool met_defined = false;
  for (int k = count_ - 1; k >= 0; --k) {
    FORMA& f = Form(k);
    f.CountDefined();
    if (f.Defined())
      met_defined = true;
    else if (!met_defined)
      --count_;
  }
  return count_ >= 1;
}

int32_t FDATA::TypeOfFileName(const std::string& path) {
  const size_t dot = ExtensionPos(path);
  if (dot == std::string::npos) return 0;
  const std::string_view ext = std::string_view(path).substr(dot);
  for (const auto& e : kReadable)
    if (EqualsIgnoreCase(ext, e.text)) return e.type;
  return 0;
}

std::string FDATA::FileNameForType(const std::string& path, int32_t type) {
  if (type < 1 || type > 5) return path;
  const size_t dot = ExtensionPos(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + kWritten[type - 1];
}

bool FDATA::ReadText(std::string_view text, int32_t type, std::string* why) {
  Clear();
  const auto fail = [&](std::string reason) {
    Clear();
    if (why) *why = std::move(reason);
    return false;
  };
  // Whole lines, never cut: a value is never split in two. `visit` gets the
  // line and its number (1-based).
  const auto for_each_line = [text](auto&& visit) {
    size_t pos = 0;
    int64_t number = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!visit(line, ++number)) return;
    }
  };

  if (const int64_t line = FirstOverlongLine(text); line > 0) return fail(OverlongLineText(line));

  // A first pass counts each form's data lines
  // so that its columns are allocated once. Type 1 lines carry up to ten
  // values; every value takes at least two bytes, which bounds the guess for
  // lines of blanks; no form is given room beyond the longest table.
  const bool bar_lines = type == 1 || type == 4 || type == 5;
  const size_t per_line = type == 1 || type == 3 ? kValuesPerLine : 1;
  std::array<size_t, kMaxForms> lines{}, bytes{};
  int32_t started = 0;
  for_each_line([&](std::string_view line, int64_t) {
    if (!line.empty() && line.front() == '#') return ++started <= kMaxForms;
    if (started > 0 && !line.empty() && (!bar_lines || line.front() == '|')) {
      ++lines[static_cast<size_t>(started - 1)];
      bytes[static_cast<size_t>(started - 1)] += line.size() + 1;
    }
    return true;
  });

  started = 0;
  std::string fault;
  for_each_line([&](std::string_view line, int64_t number) {
    if (!line.empty() && line.front() == '#') {
      if (started == kMaxForms) return false;
      FORMA& f = Form(started);
      f.SetType(type);
      const size_t slot = static_cast<size_t>(started);
      const size_t guess = std::min(lines[slot] * per_line, bytes[slot] / 2);
      f.Reserve(std::min<size_t>(guess, kMaxTableEntries + 1));
      ++started;
      // The writer puts one blank after '#'; dropping it here keeps a title
      // unchanged through any number of saves and loads.
      std::string_view title = line.substr(1);
      if (!title.empty() && title.front() == ' ') title.remove_prefix(1);
      f.SetTitle(std::string(title));
    } else if (started > 0) {
      FORMA& f = Form(started - 1);
      f.ParseLine(line);
      // Checked line by line: one line adds at most a few thousand rows.
      if (f.RowCount() > kMaxTableEntries) {
        fault = tgx::FromUtf8("форма ") + std::to_string(started) + tgx::FromUtf8(", строка ") +
                std::to_string(number) + tgx::FromUtf8(": больше ") + std::to_string(kMaxTableEntries) +
                tgx::FromUtf8(" строк");
        return false;
      }
    }
    return true;
  });
  if (!fault.empty()) return fail(fault);
  count_ = started;

  // A pair form's table follows from its highest level: one typed digit too
  // many would make a table no unit can hold.
  if (type == 4) {
    for (int k = 0; k < count_; ++k) {
      const FORMA& f = Form(k);
      int32_t top = 0, level = 0;
      bool any = false;
      for (int i = 0; i < f.RowCount(); ++i)
        if (ReadFormInteger(f.LevelText(i), level) && (!any || level > top)) {
          top = level;
          any = true;
        }
      if (any && PairTableEntries(top) > kMaxTableEntries)
        return fail(tgx::FromUtf8("форма ") + std::to_string(k + 1) + tgx::FromUtf8(": верхний уровень ") +
                    std::to_string(top) + tgx::FromUtf8(" (мм*10) дал бы таблицу длиннее ") +
                    std::to_string(kMaxTableEntries) + tgx::FromUtf8(" значений"));
    }
  }
  if (!Trim()) {
    if (why) *why = tgx::FromUtf8("в файле нет ни одной формы из двух и более строк");
    return false;
  }
  return true;
}

std::string FDATA::WriteText() const {
  std::string out;
  if (count_ == 0) return out;
  const int32_t type = Form(0).Type();
  for (int k = 0; k < count_; ++k) {
    const FORMA& f = Form(k);
    out += "\r\n\r\n# ";
    out += f.Title();
    out += "\r\n";
    const int rows = f.RowCount();
    for (int i = 0; i < rows; ++i) {
      switch (type) {
        case 1:
          if (i % kValuesPerLine == 0) out += "\r\n| ";
          out += ' ';
          out += f.VolumeText(i);
          break;
        case 2:
        case 3:
          out += "\r\n";
          PutPadded(out, f.VolumeText(i), 9);
          break;
        default:
          out += "\r\n| ";
          PutPadded(out, f.LevelText(i), 9);
          out += ' ';
          PutPadded(out, f.VolumeText(i), 9);
          break;
      }
    }
  }
  return out;
}

bool FDATA::Load(const std::string& path) {
  const int32_t type = TypeOfFileName(path);
  if (type == 0) {
    const size_t dot = ExtensionPos(path);
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot);
    std::string why = Native(path);
    if (ext.empty())
      why += tgx::FromUtf8(": у файла нет расширения файла форм");
    else if (EqualsIgnoreCase(ext, ".f2"))
      why += tgx::FromUtf8(": приращения объёма (.f2) только записываются, но не читаются");
    else
      why += tgx::FromUtf8(": расширение ") + Native(ext) + tgx::FromUtf8(" не является расширением файла форм");
    Show("Неизвестная форма!", why + tgx::FromUtf8(" (читаются .fs, .fs1, .fs2, .f1)"));
    return false;
  }
  Clear();
  std::string bytes, why;
  if (!ReadFormFile(path, bytes, why)) {
    Show("Файл испорчен!", why);
    return false;
  }
  // A line beyond any form's or a byte no text holds is damage to the file;
  // the rest is the forms'.
  if (const int64_t line = FirstOverlongLine(bytes); line > 0) {
    std::string().swap(bytes);  // not kept while the message waits
    Show("Файл испорчен!", Native(path) + ": " + OverlongLineText(line));
    return false;
  }
  if (const int64_t line = FirstLineWithNul(bytes); line > 0) {
    std::string().swap(bytes);
    Show("Файл испорчен!", Native(path) + tgx::FromUtf8(": строка ") + std::to_string(line) +
                               tgx::FromUtf8(" содержит нулевой байт, файл не текстовый"));
    return false;
  }
  const bool ok = ReadText(bytes, type, &why);
  std::string().swap(bytes);
  if (!ok) {
    Show(" Ошибка формы! ", Native(path) + ": " + why);
    return false;
  }
  return true;
}

bool FDATA::Save(const std::string& path) const {
  // A target that may not be written (a folder, a device, a name that is all
  // extension, a link planted by someone else) is refused with its reason.
  std::string why;
  if (!CheckSaveTarget(path, why)) {
    Show("Невозможно записать файл!", why);
    return false;
  }
  if (!SaveFileSafely(path, WriteText())) {
    Show("Невозможно записать файл!");
    return false;
  }
  return true;
}

bool FDATA::ToTables(GROUPTAB& tables) {
  const bool result = count_ != 0;
  tables.Clear();
  PARTAB work;
  for (int k = 0; k < count_; ++k) {
    FORMA& f = Form(k);
    f.SetConverted(ConvertForm(f, work));
    tables.Add(work);
  }
  return result;
}

void FDATA::FromTables(const GROUPTAB& tables) {
  Clear();
  for (int k = 0; k < tables.Count() && k < kMaxForms; ++k) {
    FORMA& f = Form(k);
    f.SetType(1);
    const PARTAB& t = tables.Table(k);
    for (int32_t i = 0; i < t.Count(); ++i) f.AppendRow(std::string(), std::to_string(t[i]));
    std::string title = "t";  // appended, not "t" + ...: g++ 12 warns falsely on that at -O3
    title += std::to_string(k + 1);
    f.SetTitle(std::move(title));
    f.CountDefined();
    ++count_;
  }
}

void FDATA::Check() {
  for (int k = 0; k < count_; ++k) {
    Form(k).SetConverted(false);
    Form(k).SetSmooth(false);
  }
  GROUPTAB tables;
  if (!ToTables(tables)) return;
  PARTAB work;
  for (int k = 0; k < count_; ++k) {
    FORMA& f = Form(k);
    if (f.Defined() && f.Converted()) f.SetSmooth(SecondDifference(tables.Table(k), work));
  }
}
