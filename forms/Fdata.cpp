#include "forms/Fdata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "forms/Convert.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"

namespace {
// Form files are exchanged with Windows installations; a real one holds a few
// hundred kilobytes. Anything far larger is not a form file, and reading it
// whole would only exhaust memory.
constexpr size_t kMaxFormFileBytes = 8 * 1024 * 1024;
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

void Show(const char* utf8) { tgx::ShowMessage(tgx::FromUtf8(utf8)); }

mode_t NewFileMode() {
  // The mode a plain create would give: 0666 less the process umask, read
  // without changing it (umask() is process-wide and other threads create files).
  mode_t mask = 022;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, "Umask:", 6) == 0) {
        mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
        break;
      }
    std::fclose(f);
  }
  return 0666 & ~mask;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the file beside its target and renames it over the target, so that
// the old file stays whole until the new one is complete on disk.
bool WriteFileAtomically(const std::string& target, const std::string& bytes) {
  // Renaming over a symbolic link would replace the link, not the form file
  // it names; write beside the real file instead. Anything but a regular file
  // (a folder, a device) is never replaced.
  std::string path = target;
  struct stat link {};
  if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real) return false;
    path = real;
    std::free(real);
  }
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;

  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;
  std::string tmp = (slash == std::string::npos ? std::string() : dir) + "." + base + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;

  const mode_t mode = exists ? (old.st_mode & 07777) : NewFileMode();
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here no longer endangers data.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  // Read straight into the result; the size is only a hint (the file may
  // grow, and devices or pipes report none).
  size_t size = 0;
  bytes.resize(ok && S_ISREG(st.st_mode) ? std::min<uint64_t>(static_cast<uint64_t>(st.st_size) + 1, kMaxFormFileBytes + 1)
                                         : 64 * 1024);
  while (ok) {
    if (size == bytes.size()) {
      if (size > kMaxFormFileBytes) {
        ok = false;
        break;
      }
      bytes.resize(std::min(size * 2, kMaxFormFileBytes + 1));
    }
    const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) ok = false;
      continue;
    }
    size += static_cast<size_t>(n);
  }
  ::close(fd);
  if (size > kMaxFormFileBytes) ok = false;
  bytes.resize(ok ? size : 0);
  return ok;
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

bool FDATA::ReadText(std::string_view text, int32_t type) {
  Clear();
  // Whole lines, however long: a value is never cut in two.
  const auto for_each_line = [text](auto&& visit) {
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!visit(line)) return;
    }
  };

  // A first pass counts each form's data lines so that its columns are
  // allocated once. Type 1 lines carry up to ten values; every value takes at
  // least two bytes, which bounds the guess for lines of blanks.
  const bool bar_lines = type == 1 || type == 4 || type == 5;
  const size_t per_line = type == 1 || type == 3 ? kValuesPerLine : 1;
  std::array<size_t, kMaxForms> lines{}, bytes{};
  int32_t started = 0;
  for_each_line([&](std::string_view line) {
    if (!line.empty() && line.front() == '#') return ++started <= kMaxForms;
    if (started > 0 && !line.empty() && (!bar_lines || line.front() == '|')) {
      ++lines[static_cast<size_t>(started - 1)];
      bytes[static_cast<size_t>(started - 1)] += line.size() + 1;
    }
    return true;
  });

  started = 0;
  for_each_line([&](std::string_view line) {
    if (!line.empty() && line.front() == '#') {
      if (started == kMaxForms) return false;
      FORMA& f = Form(started);
      f.SetType(type);
      f.Reserve(std::min(lines[static_cast<size_t>(started)] * per_line, bytes[static_cast<size_t>(started)] / 2));
      ++started;
      // The writer puts one blank after '#'; dropping it here keeps a title
      // unchanged through any number of saves and loads.
      std::string_view title = line.substr(1);
      if (!title.empty() && title.front() == ' ') title.remove_prefix(1);
      f.SetTitle(std::string(title));
    } else if (started > 0) {
      Form(started - 1).ParseLine(line);
    }
    return true;
  });
  count_ = started;
  return Trim();
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
    Show("Неизвестная форма!");
    return false;
  }
  Clear();
  std::string bytes;
  if (!ReadFileBytes(path, bytes)) {
    Show("Файл испорчен!");
    return false;
  }
  if (!ReadText(bytes, type)) {
    Show(" Ошибка формы! ");
    return false;
  }
  return true;
}

bool FDATA::Save(const std::string& path) const {
  if (!WriteFileAtomically(path, WriteText())) {
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
