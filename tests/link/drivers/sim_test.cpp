// Sessions against tgx-sim, the simulated unit: every firmware family keeps
// what was written, and the simulator's traffic log shows what the session
// asked for.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "link/Arjvol.h"
#include "link/Bvlink.h"
#include "link/drivers/Drv632.h"
#include "model/Cp1251.h"
#include "support/SimRunner.h"

namespace {
using tgxtest::SimRunner;
using Log = std::vector<SimRunner::Transaction>;

// Sixteen tank tables as a calibration gives them: horizontal cylinders of
// several sizes, one table repeated, one channel without a tank.
GROUPTAB RealisticTables() {
  GROUPTAB set;
  for (int k = 0; k < 16; ++k) {
    if (k == 10) {
      set.AddEmpty();
      continue;
    }
    const int kk = k == 7 ? 3 : k;  // channel 8 has the same tank as channel 4
    const double r = 80 + 8 * kk;    // radius, cm
    const double len = 400 + 25 * kk;  // length, cm
    const int n = static_cast<int>(2 * r) + 1;
    PARTAB t(n);
    for (int h = 0; h < n; ++h) {
      const double d = r - h;
      const double area = r * r * std::acos(d / r) - d * std::sqrt(std::max(0.0, 2 * r * h - double(h) * h));
      t[h] = static_cast<int32_t>(area * len / 1000.0);
    }
    set.Add(t);
  }
  return set;
}

PARTAB Linear(int n, int start, int step) {
  PARTAB t(n);
  for (int i = 0; i < n; ++i) t[i] = start + i * step;
  return t;
}

class SimSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { session_ = std::make_unique<TBVLink>(false); }

  bool Run(const SimRunner& sim, uint8_t operation) {
    session_->DevicePath = sim.Path();
    session_->Channel.ReplyTimeoutMs = 1000;
    session_->Operation = operation;
    session_->Start();
    session_->WaitFinished();
    return session_->Succeeded;
  }
  std::string Status() const { return session_->StatusText; }

  std::unique_ptr<TBVLink> session_;
};

std::string Dump(const Log& log) {
  std::string s;
  for (const auto& t : log) {
    s += ">";
    for (uint8_t b : t.in) s += " " + std::to_string(b);
    s += " <";
    for (uint8_t b : t.out) s += " " + std::to_string(b);
    s += "\n";
  }
  return s;
}

// Transactions of a code, in order.
Log OfCode(const Log& log, uint8_t code) {
  Log out;
  for (const auto& t : log)
    if (t.Command() == code) out.push_back(t);
  return out;
}

// The restart after a change is the handshaked 14 with its empty parameter block.
int Restarts(const Log& log) {
  int n = 0;
  for (const auto& t : log)
    if (t.in == std::vector<uint8_t>{0x0E, 0, 0, 0, 0, 0}) ++n;
  return n;
}

// The header as read (status, header, checksum) and as written (command,
// header, checksum), from one session's log.
std::vector<uint8_t> HeaderRead(const Log& log, int size) {
  for (const auto& t : log)
    if (t.Command() == 1 && t.in.size() == 1 && static_cast<int>(t.out.size()) == size + 2)
      return std::vector<uint8_t>(t.out.begin() + 1, t.out.end() - 1);
  return {};
}
std::vector<uint8_t> HeaderWritten(const Log& log, int size) {
  for (const auto& t : log)
    if (t.Command() == 1 && static_cast<int>(t.in.size()) == size + 2)
      return std::vector<uint8_t>(t.in.begin() + 1, t.in.end() - 1);
  return {};
}

// Every byte outside the records and bit 2 of the flag fields came back as read.
void ExpectForeignBytesKept(const HeaderGeometry& g, const std::vector<uint8_t>& before,
                            const std::vector<uint8_t>& after) {
  ASSERT_EQ(static_cast<int>(before.size()), g.HeaderSize);
  ASSERT_EQ(static_cast<int>(after.size()), g.HeaderSize);
  for (int i = 0; i < g.HeaderSize; ++i) {
    if (i >= g.RecordsOffset && i < g.RecordsOffset + kRecordsBytes) continue;
    const bool flagLow = i >= g.FlagsOffset && i < g.FlagsOffset + 16 * g.FlagWidth && (i - g.FlagsOffset) % g.FlagWidth == 0;
    const uint8_t mask = flagLow ? 0xFB : 0xFF;
    EXPECT_EQ(before[static_cast<size_t>(i)] & mask, after[static_cast<size_t>(i)] & mask) << "byte " << i;
  }
}

TEST_F(SimSessionTest, EveryFirmwareFamilyKeepsWhatWasWritten) {
  const struct {
    int code;
    uint8_t driver;
  } units[] = {
      {6210, 2}, {6320, 3}, {6340, 4}, {6343, 5}, {6363, 6},  {6410, 7},  {8430, 8},
      {8510, 9}, {8520, 10}, {8530, 11}, {9600, 12}, {9620, 13}, {9616, 14}, {9700, 14},
  };
  const GROUPTAB tables = RealisticTables();
  for (const auto& u : units) {
    SCOPED_TRACE(u.code);
    SimRunner sim({"--version-code", std::to_string(u.code), "--memory", "65535"});
    const bool restarts = VersionIdOfCode(u.code == 6210 ? 6210 : u.code) >= 10 && u.code != 6210;
    const HeaderGeometry* g = HeaderGeometryOf(u.driver);

    session_->Tables = tables;
    ASSERT_TRUE(Run(sim, TBVLink::kOpWrite)) << Status();
    EXPECT_EQ(DriverOfVersion(session_->VersionId), u.driver);
    Log log = sim.Log();
    EXPECT_EQ(Restarts(log), restarts ? 1 : 0);
    if (g) ExpectForeignBytesKept(*g, HeaderRead(log, g->HeaderSize), HeaderWritten(log, g->HeaderSize));

    session_->Tables.Clear();
    sim.MarkLog();
    ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
    EXPECT_EQ(session_->Tables, tables);
    EXPECT_EQ(Restarts(sim.LogSinceMark()), 0);

    sim.MarkLog();
    ASSERT_TRUE(Run(sim, TBVLink::kOpDelete)) << Status();
    log = sim.LogSinceMark();
    EXPECT_EQ(Restarts(log), restarts ? 1 : 0);
    if (g) ExpectForeignBytesKept(*g, HeaderRead(log, g->HeaderSize), HeaderWritten(log, g->HeaderSize));
    EXPECT_TRUE(OfCode(log, 3).empty());

    ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
    EXPECT_EQ(session_->Tables.Count(), 0);
  }
}

TEST_F(SimSessionTest, MemoryCheckAtExactFitAndOneByteOver) {
  GROUPTAB set;
  set.Add(Linear(300, 0, 7));
  TArjTab arj(0);
  arj.Pack(set);
  const int fit = 808 + 512 + arj.Size();  // a "634 " unit
  for (int memory : {fit, fit - 1}) {
    SCOPED_TRACE(memory);
    SimRunner sim({"--version-code", "6340", "--memory", std::to_string(memory)});
    session_->Tables = set;
    Run(sim, TBVLink::kOpWrite);
    const Log log = sim.Log();
    if (memory == fit) {
      EXPECT_EQ(Status(), "OK");
      EXPECT_FALSE(OfCode(log, 3).empty());
    } else {
      EXPECT_EQ(Status(), tgx::FromUtf8("Недостаточно памяти БВ!"));
      EXPECT_TRUE(OfCode(log, 3).empty());
      EXPECT_TRUE(OfCode(log, 1).empty());
      EXPECT_TRUE(OfCode(log, 20).empty());
    }
  }
}

TEST_F(SimSessionTest, CompactLimits) {
  const struct {
    const char* code;
    int image;
    bool written;
  } cases[] = {{"8530", 21760, true}, {"8530", 21761, false}, {"9620", 32760, true}, {"9620", 40000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + std::to_string(c.image));
    SimRunner sim({"--version-code", c.code});
    session_->Tables.Clear();
    session_->Tables.Add(Linear(c.image - 2, 0, 1));
    Run(sim, TBVLink::kOpWrite);
    EXPECT_EQ(Status(), c.written ? "OK" : tgx::FromUtf8("Недостаточно памяти БВ!"));
    EXPECT_EQ(OfCode(sim.Log(), 3).empty(), !c.written);
  }
}

// Only the open-ended "96XX" asks its memory, and with four bytes.
TEST_F(SimSessionTest, OnlyTheOpenEndedUnitAsksItsMemory) {
  const std::vector<uint8_t> fourByteRead{0x02, 0x04, 0x00, 0x01, 0x00, 0x05};
  for (const char* code : {"9600", "9620", "9616", "9650"}) {
    SCOPED_TRACE(code);
    SimRunner sim({"--version-code", code, "--memory", "60000"});
    session_->Tables = RealisticTables();
    ASSERT_TRUE(Run(sim, TBVLink::kOpWrite)) << Status();
    const Log requests2 = OfCode(sim.Log(), 2);
    const bool openEnded = std::string(code) == "9616" || std::string(code) == "9650";
    if (openEnded) {
      ASSERT_EQ(requests2.size(), 4u);
      EXPECT_EQ(requests2[2].in, fourByteRead);
    } else {
      EXPECT_TRUE(requests2.empty());
    }
  }
}

TEST_F(SimSessionTest, RoughTablesTakeModeOneWhenTheUnitAcceptsIt) {
  GROUPTAB rough;
  PARTAB t = Linear(80, 0, 20);
  t[40] = 2000;
  rough.Add(t);
  rough.Add(Linear(30, 5, 1));
  const struct {
    std::vector<std::string> options;
    const char* status;
  } cases[] = {
      {{"--version-code", "9600"}, "OK"},
      {{"--version-code", "9616", "--memory", "40000"}, "OK"},
      {{"--version-code", "9600", "--packing-modes", "1"}, "Ошибка сжатия таблиц"},
      {{"--version-code", "9620", "--status", "8=12"}, "Ошибка сжатия таблиц"},
      {{"--version-code", "9600", "--no-request-8"}, "Ошибка сжатия таблиц"},
      {{"--version-code", "8530"}, "Ошибка сжатия таблиц"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[1] + (c.options.size() > 2 ? " " + c.options[2] : ""));
    SimRunner sim(c.options);
    session_->Tables = rough;
    Run(sim, TBVLink::kOpWrite);
    EXPECT_EQ(Status(), tgx::FromUtf8(c.status)) << Dump(sim.Log());
    const Log writes4 = OfCode(sim.Log(), 4);
    if (std::string(c.status) == "OK") {
      // The directory block names mode 1 and the read unpacks 16-bit steps.
      ASSERT_FALSE(writes4.empty());
      const auto& block = writes4.back().in;
      ASSERT_EQ(block.size(), 100u);
      EXPECT_EQ(block[1], 1);
      EXPECT_EQ(block[2], 0);
      session_->Tables.Clear();
      ASSERT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
      EXPECT_EQ(session_->Tables, rough);
    } else {
      EXPECT_TRUE(OfCode(sim.Log(), 3).empty());
    }
  }
}

TEST_F(SimSessionTest, StatusOfTheUnitOnPreparation) {
  const struct {
    const char* rule;
    const char* text;
  } cases[] = {{"20=254", "Инициализация БВ"}, {"20=4", "Неисправность БВ!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    SimRunner sim({"--version-code", "6320", "--status", c.rule});
    EXPECT_FALSE(Run(sim, TBVLink::kOpRead));
    EXPECT_EQ(Status(), tgx::FromUtf8(c.text));
    EXPECT_TRUE(OfCode(sim.Log(), 1).empty());
  }
}

TEST_F(SimSessionTest, PortHeldByAnotherOpenerIsBusyWithoutTraffic) {
  SimRunner sim({"--version-code", "6320"});
  UKEDR_DRV panel;
  ASSERT_TRUE(panel.OpenDevice(sim.Path(), 500));
  EXPECT_FALSE(Run(sim, TBVLink::kOpRead));
  EXPECT_EQ(Status(), tgx::FromUtf8("Порт занят"));
  panel.CloseLink();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(sim.Log().empty());
  // Released, the port serves the next session.
  EXPECT_TRUE(Run(sim, TBVLink::kOpRead)) << Status();
}

TEST_F(SimSessionTest, CancelDuringALongPacedBlock) {
  const std::string state = ::testing::TempDir() + "/tgx-cancel.state";
  std::remove(state.c_str());
  {
    SimRunner fast({"--version-code", "8530"}, state);
    session_->Tables.Clear();
    session_->Tables.Add(Linear(20000, 0, 1));
    ASSERT_TRUE(Run(fast, TBVLink::kOpWrite)) << Status();
  }
  SimRunner paced({"--version-code", "8530", "--pace"}, state);
  session_->DevicePath = paced.Path();
  session_->Operation = TBVLink::kOpRead;
  session_->Start();
  // 20,002 bytes at 9600 baud take 23 s; cancel well inside the block.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (session_->Progress < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(session_->Finished);
  const auto t0 = std::chrono::steady_clock::now();
  session_->Cancel = true;
  session_->WaitFinished();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 60);
  EXPECT_EQ(Status(), tgx::FromUtf8("Ошибка связи"));
  EXPECT_EQ(session_->Tables.Count(), 0);
  std::remove(state.c_str());
}
}  // namespace
