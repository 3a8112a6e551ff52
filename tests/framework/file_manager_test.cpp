#include "framework/file_manager.h"

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "framework/messages.h"
#include "table_fixture.h"

namespace marlo {
namespace {

using test::declareFolders;
using test::Folder;

class FileManagerTest : public test::TableTest {
 protected:
  // `autoInc`: RBR is numbered by the manager.
  void start(bool autoInc = true, bool uniqueName = false) {
    table = std::make_unique<KeyedTable>(declareFolders(rec, uniqueName));
    station = std::make_unique<KeyedTable>(declareFolders(other, uniqueName));
    files.init(*table, errors);
    files.CREATE = true;
    files.LOCKRECOVER = 0;
    if (autoInc) files.addKey(0, "Folder number", 1);
    if (uniqueName) files.addKey(1, "Folder name");
  }

  void TearDown() override {
    files.kill();
    test::TableTest::TearDown();
  }

  // Adds records with the given names through the manager (numbered 1, 2, ...).
  void addFolders(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      rec.RBR = 0;
      rec.NAZIV = name;
      ASSERT_EQ(files.insert(), SevBenign) << name;
    }
  }

  // The numbers stored, in key order, read by the other station.
  std::vector<std::int32_t> storedNumbers() {
    std::vector<std::int32_t> numbers;
    EXPECT_EQ(station->open(kAccessRead | kDenyNone), 0);
    station->setBefore(0);
    while (station->next() == 0) numbers.push_back(other.RBR);
    station->close();
    return numbers;
  }

  Folder rec;
  Folder other;
  std::unique_ptr<KeyedTable> table;
  std::unique_ptr<KeyedTable> station;
  FileManager files;
};

// --- opening ----------------------------------------------------------------------------------

TEST_F(FileManagerTest, NestedOpensOpenTheFileOnceAndCloseItAtTheLastClose) {
  start();
  EXPECT_EQ(files.open(), SevBenign);  // the file is missing: created and opened at once
  EXPECT_TRUE(std::filesystem::exists(dir / "FOLDERS.db"));
  EXPECT_EQ(files.open(), SevBenign);
  EXPECT_EQ(files.open(), SevBenign);
  EXPECT_EQ(files.openCount(), 3);
  EXPECT_EQ(files.close(), SevBenign);
  EXPECT_EQ(files.close(), SevBenign);
  EXPECT_TRUE(table->isOpen());
  EXPECT_EQ(files.close(), SevBenign);
  EXPECT_FALSE(table->isOpen());
  EXPECT_EQ(files.close(), SevNotify);  // one close too many changes nothing
  EXPECT_EQ(files.openCount(), 0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileManagerTest, AMissingFileWithoutCreateIsFatal) {
  start();
  files.CREATE = false;
  EXPECT_EQ(files.open(), SevFatal);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "File Access Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("File FOLDERS.db could not be opened.  Error: ", 0), 0U);
  EXPECT_NE(ui.boxes[0].text.find("(2).  Press OK to end this application"), std::string::npos);
  ASSERT_EQ(ui.halts.size(), 1U);
  EXPECT_NE(ui.halts[0].exitCode, 0);
  EXPECT_EQ(files.openCount(), 0);  // a failed open is not counted
  EXPECT_EQ(files.lastError(), 23);

  // Not reporting: recorded only.
  EXPECT_EQ(files.open(false, false), SevNotify);
  EXPECT_EQ(ui.boxes.size(), 1U);
}

TEST_F(FileManagerTest, WriteAccessDeniedFallsBackToReadOnly) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  files.close();
  // Another station writes and lets nobody else write.
  ASSERT_EQ(station->open(kAccessReadWrite | kDenyWrite), 0);
  EXPECT_EQ(files.open(), SevBenign);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Access Denied");
  EXPECT_EQ(ui.boxes[0].text, "Could not get write access to FOLDERS.db so trying read-only.");
  EXPECT_TRUE(table->isOpen());
  EXPECT_TRUE(table->isReadOnly());
  EXPECT_EQ(files.OPENMODE, 0x42);  // the next open asks for write access again

  rec.NAZIV = "x";
  ui.answers = {button::No};             // numbering cannot add: no more attempts
  EXPECT_EQ(files.insert(), SevNotify);  // the write fails with its own message
  EXPECT_EQ(ui.boxes.back().caption, "Auto Increment Error");
}

TEST_F(FileManagerTest, ReadAccessDeniedIsFatal) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  files.close();
  ASSERT_EQ(station->open(kAccessReadWrite | kDenyAll), 0);
  EXPECT_EQ(files.open(), SevFatal);
  EXPECT_EQ(captions(), (std::vector<std::string>{"Access Denied", "File Access Error"}));
  EXPECT_FALSE(table->isOpen());
}

TEST_F(FileManagerTest, DamagedKeysAreRebuiltAfterTheMessage) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a", "b"});
  files.close();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "FOLDERS.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DROP INDEX key_rbr_key", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  EXPECT_EQ(files.open(false, false), SevNotify);  // not reporting: nothing shown, not opened
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(files.lastError(), 27);
  EXPECT_FALSE(table->isOpen());

  EXPECT_EQ(files.open(), SevBenign);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Invalid Key");
  EXPECT_EQ(ui.boxes[0].text, "FOLDERS.db key file is invalid. Key must be rebuilt.");
  EXPECT_EQ(storedNumbers(), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(FileManagerTest, LazyOpenWaitsForTheFirstUse) {
  start();
  files.LAZYOPEN = true;
  EXPECT_EQ(files.useFile(), SevFatal);  // before open: level 2 ends the program
  ASSERT_EQ(captions(), std::vector<std::string>{"File Usage Error"});
  EXPECT_EQ(
      ui.boxes[0].text,
      "Attempt to use file (FOLDERS.db) before it was opened  Press OK to end this application");
  EXPECT_EQ(ui.halts.size(), 1U);

  EXPECT_EQ(files.open(), SevBenign);
  EXPECT_FALSE(table->isOpen());
  rec.NAZIV = "kept";
  EXPECT_EQ(files.useFile(), SevBenign);
  EXPECT_TRUE(table->isOpen());
  EXPECT_EQ(rec.NAZIV, "kept");
}

// --- numbering --------------------------------------------------------------------------------

TEST_F(FileManagerTest, NumbersStartAtOneAndFollowTheHighest) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a", "b", "c"});
  EXPECT_EQ(storedNumbers(), (std::vector<std::int32_t>{1, 2, 3}));

  // Remove the middle one: the next number still follows the highest.
  ASSERT_EQ(table->setBefore(0), 0);
  ASSERT_EQ(files.next(), SevBenign);
  ASSERT_EQ(files.next(), SevBenign);
  ASSERT_EQ(rec.RBR, 2);
  ASSERT_EQ(table->erase(), 0);
  addFolders({"d"});
  EXPECT_EQ(rec.RBR, 4);
  EXPECT_EQ(storedNumbers(), (std::vector<std::int32_t>{1, 3, 4}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileManagerTest, PrimingAddsAPlaceholderThatInsertWritesOver) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a", "b"});
  rec.NAZIV = "";
  ASSERT_EQ(files.primeAutoInc(), SevBenign);
  EXPECT_EQ(rec.RBR, 3);
  EXPECT_TRUE(files.autoIncDone());
  EXPECT_EQ(table->records(), 3);
  EXPECT_EQ(files.primeAutoInc(), SevBenign);  // already numbered: nothing more
  EXPECT_EQ(table->records(), 3);

  // Another window reads the table in between (keeping the form's buffer, as windows do).
  const int form = files.saveBuffer();
  rec.RBR = 1;
  ASSERT_EQ(files.tryFetch(0), SevBenign);
  files.restoreBuffer(form);

  rec.NAZIV = "c";
  ASSERT_EQ(files.insert(), SevBenign);
  EXPECT_FALSE(files.autoIncDone());
  EXPECT_EQ(table->records(), 3);
  rec.RBR = 1;
  ASSERT_EQ(files.tryFetch(0), SevBenign);
  EXPECT_EQ(rec.NAZIV, "a");
  rec.RBR = 3;
  ASSERT_EQ(files.tryFetch(0), SevBenign);
  EXPECT_EQ(rec.NAZIV, "c");
}

TEST_F(FileManagerTest, CancellingANumberedRecordRemovesThePlaceholder) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a"});
  EXPECT_EQ(files.cancelAutoInc(), SevBenign);  // nothing primed: nothing to do
  ASSERT_EQ(files.primeAutoInc(), SevBenign);
  EXPECT_EQ(table->records(), 2);
  EXPECT_EQ(files.cancelAutoInc(), SevBenign);
  EXPECT_EQ(table->records(), 1);
  EXPECT_FALSE(files.autoIncDone());
}

TEST_F(FileManagerTest, ThreeFailedAddsAskWhetherToTryAgain) {
  start(true, true);
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"taken"});
  rec.NAZIV = "TAKEN";  // duplicates the unique name on every attempt
  ui.answers = {button::Yes, button::No};
  EXPECT_EQ(files.insert(), SevNotify);
  ASSERT_EQ(captions(), (std::vector<std::string>{"Auto Increment Error", "Auto Increment Error"}));
  EXPECT_EQ(ui.boxes[0].buttons, button::Yes | button::No);
  EXPECT_EQ(
      ui.boxes[0].text.rfind("Attempts to automatically number this record have failed.|File: "
                             "FOLDERS.db|Error: ",
                             0),
      0U);
  EXPECT_NE(ui.boxes[0].text.find("(40).|Try Again?"), std::string::npos);
  EXPECT_EQ(files.lastError(), 32);
  EXPECT_EQ(table->records(), 1);

  ui.boxes.clear();
  EXPECT_EQ(files.tryInsert(), SevNotify);  // not reporting: no question
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(files.lastError(), 32);
}

TEST_F(FileManagerTest, NumbersCountWithinTheGroupOfLeadingComponents) {
  struct Item {
    CString<11> GROUP;
    std::int32_t NO = 0;
  } item;
  TableDeclaration decl;
  decl.prefix = "itm";
  decl.fileName = "ITEMS";
  decl.fields = {bindField("GRP", item.GROUP), bindField("NO", item.NO)};
  decl.keys = {{"grp_key", {{0, true}, {1, false}}, false, false}};  // number descending
  KeyedTable items(std::move(decl));
  FileManager manager;
  manager.init(items, errors);
  manager.CREATE = true;
  manager.addKey(0, "Group and number", 2);
  ASSERT_EQ(manager.open(), SevBenign);
  const auto addTo = [&](const char* group) {
    item.GROUP = group;
    item.NO = 0;
    EXPECT_EQ(manager.insert(), SevBenign);
    return item.NO;
  };
  EXPECT_EQ(addTo("b"), 1);
  EXPECT_EQ(addTo("b"), 2);
  EXPECT_EQ(addTo("a"), 1);  // an earlier group is not this one
  EXPECT_EQ(addTo("c"), 1);  // nor a later one
  EXPECT_EQ(addTo("b"), 3);
  EXPECT_EQ(addTo("a"), 2);
  manager.kill();
}

// --- insert and update ------------------------------------------------------------------------

TEST_F(FileManagerTest, ADuplicateNamesTheKeyItDuplicates) {
  start(false, true);
  ASSERT_EQ(files.open(), SevBenign);
  rec.RBR = 1;
  rec.NAZIV = "one";
  ASSERT_EQ(files.insert(), SevBenign);
  rec.RBR = 2;
  rec.NAZIV = "ONE";
  EXPECT_EQ(files.insert(), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Duplicate Key Error");
  EXPECT_EQ(ui.boxes[0].text,
            "Adding this record creates a duplicate entry for the key: Folder name");
  EXPECT_EQ(files.tryInsert(), SevNotify);
  EXPECT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(files.lastError(), 13);
}

TEST_F(FileManagerTest, ValidationRefusesTheWrite) {
  struct Refusing : FileManager {
    int validateRecord() override { return 1; }
  } refusing;
  start(false);
  refusing.init(*table, errors);
  refusing.CREATE = true;
  ASSERT_EQ(refusing.open(), SevBenign);
  EXPECT_EQ(refusing.insert(), SevNotify);
  EXPECT_EQ(refusing.update(), SevUser);
  EXPECT_EQ(table->records(), 0);
  refusing.kill();
}

TEST_F(FileManagerTest, AChangeByAnotherStationIsShownInsteadOfOverwritten) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"mine"});
  ASSERT_EQ(table->reget(files.getPosition()), 0);

  ASSERT_EQ(station->open(kAccessReadWrite | kDenyNone), 0);
  other.RBR = 1;
  ASSERT_EQ(station->get(0), 0);
  other.NAZIV = "theirs";
  ASSERT_EQ(station->put(), 0);

  rec.NAZIV = "my change";
  EXPECT_EQ(files.update(), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Record Was Not Updated");
  EXPECT_EQ(ui.boxes[0].text, "This record was changed by another station.");
  EXPECT_EQ(rec.NAZIV, "theirs");  // the other station's version is in the buffer

  // Now the buffer matches the stored record: a second attempt goes through.
  rec.NAZIV = "my change";
  EXPECT_EQ(files.update(), SevBenign);

  // From a form the message mentions the Ditto button; a try shows nothing.
  ASSERT_EQ(station->reget(station->position()), 0);
  other.NAZIV = "theirs again";
  ASSERT_EQ(station->put(), 0);
  rec.NAZIV = "form change";
  EXPECT_EQ(files.update(kUpdateForm), SevNotify);
  EXPECT_EQ(files.lastError(), 7);
  EXPECT_EQ(
      ui.boxes.back().text.rfind("This record was changed by another station. Those changes", 0),
      0U);
  ASSERT_EQ(station->reget(station->position()), 0);
  other.NAZIV = "and again";
  ASSERT_EQ(station->put(), 0);
  const auto shown = ui.boxes.size();
  EXPECT_EQ(files.tryUpdate(), SevNotify);
  EXPECT_EQ(ui.boxes.size(), shown);
  EXPECT_EQ(files.lastError(), 6);
  EXPECT_EQ(rec.NAZIV, "and again");
}

// --- reading ----------------------------------------------------------------------------------

TEST_F(FileManagerTest, ReadingPastTheEndSetsTheEndMark) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a"});
  ASSERT_EQ(table->setBefore(0), 0);
  EXPECT_EQ(files.next(), SevBenign);
  EXPECT_FALSE(files.atEof());
  EXPECT_EQ(files.next(), SevNotify);
  EXPECT_TRUE(files.atEof());
  ASSERT_EQ(table->setAfter(0), 0);
  EXPECT_EQ(files.previous(), SevBenign);
  EXPECT_FALSE(files.atEof());  // cleared by the next read
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileManagerTest, HeldRecordsStopTheReadOrArePassedOver) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a", "b", "c"});
  ASSERT_EQ(station->open(kAccessReadWrite | kDenyNone), 0);
  other.RBR = 2;
  ASSERT_EQ(station->get(0), 0);
  ASSERT_EQ(station->hold(), 0);

  ASSERT_EQ(table->setBefore(0), 0);
  EXPECT_EQ(files.next(), SevBenign);
  EXPECT_EQ(files.next(), SevNotify);
  ASSERT_EQ(captions(), std::vector<std::string>{"Record not read"});
  EXPECT_EQ(ui.boxes[0].text,
            "A record held by another station was encountered reading from the FOLDERS.db file.");
  EXPECT_EQ(files.tryNext(), SevBenign);  // reading goes on after the held record
  EXPECT_EQ(rec.RBR, 3);

  files.SKIPHELDRECORDS = true;
  ui.boxes.clear();
  std::vector<std::int32_t> seen;
  ASSERT_EQ(table->setBefore(0), 0);
  while (files.next() == SevBenign) seen.push_back(rec.RBR);
  EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 3}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileManagerTest, ReadingAClosedTableIsARetrievalError) {
  start();
  EXPECT_EQ(files.tryNext(), SevFatal);
  EXPECT_EQ(files.lastError(), 1);
  EXPECT_EQ(files.next(), SevNotify);
  ASSERT_EQ(captions(), std::vector<std::string>{"Record Retrieval Error"});
}

// --- buffers, states, errors, registry --------------------------------------------------------

TEST_F(FileManagerTest, SavedBuffersRestoreAndCompare) {
  start();
  rec.RBR = 5;
  rec.NAZIV = "five";
  const int first = files.saveBuffer();
  const int second = files.saveBuffer();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  EXPECT_TRUE(files.equalBuffer(first));
  rec.NAZIV = "changed";
  EXPECT_FALSE(files.equalBuffer(first));
  files.restoreBuffer(first, false);
  EXPECT_EQ(rec.NAZIV, "five");
  EXPECT_TRUE(files.equalBuffer(first));  // kept: not released
  files.restoreBuffer(first, true);
  EXPECT_FALSE(files.equalBuffer(first));  // released
  EXPECT_EQ(files.saveBuffer(), 3);        // numbered on from the last one
}

TEST_F(FileManagerTest, SavedFileStateBringsBackPositionBufferAndNumbering) {
  start();
  ASSERT_EQ(files.open(), SevBenign);
  addFolders({"a", "b", "c"});
  ASSERT_EQ(table->setBefore(0), 0);
  ASSERT_EQ(files.next(), SevBenign);
  rec.NAZIV = "edited a";
  const int saved = files.saveFile();
  ASSERT_EQ(files.next(), SevBenign);
  ASSERT_EQ(files.next(), SevBenign);
  EXPECT_EQ(rec.RBR, 3);
  files.restoreFile(saved);
  EXPECT_EQ(rec.RBR, 1);
  EXPECT_EQ(rec.NAZIV, "edited a");
  EXPECT_EQ(files.next(), SevBenign);
  EXPECT_EQ(rec.RBR, 2);
}

TEST_F(FileManagerTest, RecordedErrorsAreShownLater) {
  start();
  setRuntimeError({90, "File System Error", "11", "disk image is malformed"});
  files.setError(msg::RecordNotUpdated);
  EXPECT_TRUE(ui.boxes.empty());
  clearRuntimeError();  // what happened since does not change the recorded message
  EXPECT_EQ(files.throwLastError(), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].text,
            "An error (disk image is malformed (11)) was experienced when making changes to the "
            "FOLDERS.db file.");
  EXPECT_EQ(files.throwMessage(msg::ProcedureNotDefined, "Pis_cd"), SevNotify);
  EXPECT_EQ(ui.boxes.back().text, "The Procedure Pis_cd has not been defined.");
}

TEST_F(FileManagerTest, TheRegistryKnowsTheManagerAndItsUsers) {
  start();
  EXPECT_EQ(fileRegistry().find("fol"), &files);
  globalErrors.setProcedureName("up_folder");
  ASSERT_EQ(files.open(), SevBenign);
  ASSERT_EQ(files.open(), SevBenign);
  auto users = fileRegistry().users(files);
  ASSERT_EQ(users.size(), 1U);
  EXPECT_EQ(users[0].PROC, "up_folder");
  EXPECT_EQ(users[0].THREAD, 1);
  EXPECT_EQ(users[0].NESTEDOPEN, 2);
  files.close();
  files.close();
  EXPECT_TRUE(fileRegistry().users(files).empty());
  globalErrors.setProcedureName("", true);
  files.kill();
  EXPECT_EQ(fileRegistry().find("fol"), nullptr);
}

TEST_F(FileManagerTest, ThreadsKeepTheirOwnStateWhenAsked) {
  start();
  files.THREADED = true;
  ASSERT_EQ(files.open(), SevBenign);
  int countOnOtherThread = -1;
  std::thread worker([&] { countOnOtherThread = files.openCount(); });
  worker.join();
  EXPECT_EQ(countOnOtherThread, 0);
  EXPECT_EQ(files.openCount(), 1);
}

// A thread that stays alive between the steps a test gives it, so that its opens and closes
// count as one thread's.
class Worker {
 public:
  Worker() : thread_([this] { serve(); }) {}
  ~Worker() {
    run({});
    thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `step` on the worker and waits for it; an empty step ends the worker.
  void run(std::function<void()> step) {
    std::unique_lock lock(mutex_);
    step_ = std::move(step);
    pending_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !pending_; });
  }

 private:
  void serve() {
    for (;;) {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [this] { return pending_; });
      const bool last = !step_;
      if (step_) step_();
      pending_ = false;
      cv_.notify_all();
      if (last) return;
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::function<void()> step_;
  bool pending_ = false;
  std::thread thread_;
};

TEST_F(FileManagerTest, InThreadModeTheTableClosesWithTheLastCloseOfAllThreads) {
  start();
  files.THREADED = true;
  Worker second;
  ASSERT_EQ(files.open(), SevBenign);
  second.run([&] { EXPECT_EQ(files.open(), SevBenign); });
  ASSERT_EQ(files.close(), SevBenign);  // this thread's last close
  EXPECT_TRUE(table->isOpen());         // the other thread still works on it
  second.run([&] {
    rec.RBR = 0;
    rec.NAZIV = "still open";
    EXPECT_EQ(files.insert(), SevBenign);
    EXPECT_EQ(files.close(), SevBenign);
  });
  EXPECT_FALSE(table->isOpen());
  EXPECT_EQ(files.close(), SevNotify);  // nothing left to close on this thread
}

TEST_F(FileManagerTest, BuffersSavedOnTwoThreadsAtOnceEachGetTheirOwnNumber) {
  start();
  files.THREADED = true;
  constexpr int kEach = 20000;
  std::vector<int> mine;
  std::vector<int> theirs;
  std::atomic<bool> go{false};
  std::thread second([&] {
    while (!go) std::this_thread::yield();
    for (int i = 0; i < kEach; ++i) theirs.push_back(files.saveBuffer());
  });
  go = true;
  for (int i = 0; i < kEach; ++i) mine.push_back(files.saveBuffer());
  second.join();
  std::set<int> distinct(mine.begin(), mine.end());
  distinct.insert(theirs.begin(), theirs.end());
  EXPECT_EQ(distinct.size(), 2U * kEach);
  EXPECT_EQ(*distinct.rbegin(), 2 * kEach);
  EXPECT_TRUE(files.equalBuffer(*distinct.rbegin()));
}

}  // namespace
}  // namespace marlo
