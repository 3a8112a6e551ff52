// The copy a backup keeps of its archive, to put back after a cancel.
#include "app/archive_snapshot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/file.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>

#include "temp_folder.h"

namespace app {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// As the library updates an archive: a new file renamed over the old name.
void replaceArchive(const fs::path& archive, const std::string& bytes) {
  std::ofstream(archive.string() + ".new", std::ios::binary) << bytes;
  fs::rename(archive.string() + ".new", archive);
}

// As the run's own library call does: replaces the archive, and the run notes it as its own.
void storeFolder(ArchiveSnapshot& snapshot, const fs::path& archive, const std::string& bytes) {
  replaceArchive(archive, bytes);
  snapshot.noteOwnUpdate();
}

std::size_t filesIn(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// A folder holding an archive as a backup found it.
class ArchiveSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(archive, std::ios::binary) << "old archive"; }

  marlo::testing::TempFolder folder;
  const fs::path archive = folder.path() / "Marlo_BACKUP.lzh";
};

TEST_F(ArchiveSnapshotTest, PutsBackWhatWasThereWhetherOrNotTheArchiveWasReplacedAndLeavesNoCopy) {
  ArchiveSnapshot replaced;
  ASSERT_TRUE(replaced.take(archive));
  EXPECT_TRUE(fs::exists(ArchiveSnapshot::copyName(archive, ::getpid())));
  storeFolder(replaced, archive, "new archive");
  ASSERT_TRUE(replaced.putBack());
  EXPECT_EQ(readAll(archive), "old archive");
  EXPECT_EQ(filesIn(folder.path()), 1u);

  // Nothing stored before the cancel: the copy is another name of the archive itself.
  ArchiveSnapshot untouched;
  ASSERT_TRUE(untouched.take(archive));
  ASSERT_TRUE(untouched.putBack());
  EXPECT_EQ(readAll(archive), "old archive");
  EXPECT_EQ(filesIn(folder.path()), 1u);

  // No archive before the run: putting back removes the one the run made.
  fs::remove(archive);
  ArchiveSnapshot none;
  ASSERT_TRUE(none.take(archive));
  storeFolder(none, archive, "first archive");
  ASSERT_TRUE(none.putBack());
  EXPECT_EQ(filesIn(folder.path()), 0u);

  // A run that ends well drops its copy.
  std::ofstream(archive, std::ios::binary) << "kept";
  {
    ArchiveSnapshot finished;
    ASSERT_TRUE(finished.take(archive));
    replaceArchive(archive, "stored");
  }
  EXPECT_EQ(readAll(archive), "stored");
  EXPECT_EQ(filesIn(folder.path()), 1u);
}

// Another copy of the program may update the same archive between two of this run's folders.
// Putting the copy back then would undo that update, which reported success; so it stays.
TEST_F(ArchiveSnapshotTest, AnArchiveAnotherUpdateReplacedIsKeptAndARunningUpdateIsWaitedFor) {
  ArchiveSnapshot snapshot;
  ASSERT_TRUE(snapshot.take(archive));
  storeFolder(snapshot, archive, "this run's first folder");
  replaceArchive(archive, "the other program's backup");
  EXPECT_FALSE(snapshot.putBack());
  EXPECT_TRUE(snapshot.replacedByAnother());
  EXPECT_EQ(readAll(archive), "the other program's backup");

  // An update holds its lock on the archive until its new file is in place.
  ArchiveSnapshot waiting;
  ASSERT_TRUE(waiting.take(archive));
  storeFolder(waiting, archive, "this run's folder");
  const int update = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(update, LOCK_EX), 0);
  auto putBack = std::async(std::launch::async, [&] { return waiting.putBack(); });
  EXPECT_EQ(putBack.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  ::close(update);
  EXPECT_TRUE(putBack.get());
  EXPECT_FALSE(waiting.replacedByAnother());
  EXPECT_EQ(readAll(archive), "the other program's backup");
  EXPECT_EQ(filesIn(folder.path()), 1u);
}

}  // namespace
}  // namespace app
