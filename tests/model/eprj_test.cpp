// The project: how each operation moves the modified flag and what the form
// set's limits refuse.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/Cp1251.h"
#include "model/Eprj.h"
#include "model/Messages.h"
#include "model/Prjvol.h"

namespace fs = std::filesystem;

namespace {
EPROJECT ProjectOf(int forms) {
  EPROJECT p;
  p.New();
  for (int k = 1; k < forms; ++k) p.AddNewForm();
  for (int k = 0; k < forms; ++k) p.SetTitle(k, "f" + std::to_string(k));
  return p;
}
}  // namespace

TEST(Eprj, NewSaveAndLoad) {
  char tmpl[] = "/tmp/tgx-prj-XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);

  EPROJECT p;
  p.New();
  EXPECT_EQ(p.Name(), "NONAME");
  EXPECT_EQ(p.FormCount(), 1);
  EXPECT_EQ(p.Flags(), EPROJECT::kModified);

  EXPECT_FALSE(p.Save((dir / "none/x.fs").string()));
  EXPECT_TRUE(p.Modified());
  const std::string path = (dir / "Резервуар.fs").string();
  ASSERT_TRUE(p.Save(path));
  EXPECT_FALSE(p.Modified());
  EXPECT_EQ(p.Name(), "NONAME");

  EPROJECT q;
  ASSERT_TRUE(q.Load(path));
  EXPECT_EQ(q.Name(), tgx::FromUtf8(path));
  EXPECT_EQ(q.Flags(), EPROJECT::kFromSource);
  EXPECT_EQ(q.LastLevel(0), "10");
  EXPECT_EQ(q.LastVolume(0), "1");

  std::ofstream((dir / "x.f2").string()) << "# a\n| 1 2\n| 3 4\n";
  EXPECT_FALSE(q.Load((dir / "x.f2").string()));
  EXPECT_EQ(q.FormCount(), 0);
  EXPECT_EQ(q.Name(), "");
  EXPECT_EQ(q.Flags(), 0u);
  EXPECT_EQ(sink.shown.size(), 2u);
  fs::remove_all(dir);
}

TEST(Eprj, RefusedOperationsLeaveTheFlagClear) {
  EPROJECT p = ProjectOf(16);
  // A project fresh from a conversion is unmodified; refusals keep it so.
  EPROJECT full;
  full.ConvertFrom(p);
  ASSERT_EQ(full.FormCount(), 16);
  EXPECT_FALSE(full.Modified());
  EXPECT_FALSE(full.InsertGap(0));
  EXPECT_FALSE(full.InsertNewForm(3));
  EXPECT_FALSE(full.AddNewForm());
  EXPECT_FALSE(full.PasteForm(0));
  FDATA copy;
  full.CopyFormsTo(copy);
  full.SetForms(copy);
  EXPECT_FALSE(full.Modified());

  EPROJECT one;
  one.ConvertFrom(ProjectOf(1));
  EXPECT_FALSE(one.InsertGap(1));  // at the count
  EXPECT_FALSE(one.DeleteForm(0));
  EXPECT_FALSE(one.PasteForm(0));  // nothing copied yet
  EXPECT_FALSE(one.Modified());
  EXPECT_TRUE(one.InsertGap(0));
  EXPECT_TRUE(one.Modified());
  EXPECT_TRUE(one.IsGap(0));
}

TEST(Eprj, CopyDeletePaste) {
  EPROJECT p = ProjectOf(4);
  p.CopyForm(2);
  ASSERT_TRUE(p.DeleteForm(2));
  ASSERT_EQ(p.FormCount(), 3);
  ASSERT_TRUE(p.PasteForm(0));
  ASSERT_EQ(p.FormCount(), 4);
  const char* titles[] = {"f2", "f0", "f1", "f3"};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(p.Form(k).Title(), titles[k]);
  // The clipboard survives a new project.
  p.New();
  EXPECT_TRUE(p.ClipboardValid());
  EXPECT_TRUE(p.PasteForm(0));
  EXPECT_EQ(p.Form(0).Title(), "f2");
}

TEST(Eprj, ConversionsFromFormsAndTables) {
  FDATA forms;
  ASSERT_TRUE(forms.ReadText("# A\n| 0 0\n| 100 10\n# B\n| 20 5\n| 0 0\n# C\n| 0 0\n| 10 ?\n", 4));
  EPROJECT src;
  src.SetForms(forms);
  src.SetName("src");
  EPROJECT p;
  ASSERT_TRUE(p.ConvertFrom(src));
  EXPECT_EQ(p.Name(), "src");
  EXPECT_EQ(p.Flags(), EPROJECT::kFromSource | EPROJECT::kFromTables);
  ASSERT_EQ(p.FormCount(), 3);
  const char* titles[] = {"A", "B", "C"};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(p.Form(k).Type(), 1);
    EXPECT_EQ(p.Form(k).Title(), titles[k]);
  }
  EXPECT_EQ(p.Form(0).Volumes(), (std::vector<std::string>{"0", "10", "20"}));
  p.Check();
  EXPECT_TRUE(p.Converted(0) && p.Smooth(0));

  // A project converted into itself ends as a conversion of what it held.
  src.ConvertFrom(src);
  EXPECT_EQ(src.Form(1).Title(), "B");
  EXPECT_EQ(src.Form(1).Type(), 1);

  EXPECT_FALSE(p.ConvertFrom(EPROJECT()));
  EXPECT_EQ(p.FormCount(), 0);

  GROUPTAB tables;
  PARTAB t;
  t.Append(1);
  t.Append(2);
  tables.Add(t);
  tables.AddEmpty();
  p.FromTables(tables, tgx::FromUtf8("Система"));
  EXPECT_EQ(p.Name(), tgx::FromUtf8("Система"));
  EXPECT_EQ(p.Flags(), EPROJECT::kFromSource | EPROJECT::kModified | EPROJECT::kFromTables);
  ASSERT_EQ(p.FormCount(), 2);
  EXPECT_TRUE(p.IsGap(1));
  EXPECT_EQ(p.LastLevel(1), "");
  GROUPTAB back;
  ASSERT_TRUE(p.ToTables(back));
  EXPECT_TRUE(back == tables);
}
