// What a finished session says beyond its status text, against tgx-sim: the
// reason a port did not open, why tables did not pack or fit, a directory
// refused after its image, and the backup read taken before a change.

#include <stdlib.h>

#include <tuple>

#include "SessionRig.h"
#include "link/Portcol.h"

namespace tgxtest {
namespace {
using SessionDetail = SessionRig;

// The status text stays "Порт занят"; the detail says why, naming the port
// by its COM number when the session was given one. The reasons of a failed
// open are the serial line's; here a busy device and a mapped port.
TEST_F(SessionDetail, WhyThePortDidNotOpen) {
  SimRunner sim({"--version-code", "6320"});
  PCI holder;
  holder.SetDevicePath(sim.Path());
  ASSERT_EQ(holder.SetLine(0, kUnitLine), PCI::kOpenOk);
  EXPECT_FALSE(Run(sim.Path(), kOpRead));
  EXPECT_EQ(Status(), "Порт занят");
  EXPECT_EQ(Detail(), "Порт " + sim.Path() + " занят другой программой");

  const std::string missing = dir_.File("ttyUSB9");
  ::setenv("TGX_COM3", missing.c_str(), 1);
  session_->Channel.PortIndex = 2;
  EXPECT_FALSE(Run("", kOpRead));
  ::unsetenv("TGX_COM3");
  EXPECT_EQ(Detail(), "Порт COM3 (" + missing + ") не найден");
}

// Tables that do not pack or fit are refused before anything is written, and
// the detail says why.
TEST_F(SessionDetail, WhyTheTablesWereRefused) {
  GROUPTAB bent = Ramp(10);
  bent.Add(Ramp(6).Table(0));
  for (int i = 3; i < 6; ++i) bent.Table(1)[i] = 2 + 201 * (i - 2);  // a second difference of 200 at level 3
  const std::tuple<Strings, GROUPTAB, std::string> cases[] = {  // options, tables, detail
      {{"--version-code", "6320"}, bent, "Канал 2: вторая разность объёмов 200 л на уровне 3 см вне -128..127"},
      // 2,002 bytes against 2,000 less the header (774) and the reserve (224).
      {{"--version-code", "6320", "--memory", "2000"}, Ramp(2000),
       "Таблицам не хватает 1000 байт памяти БВ (нужно 2002, доступно 1002)"},
  };
  for (const auto& [args, tables, detail] : cases) {
    SimRunner sim(args);
    EXPECT_FALSE(Run(sim.Path(), kOpWrite, tables));
    EXPECT_EQ(Detail(), detail);
    EXPECT_EQ(FirstParameters(sim.Log(), kModeWrite), -1) << "something was written";
  }
}

// The unit takes the image, then refuses the header or directory that would
// point into it; with the old tables read first, the detail says where they are.
TEST_F(SessionDetail, DirectoryRefusedAfterTheImage) {
  const std::string inconsistent = "Таблицы БВ могут быть несогласованы: запишите таблицы ещё раз.";
  const std::tuple<Strings, bool, std::string> cases[] = {  // options, backup first, detail
      // Request 1's first data step is the header read, the second its write.
      {{"--version-code", "6320", "--status", "1=4@2"}, false, inconsistent},
      {{"--version-code", "8530", "--status", "4=4@1"}, false, inconsistent},
      {{"--version-code", "6320", "--status", "3=4@1"}, false, ""},  // refused before the image: nothing changed
      {{"--version-code", "8530", "--status", "4=4@2"}, true,
       inconsistent + "\nПрежние таблицы БВ прочитаны перед записью: их можно взять из журнала сеансов."},
  };
  for (const auto& [args, backup, detail] : cases) {
    SCOPED_TRACE(args[3]);
    session_->BackupFirst = backup;
    EXPECT_FALSE(Run(SimRunner(args).Path(), kOpWrite, Ramp(30)));
    EXPECT_EQ(Status(), "Неисправность БВ!");
    EXPECT_EQ(Detail(), detail);
  }
}

// Before the first change the unit's tables are read (the tgxctl journal test
// restores a write's); when that read is refused nothing is written and the
// unit keeps its tables, which a delete then reads as its backup.
TEST_F(SessionDetail, BackupReadBeforeTheFirstChange) {
  const GROUPTAB old = Ramp(25, 7);
  ASSERT_TRUE(Run(SimRunner({"--version-code", "6320"}, state_).Path(), kOpWrite, old)) << Status();
  session_->BackupFirst = true;
  SimRunner refusing({"--version-code", "6320", "--status", "3=4@1"}, state_);
  EXPECT_FALSE(Run(refusing.Path(), kOpWrite, Ramp(40)));
  EXPECT_FALSE(session_->BackupTaken);
  EXPECT_EQ(FirstParameters(refusing.Log(), kModeWrite), -1);
  ASSERT_TRUE(Run(SimRunner({"--version-code", "6320"}, state_).Path(), kOpDelete)) << Status();
  EXPECT_TRUE(session_->BackupTaken);
  EXPECT_EQ(session_->Backup, old);
}

}  // namespace
}  // namespace tgxtest
