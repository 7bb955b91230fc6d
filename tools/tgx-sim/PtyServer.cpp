#include "PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tgxsim {
namespace {

// One byte of 9600 baud 8E1: start bit, 8 data bits, parity, stop bit.
constexpr double kByteSeconds = 11.0 / 9600.0;
// A reply that the terminal cannot take for this long has no reader: drop it.
constexpr int kWriteStallMs = 2000;
// Back-off when the terminal reports a hang-up or an error.
constexpr int kRetryMs = 10;
// Paced, a reply's bytes are handed to the terminal up to this long before
// their last bit would have crossed the line. The program allows 50 ms
// between data bytes, and the real unit never pauses that long inside a
// block; a simulator that a busy machine keeps off the processor would. The
// terminal's queue covers such a stall, and the rate over a block is still
// the line's.
constexpr double kTxLeadSeconds = 0.1;

double MonotonicSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void SleepUntil(double t) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(t);
  ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
  if (ts.tv_nsec >= 1000000000L) {
    ++ts.tv_sec;
    ts.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

void SleepMs(int ms) { SleepUntil(MonotonicSeconds() + ms / 1000.0); }

// When the next byte of a burst that began at `burstStart` has crossed the
// line, given when the line is free. Within a burst the bytes follow their
// ideal schedule, so a sleep that wakes late (a busy machine) does not push
// every later byte back: the line's rate is kept on average.
double NextByteDone(double burstStart, double& lineFreeAt) {
  lineFreeAt = std::max(burstStart, lineFreeAt) + kByteSeconds;
  return lineFreeAt;
}

}  // namespace

PtyServer::PtyServer(SimUnit& unit, const SimOptions& options) : unit_(unit), options_(options) {}

PtyServer::~PtyServer() {
  RemoveLink();
  for (int fd : {master_, slave_, stopPipe_[0], stopPipe_[1]})
    if (fd >= 0) ::close(fd);
}

bool PtyServer::Open(std::string& error) {
  auto fail = [&error](const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0) return fail("grantpt");
  if (::unlockpt(master_) != 0) return fail("unlockpt");
  char name[PATH_MAX] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail("open " + slavePath_);
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
  ::cfmakeraw(&tio);
  if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
  const int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");

  if (!options_.linkPath.empty()) {
    struct stat st {};
    if (::lstat(options_.linkPath.c_str(), &st) == 0) {
      // Never replace a real file or device: only a stale link of ours or another's.
      if (!S_ISLNK(st.st_mode)) {
        error = options_.linkPath + " exists and is not a symbolic link";
        return false;
      }
      if (::unlink(options_.linkPath.c_str()) != 0) return fail("unlink " + options_.linkPath);
    }
    if (::symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0)
      return fail("symlink " + options_.linkPath);
    linkMade_ = true;
  }
  return true;
}

void PtyServer::RemoveLink() {
  if (!linkMade_) return;
  linkMade_ = false;
  // Leave the link alone when someone has pointed it elsewhere since.
  char target[PATH_MAX] = {};
  const ssize_t n = ::readlink(options_.linkPath.c_str(), target, sizeof target - 1);
  if (n > 0 && slavePath_ == std::string(target, static_cast<size_t>(n)))
    ::unlink(options_.linkPath.c_str());
}

void PtyServer::Stop() {
  stopping_.store(true);
  if (stopPipe_[1] >= 0) {
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &c, 1);
  }
}

bool PtyServer::WriteAll(const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(master_, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) return false;
    // The terminal's buffer is full: the master reads one byte at a time.
    pollfd pfd{master_, POLLOUT | POLLIN, 0};
    const int r = ::poll(&pfd, 1, kWriteStallMs);
    if (r == 0) return false;
    if (r < 0 && errno != EINTR) return false;
    // The master speaks only when it is done listening: it has given up on
    // the rest of this reply, which would otherwise land in its next one.
    if (r > 0 && (pfd.revents & POLLIN)) return false;
  }
  return true;
}

bool PtyServer::InputPending() const {
  pollfd pfd{master_, POLLIN, 0};
  return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
}

void PtyServer::Send(const Reply& reply) {
  if (!options_.pace && reply.byteDelayMs == 0) {
    WriteAll(reply.bytes.data(), reply.bytes.size());
    return;
  }
  const double start = MonotonicSeconds();
  for (uint8_t b : reply.bytes) {
    if (stopping_.load() || InputPending()) return;
    if (reply.byteDelayMs > 0) SleepMs(reply.byteDelayMs);
    if (options_.pace) {
      // A byte is on the receiver's side once all its bits have crossed the
      // line, and the line carries one byte at a time.
      SleepUntil(NextByteDone(start, txFreeAt_) - kTxLeadSeconds);
    }
    if (!WriteAll(&b, 1)) return;
  }
}

void PtyServer::Run() {
  // Byte times of about a millisecond need a precise sleep.
  if (options_.pace) ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  uint8_t buf[4096];
  for (;;) {
    pollfd fds[3] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}, {0, POLLIN, 0}};
    const nfds_t count = options_.exitOnStdinEof ? 3 : 2;
    const int r = ::poll(fds, count, unit_.MillisecondsToNextTick());
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (count == 3 && fds[2].revents) {
      const ssize_t n = ::read(0, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
    if (fds[0].revents & POLLIN) {
      // Paced, a byte is taken off the terminal only when the line starts to
      // carry it: the rest stays in the terminal's queue, as it stays in a
      // serial driver's, where the program can still discard it.
      const ssize_t n = ::read(master_, buf, options_.pace ? 1 : sizeof buf);
      if (n > 0) {
        // The bytes of one read were on their way together; a byte that
        // follows the previous one within a couple of byte times continues
        // its burst, so that a late wake-up does not slow the line down.
        double start = MonotonicSeconds();
        if (options_.pace && start - rxFreeAt_ < 2 * kByteSeconds) start = std::min(start, rxFreeAt_);
        for (ssize_t i = 0; i < n && !stopping_.load(); ++i) {
          if (options_.pace) {
            SleepUntil(NextByteDone(start, rxFreeAt_));
          }
          Reply reply;
          unit_.Receive(buf[i], reply);
          if (!reply.bytes.empty()) Send(reply);
        }
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        // EIO while no slave is open: wait for the next opener.
        SleepMs(kRetryMs);
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      SleepMs(kRetryMs);
    }
    unit_.Tick();
  }
}

}  // namespace tgxsim
