// The project: how each operation moves the modified flag and what the form
// set's limits refuse.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/Cp1251.h"
#include "project/Eprj.h"
#include "model/Messages.h"

namespace tgxtest {
namespace fs = std::filesystem;

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

std::string Titles(const EPROJECT& p) {
  std::string s;
  for (int k = 0; k < p.FormCount(); ++k) s += p.Form(k).Title() + " ";
  return s;
}
}  // namespace

TEST(Eprj, NewSaveAndLoad) {
  char tmpl[] = "/tmp/tgx-prj-XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);
  EPROJECT p;
  p.New();
  EXPECT_EQ(p.Name() + " " + std::to_string(p.FormCount()), "NONAME 1");
  EXPECT_EQ(p.Flags(), EPROJECT::kModified);
  EXPECT_FALSE(p.Save((dir / "none/x.fs").string()));
  EXPECT_TRUE(p.Modified());  // a failed save keeps the flag
  const std::string path = (dir / "Резервуар.fs").string();
  ASSERT_TRUE(p.Save(path));
  EXPECT_FALSE(p.Modified());

  ASSERT_TRUE(p.Load(path));
  EXPECT_EQ(p.Name(), tgx::FromUtf8(path));
  EXPECT_EQ(p.Flags(), EPROJECT::kFromSource);
  EXPECT_EQ(p.LastLevel(0) + "/" + p.LastVolume(0), "10/1");
  std::ofstream(dir / "x.f2") << "# a\n| 1 2\n| 3 4\n";
  EXPECT_FALSE(p.Load((dir / "x.f2").string()));
  EXPECT_EQ(std::to_string(p.FormCount()) + "/" + std::to_string(p.Flags()) + "/" + p.Name(), "0/0/");
  EXPECT_EQ(sink.shown.size(), 2u);
  fs::remove_all(dir);
}

TEST(Eprj, RefusedOperationsLeaveTheFlagClear) {
  EPROJECT full = ProjectOf(16);
  EXPECT_FALSE(full.InsertGap(0) || full.InsertNewForm(3) || full.AddNewForm());
  full.CopyForm(0);
  EXPECT_FALSE(full.PasteForm(0));
  FDATA copy;
  full.CopyFormsTo(copy);
  full.SetForms(copy);  // the same set
  EXPECT_FALSE(full.Modified());
  copy.Form(3).SetVolumeText(1, "2");
  full.SetForms(copy);
  EXPECT_TRUE(full.Modified());

  EPROJECT one = ProjectOf(1);
  EXPECT_FALSE(one.InsertGap(1) || one.DeleteForm(0));  // at the count; the last form
  EXPECT_FALSE(one.PasteForm(0));                       // nothing copied yet
  EXPECT_FALSE(one.Modified());
  EXPECT_TRUE(one.InsertGap(0) && one.Modified() && one.IsGap(0));
}

TEST(Eprj, CopyDeletePasteAndTheClipboardSurvivesNew) {
  EPROJECT p = ProjectOf(4);
  p.CopyForm(2);
  ASSERT_TRUE(p.DeleteForm(2));
  ASSERT_TRUE(p.PasteForm(0));
  EXPECT_EQ(Titles(p), "f2 f0 f1 f3 ");
  p.New();
  EXPECT_TRUE(p.PasteForm(0));
  EXPECT_EQ(Titles(p), "f2  ");  // before the new, untitled form
}

// The sample station holds a smooth form, a gap and a form whose table is not
// smooth: the marks the main window, the import dialog and tgxctl show.
TEST(Eprj, ControlMarkOfEachKindOfForm) {
  EPROJECT p;
  ASSERT_TRUE(p.Load(std::string(TGX_SOURCE_DIR) + "/examples/station_with_gap.fs"));
  p.Check();
  ASSERT_EQ(p.FormCount(), 3);
  EXPECT_EQ(p.ControlMark(0), "OK ");
  EXPECT_EQ(p.ControlMark(1), "");
  EXPECT_EQ(p.ControlMark(2), "OK*");
  EXPECT_TRUE(p.AllDefinedConvert());
}

TEST(Eprj, AFormThatDoesNotConvertIsMarkedAndBlocksTheTables) {
  EPROJECT p;
  p.New();
  p.AddNewForm();
  FDATA forms;
  p.CopyFormsTo(forms);
  forms.Form(1).SetVolumeText(1, "-");  // no number where the top volume should be
  p.SetForms(forms);
  p.Check();
  EXPECT_EQ(p.ControlMark(1), "-");
  EXPECT_FALSE(p.AllDefinedConvert());
}
}  // namespace tgxtest

namespace tgxtest {
// A title goes into the form file: changing it is an edit to be saved.
TEST(Eprj, ChangedTitleMarksTheProjectModified) {
  EPROJECT p = ProjectOf(2);
  ASSERT_FALSE(p.Modified());
  p.SetTitle(1, "new");
  EXPECT_TRUE(p.Modified());
}

TEST(Eprj, SameTitleAgainLeavesTheFlagClear) {
  EPROJECT p = ProjectOf(2);
  p.SetTitle(1, "f1");
  EXPECT_FALSE(p.Modified());
}
}  // namespace tgxtest
