#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/storage/profile.h"
#include "platform/storage/storage_faults.h"
#include "platform/storage/text_file.h"
#include "temp_folder.h"

namespace marlo {
namespace {

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

class TextFiles : public ::testing::Test {
 protected:
  testing::TempFolder folder;
};

TEST_F(TextFiles, RecordsAreLinesCutAtTheFieldAndEndedByCrLf) {
  TextFile log("/FILEBUFFERS=20", 10);
  ASSERT_EQ(log.create("Back_Log.TXT"), 0);
  ASSERT_EQ(log.open("Back_Log.TXT", kAccessReadWrite | kDenyWrite), 0);
  ASSERT_EQ(log.append("first"), 0);
  ASSERT_EQ(log.append("0123456789ABCDEF"), 0);                 // cut at the capacity
  ASSERT_EQ(log.append(std::string_view("ends\0here", 9)), 0);  // stops at the zero byte
  ASSERT_EQ(log.append("blanks      "), 0);                     // trailing blanks go
  log.close();
  EXPECT_EQ(contentsOf("Back_Log.TXT"), "first\r\n0123456789\r\nends\r\nblanks\r\n");

  TextFile reader("", 10);
  ASSERT_EQ(reader.open("Back_Log.TXT", kAccessRead | kDenyNone), 0);
  std::string line;
  ASSERT_EQ(reader.next(line), 0);
  EXPECT_EQ(line, "first");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(reader.next(line), 0);
  EXPECT_EQ(reader.next(line), 33);
}

TEST_F(TextFiles, WritingDeniedToOthersWhileOpenAndRecreateEmpties) {
  TextFile mine("", 100);
  TextFile theirs("", 100);
  ASSERT_EQ(mine.create("outfile.txt"), 0);
  ASSERT_EQ(mine.open("outfile.txt", kAccessReadWrite | kDenyWrite), 0);
  EXPECT_EQ(theirs.open("outfile.txt", kAccessReadWrite | kDenyWrite), 5);
  mine.append("x");
  mine.close();
  EXPECT_EQ(theirs.open("outfile.txt", kAccessReadWrite | kDenyWrite), 0);
  theirs.close();
  ASSERT_EQ(mine.create("outfile.txt"), 0);
  EXPECT_EQ(contentsOf("outfile.txt"), "");
  EXPECT_EQ(TextFile::remove("outfile.txt"), 0);
  EXPECT_EQ(TextFile::remove("outfile.txt"), 2);
  EXPECT_EQ(mine.open("outfile.txt", kAccessReadWrite), 2);
  EXPECT_EQ(mine.append("lost"), 37);  // never reported as written
}

class ProfileFiles : public ::testing::Test {
 protected:
  testing::TempFolder folder;
  const std::string file = ".\\Saved.INI";
};

TEST_F(ProfileFiles, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(readProfileString("Timed", "Timed", "0", file), "0");
  ASSERT_TRUE(writeProfileString("Timed", "Timed", "4320001", file));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "Saved.INI"));
  EXPECT_EQ(readProfileString("TIMED", "timed", "0", file), "4320001");
  EXPECT_EQ(readProfileString("Timed", "Other", "dflt", file), "dflt");
  EXPECT_EQ(readProfileString("Other", "Timed", "dflt", file), "dflt");
}

TEST_F(ProfileFiles, WritesKeepOtherLinesInPlaceAndMatchWithoutCase) {
  std::ofstream("Saved.INI")
      << "; settings\n[Log]\nLog = 1\nbroken line\n\n[Other]\nx=\"quoted\"\n";
  ASSERT_TRUE(writeProfileString("log", "LOG", "0", file));
  ASSERT_TRUE(writeProfileString("Log", "Extra", "5", file));
  ASSERT_TRUE(writeProfileString("New", "k", "v", file));
  EXPECT_EQ(
      contentsOf("Saved.INI"),
      "; settings\n[Log]\nLOG=0\nbroken line\nExtra=5\n\n[Other]\nx=\"quoted\"\n\n[New]\nk=v\n");
  EXPECT_EQ(readProfileString("Other", "x", "", file), "quoted");
  ASSERT_TRUE(writeProfileString("Log", "Extra", std::nullopt, file));
  EXPECT_EQ(readProfileString("Log", "Extra", "gone", file), "gone");
}

TEST_F(ProfileFiles, ASectionIsReadWholeInFileOrder) {
  std::ofstream("Saved.INI")
      << "[A]\nk=1\n[list]\nCount = 2\n; note\nrow_1=\"x,y\"\nbroken\nROW_2=z\n"
         "[B]\nrow_3=other section\n";
  const std::vector<ProfileEntry> entries = readProfileSection("LIST", file);
  ASSERT_EQ(entries.size(), 3U);
  EXPECT_EQ(entries[0].key, "Count");
  EXPECT_EQ(entries[0].value, "2");
  EXPECT_EQ(entries[1].value, "x,y");
  EXPECT_EQ(entries[2].key, "ROW_2");
  EXPECT_TRUE(readProfileSection("missing", file).empty());
  EXPECT_TRUE(readProfileSection("A", ".\\none.ini").empty());
}

TEST_F(ProfileFiles, AFailedWriteLeavesTheOldFileWholeAndNoTemporaryBehind) {
  ASSERT_TRUE(writeProfileString("A", "k", "1", file));
  // A folder where the file would go makes the rename fail, as a full disk would.
  std::filesystem::create_directory("blocked.ini");
  EXPECT_FALSE(writeProfileString("A", "k", "2", ".\\blocked.ini"));
  EXPECT_EQ(readProfileString("A", "k", "", file), "1");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) ++entries;
  EXPECT_EQ(entries, 2);  // Saved.INI and the folder
}

// Whichever write, sync or rename of a settings file fails, the write says so and the old
// file is whole, with no temporary file left behind.
TEST_F(ProfileFiles, EveryFailedWriteSyncOrRenameLeavesTheOldFile) {
  ASSERT_TRUE(writeProfileString("A", "k", "old", file));
  const std::string before = contentsOf("Saved.INI");
  for (const auto kind :
       {storage_faults::Call::Write, storage_faults::Call::Sync, storage_faults::Call::Rename}) {
    storage_faults::failNth(kind, 1);
    EXPECT_FALSE(writeProfileString("A", "k", "new", file));
    EXPECT_TRUE(storage_faults::failed());
    storage_faults::reset();
    EXPECT_EQ(contentsOf("Saved.INI"), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) ++entries;
    EXPECT_EQ(entries, 1);
  }
  storage_faults::failNth(storage_faults::Call::Write, 2);  // past the only write
  EXPECT_TRUE(writeProfileString("A", "k", "new", file));
  EXPECT_FALSE(storage_faults::failed());
  storage_faults::reset();
  EXPECT_EQ(readProfileString("A", "k", "", file), "new");
}

TEST_F(ProfileFiles, ABareNameLivesInTheUserConfigurationFolder) {
  ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  EXPECT_EQ(profilePath("cd_rw.ini"), folder.path() / "marlo-backup" / "cd_rw.ini");
  ASSERT_TRUE(writeProfileString("pokazi", "XPos", "10", "cd_rw.ini"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "marlo-backup" / "cd_rw.ini"));
  EXPECT_EQ(profilePath("sub\\x.ini"), std::filesystem::path("sub/x.ini"));
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace marlo
