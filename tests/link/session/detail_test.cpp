// What a finished session says beyond its status text, against tgx-sim: the
// result and firmware codes, the bytes, the reason a port did not open, why
// tables did not pack or fit, a directory refused after its image, and the
// backup read taken before a change.

#include <fstream>

#include "SessionRig.h"
#include "link/Portcol.h"

namespace tgxtest {
namespace {
using SessionDetail = SessionRig;

TEST_F(SessionDetail, ResultAndVersionCodesBytesAndTimes) {
  SimRunner refusing({"--version-code", "6320", "--status", "20=4"});
  EXPECT_FALSE(Run(refusing, kOpRead));
  EXPECT_EQ(session_->ResultCode, kStatusUnitFault);

  SimRunner sim({"--version-code", "6320"});
  const auto before = std::chrono::system_clock::now();
  EXPECT_TRUE(Run(sim, kOpWrite, Ramp(40)));
  EXPECT_EQ(session_->ResultCode, kStatusOk);
  EXPECT_EQ(session_->VersionCode, 6320);
  EXPECT_GE(session_->StartedAt, before);
  EXPECT_GE(session_->EndedAt, session_->StartedAt);
  EXPECT_EQ(Detail(), "");
  EXPECT_EQ(session_->BytesExchanged, LineBytes(sim.Log()));
}

// The status text stays "Порт занят"; the detail says why.
TEST_F(SessionDetail, WhyThePortDidNotOpen) {
  SimRunner sim({"--version-code", "6320"});
  const std::string missing = dir_.File("no-such-port");
  const std::string plain = dir_.File("plain-file");
  std::ofstream(plain) << "x";
  PCI holder;
  holder.SetDevicePath(sim.Path());
  ASSERT_EQ(holder.SetLine(0, kUnitLine), PCI::kOpenOk);

  const std::pair<std::string, std::string> cases[] = {  // device, detail
      {missing, "Порт " + missing + " не найден"},
      {plain, "Порт " + plain + " не является последовательным портом"},
      {sim.Path(), "Порт " + sim.Path() + " занят другой программой"},
  };
  for (const auto& [device, detail] : cases) {
    EXPECT_FALSE(Run(device, kOpRead));
    EXPECT_EQ(Status(), "Порт занят") << device;
    EXPECT_EQ(Detail(), detail);
    EXPECT_EQ(session_->ResultCode, kStatusLinkFailure);
  }
}

TEST_F(SessionDetail, PortNamedWithItsDevice) {
  const std::string missing = dir_.File("ttyUSB9");
  ::setenv("TGX_COM3", missing.c_str(), 1);
  session_->Channel.PortIndex = 2;
  EXPECT_FALSE(Run("", kOpRead));
  ::unsetenv("TGX_COM3");
  EXPECT_EQ(Detail(), "Порт COM3 (" + missing + ") не найден");
}

// A second difference of 200 at level 3 of channel 2 does not fit mode 0.
TEST_F(SessionDetail, WhichChannelDoesNotPack) {
  GROUPTAB tables = Ramp(10);
  PARTAB bent(6);
  for (int i = 0; i < 6; ++i) bent[i] = i < 3 ? i : 2 + 201 * (i - 2);
  tables.Add(bent);
  SimRunner sim({"--version-code", "6320"});
  EXPECT_FALSE(Run(sim, kOpWrite, tables));
  EXPECT_EQ(Status(), "Ошибка сжатия таблиц");
  EXPECT_EQ(Detail(), "Канал 2: вторая разность объёмов 200 л на уровне 3 см вне -128..127");
  EXPECT_EQ(FirstParameters(sim.Log(), kModeWrite), -1) << "something was written";
}

TEST_F(SessionDetail, HowManyBytesTheUnitLacks) {
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {  // options, entries, detail
      // 2,002 bytes against 2,000 less the header (774) and the reserve (224).
      {{"--version-code", "6320", "--memory", "2000"}, 2000,
       "Таблицам не хватает 1000 байт памяти БВ (нужно 2002, доступно 1002)"},
      // The 853's fixed limit of 21,760 bytes.
      {{"--version-code", "8530"}, 22000, "Таблицам не хватает 242 байт памяти БВ (нужно 22002, доступно 21760)"},
  };
  for (const auto& [args, entries, detail] : cases) {
    SimRunner sim(args);
    EXPECT_FALSE(Run(sim, kOpWrite, Ramp(entries)));
    EXPECT_EQ(Status(), "Недостаточно памяти БВ!");
    EXPECT_EQ(Detail(), detail);
  }
}

// The unit takes the image, then refuses the header or directory that would
// point into it.
TEST_F(SessionDetail, DirectoryRefusedAfterTheImage) {
  const std::string inconsistent = "Таблицы БВ могут быть несогласованы: запишите таблицы ещё раз.";
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // options, detail
      // Request 1's first data step is the header read, the second its write.
      {{"--version-code", "6320", "--status", "1=4@2"}, inconsistent},
      {{"--version-code", "8530", "--status", "4=4@1"}, inconsistent},
      {{"--version-code", "6320", "--status", "3=4@1"}, ""},  // refused before the image: the unit is as it was
  };
  for (const auto& [args, detail] : cases) {
    SCOPED_TRACE(args[3]);
    SimRunner sim(args);
    EXPECT_FALSE(Run(sim, kOpWrite, Ramp(30)));
    EXPECT_EQ(Status(), "Неисправность БВ!");
    EXPECT_EQ(Detail(), detail);
  }
  // With the old tables read first, the detail says where they are kept.
  SimRunner sim({"--version-code", "8530", "--status", "4=4@2"});
  session_->BackupFirst = true;
  EXPECT_FALSE(Run(sim, kOpWrite, Ramp(30)));
  EXPECT_TRUE(session_->BackupTaken);
  EXPECT_EQ(Detail(), inconsistent + "\nПрежние таблицы БВ прочитаны перед записью: их можно взять из журнала сеансов.");
}

class SessionBackup : public SessionDetail {
 protected:
  void SetUp() override {
    SimRunner sim({"--version-code", "6320"}, state_);
    ASSERT_TRUE(Run(sim, kOpWrite, old_)) << Status();
  }
  const GROUPTAB old_ = Ramp(25, 7);
};

TEST_F(SessionBackup, ReadBeforeTheFirstChange) {
  for (const uint8_t op : {kOpWrite, kOpDelete}) {
    SimRunner sim({"--version-code", "6320"}, state_);
    session_->BackupFirst = true;
    ASSERT_TRUE(Run(sim, op, Ramp(40))) << Status();
    EXPECT_TRUE(session_->BackupTaken);
    EXPECT_EQ(session_->Backup, old_);
    const Log log = sim.Log();
    const int imageRead = FirstParameters(log, kModeRead, 3);
    const int firstWrite = FirstParameters(log, kModeWrite);
    ASSERT_GE(imageRead, 0) << int(op);
    EXPECT_LT(imageRead, firstWrite) << int(op);
    // Put the old tables back for the next operation.
    session_->BackupFirst = false;
    ASSERT_TRUE(Run(sim, kOpWrite, old_));
  }
}

// The backup's image read is refused: nothing is written and the unit keeps
// its tables.
TEST_F(SessionBackup, FailedBackupChangesNothing) {
  {
    SimRunner sim({"--version-code", "6320", "--status", "3=4@1"}, state_);
    session_->BackupFirst = true;
    EXPECT_FALSE(Run(sim, kOpWrite, Ramp(40)));
    EXPECT_EQ(Status(), "Неисправность БВ!");
    EXPECT_FALSE(session_->BackupTaken);
    EXPECT_EQ(FirstParameters(sim.Log(), kModeWrite), -1);
  }
  SimRunner sim({"--version-code", "6320"}, state_);
  session_->BackupFirst = false;
  ASSERT_TRUE(Run(sim, kOpRead));
  EXPECT_EQ(session_->Tables, old_);
}

}  // namespace
}  // namespace tgxtest
