#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <tuple>

#include "platform/storage/keyed_table.h"
#include "platform/storage/storage_faults.h"
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

namespace marlo {
namespace {

// --- a failing disk: the Nth write, sync or removal fails, for every N ---------------------------

using Contents = std::vector<std::tuple<std::int32_t, std::string, std::string>>;

// Every record in number order, read through `station`.
Contents contentsOf(Station& station) {
  Contents out;
  station.table.setBefore(0);
  while (station.table.next() == se::kNone)
    out.emplace_back(station.number, station.folder.str(), station.note.str());
  return out;
}

Contents storedContents() {
  Station reader;
  if (reader.table.open(kReadWrite) != se::kNone) return {{-1, "cannot open", ""}};
  return contentsOf(reader);
}

int change(Station& s, std::int32_t number, std::string_view note) {
  s.number = number;
  if (const int rc = s.table.get(0); rc != se::kNone) return rc;
  s.note = note;
  return s.table.put();
}

int remove(Station& s, std::int32_t number) {
  s.number = number;
  if (const int rc = s.table.get(0); rc != se::kNone) return rc;
  return s.table.erase();
}

// A small run of inserts, updates and deletes, one of them framed in a transaction. Each step
// returns the storage error.
const std::vector<std::function<int(Station&)>>& run() {
  static const std::vector<std::function<int(Station&)>> steps = {
      [](Station& s) { return s.add(1, "/one"); },
      [](Station& s) { return s.add(2, "/two"); },
      [](Station& s) { return s.add(3, std::string(3000, 't')); },
      [](Station& s) { return change(s, 2, "changed"); },
      [](Station& s) { return remove(s, 1); },
      [](Station& s) {
        if (const int rc = KeyedTable::beginTransaction({&s.table}); rc != se::kNone) return rc;
        int rc = s.add(4, "/four");
        if (rc == se::kNone) rc = change(s, 3, "changed with four");
        if (rc == se::kNone) rc = KeyedTable::commit({&s.table});
        if (rc != se::kNone) KeyedTable::rollback({&s.table});
        return rc;
      },
  };
  return steps;
}

class FailingDisk : public ::testing::Test {
 protected:
  void TearDown() override { storage_faults::reset(); }

  // The run syncs a few thousand times; in a folder held in memory that costs nothing, and the
  // failures come from above the disk either way.
  static std::filesystem::path workFolder() {
    std::error_code error;
    const std::filesystem::path memory = "/dev/shm";
    return std::filesystem::is_directory(memory, error) && ::access(memory.c_str(), W_OK) == 0
               ? memory
               : std::filesystem::temp_directory_path();
  }

  // The table after each step of the run, none failing.
  static std::vector<Contents> expectedStates() {
    testing::TempFolder folder(workFolder());
    Station s;
    EXPECT_EQ(s.table.create(), se::kNone);
    EXPECT_EQ(s.table.open(kReadWrite), se::kNone);
    std::vector<Contents> states{contentsOf(s)};
    for (const auto& step : run()) {
      EXPECT_EQ(step(s), se::kNone);
      states.push_back(contentsOf(s));
    }
    return states;
  }
};

// As in SQLite's own fault tests: whichever write, sync or journal removal fails, the step it
// fails in reports the failure and the table is exactly what it was before that step, read
// through the same connection or a new one; the steps before it are all kept.
TEST_F(FailingDisk, AFailedStepReportsItAndLeavesTheTableAsItWasBefore) {
  const std::vector<Contents> expected = expectedStates();
  for (const auto kind :
       {storage_faults::Call::Write, storage_faults::Call::Sync, storage_faults::Call::Remove}) {
    int failures = 0;
    for (int n = 1;; ++n) {
      testing::TempFolder folder(workFolder());
      Station s;
      ASSERT_EQ(s.table.create(), se::kNone);
      ASSERT_EQ(s.table.open(kReadWrite), se::kNone);
      storage_faults::failNth(kind, n);
      std::size_t done = 0;
      int rc = se::kNone;
      for (; done < run().size(); ++done) {
        rc = run()[done](s);
        if (rc != se::kNone) break;
      }
      const bool injected = storage_faults::failed();
      storage_faults::reset();
      const std::string where = "call " + std::to_string(static_cast<int>(kind)) + " #" +
                                std::to_string(n) + ", step " + std::to_string(done + 1);
      if (!injected) {
        EXPECT_EQ(rc, se::kNone) << where;
        break;  // past the last call of this kind
      }
      if (rc != se::kNone) {
        ++failures;
        EXPECT_FALSE(s.table.errorText().empty()) << where;
        EXPECT_EQ(contentsOf(s), expected[done]) << where;
        s.table.close();
        EXPECT_EQ(storedContents(), expected[done]) << where;
      } else {
        // The storage got over the failure by itself: then every step is in place.
        EXPECT_EQ(storedContents(), expected.back()) << where;
      }
    }
    EXPECT_GT(failures, 0) << "no step ever failed for call kind " << static_cast<int>(kind);
  }
}

}  // namespace
}  // namespace marlo
