#pragma once
// A scripted unit on a pseudo-terminal. The code under test opens SlavePath()
// as its serial line; the peer runs a script of expected bytes and answers on
// its own thread and records every byte that reached it.
//
//   PtyPeer peer;
//   peer.Expect({0x07}).Send({0x00, 6, 3, 2, 6 ^ 3 ^ 2});
//   peer.Start();
//   ... code under test talks to peer.SlavePath() ...
//   EXPECT_TRUE(peer.Finish()) << peer.Errors();
//   EXPECT_EQ(peer.Received(), (Bytes{0x07}));
//
// Header-only so that any test or benchmark program can use it without a
// library of its own.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tgxtest {

using Bytes = std::vector<uint8_t>;

// XOR of a block, as the link's checksum byte.
inline uint8_t Xor(const Bytes& b) {
  uint8_t s = 0;
  for (uint8_t x : b) s ^= x;
  return s;
}

inline std::string HexOf(const Bytes& b) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t x : b) {
    if (!s.empty()) s += ' ';
    s += kDigits[x >> 4];
    s += kDigits[x & 15];
  }
  return s;
}

class PtyPeer {
 public:
  static constexpr int kDefaultTimeoutMs = 3000;

  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) throw std::runtime_error("openpt");
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
    path_ = name;
    // The peer keeps the slave open itself, so the master never sees a hang-up
    // while the code under test closes and reopens the line, and the line is
    // raw (no echo) before anyone writes to it.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("open slave");
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlavePath() const { return path_; }
  int SlaveFd() const { return slave_; }
  int MasterFd() const { return master_; }

  // ------------------------------------------------------------ script steps
  // Waits for exactly these bytes; a different byte or a time-out ends the script.
  PtyPeer& Expect(Bytes bytes, int timeoutMs = kDefaultTimeoutMs) {
    steps_.push_back([this, bytes, timeoutMs] {
      Bytes got;
      if (!Read(bytes.size(), timeoutMs, got)) return Fail("expected " + HexOf(bytes) + ", got " + HexOf(got));
      if (got != bytes) return Fail("expected " + HexOf(bytes) + ", got " + HexOf(got));
      return true;
    });
    return *this;
  }
  // Waits for n bytes of any value.
  PtyPeer& Receive(size_t n, int timeoutMs = kDefaultTimeoutMs) {
    steps_.push_back([this, n, timeoutMs] {
      Bytes got;
      if (!Read(n, timeoutMs, got)) return Fail("expected " + std::to_string(n) + " bytes, got " + HexOf(got));
      return true;
    });
    return *this;
  }
  // Sends the bytes, with gapMs between them when given.
  PtyPeer& Send(Bytes bytes, int gapMs = 0) {
    steps_.push_back([this, bytes, gapMs] {
      if (gapMs <= 0) return Write(bytes);
      for (uint8_t b : bytes) {
        if (!Write({b})) return false;
        Sleep(gapMs);
      }
      return true;
    });
    return *this;
  }
  PtyPeer& Pause(int ms) {
    steps_.push_back([this, ms] {
      Sleep(ms);
      return true;
    });
    return *this;
  }
  // Runs an action on the peer's thread at this point (raise a cancel flag...).
  PtyPeer& Do(std::function<void()> action) {
    steps_.push_back([action] {
      action();
      return true;
    });
    return *this;
  }

  // ------------------------------------------------------------ unit answers
  // The unit side of one transaction: command byte in, status out.
  PtyPeer& AnswerCommand(uint8_t command, uint8_t status = 0) { return Expect({command}).Send({status}); }
  // A read: status 0, the block, and its XOR when the block has two bytes or more.
  PtyPeer& AnswerRead(uint8_t command, const Bytes& data) {
    Bytes out{0};
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() >= 2) out.push_back(Xor(data));
    return Expect({command}).Send(out);
  }
  // A write: status 0, the block (and its XOR when longer than two bytes), then
  // the acknowledgement.
  PtyPeer& AnswerWrite(uint8_t command, size_t n, uint8_t ack = 0) {
    return Expect({command}).Send({0}).Receive(n + (n > 2 ? 1 : 0)).Send({ack});
  }
  // The unit side of a handshaked transfer: the word 0x1234 read twice (or
  // 0x5577 echoed twice), the parameter block, then the data phase.
  PtyPeer& AnswerHandshake(uint8_t command, bool echo = false) {
    if (echo) return AnswerRead(command, {0x77, 0x55}).AnswerWrite(command, 2).AnswerWrite(command, 2);
    return AnswerRead(command, {0x34, 0x12}).AnswerRead(command, {0x34, 0x12});
  }
  PtyPeer& AnswerTransferRead(uint8_t command, const Bytes& data, bool echo = false) {
    return AnswerHandshake(command, echo).AnswerWrite(command, 4).AnswerRead(command, data);
  }
  PtyPeer& AnswerTransferWrite(uint8_t command, size_t n, bool echo = false) {
    return AnswerHandshake(command, echo).AnswerWrite(command, 4).AnswerWrite(command, n);
  }

  // ------------------------------------------------------------ running
  // Runs the steps added since the last Start; Received() keeps growing
  // across runs.
  void Start() {
    done_ = false;
    stop_ = false;
    errors_.clear();
    first_ = last_;
    last_ = steps_.size();
    stepsRun_ = 0;
    thread_ = std::thread([this] {
      for (size_t i = first_; i < last_; ++i) {
        if (stop_ || !steps_[i]()) break;
        ++stepsRun_;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
      doneCv_.notify_all();
    });
  }
  // Waits for the script to end, then collects what else arrives until the
  // line has been quiet for quietMs. True when every step ran as scripted.
  bool Finish(int timeoutMs = kDefaultTimeoutMs, int quietMs = 30) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!doneCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; })) {
        errors_ += "script did not finish; ";
      }
    }
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    Bytes rest;
    stop_ = false;
    Read(SIZE_MAX, quietMs, rest);
    return errors_.empty() && stepsRun_ == last_ - first_;
  }
  Bytes Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  std::string Errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  // Writes from the calling thread, outside the script.
  bool SendNow(const Bytes& bytes) { return Write(bytes); }

 private:
  bool Fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_ += "step " + std::to_string(stepsRun_) + ": " + what + "; ";
    return false;
  }
  void Sleep(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
          until - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
    }
  }
  // Reads n bytes; a time-out restarts with every byte when n is SIZE_MAX
  // (drain until quiet), otherwise it bounds the whole read.
  bool Read(size_t n, int timeoutMs, Bytes& got) {
    const bool drain = n == SIZE_MAX;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n) {
      uint8_t buf[4096];
      const size_t want = std::min(sizeof buf, n - got.size());
      const ssize_t r = ::read(master_, buf, want);
      if (r > 0) {
        got.insert(got.end(), buf, buf + r);
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), buf, buf + r);
        if (drain) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        continue;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || stop_) return drain;
      pollfd p{master_, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 10)));
    }
    return true;
  }
  bool Write(const Bytes& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
      const ssize_t w = ::write(master_, bytes.data() + off, bytes.size() - off);
      if (w > 0) {
        off += static_cast<size_t>(w);
        continue;
      }
      if (stop_ || (w < 0 && errno != EAGAIN && errno != EINTR)) return false;
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
    return true;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::vector<std::function<bool()>> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  size_t stepsRun_ = 0;
  size_t first_ = 0;
  size_t last_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable doneCv_;
  bool done_ = true;
  Bytes received_;
  std::string errors_;
};

}  // namespace tgxtest
