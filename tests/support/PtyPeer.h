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
//
// Header-only so that any test or benchmark program can use it.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tgxtest {

using Bytes = std::vector<uint8_t>;

// Not copyable: the atomic and the future see to that.
class PtyPeer {
 public:
  PtyPeer() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
    char name[128] = {};
    termios t{};
    // The slave is held open here too, so the master sees no hang-up while the
    // code under test closes and reopens the line, and raw before anyone writes.
    if (master_ < 0 || ::grantpt(master_) || ::unlockpt(master_) || ::ptsname_r(master_, name, sizeof name) ||
        (slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 || ::tcgetattr(slave_, &t))
      throw std::runtime_error("no pseudo-terminal");
    path_ = name;
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  ~PtyPeer() {
    Stop();
    ::close(slave_);
    ::close(master_);
  }

  const std::string& SlavePath() const { return path_; }
  int MasterFd() const { return master_; }

  // Waits up to 3 s for exactly these bytes; anything else ends the script.
  PtyPeer& Expect(Bytes bytes) { return Take(bytes.size(), bytes); }
  // Waits up to 3 s for n bytes of any value.
  PtyPeer& Receive(size_t n) { return Take(n, {}); }
  PtyPeer& Send(Bytes bytes) { return Step([this, bytes] { return Write(bytes) || Fail("could not send"); }); }
  PtyPeer& Pause(int ms) {
    return Step([ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); return true; });
  }

  // The unit side of one transaction: command byte in, status out.
  PtyPeer& AnswerCommand(uint8_t command, uint8_t status = 0) { return Expect({command}).Send({status}); }
  // A read: status 0, the block, and its XOR when the block has two bytes or more.
  PtyPeer& AnswerRead(uint8_t command, Bytes data) {
    if (data.size() >= 2) data.push_back(std::accumulate(data.begin(), data.end(), uint8_t{0}, std::bit_xor<>()));
    data.insert(data.begin(), 0);
    return Expect({command}).Send(data);
  }
  // A write: status 0, the block (and its XOR above two bytes), the acknowledgement.
  PtyPeer& AnswerWrite(uint8_t command, size_t n) { return Expect({command}).Send({0}).Receive(n + (n > 2)).Send({0}); }
  // A handshake: the word 0x1234 read twice, or 0x5577 read and echoed twice.
  PtyPeer& AnswerHandshake(uint8_t command, bool echo = false) {
    if (echo) return AnswerRead(command, {0x77, 0x55}).AnswerWrite(command, 2).AnswerWrite(command, 2);
    return AnswerRead(command, {0x34, 0x12}).AnswerRead(command, {0x34, 0x12});
  }

  // Runs the steps added since the last Start; Received() keeps growing across runs.
  void Start() {
    errors_.clear();
    run_ = std::async(std::launch::async, [this, i = next_, end = steps_.size()]() mutable {
      while (i < end && !stop_ && steps_[i]()) ++i;
    });
    next_ = steps_.size();
  }
  // Waits for the script to end, then collects what else arrives until the
  // line has been quiet for quietMs. True when every step ran as scripted.
  bool Finish(int timeoutMs = 3000, int quietMs = 30) {
    using std::future_status::ready;
    const bool ended = !run_.valid() || run_.wait_for(std::chrono::milliseconds(timeoutMs)) == ready;
    Stop();
    if (!ended) Fail("script did not finish");
    Read(SIZE_MAX, quietMs);
    return errors_.empty();
  }
  // What reached the unit and what went wrong, once the script has finished.
  const Bytes& Received() const { return received_; }
  const std::string& Errors() const { return errors_; }

 private:
  void Stop() {
    stop_ = true;
    if (run_.valid()) run_.get();
    stop_ = false;
  }
  PtyPeer& Step(std::function<bool()> step) { steps_.push_back(std::move(step)); return *this; }
  // Any n bytes when `want` is empty.
  PtyPeer& Take(size_t n, Bytes want) {
    return Step([this, n, want] {
      const Bytes got = Read(n, 3000);
      if (got.size() == n && (want.empty() || got == want)) return true;
      std::string hex;
      for (uint8_t x : got) hex += "0123456789ABCDEF"[x >> 4] + std::string(1, "0123456789ABCDEF"[x & 15]) + ' ';
      return Fail("expected " + std::to_string(n) + " bytes, got " + hex);
    });
  }
  bool Fail(const std::string& what) { errors_ += what + "; "; return false; }
  void Wait(short events) { pollfd p{master_, events, 0}; ::poll(&p, 1, 5); }
  // Up to n bytes within timeoutMs; with n SIZE_MAX, until quiet for timeoutMs.
  Bytes Read(size_t n, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    Bytes got;
    for (auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs); got.size() < n;) {
      uint8_t buf[4096];
      const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - got.size()));
      if (r > 0) {
        got.insert(got.end(), buf, buf + r);
        received_.insert(received_.end(), buf, buf + r);
        if (n == SIZE_MAX) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
      } else if (stop_ || Clock::now() >= deadline) {
        break;
      } else {
        Wait(POLLIN);
      }
    }
    return got;
  }
  bool Write(const Bytes& bytes) {
    for (size_t off = 0; off < bytes.size();) {
      const ssize_t w = ::write(master_, bytes.data() + off, bytes.size() - off);
      if (w > 0) off += static_cast<size_t>(w);
      else if (!stop_ && (errno == EAGAIN || errno == EINTR)) Wait(POLLOUT);
      else return false;
    }
    return true;
  }

  int master_ = -1, slave_ = -1;
  std::string path_;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
  std::future<void> run_;
  std::atomic<bool> stop_{false};
  Bytes received_;
  std::string errors_;
};

}  // namespace tgxtest
