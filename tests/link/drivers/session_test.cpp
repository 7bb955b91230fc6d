// Sessions against a scripted unit on a pseudo-terminal: every byte the
// session sends is checked as it arrives, so the order of requests, their
// parameter blocks and the blocks written are all asserted exactly.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "link/Arjvol.h"
#include "link/Bvlink.h"
#include "link/drivers/Drv632.h"
#include "model/Cp1251.h"
#include "support/PtyPeer.h"

namespace {
using tgxtest::Bytes;
using tgxtest::PtyPeer;
using tgxtest::Xor;

// The three version bytes a unit reports for a 4-digit code.
Bytes VersionBytes(int code) {
  int c = code % 100;
  if (c % 10 == 0) c /= 10;
  return {static_cast<uint8_t>(code / 1000), static_cast<uint8_t>(code / 100 % 10), static_cast<uint8_t>(c)};
}

Bytes WithChecksum(Bytes b) {
  if (b.size() > 2) b.push_back(Xor(b));
  return b;
}

// ------------------------------------------------------------ unit scripts
void Identify(PtyPeer& p, int code) { p.AnswerCommand(0x0F, 12).AnswerRead(0x07, VersionBytes(code)); }

void Parameters(PtyPeer& p, uint8_t code, int n, int mode) {
  p.AnswerHandshake(code);
  p.Expect({code}).Send({0}).Expect(WithChecksum({static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8),
                                                  static_cast<uint8_t>(mode), 0}));
  p.Send({0});
}

void TransferRead(PtyPeer& p, uint8_t code, const Bytes& data) {
  Parameters(p, code, static_cast<int>(data.size()), 1);
  p.AnswerRead(code, data);
}

void TransferWrite(PtyPeer& p, uint8_t code, const Bytes& expected, uint8_t ack = 0) {
  Parameters(p, code, static_cast<int>(expected.size()), 2);
  p.Expect({code}).Send({0}).Expect(WithChecksum(expected)).Send({ack});
}

void TransferCommand(PtyPeer& p, uint8_t code, uint8_t status) {
  Parameters(p, code, 0, 0);
  p.AnswerCommand(code, status);
}

void Prepare(PtyPeer& p, uint8_t status = 0) {
  if (status == 0) p.AnswerRead(20, {0x5A});
  else p.AnswerCommand(20, status);
}

// A header whose every byte is distinct from what the program writes, so that
// any byte it should not touch is seen to survive.
Bytes PatternHeader(int size) {
  Bytes h(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i) h[static_cast<size_t>(i)] = static_cast<uint8_t>(0xA1 + i * 7);
  return h;
}

PARTAB Linear(int n, int start, int step) {
  PARTAB t(n);
  for (int i = 0; i < n; ++i) t[i] = start + i * step;
  return t;
}

const std::string kLinkError = tgx::FromUtf8("Ошибка связи");

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { session_ = std::make_unique<TBVLink>(true); }

  void Run(PtyPeer& peer, uint8_t operation, int replyTimeoutMs = 400) {
    session_->DevicePath = peer.SlavePath();
    session_->Channel.ReplyTimeoutMs = replyTimeoutMs;
    session_->Operation = operation;
    peer.Start();
    session_->Start();
    session_->WaitFinished();
  }
  std::string Status() const { return session_->StatusText; }

  std::unique_ptr<TBVLink> session_;
};

// ------------------------------------------------------------ identification
TEST_F(SessionTest, IdentificationPicksTheFirmware) {
  const uint8_t kNoSuchOperation = 9;  // stops right after identification, without traffic
  const struct {
    const char* name;
    std::function<void(PtyPeer&)> unit;
    uint8_t id;
    const char* status;
  } cases[] = {
      {"621a answers the probe", [](PtyPeer& p) { p.AnswerCommand(0x0F, 0).AnswerCommand(0x0E, 0); }, 4,
       "Ошибка связи"},
      {"6380 reads as 632", [](PtyPeer& p) { p.AnswerCommand(0x0F, 12).AnswerRead(0x07, {6, 3, 80}); }, 6,
       "Ошибка связи"},
      {"9000 is an 853", [](PtyPeer& p) { Identify(p, 9000); }, 29, "Ошибка связи"},
      {"9612 is a 960", [](PtyPeer& p) { Identify(p, 9612); }, 30, "Ошибка связи"},
      {"9616 is the first 96XX", [](PtyPeer& p) { Identify(p, 9616); }, 31, "Ошибка связи"},
      {"9623 is a 962", [](PtyPeer& p) { Identify(p, 9623); }, 32, "Ошибка связи"},
      {"9700 is open-ended", [](PtyPeer& p) { Identify(p, 9700); }, 33, "Ошибка связи"},
      {"7000 is unknown", [](PtyPeer& p) { Identify(p, 7000); }, 34, "Версия не поддерживается"},
      {"a unit that does not know its version",
       [](PtyPeer& p) { p.AnswerCommand(0x0F, 12).AnswerCommand(0x07, 12); }, 0, "Версия не поддерживается"},
      {"a busy unit", [](PtyPeer& p) { p.AnswerCommand(0x0F, 254); }, 34, "Ошибка связи"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPeer peer;
    c.unit(peer);
    Run(peer, kNoSuchOperation);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(session_->VersionId, c.id);
    EXPECT_EQ(Status(), tgx::FromUtf8(c.status));
    EXPECT_FALSE(session_->Succeeded);
  }
}

TEST_F(SessionTest, SilentUnitIsALinkErrorAfterOneReplyTimeout) {
  PtyPeer peer;
  peer.Expect({0x0F});
  const auto t0 = std::chrono::steady_clock::now();
  Run(peer, TBVLink::kOpRead);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), kLinkError);
  EXPECT_EQ(session_->VersionId, 34);
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 1500);
  EXPECT_GE(session_->LongestWait, 450);
  // The probe's log segment: its wait, the byte sent, nothing received.
  EXPECT_EQ(session_->SessionLog.substr(0, 1), "#");
  EXPECT_NE(session_->SessionLog.find(" > F  <"), std::string::npos) << session_->SessionLog;
}

// ------------------------------------------------------------ reads
// The pattern header of a geometry with the given 96 record bytes in place.
Bytes HeaderWith(const HeaderGeometry& g, const DirectoryRecords& records) {
  Bytes h = PatternHeader(g.HeaderSize);
  std::copy(records.begin(), records.end(), h.begin() + g.RecordsOffset);
  return h;
}

DirectoryRecords RecordsOf(const TableDirectory& d) {
  DirectoryRecords r{};
  DirectoryToRecords(d, r.data());
  return r;
}

TEST_F(SessionTest, EmptyDirectoryReadTakesTwoRequests) {
  PtyPeer peer;
  Identify(peer, 6320);
  Prepare(peer);
  TransferRead(peer, 1, HeaderWith(*HeaderGeometryOf(3), DirectoryRecords{}));
  session_->Tables.Add(Linear(5, 0, 1));  // whatever was there goes
  Run(peer, TBVLink::kOpRead);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), "OK");
  EXPECT_TRUE(session_->Succeeded);
  EXPECT_EQ(session_->Tables.Count(), 0);
}

TEST_F(SessionTest, HeaderReadUnpacksTheImage) {
  GROUPTAB set;
  set.AddEmpty();
  set.Add(Linear(30, 100, 12));
  set.Add(Linear(30, 100, 12));
  set.Add(Linear(9, -5, 3));
  TArjTab arj(0);
  arj.Pack(set);
  const HeaderGeometry& g = *HeaderGeometryOf(8);  // 843: records deep in a 2070-byte header
  PtyPeer peer;
  Identify(peer, 8431);
  Prepare(peer);
  TransferRead(peer, 1, HeaderWith(g, RecordsOf(arj.Directory)));
  TransferRead(peer, 3, Bytes(arj.Bytes(), arj.Bytes() + arj.Size()));
  Run(peer, TBVLink::kOpRead);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), "OK");
  EXPECT_EQ(session_->Tables, set);
}

// The unit's directory is not trusted: whatever it says that no unit could
// hold ends the read with a link error, no tables, and no image request.
TEST_F(SessionTest, ImpossibleDirectoriesEndTheReadWithoutAnImageRequest) {
  auto records = [](std::initializer_list<std::array<uint16_t, 3>> list) {
    DirectoryRecords r{};
    int p = 0;
    for (const auto& rec : list) {
      for (int k = 0; k < 3; ++k) {
        r[static_cast<size_t>(p * 6 + k * 2)] = static_cast<uint8_t>(rec[static_cast<size_t>(k)] & 0xFF);
        r[static_cast<size_t>(p * 6 + k * 2 + 1)] = static_cast<uint8_t>(rec[static_cast<size_t>(k)] >> 8);
      }
      ++p;
    }
    return r;
  };
  const struct {
    const char* name;
    DirectoryRecords records;
  } cases[] = {
      {"stored number 17", records({{17, 0, 10}})},
      {"a stored table that is not there", records({{1, 0, 10}, {3, 0, 10}})},
      {"an image over 65535 bytes", records({{1, 0, 40000}, {2, 0, 40000}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPeer peer;
    Identify(peer, 6320);
    Prepare(peer);
    TransferRead(peer, 1, HeaderWith(*HeaderGeometryOf(3), c.records));
    session_->Tables.Add(Linear(5, 0, 1));
    Run(peer, TBVLink::kOpRead);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), kLinkError);
    EXPECT_EQ(session_->Tables.Count(), 0);
  }
  // A compact directory with a mode word the packer does not know.
  PtyPeer peer;
  Identify(peer, 8530);
  Bytes block(98, 0);
  block[0] = 2;
  block[2] = 1, block[6] = 10;
  TransferRead(peer, 4, block);
  Run(peer, TBVLink::kOpRead);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), kLinkError);
  EXPECT_EQ(session_->Tables.Count(), 0);
}

TEST_F(SessionTest, StatusOfThePreparationEndsTheSession) {
  const struct {
    uint8_t status;
    const char* text;
  } cases[] = {{254, "Инициализация БВ"}, {4, "Неисправность БВ!"}, {12, "Ошибка связи"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    PtyPeer peer;
    Identify(peer, 6343);
    Prepare(peer, c.status);
    Run(peer, TBVLink::kOpDelete);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), tgx::FromUtf8(c.text));
    EXPECT_FALSE(session_->Succeeded);
  }
}

// ------------------------------------------------------------ writes
// A firmware code of each header driver, and whether it restarts after changes.
struct HeaderUnit {
  uint8_t driver;
  int code;  // 0: the 621a, found by its answer to the probe
  bool restarts;
};
constexpr HeaderUnit kHeaderUnits[] = {
    {2, 0, false},    {3, 6320, false}, {4, 6340, false}, {5, 6343, true}, {6, 6363, true},
    {7, 6410, true},  {8, 8430, true},  {9, 8510, true},  {10, 8520, true},
};

void IdentifyUnit(PtyPeer& p, const HeaderUnit& u) {
  if (u.code == 0) p.AnswerCommand(0x0F, 0).AnswerCommand(0x0E, 0);
  else Identify(p, u.code);
}

Bytes Le16(int v) { return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)}; }

TEST_F(SessionTest, HeaderWriteSendsTheImageBeforeTheHeaderAndKeepsForeignBytes) {
  GROUPTAB set;
  set.Add(Linear(40, 0, 25));
  set.AddEmpty();
  set.Add(Linear(12, 7, 1));
  set.Add(Linear(40, 0, 25));
  TArjTab arj(0);
  arj.Pack(set);
  const Bytes image(arj.Bytes(), arj.Bytes() + arj.Size());

  for (const HeaderUnit& u : kHeaderUnits) {
    const HeaderGeometry& g = *HeaderGeometryOf(u.driver);
    SCOPED_TRACE(g.Name);
    // The old header claims tables at every position, so clearing shows too.
    const Bytes old = HeaderWith(g, DirectoryRecords{});
    Bytes expected = old;
    const DirectoryRecords recs = RecordsOf(arj.Directory);
    std::copy(recs.begin(), recs.end(), expected.begin() + g.RecordsOffset);
    for (int p = 0; p < 16; ++p) {
      uint8_t& flag = expected[static_cast<size_t>(g.FlagsOffset + p * g.FlagWidth)];
      flag = static_cast<uint8_t>(arj.Directory.Slots[static_cast<size_t>(p)] ? (flag | 4) : (flag & ~4));
    }
    PtyPeer peer;
    IdentifyUnit(peer, u);
    TransferRead(peer, 2, Le16(0xFFFF));
    Prepare(peer);
    TransferRead(peer, 1, old);
    TransferWrite(peer, 3, image);
    TransferWrite(peer, 1, expected);
    if (u.restarts) TransferCommand(peer, 14, 0);
    session_->Tables = set;
    Run(peer, TBVLink::kOpWrite);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), "OK");
    EXPECT_TRUE(session_->Succeeded);
  }
}

TEST_F(SessionTest, HeaderDeleteClearsOnlyTheStoredBitAndTheRecords) {
  for (const HeaderUnit& u : kHeaderUnits) {
    const HeaderGeometry& g = *HeaderGeometryOf(u.driver);
    SCOPED_TRACE(g.Name);
    DirectoryRecords recs{};
    recs.fill(0x33);
    const Bytes old = HeaderWith(g, recs);
    Bytes expected = old;
    std::fill(expected.begin() + g.RecordsOffset, expected.begin() + g.RecordsOffset + 96, 0);
    for (int p = 0; p < 16; ++p) expected[static_cast<size_t>(g.FlagsOffset + p * g.FlagWidth)] &= 0xFB;
    PtyPeer peer;
    IdentifyUnit(peer, u);
    Prepare(peer);
    TransferRead(peer, 1, old);
    TransferWrite(peer, 1, expected);
    if (u.restarts) TransferCommand(peer, 14, 0);
    Run(peer, TBVLink::kOpDelete);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), "OK");
  }
}

TEST_F(SessionTest, WritesThatCannotBePackedAskNothing) {
  GROUPTAB set;
  PARTAB rough = Linear(10, 0, 1);
  rough[5] = 300;  // a second difference far beyond one byte
  set.Add(rough);
  PtyPeer peer;
  Identify(peer, 6320);
  session_->Tables = set;
  Run(peer, TBVLink::kOpWrite);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), tgx::FromUtf8("Ошибка сжатия таблиц"));
}

TEST_F(SessionTest, EmptySetWritesTheHeaderWithoutAnImage) {
  PtyPeer peer;
  Identify(peer, 6340);
  TransferRead(peer, 2, Le16(2000));
  Prepare(peer);
  DirectoryRecords recs{};
  recs.fill(0x11);
  const HeaderGeometry& g = *HeaderGeometryOf(4);
  const Bytes old = HeaderWith(g, recs);
  Bytes expected = old;
  std::fill(expected.begin() + g.RecordsOffset, expected.begin() + g.RecordsOffset + 96, 0);
  for (int p = 0; p < 16; ++p) expected[static_cast<size_t>(g.FlagsOffset + 2 * p)] &= 0xFB;
  TransferRead(peer, 1, old);
  TransferWrite(peer, 1, expected);
  Run(peer, TBVLink::kOpWrite);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), "OK");
}

// ------------------------------------------------------------ compact units
TEST_F(SessionTest, CompactDeleteWritesZerosThenRestarts) {
  PtyPeer peer;
  Identify(peer, 8530);
  Prepare(peer);
  TransferWrite(peer, 4, Bytes(98, 0));
  TransferCommand(peer, 14, 0);
  Run(peer, TBVLink::kOpDelete);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), "OK");
}

TEST_F(SessionTest, RestartStatusDecidesTheSession) {
  PtyPeer peer;
  Identify(peer, 8530);
  Prepare(peer);
  TransferWrite(peer, 4, Bytes(98, 0));
  TransferCommand(peer, 14, 4);
  Run(peer, TBVLink::kOpDelete);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), tgx::FromUtf8("Неисправность БВ!"));
}

TEST_F(SessionTest, CompactReadNeverRestarts) {
  PtyPeer peer;
  Identify(peer, 9620);
  TransferRead(peer, 4, Bytes(98, 0));
  Run(peer, TBVLink::kOpRead);
  EXPECT_TRUE(peer.Finish()) << peer.Errors();
  EXPECT_EQ(Status(), "OK");
  EXPECT_EQ(session_->Tables.Count(), 0);
}

Bytes CompactBlock(const TArjTab& arj) {
  Bytes b = Le16(arj.Mode);
  const DirectoryRecords r = RecordsOf(arj.Directory);
  b.insert(b.end(), r.begin(), r.end());
  return b;
}

Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes ImageOf(const TArjTab& arj) { return Bytes(arj.Bytes(), arj.Bytes() + arj.Size()); }

// 96x units: packing modes first; a table too rough for mode 0 is retried in
// mode 1 only when the unit takes it; "96XX" asks its memory with four bytes
// (again for the retry), "960 " never asks.
TEST_F(SessionTest, NinetySixWritesAndTheModeOneRetry) {
  GROUPTAB rough;
  PARTAB t = Linear(50, 0, 10);
  t[20] = 600;
  rough.Add(t);
  TArjTab rough1(1);
  rough1.Pack(rough);
  ASSERT_EQ(rough1.Errors, 0);
  GROUPTAB smooth;
  smooth.Add(Linear(50, 0, 10));
  TArjTab smooth0(0);
  smooth0.Pack(smooth);

  auto noRequest8 = [](PtyPeer& p) {
    Parameters(p, 8, 2, 1);
    p.AnswerCommand(8, 12);
  };
  const struct {
    const char* name;
    int code;
    const GROUPTAB* set;
    std::function<void(PtyPeer&)> unit;  // after identification
    const char* status;
  } cases[] = {
      {"960 retries in mode 1", 9600, &rough,
       [&](PtyPeer& p) {
         TransferRead(p, 8, Le16(2));
         Prepare(p);
         TransferWrite(p, 3, ImageOf(rough1));
         TransferWrite(p, 4, CompactBlock(rough1));
         TransferCommand(p, 14, 0);
       },
       "OK"},
      {"96XX asks its memory for the retry", 9616, &rough,
       [&](PtyPeer& p) {
         TransferRead(p, 8, Le16(2));
         Prepare(p);
         TransferRead(p, 2, Le32(40000));
         TransferWrite(p, 3, ImageOf(rough1));
         TransferWrite(p, 4, CompactBlock(rough1));
         TransferCommand(p, 14, 0);
       },
       "OK"},
      {"mode 0 only", 9620, &rough, [&](PtyPeer& p) { TransferRead(p, 8, Le16(1)); }, "Ошибка сжатия таблиц"},
      {"no request 8: mode 0 only", 9620, &rough, noRequest8, "Ошибка сжатия таблиц"},
      {"no request 8, smooth tables", 9700, &smooth,
       [&](PtyPeer& p) {
         noRequest8(p);
         Prepare(p);
         TransferRead(p, 2, Le32(1000));
         TransferWrite(p, 3, ImageOf(smooth0));
         TransferWrite(p, 4, CompactBlock(smooth0));
         TransferCommand(p, 14, 0);
       },
       "OK"},
      {"96XX with too little memory", 9616, &smooth,
       [&](PtyPeer& p) {
         TransferRead(p, 8, Le16(2));
         Prepare(p);
         TransferRead(p, 2, Le32(static_cast<uint32_t>(smooth0.Size() - 1)));
       },
       "Недостаточно памяти БВ!"},
      {"request 8 refused otherwise", 9600, &smooth,
       [&](PtyPeer& p) {
         Parameters(p, 8, 2, 1);
         p.AnswerCommand(8, 254);
       },
       "Инициализация БВ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPeer peer;
    Identify(peer, c.code);
    c.unit(peer);
    session_->Tables = *c.set;
    Run(peer, TBVLink::kOpWrite);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), tgx::FromUtf8(c.status));
  }
}

// ------------------------------------------------------------ the worker
// The worker runs one session per Start and keeps waiting in between; its
// destruction while a session runs ends it within the byte wait under way.
TEST_F(SessionTest, OneSessionPerStartAndPromptDestruction) {
  for (int round = 0; round < 3; ++round) {
    PtyPeer peer;
    Identify(peer, 8530);
    TransferRead(peer, 4, Bytes(98, 0));
    Run(peer, TBVLink::kOpRead);
    EXPECT_TRUE(peer.Finish()) << peer.Errors();
    EXPECT_EQ(Status(), "OK");
    EXPECT_TRUE(session_->Finished);
  }
  PtyPeer silent;
  silent.Expect({0x0F}, 2000);
  session_->DevicePath = silent.SlavePath();
  session_->Channel.ReplyTimeoutMs = 800;
  session_->Operation = TBVLink::kOpDelete;
  silent.Start();
  session_->Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto t0 = std::chrono::steady_clock::now();
  session_.reset();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 800 + 200);
}
}  // namespace
