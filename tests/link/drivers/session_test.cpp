// Sessions against tgx-sim, the simulated unit, on its pseudo-terminal: what
// every firmware family keeps, and what the session asked for as the
// simulator's traffic log shows it.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "link/Bvlink.h"
#include "link/drivers/Drv632.h"
#include "model/Cp1251.h"
#include "support/SimRunner.h"

namespace {
using tgxtest::SimRunner;
using Log = std::vector<SimRunner::Transaction>;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

long MsSince(Clock::time_point t0) { return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(); }

PARTAB Linear(int n, int start = 0, int step = 1) {
  PARTAB t(n);
  for (int i = 0; i < n; ++i) t[i] = start + i * step;
  return t;
}

GROUPTAB Set(std::initializer_list<PARTAB> tables) {
  GROUPTAB set;
  for (const PARTAB& t : tables) set.Add(t);
  return set;
}

// Sixteen channels with curved tables of several lengths; channel 8 has the
// same tank as channel 4 (one stored table for two channels), channel 11 none.
GROUPTAB SixteenTables() {
  GROUPTAB set;
  for (int k = 0; k < 16; ++k) {
    const int kk = k == 7 ? 3 : k;
    PARTAB t(k == 10 ? 0 : 100 + 20 * kk);
    for (int h = 0; h < t.Count(); ++h) t[h] = h * h / 4 + kk * h;
    set.Add(t);
  }
  return set;
}

// Parameter blocks as the unit receives them: code, count, mode, 0, checksum.
const Bytes kRestart{0x0E, 0, 0, 0, 0, 0};
const Bytes kNarrowMemoryAsk{0x02, 0x02, 0x00, 0x01, 0x00, 0x03};
const Bytes kWideMemoryAsk{0x02, 0x04, 0x00, 0x01, 0x00, 0x05};

int Count(const Log& log, const Bytes& in) {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const auto& t) { return t.in == in; }));
}
// Index of the last transaction of a request code, -1 without one.
int Last(const Log& log, uint8_t code) {
  for (int i = static_cast<int>(log.size()) - 1; i >= 0; --i)
    if (log[size_t(i)].Command() == code) return i;
  return -1;
}

// The header as read and as written back in one session: every byte outside
// the records and bit 2 of each flag field comes back as read, and bit 2 says
// whether the channel has a table.
void ExpectHeaderKept(const HeaderGeometry& g, const Log& log, const GROUPTAB& tables) {
  const size_t n = size_t(g.HeaderSize);
  Bytes before, after;
  for (const auto& t : log) {
    if (t.Command() != 1) continue;
    if (t.in.size() == 1 && t.out.size() == n + 2) before.assign(t.out.begin() + 1, t.out.end() - 1);
    if (t.in.size() == n + 2) after.assign(t.in.begin() + 1, t.in.end() - 1);
  }
  ASSERT_EQ(std::make_pair(before.size(), after.size()), std::make_pair(n, n));
  for (int i = 0; i < g.HeaderSize; ++i) {
    if (i >= g.RecordsOffset && i < g.RecordsOffset + kRecordsBytes) continue;
    const int p = (i - g.FlagsOffset) / g.FlagWidth;
    const bool flag = i >= g.FlagsOffset && p < 16 && (i - g.FlagsOffset) % g.FlagWidth == 0;
    EXPECT_EQ(before[size_t(i)] | (flag ? 4 : 0), after[size_t(i)] | (flag ? 4 : 0)) << "byte " << i;
    EXPECT_EQ(flag && (after[size_t(i)] & 4), flag && p < tables.Count() && tables.Table(p).Count() > 0) << i;
  }
}

class SimSession : public ::testing::Test {
 protected:
  void SetUp() override { session_ = std::make_unique<TBVLink>(false); }
  bool Run(const SimRunner& sim, uint8_t operation, const GROUPTAB& tables = {}) {
    session_->DevicePath = sim.Path();
    session_->Operation = operation;
    session_->Tables = tables;
    session_->Start();
    session_->WaitFinished();
    return session_->Succeeded;
  }
  std::string Status() const { return tgx::ToUtf8(session_->StatusText); }

  std::unique_ptr<TBVLink> session_;
};

TEST_F(SimSession, EveryFamilyWritesReadsBackAndDeletes) {
  const std::pair<int, uint8_t> units[] = {  // version code, driver
      {6210, 2},  {6320, 3},  {6340, 4},   {6341, 4},   {6342, 5},   {6343, 5},   {6363, 6},   {6410, 7},
      {8430, 8},  {8510, 9},  {8520, 10},  {8530, 11},  {9600, 12},  {9620, 13},  {9616, 14},  {9700, 14},
  };
  const GROUPTAB tables = SixteenTables();
  for (const auto& [code, driver] : units) {
    SCOPED_TRACE(code);
    SimRunner sim({"--version-code", std::to_string(code), "--memory", "65535"});
    const int restarts = code >= 6342 ? 1 : 0;  // version ids from 10 ("6342 ") on
    const HeaderGeometry* g = HeaderGeometryOf(driver);
    ASSERT_TRUE(Run(sim, TBVLink::kOpWrite, tables)) << Status();
    EXPECT_EQ(DriverOfVersion(session_->VersionId), driver);
    Log log = sim.Log();
    EXPECT_EQ(Count(log, kRestart), restarts);
    EXPECT_LT(Last(log, 3), Last(log, g ? 1 : 4));  // the image before what points into it
    if (g) ExpectHeaderKept(*g, log, tables);

    sim.MarkLog();
    ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
    EXPECT_EQ(session_->Tables, tables);
    EXPECT_EQ(Count(sim.LogSinceMark(), kRestart), 0);

    sim.MarkLog();
    ASSERT_TRUE(Run(sim, TBVLink::kOpDelete)) << Status();
    log = sim.LogSinceMark();
    EXPECT_EQ(Count(log, kRestart), restarts);
    EXPECT_EQ(Last(log, 3), -1);
    if (g) ExpectHeaderKept(*g, log, GROUPTAB{});
    ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
    EXPECT_EQ(session_->Tables.Count(), 0);
  }
}

// How a session ends with the firmware found and the unit's statuses; one
// that fails never touches the header or the image.
TEST_F(SimSession, IdentificationAndStatusesOfTheUnit) {
  constexpr uint8_t R = TBVLink::kOpRead, D = TBVLink::kOpDelete;
  const struct {
    Strings options;
    uint8_t operation, id;
    const char* status;
  } cases[] = {
      {{"--version-code", "6210"}, R, 4, "OK"},  // answers the probe, never asked its version
      {{"--version-bytes", "6,3,80"}, R, 6, "OK"}, {{"--version-code", "9000"}, R, 29, "OK"},
      {{"--version-code", "9612"}, R, 30, "OK"}, {{"--version-code", "9616"}, R, 31, "OK"},
      {{"--version-code", "9623"}, R, 32, "OK"}, {{"--version-code", "9700"}, R, 33, "OK"},
      {{"--version-code", "7000"}, R, 34, "Версия не поддерживается"},
      {{"--unknown-version"}, R, 0, "Версия не поддерживается"},
      {{"--status", "15=254"}, R, 34, "Ошибка связи"},
      {{"--status", "20=254"}, R, 6, "Инициализация БВ"},
      {{"--status", "20=4"}, D, 6, "Неисправность БВ!"},
      {{"--version-code", "8530", "--status", "14=4"}, D, 29, "Неисправность БВ!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    SimRunner sim(c.options);
    Run(sim, c.operation);
    EXPECT_EQ(session_->VersionId, c.id);
    EXPECT_EQ(Status(), c.status);
    EXPECT_TRUE(Status() == "OK" || std::max(Last(sim.Log(), 1), Last(sim.Log(), 3)) == -1);
  }
}

// A read waits 500 ms for a reply whatever the configured time-out.
TEST_F(SimSession, SilentUnitIsALinkErrorAfterOneReadWait) {
  SimRunner sim({"--silence-after", "15=0"});
  session_->Channel.ReplyTimeoutMs = 4000;
  const auto t0 = Clock::now();
  EXPECT_FALSE(Run(sim, TBVLink::kOpRead));
  const long ms = MsSince(t0);
  EXPECT_EQ(Status(), "Ошибка связи");
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 1500);
  EXPECT_GE(session_->LongestWait, 450);
}

// Memory checks at exact fit and one byte over, before anything is written.
// Header units ask their 16-bit memory; "853 " has a fixed limit, the 96x
// units the image cap; only "96XX" asks, with four bytes.
TEST_F(SimSession, MemoryLimits) {
  const struct {
    const char *code, *memory;
    int image;
    const Bytes* ask;
    bool written;
  } cases[] = {
      {"6340", "2320", 1000, &kNarrowMemoryAsk, true},  // 808 header bytes, 512 kept free
      {"6340", "2319", 1000, &kNarrowMemoryAsk, false},
      {"8530", "65535", 21760, nullptr, true},   {"8530", "65535", 21761, nullptr, false},
      {"9600", "65535", 1000, nullptr, true},    {"9620", "65535", 32760, nullptr, true},
      {"9620", "65535", 32761, nullptr, false},  {"9616", "20000", 20000, &kWideMemoryAsk, true},
      {"9616", "19999", 20000, &kWideMemoryAsk, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + c.memory + " " + std::to_string(c.image));
    SimRunner sim({"--version-code", c.code, "--memory", c.memory});
    Run(sim, TBVLink::kOpWrite, Set({Linear(c.image - 2)}));  // mode 0: entries + 2 bytes
    EXPECT_EQ(Status(), c.written ? "OK" : "Недостаточно памяти БВ!");
    const Log log = sim.Log();
    EXPECT_EQ(c.ask ? Count(log, *c.ask) : Last(log, 2), c.ask ? 1 : -1);
    EXPECT_EQ(Last(log, 3) >= 0, c.written);
    EXPECT_TRUE(c.written || std::max(Last(log, 1), Last(log, 4)) == -1);
  }
}

// A table too rough for packing mode 0 is written in mode 1 when the unit
// takes it; otherwise nothing is prepared or written.
TEST_F(SimSession, ModeOneRetry) {
  PARTAB jump = Linear(80, 0, 20);
  jump[40] = 2000;
  const GROUPTAB rough = Set({jump, Linear(30, 5)}), smooth = Set({Linear(30, 5)});
  const struct {
    Strings options;
    const GROUPTAB& set;
    const char* status;
    int mode;
  } cases[] = {
      {{"9600"}, rough, "OK", 1}, {{"9616", "--memory", "40000"}, rough, "OK", 1},
      {{"9600", "--no-request-8"}, smooth, "OK", 0},
      {{"9600", "--no-request-8"}, rough, "Ошибка сжатия таблиц", 0},
      {{"9600", "--packing-modes", "1"}, rough, "Ошибка сжатия таблиц", 0},
      {{"9600", "--status", "8=254"}, rough, "Инициализация БВ", 0},
      {{"8530"}, rough, "Ошибка сжатия таблиц", 0}, {{"6320"}, rough, "Ошибка сжатия таблиц", 0},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.options.back());
    c.options.insert(c.options.begin(), "--version-code");
    SimRunner sim(c.options);
    Run(sim, TBVLink::kOpWrite, c.set);
    EXPECT_EQ(Status(), c.status);
    const Log log = sim.Log();
    if (Status() != "OK") {
      EXPECT_EQ(std::max(Last(log, 20), Last(log, 3)), -1);
      continue;
    }
    const Bytes& block = log.at(size_t(Last(log, 4))).in;  // the directory block names the mode
    ASSERT_EQ(block.size(), 100u);
    EXPECT_EQ(block[1] | block[2] << 8, c.mode);
    ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
    EXPECT_EQ(session_->Tables, c.set);
  }
}

// The unit's directory is not trusted: what no unit could hold ends the read
// with a link error and no tables, before the image is asked for.
TEST_F(SimSession, ImpossibleDirectoriesEndTheRead) {
  const struct {
    const char* name;
    uint8_t mode;
    std::vector<std::array<int, 3>> records;  // position, stored number, entries
  } cases[] = {
      {"stored number 17", 0, {{0, 17, 10}}},
      {"a stored table that is not there", 0, {{0, 1, 10}, {1, 3, 10}}},
      {"an image over 65535 bytes", 0, {{0, 1, 40000}, {1, 2, 40000}}},
      {"mode word 2", 2, {{0, 1, 10}}},
  };
  const std::string state = ::testing::TempDir() + "/tgx-directory-" + std::to_string(::getpid()) + ".state";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes block(98, 0);  // mode word, then the records
    block[0] = c.mode;
    for (const auto& [p, number, entries] : c.records) {
      uint8_t* r = &block[2 + size_t(p) * kRecordSize];
      r[0] = uint8_t(number), r[1] = uint8_t(number >> 8), r[4] = uint8_t(entries), r[5] = uint8_t(entries >> 8);
    }
    std::string hex;
    for (uint8_t b : block) hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15];
    std::ofstream(state) << "tgx-sim state 1\ndirectory " << hex << "\n";
    SimRunner sim({"--version-code", "8530"}, state);
    EXPECT_FALSE(Run(sim, TBVLink::kOpRead, SixteenTables()));
    EXPECT_EQ(Status(), "Ошибка связи");
    EXPECT_EQ(session_->Tables.Count(), 0);
    EXPECT_EQ(Last(sim.Log(), 3), -1);
  }
  std::remove(state.c_str());
}

// Raising Cancel during a long block, or destroying the worker, ends the
// session within one byte wait.
TEST_F(SimSession, CancelDuringALongBlockEndsWithinOneByteWait) {
  const std::string state = ::testing::TempDir() + "/tgx-cancel-" + std::to_string(::getpid()) + ".state";
  std::remove(state.c_str());
  {
    SimRunner fast({"--version-code", "8530"}, state);
    ASSERT_TRUE(Run(fast, TBVLink::kOpWrite, Set({Linear(20000)}))) << Status();
  }
  for (const bool destroy : {false, true}) {
    // 20,002 bytes at 9600 baud take 23 s; cancel well inside the block.
    SimRunner paced({"--version-code", "8530", "--pace"}, state);
    session_->DevicePath = paced.Path();
    session_->Operation = TBVLink::kOpRead;
    session_->Start();
    const auto deadline = Clock::now() + 5s;
    while (session_->Progress < 2 && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(session_->Finished);
    const auto t0 = Clock::now();
    if (destroy) {
      session_.reset();
    } else {
      session_->Cancel = true;
      session_->WaitFinished();
      EXPECT_EQ(Status(), "Ошибка связи");
      EXPECT_EQ(session_->Tables.Count(), 0);
    }
    EXPECT_LT(MsSince(t0), 60) << destroy;
  }
  std::remove(state.c_str());
}
}  // namespace
