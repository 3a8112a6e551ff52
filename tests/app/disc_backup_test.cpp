// A whole backup run with "Write to CDRW" ticked, through the real disc-writing control on a
// stdio: pseudo-drive: the file it writes is an ISO image other tools read, and the archive in
// it tests clean with the LZH tool and with 7-Zip.
#include <chrono>
#include <thread>

#include "app/cd_writer_control.h"
#include "app/pis_cd.h"
#include "platform/activex/host.h"
#include "platform/window/control_id.h"
#include "program_fixture.h"
#include "tool_run.h"

namespace app::test {
namespace {

using marlo::win::n;

using cdwriter::test::run;
using cdwriter::test::shellQuoted;

class DiscBackupTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    // The control is found as the program finds it: its module, registered through its entry.
    marlo::activex::Host::instance().unregisterClass(CdWriterControl::kClassId);
    marlo::activex::Host::instance().setModuleFolders({CDWRITER_MODULE_DIR});
  }

  void useDrive(const std::string& address) {
    std::filesystem::create_directories(folder.path() / "marlo-backup");
    std::ofstream(folder.path() / "marlo-backup" / "cd_rw.ini")
        << "[Disc writer]\r\nDrive=" << address << "\r\n";
  }
  // Starts the program with "Write to CDRW" ticked and runs a backup; the disc writer's window.
  WindowHandle backUpToDisc() {
    startProgram();
    EXPECT_TRUE(press(MainControl::CEK));
    EXPECT_EQ(glo::CEK, 1);
    EXPECT_TRUE(press(MainControl::OKBUTTON));
    return driver.waitForProcedure("Pis_cd");
  }

  // Lets the window's timer tick until the window closes. The control works on a thread of its
  // own in real time, so between ticks the test gives it a moment.
  bool tickUntilClosed(WindowHandle window) {
    for (int tick = 0; tick < 2000; ++tick) {
      if (!driver.isOpen(window)) return true;
      if (!driver.advanceClock(kDiscWriterTick)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !driver.isOpen(window);
  }
};

TEST_F(DiscBackupTest, ABackupWithWriteToCdrwPutsTheArchiveOnTheDisc) {
  seedFolders({{1, makeFolder("Docs", 3)}, {2, makeFolder("Photos")}});
  const std::filesystem::path disc = folder.path() / "disc.iso";
  useDrive("stdio:" + disc.string());
  const WindowHandle writer = backUpToDisc();
  ASSERT_NE(writer, 0);
  ASSERT_TRUE(tickUntilClosed(writer));

  // The log of the run: the drive found, no error line, the write verified.
  const std::string log = readFile(discLogName(engine.now().day));
  EXPECT_NE(log.find("Found: "), std::string::npos) << log;
  EXPECT_NE(log.find("matches the image"), std::string::npos) << log;
  for (const std::string& line : lines(log)) {
    if (line.rfind("Status: ", 0) == 0) {
      EXPECT_EQ(line.rfind("Status:  > ", 0), 0u) << "an error: " << line;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(discImagePath()));

  const auto [listed, listing] = run("xorriso -indev stdio:" + shellQuoted(disc) + " -ls /Backup");
  EXPECT_EQ(listed, 0) << listing;
  EXPECT_NE(listing.find("Marlo_BACKUP.lzh"), std::string::npos) << listing;
  const std::filesystem::path copy = folder.path() / "read_back.lzh";
  const auto [extracted, out] = run("xorriso -osirrox on -indev stdio:" + shellQuoted(disc) +
                                    " -extract /Backup/Marlo_BACKUP.lzh " + shellQuoted(copy));
  ASSERT_EQ(extracted, 0) << out;
  EXPECT_EQ(readFile(copy), readFile("Marlo_BACKUP.lzh"));
  const auto [tested, report] = run(std::string(UNLHA_TOOL) + " t " + shellQuoted(copy));
  EXPECT_EQ(tested, 0) << report;
  const auto [sevenZip, sevenReport] = run("7z t " + shellQuoted(copy));
  EXPECT_EQ(sevenZip, 0) << sevenReport;
  closeProgram();
}

TEST_F(DiscBackupTest, AMissingDriveEndsWithErrorLinesAndTheFailureTextUntilClosedByHand) {
  seedFolders({{1, makeFolder("Docs")}});
  useDrive("/dev/sr97");
  const WindowHandle writer = backUpToDisc();
  ASSERT_NE(writer, 0);
  for (int tick = 0; tick < 40 && driver.text(writer, n(PisCdControl::STRING9)) != kFailedText;
       ++tick) {
    ASSERT_TRUE(driver.advanceClock(kDiscWriterTick));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(driver.text(writer, n(PisCdControl::STRING9)), kFailedText);
  ASSERT_TRUE(driver.isOpen(writer));
  bool errorShown = false;
  for (const auto& row : driver.rows(writer, n(PisCdControl::LIST2)))
    errorShown = errorShown || row.at(0).find("No drive") != std::string::npos;
  EXPECT_TRUE(errorShown);
  ASSERT_TRUE(driver.closeBox(writer));
  ASSERT_TRUE(driver.waitForClose(writer));
  closeProgram();
}

}  // namespace
}  // namespace app::test
