// Sessions that must end at once or tell the truth about the line, against
// tgx-sim: a cancel in a status wait, in an acknowledgement wait and while a
// written block still sits in the line's queue; a read block whose unit falls
// silent; the wire count against what the unit really got. Judged by bytes
// and events; the only clock bounds are seconds wide, far below what the
// faults would cost without the behaviour under test.

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>

#include "SessionRig.h"
#include "link/Portcol.h"

namespace tgxtest {
namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits for `done` for at most `limit`; true when it came.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The reply time-out is 30 s, so that a wait a cancel does not end shows.
class SessionCancel : public SessionRig {
 protected:
  SessionCancel() { session_->Channel.ReplyTimeoutMs = 30000; }
  // Leaves `tables` in the unit's state file through a quick, unpaced write.
  void Prepare(const GROUPTAB& tables) {
    ASSERT_TRUE(Run(SimRunner({"--version-code", "8530"}, state_).Path(), kOpWrite, tables)) << Status();
  }
  bool CancelAndWait() {
    session_->Cancel = true;
    // Generous: a cancel that is not seen costs the 20 s or more the faults hold the line for.
    return WaitFor([this] { return session_->Finished.load(); }, 5s);
  }
  bool Reopens(const SimRunner& sim) {
    PCI line;
    line.SetDevicePath(sim.Path());
    return line.SetLine(0, kUnitLine) == PCI::kOpenOk;
  }
};

// The unit holds back its answer to the memory size for 20 s a byte (after two
// handshake reads, the data step), or takes the image and never acknowledges it.
TEST_F(SessionCancel, InAStatusOrAnAcknowledgementWait) {
  const std::tuple<const char*, Strings, std::function<bool(const Log&)>> rows[] = {  // name, options, waiting
      {"status", {"--byte-delay-ms", "2=20000"}, [](const Log& log) { return Count(log, {2}) == 3; }},
      {"acknowledgement", {"--silence-after", "3=1"},
       [](const Log& log) {
         return std::ranges::any_of(log, [](const auto& t) { return t.Command() == 3 && t.in.size() == 102 + 2; });
       }},
  };
  for (auto [name, options, waiting] : rows) {
    SCOPED_TRACE(name);
    options.insert(options.begin(), {"--version-code", "6320"});
    SimRunner sim(options);
    Start(sim.Path(), kOpWrite, Ramp(100));
    ASSERT_TRUE(WaitFor([&] { return waiting(sim.Log()); }, 10s));
    ASSERT_FALSE(session_->Finished);
    ASSERT_TRUE(CancelAndWait()) << "the session still waits";
    EXPECT_EQ(session_->ResultCode, kStatusLinkFailure);
    EXPECT_EQ(Status(), "Ошибка связи");
    EXPECT_EQ(FirstParameters(sim.Log(), kModeWrite, 1), -1) << "the header was written";
    EXPECT_TRUE(Reopens(sim));
  }
}

// A 16,002-byte image takes 18 s at 9600 baud; the program has queued all of
// it long before. After the cancel the unit gets no more than what was on the
// line then, plus what the terminal's reading side already holds (4 KB, which
// no discard reaches on a pseudo-terminal) and a second of slack.
TEST_F(SessionCancel, WhileTheBlockIsQueued) {
  Prepare(Ramp(50));
  constexpr int kImage = 16002;
  SimRunner sim({"--version-code", "8530", "--pace"}, state_);
  Start(sim.Path(), kOpWrite, Ramp(16000));
  ASSERT_TRUE(WaitFor([&] { return FirstParameters(sim.Log(), kModeWrite, 3) >= 0; }, 20s));
  const int64_t blockStart = session_->WireBytesDone;
  ASSERT_TRUE(WaitFor([&] { return session_->WireBytesDone >= blockStart + 2000; }, 20s));
  const int64_t onWire = session_->WireBytesDone - blockStart;
  ASSERT_TRUE(CancelAndWait()) << "the session still waits for the block to drain";
  EXPECT_EQ(session_->ResultCode, kStatusLinkFailure);
  EXPECT_TRUE(Reopens(sim));

  // The unit drops a block that stops coming and logs what it got of it.
  int received = -1;
  auto blockLogged = [&] {
    for (const auto& t : sim.Log())
      if (t.Command() == 3 && t.in.size() > 6) received = static_cast<int>(t.in.size()) - 1;
    return received >= 0;
  };
  ASSERT_TRUE(WaitFor(blockLogged, 20s));
  EXPECT_LE(received, onWire + 4096 + TBVLink::kLineBytesPerSecond);
  EXPECT_LT(received, kImage);

  ASSERT_TRUE(Run(sim.Path(), kOpRead)) << Status();
  EXPECT_EQ(session_->Tables, Ramp(50)) << "the cancelled write changed the unit";
}

// The unit stops after 1,000 bytes of a 16,002-byte image: at 50 ms a
// missing byte the rest would take 750 s.
TEST_F(SessionCancel, SilenceEndsAReadBlock) {
  Prepare(Ramp(16000));
  SimRunner sim({"--version-code", "8530", "--silence-after", "3=1001"}, state_);
  Start(sim.Path(), kOpRead);
  ASSERT_TRUE(WaitFor([&] { return session_->Finished.load(); }, 10s)) << "the block still waits byte by byte";
  EXPECT_EQ(session_->ResultCode, kStatusLinkFailure);
  EXPECT_EQ(Status(), "Ошибка связи");
  EXPECT_EQ(session_->Tables.Count(), 0);
}

// While a paced write or read runs, the wire count never gains more than the
// line carries (plus one second's bytes); at the end it is every byte the
// unit got and sent, and the total. With a backup read first, the total
// planned during the backup already holds the write that follows.
TEST_F(SessionCancel, WireCountFollowsTheLine) {
  const std::tuple<uint8_t, bool, int> rows[] = {{kOpWrite, false, 3000}, {kOpRead, false, 0}, {kOpWrite, true, 1500}};
  for (const auto& [op, backup, entries] : rows) {
    SCOPED_TRACE(testing::Message() << int(op) << (backup ? " after a backup" : ""));
    if (backup) Prepare(Ramp(1200));
    SimRunner sim({"--version-code", "8530", "--pace"}, state_);
    session_->BackupFirst = backup;
    Start(sim.Path(), op, Ramp(entries));
    struct Sample {
      Clock::time_point at;
      int64_t done, total;
    };
    std::vector<Sample> samples;
    while (!session_->Finished) {
      samples.push_back({Clock::now(), session_->WireBytesDone, session_->WireBytesTotal});
      std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(session_->Succeeded) << Status();
    ASSERT_EQ(session_->BackupTaken, backup);
    ASSERT_GE(samples.size(), 2u);
    const Sample& first = samples.front();
    for (const Sample& s : samples) {
      const double seconds = std::chrono::duration<double>(s.at - first.at).count();
      EXPECT_LE(s.done - first.done, int64_t(seconds * TBVLink::kLineBytesPerSecond) + TBVLink::kLineBytesPerSecond);
    }
    const int64_t line = LineBytes(sim.Log());
    // Once the image's size is known the whole session is planned: the
    // total does not move again, and it is what the line carried.
    const auto planned = std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return s.total > 0; });
    ASSERT_NE(planned, samples.end());
    EXPECT_LT(planned->done, planned->total) << "the total came only at the end";
    for (auto s = planned; s != samples.end(); ++s) EXPECT_EQ(s->total, line);
    EXPECT_EQ(session_->WireBytesDone, line);
    EXPECT_EQ(session_->WireBytesTotal, line);
    EXPECT_EQ(session_->BytesExchanged, line);
  }
}

}  // namespace
}  // namespace tgxtest
