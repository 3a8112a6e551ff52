#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "platform/storage/keyed_table.h"
#include "platform/storage/text_file.h"
#include "temp_folder.h"

namespace marlo {
namespace {

namespace se = storage_error;

// A record of the shape the folder list has, bound to variables of its own so that two
// tables can stand for two stations working on one file.
struct Station {
  std::int32_t number = 0;
  CString<222> folder;
  CString<222> note;
  KeyedTable table{declaration()};

  TableDeclaration declaration() {
    TableDeclaration decl{"files", "FILES", {}, {}};
    decl.fields.push_back(bindField("RBR", number));
    decl.fields.push_back(bindField("NAZIV_FOLDERA", folder));
    decl.fields.push_back(bindField("TEST_FOLDER", note));
    decl.keys.push_back({"rbr_key", {{0, true}}, false, false});
    decl.keys.push_back({"folder_key", {{1, false}}, true, true});  // descending, no case
    return decl;
  }

  int add(std::int32_t n, std::string_view name) {
    number = n;
    folder = name;
    note = "";
    return table.add();
  }

  std::vector<std::int32_t> numbersAlong(std::size_t key, bool forward = true) {
    std::vector<std::int32_t> seen;
    forward ? table.setBefore(key) : table.setAfter(key);
    while ((forward ? table.next() : table.previous()) == se::kNone) seen.push_back(number);
    return seen;
  }
};

constexpr int kReadWrite = kAccessReadWrite | kDenyNone;

class KeyedTables : public ::testing::Test {
 protected:
  testing::TempFolder folder;
};

TEST_F(KeyedTables, CreateOpenAndRecordsSurviveARestart) {
  {
    Station a;
    EXPECT_EQ(a.table.open(kReadWrite), se::kNotFound);
    ASSERT_EQ(a.table.create(), se::kNone);
    EXPECT_TRUE(std::filesystem::exists("FILES.db"));
    ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
    EXPECT_EQ(a.table.open(kReadWrite), se::kAlreadyOpen);
    ASSERT_EQ(a.add(3, "/c"), se::kNone);
    ASSERT_EQ(a.add(1, "/a"), se::kNone);
    ASSERT_EQ(a.add(7, "/b"), se::kNone);
  }
  Station b;
  ASSERT_EQ(b.table.open(kReadWrite), se::kNone);
  EXPECT_EQ(b.table.records(), 3);
  EXPECT_EQ(b.numbersAlong(0, false), (std::vector<std::int32_t>{7, 3, 1}));
  EXPECT_EQ(b.numbersAlong(0), (std::vector<std::int32_t>{1, 3, 7}));
  EXPECT_EQ(b.table.next(), se::kNoRecord);  // stays at the end
}

TEST_F(KeyedTables, KeysOrderDescendingWithoutCaseAndFindByValue) {
  Station a;
  ASSERT_EQ(a.table.create(), se::kNone);
  ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
  a.add(1, "alpha");
  a.add(2, "Charlie");
  a.add(3, "bravo");
  a.add(4, "BRAVO");  // duplicates allowed on this key; ties keep insertion order
  EXPECT_EQ(a.numbersAlong(1), (std::vector<std::int32_t>{2, 3, 4, 1}));

  a.folder = "BRAVO";
  ASSERT_EQ(a.table.setAtKeyValue(1), se::kNone);
  ASSERT_EQ(a.table.next(), se::kNone);
  EXPECT_EQ(a.number, 3);
  ASSERT_EQ(a.table.next(), se::kNone);
  EXPECT_EQ(a.number, 4);

  a.folder = "bravo";
  ASSERT_EQ(a.table.setAfterKeyValue(1), se::kNone);
  ASSERT_EQ(a.table.previous(), se::kNone);
  EXPECT_EQ(a.number, 4);

  a.table.clearBuffer();
  a.number = 2;
  ASSERT_EQ(a.table.get(0), se::kNone);
  EXPECT_EQ(a.folder.view(), "Charlie");
  a.number = 99;
  EXPECT_EQ(a.table.get(0), se::kNoRecord);
}

TEST_F(KeyedTables, DuplicatesPositionsAndDeletes) {
  Station a;
  ASSERT_EQ(a.table.create(), se::kNone);
  ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
  a.add(1, "/a");
  a.add(2, "/b");
  EXPECT_EQ(a.add(1, "/again"), se::kDuplicateKey);
  EXPECT_EQ(a.table.duplicatedKey(true), 0);
  a.number = 2;  // the record last read (2) counts against a new record, not against itself
  EXPECT_EQ(a.table.duplicatedKey(true), 0);
  EXPECT_EQ(a.table.duplicatedKey(), -1);
  EXPECT_EQ(a.table.records(), 2);

  a.number = 2;
  ASSERT_EQ(a.table.get(0), se::kNone);
  const std::string position = a.table.position();
  a.number = 1;
  ASSERT_EQ(a.table.get(0), se::kNone);
  ASSERT_EQ(a.table.reget(position), se::kNone);
  EXPECT_EQ(a.number, 2);
  ASSERT_EQ(a.table.erase(), se::kNone);
  EXPECT_EQ(a.table.reget(position), se::kNoRecord);
  EXPECT_EQ(a.numbersAlong(0), (std::vector<std::int32_t>{1}));
}

TEST_F(KeyedTables, AChangeByAnotherStationIsDetectedAndItsValuesCanBeRead) {
  Station mine;
  Station theirs;
  ASSERT_EQ(mine.table.create(), se::kNone);
  ASSERT_EQ(mine.table.open(kReadWrite), se::kNone);
  ASSERT_EQ(theirs.table.open(kReadWrite), se::kNone);
  mine.add(1, "/original");

  mine.number = 1;
  ASSERT_EQ(mine.table.get(0), se::kNone);
  theirs.number = 1;
  ASSERT_EQ(theirs.table.get(0), se::kNone);
  theirs.folder = "/theirs";
  ASSERT_EQ(theirs.table.put(), se::kNone);

  mine.folder = "/mine";
  const KeyedTable::ReadState stale = mine.table.readState();
  EXPECT_EQ(mine.table.put(), se::kChangedByAnother);
  // Re-reading and then putting the old read state back keeps the write refused.
  ASSERT_EQ(mine.table.reget(mine.table.position()), se::kNone);
  mine.table.restoreReadState(stale);
  mine.folder = "/mine";
  EXPECT_EQ(mine.table.put(), se::kChangedByAnother);
  ASSERT_EQ(mine.table.reget(mine.table.position()), se::kNone);
  EXPECT_EQ(mine.folder.view(), "/theirs");
  mine.folder = "/mine";  // now based on what is stored, the write goes through
  EXPECT_EQ(mine.table.put(), se::kNone);
  ASSERT_EQ(theirs.table.reget(theirs.table.position()), se::kNone);
  EXPECT_EQ(theirs.folder.view(), "/mine");
}

TEST_F(KeyedTables, HeldRecordsAreRefusedOrSkipped) {
  Station holder;
  Station reader;
  ASSERT_EQ(holder.table.create(), se::kNone);
  ASSERT_EQ(holder.table.open(kReadWrite), se::kNone);
  ASSERT_EQ(reader.table.open(kReadWrite), se::kNone);
  holder.add(1, "/a");
  holder.add(2, "/b");
  holder.add(3, "/c");
  holder.number = 2;
  ASSERT_EQ(holder.table.get(0), se::kNone);
  ASSERT_EQ(holder.table.hold(), se::kNone);

  reader.table.setBefore(0);
  EXPECT_EQ(reader.table.next(), se::kNone);
  EXPECT_EQ(reader.table.next(), se::kRecordHeld);
  EXPECT_EQ(reader.table.next(), se::kNone);  // the read goes on past the held record
  EXPECT_EQ(reader.number, 3);
  EXPECT_EQ(reader.table.get(0), se::kNone);
  EXPECT_EQ(reader.table.hold(), se::kNone);  // 3 is free

  reader.table.setSkipHeld(true);
  EXPECT_EQ(reader.numbersAlong(0), (std::vector<std::int32_t>{1, 3}));
  holder.table.release();
  EXPECT_EQ(reader.numbersAlong(0), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(KeyedTables, SharingModesRefuseClashingOpeners) {
  Station first;
  Station second;
  ASSERT_EQ(first.table.create(), se::kNone);
  ASSERT_EQ(first.table.open(kAccessReadWrite | kDenyWrite), se::kNone);
  EXPECT_EQ(second.table.open(kReadWrite), se::kAccessDenied);
  EXPECT_EQ(second.table.open(kAccessRead | kDenyNone), se::kNone);  // reading is still allowed
  EXPECT_TRUE(second.table.isReadOnly());
  second.table.close();
  first.table.close();
  EXPECT_EQ(second.table.open(kReadWrite), se::kNone);
}

TEST_F(KeyedTables, ForeignAndDamagedFilesAreRefusedWithAClearText) {
  { std::ofstream("FILES.db") << "this is not a table"; }
  Station a;
  EXPECT_EQ(a.table.open(kReadWrite), se::kDriverError);
  EXPECT_FALSE(a.table.errorText().empty());
  EXPECT_FALSE(a.table.isOpen());

  // A table file of another declaration (different fields) is not read as ours.
  std::filesystem::remove("FILES.db");
  {
    std::int32_t other = 0;
    KeyedTable foreign({"x", "FILES", {bindField("OTHER", other)}, {}});
    ASSERT_EQ(foreign.create(), se::kNone);
  }
  EXPECT_EQ(a.table.open(kReadWrite), se::kDriverError);
  EXPECT_NE(a.table.errorText().find("differs"), std::string::npos);
}

TEST_F(KeyedTables, AMissingKeyIsReportedAndRebuilt) {
  {
    Station a;
    ASSERT_EQ(a.table.create(), se::kNone);
    ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
    a.add(5, "/x");
  }
  ASSERT_EQ(std::system("sqlite3 FILES.db 'DROP INDEX key_rbr_key'"), 0);
  Station b;
  EXPECT_EQ(b.table.open(kReadWrite), se::kInvalidKey);
  ASSERT_EQ(b.table.buildKeys(), se::kNone);
  b.table.close();
  ASSERT_EQ(b.table.open(kReadWrite), se::kNone);
  EXPECT_EQ(b.numbersAlong(0), (std::vector<std::int32_t>{5}));
}

TEST_F(KeyedTables, AWriterKilledInTheMiddleLeavesTheTableAsItWas) {
  {
    Station a;
    ASSERT_EQ(a.table.create(), se::kNone);
    ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
    a.add(1, "/kept");
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Station writer;
    if (writer.table.open(kReadWrite) != se::kNone) _exit(2);
    KeyedTable::beginTransaction({&writer.table});
    for (int i = 2; i < 500; ++i) writer.add(i, "/half-written");
    writer.number = 1;
    writer.table.get(0);
    writer.folder = "/changed";
    writer.table.put();
    ::raise(SIGKILL);  // dies before the commit
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));

  Station after;
  ASSERT_EQ(after.table.open(kReadWrite), se::kNone);
  EXPECT_EQ(after.numbersAlong(0), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(after.folder.view(), "/kept");
}

TEST_F(KeyedTables, TransactionsRollBack) {
  Station a;
  ASSERT_EQ(a.table.create(), se::kNone);
  ASSERT_EQ(a.table.open(kReadWrite), se::kNone);
  a.add(1, "/a");
  ASSERT_EQ(KeyedTable::beginTransaction({&a.table}), se::kNone);
  a.add(2, "/b");
  KeyedTable::rollback({&a.table});
  EXPECT_EQ(a.table.records(), 1);
}

}  // namespace
}  // namespace marlo

namespace marlo {
namespace {

// A full disk, simulated by a file-size limit in a child process: writes fail with an error
// number and the records stored before stay readable.
TEST(KeyedTablesOnAFullDisk, WritesFailWithAnErrorAndStoredRecordsStay) {
  testing::TempFolder folder;
  {
    Station a;
    ASSERT_EQ(a.table.create(), storage_error::kNone);
    ASSERT_EQ(a.table.open(kReadWrite), storage_error::kNone);
    ASSERT_EQ(a.add(1, "/stored"), storage_error::kNone);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Station writer;
    if (writer.table.open(kReadWrite) != storage_error::kNone) _exit(2);
    int result = 0;
    for (int i = 2; i < 2000 && result == 0; ++i) {
      result = writer.add(i, std::string(200, 'x'));
    }
    _exit(result == storage_error::kDriverError && !writer.table.errorText().empty() ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  Station after;
  ASSERT_EQ(after.table.open(kReadWrite), storage_error::kNone);
  after.number = 1;
  ASSERT_EQ(after.table.get(0), storage_error::kNone);
  EXPECT_EQ(after.folder.view(), "/stored");
}

}  // namespace
}  // namespace marlo
