#include "model/Safesave.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "model/Cp1251.h"

namespace {
// The table of temporary files in flight. Fixed storage and lock-free state,
// so that a signal handler may walk it: a slot is Free, Claimed while its path
// is being written, and Live once the path names a file to remove.
constexpr int kSlots = 64;
enum SlotState : int { kFree = 0, kClaimed = 1, kLive = 2 };
std::atomic<int> g_state[kSlots];
char g_path[kSlots][PATH_MAX];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the states");

// A chain of links longer than this is refused, as the kernel does.
constexpr int kMaxLinkHops = 40;
constexpr char kTempPrefix[] = ".tgx-";
constexpr int kTempRandomChars = 6;
constexpr int kCreateAttempts = 100;

std::string W(const char* utf8) { return tgx::FromUtf8(utf8); }
std::string Native(const std::string& path) { return tgx::FromUtf8(path); }

void Say(std::string* why, const std::string& text) {
  if (why) *why = text;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ClaimSlot() {
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_state[i].compare_exchange_strong(expected, kClaimed)) return i;
  }
  return -1;  // more saves at once than slots: the save still works, unlisted
}

void ReleaseSlot(int slot) {
  if (slot >= 0) g_state[slot].store(kFree);
}

std::string RandomName() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char r[kTempRandomChars] = {};
  if (::getrandom(r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
    static std::atomic<unsigned> counter{0};
    const unsigned c = counter.fetch_add(1) ^ static_cast<unsigned>(::getpid()) * 2654435761u;
    for (int i = 0; i < kTempRandomChars; ++i) r[i] = static_cast<unsigned char>(c >> (i * 5));
  }
  std::string s = kTempPrefix;
  for (unsigned char b : r) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  // Makes the rename itself durable; a failure here no longer endangers data.
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}
}  // namespace

bool ResolveSaveTarget(const std::string& target, std::string& real, std::string* why) {
  std::string path = target;
  for (int hop = 0;; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) break;  // a new file
      Say(why, errno == ENAMETOOLONG ? W("Слишком длинное имя файла: ") + Native(path)
                                     : W("Нет доступа к файлу ") + Native(path));
      return false;
    }
    if (!S_ISLNK(st.st_mode)) {
      if (!S_ISREG(st.st_mode)) {
        Say(why, Native(path) + W(" — не обычный файл (папка или устройство), запись в него запрещена"));
        return false;
      }
      break;
    }
    if (hop == kMaxLinkHops) {
      Say(why, W("Слишком длинная цепочка символических ссылок: ") + Native(target));
      return false;
    }
    struct stat folder {};
    const std::string dir = FolderOf(path);
    if (::stat(dir.c_str(), &folder) != 0 || (st.st_uid != ::geteuid() && st.st_uid != folder.st_uid)) {
      Say(why, W("Символическая ссылка ") + Native(path) +
                   W(" принадлежит другому пользователю; запись по ней запрещена"));
      return false;
    }
    std::string to(static_cast<size_t>(PATH_MAX), '\0');
    const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
    if (n <= 0 || n >= static_cast<ssize_t>(to.size())) {
      Say(why, W("Нет доступа к файлу ") + Native(path));
      return false;
    }
    to.resize(static_cast<size_t>(n));
    path = to.front() == '/' ? to : dir + "/" + to;
  }
  real = path;
  return true;
}

bool CheckSaveTarget(const std::string& path, std::string& message) {
  const std::string base = BaseOf(path);
  if (base.empty() || base == "." || base == "..") {
    message = W("Не указано имя файла: ") + Native(path);
    return false;
  }
  if (base.front() == '.' && base.find('.', 1) == std::string::npos) {
    message = W("Имя файла ") + Native(base) + W(" состоит из одного расширения: ") + Native(path);
    return false;
  }
  std::string real;
  return ResolveSaveTarget(path, real, &message);
}

SAFEFILE::~SAFEFILE() { Abandon(); }

bool SAFEFILE::Open(const std::string& target, std::string* why) {
  if (!temp_.empty()) return false;
  std::string real;
  if (!ResolveSaveTarget(target, real, why)) return false;
  if (BaseOf(real).empty()) {
    Say(why, W("Не указано имя файла: ") + Native(target));
    return false;
  }
  struct stat old {};
  const bool exists = ::stat(real.c_str(), &old) == 0;
  const std::string folder = FolderOf(real);

  const int slot = ClaimSlot();
  int fd = -1;
  std::string tmp;
  for (int attempt = 0; fd < 0 && attempt < kCreateAttempts; ++attempt) {
    tmp = folder + "/" + RandomName();
    // Mode 0666 lets the kernel apply the umask: a new file gets the mode a
    // plain create would give it.
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    ReleaseSlot(slot);
    Say(why, W("Невозможно создать файл в папке ") + Native(folder));
    return false;
  }
  if (slot >= 0 && tmp.size() >= PATH_MAX) {  // too long for the table: saved unlisted
    ReleaseSlot(slot);
  } else if (slot >= 0) {
    std::memcpy(g_path[slot], tmp.c_str(), tmp.size() + 1);
    g_state[slot].store(kLive);
  }
  slot_ = tmp.size() < PATH_MAX ? slot : -1;
  temp_ = tmp;
  real_ = real;
  bool ok = true;
  if (exists) {
    // The new file takes the old one's owner where the process may give it
    // (a save as root keeps a user's file the user's), then its mode.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(fd, old.st_uid, old.st_gid);
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    Say(why, W("Невозможно создать файл в папке ") + Native(folder));
    Abandon();
    return false;
  }
  return true;
}

bool SAFEFILE::Write(std::string_view bytes) {
  if (temp_.empty() || committed_) return false;
  const int fd = ::open(temp_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, bytes);
  return ::close(fd) == 0 && ok;
}

bool SAFEFILE::Commit() {
  if (temp_.empty() || committed_) return false;
  const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(temp_.c_str(), real_.c_str()) != 0) return false;
  committed_ = true;
  ReleaseSlot(slot_);
  slot_ = -1;
  SyncFolder(FolderOf(real_));
  return true;
}

void SAFEFILE::Abandon() {
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
  ReleaseSlot(slot_);
  slot_ = -1;
  temp_.clear();
}

bool SaveFileSafely(const std::string& target, std::string_view bytes, std::string* why) {
  SAFEFILE f;
  if (!f.Open(target, why)) return false;
  if (!f.Write(bytes) || !f.Commit()) {
    Say(why, W("Ошибка при записи файла ") + Native(f.TargetPath()));
    return false;
  }
  return true;
}

void RemovePendingTempFiles() {
  for (int i = 0; i < kSlots; ++i)
    if (g_state[i].load() == kLive) ::unlink(g_path[i]);
}

int PendingTempFileCount() {
  int n = 0;
  for (int i = 0; i < kSlots; ++i) n += g_state[i].load() == kLive;
  return n;
}
