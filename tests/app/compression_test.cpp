#include <gtest/gtest.h>

#include <fstream>

#include "app/backup_command.h"
#include "app/compression.h"
#include "app/globals.h"
#include "temp_folder.h"

namespace {

TEST(BackupCommandLine, QuotesArchiveAndFolderAndKeepsTheSwitchesAsWritten) {
  EXPECT_EQ(app::folderFragment("D:\\Docs"), "\"D:\\Docs\"\\*.* -x1 -r");
  EXPECT_EQ(app::backupCommandLine("E:\\B\\Marlo_BACKUP", "D:\\Docs"),
            "u \"E:\\B\\Marlo_BACKUP\" \"D:\\Docs\"\\*.* -x1 -r");
  // The whole folder goes into the line, however long; only the stored copy is cut.
  const std::string longFolder = "/" + std::string(208, 'f');
  EXPECT_EQ(app::folderFragment(longFolder).size(), 209u + 2 + 11);
  EXPECT_NE(app::backupCommandLine("/b", longFolder).find(longFolder + "\"\\*.*"),
            std::string::npos);
}

// The library writes a real archive for the line the backup builds, even with blanks in both
// paths, and the listing calls see its members.
TEST(CompressionBinding, ABackupLineWritesAnArchiveTheListingCallsRead) {
  marlo::testing::TempFolder folder;
  std::filesystem::create_directories("My Docs/sub");
  std::ofstream("My Docs/a.txt") << "hello hello hello hello";
  std::ofstream("My Docs/sub/b.txt") << "second file";
  std::filesystem::create_directory("My Backups");
  const std::string archive = (folder.path() / "My Backups" / "Marlo_BACKUP").string();
  const std::string source = (folder.path() / "My Docs").string();

  glo::CMD = app::backupCommandLine(archive, source);
  glo::OUT_.clear();
  const int result = app::Unlha("0", glo::CMD, glo::OUT_, 999999);
  EXPECT_EQ(result, 0) << glo::OUT_.view();
  EXPECT_FALSE(glo::OUT_.view().empty());
  ASSERT_TRUE(std::filesystem::exists(archive + ".lzh"));

  EXPECT_EQ(app::UnlhaGetFileCount(archive + ".lzh") >= 2, true);
  app::ArchiveHandle handle = app::UnlhaOpenArchive("0", archive + ".lzh", 0);
  ASSERT_NE(handle, nullptr);
  app::ArchiveEntry entry{};
  std::vector<std::string> names;
  std::uint32_t originalTotal = 0;
  for (int found = app::UnlhaFindFirst(handle, "*.*", entry); found == 0;
       found = app::UnlhaFindNext(handle, entry)) {
    char name[256] = {};
    app::UnlhaGetFileName(handle, name, sizeof name);
    names.emplace_back(name);
    originalTotal += entry.DWORIGINALSIZE;
  }
  EXPECT_EQ(static_cast<std::uint32_t>(app::UnlhaGetArcOriginalSize(handle)), originalTotal);
  EXPECT_EQ(originalTotal, 23u + 11u);
  app::UnlhaCloseArchive(handle);
  const auto has = [&](std::string_view tail) {
    for (const auto& n : names) {
      if (n.size() >= tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
        return true;
    }
    return false;
  };
  EXPECT_TRUE(has("My Docs/a.txt"));
  EXPECT_TRUE(has("My Docs/sub/b.txt"));
}

TEST(CompressionBinding, TheLibraryNeverWritesPastTheOutputBuffer) {
  marlo::HeapText small(16);
  marlo::HeapText line(100);
  line = "l nothing-here.lzh";
  app::Unlha("0", line, small, 999999);  // a capacity larger than the buffer is clamped
  EXPECT_LE(small.view().size(), 16u);
}

}  // namespace
