// Sessions against tgx-sim, the simulated unit, on its pseudo-terminal: what
// every firmware family keeps, and what the session asked for as the
// simulator's traffic log shows it.

#include <tuple>

#include "SessionRig.h"
#include "link/drivers/Drv632.h"

namespace tgxtest {
namespace {
using Bytes = std::vector<uint8_t>;

// Sixteen channels with curved tables of several lengths; channel 8 has the
// same tank as channel 4 (one stored table for two channels), channel 11 none.
GROUPTAB SixteenTables() {
  GROUPTAB set;
  for (int k = 0; k < 16; ++k) {
    const int kk = k == 7 ? 3 : k;
    set.Add(PARTAB(k == 10 ? 0 : 100 + 20 * kk));
    for (int h = 0; h < set.Table(k).Count(); ++h) set.Table(k)[h] = h * h / 4 + kk * h;
  }
  return set;
}

// Parameter blocks as the unit receives them: code, count, mode, 0, checksum.
const Bytes kRestart{0x0E, 0, 0, 0, 0, 0}, kNarrowAsk{0x02, 0x02, 0x00, 0x01, 0x00, 0x03},
    kWideAsk{0x02, 0x04, 0x00, 0x01, 0x00, 0x05};

// Index of the last transaction of a request code, -1 without one.
int Last(const Log& log, uint8_t code) {
  const auto hit = std::ranges::find(log.rbegin(), log.rend(), code, &SimRunner::Transaction::Command);
  return int(log.rend() - hit) - 1;
}

// The header as read and as written back in one session: every byte outside
// the records and bit 2 of each flag field comes back as read, and bit 2 says
// whether the channel has a table.
void ExpectHeaderKept(const HeaderGeometry& g, const Log& log, const GROUPTAB& tables) {
  const size_t n = size_t(g.HeaderSize);
  Bytes before, after;
  for (const auto& [in, out] : log) {
    if (in == Bytes{1} && out.size() == n + 2) before.assign(out.begin() + 1, out.end() - 1);
    if (in.size() == n + 2 && in[0] == 1) after.assign(in.begin() + 1, in.end() - 1);
  }
  ASSERT_EQ(std::make_pair(before.size(), after.size()), std::make_pair(n, n));
  for (int i = 0; i < g.HeaderSize; ++i) {
    if (i >= g.RecordsOffset && i < g.RecordsOffset + kRecordsBytes) continue;
    const int p = (i - g.FlagsOffset) / g.FlagWidth;
    const bool flag = i >= g.FlagsOffset && p < 16 && (i - g.FlagsOffset) % g.FlagWidth == 0;
    EXPECT_EQ(before[size_t(i)] | (flag ? 4 : 0), after[size_t(i)] | (flag ? 4 : 0)) << "byte " << i;
    if (flag) {
      const bool stored = p < tables.Count() && tables.Table(p).Count() > 0;
      EXPECT_EQ((after[size_t(i)] & 4) != 0, stored) << "flag of position " << p;
    }
  }
}

using SimSession = SessionRig;

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
    ASSERT_TRUE(Run(sim.Path(), kOpWrite, tables)) << Status();
    EXPECT_EQ(DriverOfVersion(session_->VersionId), driver);
    Log log = sim.Log();
    EXPECT_EQ(Count(log, kRestart), restarts);
    EXPECT_LT(Last(log, 3), Last(log, g ? 1 : 4));  // the image before what points into it
    if (g) ExpectHeaderKept(*g, log, tables);

    sim.MarkLog();
    ASSERT_TRUE(Run(sim.Path(), kOpRead)) << Status();
    EXPECT_EQ(session_->Tables, tables);
    EXPECT_EQ(Count(sim.LogSinceMark(), kRestart), 0);

    sim.MarkLog();
    ASSERT_TRUE(Run(sim.Path(), kOpDelete)) << Status();
    log = sim.LogSinceMark();
    EXPECT_EQ(Count(log, kRestart), restarts);
    EXPECT_EQ(Last(log, 3), -1);
    if (g) ExpectHeaderKept(*g, log, GROUPTAB{});
    ASSERT_TRUE(Run(sim.Path(), kOpRead)) << Status();
    EXPECT_EQ(session_->Tables.Count(), 0);
  }
}

// How a session ends with the firmware found and the unit's statuses; one
// that fails never touches the header or the image. A read waits 500 ms for
// a reply whatever the configured time-out (here 20 s).
TEST_F(SimSession, IdentificationAndStatusesOfTheUnit) {
  constexpr uint8_t R = kOpRead, D = kOpDelete;
  const std::tuple<Strings, uint8_t, uint8_t, const char*> cases[] = {  // options, operation, id, status
      {{"--version-code", "6210"}, R, 4, "OK"},  // answers the probe, never asked its version
      {{"--version-bytes", "6,3,80"}, R, 6, "OK"}, {{"--version-code", "9700"}, R, 33, "OK"},
      {{"--version-code", "7000"}, R, 34, "Версия не поддерживается"},
      {{"--unknown-version"}, R, 0, "Версия не поддерживается"},
      {{"--status", "15=254"}, R, 34, "Ошибка связи"}, {{"--silence-after", "15=0"}, R, 34, "Ошибка связи"},
      {{"--status", "20=254"}, R, 6, "Инициализация БВ"}, {{"--status", "20=4"}, D, 6, "Неисправность БВ!"},
      {{"--version-code", "8530", "--status", "14=4"}, D, 29, "Неисправность БВ!"},
  };
  session_->Channel.ReplyTimeoutMs = 20000;
  for (const auto& [options, operation, id, status] : cases) {
    SCOPED_TRACE(options.back());
    SimRunner sim(options);
    Run(sim.Path(), operation);
    EXPECT_EQ(session_->VersionId, id);
    EXPECT_EQ(Status(), status);
    const Bytes untouched = std::string(status) == "OK" ? Bytes{} : Bytes{1, 3};  // the header and the image
    for (const uint8_t code : untouched) EXPECT_EQ(Last(sim.Log(), code), -1) << int(code);
    EXPECT_LT(session_->LongestWait, 10000);
    EXPECT_GE(session_->LongestWait, options[0] == "--silence-after" ? 450 : 0);
  }
}

// A write checks the memory at exact fit and one byte over before anything is
// written: header units ask their 16-bit memory, "853 " has a fixed limit, the
// 96x units the image cap, and only "96XX" asks, with four bytes. A table too
// rough for packing mode 0 goes in mode 1 where the unit takes it; otherwise
// nothing is prepared or written.
TEST_F(SimSession, WriteLimitsAndPackingModes) {
  GROUPTAB rough = Ramp(80, 0, 20);
  rough.Table(0)[40] = 2000;
  const auto image = [](int bytes) { return Ramp(bytes - 2); };  // mode 0: entries + 2 bytes
  const std::string ok = "OK", full = "Недостаточно памяти БВ!", pack = "Ошибка сжатия таблиц";
  // Options after the version code, tables, status, the memory request seen.
  const std::tuple<Strings, GROUPTAB, std::string, const Bytes*> cases[] = {
      {{"6340", "--memory", "2320"}, image(1000), ok, &kNarrowAsk},  // 808 header bytes, 512 kept free
      {{"6340", "--memory", "2319"}, image(1000), full, &kNarrowAsk},
      {{"8530"}, image(21760), ok, nullptr},  {{"8530"}, image(21761), full, nullptr},
      {{"9620"}, image(32760), ok, nullptr},  {{"9620"}, image(32761), full, nullptr},
      {{"9616", "--memory", "20000"}, image(20000), ok, &kWideAsk},
      {{"9616", "--memory", "19999"}, image(20000), full, &kWideAsk},
      {{"9600"}, rough, ok, nullptr},  {{"9616"}, rough, ok, &kWideAsk},
      {{"9600", "--no-request-8"}, rough, pack, nullptr},
      {{"9600", "--packing-modes", "1"}, rough, pack, nullptr},  {{"8530"}, rough, pack, nullptr},
      {{"9600", "--status", "8=254"}, rough, "Инициализация БВ", nullptr},
  };
  for (auto [options, set, status, ask] : cases) {
    SCOPED_TRACE(options.back() + " " + std::to_string(set.Table(0).Count()));
    options.insert(options.begin(), "--version-code");
    SimRunner sim(options);
    Run(sim.Path(), kOpWrite, set);
    EXPECT_EQ(Status(), status);
    const Log log = sim.Log();
    EXPECT_EQ(Last(log, 2) >= 0, ask != nullptr) << "memory asked";
    EXPECT_EQ(Count(log, ask ? *ask : Bytes{}), ask ? 1 : 0) << "the memory request";
    // Refused: header, image and directory untouched; 96x units are prepared
    // (20) before their memory check, the others after.
    const Bytes untouched = status == ok ? Bytes{} : status == full ? Bytes{1, 3, 4} : Bytes{1, 3, 4, 20};
    for (const uint8_t code : untouched) EXPECT_EQ(Last(log, code), -1) << int(code);
    if (status != ok) continue;
    ASSERT_TRUE(Run(sim.Path(), kOpRead)) << Status();
    EXPECT_EQ(session_->Tables, set);
  }
}

// The unit's directory is not trusted (the rules are the packer's): a stored
// number no unit could hold ends the read with a link error and no tables,
// before the image is asked for.
TEST_F(SimSession, AnImpossibleDirectoryEndsTheRead) {
  // The 98-byte block in hex: mode word, then record 0 (number 17, 0, 10 entries), the rest zeros.
  WriteBytes(state_, "tgx-sim state 1\ndirectory 0000110000000A00" + std::string(180, '0') + "\n");
  SimRunner sim({"--version-code", "8530"}, state_);
  EXPECT_FALSE(Run(sim.Path(), kOpRead, SixteenTables()));
  EXPECT_EQ(Status(), "Ошибка связи");
  EXPECT_EQ(session_->Tables.Count(), 0);
  EXPECT_EQ(Last(sim.Log(), 3), -1);
}

}  // namespace
}  // namespace tgxtest
