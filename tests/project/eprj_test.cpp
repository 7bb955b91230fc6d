// The project: how each operation moves the modified flag and what the form
// set's limits refuse.

#include <gtest/gtest.h>

#include <string>

#include "model/Cp1251.h"
#include "model/Messages.h"
#include "project/Eprj.h"
#include "support/TempDir.h"

namespace tgxtest {

namespace {
// A project converted from `forms` new forms, titled f0, f1...: unmodified.
EPROJECT ProjectOf(int forms) {
  EPROJECT p, converted;
  p.New();
  for (int k = 1; k < forms; ++k) p.AddNewForm();
  for (int k = 0; k < forms; ++k) p.SetTitle(k, "f" + std::to_string(k));
  converted.ConvertFrom(p);
  return converted;
}

}  // namespace

TEST(Eprj, NewSaveAndLoad) {
  TempDir dir("tgx-prj");
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);
  EPROJECT p;
  p.New();
  EXPECT_EQ(p.Name() + " " + std::to_string(p.FormCount()), "NONAME 1");
  EXPECT_EQ(p.Flags(), EPROJECT::kModified);
  EXPECT_FALSE(p.Save(dir.File("none/x.fs")));
  EXPECT_TRUE(p.Modified());  // a failed save keeps the flag
  const std::string path = dir.File("Резервуар.fs");
  ASSERT_TRUE(p.Save(path));
  EXPECT_FALSE(p.Modified());
  ASSERT_TRUE(p.Load(path));
  EXPECT_EQ(p.Name(), tgx::FromUtf8(path));
  EXPECT_EQ(p.Flags(), EPROJECT::kFromSource);
  WriteBytes(dir.File("x.f2"), "# a\n| 1 2\n| 3 4\n");
  EXPECT_FALSE(p.Load(dir.File("x.f2")));
  EXPECT_EQ(std::to_string(p.FormCount()) + "/" + std::to_string(p.Flags()) + "/" + p.Name(), "0/0/");
}

// What the limits refuse leaves the project as it was; a title set to what
// it was is no edit either.
TEST(Eprj, RefusedOperationsLeaveTheFlagClear) {
  EPROJECT full = ProjectOf(16);
  EXPECT_FALSE(full.InsertGap(0));
  EXPECT_FALSE(full.InsertNewForm(3));
  EXPECT_FALSE(full.AddNewForm());
  full.CopyForm(0);
  EXPECT_FALSE(full.PasteForm(0));
  EXPECT_FALSE(full.Modified());
  EPROJECT one = ProjectOf(1);
  EXPECT_FALSE(one.InsertGap(1));   // past the count
  EXPECT_FALSE(one.DeleteForm(0));  // the last form
  EXPECT_FALSE(one.PasteForm(0));   // nothing copied yet
  one.SetTitle(0, "f0");
  EXPECT_FALSE(one.Modified());
}

TEST(Eprj, ChangesMarkTheProjectModified) {
  EPROJECT p = ProjectOf(2);
  FDATA copy;
  p.CopyFormsTo(copy);
  p.SetForms(copy);  // the same set
  EXPECT_FALSE(p.Modified());
  copy.Form(1).SetVolumeText(1, "2");
  p.SetForms(copy);
  EXPECT_TRUE(p.Modified());
  EPROJECT titled = ProjectOf(2);
  titled.SetTitle(1, "new");  // a title goes into the form file
  EXPECT_TRUE(titled.Modified());
  EPROJECT gap = ProjectOf(1);
  EXPECT_TRUE(gap.InsertGap(0));
  EXPECT_TRUE(gap.IsGap(0));
  EXPECT_TRUE(gap.Modified());
}

// The sample station holds a smooth form, a gap and a form whose table is not
// smooth; a form without its top volume does not convert and blocks the tables.
TEST(Eprj, ControlMarkOfEachKindOfForm) {
  EPROJECT p;
  ASSERT_TRUE(p.Load(std::string(TGX_SOURCE_DIR) + "/examples/station_with_gap.fs"));
  p.Check();
  ASSERT_EQ(p.FormCount(), 3);
  EXPECT_EQ(p.ControlMark(0), "OK ");
  EXPECT_EQ(p.ControlMark(1), "");
  EXPECT_EQ(p.ControlMark(2), "OK*");
  EXPECT_TRUE(p.AllDefinedConvert());
  FDATA forms;
  p.CopyFormsTo(forms);
  forms.Form(2).SetVolumeText(1, "-");
  p.SetForms(forms);
  p.Check();
  EXPECT_EQ(p.ControlMark(2), "-");
  EXPECT_FALSE(p.AllDefinedConvert());
}

}  // namespace tgxtest
