#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/files_table.h"
#include "app/globals.h"
#include "app/log_file.h"
#include "app/settings.h"
#include "temp_folder.h"

namespace {

namespace se = marlo::storage_error;
constexpr int kShared = marlo::kAccessReadWrite | marlo::kDenyNone;

class AppStorage : public ::testing::Test {
 protected:
  marlo::testing::TempFolder folder;
};

TEST_F(AppStorage, TheFolderTableIsCreatedAsFilesAndKeepsA221CharacterPath) {
  const std::string longPath = "/" + std::string(220, 'p');
  {
    marlo::KeyedTable table(files::declaration());
    EXPECT_EQ(table.fileName(), "FILES.db");
    ASSERT_EQ(table.open(kShared), se::kNotFound);
    ASSERT_EQ(table.create(), se::kNone);
    ASSERT_EQ(table.open(kShared), se::kNone);
    files::RBR = 1;
    files::NAZIV_FOLDERA = longPath;
    files::TEST_FOLDER = "\"" + longPath + "\"\\*.* -x1 -r";
    ASSERT_EQ(table.add(), se::kNone);
    files::RBR = 1;
    EXPECT_EQ(table.add(), se::kDuplicateKey);  // the key keeps folder numbers unique
  }
  files::NAZIV_FOLDERA = "";
  marlo::KeyedTable reopened(files::declaration());
  ASSERT_EQ(reopened.open(kShared), se::kNone);
  files::RBR = 1;
  ASSERT_EQ(reopened.get(files::kRbrKey), se::kNone);
  EXPECT_EQ(files::NAZIV_FOLDERA.view(), longPath);
  EXPECT_EQ(files::TEST_FOLDER.size(), 221u);  // the fragment is cut at the field's capacity
}

TEST_F(AppStorage, TheLogKeepsTheReportUpToItsZeroByteCutAt948000Characters) {
  glo::LogFileName = "Back_Log.TXT";
  app::LogFile log(glo::LogFileName);
  log.remove();
  ASSERT_EQ(log.create(), 0);
  ASSERT_EQ(log.open(marlo::kAccessReadWrite | marlo::kDenyWrite), 0);
  glo::OUT_.clear();
  glo::OUT_ = "report of folder one";
  glo::OUT_.data()[20] = '\0';  // the library ends its report with a zero byte
  log.TL = glo::OUT_.view();
  ASSERT_EQ(log.append(), 0);
  log.TL = std::string(999999, 'r');
  ASSERT_EQ(log.append(), 0);
  log.close();

  std::ifstream in("Back_Log.TXT", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "report of folder one\r\n" + std::string(948000, 'r') + "\r\n");
}

TEST_F(AppStorage, SettingsFollowTheCurrentDirectoryAndReadNonNumbersAsZero) {
  EXPECT_EQ(app::readSetting("Timed", 0), 0);
  EXPECT_EQ(app::readSetting("Minimize", 1), 1);  // missing: the current value stays
  app::writeSetting("Timed", 4320001);
  EXPECT_EQ(app::readSetting("Timed", 0), 4320001);
  { std::ofstream("Saved.INI", std::ios::app) << "[Log]\nLog=yes\n"; }
  EXPECT_EQ(app::readSetting("Log", 1), 0);

  std::filesystem::create_directory("elsewhere");
  std::filesystem::current_path("elsewhere");
  EXPECT_EQ(app::readSetting("Timed", 7), 7);
  std::filesystem::current_path("..");
}

}  // namespace
