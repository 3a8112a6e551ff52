// The backup without windows: the run over the folder table with its outcome and its progress
// (on the program's first thread, in this process), then `marlo-backup` itself as a process
// with no display, its exit codes, and the schedule lines the README gives, run as written.
#include <sys/wait.h>

#include <chrono>

#include "app/headless_backup.h"
#include "program_fixture.h"

namespace app::test {
namespace {

namespace fs = std::filesystem;

// Records what a run tells; asks to stop once a member of folder `stopIn` is done, or (with
// `stopInTest`) once a member of the archive's test is, or (with `stopLate`) only after the last
// member was told, as a person whose Cancel comes while the library writes the archive out.
struct Watcher : BackupProgress {
  std::uint64_t members = 0, bytes = 0;
  std::vector<std::string> folders;
  std::vector<std::string> done, tested;
  std::size_t position = 0, stopIn = 0;
  bool testing = false, stopInTest = false, stopLate = false;

  void counted(std::uint64_t m, std::uint64_t b) override {
    members = m;
    bytes = b;
  }
  void folderStarting(std::size_t at, std::size_t /*count*/, const std::string& folder) override {
    position = at;
    folders.push_back(folder);
  }
  bool member(const MemberProgress& step) override {
    if (step.done) (testing ? tested : done).emplace_back(step.member);
    if (testing) return !(step.done && stopInTest);
    return !(step.done && position == stopIn);
  }
  void verifying(const std::string& /*archive*/) override { testing = true; }
  bool stopRequested() const override { return stopLate && done.size() == members; }
};

struct Ran {
  int code = -1;
  std::string out, err;
};

// `text` as one word of a shell command line.
std::string quoted(const std::string& text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The command of the README's crontab line: what follows the five time fields of the line that
// runs `marlo-backup --backup`.
std::string crontabCommand(const std::string& readme) {
  std::istringstream in(readme);
  for (std::string line; std::getline(in, line);) {
    if (line.find("marlo-backup --backup") == std::string::npos) continue;
    std::istringstream fields(line);
    std::string field;
    int times = 0;
    while (times < 5 && fields >> field &&
           field.find_first_not_of("0123456789*/,-") == std::string::npos)
      ++times;
    if (times < 5) continue;
    std::string command;
    std::getline(fields >> std::ws, command);
    return command;
  }
  return {};
}

class HeadlessBackup : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    fs::create_directory("work");  // the output of the processes lands beside it
    fs::current_path("work");
  }

  // Runs `command` with /bin/sh as cron does, with no display at all.
  Ran runShell(const std::string& command, const std::string& env = "") {
    const fs::path out = folder.path() / "stdout.txt", err = folder.path() / "stderr.txt";
    const std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env +
                             " /bin/sh -c " + quoted(command) + " >" + quoted(out.string()) +
                             " 2>" + quoted(err.string());
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
  }

  Ran runProgram(const std::string& arguments) {
    return runShell(std::string(MARLO_BACKUP_PROGRAM) + " " + arguments);
  }

  BackupOutcome backUp(BackupProgress* progress = nullptr) {
    BackupOutcome outcome;
    driver.start([&] { outcome = program.backUp(progress); });
    EXPECT_TRUE(driver.waitEnded());
    return outcome;
  }
};

TEST_F(HeadlessBackup, EveryFolderInNumberOrderWithItsLogLineAndFragmentAndTheFailedOnesNamed) {
  const std::string one = makeFolder("one");
  fs::create_directory("empty");
  const std::string empty = fs::absolute("empty").string();
  const std::string gone = fs::absolute("gone").string();
  seedFolders({{3, one}, {1, gone}, {7, empty}});

  const BackupOutcome outcome = backUp();
  ASSERT_EQ(outcome.folders.size(), 3u);
  EXPECT_EQ(outcome.folders[0].number, 1);
  EXPECT_EQ(outcome.folders[1].number, 3);
  EXPECT_EQ(outcome.folders[2].number, 7);
  // The missing folder failed; an empty one has nothing to store, which is no failure.
  EXPECT_TRUE(outcome.folders[0].failed);
  EXPECT_EQ(outcome.folders[0].why, "Error: the folder " + gone + " does not exist");
  EXPECT_FALSE(outcome.folders[1].failed);
  EXPECT_FALSE(outcome.folders[2].failed);
  EXPECT_FALSE(outcome.allStored());
  // Tiny files are stored as they are, so what went in came out.
  EXPECT_EQ(outcome.summary(),
            "Backup: 3 folders, 4 members, 32 -> 32 bytes, 1 folder failed, archive OK.");

  EXPECT_EQ(lines(readFile("Back_Log.TXT")).size(), 4u);  // and the archive's test
  const auto stored = storedFolders();
  ASSERT_EQ(stored.size(), 3u);
  for (const auto& [number, name, fragment] : stored)
    EXPECT_EQ(fragment, "\"" + name + "\"\\*.* -x1 -r") << number;
  EXPECT_EQ(UnlhaGetFileCount(fs::absolute("Marlo_BACKUP.lzh").string()), 4);
}

TEST_F(HeadlessBackup, ProgressHearsTotalsFoldersAndMembersAndAStopPutsTheArchiveBack) {
  const std::string one = makeFolder("one");
  const std::string two = makeFolder("two", 3);
  const std::string three = makeFolder("three");
  seedFolders({{1, one}, {2, two}, {3, three}});
  Watcher first;
  const BackupOutcome all = backUp(&first);
  ASSERT_TRUE(all.allStored()) << all.summary();
  EXPECT_EQ(first.folders, (std::vector<std::string>{one, two, three}));
  EXPECT_EQ(first.members, 13u);  // counted before the first folder
  EXPECT_EQ(first.done.size(), 13u);
  EXPECT_EQ(first.tested.size(), 13u);    // the archive's test after the folders
  EXPECT_EQ(first.bytes, 32u + 42 + 38);  // "one file 1" ... "inner of three"

  // The next run finds newer files in every folder and is stopped within two: what one stored
  // is thrown back with two's update, and three is never started.
  makeNewer("one/file1.txt", "changed");
  makeNewer("two/file1.txt", "changed");
  makeNewer("two/file2.txt", "changed");
  makeNewer("three/file1.txt", "changed");
  const std::string before = readFile("Marlo_BACKUP.lzh");
  Watcher second;
  second.stopIn = 2;
  const BackupOutcome stopped = backUp(&second);
  EXPECT_EQ(second.members, 4u);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_TRUE(stopped.putBack);
  EXPECT_FALSE(stopped.allStored());
  ASSERT_EQ(stopped.folders.size(), 2u);
  EXPECT_EQ(second.folders, (std::vector<std::string>{one, two}));
  EXPECT_TRUE(second.tested.empty());  // nothing to test after a cancel
  EXPECT_EQ(readFile("Marlo_BACKUP.lzh"), before);
  const std::vector<std::string> log = lines(readFile("Back_Log.TXT"));
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[1].find("Cancelled after 1 of 2 members"), std::string::npos) << log[1];
  EXPECT_EQ(log[2].rfind("Backup cancelled: ", 0), 0u) << log[2];
  EXPECT_EQ(stopped.summary(), "Backup cancelled: the archive is as it was before the backup.");
}

TEST_F(HeadlessBackup, AStopAfterTheLastMemberPutsTheArchiveBackAndAStopInTheTestKeepsIt) {
  seedFolders({{1, makeFolder("one")}, {2, makeFolder("two")}});
  ASSERT_TRUE(backUp().allStored());
  const std::string before = readFile("Marlo_BACKUP.lzh");
  makeNewer("one/file1.txt", "changed");
  makeNewer("two/file1.txt", "changed");

  Watcher late;
  late.stopLate = true;
  const BackupOutcome putBack = backUp(&late);
  EXPECT_EQ(late.done.size(), 2u);  // both folders stored before the stop was seen
  EXPECT_TRUE(putBack.cancelled);
  EXPECT_TRUE(putBack.putBack);
  EXPECT_TRUE(late.tested.empty());
  EXPECT_EQ(readFile("Marlo_BACKUP.lzh"), before);

  // Once every folder is stored, a stop ends only the test: the archive keeps them.
  Watcher inTest;
  inTest.stopInTest = true;
  const BackupOutcome tested = backUp(&inTest);
  EXPECT_FALSE(tested.cancelled);
  EXPECT_TRUE(tested.verify.stopped());
  EXPECT_EQ(inTest.tested.size(), 1u);
  EXPECT_NE(readFile("Marlo_BACKUP.lzh"), before);
  EXPECT_EQ(tested.summary(),
            "Backup: 2 folders, 2 members, 14 -> 14 bytes, no errors, archive test cancelled.");
}

// A damaged archive fails the run as a failed folder does (the process then exits 1).
TEST_F(HeadlessBackup, AnArchiveThatFailsItsTestFailsTheRun) {
  seedFolders({{1, makeFolder("one")}});
  backupRunHooks().beforeVerify = [](const std::string& archive) { damage(archive, "one file 2"); };
  const BackupOutcome damaged = backUp();
  EXPECT_EQ(damaged.failedFolders(), 0u);
  EXPECT_TRUE(damaged.verify.failed());
  EXPECT_FALSE(damaged.allStored());
  EXPECT_NE(damaged.verify.closing.find("first bad member"), std::string::npos);
  EXPECT_EQ(damaged.summary(),
            "Backup: 1 folder, 4 members, 32 -> 32 bytes, no errors, archive NOT OK.");
}

TEST_F(HeadlessBackup, AsAProcessWithoutADisplayItExitsZeroOneOrTwo) {
  const Ran nothing = runProgram("--backup");
  EXPECT_EQ(nothing.code, 0) << nothing.err;
  EXPECT_EQ(nothing.out, "Backup: 0 folders, 0 members, 0 -> 0 bytes, no errors.\n");
  EXPECT_TRUE(fs::exists("FILES.db"));  // a first run makes the empty table, as the window does

  const std::string one = makeFolder("one");
  seedFolders({{1, one}});
  const Ran good = runProgram("--backup");
  EXPECT_EQ(good.code, 0) << good.err;
  EXPECT_EQ(good.out,
            "Backup: 1 folder, 4 members, 32 -> 32 bytes, no errors, archive OK.\n"
            "The library's reports are in " +
                fs::absolute("Back_Log.TXT").string() + ".\n");
  EXPECT_TRUE(fs::exists("Marlo_BACKUP.lzh"));

  const std::string gone = fs::absolute("gone").string();
  seedFolders({{2, gone}});
  std::ofstream("Saved.INI") << "[Write_CDRW]\r\nWrite_CDRW=1\r\n";
  const Ran failed = runProgram("--backup");
  EXPECT_EQ(failed.code, 1) << failed.err;
  EXPECT_NE(failed.out.find("Failed: folder 2, " + gone + ": Error: the folder " + gone +
                            " does not exist\n"),
            std::string::npos)
      << failed.out;
  EXPECT_NE(failed.out.find("Write to CDRW is set"), std::string::npos) << failed.out;

  for (const char* wrong : {"--bogus", "--backup now", "--help --backup"}) {
    const Ran bad = runProgram(wrong);
    EXPECT_EQ(bad.code, 2) << wrong;
    EXPECT_TRUE(bad.out.empty()) << wrong;
    EXPECT_NE(bad.err.find("Usage: marlo-backup"), std::string::npos) << wrong;
  }
  const Ran help = runProgram("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: marlo-backup", 0), 0u);
  const Ran version = runProgram("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "marlo-backup " MARLO_VERSION "\n");
}

// The crontab line of the README, and the systemd user service in packaging/ (whose lines the
// README shows), each run as written, with the program found on the PATH as it would be.
TEST_F(HeadlessBackup, TheReadmeCrontabLineAndTheSystemdServiceRunTheBackup) {
  const std::string readme = readFile(fs::path(MARLO_SOURCE_DIR) / "README.md");
  const std::string cron = crontabCommand(readme);
  ASSERT_FALSE(cron.empty());

  std::map<std::string, std::string> service;
  for (const char* unit : {"marlo-backup.service", "marlo-backup.timer"}) {
    const std::string text = readFile(fs::path(MARLO_SOURCE_DIR) / "packaging/systemd" / unit);
    ASSERT_FALSE(text.empty()) << unit;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      EXPECT_NE(readme.find(line), std::string::npos) << unit << ": " << line;
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos && std::string(unit).ends_with(".service"))
        service[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  ASSERT_TRUE(service.count("WorkingDirectory") && service.count("ExecStart"));

  const fs::path home = fs::absolute("home");
  fs::create_directories(home / "MarloBackup");
  const std::string one = makeFolder("one");
  fs::current_path(home / "MarloBackup");
  seedFolders({{1, one}});
  const std::string env = "HOME='" + home.string() + "' PATH='" +
                          fs::path(MARLO_BACKUP_PROGRAM).parent_path().string() + ":/usr/bin:/bin'";

  fs::current_path(home);  // where cron starts a job
  const Ran fromCron = runShell(cron, env);
  EXPECT_EQ(fromCron.code, 0) << cron << "\n" << fromCron.out << fromCron.err;
  EXPECT_TRUE(fs::exists(home / "MarloBackup" / "Marlo_BACKUP.lzh"));

  fs::remove(home / "MarloBackup" / "Marlo_BACKUP.lzh");
  std::string workingFolder = service["WorkingDirectory"];
  workingFolder.replace(workingFolder.find("%h"), 2, home.string());
  fs::current_path("/");
  const Ran fromTimer =
      runShell("cd \"" + workingFolder + "\" && exec " + service["ExecStart"], env);
  fs::current_path(home);
  EXPECT_EQ(fromTimer.code, 0) << fromTimer.out << fromTimer.err;
  EXPECT_TRUE(fs::exists(home / "MarloBackup" / "Marlo_BACKUP.lzh"));
}

}  // namespace
}  // namespace app::test
